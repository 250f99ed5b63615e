#include <gtest/gtest.h>

#include "platform/ui/Canvas.h"
#include "platform/ui/Region.h"
#include "res/Resources.h"

namespace {

res::Image Mask(int w, int h, std::uint32_t fill = res::kWhite) {
  res::Image m;
  m.width = w;
  m.height = h;
  m.depth = 1;
  m.rgb.assign(static_cast<std::size_t>(w) * h, fill);
  return m;
}

void Paint(res::Image& m, ui::Rect r, std::uint32_t c = 0) {
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) m.rgb[static_cast<std::size_t>(y) * m.width + x] = c;
}

TEST(Region, AllWhiteMaskIsEmptyAndNoWhiteMaskIsFull) {
  const ui::Region empty = ui::Region::FromMask(Mask(20, 10));
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.PixelCount(), 0);
  EXPECT_TRUE(empty.BoundingBox().IsEmpty());
  EXPECT_TRUE(empty.Spans().empty());

  const ui::Region full = ui::Region::FromMask(Mask(20, 10, 0x000000));
  EXPECT_TRUE(full.IsFull());
  EXPECT_EQ(full.PixelCount(), 200);
  EXPECT_EQ(full.BoundingBox(), ui::Rect(0, 0, 20, 10));
  // Near-white is inside: only pure white is outside.
  EXPECT_TRUE(ui::Region::FromMask(Mask(3, 3, 0xFEFFFF)).IsFull());
}

TEST(Region, BoundingBoxOfTheViewAreaMask) {
  res::Image m = Mask(626, 442);
  Paint(m, ui::Rect(64, 103, 600, 397));
  const ui::Region r = ui::Region::FromMask(m);
  EXPECT_EQ(r.BoundingBox(), ui::Rect(64, 103, 600, 397));
  EXPECT_TRUE(r.Contains(64, 103));
  EXPECT_TRUE(r.Contains(599, 396));
  EXPECT_FALSE(r.Contains(600, 396));
  EXPECT_FALSE(r.Contains(63, 200));
  // Scattered pixels: the box spans the extremes, not the area.
  res::Image s = Mask(50, 40);
  Paint(s, ui::Rect(5, 30, 6, 31));
  Paint(s, ui::Rect(40, 2, 41, 3));
  EXPECT_EQ(ui::Region::FromMask(s).BoundingBox(), ui::Rect(5, 2, 41, 31));
  EXPECT_EQ(ui::Region::FromMask(s).PixelCount(), 2);
}

TEST(Region, FrameLargerThanTheMaskKeepsThePixelsBeyondIt) {
  // White pixels are cut out of a full frame, so the part of the frame the
  // bitmap does not cover stays inside.
  const ui::Region r = ui::Region::FromMask(Mask(10, 10), 12, 11);
  EXPECT_FALSE(r.Contains(9, 9));
  EXPECT_TRUE(r.Contains(10, 0));
  EXPECT_TRUE(r.Contains(0, 10));
  EXPECT_EQ(r.PixelCount(), 12 * 11 - 100);
  // A smaller frame reads only its part of the mask.
  res::Image m = Mask(10, 10);
  Paint(m, ui::Rect(8, 8, 10, 10));
  EXPECT_TRUE(ui::Region::FromMask(m, 8, 8).IsEmpty());
}

TEST(Region, DamagedMaskImagesNeverReadPastTheirPixels) {
  res::Image shortPixels = Mask(100, 100, 0);
  shortPixels.rgb.resize(150);  // claims 100x100, holds a row and a half
  const ui::Region r = ui::Region::FromMask(shortPixels);
  EXPECT_EQ(r.Width(), 100);
  EXPECT_TRUE(r.Contains(99, 99));  // unread pixels stay inside
  res::Image none;
  EXPECT_TRUE(ui::Region::FromMask(none, 4, 4).IsFull());
  EXPECT_EQ(ui::Region::FromMask(none).Width(), 0);
  // Absurd frames are refused instead of allocated.
  EXPECT_EQ(ui::Region::Full(-5, 10).Width(), 0);
  EXPECT_EQ(ui::Region::Full(1 << 20, 1 << 20).Width(), 0);
}

