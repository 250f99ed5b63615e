#include "platform/orvane/ImageVerify.h"

#include <algorithm>
#include <cstring>

#include "platform/orvane/CdSector.h"
#include "platform/orvane/SectorCheck.h"

namespace orvane {
namespace {

constexpr std::uint32_t kChunkSectors = 64;  // sectors read from a file at once
constexpr std::size_t kSubchannelSize = 96;
constexpr std::uint32_t kMostStride = 2352 + 96 + 512;  // the largest sector with sub-channel, and some
constexpr std::size_t kUserDataSize = 2048;
constexpr std::size_t kMode2BodySize = 2336;

// The bytes of one stored sector in the extent's format (sub-channel aside).
std::size_t StoredBytes(StoredFormat f) {
  switch (f) {
    case StoredFormat::UserData2048: return kUserDataSize;
    case StoredFormat::Mode2_2336: return kMode2BodySize;
    default: return kRawSectorSize;
  }
}

// The sectors an image marks unread, sorted, for a binary search per sector.
class BadSectors {
 public:
  explicit BadSectors(std::vector<BadRange> ranges) : m_ranges(std::move(ranges)) {
    std::sort(m_ranges.begin(), m_ranges.end(), [](const BadRange& a, const BadRange& b) { return a.first < b.first; });
  }
  bool Has(std::int32_t lba) const {
    auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), lba,
                               [](std::int32_t v, const BadRange& r) { return v < r.first; });
    // Ranges may overlap: any that starts at or before lba may hold it.
    for (auto r = m_ranges.begin(); r != it; ++r)
      if (std::int64_t(lba) < std::int64_t(r->first) + r->count) return true;
    return false;
  }

 private:
  std::vector<BadRange> m_ranges;
};

void AddFailure(VerifyReport& report, const SectorFailure& f) {
  ++report.failed;
  if (report.failures.size() < kMostListedFailures) report.failures.push_back(f);
}

// Sectors from..count-1 of an extent that its file does not hold.
void AddMissing(VerifyReport& report, const TrackLayout& t, const Extent& e, std::uint32_t from) {
  std::uint32_t k = from;
  for (; k < e.count && report.failures.size() < kMostListedFailures; ++k)
    AddFailure(report, {static_cast<std::int32_t>(std::int64_t(e.firstLba) + k), t.number, kFaultUnreadable});
  report.failed += e.count - k;
}

struct Walk {
  const BadSectors& bad;
  VerifyReport& report;
  codec::Hasher hasher;
  std::vector<std::uint8_t> in, sub, out;
};

