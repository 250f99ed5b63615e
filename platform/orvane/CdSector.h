#pragma once
// Raw CD sectors as a drive returns them: sync, BCD header, sub-header, EDC
// and the Reed-Solomon P/Q parity of ECMA-130.
#include <cstddef>
#include <cstdint>

#include "disc/SectorLayout.h"

namespace orvane {

using disc::kRawSectorSize;

// EDC over size bytes (CRC-32 with the polynomial x^32+x^31+x^16+x^15+x^4+x^3+x+1, LSB first).
std::uint32_t ComputeEdc(const std::uint8_t* data, std::size_t size);
// Fills P parity (172 bytes at 2076) and Q parity (104 bytes at 2248) of a
// raw sector; zeroAddress clears the header while computing (Mode 2 Form 1).
void ComputeEcc(std::uint8_t* sector, bool zeroAddress);

// 12-byte sync and the header of an LBA with the given mode byte.
void WriteSyncAndHeader(std::uint8_t* sector, std::int32_t lba, std::uint8_t mode);

// Builds whole 2352-byte sectors from user data.
void BuildMode1Sector(std::uint8_t* sector, std::int32_t lba, const std::uint8_t* user2048);
// subheader: the 4 bytes (file, channel, submode, coding) stored twice.
void BuildMode2Form1Sector(std::uint8_t* sector, std::int32_t lba, const std::uint8_t subheader[4],
                           const std::uint8_t* user2048);
void BuildMode2Form2Sector(std::uint8_t* sector, std::int32_t lba, const std::uint8_t subheader[4],
                           const std::uint8_t* user2324);
// Mode 2 sector from the 2336 bytes that follow the header.
void BuildMode2FromBody(std::uint8_t* sector, std::int32_t lba, const std::uint8_t* body2336);

// CRC-16 CCITT (x^16 + x^12 + x^5 + 1, initial 0, not inverted) of the
// sub-channel Q and CD-TEXT packs; both store its complement.
std::uint16_t Crc16Ccitt(const std::uint8_t* data, std::size_t size);

// The 96 interleaved sub-channel bytes of a sector whose image stores none:
// P set through a pause (pregap), Q in mode 1 with the track, index, times
// relative to index 01 and absolute, and its CRC; R-W empty.
void BuildSubchannelPQ(std::uint8_t* out96, std::int32_t lba, std::uint8_t control, int track, int index,
                       std::int32_t trackStart);

std::uint8_t ToBcd(int v);
int FromBcd(std::uint8_t v);

}  // namespace orvane
