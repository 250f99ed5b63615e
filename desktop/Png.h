#pragma once
// A minimal PNG writer for the launcher icons: 8-bit RGBA, one IDAT of stored
// (uncompressed) deflate blocks, so no compression library is needed; icons
// are small enough that size does not matter.
#include <cstdint>
#include <string>
#include <vector>

namespace desktop {

// rgba: width * height pixels, row-major from the top, 4 bytes each.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0);
std::uint32_t Adler32(const std::uint8_t* data, std::size_t n);

}  // namespace desktop
