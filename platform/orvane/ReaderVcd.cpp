// Images that carry a header of their own before the sectors (virtual drive
// programs' .vcd files and alike): whatever the header says, the sectors of
// a data disc are found by their ISO 9660 primary volume descriptor, which
// lies 16 sectors into the stream, cooked (2048 bytes a sector) or raw (2352,
// its user data 16 bytes into a Mode 1 sector, 24 into a Mode 2 one).
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

// How far into the file a header may push the descriptor.
constexpr std::uint64_t kMaxHeader = 4u << 20;
constexpr std::size_t kCooked = disc::kUserDataSize, kRaw = disc::kRawSectorSize;
constexpr int kScoreVcd = 60;  // a file named .vcd; less for another name

struct Stream {
  std::uint64_t base = 0;  // where sector 0 starts
  std::uint32_t stride = kCooked;
  std::uint8_t mode = 1;   // of raw sectors
};

bool IsDescriptor(const std::uint8_t* p) { return std::memcmp(p + 1, "CD001", 5) == 0 && p[6] == 1; }

// The sector stream whose sector 16 is the primary volume descriptor found at
// q (its type byte), and whose sector 17 is a descriptor as well.
std::optional<Stream> StreamAt(ImageFile& f, std::uint64_t q) {
  std::uint8_t next[8], head[16];
  if (q >= 16 * kCooked && f.ReadAt(q + kCooked, next, 7) == 7 && IsDescriptor(next)) return Stream{q - 16 * kCooked, kCooked, 0};
  for (std::uint64_t user : {16u, 24u}) {
    if (q < 16 * kRaw + user) continue;
    const std::uint64_t base = q - 16 * kRaw - user;
    if (f.ReadAt(base + 16 * kRaw, head, 16) != 16 || !HasSync(head) || head[disc::kHeaderModeOffset] != (user == 16 ? 1 : 2)) continue;
    if (f.ReadAt(q + kRaw, next, 7) != 7 || !IsDescriptor(next)) continue;
    return Stream{base, static_cast<std::uint32_t>(kRaw), head[disc::kHeaderModeOffset]};
  }
  return std::nullopt;
}

// The first primary volume descriptor in the file's first megabytes that
// stands at sector 16 of a stream starting past the file's first byte.
std::optional<Stream> FindStream(ImageFile& f) {
  const std::uint64_t limit = std::min<std::uint64_t>(f.Size(), kMaxHeader + 16 * kRaw + kRaw);
  // Every image opened is probed here, a plain ISO over its whole first
  // megabytes: the pattern is searched for, not walked to byte by byte.
  static constexpr char kPattern[] = "\x01" "CD001";
  constexpr std::size_t kPatternBytes = sizeof kPattern - 1;
  constexpr std::size_t kBuf = 256 * 1024;
  const std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[kBuf]);  // no zeros: only what is read is looked at
  for (std::uint64_t at = 0; at < limit; at += kBuf - 8) {
    const std::size_t got = f.ReadAt(at, buf.get(), std::min<std::uint64_t>(kBuf, limit - at));
    if (got < 8) break;
    // A descriptor's first 7 bytes must lie in what was read.
    const std::uint8_t* const end = buf.get() + got - 1;
    for (const std::uint8_t* p = buf.get(); p + kPatternBytes <= end;) {
      const void* hit = ::memmem(p, static_cast<std::size_t>(end - p), kPattern, kPatternBytes);
      if (!hit) break;
      p = static_cast<const std::uint8_t*>(hit);
      if (IsDescriptor(p)) {
        auto s = StreamAt(f, at + static_cast<std::uint64_t>(p - buf.get()));
        if (s && s->base > 0) return s;
      }
      ++p;
    }
    if (got < kBuf) break;
  }
  return std::nullopt;
}

class VcdImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "VCD"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>&) const override {
    std::string err;
    auto f = OpenImageFile(path, err);
    if (f && FindStream(*f)) return LowerExtension(path) == ".vcd" ? kScoreVcd : 40;
    return 0;
  }
  int MostScore() const override { return kScoreVcd; }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    auto f = OpenImageFile(path, error);
    if (!f) return false;
    auto s = FindStream(*f);
    if (!s) {
      error = path + ": no ISO 9660 volume found behind its header";
      return false;
    }
    const std::uint64_t sectors = (f->Size() - s->base) / s->stride;
    if (sectors > 0x7FFFFFFF || (s->stride == kRaw && sectors > 450000)) {
      error = path + " is larger than any disc";
      return false;
    }
    std::uint8_t pvd[kCooked];
    const std::uint64_t pvdAt = s->base + 16 * std::uint64_t(s->stride) + (s->stride == kRaw ? (s->mode == 1 ? 16 : 24) : 0);
    if (f->ReadAt(pvdAt, pvd, kCooked) != kCooked) {
      error = path + ": its volume descriptor is cut off";
      return false;
    }
    const std::uint32_t declared = pvd[80] | (pvd[81] << 8) | (pvd[82] << 16) | (std::uint32_t(pvd[83]) << 24);
    if (declared > sectors) {
      error = path + " is truncated: its volume has " + std::to_string(declared) + " sectors, the file holds " +
              std::to_string(sectors);
      return false;
    }
    const bool xa = std::memcmp(pvd + 1024, "CD-XA001", 8) == 0 || (s->stride == kRaw && s->mode == 2);
    layout.format = "VCD";
    layout.profile = s->stride == kRaw ? 0x08 : ProfileForSectors(sectors);
    LayOutSingleTrack(layout, f, static_cast<std::uint32_t>(sectors), xa ? TrackMode::Mode2Xa : TrackMode::Mode1,
                      s->stride == kRaw ? StoredFormat::Raw2352 : StoredFormat::UserData2048, s->stride,
                      xa ? 0x20 : 0x00);
    layout.tracks.front().extents.front().offset = s->base;
    return true;
  }
};

}  // namespace

const ImageReader& VcdReader() {
  static const VcdImageReader reader;
  return reader;
}

}  // namespace orvane
