#pragma once
// What the readers of recorded CD images (NRG, CloneCD, MDS, cdrdao TOC)
// share: how a stored sector of a given size and kind is served, runs of
// stored and unstored sectors, and the checks a finished layout must pass
// before it is served (track numbering, order, sessions, bytes in files).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disc/SectorLayout.h"
#include "platform/orvane/DiscImage.h"

namespace orvane {

// The last address a CD's Q sub-channel can give (99:59:74), as sectors from LBA 0.
constexpr std::int64_t kMaxCdSectors = 449850;
// Between sessions a recorder writes a lead-out (6750 sectors after the first
// session, 2250 after later ones) and the next lead-in (4500), and the next
// session's first track has a 150-sector pregap.
constexpr std::int32_t kFirstSessionGap = 6750 + 4500;
constexpr std::int32_t kLaterSessionGap = 2250 + 4500;

// How the sectors of a track lie in its file.
struct SectorStorage {
  TrackMode mode = TrackMode::Mode1;
  StoredFormat format = StoredFormat::UserData2048;
  std::uint32_t stride = 2048;         // bytes a stored sector takes, sub-channel included
  bool subchannel = false;             // 96 bytes of sub-channel follow the 2352 of the sector
  bool subchannelLinear = false;       // stored as P, Q, R ... W channels of 12 bytes each
};

// Storage for a sector of sectorSize bytes (2048, 2336, 2352, 2448) of a track
// of the given mode; nullopt when that size cannot hold such a sector.
std::optional<SectorStorage> StorageFor(TrackMode mode, std::uint32_t sectorSize);

// A run of count sectors from lba stored at offset in file.
Extent StoredRun(std::int32_t lba, std::uint32_t count, const std::shared_ptr<ImageFile>& file,
                 std::uint64_t offset, const SectorStorage& storage);
// A run the image does not store (a pregap it left out): silence or empty sectors.
Extent UnstoredRun(std::int32_t lba, std::uint32_t count, TrackMode mode);

// A Mode 2 track stored raw or as 2336-byte bodies is CD-ROM XA when its first
// stored sector repeats its sub-header; plain Mode 2 has user data there.
void RefineMode2(TrackLayout& t);

// Fills each session's lead-out (the end of its last track, or later when the
// reader already set a later one) and disc type (0x20 when it holds a Mode 2
// track) from the tracks. Sessions the reader did not list are added.
void DeriveSessions(DiscLayout& layout);

// A finished layout is served only when its tracks are numbered from some
// first track upwards by one, each holds sectors, they follow each other on the
// disc without overlapping, sessions 1..n each hold tracks in order, every
// stored run lies inside its file and the disc ends within 99:59:74 (for CD).
// False with a one-line reason (prefixed by what) otherwise.
bool CheckLayout(const DiscLayout& layout, const std::string& what, std::string& error);

// The packs of a CD-TEXT record as a file or chunk stores it: bare 18-byte
// packs, or the READ TOC format 5 answer (a 4-byte header first), either of
// them with a trailing zero byte. Empty when no whole pack is there.
std::vector<std::uint8_t> CdTextPacksFrom(const std::uint8_t* data, std::size_t size);

// Whether s holds exactly n characters accepted by pred.
bool AllOf(const std::string& s, std::size_t n, int (*pred)(int));

}  // namespace orvane
