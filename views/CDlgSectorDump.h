#pragma once
// The hex dump of one sector as the sector viewer's list box holds it, and the
// read that fills the sector buffer, which chooses between a raw 2352-byte
// sector and 2048 bytes of user data by medium and "all mode".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disc/SectorLayout.h"

class CDevCmdROM;

constexpr int kRawSectorSize = static_cast<int>(disc::kRawSectorSize);
constexpr int kUserSectorSize = static_cast<int>(disc::kUserDataSize);

// Line 0 (58 characters): the column digits 0 to F.
std::string SectorDumpHeader();
// Line 1: 74 dashes.
std::string SectorDumpRule();
// One line of 16 bytes (73 characters) at `offset` within the sector.
std::string SectorDumpLine(std::size_t offset, const unsigned char* bytes16);
// Header, rule and one line per 16 bytes of `size` bytes.
std::vector<std::string> SectorDumpLines(const unsigned char* data, std::size_t size);

// A leading decimal number as the edit box's text gives it: optional white
// space and sign, then digits; 0 when there are none. Held to 32 bits.
long long LeadingDecimal(const std::string& text);

struct SectorReadResult {
  bool cdMedium = false;  // "all mode" may be used (enabled) for this medium
  bool ok = false;        // the read succeeded
  int dumpSize = 0;       // bytes of the buffer to dump: 2352 or 2048
};

// Zeroes buffer (2352 bytes) and reads sector lba into it: a CD medium raw
// with "all mode", else as user data (READ CD, then READ(10) if that fails);
// any other medium with READ(10).
SectorReadResult ReadSectorForDump(CDevCmdROM& device, std::uint32_t lba, bool allMode,
                                   unsigned char* buffer);
