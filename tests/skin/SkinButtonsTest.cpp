// Bitmap buttons and the splitter, attached to controls of a dialog template
// and driven without a display.
#include <gtest/gtest.h>

#include "platform/ui/Canvas.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/HeadlessUi.h"
#include "res/Resources.h"
#include "skin/BmpBtn.h"
#include "skin/BtnSplit.h"
#include "skin/MenuBtn.h"
#include "skin/SkinMessages.h"

namespace {

namespace S = res::Style;
constexpr std::uint32_t kBtn = S::Visible | S::Child | S::TabStop;

// Pixel sizes follow from the headless base units (6 x 13 per 4 x 8 units).
const res::ControlTemplate kControls[] = {
    {2001, res::ControlKind::Button, "", 8, 8, 20, 16, kBtn},     // 30 x 26 round
    {2002, res::ControlKind::Button, "", 40, 8, 21, 22, kBtn},    // triangle
    {2003, res::ControlKind::Button, "", 80, 8, 16, 16, kBtn},    // plain bitmap
    {2004, res::ControlKind::Button, "", 100, 0, 4, 80, kBtn},    // splitter
    {2005, res::ControlKind::Button, "Tools", 110, 8, 30, 12, kBtn},  // caption
    {2006, res::ControlKind::Button, "", 8, 40, 20, 16, kBtn},    // round, no hint
};
const res::DialogTemplate kTpl = {9601, "", "MS Sans Serif", 8, 160, 100, S::Popup | S::Visible, kControls};

struct Host : ui::Dialog {
  CBmpRoundBtn round, quiet;
  CBmpTriangleBtn_T top;
  CBmpBtn plain;
  CBtnSplit split;
  CMenuBtn caption;
  std::vector<std::pair<unsigned, ui::LPARAM>> messages;

