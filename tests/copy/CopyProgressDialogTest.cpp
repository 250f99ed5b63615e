// The progress dialog's modal run: keys, the bar, the caption, its results.
#include <gtest/gtest.h>

#include "copy/CDlgProgress.h"
#include "platform/ui/HeadlessUi.h"

namespace {
struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};
}  // namespace

TEST(CopyProgressDialog, OnlyTheCancelButtonCancelsAndEachRunStartsEmpty) {
  UiScope ui;
  ui::Window owner;
  CDlgProgress dlg(&owner);
  bool checked = false;
  ui.hui.QueueModalAction([&](ui::Dialog&) {
    EXPECT_EQ(dlg.Progress().GetPos(), 0);
    int lo, hi;
    dlg.Progress().GetRange(lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    dlg.SetPercent(120);  // a track copy's last round overshoots: a full bar
    EXPECT_EQ(dlg.Progress().GetPos(), 100);
    dlg.SetCaption("/home/u/out/README.TXT");
    EXPECT_EQ(dlg.Caption().GetWindowText(), "/home/u/out/README.TXT");
    ui.hui.PressKey(&dlg, ui::VK_ESCAPE);
    ui.hui.PressKey(&dlg.CancelButton(), ui::VK_RETURN);
    ui.hui.PressKey(&dlg.Caption(), ui::VK_ESCAPE);
    EXPECT_FALSE(dlg.IsEnding());
    dlg.CancelButton().Click();
    checked = true;
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);

  // The next run starts at 0 with an empty caption; its owner ends it.
  ui.hui.QueueModalAction([&](ui::Dialog&) {
    EXPECT_EQ(dlg.Progress().GetPos(), 0);
    EXPECT_EQ(dlg.Caption().GetWindowText(), "");
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(CopyProgressDialog, TakesTheShapeOfItsBitmapCentredOnTheScreen) {
  UiScope ui;
  ui.hui.SetScreenSize({1000, 800});
  CDlgProgress dlg;
  const res::Image shape = res::LoadBitmap(CDlgProgress::kShapeBitmap);
  if (shape.Empty()) GTEST_SKIP() << "no skin bitmaps linked";
  ui.hui.QueueModalAction([&](ui::Dialog&) {
    const ui::Rect r = dlg.GetWindowRect();
    EXPECT_EQ(r.Width(), shape.width);
    EXPECT_EQ(r.Height(), shape.height);
    EXPECT_EQ(r.left, 500 - shape.width / 2);
    EXPECT_EQ(r.top, 400 - shape.height / 2);
    ASSERT_TRUE(dlg.GetWindowRgn().has_value());
    // White pixels of the bitmap are outside the window.
    for (int y = 0; y < shape.height; ++y)
      for (int x = 0; x < shape.width; ++x)
        ASSERT_EQ(dlg.GetWindowRgn()->Contains(x, y), shape.Pixel(x, y) != 0xFFFFFF) << x << "," << y;
    dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}
