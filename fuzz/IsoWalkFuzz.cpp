// The ISO 9660 reader of fs/iso9660 on arbitrary sectors: the descriptor
// set, the name set (Rock Ridge found from the root's "." record), and the
// whole tree walked with the copy engine's and the browser's policies.
//
// Input: one flag byte (bit 0: the browser's policy, bit 1: CD-ROM XA data
// mode), then the volume's 2048-byte sectors from sector 0; a short last
// sector reads as failed.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fs/iso9660/Walk.h"

namespace {

namespace iso = fs::iso9660;

struct BufferSource : fs::SectorSource {
  const std::uint8_t* data;
  std::size_t size;
  BufferSource(const std::uint8_t* d, std::size_t n) : data(d), size(n) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    const std::uint64_t end = (std::uint64_t(lba) + count) * fs::kSectorBytes;
    if (end > size) return fs::SectorRead::Failed;
    std::memcpy(out, data + std::size_t(lba) * fs::kSectorBytes, std::size_t(count) * fs::kSectorBytes);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    if (size < fs::kSectorBytes) return std::nullopt;
    return static_cast<std::uint32_t>(size / fs::kSectorBytes - 1);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  BufferSource source(data + 1, size - 1);
  const int dataMode = (flags & 2) ? 2 : 1;
  const iso::Policy policy = (flags & 1) ? iso::BrowserPolicy(dataMode) : iso::CopyPolicy(dataMode);
  iso::Volume v = iso::OpenVolume(source, 0, policy);
  if (!v.found) return 0;
  iso::DirectoryReader reader(source, policy, v.names);
  iso::WalkTree(reader, v.rootExtent, v.rootLength, [](const std::string&, const iso::Entry&) {});
  return 0;
}