TEST(Region, EllipseFillsItsFrameRoundly) {
  const ui::Region e = ui::Region::Ellipse(33, 33);
  EXPECT_TRUE(e.Contains(16, 16));
  EXPECT_TRUE(e.Contains(0, 16));
  EXPECT_TRUE(e.Contains(32, 16));
  EXPECT_TRUE(e.Contains(16, 0));
  EXPECT_FALSE(e.Contains(0, 0));
  EXPECT_FALSE(e.Contains(32, 32));
  EXPECT_EQ(e.BoundingBox(), ui::Rect(0, 0, 33, 33));
  // Symmetric in both axes.
  for (int y = 0; y < 33; ++y)
    for (int x = 0; x < 33; ++x) {
      ASSERT_EQ(e.Contains(x, y), e.Contains(32 - x, y));
      ASSERT_EQ(e.Contains(x, y), e.Contains(x, 32 - y));
    }
  // Area close to pi r^2.
  EXPECT_NEAR(e.PixelCount(), 3.14159 * 16.5 * 16.5, 40);
  EXPECT_TRUE(ui::Region::Ellipse(0, 10).IsEmpty());
}

TEST(Region, SpansDescribeExactlyTheInsidePixels) {
  res::Image m = Mask(8, 2);
  Paint(m, ui::Rect(1, 0, 3, 1));
  Paint(m, ui::Rect(5, 0, 8, 1));
  Paint(m, ui::Rect(0, 1, 8, 2));
  const auto spans = ui::Region::FromMask(m).Spans();
  const std::vector<ui::Region::Span> want = {{0, 1, 3}, {0, 5, 8}, {1, 0, 8}};
  EXPECT_EQ(spans, want);
}

TEST(ImageCanvas, ClipFromAMaskLeavesTheWhitePartsUnpainted) {
  res::Image m = Mask(4, 4);
  Paint(m, ui::Rect(0, 0, 2, 4));  // left half inside
  ui::ImageCanvas c(6, 4, ui::RGB(1, 2, 3));
  c.SetClip(ui::Region::FromMask(m), {1, 0});
  c.FillRect(ui::Rect(0, 0, 6, 4), ui::RGB(255, 0, 0));
  EXPECT_EQ(c.PixelAt(0, 0), ui::RGB(1, 2, 3));  // left of the clip frame
  EXPECT_EQ(c.PixelAt(1, 0), ui::RGB(255, 0, 0));
  EXPECT_EQ(c.PixelAt(2, 3), ui::RGB(255, 0, 0));
  EXPECT_EQ(c.PixelAt(3, 0), ui::RGB(1, 2, 3));  // white in the mask
  EXPECT_EQ(c.PixelAt(5, 0), ui::RGB(1, 2, 3));  // beyond the clip frame
  c.ClearClip();
  c.Rectangle(ui::Rect(0, 0, 3, 3), ui::RGB(0, 0, 0), ui::RGB(9, 9, 9));
  EXPECT_EQ(c.PixelAt(0, 0), ui::RGB(0, 0, 0));
  EXPECT_EQ(c.PixelAt(2, 2), ui::RGB(0, 0, 0));
  EXPECT_EQ(c.PixelAt(1, 1), ui::RGB(9, 9, 9));
  EXPECT_EQ(c.PixelAt(3, 3), ui::RGB(1, 2, 3));
}

TEST(Colour, WindowsAndResourceLayoutsConvert) {
  EXPECT_EQ(ui::RGB(169, 184, 202), 0xCAB8A9u);
  EXPECT_EQ(ui::RGB(100, 125, 142), 0x8E7D64u);
  EXPECT_EQ(ui::FromRgb24(res::kSkinBlueGrey), ui::RGB(100, 125, 142));
  EXPECT_EQ(ui::ToRgb24(ui::RGB(169, 184, 202)), res::kSkinHighlight);
}

}  // namespace
