// The owner-drawn menu: conversion of the menu resource, item lookup,
// measuring, drawing and tracking through the headless services.
#include <gtest/gtest.h>

#include "platform/ui/Canvas.h"
#include "platform/ui/HeadlessUi.h"
#include "res/Resources.h"
#include "skin/VDMenu.h"

namespace {

struct Menus : ::testing::Test {
  ui::HeadlessUi headless;
  ui::Ui* previous = nullptr;
  void SetUp() override { previous = ui::Ui::Install(&headless); }
  void TearDown() override { ui::Ui::Install(previous); }
};

struct Owner : ui::Window {
  std::vector<int> commands;
  Owner() { CreateWindowAt(nullptr, ui::Rect(0, 0, 100, 100), 0, false); }
  void OnCommand(int id) override { commands.push_back(id); }
};

TEST_F(Menus, TheMainMenuBecomesFourLevelsWithTheirItems) {
  CVDMenu menu;
  ASSERT_TRUE(menu.LoadMenu(IDR_MENU_MAIN));
  EXPECT_EQ(menu.GetMenuItemCount(), 4);
  EXPECT_EQ(menu.GetItemTextAt(2), "Tools");
  CVDMenu* tools = menu.GetSubMenu(2);
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(tools->GetRoot(), &menu);
  ASSERT_EQ(tools->GetMenuItemCount(), 5);
  EXPECT_EQ(tools->GetMenuItemID(0), ID_TOOLS_SHOWTOC);
  EXPECT_EQ(tools->GetMenuItemID(3), 0);  // separator
  EXPECT_EQ(tools->GetItemTextAt(3), "");
  EXPECT_EQ(tools->GetItemTextAt(4), "Disc Scan");
  // Outside the table, past the items, or an item without a popup.
  EXPECT_EQ(menu.GetSubMenu(-1), nullptr);
  EXPECT_EQ(menu.GetSubMenu(4), nullptr);
  EXPECT_EQ(menu.GetSubMenu(256), nullptr);
  EXPECT_EQ(tools->GetSubMenu(0), nullptr);
  EXPECT_FALSE(menu.LoadMenu(999));
}

TEST_F(Menus, ItemsAreFoundInTheLevelThatHoldsThem) {
  CVDMenu menu;
  ASSERT_TRUE(menu.LoadMenu(IDR_MENU_MAIN));
  EXPECT_EQ(menu.FindLevel(ID_HELP_ABOUT), menu.GetSubMenu(3));
  EXPECT_EQ(menu.GetSubMenu(0)->FindLevel(ID_TOOLS_DISCSCAN), menu.GetSubMenu(2));  // searched from the root
  EXPECT_EQ(menu.FindLevel(0), nullptr);
  EXPECT_EQ(menu.FindLevel(12345), nullptr);
  EXPECT_EQ(menu.GetItemText(ID_VIEW_SAVEDATA), "Save Data");
  EXPECT_EQ(menu.GetItemText(12345), "");

  // Depth first in item order: a nested popup's id is found before a later
  // sibling level's.
  using res::MenuItem;
  std::vector<MenuItem> items = {
      MenuItem{0, "A", false, {MenuItem{0, "A1", false, {MenuItem{7, "deep", false, {}}}}}},
      MenuItem{0, "B", false, {MenuItem{7, "shallow", false, {}}}},
  };
  CVDMenu nested;
  ASSERT_TRUE(nested.LoadItems(items));
  EXPECT_EQ(nested.GetItemText(7), "deep");
}

TEST_F(Menus, LevelsOverTheLimitAndTextsOverTheBufferAreRefused) {
  std::vector<res::MenuItem> many;
  for (int i = 0; i < 256; ++i) many.push_back(res::MenuItem{100 + i, "x", false, {}});
  CVDMenu ok;
  EXPECT_TRUE(ok.LoadItems(many));
  many.push_back(res::MenuItem{999, "one too many", false, {}});
  CVDMenu refused;
  EXPECT_FALSE(refused.LoadItems(many));
  // ... also when the long level is a popup below the root.
  CVDMenu deep;
  EXPECT_FALSE(deep.LoadItems({res::MenuItem{0, "P", false, many}}));

  CVDMenu texts;
  ASSERT_TRUE(texts.LoadItems({res::MenuItem{1, std::string(259, 'a'), false, {}},
                               res::MenuItem{2, std::string(260, 'b'), false, {}}}));
  EXPECT_EQ(texts.GetItemText(1).size(), 259u);
  EXPECT_EQ(texts.GetItemText(2), "");  // drawn empty rather than cut
}

TEST_F(Menus, ItemsAreMeasuredWithTheirMinimumSizes) {
  CVDMenu menu;
  ASSERT_TRUE(menu.LoadItems({res::MenuItem{1, "", false, {}}, res::MenuItem{2, "Device Support Information", false, {}}}));
  const ui::Size small = menu.MeasureItem(1);
  EXPECT_EQ(small.cx, 30);
  EXPECT_EQ(small.cy, 19);
  const ui::Size text = headless.MeasureText("Device Support Information", headless.MenuFont());
  const ui::Size big = menu.MeasureItem(2);
  EXPECT_EQ(big.cx, text.cx + 19);
  EXPECT_EQ(big.cy, std::max(text.cy, 15) + 4);
}

TEST_F(Menus, SelectedItemsAreHighlightedAndFramedOthersUseTheMenuColour) {
  CVDMenu menu;
  ASSERT_TRUE(menu.LoadItems({res::MenuItem{5, "Refresh   ", false, {}}}));
  const ui::Rect item(0, 20, 120, 39);
  ui::RecordingCanvas sel;
  menu.DrawItem(5, sel, item, true);
  const auto fills = sel.CallsOf(ui::RecordingCanvas::Op::Fill);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].colour, ui::RGB(169, 184, 202));
  EXPECT_EQ(fills[0].rect, item);
  const auto frames = sel.CallsOf(ui::RecordingCanvas::Op::Rectangle);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].colour, ui::RGB(0, 0, 100));
  EXPECT_FALSE(frames[0].brush.has_value());
  const auto text = sel.CallsOf(ui::RecordingCanvas::Op::Text);
  ASSERT_EQ(text.size(), 1u);
  EXPECT_EQ(text[0].text, "Refresh");  // trailing spaces gone
  EXPECT_EQ(text[0].rect, ui::Rect(17, 22, 114, 37));
  EXPECT_EQ(text[0].colour, headless.GetSysColor(ui::COLOR_MENUTEXT));
  EXPECT_EQ(text[0].format & (ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_END_ELLIPSIS),
            ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_END_ELLIPSIS);

  ui::RecordingCanvas plain;
  menu.DrawItem(5, plain, item, false);
  ASSERT_EQ(plain.CallsOf(ui::RecordingCanvas::Op::Fill).size(), 1u);
  EXPECT_EQ(plain.CallsOf(ui::RecordingCanvas::Op::Fill)[0].colour, headless.GetSysColor(ui::COLOR_MENU));
  EXPECT_TRUE(plain.CallsOf(ui::RecordingCanvas::Op::Rectangle).empty());
}

TEST_F(Menus, TheToolsPopupIsTrackedAndTheChoiceReachesTheOwner) {
  Owner owner;
  CVDMenu menu;
  ASSERT_TRUE(menu.LoadMenu(IDR_MENU_MAIN));
  headless.QueueMenuChoice(ID_TOOLS_DISCSCAN);
  EXPECT_EQ(menu.GetSubMenu(2)->TrackPopupMenu({40, 60}, &owner), ID_TOOLS_DISCSCAN);
  headless.RunPosted();
  EXPECT_EQ(owner.commands, std::vector<int>{ID_TOOLS_DISCSCAN});
  ASSERT_EQ(headless.Menus().size(), 1u);
  const auto& shown = headless.Menus()[0];
  EXPECT_EQ(shown.at, (ui::Point{40, 60}));
  ASSERT_EQ(shown.items.size(), 5u);
  EXPECT_TRUE(shown.items[3].separator);
  ASSERT_EQ(shown.sizes.size(), 4u);  // the separator is the system's
  for (const ui::Size& s : shown.sizes) {
    EXPECT_GE(s.cx, 30);
    EXPECT_GE(s.cy, 19);
  }
}

}  // namespace