// One run of sectors of an extent: reads, checks, hashes. Returns the
// sectors of the run the file held.
std::uint32_t VerifyRun(Walk& w, const TrackLayout& t, const Extent& e, std::uint32_t index, std::uint32_t n,
                        TrackCheck& tc) {
  const std::size_t payload = StoredBytes(e.format);
  const bool inlineSub = e.hasSubchannel && !e.subFile;
  const std::size_t need = std::max(payload, inlineSub ? std::size_t(e.subchannelOffset) + kSubchannelSize : 0);
  const std::size_t want = std::size_t(n - 1) * e.stride + need;
  w.in.resize(want);
  const std::size_t got = e.file->ReadAt(e.offset + std::uint64_t(index) * e.stride, w.in.data(), want);
  const std::uint32_t held = got < need ? 0 : static_cast<std::uint32_t>(std::min<std::size_t>(n, (got - need) / e.stride + 1));
  bool haveSub = inlineSub;
  if (e.subFile) {
    w.sub.resize(std::size_t(n) * kSubchannelSize);
    haveSub = e.subFile->ReadAt(e.subOffset + std::uint64_t(index) * kSubchannelSize, w.sub.data(), w.sub.size()) ==
              w.sub.size();
  }
  const std::size_t outSize = e.format == StoredFormat::UserData2048 ? kUserDataSize : kRawSectorSize;
  w.out.resize(std::size_t(held) * outSize);
  for (std::uint32_t k = 0; k < n; ++k) {
    const std::int32_t lba = static_cast<std::int32_t>(std::int64_t(e.firstLba) + index + k);
    unsigned faults = w.bad.Has(lba) ? unsigned{kFaultUnreadable} : 0u;
    if (k >= held) {
      AddFailure(w.report, {lba, t.number, faults | kFaultUnreadable});
      continue;
    }
    const std::uint8_t* p = w.in.data() + std::size_t(k) * e.stride;
    std::uint8_t* o = w.out.data() + std::size_t(k) * outSize;
    const bool data = t.mode != TrackMode::Audio;
    switch (e.format) {
      case StoredFormat::Raw2352:
        std::memcpy(o, p, kRawSectorSize);
        if (data) faults |= CheckRawSector(p, lba, t.mode);
        break;
      case StoredFormat::Mode2_2336:
        WriteSyncAndHeader(o, lba, 2);
        std::memcpy(o + 16, p, kMode2BodySize);
        if (data) faults |= CheckMode2Body(p, lba, t.mode);
        break;
      case StoredFormat::Audio2352BE:
        // Hashed as a .bin stores audio: little-endian.
        for (std::size_t i = 0; i + 1 < kRawSectorSize; i += 2) {
          o[i] = p[i + 1];
          o[i + 1] = p[i];
        }
        break;
      default:
        std::memcpy(o, p, payload);
        break;
    }
    if (data && (e.format == StoredFormat::Raw2352 || e.format == StoredFormat::Mode2_2336)) ++tc.checked;
    if (haveSub) {
      const std::uint8_t* s = e.subFile ? w.sub.data() + std::size_t(k) * kSubchannelSize : p + e.subchannelOffset;
      if (!SubQValid(s, e.subchannelLinear)) faults |= kFaultSubQ;
    }
    if (faults) AddFailure(w.report, {lba, t.number, faults});
  }
  w.hasher.Update(w.out.data(), w.out.size());
  tc.sectors += held;
  tc.bytes += w.out.size();
  return held;
}

}  // namespace

VerifyReport VerifyImage(const DiscLayout& layout, const std::atomic<bool>& stop,
                         const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
  VerifyReport report;
  BadSectors bad(layout.badSectors);
  Walk w{bad, report, {}, {}, {}, {}};
  std::uint64_t total = 0, done = 0;
  for (const TrackLayout& t : layout.tracks)
    for (const Extent& e : t.extents)
      if (e.file) total += e.count;
  for (const TrackLayout& t : layout.tracks) {
    TrackCheck tc;
    tc.number = t.number;
    tc.session = t.session;
    tc.mode = t.mode;
    bool first = true;
    for (const Extent& e : t.extents) {
      if (!e.file || e.count == 0) continue;  // not stored: not in a per-track file either
      if (e.stride < StoredBytes(e.format) || e.stride > kMostStride) {
        AddMissing(report, t, e, 0);  // no reader lays sectors out so
        continue;
      }
      if (first) {
        tc.first = e.firstLba;
        tc.sectorBytes = static_cast<std::uint32_t>(e.format == StoredFormat::UserData2048 ? kUserDataSize
                                                                                             : kRawSectorSize);
        first = false;
      }
      for (std::uint64_t at = 0; at < e.count; at += kChunkSectors) {
        if (stop.load()) {
          report.outcome = VerifyOutcome::Stopped;
          break;
        }
        const auto i = static_cast<std::uint32_t>(at);
        const std::uint32_t n = std::min(kChunkSectors, e.count - i);
        const bool cut = VerifyRun(w, t, e, i, n, tc) < n;
        done += n;
        if (progress) progress(done, total);
        if (cut) {
          // The file ends inside the extent: the sectors after it are missing, not read.
          AddMissing(report, t, e, i + n);
          done += e.count - (i + n);
          break;
        }
      }
    }
    tc.digests = w.hasher.Finish();
    report.tracks.push_back(tc);
    if (report.outcome == VerifyOutcome::Stopped) break;
  }
  return report;
}

}  // namespace orvane
