#include "disc/MmcRecords.h"

#include <algorithm>
#include <cstring>

#include "disc/TextCodec.h"

namespace mmc {

namespace {

// CD-TEXT entry n starts at 8 + 817 * n; its items follow one another.
struct ItemPlace {
  std::size_t offset, size;
};
constexpr ItemPlace kItemPlaces[] = {
    {0, 160}, {160, 160}, {320, 160}, {480, 160}, {640, 160}, {800, 17},
};
static_assert(800 + 17 == kCdTextEntrySize);
static_assert(kCdTextEntryOffset + kCdTextEntrySize * kCdTextEntries <= sizeof(FS_CDTEXT_INFO::data));

constexpr std::size_t kTrackInfoDataLength = 34;  // the bytes after the length field

}  // namespace

void PutTrackInfo(TRACK_INFO& out, const TrackInfoValues& v) {
  std::memset(out.data, 0, sizeof out.data);
  unsigned char* b = out.data;
  PutBE16(b, kTrackInfoDataLength);
  b[2] = static_cast<unsigned char>(v.track);
  b[3] = static_cast<unsigned char>(v.session);
  b[5] = v.trackMode;
  b[6] = v.dataMode;
  PutBE32(b + 8, v.start);
  PutBE32(b + 24, v.size);
  b[32] = static_cast<unsigned char>(v.track >> 8);
  b[33] = static_cast<unsigned char>(v.session >> 8);
}

std::size_t TocDescriptorBytes(const unsigned char* toc, std::size_t held) {
  if (!toc || held < kTocHeaderSize) return 0;
  // The data length counts the two first/last bytes too.
  const std::size_t claimed = TocDataLength(toc) >= 2 ? TocDataLength(toc) - 2 : 0;
  return std::min(claimed, held - kTocHeaderSize);
}

void PutFullTocDescriptor(unsigned char* d, const FullTocValues& v) {
  d[0] = static_cast<unsigned char>(v.session);
  d[1] = v.adrControl;
  d[2] = 0;  // TNO: 0 in the lead-in
  d[3] = static_cast<unsigned char>(v.point);
  d[4] = d[5] = d[6] = 0;  // MIN, SEC, FRAME
  d[7] = static_cast<unsigned char>(v.zero);
  d[8] = static_cast<unsigned char>(v.p.m);
  d[9] = static_cast<unsigned char>(v.p.s);
  d[10] = static_cast<unsigned char>(v.p.f);
}

std::string CdTextField(const FS_CDTEXT_INFO& info, int entry, CdTextItem item) {
  if (entry < 0 || entry >= kCdTextEntries) return {};
  const ItemPlace place = kItemPlaces[static_cast<int>(item)];
  const auto* p = reinterpret_cast<const char*>(info.data + kCdTextEntryOffset + kCdTextEntrySize * entry +
                                                place.offset);
  return std::string(p, strnlen(p, place.size));
}

void PutCdTextField(FS_CDTEXT_INFO& info, int entry, CdTextItem item, std::string_view text) {
  if (entry < 0 || entry >= kCdTextEntries) return;
  const ItemPlace place = kItemPlaces[static_cast<int>(item)];
  auto* p = reinterpret_cast<char*>(info.data + kCdTextEntryOffset + kCdTextEntrySize * entry + place.offset);
  CopyUtf8Bounded(text, p, place.size);
}

std::string_view InquiryIdentification(const INQUIRYDATA& inq) {
  constexpr std::size_t kVendorOffset = 8;
  const auto* begin = reinterpret_cast<const char*>(inq.data) + kVendorOffset;
  const auto* end = reinterpret_cast<const char*>(inq.data) + sizeof inq.data;
  return std::string_view(begin, static_cast<std::size_t>(std::find(begin, end, '\0') - begin));
}

bool ConfigHasFeature(const unsigned char* config, int size, unsigned feature) {
  if (!config || size < static_cast<int>(kConfigHeaderSize)) return false;
  // The Data Length counts the bytes after itself.
  const std::uint64_t limit = std::min<std::uint64_t>(static_cast<std::uint64_t>(GetBE32(config)) + 4,
                                                      static_cast<std::uint64_t>(size));
  std::uint64_t off = kConfigHeaderSize;
  while (off + 4 <= limit) {
    const unsigned char* d = config + off;
    if (GetBE16(d) == feature) return true;
    off += 4u + d[3];
  }
  return false;
}

}  // namespace mmc
