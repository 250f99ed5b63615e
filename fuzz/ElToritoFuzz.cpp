// The El Torito path on a small medium held in memory: the boot record
// descriptor at sector 17 names the catalog, which is read (bounded), parsed
// and its images sized against a track end the input picks. Names and sizes
// must keep their promises.
//
// Input: the track's last sector (16-bit LE), then the medium's sectors from
// sector 16 on (at most kMaxSectors; sectors 0..15 are zeros).
#include <cstdint>
#include <vector>

#include "fs/iso9660/ElTorito.h"
#include "fuzz/MemorySectors.h"

namespace {

constexpr std::size_t kMaxSectors = 96;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t trackLast = data[0] | (data[1] << 8);
  fuzzsupport::MemorySectors medium;
  medium.bytes.assign(16 * fs::kSectorBytes, 0);
  const std::size_t rest = std::min(size - 2, kMaxSectors * fs::kSectorBytes);
  medium.bytes.insert(medium.bytes.end(), data + 2, data + 2 + rest);
  medium.bytes.resize(std::max<std::size_t>(18, (medium.bytes.size() + 2047) / 2048) * fs::kSectorBytes);

  const auto sector = fs::iso9660::BootCatalogSector(std::span(medium.bytes).subspan(17 * fs::kSectorBytes, 2048));
  if (!sector) return 0;
  const std::uint32_t last = *medium.LastSector(0);
  auto catalog = fs::iso9660::ReadBootCatalog(medium, *sector, last);
  fs::iso9660::SizeBootImages(medium, trackLast, catalog);
  if (catalog.entries.size() > fs::iso9660::kMaxBootEntries) __builtin_trap();
  for (const auto& e : catalog.entries) {
    if (e.name.empty() || e.name.find('/') != std::string::npos) __builtin_trap();
    if (e.loadRba > trackLast ? e.size != 0 : e.size > (std::uint64_t(trackLast) - e.loadRba + 1) * 2048) __builtin_trap();
  }
  return 0;
}
