// Dump lines in fixed columns for a fixed-pitch font.
#include "views/CDlgSectorDump.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "disc/DevCmdROM.h"

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
constexpr int kBytesPerLine = 16;
}  // namespace

std::string SectorDumpHeader() {
  std::string s = "    |   ";
  for (int k = 0; k < kBytesPerLine; ++k) {
    s += kHex[k];
    if (k + 1 < kBytesPerLine) s += "  ";
  }
  s += "  | ";
  return s;
}

std::string SectorDumpRule() { return std::string(74, '-'); }

std::string SectorDumpLine(std::size_t offset, const unsigned char* b) {
  char head[16];
  std::snprintf(head, sizeof head, "%4X", static_cast<unsigned>(offset));
  std::string s = head;
  s += "|  ";
  for (int k = 0; k < kBytesPerLine; ++k) {
    s += kHex[b[k] >> 4];
    s += kHex[b[k] & 0x0F];
    s += ' ';
  }
  s += " |";
  // 0x1F to 0x7F stand for themselves; everything else is a space.
  for (int k = 0; k < kBytesPerLine; ++k) s += (b[k] >= 0x1F && b[k] <= 0x7F) ? static_cast<char>(b[k]) : ' ';
  return s;
}

std::vector<std::string> SectorDumpLines(const unsigned char* data, std::size_t size) {
  std::vector<std::string> lines;
  lines.reserve(2 + size / kBytesPerLine);
  lines.push_back(SectorDumpHeader());
  lines.push_back(SectorDumpRule());
  for (std::size_t off = 0; off + kBytesPerLine <= size; off += kBytesPerLine)
    lines.push_back(SectorDumpLine(off, data + off));
  return lines;
}

long long LeadingDecimal(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;  // saturate; a long digit run cannot overflow
  }
  if (neg) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return v;
}

SectorReadResult ReadSectorForDump(CDevCmdROM& device, std::uint32_t lba, bool allMode, unsigned char* buffer) {
  SectorReadResult r;
  std::memset(buffer, 0, kRawSectorSize);
  r.cdMedium = IsCdMedium(device.GetMediumType());
  if (r.cdMedium) {
    if (allMode) {
      r.ok = device.ReadCD_All(buffer, kRawSectorSize, 1, lba) == 0;
      r.dumpSize = kRawSectorSize;
    } else {
      r.ok = device.ReadCD_Data(buffer, kRawSectorSize, 1, lba) == 0;
      if (!r.ok) r.ok = device.ReadCD_10(buffer, kUserSectorSize, 1, lba) == 0;
      r.dumpSize = kUserSectorSize;
    }
  } else {
    r.ok = device.ReadCD_10(buffer, kUserSectorSize, 1, lba) == 0;
    r.dumpSize = kUserSectorSize;
  }
  return r;
}
