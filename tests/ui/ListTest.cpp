#include <gtest/gtest.h>

#include "Recorder.h"
#include "platform/ui/ListCtrl.h"
#include "res/Resources.h"

namespace {

struct ListFixture : ::testing::Test {
  Recorder owner;
  ui::ListCtrl list;
  void Make(std::uint32_t style) { Attach(list, owner, 1010, 1u | style); }
  std::vector<std::string> Column(int col) {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetItemCount(); ++i) out.push_back(list.GetItemText(i, col));
    return out;
  }
};

TEST_F(ListFixture, SortedStyleOrdersRowsIgnoringCaseAndReturnsTheIndexUsed) {
  Make(res::Style::SortAscending);
  list.InsertColumn(0, "CDTEXT Item", ui::LVCFMT_LEFT, 100);
  list.InsertColumn(1, "CDTEXT Info", ui::LVCFMT_LEFT, 100);
  // The CD-TEXT rows, inserted in their fixed order, each at the end.
  const char* items[] = {"TITLE", "ARTIST", "szSpecialTitle", "szComposer", "szSongster", "ISRC"};
  std::vector<int> used;
  for (const char* it : items) {
    const int row = list.InsertItem(list.GetItemCount(), it);
    used.push_back(row);
    list.SetItemText(row, 1, std::string("v-") + it);
  }
  EXPECT_EQ(used, (std::vector<int>{0, 0, 1, 1, 2, 1}));
  EXPECT_EQ(Column(0),
            (std::vector<std::string>{"ARTIST", "ISRC", "szComposer", "szSongster", "szSpecialTitle", "TITLE"}));
  // The second column followed its row.
  EXPECT_EQ(list.GetItemText(5, 1), "v-TITLE");
  EXPECT_EQ(list.GetItemText(0, 1), "v-ARTIST");
}

TEST_F(ListFixture, SortedInsertKeepsEqualTextsInArrivalOrder) {
  Make(res::Style::SortAscending);
  list.InsertColumn(0, "Name", ui::LVCFMT_LEFT, 100);
  const int a = list.InsertItem(0, "readme");
  list.SetItemData(a, 1);
  list.InsertItem(0, "Alpha");
  const int b = list.InsertItem(0, "README");
  list.SetItemData(b, 2);
  list.InsertItem(0, "zeta");
  list.InsertItem(0, "_under");  // punctuation before letters
  EXPECT_EQ(Column(0), (std::vector<std::string>{"_under", "Alpha", "readme", "README", "zeta"}));
  EXPECT_EQ(list.GetItemData(2), 1u);
  EXPECT_EQ(list.GetItemData(3), 2u);
  EXPECT_EQ(ui::ListCtrl::CompareNoCase("abc", "ABD"), -1);
  EXPECT_EQ(ui::ListCtrl::CompareNoCase("ab", "AB"), 0);
  EXPECT_EQ(ui::ListCtrl::CompareNoCase("ab", "a"), 1);
}

TEST_F(ListFixture, UnsortedInsertHonoursTheIndex) {
  Make(0);
  list.InsertColumn(0, "A");
  EXPECT_EQ(list.InsertItem(0, "x"), 0);
  EXPECT_EQ(list.InsertItem(0, "y"), 0);
  EXPECT_EQ(list.InsertItem(99, "z"), 2);  // past the end appends
  EXPECT_EQ(list.InsertItem(-1, "bad"), -1);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"y", "x", "z"}));
  EXPECT_TRUE(list.DeleteItem(1));
  EXPECT_FALSE(list.DeleteItem(5));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"y", "z"}));
}

TEST_F(ListFixture, StableSortByTypePutsFoldersFirstInTheirOrder) {
  Make(res::Style::SortAscending);
  for (const char* h : {"Name", "Time", "Type", "Size", "Pos", "Len"}) list.InsertColumn(list.GetColumnCount(), h);
  struct E {
    const char* name;
    const char* type;
  } entries[] = {{"b.txt", "File"}, {"Zdir", "Folder"}, {"a.txt", "File"}, {"adir", "Folder"}, {"C.BIN", "File"}};
  for (const E& e : entries) {
    const int r = list.InsertItem(list.GetItemCount(), e.name);
    list.SetItemText(r, 2, e.type);
  }
  // Descending by type, ignoring case; equal types keep the sorted order.
  list.SortItems([](const ui::ListRow& a, const ui::ListRow& b) {
    return -ui::ListCtrl::CompareNoCase(a.Text(2), b.Text(2));
  });
  EXPECT_EQ(Column(0), (std::vector<std::string>{"adir", "Zdir", "a.txt", "b.txt", "C.BIN"}));
  EXPECT_EQ(Column(2), (std::vector<std::string>{"Folder", "Folder", "File", "File", "File"}));
}

