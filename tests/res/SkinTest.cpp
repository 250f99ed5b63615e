// The embedded skin: sizes, depths, masks and the areas they define.
#include <gtest/gtest.h>

#include <algorithm>

#include "res/Resources.h"

namespace {

struct Rect {
  int left, top, right, bottom;  // right and bottom exclusive
};

// Pixel rectangle of a control as the dialogs map dialog units, with the base
// units of the template's font.
int MulDiv(int a, int b, int c) { return (a * b * 2 + c) / (2 * c); }
Rect Pixels(const res::ControlTemplate& c, int unitX, int unitY) {
  return {MulDiv(c.x, unitX, 4), MulDiv(c.y, unitY, 8), MulDiv(c.x + c.cx, unitX, 4), MulDiv(c.y + c.cy, unitY, 8)};
}
const res::ControlTemplate& Control(int dialog, int id) {
  const res::DialogTemplate* d = res::FindDialog(dialog);
  for (const res::ControlTemplate& c : d->controls)
    if (c.id == id) return c;
  ADD_FAILURE() << "no control " << id << " in " << dialog;
  static const res::ControlTemplate none{};
  return none;
}

bool Inside(const res::Image& mask, int x, int y) {
  return x >= 0 && y >= 0 && x < mask.width && y < mask.height && mask.Pixel(x, y) != res::kWhite;
}
Rect BoundingBox(const res::Image& mask) {
  Rect r{mask.width, mask.height, 0, 0};
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      if (Inside(mask, x, y)) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  return r;
}
int WhiteCount(const res::Image& m) {
  return static_cast<int>(std::count(m.rgb.begin(), m.rgb.end(), res::kWhite));
}

void ExpectBitmap(int id, int w, int h, int depth) {
  SCOPED_TRACE(id);
  const res::Image img = res::LoadBitmap(id);
  ASSERT_FALSE(img.Empty());
  EXPECT_EQ(img.width, w);
  EXPECT_EQ(img.height, h);
  EXPECT_EQ(img.depth, depth);
  ASSERT_EQ(img.rgb.size(), static_cast<std::size_t>(w) * h);
}

TEST(Skin, WindowPicturesHaveTheirFixedSizes) {
  ExpectBitmap(171, 626, 442, 1);
  ExpectBitmap(211, 626, 442, 1);
  ExpectBitmap(217, 614, 442, 24);
  ExpectBitmap(158, 291, 186, 1);
  ExpectBitmap(219, 291, 186, 24);
  ExpectBitmap(215, 25, 25, 8);
  ExpectBitmap(216, 200, 100, 8);
  // Progress and scan skins are the size of their dialogs.
  ExpectBitmap(175, 333, 103, 1);
  ExpectBitmap(218, 333, 103, 24);
  ExpectBitmap(237, 400, 284, 1);
  ExpectBitmap(238, 400, 284, 24);
}

TEST(Skin, ViewAreaFromItsMask) {
  const res::Image view = res::LoadBitmap(211);
  const Rect r = BoundingBox(view);
  EXPECT_EQ(r.left, 64);
  EXPECT_EQ(r.top, 103);
  EXPECT_EQ(r.right, 600);
  EXPECT_EQ(r.bottom, 397);
}

TEST(Skin, WindowShapeHoldsEveryControl) {
  const res::Image shape = res::LoadBitmap(171);
  // The shape is not a rectangle: corners and the strip right of the
  // background picture are outside.
  EXPECT_FALSE(Inside(shape, 0, 0));
  EXPECT_FALSE(Inside(shape, 625, 441));
  for (int y = 0; y < 442; ++y) EXPECT_FALSE(Inside(shape, 614, y)) << y;
  EXPECT_TRUE(Inside(shape, 313, 221));

  // Every control that stays where the template puts it, and the three the
  // window places over the view area and below it.
  std::vector<Rect> rects;
  for (const res::ControlTemplate& c : res::FindDialog(102)->controls)
    if (c.id != 1029 && c.id != 1049 && c.id != 1037) rects.push_back(Pixels(c, 6, 13));
  rects.push_back({64, 103, 600, 397});                     // view host
  rects.push_back({54, 417, 374, 437});                     // status line
  const Rect host = Pixels(Control(102, 1037), 6, 13);
  const int hw = host.right - host.left, hh = host.bottom - host.top;
  rects.push_back({600 - hw - 10, 417, 600 - 10, 417 + hh});  // audio host
  for (const Rect& r : rects)
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) ASSERT_TRUE(Inside(shape, x, y)) << x << "," << y;
}

TEST(Skin, DialogMasksShapeTheirWindows) {
  for (int id : {158, 175, 237}) {
    SCOPED_TRACE(id);
    const res::Image m = res::LoadBitmap(id);
    ASSERT_FALSE(m.Empty());
    EXPECT_FALSE(Inside(m, 0, 0));
    EXPECT_FALSE(Inside(m, m.width - 1, m.height - 1));
    EXPECT_TRUE(Inside(m, m.width / 2, m.height / 2));
    EXPECT_GT(WhiteCount(m), 0);
    EXPECT_LT(WhiteCount(m), m.width * m.height / 10);
  }
  // The device dialog's controls lie inside its shape.
  const res::Image dev = res::LoadBitmap(158);
  for (int id : {1010, 1012, 1013}) {
    const Rect r = Pixels(Control(165, id), 8, 16);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) ASSERT_TRUE(Inside(dev, x, y)) << id << " " << x << "," << y;
  }
}

