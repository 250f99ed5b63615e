// BMP decoding of crafted, malformed and truncated files.
#include <gtest/gtest.h>

#include <cstring>

#include "res/Resources.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A BMP with a 40-byte header; rows are given top row first and laid out
// bottom-up unless topDown.
struct BmpSpec {
  BmpSpec(int w, int h, int depth, bool td, std::vector<std::uint32_t> pal, std::vector<Bytes> r,
          std::uint32_t comp = 0, std::vector<std::uint32_t> m = {})
      : width(w), height(h), bpp(depth), topDown(td), palette(std::move(pal)), rows(std::move(r)),
        compression(comp), masks(std::move(m)) {}
  int width, height, bpp;
  bool topDown;
  std::vector<std::uint32_t> palette;   // 0xRRGGBB
  std::vector<Bytes> rows;              // packed pixel bytes of each row, unpadded
  std::uint32_t compression;
  std::vector<std::uint32_t> masks;     // written after the header for bit fields
};
Bytes MakeBmp(const BmpSpec& s) {
  const std::size_t stride = ((s.width * s.bpp + 31) / 32) * 4;
  const std::size_t off = 14 + 40 + s.masks.size() * 4 + s.palette.size() * 4;
  Bytes b(off + stride * s.height, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, static_cast<std::uint32_t>(off));
  Put32(b, 14, 40);
  Put32(b, 18, s.width);
  Put32(b, 22, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
  Put16(b, 26, 1);
  Put16(b, 28, s.bpp);
  Put32(b, 30, s.compression);
  Put32(b, 46, static_cast<std::uint32_t>(s.palette.size()));
  std::size_t at = 54;
  for (std::uint32_t m : s.masks) Put32(b, at, m), at += 4;
  for (std::uint32_t c : s.palette) Put32(b, at, c), at += 4;
  for (int y = 0; y < s.height; ++y) {
    const int fileRow = s.topDown ? y : s.height - 1 - y;
    std::memcpy(&b[off + fileRow * stride], s.rows[y].data(), std::min(stride, s.rows[y].size()));
  }
  return b;
}

TEST(DecodeBmp, PalettedDepthsInBothRowOrders) {
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    // 1 bit, 10 pixels wide so a row spills into a second byte.
    BmpSpec one{10, 2, 1, topDown, {0x000000, 0xFFFFFF}, {{0b10100000, 0b01000000}, {0b01011111, 0b10000000}}};
    res::Image a = res::DecodeBmp(MakeBmp(one));
    ASSERT_EQ(a.width, 10);
    ASSERT_EQ(a.height, 2);
    EXPECT_EQ(a.depth, 1);
    const char* expect[] = {"1010000001", "0101111110"};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 10; ++x) EXPECT_EQ(a.Pixel(x, y), expect[y][x] == '1' ? 0xFFFFFFu : 0u) << x << "," << y;

    // 4 bit: high nibble first.
    BmpSpec four{3, 1, 4, topDown, {0x112233, 0x445566, 0x778899}, {{0x21, 0x00}}};
    res::Image b = res::DecodeBmp(MakeBmp(four));
    ASSERT_EQ(b.width, 3);
    EXPECT_EQ(b.depth, 4);
    EXPECT_EQ(b.Pixel(0, 0), 0x778899u);
    EXPECT_EQ(b.Pixel(1, 0), 0x445566u);
    EXPECT_EQ(b.Pixel(2, 0), 0x112233u);

    // 8 bit over two rows, so the row order shows.
    BmpSpec eight{2, 2, 8, topDown, {0x000000, 0x647D8E, 0xA9B8CA}, {{1, 2}, {2, 0}}};
    res::Image c = res::DecodeBmp(MakeBmp(eight));
    ASSERT_EQ(c.height, 2);
    EXPECT_EQ(c.Pixel(0, 0), 0x647D8Eu);
    EXPECT_EQ(c.Pixel(1, 0), 0xA9B8CAu);
    EXPECT_EQ(c.Pixel(0, 1), 0xA9B8CAu);
    EXPECT_EQ(c.Pixel(1, 1), 0u);
  }
}

TEST(DecodeBmp, TrueColourAndAlpha) {
  // 24 bit, blue-green-red byte order, rows padded to four bytes.
  BmpSpec rgb{3, 2, 24, false, {}, {{0x8E, 0x7D, 0x64, 0, 0, 0, 0xFF, 0xFF, 0xFF}, {1, 2, 3, 4, 5, 6, 7, 8, 9}}};
  res::Image a = res::DecodeBmp(MakeBmp(rgb));
  ASSERT_EQ(a.width, 3);
  EXPECT_EQ(a.depth, 24);
  EXPECT_EQ(a.Pixel(0, 0), 0x647D8Eu);
  EXPECT_EQ(a.Pixel(1, 0), 0u);
  EXPECT_EQ(a.Pixel(2, 0), 0xFFFFFFu);
  EXPECT_EQ(a.Pixel(2, 1), 0x090807u);
  EXPECT_TRUE(a.alpha.empty());

  // 32 bit with a used fourth byte: alpha is kept.
  BmpSpec argb{2, 1, 32, true, {}, {{0x30, 0x20, 0x10, 0xFF, 0x01, 0x02, 0x03, 0x00}}};
  res::Image b = res::DecodeBmp(MakeBmp(argb));
  ASSERT_EQ(b.width, 2);
  EXPECT_EQ(b.Pixel(0, 0), 0x102030u);
  ASSERT_EQ(b.alpha.size(), 2u);
  EXPECT_EQ(b.alpha[0], 255);
  EXPECT_EQ(b.alpha[1], 0);

  // 32 bit with the fourth byte zero everywhere is an opaque picture.
  BmpSpec opaque{1, 1, 32, false, {}, {{0x30, 0x20, 0x10, 0x00}}};
  EXPECT_TRUE(res::DecodeBmp(MakeBmp(opaque)).alpha.empty());

  // Bit fields: red in the low byte.
  BmpSpec fields{1, 1, 32, false, {}, {{0xAA, 0xBB, 0xCC, 0x00}}, 3, {0x0000FF, 0x00FF00, 0xFF0000}};
  res::Image c = res::DecodeBmp(MakeBmp(fields));
  ASSERT_FALSE(c.Empty());
  EXPECT_EQ(c.Pixel(0, 0), 0xAABBCCu);
}

