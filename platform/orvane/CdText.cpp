#include "platform/orvane/CdText.h"

#include <algorithm>
#include <array>
#include <string>

#include "disc/TextCodec.h"
#include "platform/orvane/CdSector.h"

namespace orvane {
namespace {

constexpr std::uint8_t kFirstType = 0x80;
constexpr std::uint8_t kSizeInfo = 0x8F;
constexpr std::uint8_t kUpcIsrc = 0x8E;

std::string* FieldOf(CdTextEntry& e, std::uint8_t type) {
  switch (type) {
    case 0x80: return &e.title;
    case 0x81: return &e.performer;
    case 0x82: return &e.songwriter;
    case 0x83: return &e.composer;
    case 0x84: return &e.arranger;
    case 0x85: return &e.message;
    case kUpcIsrc: return &e.isrc;
    default: return nullptr;
  }
}

std::string Utf8ToLatin1(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = c;
    int extra = 0;
    if (c >= 0xF0) cp = c & 0x07, extra = 3;
    else if (c >= 0xE0) cp = c & 0x0F, extra = 2;
    else if (c >= 0xC0) cp = c & 0x1F, extra = 1;
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    if (cp == 0) continue;  // a NUL would end the text early
    out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
  }
  return out;
}

}  // namespace

std::uint16_t CdTextPackCrc(const std::uint8_t* p) { return static_cast<std::uint16_t>(~Crc16Ccitt(p, 16)); }

bool CdTextPackValid(const std::uint8_t* p) {
  return CdTextPackCrc(p) == static_cast<std::uint16_t>((p[16] << 8) | p[17]);
}

std::vector<std::uint8_t> BuildCdTextPacks(const std::vector<CdTextEntry>& entries) {
  std::vector<std::uint8_t> out;
  if (entries.empty()) return out;
  std::array<std::uint8_t, 16> counts{};
  std::uint8_t seq = 0;
  auto pack = [&](std::uint8_t type, std::uint8_t track, std::uint8_t pos, const std::uint8_t* text) {
    std::uint8_t p[kCdTextPackSize] = {type, track, seq++, static_cast<std::uint8_t>(std::min<int>(pos, 15))};
    std::copy(text, text + 12, p + 4);
    const std::uint16_t crc = CdTextPackCrc(p);
    p[16] = static_cast<std::uint8_t>(crc >> 8);
    p[17] = static_cast<std::uint8_t>(crc);
    out.insert(out.end(), p, p + kCdTextPackSize);
    ++counts[type - kFirstType];
  };
  for (std::uint8_t type : {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x8E}) {
    bool any = false;
    for (const auto& e : entries) any = any || !FieldOf(const_cast<CdTextEntry&>(e), type)->empty();
    if (!any) continue;
    // One stream of NUL-terminated texts, track 0 (the disc) first, with the
    // track and in-text position of each character to label the packs.
    std::string stream;
    std::vector<std::uint8_t> trackOf, posOf;
    for (std::size_t t = 0; t < entries.size() && t <= 99; ++t) {
      std::string text = Utf8ToLatin1(*FieldOf(const_cast<CdTextEntry&>(entries[t]), type)) + '\0';
      for (std::size_t k = 0; k < text.size(); ++k) {
        trackOf.push_back(static_cast<std::uint8_t>(t));
        posOf.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(k, 15)));
      }
      stream += text;
    }
    while (stream.size() % 12) stream.push_back('\0');
    for (std::size_t at = 0; at < stream.size(); at += 12) {
      const std::size_t first = std::min(at, trackOf.size() - 1);
      pack(type, trackOf[first], at < posOf.size() ? posOf[at] : 0,
           reinterpret_cast<const std::uint8_t*>(stream.data() + at));
    }
  }
  // Size information: three packs of 12 bytes each.
  const std::uint8_t lastTrack = static_cast<std::uint8_t>(std::clamp<std::size_t>(entries.size() - 1, 1, 99));
  counts[kSizeInfo - kFirstType] = 3;
  std::array<std::uint8_t, 36> info{};
  info[0] = 0x00;  // ISO 8859-1
  info[1] = 1;
  info[2] = lastTrack;
  std::copy(counts.begin(), counts.end(), info.begin() + 4);
  info[20] = static_cast<std::uint8_t>(seq + 2);  // last sequence number of block 0
  info[28] = 0x09;                                // English
  counts[kSizeInfo - kFirstType] = 0;             // pack() counts them again
  for (int i = 0; i < 3; ++i) pack(kSizeInfo, static_cast<std::uint8_t>(i), 0, info.data() + 12 * i);
  return out;
}

std::vector<CdTextEntry> ParseCdTextPacks(const std::uint8_t* packs, std::size_t bytes) {
  std::vector<CdTextEntry> result;
  const std::size_t n = bytes / kCdTextPackSize;
  auto at = [&](std::size_t i) { return packs + i * kCdTextPackSize; };
  auto block = [](const std::uint8_t* p) { return (p[3] >> 4) & 0x07; };

  int charCode = 0x00;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* p = at(i);
    if (p[0] == kSizeInfo && block(p) == 0 && p[1] == 0 && CdTextPackValid(p)) {
      charCode = p[4];
      break;
    }
  }
  if (charCode == 0x80 || charCode == 0x81 || charCode == 0x82) return result;  // Asian codes: not decoded

  for (std::uint8_t type : {0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x8E}) {
    std::string cur, previous;
    int track = -1;
    bool doubleByte = false;
    bool skipping = false;  // after a lost pack: wait for the start of the next text
    int expectedSeq = -1;
    auto store = [&](std::string text) {
      if (track < 0 || track > 99) return;
      if (text.empty()) {  // nothing for this track (also the padding after the last text)
        previous.clear();
        return;
      }
      const bool tab = doubleByte ? text == std::string("\t\t", 2) || text == std::string("\0\t", 2) : text == "\t";
      std::string utf8 =
          tab ? previous
              : (doubleByte && type != kUpcIsrc
                     ? Utf16BeToUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size())
                     : Latin1ToUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
      previous = utf8;
      if (result.size() <= static_cast<std::size_t>(track)) result.resize(static_cast<std::size_t>(track) + 1);
      *FieldOf(result[static_cast<std::size_t>(track)], type) = utf8;
    };
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* p = at(i);
      if (p[0] != type || block(p) != 0) continue;
      if (!CdTextPackValid(p)) {
        expectedSeq = -1;  // resynchronise at the next good pack
        continue;
      }
      if (expectedSeq != p[2]) {
        // First pack, or packs went missing: start again at this pack's track.
        track = p[1] & 0x7F;
        cur.clear();
        skipping = (p[3] & 0x0F) != 0;
      }
      expectedSeq = (p[2] + 1) & 0xFF;
      doubleByte = (p[3] & 0x80) != 0;
      const int unit = doubleByte ? 2 : 1;
      for (int k = 0; k + unit <= 12; k += unit) {
        const bool end = doubleByte ? (p[4 + k] == 0 && p[5 + k] == 0) : p[4 + k] == 0;
        if (end) {
          if (!skipping) store(cur);
          skipping = false;
          cur.clear();
          ++track;
          continue;
        }
        cur.append(reinterpret_cast<const char*>(p + 4 + k), static_cast<std::size_t>(unit));
      }
    }
  }
  return result;
}

}  // namespace orvane
