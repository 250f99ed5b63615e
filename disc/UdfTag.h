#pragma once
// The 16-byte tag that opens every UDF descriptor. Byte 4 is a checksum of
// the other fifteen bytes: the one check cheap enough to make on any sector
// before believing it holds a descriptor.
#include <cstdint>

// Where the checksum sits within the tag, and how long the tag is.
constexpr int kUdfTagChecksumAt = 4;
constexpr int kUdfTagSize = 16;

// The low byte of the sum of tag bytes 0-3 and 5-15.
std::uint8_t UdfTagChecksum(const std::uint8_t* tag);
// Byte 4 of the tag agrees with the other fifteen.
bool UdfTagChecksumValid(const std::uint8_t* tag);
// The tag carries identifier id (bytes 0-1, little-endian) and a valid checksum.
bool IsUdfTag(const std::uint8_t* tag, std::uint16_t id);
