// Plain images of 2048-byte user data: ISO 9660 and UDF volumes as a DVD or
// a data CD holds them.
#include <cstring>

#include "platform/orvane/FlatSessions.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

constexpr std::size_t kSector = disc::kUserDataSize;
constexpr std::size_t kPvdOffset = 16 * kSector;

bool HasIsoPvd(const std::uint8_t* s) { return s[0] == 1 && std::memcmp(s + 1, "CD001", 5) == 0; }

// A UDF volume recognition sequence starts at sector 16 as well.
bool HasUdfVrs(const std::vector<std::uint8_t>& head) {
  for (std::size_t at = kPvdOffset; at + 6 <= head.size() && at < 32 * kSector; at += kSector) {
    const char* id = reinterpret_cast<const char*>(&head[at + 1]);
    if (!std::memcmp(id, "BEA01", 5) || !std::memcmp(id, "NSR02", 5) || !std::memcmp(id, "NSR03", 5)) return true;
  }
  return false;
}

class IsoImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "ISO"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (head.size() >= kPvdOffset + kSector && HasIsoPvd(&head[kPvdOffset])) return 100;
    if (HasUdfVrs(head)) return 90;
    std::string ext = LowerExtension(path);
    std::uint64_t size = FileSizeOf(path);
    if (ext == ".iso" || ext == ".udf") return 10;
    if (ext == ".img" && size % kSector == 0 && size % disc::kRawSectorSize != 0) return 6;
    return 0;
  }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    auto file = OpenImageFile(path, error);
    if (!file) return false;
    std::uint64_t sectors = file->Size() / kSector;
    if (sectors == 0) {
      error = path + " is shorter than one 2048-byte sector";
      return false;
    }
    if (sectors > 0x7FFFFFFF) {
      error = path + " is larger than any disc";
      return false;
    }
    std::uint8_t discType = 0x00;
    TrackMode mode = TrackMode::Mode1;
    std::uint8_t pvd[kSector];
    if (file->ReadAt(kPvdOffset, pvd, kSector) == kSector && HasIsoPvd(pvd)) {
      // Volume space size, both-endian at byte 80: the volume cannot be
      // shorter than the sectors its own descriptor counts.
      std::uint32_t declared = pvd[80] | (pvd[81] << 8) | (pvd[82] << 16) | (std::uint32_t(pvd[83]) << 24);
      if (declared > sectors) {
        error = path + " is truncated: its volume has " + std::to_string(declared) + " sectors, the file holds " +
                std::to_string(sectors);
        return false;
      }
      if (std::memcmp(pvd + 1024, "CD-XA001", 8) == 0) {
        discType = 0x20;
        mode = TrackMode::Mode2Xa;
      }
    }
    layout.format = "ISO";
    if (LayOutFlatSessions(layout, file, static_cast<std::uint32_t>(sectors))) return true;
    layout.profile = ProfileForSectors(sectors);
    LayOutSingleTrack(layout, file, static_cast<std::uint32_t>(sectors), mode, StoredFormat::UserData2048, kSector,
                      discType);
    return true;
  }
};

}  // namespace

const ImageReader& IsoReader() {
  static const IsoImageReader reader;
  return reader;
}

}  // namespace orvane
