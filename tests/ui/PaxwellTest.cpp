#include <gtest/gtest.h>

#include "Recorder.h"
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/HeadlessUi.h"
#include "res/Resources.h"

namespace {

namespace S = res::Style;
const res::ControlTemplate kControls[] = {
    {1049, res::ControlKind::Button, "", 36, 270, 124, 16, S::Visible | S::Child},
    {1015, res::ControlKind::CheckBox, "all mode", 10, 10, 50, 10, S::Visible | S::Child | S::TabStop},
    {1010, res::ControlKind::ListBox, "", 4, 4, 133, 65, S::Visible | S::Child | S::Notify},
    {1011, res::ControlKind::ReportList, "", 4, 80, 133, 65, S::Visible | S::Child},
};
const res::DialogTemplate kTpl = {9102, "", "MS Sans Serif", 8, 413, 293, S::Popup, kControls};

struct Panel : ui::Dialog {
  CTransBtn status, allMode;
  CHListBox devices;
  CListCtrlEx list;
  std::vector<int> commands;
  Panel() : Dialog(9102) {
    BindControl(1049, status);
    BindControl(1015, allMode);
    BindControl(1010, devices);
    BindControl(1011, list);
  }
  void OnCommand(int id) override { commands.push_back(id); }
};

struct PaxwellTest : ::testing::Test {
  ui::HeadlessUi headless;
  ui::Ui* previous = nullptr;
  void SetUp() override {
    previous = ui::Ui::Install(&headless);
    ui::RegisterDialogTemplate(&kTpl);
  }
  void TearDown() override {
    ui::UnregisterDialogTemplate(kTpl.id);
    ui::Ui::Install(previous);
  }
};

TEST_F(PaxwellTest, TransparentButtonsAsTextLineAndCheckBox) {
  Panel p;
  ASSERT_TRUE(p.Create(9102, nullptr));
  EXPECT_TRUE(p.status.IsTransparent());
  EXPECT_FALSE(p.status.ShowsCheckMark()) << "the status line is a plain button in its template";
  EXPECT_TRUE(p.allMode.ShowsCheckMark());
  EXPECT_EQ(p.allMode.GetWindowText(), "all mode");

  p.status.SetCheck(false);
  p.status.SetWindowText("/dev/sr0: VENDOR PRODUCT 1.00");
  EXPECT_FALSE(p.status.GetSelect());
  EXPECT_EQ(p.status.GetWindowText(), "/dev/sr0: VENDOR PRODUCT 1.00");

  p.allMode.SetCheck(true);
  EXPECT_TRUE(p.allMode.GetSelect());
  p.allMode.Click();  // the user unticks it
  EXPECT_FALSE(p.allMode.GetSelect());
  EXPECT_EQ(p.commands, std::vector<int>{1015});
  p.allMode.EnableWindow(false);
  p.allMode.Click();
  EXPECT_FALSE(p.allMode.GetSelect());
}

TEST_F(PaxwellTest, ListBoxInsertsAtPositionsAndTracksItsWidth) {
  Panel p;
  ASSERT_TRUE(p.Create(9102, nullptr));
  EXPECT_EQ(p.devices.InsertString(0, "D: VENDOR PRODUCT 1.00"), 0);
  EXPECT_EQ(p.devices.InsertString(1, "[Image File]"), 1);
  EXPECT_EQ(p.devices.InsertString(5, "nowhere"), ui::LB_ERR);
  EXPECT_EQ(p.devices.GetCount(), 2);
  EXPECT_EQ(p.devices.GetHorizontalExtent(), 22 * 6 + 4);
  p.devices.DeleteString(0);
  EXPECT_EQ(p.devices.GetHorizontalExtent(), 12 * 6 + 4);
  p.devices.ResetContent();
  EXPECT_EQ(p.devices.GetCount(), 0);
  EXPECT_EQ(p.devices.GetHorizontalExtent(), 0);
}

TEST_F(PaxwellTest, ReportListFullRowSelection) {
  Panel p;
  ASSERT_TRUE(p.Create(9102, nullptr));
  EXPECT_FALSE(p.list.GetFullRowSel());
  p.list.SetExtendedStyle(ui::LVS_EX_GRIDLINES);
  p.list.SetFullRowSel(true);
  EXPECT_TRUE(p.list.GetFullRowSel());
  EXPECT_EQ(p.list.GetExtendedStyle(), ui::LVS_EX_GRIDLINES | ui::LVS_EX_FULLROWSELECT);
  p.list.SetFullRowSel(false);
  EXPECT_EQ(p.list.GetExtendedStyle(), ui::LVS_EX_GRIDLINES);
}

}  // namespace
