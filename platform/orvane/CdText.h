#pragma once
// CD-TEXT packs: 18 bytes each (type, track, sequence, block/position, 12
// text bytes, CRC-16). Built for images that only give the texts, and parsed
// back into the texts of block 0.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/orvane/DiscImage.h"

namespace orvane {

constexpr std::size_t kCdTextPackSize = 18;

// CRC-16 CCITT (x^16+x^12+x^5+1, initial 0) of the first 16 bytes, inverted,
// as stored big-endian in bytes 16-17 of a pack.
std::uint16_t CdTextPackCrc(const std::uint8_t* pack);
bool CdTextPackValid(const std::uint8_t* pack);

// Block 0 in ISO 8859-1 (characters outside it become '?'), the size
// information packs last. entries[0] is the disc, entries[i] track i.
std::vector<std::uint8_t> BuildCdTextPacks(const std::vector<CdTextEntry>& entries);

// The texts of block 0 from packs (damaged packs dropped), UTF-8, indexed as
// above; empty when block 0 has no text or uses a character code not decoded
// here (MS-JIS). A lone TAB repeats the previous track's text; double-byte
// blocks are read as big-endian UCS-2.
std::vector<CdTextEntry> ParseCdTextPacks(const std::uint8_t* packs, std::size_t bytes);

}  // namespace orvane
