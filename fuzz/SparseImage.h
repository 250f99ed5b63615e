#pragma once
// A compact form of a disc image for fuzz inputs: most sectors of a file
// system image are zeros, and a mutation spent on them is wasted. The form is
// a run of records, each a sector number (32-bit little-endian), a length
// (16-bit little-endian, at most one sector) and that many bytes: the start
// of the sector, the rest zeros. Sectors never named are zeros; the image
// ends after the highest one named.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace fuzzsupport {

// Keeps expanded images small enough for many runs a second.
constexpr std::uint32_t kMaxSparseSectors = 4096;

inline std::vector<std::uint8_t> ExpandSparse(std::string_view in, std::size_t sectorSize) {
  std::vector<std::uint8_t> out;
  std::size_t at = 0;
  while (at + 6 <= in.size()) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(in.data() + at);
    const std::uint32_t sector = (p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24)) % kMaxSparseSectors;
    std::size_t length = std::min<std::size_t>(p[4] | (p[5] << 8), sectorSize);
    at += 6;
    length = std::min(length, in.size() - at);
    const std::size_t end = (std::size_t(sector) + 1) * sectorSize;
    if (out.size() < end) out.resize(end, 0);
    std::memcpy(out.data() + std::size_t(sector) * sectorSize, in.data() + at, length);
    at += length;
  }
  return out;
}

inline std::vector<std::uint8_t> MakeSparse(const std::vector<std::uint8_t>& image, std::size_t sectorSize) {
  std::vector<std::uint8_t> out;
  const std::size_t sectors = image.size() / sectorSize;
  for (std::size_t s = 0; s < sectors; ++s) {
    const std::uint8_t* p = image.data() + s * sectorSize;
    std::size_t length = sectorSize;
    while (length && p[length - 1] == 0) --length;
    // The last sector is kept even when empty: it sets the image's size.
    if (!length && s + 1 != sectors) continue;
    const std::uint8_t head[6] = {static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(s >> 8),
                                  static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 24),
                                  static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
    out.insert(out.end(), head, head + 6);
    out.insert(out.end(), p, p + length);
  }
  return out;
}

}  // namespace fuzzsupport
