#pragma once
// What owns a sector of a medium: the file or folder whose data it holds (by
// the path the browser shows), a structure of its file system ("volume
// descriptor", "directory /X", "UDF file entry of /Y", "VAT", ...), free
// space, or a track's pregap. The map is built once by walking every data
// track's volume, bounded, and tolerates the damage it describes: what lies
// below a directory or file entry that cannot be read is "unknown", named
// after the structure that hides it, never taken for free space. Then each
// unreadable sector is looked up, so that the disc scan and a rescue can say
// which files a bad sector hits.
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "copy/ImageMedium.h"
#include "copy/RescueMap.h"

class CDevCmdROM;

namespace imaging {

class SectorOwnerMap {
 public:
  // Claims sectors [first, first + count) for owner wherever nothing has
  // claimed them yet: the first claim wins, so the volume's own structures
  // are claimed before the files that a damaged volume may lay over them.
  void Claim(std::uint64_t first, std::uint64_t count, const std::string& owner);
  // The owner of a sector; null when nothing claimed it.
  const std::string* OwnerOf(std::uint64_t lba) const;

 private:
  struct Run {
    std::uint64_t end = 0;  // one past its last sector
    std::uint32_t owner = 0;
  };
  std::map<std::uint64_t, Run> m_runs;  // by first sector, never overlapping
  std::vector<std::string> m_names;
  std::unordered_map<std::string, std::uint32_t> m_index;
};

// What a sector outside every track is called.
constexpr const char* kOutsideTracks = "outside any track";

// The owners of every sector of the medium in dev, whose layout is medium.
SectorOwnerMap MapSectorOwners(CDevCmdROM& dev, const MediumLayout& medium);

// One owner of unreadable sectors: its first one and how many it has.
struct OwnerRow {
  std::string owner;
  std::uint32_t first = 0;
  std::uint64_t count = 0;
};

// One row per owner of the sectors in bad (in any order), by first sector.
std::vector<OwnerRow> GroupByOwner(const SectorOwnerMap& map, std::vector<std::uint32_t> bad);

// The layout, the map and the rows in one: empty when bad is; one "unknown"
// row when the medium's layout cannot be read.
std::vector<OwnerRow> FindSectorOwners(CDevCmdROM& dev, const std::vector<std::uint32_t>& bad);

// The medium's sectors that a rescue tried and could not read, from its map
// over the spans of the image.
std::vector<std::uint32_t> UnreadLbas(const RescueMap& map, const std::vector<ImageSpan>& spans);

}  // namespace imaging
