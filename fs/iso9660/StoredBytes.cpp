#include "fs/iso9660/StoredBytes.h"

#include <algorithm>
#include <cstring>

namespace fs::iso9660 {

namespace {

// Sectors asked for in one read.
constexpr std::uint32_t kRunSectors = 32;

// Copies bytes [from, from + out.size()) of the extent starting at lba.
bool ReadInExtent(SectorSource& source, std::uint32_t lba, std::uint64_t from, std::span<std::uint8_t> out,
                  std::vector<std::uint8_t>& run) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = from + done;
    const std::uint64_t sector = std::uint64_t(lba) + at / kSectorBytes;
    const std::size_t skip = static_cast<std::size_t>(at % kSectorBytes);
    const std::size_t want = std::min<std::size_t>(out.size() - done, std::size_t(kRunSectors) * kSectorBytes - skip);
    const auto count = static_cast<std::uint32_t>((skip + want + kSectorBytes - 1) / kSectorBytes);
    if (sector + count > 0x100000000ull) return false;
    run.resize(std::size_t(count) * kSectorBytes);
    if (source.Read(static_cast<std::uint32_t>(sector), count, run.data()) != SectorRead::Ok) return false;
    std::memcpy(out.data() + done, run.data() + skip, want);
    done += want;
  }
  return true;
}

}  // namespace

std::uint64_t StoredSize(const std::vector<Extent>& extents) {
  std::uint64_t n = 0;
  for (const Extent& x : extents) n += x.bytes;
  return n;
}

StoredBytesReader ExtentReader(SectorSource& source, std::vector<Extent> extents) {
  return [&source, extents = std::move(extents), run = std::vector<std::uint8_t>()](
             std::uint64_t offset, std::span<std::uint8_t> out) mutable {
    std::uint64_t start = 0;  // of the current extent, within the recorded bytes
    for (const Extent& x : extents) {
      if (out.empty()) return true;
      const std::uint64_t end = start + x.bytes;
      if (offset < end) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - offset));
        if (!ReadInExtent(source, x.lba, offset - start, out.first(n), run)) return false;
        out = out.subspan(n);
        offset += n;
      }
      start = end;
    }
    return out.empty();
  };
}

}  // namespace fs::iso9660
