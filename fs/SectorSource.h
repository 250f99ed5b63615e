#pragma once
// How the file-system layer reads a medium: whole 2048-byte sectors by
// logical block address, from a drive, an image or a buffer in a test. It
// knows nothing of MMC; the device library implements it.
#include <cstdint>
#include <optional>

namespace fs {

constexpr std::uint32_t kSectorBytes = 2048;
constexpr std::uint32_t kRawSectorBytes = 2352;

enum class SectorRead {
  Ok,      // every sector asked for is in the buffer
  Failed,  // at least one could not be read (past the end, unreadable, not data)
};

class SectorSource {
 public:
  virtual ~SectorSource() = default;
  // Reads count sectors from lba into out, which holds count * kSectorBytes.
  virtual SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) = 0;
  // The last sector of the track holding lba, or of the whole medium where
  // the track is not known; nullopt when neither can be told.
  virtual std::optional<std::uint32_t> LastSector(std::uint32_t lba) = 0;
  // Reads one sector whole as a CD drive returns it (kRawSectorBytes: sync,
  // header, sub-header and data), so that a CD-ROM XA sector is cut by its
  // own form; or its user data alone where the medium gives that back.
  // Failed where the medium has no raw sectors (DVD, BD, a buffer).
  virtual SectorRead ReadRaw(std::uint32_t /*lba*/, std::uint8_t* /*out*/) { return SectorRead::Failed; }
};

}  // namespace fs