TEST(DecodeBmp, CoreHeader) {
  // 12-byte header with three-byte palette entries.
  Bytes b(14 + 12 + 6 + 4, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, 14 + 12 + 6);
  Put32(b, 14, 12);
  Put16(b, 18, 2);
  Put16(b, 20, 1);
  Put16(b, 22, 1);
  Put16(b, 24, 1);
  b[26] = 0x11, b[27] = 0x22, b[28] = 0x33;  // index 0: 0x332211
  b[29] = 0xFF, b[30] = 0xFF, b[31] = 0xFF;
  b[32] = 0b01000000;
  res::Image img = res::DecodeBmp(b);
  ASSERT_EQ(img.width, 2);
  EXPECT_EQ(img.Pixel(0, 0), 0x332211u);
  EXPECT_EQ(img.Pixel(1, 0), 0xFFFFFFu);
}

TEST(DecodeBmp, MalformedHeadersGiveEmptyImages) {
  const BmpSpec good{4, 4, 8, false, {0, 0xFFFFFF}, std::vector<Bytes>(4, Bytes(4, 1))};
  const Bytes base = MakeBmp(good);
  ASSERT_FALSE(res::DecodeBmp(base).Empty());

  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    bool wide;
  };
  const Case cases[] = {
      {"not BM", 0, 'X', false},
      {"pixel data past the end", 10, 0xFFFFFFF0u, true},
      {"header larger than the file", 14, 100000, true},
      {"header too small", 14, 20, true},
      {"zero width", 18, 0, true},
      {"negative width", 18, static_cast<std::uint32_t>(-4), true},
      {"zero height", 22, 0, true},
      {"gigantic", 18, 0x7FFFFFFF, true},
      {"two planes", 26, 2, false},
      {"16 bits", 28, 16, false},
      {"run-length", 30, 1, true},
      {"palette larger than the depth allows", 46, 257, true},
      {"palette past the end", 46, 200, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = base;
    if (c.wide)
      Put32(b, c.at, c.value);
    else
      Put16(b, c.at, c.value);
    EXPECT_TRUE(res::DecodeBmp(b).Empty());
  }
  // A tall height with too few rows behind it.
  Bytes tall = base;
  Put32(tall, 22, 4000);
  EXPECT_TRUE(res::DecodeBmp(tall).Empty());
  Put32(tall, 22, static_cast<std::uint32_t>(-4000));
  EXPECT_TRUE(res::DecodeBmp(tall).Empty());
}

TEST(DecodeBmp, IndexWithoutPaletteColourShowsBlack) {
  BmpSpec s{2, 1, 8, false, {0xFFFFFF}, {{0, 7}}};
  res::Image img = res::DecodeBmp(MakeBmp(s));
  ASSERT_EQ(img.width, 2);
  EXPECT_EQ(img.Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(img.Pixel(1, 0), 0u);
}

TEST(DecodeBmp, EveryTruncationIsRefusedOrDecodedWhole) {
  // Each prefix of real files (a small palette file and the skin's masks) either decodes to
  // the full picture or to nothing, and never reads past the end.
  BmpSpec s{5, 3, 4, false, {0, 0x647D8E, 0xFFFFFF}, std::vector<Bytes>(3, Bytes{0x12, 0x01, 0x20})};
  const Bytes small = MakeBmp(s);
  const std::span<const std::uint8_t> mask = res::BitmapFile(IDB_EJECT_MASK);
  ASSERT_FALSE(mask.empty());
  for (const Bytes& file : {small, Bytes(mask.begin(), mask.end())}) {
    const res::Image whole = res::DecodeBmp(file);
    ASSERT_FALSE(whole.Empty());
    for (std::size_t n = 0; n < file.size(); ++n) {
      const Bytes cut(file.begin(), file.begin() + n);
      const res::Image img = res::DecodeBmp(cut);
      if (!img.Empty()) {
        EXPECT_EQ(img.rgb, whole.rgb) << n;
      }
    }
    EXPECT_TRUE(res::DecodeBmp(Bytes(file.begin(), file.begin() + file.size() - 1)).Empty());
  }
}

}  // namespace