TEST_F(ListFixture, ColumnsRebuildTheWayViewsDoIt) {
  Make(0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(list.InsertColumn(i, "c" + std::to_string(i), ui::LVCFMT_LEFT, 100), i);
  EXPECT_EQ(list.GetColumnCount(), 6);
  list.SetColumnWidth(5, 0);
  EXPECT_EQ(list.GetColumnWidth(5), 0);
  // Delete column 0 as many times as there are columns plus one.
  list.DeleteAllItems();
  const int n = list.GetColumnCount();
  int deleted = 0;
  for (int i = 0; i < n + 1; ++i) deleted += list.DeleteColumn(0);
  EXPECT_EQ(deleted, 6);
  EXPECT_EQ(list.GetColumnCount(), 0);
  EXPECT_EQ(list.InsertColumn(7, "CDTEXT Item", ui::LVCFMT_RIGHT, 100), 0);
  ASSERT_NE(list.GetColumn(0), nullptr);
  EXPECT_EQ(list.GetColumn(0)->heading, "CDTEXT Item");
  EXPECT_EQ(list.GetColumn(0)->format, ui::LVCFMT_RIGHT);
  EXPECT_EQ(list.GetColumn(1), nullptr);
}

TEST_F(ListFixture, TextsStayInsideTheColumns) {
  Make(0);
  list.InsertColumn(0, "a");
  list.InsertColumn(1, "b");
  const int r = list.InsertItem(0, "row", 2);
  EXPECT_TRUE(list.SetItemText(r, 1, "second"));
  EXPECT_FALSE(list.SetItemText(r, 2, "no such column"));
  EXPECT_FALSE(list.SetItemText(4, 0, "no such row"));
  EXPECT_EQ(list.GetItemText(r, 2), "");
  EXPECT_EQ(list.GetItemText(9, 0), "");
  EXPECT_EQ(list.GetItemImage(r), 2);
  // Deleting a column moves the later texts left.
  list.DeleteColumn(0);
  EXPECT_EQ(list.GetItemText(r, 0), "second");
  // A row can be inserted before any column exists.
  ui::ListCtrl bare;
  Attach(bare, owner, 5);
  EXPECT_EQ(bare.InsertItem(0, "alone"), 0);
  EXPECT_EQ(bare.GetItemText(0, 0), "alone");
}

TEST_F(ListFixture, SelectionAndUserActions) {
  Make(res::Style::SingleSel);
  list.InsertColumn(0, "a");
  for (const char* t : {"r0", "r1", "r2", "r3"}) list.InsertItem(list.GetItemCount(), t);
  EXPECT_EQ(list.GetFirstSelected(), -1);
  list.SetItemState(2, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  list.SetSelected(1, true);  // single selection: 2 goes
  EXPECT_EQ(list.GetFirstSelected(), 1);
  EXPECT_EQ(list.GetSelectedCount(), 1);

  list.UserClick(3);
  EXPECT_EQ(list.GetFirstSelected(), 3);
  EXPECT_EQ(owner.Count(1010, ui::LVN_ITEMCHANGED), 1);
  list.UserDoubleClick(0);
  EXPECT_EQ(list.GetFirstSelected(), 0);
  EXPECT_EQ(owner.Count(1010, ui::NM_DBLCLK), 1);
  list.UserDoubleClick(-1);  // on the empty area: still a double click
  EXPECT_EQ(owner.Count(1010, ui::NM_DBLCLK), 2);
  list.SetFocus();
  EXPECT_EQ(owner.Count(1010, ui::NM_SETFOCUS), 1);

  list.UserSetSelection({2, 1, 99});  // single selection keeps the topmost
  EXPECT_EQ(list.GetSelectedCount(), 1);
  EXPECT_TRUE(list.IsSelected(1));

  ui::ListCtrl multi;
  Attach(multi, owner, 6);
  for (const char* t : {"a", "b", "c"}) multi.InsertItem(multi.GetItemCount(), t);
  owner.notes.clear();
  multi.UserSetSelection({0, 2});
  EXPECT_EQ(multi.GetSelectedCount(), 2);
  EXPECT_EQ(owner.Count(6, ui::LVN_ITEMCHANGED), 1);
  multi.UserSetSelection({2, 0});  // the same set: no news
  EXPECT_EQ(owner.Count(6, ui::LVN_ITEMCHANGED), 1);
  multi.UserSetSelection({});
  EXPECT_EQ(multi.GetSelectedCount(), 0);
  multi.SetSelected(0, true);
  multi.SetSelected(2, true);
  EXPECT_EQ(multi.GetNextItem(-1, ui::LVNI_SELECTED), 0);
  EXPECT_EQ(multi.GetNextItem(0, ui::LVNI_SELECTED), 2);
  EXPECT_EQ(multi.GetNextItem(2, ui::LVNI_SELECTED), -1);
  multi.DeleteItem(0);
  EXPECT_EQ(multi.GetFirstSelected(), 1);  // the selection moved with its row
}

}  // namespace
