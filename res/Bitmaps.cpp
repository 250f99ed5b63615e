// BMP decoding and access to the embedded skin.
#include <algorithm>
#include <cstring>
#include <limits>

#include "res/Resources.h"
#include "res/SkinTable.h"

namespace res {
namespace {

// Larger than any skin picture by far; keeps a hostile header from asking for
// gigabytes of pixels.
constexpr std::int64_t kMaxPixels = 1 << 24;

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Value of a masked field scaled to 0..255.
std::uint32_t MaskedChannel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1u) == 0) ++shift;
  const std::uint32_t m = mask >> shift;
  const std::uint32_t v = (pixel >> shift) & m;
  return m == 0 ? 0 : (v * 255 + m / 2) / m;
}

const skin::Entry* FindEntry(int id, bool icon) {
  for (const skin::Entry& e : skin::Entries())
    if (e.id == id && (e.kind != skin::EntryKind::Bitmap) == icon) return &e;
  return nullptr;
}

}  // namespace

Image DecodeBmp(std::span<const std::uint8_t> file) {
  constexpr std::size_t kFileHeader = 14;
  if (file.size() < kFileHeader + 12 || file[0] != 'B' || file[1] != 'M') return {};
  const std::uint32_t offBits = U32(file, 10);
  const std::uint32_t headerSize = U32(file, 14);
  if (headerSize < 12 || headerSize > file.size() - kFileHeader) return {};

  std::int64_t width = 0, height = 0;
  std::uint32_t bpp = 0, compression = 0, colorsUsed = 0;
  std::size_t paletteEntry = 4;
  if (headerSize == 12) {  // OS/2 core header
    // Its sizes are unsigned and its rows always bottom-up.
    width = U16(file, 18);
    height = U16(file, 20);
    bpp = U16(file, 24);
    paletteEntry = 3;
  } else {
    if (headerSize < 40) return {};
    width = static_cast<std::int32_t>(U32(file, 18));
    height = static_cast<std::int32_t>(U32(file, 22));
    if (U16(file, 26) != 1) return {};
    bpp = U16(file, 28);
    compression = U32(file, 30);
    colorsUsed = U32(file, 46);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width * height > kMaxPixels) return {};
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};

  // Channel masks of 32-bit pixels: the default layout, or the bit fields
  // that follow a 40-byte header (or sit inside a V4/V5 header).
  std::uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0};
  std::size_t paletteAt = kFileHeader + headerSize;
  if (compression == 3) {
    if (bpp != 32) return {};
    if (headerSize == 40) {
      if (paletteAt + 12 > file.size()) return {};
      for (int i = 0; i < 3; ++i) masks[i] = U32(file, paletteAt + 4 * i);
      paletteAt += 12;
    } else if (headerSize >= 56) {
      for (int i = 0; i < 4; ++i) masks[i] = U32(file, 54 + 4 * i);
    } else if (headerSize >= 52) {
      for (int i = 0; i < 3; ++i) masks[i] = U32(file, 54 + 4 * i);
    }
  } else if (compression != 0) {
    return {};  // run-length and embedded formats are not used by the skin
  }

  std::vector<std::uint32_t> palette;
  if (bpp <= 8) {
    const std::uint32_t maxColors = 1u << bpp;
    const std::uint32_t count = colorsUsed == 0 ? maxColors : colorsUsed;
    if (count > maxColors) return {};
    if (paletteAt > file.size() || (file.size() - paletteAt) / paletteEntry < count) return {};
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = paletteAt + i * paletteEntry;
      palette.push_back((file[at + 2] << 16) | (file[at + 1] << 8) | file[at]);
    }
  }

  const std::int64_t stride = ((width * bpp + 31) / 32) * 4;
  if (offBits > file.size() || (static_cast<std::int64_t>(file.size()) - offBits) / stride < height) return {};

  Image img;
  img.width = static_cast<int>(width);
  img.height = static_cast<int>(height);
  img.depth = static_cast<int>(bpp);
  img.rgb.resize(static_cast<std::size_t>(width * height));
  std::vector<std::uint8_t> alpha;
  bool anyAlpha = false;
  if (bpp == 32) alpha.resize(img.rgb.size());
  for (std::int64_t y = 0; y < height; ++y) {
    const std::int64_t srcRow = topDown ? y : height - 1 - y;
    const std::uint8_t* row = file.data() + offBits + srcRow * stride;
    std::uint32_t* out = img.rgb.data() + y * width;
    for (std::int64_t x = 0; x < width; ++x) {
      std::uint32_t c = 0;
      if (bpp <= 8) {
        const std::int64_t bit = x * bpp;
        const std::uint32_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        // A short palette leaves indices without a colour; they show black.
        c = index < palette.size() ? palette[index] : 0;
      } else if (bpp == 24) {
        const std::uint8_t* p = row + x * 3;
        c = (p[2] << 16) | (p[1] << 8) | p[0];
      } else {
        const std::uint32_t v = U32(std::span<const std::uint8_t>(row + x * 4, 4), 0);
        c = (MaskedChannel(v, masks[0]) << 16) | (MaskedChannel(v, masks[1]) << 8) | MaskedChannel(v, masks[2]);
        const std::uint32_t a = compression == 3 ? (masks[3] ? MaskedChannel(v, masks[3]) : 255) : v >> 24;
        alpha[y * width + x] = static_cast<std::uint8_t>(a);
        anyAlpha = anyAlpha || a != 0;
      }
      out[x] = c;
    }
  }
  // A 32-bit file whose fourth byte is zero everywhere carries no alpha: it
  // is an opaque picture.
  if (bpp == 32 && anyAlpha) img.alpha = std::move(alpha);
  return img;
}

std::span<const std::uint8_t> BitmapFile(int id) {
  const skin::Entry* e = FindEntry(id, false);
  return e ? std::span<const std::uint8_t>(e->data, e->size) : std::span<const std::uint8_t>();
}

Image LoadBitmap(int id) { return DecodeBmp(BitmapFile(id)); }

Image LoadIcon(int id) {
  const skin::Entry* e = FindEntry(id, true);
  return e ? DecodeBmp(std::span<const std::uint8_t>(e->data, e->size)) : Image{};
}

}  // namespace res
