#include <gtest/gtest.h>

#include "Recorder.h"
#include "platform/ui/Controls.h"
#include "res/Resources.h"

namespace {

TEST(ListBox, InsertStringRefusesPositionsPastTheEnd) {
  Recorder owner;
  ui::ListBox box;
  Attach(box, owner, 1010, 1u | res::Style::Notify);
  // Two drives and the image item, the middle drive without an entry: the
  // entry after the gap cannot go to its own index.
  EXPECT_EQ(box.InsertString(0, "D: VENDOR A"), 0);
  EXPECT_EQ(box.InsertString(2, "F: VENDOR C"), ui::LB_ERR);
  EXPECT_EQ(box.InsertString(1, "[Image File]"), 1);
  EXPECT_EQ(box.GetCount(), 2);
  EXPECT_EQ(box.InsertString(-1, "end"), 2);
  EXPECT_EQ(box.InsertString(0, "front"), 0);
  EXPECT_EQ(box.GetText(0), "front");
  EXPECT_EQ(box.GetText(3), "end");
  EXPECT_EQ(box.GetText(4), "");
  std::string out = "kept";
  EXPECT_EQ(box.GetText(9, out), ui::LB_ERR);
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(box.InsertString(-2, "bad"), ui::LB_ERR);
}

TEST(ListBox, SelectionFollowsEditsAndNotifiesOnlyWithTheNotifyStyle) {
  Recorder owner;
  ui::ListBox box;
  Attach(box, owner, 1010, 1u | res::Style::Notify);
  for (const char* s : {"a", "b", "c"}) box.AddString(s);
  EXPECT_EQ(box.GetCurSel(), ui::LB_ERR);
  EXPECT_EQ(box.SetCurSel(1), 1);
  box.InsertString(0, "z");
  EXPECT_EQ(box.GetCurSel(), 2);  // still "b"
  box.DeleteString(2);
  EXPECT_EQ(box.GetCurSel(), ui::LB_ERR);
  EXPECT_EQ(box.SetCurSel(7), ui::LB_ERR);
  EXPECT_EQ(box.GetCurSel(), ui::LB_ERR);
  EXPECT_TRUE(owner.notes.empty()) << "program changes send nothing";

  box.UserDoubleClick(1);
  EXPECT_EQ(box.GetCurSel(), 1);
  EXPECT_EQ(owner.Count(1010, ui::LBN_SELCHANGE), 1);
  EXPECT_EQ(owner.Count(1010, ui::LBN_DBLCLK), 1);
  box.ResetContent();
  EXPECT_EQ(box.GetCount(), 0);
  EXPECT_EQ(box.GetCurSel(), ui::LB_ERR);

  ui::ListBox quiet;
  Attach(quiet, owner, 5);
  quiet.AddString("x");
  quiet.UserDoubleClick(0);
  EXPECT_EQ(owner.Count(5, ui::LBN_DBLCLK), 0);
  EXPECT_EQ(quiet.GetCurSel(), 0);
}

TEST(Buttons, ClicksReachTheParentOnlyWhenEnabled) {
  Recorder owner;
  ui::Button ok;
  ui::CheckBox all;
  Attach(ok, owner, 1012);
  Attach(all, owner, 1015);
  ok.Click();
  EXPECT_EQ(owner.commands, std::vector<int>{1012});
  ok.EnableWindow(false);
  ok.Click();
  EXPECT_EQ(owner.commands.size(), 1u);

  EXPECT_EQ(all.GetCheck(), 0);
  all.Click();
  EXPECT_EQ(all.GetCheck(), 1);
  all.Click();
  EXPECT_EQ(all.GetCheck(), 0);
  EXPECT_EQ(owner.commands, (std::vector<int>{1012, 1015, 1015}));
  EXPECT_FALSE(all.EnableWindow(false));  // was enabled
  all.Click();
  EXPECT_EQ(all.GetCheck(), 0);
  EXPECT_TRUE(all.EnableWindow(true));
}

struct DrawOwner : Recorder {
  std::vector<ui::DrawItemInfo> drawn;
  void OnDrawItem(int, ui::Canvas& c, const ui::DrawItemInfo& info) override {
    drawn.push_back(info);
    c.FillRect(info.rect, ui::RGB(1, 1, 1));
  }
};

TEST(Buttons, OwnerDrawnButtonsPaintThroughTheirOwner) {
  DrawOwner owner;
  ui::Button b;
  b.CreateWindowAt(&owner, ui::Rect(5, 5, 37, 37), 1001, true, 1u | res::Style::OwnerDraw);
  ASSERT_TRUE(b.IsOwnerDraw());
  b.SetState(true);
  ui::RecordingCanvas canvas;
  b.PaintTo(canvas);
  ASSERT_EQ(owner.drawn.size(), 1u);
  EXPECT_TRUE(owner.drawn[0].selected);
  EXPECT_EQ(owner.drawn[0].rect, ui::Rect(0, 0, 32, 32));
  EXPECT_EQ(owner.drawn[0].ctlId, 1001);
  ASSERT_EQ(canvas.Calls().size(), 1u);
}

TEST(Edit, UserTextIsCutToTheLimitWithoutSplittingACharacter) {
  Recorder owner;
  ui::Edit e;
  Attach(e, owner, 1013);
  e.SetLimitText(4);
  e.UserSetText("ab\xC3\xA9z");  // "abéz": é takes bytes 2-3, z would be the fifth
  EXPECT_EQ(e.GetWindowText(), "ab\xC3\xA9");
  e.UserSetText("a\xE2\x82\xAC" "b");  // the euro sign would straddle the limit
  EXPECT_EQ(e.GetWindowText(), "a\xE2\x82\xAC");
  e.UserSetText("ab\xE2\x82\xAC");
  EXPECT_EQ(e.GetWindowText(), "ab");
  EXPECT_EQ(owner.Count(1013, ui::EN_CHANGE), 3);
  e.UserSetText("ab");  // no change, no news
  EXPECT_EQ(owner.Count(1013, ui::EN_CHANGE), 3);

  e.SetWindowText("16");
  e.SetSel(0, -1);
  e.ReplaceSel("200");
  EXPECT_EQ(e.GetWindowText(), "200");
  e.SetReadOnly(true);
  EXPECT_TRUE(e.IsReadOnly());
}

TEST(Ranges, ProgressAndSliderHoldTheirPositionInsideTheRange) {
  Recorder owner;
  ui::ProgressCtrl bar;
  Attach(bar, owner, 1018);
  bar.SetRange(0, 100);
  EXPECT_EQ(bar.SetPos(150), 0);
  EXPECT_EQ(bar.GetPos(), 100);  // a full bar, not an overflow
  bar.SetPos(-3);
  EXPECT_EQ(bar.GetPos(), 0);
  bar.SetPos(40);
  bar.SetRange(0, 20);
  EXPECT_EQ(bar.GetPos(), 20);
  bar.SetRange(0, 100);
  bar.SetPos(95);
  bar.SetStep(10);
  bar.StepIt();
  EXPECT_EQ(bar.GetPos(), 5);

  ui::SliderCtrl slider;
  Attach(slider, owner, 1044);
  slider.SetRange(0, 100);
  slider.SetPos(250);
  EXPECT_EQ(slider.GetPos(), 100);
  slider.UserDrag(50);
  EXPECT_EQ(slider.GetPos(), 50);
  EXPECT_TRUE(owner.notes.empty());
  slider.UserRelease();
  EXPECT_EQ(owner.Count(1044, ui::NM_RELEASEDCAPTURE), 1);
  ASSERT_FALSE(owner.hscroll.empty());
  EXPECT_EQ(owner.hscroll.front(), std::make_pair(ui::SB_THUMBTRACK, 50));
}

TEST(ScrollBar, ArrowsSendLineCodesToTheParent) {
  Recorder owner;
  ui::ScrollBar v, h;
  Attach(v, owner, 1014);
  Attach(h, owner, 1015, 1u | res::Style::Horizontal);
  v.LineUp();
  v.LineDown();
  h.LineDown();
  EXPECT_EQ(owner.vscroll, (std::vector<std::pair<int, int>>{{ui::SB_LINEUP, 0}, {ui::SB_LINEDOWN, 0}}));
  EXPECT_EQ(owner.hscroll, (std::vector<std::pair<int, int>>{{ui::SB_LINEDOWN, 0}}));
}

}  // namespace
