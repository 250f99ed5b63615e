// Formatting the fields of a primary volume descriptor.
#include "views/CDlgVolRows.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "disc/ByteOrder.h"
#include "disc/TextCodec.h"
#include "udf/Analy_UDF.h"

namespace {

constexpr std::size_t kTextBufferSize = 256;

// decoded: the text came from 16-bit characters and is UTF-8 now, so its
// bytes from 0x80 up are parts of real characters and are never skipped.
std::string TrimText(const unsigned char* buf, std::size_t n, bool decoded = false) {
  std::size_t i = 0;
  while (i < n && buf[i] == 0) ++i;
  while (i < n && buf[i] != 0 && static_cast<signed char>(buf[i]) < 0x30 && !(decoded && buf[i] >= 0x80)) ++i;
  std::size_t j = i;
  while (j < n && buf[j] != 0) ++j;
  return std::string(reinterpret_cast<const char*>(buf + i), j - i);
}

// Digits of a date part as a number; anything but digits ends it, so a
// blank or zero-filled date reads 0.
int DigitField(const unsigned char* p, int n) {
  int i = 0, v = 0;
  while (i < n && p[i] == ' ') ++i;
  for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) v = v * 10 + (p[i] - '0');
  return v;
}

std::string DateText(int y, int mo, int d, int h, int mi, int s) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d", y, mo, d, h, mi, s);
  return buf;
}

// A Joliet identifier: big-endian 16-bit characters, then the text rule.
std::string Ucs2Field(const unsigned char* p, std::size_t n) {
  std::string s = Utf16BeToUtf8(p, n);
  const std::size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return TrimText(reinterpret_cast<const unsigned char*>(s.data()), s.size(), true);
}

// A UDF dstring of n bytes: compression id, characters, and the used length
// in its last byte (which, for a full name, follows the last character
// without a NUL and is no part of the name).
std::string DstringText(const unsigned char* p, std::size_t n) {
  std::size_t used = p[n - 1];
  if (used == 0 || used > n - 1) used = n - 1;
  if (p[0] == 16) {
    // Big-endian 16-bit characters after the compression byte.
    std::string wide = Utf16BeToUtf8(p + 1, used - 1);
    const std::size_t nul = wide.find('\0');
    if (nul != std::string::npos) wide.resize(nul);
    return TrimText(reinterpret_cast<const unsigned char*>(wide.data()), wide.size(), true);
  }
  unsigned char buf[kTextBufferSize] = {};
  std::memcpy(buf, p, used);
  const std::string text = TrimText(buf, used);
  // 8-bit characters are Latin-1 code points.
  if (p[0] == 8) return Latin1ToUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return Utf8OrLatin1(text);
}

}  // namespace

std::string TrimDescriptorText(const unsigned char* field, std::size_t length) {
  unsigned char buf[kTextBufferSize] = {};
  if (length > kTextBufferSize - 1) length = kTextBufferSize - 1;
  std::memcpy(buf, field, length);
  return Utf8OrLatin1(TrimText(buf, kTextBufferSize));
}

std::string FormatIsoDate(const unsigned char* d) {
  return DateText(DigitField(d, 4), DigitField(d + 4, 2), DigitField(d + 6, 2), DigitField(d + 8, 2),
                  DigitField(d + 10, 2), DigitField(d + 12, 2));
}

std::string FormatUdfDate(const unsigned char* ts) {
  return DateText(GetLE16(ts + 2), ts[4], ts[5], ts[6], ts[7], ts[8]);
}

bool IsJolietDescriptor(const unsigned char* vd) {
  return vd[0] == 2 && vd[88] == '%' && vd[89] == '/' && (vd[90] == '@' || vd[90] == 'C' || vd[90] == 'E');
}

std::vector<VolRow> BuildIsoVolRows(const unsigned char* vd, int size) {
  std::vector<VolRow> rows;
  if (!vd || size <= 0 || size > kVolDescriptorSize) return rows;
  // Every field read lies below byte 847; a shorter buffer is read as if the
  // rest were zero.
  unsigned char b[kVolDescriptorSize] = {};
  std::memcpy(b, vd, static_cast<std::size_t>(size));
  const bool joliet = IsJolietDescriptor(b);
  auto text = [&](int from, int to) {
    return joliet ? Ucs2Field(b + from, to - from + 1) : TrimDescriptorText(b + from, to - from + 1);
  };
  rows.emplace_back("Standard Identifier", TrimDescriptorText(b + 1, 5));
  rows.emplace_back("ISO Volume Identifier", text(40, 71));
  rows.emplace_back("Volume Space Size", std::to_string(static_cast<int>(GetLE32(b + 80))));
  rows.emplace_back("Volume Set Size", std::to_string(GetLE16(b + 120)));
  rows.emplace_back("Path Table Size", std::to_string(static_cast<int>(GetLE32(b + 132))));
  rows.emplace_back("Application Identifier", text(574, 701));
  rows.emplace_back("Volume Creation Date and Time", FormatIsoDate(b + 813));
  rows.emplace_back("Volume Modification Date and Time", FormatIsoDate(b + 830));
  return rows;
}

std::vector<VolRow> BuildUdfVolRows(const unsigned char* vd, int size) {
  std::vector<VolRow> rows;
  if (!vd || size <= 0 || size > kVolDescriptorSize) return rows;
  unsigned char b[kVolDescriptorSize] = {};
  std::memcpy(b, vd, static_cast<std::size_t>(size));
  rows.emplace_back("UDF Volume Identifier", DstringText(b + 24, 32));
  rows.emplace_back("Volume Set Identifier", DstringText(b + 72, 128));
  rows.emplace_back("Descriptor Character Set", TrimDescriptorText(b + 200, 64));
  rows.emplace_back("Explanatory Character Set", TrimDescriptorText(b + 264, 64));
  rows.emplace_back("Application Identifier", TrimDescriptorText(b + 344, 32));
  rows.emplace_back("Recording Date and Time", FormatUdfDate(b + 376));
  rows.emplace_back("Implementation Use", TrimDescriptorText(b + 420, 64));
  return rows;
}

std::vector<VolRow> BuildUdfSummaryRows(const UdfVolumeSummary& s) {
  auto join = [](const auto& items) {
    std::string text;
    for (const auto& item : items) {
      if (!text.empty()) text += ", ";
      if constexpr (std::is_same_v<std::decay_t<decltype(item)>, std::string>) text += item;
      else text += std::to_string(item);
    }
    return text;
  };
  std::vector<VolRow> rows{{"UDF Revision", s.revision},
                           {"Block Size", s.blockSize ? std::to_string(s.blockSize) : std::string()},
                           {"Partition Maps", join(s.maps)},
                           {"Anchors", join(s.anchors)}};
  if (std::find(s.maps.begin(), s.maps.end(), "metadata") != s.maps.end())
    rows.emplace_back("Metadata File", s.metadataMirror ? "mirror (main: " + s.metadataProblem + ")" : "main");
  return rows;
}

std::vector<VolRow> BuildVolRows(const unsigned char* vd, int size, int fsType) {
  if (fsType == 1) return BuildIsoVolRows(vd, size);
  if (fsType >= 2) return BuildUdfVolRows(vd, size);
  return {};
}

std::vector<VolRow> BuildVolRows(const unsigned char* vd, int size, int fsType, const UdfVolumeSummary* udf) {
  std::vector<VolRow> rows = BuildVolRows(vd, size, fsType);
  if (fsType >= 2 && udf && !rows.empty())
    for (VolRow& r : BuildUdfSummaryRows(*udf)) rows.push_back(std::move(r));
  return rows;
}