  Host() : Dialog(9601) {
    BindControl(2001, round);
    BindControl(2002, top);
    BindControl(2003, plain);
    BindControl(2004, split);
    BindControl(2005, caption);
    BindControl(2006, quiet);
  }
  ui::LRESULT OnMessage(unsigned msg, ui::WPARAM w, ui::LPARAM l) override {
    EXPECT_EQ(w, 0u);
    messages.push_back({msg, l});
    return 0;
  }
};

struct Skin : ::testing::Test {
  ui::HeadlessUi headless;
  ui::Ui* previous = nullptr;
  Host host;
  void SetUp() override {
    previous = ui::Ui::Install(&headless);
    ui::RegisterDialogTemplate(&kTpl);
    ASSERT_TRUE(host.Create(9601, nullptr));
  }
  void TearDown() override {
    host.DestroyWindow();
    ui::UnregisterDialogTemplate(kTpl.id);
    ui::Ui::Install(previous);
  }
  static ui::DrawItemInfo State(const ui::Window& w, bool pressed) {
    ui::DrawItemInfo info;
    info.ctlId = w.GetDlgCtrlID();
    info.rect = w.GetClientRect();
    info.selected = pressed;
    return info;
  }
};

TEST_F(Skin, AttachedButtonsAreOwnerDrawnWithTheHandCursor) {
  for (ui::Button* b : std::vector<ui::Button*>{&host.round, &host.top, &host.plain, &host.caption, &host.split}) {
    EXPECT_TRUE(b->IsOwnerDraw()) << b->GetDlgCtrlID();
  }
  for (ui::Button* b : std::vector<ui::Button*>{&host.round, &host.top, &host.plain}) {
    EXPECT_EQ(b->GetCursorShape(), ui::CursorShape::Resource);
    EXPECT_EQ(b->GetCursorResource(), skin::kButtonCursor);
  }
  EXPECT_EQ(host.split.GetCursorShape(), ui::CursorShape::SizeWE);
  // Bitmap buttons leave the background alone; the picture covers them.
  ui::RecordingCanvas c;
  EXPECT_TRUE(host.round.OnEraseBkgnd(c));
  EXPECT_TRUE(host.caption.OnEraseBkgnd(c));
}

TEST_F(Skin, TheStateChoosesTheBitmapAndUnsetBitmapsDrawNothing) {
  ui::RecordingCanvas c;
  host.plain.DrawItem(c, State(host.plain, false));
  host.plain.DrawItem(c, State(host.plain, true));
  EXPECT_TRUE(c.Calls().empty());

  host.plain.SetBitmaps(IDB_OK, IDB_OK_DOWN);
  host.round.SetBitmaps(IDB_SELDEVICE, IDB_SELDEVICE_DOWN);
  host.plain.DrawItem(c, State(host.plain, false));
  host.plain.DrawItem(c, State(host.plain, true));
  host.round.DrawItem(c, State(host.round, true));
  const auto bitmaps = c.CallsOf(ui::RecordingCanvas::Op::Bitmap);
  ASSERT_EQ(bitmaps.size(), 3u);
  EXPECT_EQ(bitmaps[0].id, IDB_OK);
  EXPECT_EQ(bitmaps[1].id, IDB_OK_DOWN);
  EXPECT_EQ(bitmaps[2].id, IDB_SELDEVICE_DOWN);
  for (const auto& call : bitmaps) EXPECT_EQ(call.rect.TopLeft(), (ui::Point{0, 0}));  // unscaled, at the corner
}

TEST_F(Skin, RoundButtonsAreTheEllipseOfTheirRectangle) {
  const ui::Rect r = host.round.GetClientRect();
  ASSERT_GT(r.Width(), 10);
  ASSERT_TRUE(host.round.GetWindowRgn().has_value());
  const ui::Region& shape = *host.round.GetWindowRgn();
  EXPECT_EQ(shape, ui::Region::Ellipse(r.Width(), r.Height()));
  EXPECT_FALSE(shape.Contains(0, 0));
  EXPECT_TRUE(shape.Contains(r.Width() / 2, r.Height() / 2));
}

TEST_F(Skin, TrianglesAreCutToTheirMaskAndPaintOnlyInsideIt) {
  const ui::Rect r = host.top.GetClientRect();
  const ui::Region expected = ui::Region::FromMask(res::LoadBitmap(CBmpTriangleBtn_T::kMask), r.Width(), r.Height());
  ASSERT_TRUE(host.top.GetWindowRgn().has_value());
  EXPECT_EQ(*host.top.GetWindowRgn(), expected);
  ASSERT_FALSE(expected.IsEmpty());
  ASSERT_FALSE(expected.IsFull());  // the generated masks have white corners

  host.top.SetBitmaps(IDB_EJECT, IDB_EJECT_DOWN, CBmpTriangleBtn_T::kMask);
  const ui::COLORREF back = ui::RGB(1, 2, 3);
  ui::ImageCanvas img(r.Width(), r.Height(), back);
  host.top.DrawItem(img, State(host.top, false));
  const res::Image& picture = ui::CachedBitmap(IDB_EJECT);
  int inside = 0;
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x) {
      if (!expected.Contains(x, y)) {
        EXPECT_EQ(img.PixelAt(x, y), back) << x << "," << y;
      } else if (x < picture.width && y < picture.height) {
        EXPECT_EQ(img.PixelAt(x, y), ui::FromRgb24(picture.Pixel(x, y)));
        ++inside;
      }
    }
  EXPECT_GT(inside, 0);
}

TEST_F(Skin, AMaskThatIsNoBitmapLeavesTheWholeRectangle) {
  // A mask number that names nothing has no white pixel to cut away.
  CBmpTriangleBtn plainTriangle;
  EXPECT_TRUE(plainTriangle.ShapeOf(0).IsEmpty());  // not attached: a 0 x 0 frame
  const ui::Rect r = host.top.GetClientRect();
  EXPECT_TRUE(host.top.ShapeOf(0).IsFull());
  EXPECT_EQ(host.top.ShapeOf(0).Width(), r.Width());
  host.top.SetBitmaps(0, 0, 0);
  ui::RecordingCanvas c;
  host.top.DrawItem(c, State(host.top, true));
  EXPECT_TRUE(c.CallsOf(ui::RecordingCanvas::Op::Bitmap).empty());
}

