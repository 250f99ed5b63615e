#pragma once
// Rescue imaging of a whole medium into one image file with a GNU ddrescue
// mapfile beside it. The rules it keeps:
//  - the readable bulk first: runs of sectors, skipping ahead past a failure
//    by a skip that doubles while failures go on; then what was skipped;
//  - then the edges of each failed run, sector by sector (trimming), then its
//    inside (scraping), then each sector still bad, up to `retries` times;
//  - a sector once read is never read or written again, and a failed read
//    writes nothing, so nothing already rescued is lost;
//  - the mapfile claims a sector only after the image's bytes are on disk
//    (fdatasync first), and is replaced atomically at least every few seconds,
//    so a run killed at any moment resumes where it was;
//  - a stop request finishes the current read, writes the map and returns.
// Free of any user interface: the caller shows the progress it is handed.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "copy/ImageMedium.h"
#include "disc/SectorLayout.h"
#include "copy/RescueMap.h"

class CDevCmdROM;

namespace imaging {

enum class ImageForm { UserData, Raw };  // 2048-byte user data (READ(10)) or 2352-byte raw sectors (READ CD)

constexpr std::uint32_t SectorBytesOf(ImageForm f) {
  return static_cast<std::uint32_t>(f == ImageForm::Raw ? disc::kRawSectorSize : disc::kUserDataSize);
}

struct ImagerOptions {
  int retries = 2;
  std::chrono::milliseconds mapInterval{5000};  // longest time between two saves of the map
  std::chrono::milliseconds readDelay{0};       // a pause before each read (slow media in tests)
  // Bytes one read asks for: what every drive transfers at once. An image
  // file served as a drive takes far longer reads, which cost less each.
  std::size_t runBytes = 64 * 1024;
};

struct ImagerProgress {
  PassState pass = PassState::Copying;
  std::int64_t lba = 0;         // the sector being read
  std::uint64_t finished = 0;   // sectors read
  std::uint64_t failed = 0;     // sectors tried and not read (yet)
  std::uint64_t total = 0;
};

enum class ImagerOutcome { Complete, Incomplete, Stopped, Failed };

class DiscImager {
 public:
  DiscImager(CDevCmdROM& dev, ImageForm form, std::vector<ImageSpan> spans);
  std::uint64_t Sectors() const { return m_total; }

  // Reads every sector `map` does not hold as finished into imagePath (kept
  // as it is where the map says finished), saving the map to mapPath. The map
  // comes in fresh (all non-tried) or parsed from an earlier run.
  ImagerOutcome Run(const std::string& imagePath, const std::string& mapPath, RescueMap& map,
                    const ImagerOptions& options, const std::atomic<bool>& stop,
                    const std::function<void(const ImagerProgress&)>& progress, std::string& error);

 private:
  struct Session;
  bool ReadRun(std::uint64_t sector, std::uint32_t count, unsigned char* buffer);
  std::int64_t LbaOf(std::uint64_t sector) const;
  // Sectors from `sector` that lie in the same span (one read cannot cross a gap).
  std::uint64_t SpanLeft(std::uint64_t sector) const;

  CDevCmdROM& m_dev;
  ImageForm m_form;
  std::vector<ImageSpan> m_spans;
  std::vector<std::uint64_t> m_spanFirst;  // image sector of each span's first sector
  std::uint64_t m_total = 0;
  bool m_mediumGone = false;
};

enum class MapOpen { Fresh, Resumed, Missing, Unreadable, OtherMedium, OtherForm };

// The map a run starts from: with resume, the mapfile at mapPath, which must
// carry the same fingerprint and form notes; without, a fresh map carrying
// them. `notes` are the "tessal ..." lines to write.
MapOpen PrepareMap(const std::string& mapPath, bool resume, std::uint64_t sectors, std::uint32_t sectorBytes,
                   const std::vector<std::string>& notes, RescueMap& map, std::string& detail);

}  // namespace imaging