TEST(Skin, ButtonBitmapsMatchTheirControls) {
  struct Button {
    int dialog, control, unitX, unitY;
    std::vector<int> bitmaps;
  };
  const Button buttons[] = {
      {102, 1001, 6, 13, {142, 144}},      {102, 1003, 6, 13, {147, 148}},      {102, 1002, 6, 13, {145, 146}},
      {102, 1004, 6, 13, {149, 150}},      {102, 1008, 6, 13, {173, 174}},      {102, 1005, 6, 13, {151, 152}},
      {102, 1009, 6, 13, {193, 194}},      {102, 1006, 6, 13, {153, 154}},      {102, 1023, 6, 13, {177, 179, 180}},
      {102, 1024, 6, 13, {181, 182, 184}}, {102, 1026, 6, 13, {188, 189, 190}}, {102, 1025, 6, 13, {185, 186, 187}},
      {102, 1030, 6, 13, {207}},           {102, 1031, 6, 13, {206}},           {165, 1012, 8, 16, {160, 161}},
      {165, 1013, 8, 16, {162, 163}},      {220, 1038, 8, 16, {221, 222}},      {220, 1039, 8, 16, {223, 224}},
      {220, 1040, 8, 16, {227, 228}},      {220, 1042, 8, 16, {229, 230}},      {220, 1043, 8, 16, {225, 226}},
  };
  const std::vector<int> masks = {177, 181, 185, 188};
  for (const Button& b : buttons) {
    const Rect r = Pixels(Control(b.dialog, b.control), b.unitX, b.unitY);
    for (int id : b.bitmaps) {
      const bool mask = std::find(masks.begin(), masks.end(), id) != masks.end();
      SCOPED_TRACE(testing::Message() << "control " << b.control << " bitmap " << id);
      ExpectBitmap(id, r.right - r.left, r.bottom - r.top, mask ? 1 : 24);
    }
    // Normal and pressed pictures differ, so a press shows.
    if (b.bitmaps.size() >= 2) {
      const std::size_t n = b.bitmaps.size();
      EXPECT_NE(res::LoadBitmap(b.bitmaps[n - 2]).rgb, res::LoadBitmap(b.bitmaps[n - 1]).rgb) << b.control;
    }
  }
}

TEST(Skin, TriangleMasksPointTheirWay) {
  struct Tri {
    int mask;
    int tipX, tipY;  // a point near the tip, relative 0..1 * 100
    int backX, backY;  // a corner that lies outside
  };
  // Eject points up, close tray right, about left, help down.
  const Tri tris[] = {{177, 50, 8, 2, 2}, {185, 92, 50, 97, 2}, {181, 8, 50, 2, 2}, {188, 50, 92, 2, 97}};
  for (const Tri& t : tris) {
    SCOPED_TRACE(t.mask);
    const res::Image m = res::LoadBitmap(t.mask);
    ASSERT_FALSE(m.Empty());
    EXPECT_TRUE(Inside(m, m.width / 2, m.height / 2));
    EXPECT_TRUE(Inside(m, t.tipX * (m.width - 1) / 100, t.tipY * (m.height - 1) / 100));
    EXPECT_FALSE(Inside(m, t.backX * (m.width - 1) / 100, t.backY * (m.height - 1) / 100));
    const int white = WhiteCount(m);
    EXPECT_GT(white, m.width * m.height / 3);
    EXPECT_LT(white, m.width * m.height * 2 / 3);
  }
}

TEST(Skin, IconsAndCursorCarryTransparency) {
  for (int id : {198, 199, 200, 201, 202}) {
    SCOPED_TRACE(id);
    const res::Image icon = res::LoadIcon(id);
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
    ASSERT_EQ(icon.alpha.size(), 256u);
    EXPECT_TRUE(std::count(icon.alpha.begin(), icon.alpha.end(), 0) > 0);
    EXPECT_TRUE(std::count(icon.alpha.begin(), icon.alpha.end(), 255) > 40);
    EXPECT_TRUE(res::BitmapFile(id).empty()) << "icons are not bitmaps";
  }
  const res::Image app = res::LoadIcon(128);
  EXPECT_EQ(app.width, 32);
  EXPECT_EQ(app.height, 32);
  EXPECT_FALSE(app.alpha.empty());
  const res::Image cursor = res::LoadIcon(156);
  ASSERT_EQ(cursor.width, 32);
  ASSERT_FALSE(cursor.alpha.empty());
  EXPECT_GT(cursor.alpha[0], 0) << "the hot spot is the top-left pixel";
  // The icons differ from each other.
  EXPECT_NE(res::LoadIcon(198).rgb, res::LoadIcon(199).rgb);
  EXPECT_NE(res::LoadIcon(201).rgb, res::LoadIcon(202).rgb);
}

TEST(Skin, ProductColours) {
  // The about panel and the player paint the product's blue-grey; the
  // background picture is built from it.
  const res::Image back = res::LoadBitmap(217);
  const std::uint32_t p = back.Pixel(30, 200);
  auto near = [](std::uint32_t a, std::uint32_t b, int tol) {
    for (int s : {16, 8, 0})
      if (std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)) > tol) return false;
    return true;
  };
  EXPECT_TRUE(near(p, res::kSkinBlueGrey, 24)) << std::hex << p;
  EXPECT_TRUE(near(back.Pixel(300, 10), res::kSkinHighlight, 24)) << std::hex << back.Pixel(300, 10);
}

TEST(Skin, UnknownIdsAreEmpty) {
  for (int id : {0, 143, 183, 999}) {
    EXPECT_TRUE(res::BitmapFile(id).empty()) << id;
    EXPECT_TRUE(res::LoadBitmap(id).Empty()) << id;
  }
  EXPECT_TRUE(res::LoadIcon(142).Empty());
}

}  // namespace