TEST_F(Skin, MouseMovesSendTheHintOnlyWhenThereIsOne) {
  host.round.SetHint(IDS_HINT_SELDEVICE);
  host.top.SetHint(IDS_HINT_EJECT);
  host.round.OnMouseMove(0, {3, 3});
  host.top.OnMouseMove(0, {3, 3});
  host.quiet.OnMouseMove(0, {3, 3});
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0], (std::pair<unsigned, ui::LPARAM>{skin::WM_SHOWHINT, IDS_HINT_SELDEVICE}));
  EXPECT_EQ(host.messages[1], (std::pair<unsigned, ui::LPARAM>{1234u, IDS_HINT_EJECT}));
}

TEST_F(Skin, TheSplitterReportsScreenXOnlyWhileDragged) {
  host.MoveWindow(200, 50, host.GetRect().Width(), host.GetRect().Height());
  const int barLeft = host.split.GetWindowRect().left;
  ASSERT_EQ(barLeft, 200 + host.split.GetRect().left);

  host.split.OnMouseMove(0, {2, 10});
  EXPECT_TRUE(host.messages.empty());
  host.split.OnLButtonDown(ui::MK_LBUTTON, {2, 10});
  EXPECT_TRUE(host.split.IsDragging());
  host.split.OnMouseMove(ui::MK_LBUTTON, {2, 10});
  host.split.OnMouseMove(ui::MK_LBUTTON, {-30, 10});  // left of the bar: the mouse leads it
  host.split.OnLButtonUp(0, {-30, 10});
  host.split.OnMouseMove(0, {5, 10});
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0], (std::pair<unsigned, ui::LPARAM>{0x4C8u, barLeft + 2}));
  EXPECT_EQ(host.messages[1], (std::pair<unsigned, ui::LPARAM>{skin::WM_SPLITMOVE, barLeft - 30}));

  ui::RecordingCanvas c;
  host.split.DrawItem(c, State(host.split, false));
  const auto fills = c.CallsOf(ui::RecordingCanvas::Op::Fill);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].colour, ui::RGB(100, 125, 142));
  EXPECT_EQ(fills[0].rect, host.split.GetClientRect());
}

TEST_F(Skin, CaptionButtonsOutlineOnceOrTwiceAndCentreTheirText) {
  EXPECT_EQ(host.caption.GetFillColor(), ui::RGB(230, 230, 190));
  host.caption.SetFillColor(ui::RGB(169, 184, 202));
  const ui::Rect r = host.caption.GetClientRect();

  ui::RecordingCanvas up;
  up.SetTextMetrics(6, 13);
  host.caption.DrawItem(up, State(host.caption, false));
  auto rects = up.CallsOf(ui::RecordingCanvas::Op::Rectangle);
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].rect, r);
  EXPECT_EQ(rects[0].colour, ui::RGB(0, 0, 0));
  EXPECT_EQ(rects[0].brush, ui::RGB(169, 184, 202));
  const auto text = up.CallsOf(ui::RecordingCanvas::Op::Text);
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0].text, "Tools");
  EXPECT_EQ(text[0].rect.left, (r.Width() - 30) / 2 + 1);  // 5 characters of 6 pixels
  EXPECT_EQ(text[0].rect.top, (r.Height() - 13) / 2);

  ui::RecordingCanvas down;
  host.caption.DrawItem(down, State(host.caption, true));
  rects = down.CallsOf(ui::RecordingCanvas::Op::Rectangle);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[1].rect, r.Inflate(-1));

  // A caption wider than its button still starts left of centre, not right.
  host.caption.SetWindowText(std::string(40, 'W'));
  ui::RecordingCanvas wide;
  host.caption.DrawItem(wide, State(host.caption, false));
  const auto wideText = wide.CallsOf(ui::RecordingCanvas::Op::Text);
  ASSERT_EQ(wideText.size(), 1u);
  EXPECT_LT(wideText[0].rect.left, 0);
}

}  // namespace
