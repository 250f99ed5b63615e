#include <gtest/gtest.h>

#include "Recorder.h"
#include "platform/ui/TreeCtrl.h"

namespace {

using ui::HTREEITEM;

struct TreeFixture : ::testing::Test {
  Recorder owner;
  ui::TreeCtrl tree;
  void SetUp() override { Attach(tree, owner, 1008); }
  std::vector<std::string> Texts(HTREEITEM parent) {
    std::vector<std::string> out;
    for (HTREEITEM h = tree.GetChildItem(parent); h; h = tree.GetNextSiblingItem(h)) out.push_back(tree.GetItemText(h));
    return out;
  }
};

TEST_F(TreeFixture, WalksSessionsTracksAndFoldersInInsertionOrder) {
  HTREEITEM s1 = tree.InsertItem("Session 1", 0, 1);
  HTREEITEM t1 = tree.InsertItem("DATA TRACK 1(ISO)", 4, 4, s1);
  HTREEITEM t2 = tree.InsertItem("AUDIO TRACK 2", 3, 3, s1, ui::TVI_LAST);
  HTREEITEM f = tree.InsertItem("DOCS", 0, 1, t1);
  HTREEITEM lead = tree.InsertItem("(Lead Out) 12345", 0, 1, ui::TVI_ROOT);
  tree.SetItemData(f, 27);

  EXPECT_EQ(tree.GetRootItem(), s1);
  EXPECT_EQ(tree.GetNextSiblingItem(s1), lead);
  EXPECT_EQ(tree.GetNextSiblingItem(lead), nullptr);
  EXPECT_EQ(tree.GetChildItem(s1), t1);
  EXPECT_EQ(tree.GetNextSiblingItem(t1), t2);
  EXPECT_EQ(tree.GetPrevSiblingItem(t2), t1);
  EXPECT_EQ(tree.GetPrevSiblingItem(t1), nullptr);
  EXPECT_EQ(tree.GetParentItem(f), t1);
  EXPECT_EQ(tree.GetParentItem(t1), s1);
  EXPECT_EQ(tree.GetParentItem(s1), nullptr);
  EXPECT_EQ(tree.GetChildItem(t2), nullptr);
  EXPECT_EQ(tree.GetItemData(f), 27u);
  EXPECT_EQ(tree.GetItemData(t1), 0u);
  int img = -1, sel = -1;
  ASSERT_TRUE(tree.GetItemImage(t2, img, sel));
  EXPECT_EQ(img, 3);
  EXPECT_EQ(sel, 3);
  EXPECT_EQ(tree.GetCount(), 5);
  EXPECT_TRUE(tree.ItemHasChildren(t1));
  EXPECT_FALSE(tree.ItemHasChildren(f));
}

TEST_F(TreeFixture, InsertPositionsAndUnknownParents) {
  HTREEITEM b = tree.InsertItem("b");
  tree.InsertItem("a", ui::TVI_ROOT, ui::TVI_FIRST);
  tree.InsertItem("c", ui::TVI_ROOT, b);  // after b
  tree.InsertItem("d");
  EXPECT_EQ(Texts(ui::TVI_ROOT), (std::vector<std::string>{"a", "b", "c", "d"}));

  HTREEITEM child = tree.InsertItem("x", b);
  EXPECT_EQ(tree.InsertItem("y", ui::TVI_ROOT, child), nullptr) << "sibling from another parent";
  EXPECT_EQ(tree.InsertItem("z", reinterpret_cast<HTREEITEM>(0x7777)), nullptr);
  EXPECT_EQ(tree.GetCount(), 5);
}

TEST_F(TreeFixture, DeletedHandlesAreDeadForever) {
  HTREEITEM a = tree.InsertItem("a");
  HTREEITEM kid = tree.InsertItem("kid", a);
  HTREEITEM grand = tree.InsertItem("grand", kid);
  ASSERT_TRUE(tree.DeleteItem(kid));
  EXPECT_FALSE(tree.IsValid(kid));
  EXPECT_FALSE(tree.IsValid(grand));
  EXPECT_EQ(tree.GetChildItem(a), nullptr);
  // Every lookup through a stale handle is harmless and answers "nothing".
  EXPECT_EQ(tree.GetItemText(grand), "");
  EXPECT_EQ(tree.GetItemData(grand), 0u);
  EXPECT_EQ(tree.GetNextSiblingItem(grand), nullptr);
  EXPECT_EQ(tree.GetParentItem(grand), nullptr);
  EXPECT_FALSE(tree.SetItemData(grand, 5));
  EXPECT_FALSE(tree.SelectItem(grand));
  EXPECT_FALSE(tree.DeleteItem(grand));
  // A new item never takes the old handle.
  HTREEITEM fresh = tree.InsertItem("fresh", a);
  EXPECT_NE(fresh, kid);
  EXPECT_NE(fresh, grand);
  tree.DeleteAllItems();
  EXPECT_EQ(tree.GetRootItem(), nullptr);
  EXPECT_FALSE(tree.IsValid(a));
  EXPECT_EQ(tree.GetCount(), 0);
}

TEST_F(TreeFixture, SelectionChangesNotifyTheOwner) {
  HTREEITEM s = tree.InsertItem("Session 1");
  HTREEITEM t = tree.InsertItem("AUDIO TRACK 1", s);
  EXPECT_EQ(tree.GetSelectedItem(), nullptr);

  EXPECT_TRUE(tree.SelectItem(t));
  EXPECT_EQ(tree.GetSelectedItem(), t);
  EXPECT_EQ(owner.Count(1008, ui::TVN_SELCHANGED), 1);
  tree.SelectItem(t);  // already selected: no news
  EXPECT_EQ(owner.Count(1008, ui::TVN_SELCHANGED), 1);
  tree.UserSelect(s);  // a click goes the same way
  EXPECT_EQ(owner.Count(1008, ui::TVN_SELCHANGED), 2);
  EXPECT_EQ(tree.GetItemState(s, ui::TVIS_SELECTED), ui::TVIS_SELECTED);

  // Deleting the branch that holds the selection clears it and says so.
  tree.SelectItem(t);
  owner.notes.clear();
  tree.DeleteItem(s);
  EXPECT_EQ(tree.GetSelectedItem(), nullptr);
  EXPECT_EQ(owner.Count(1008, ui::TVN_SELCHANGED), 1);

  // Rebuilding the whole tree drops the selection quietly.
  HTREEITEM n = tree.InsertItem("n");
  tree.SelectItem(n);
  owner.notes.clear();
  tree.DeleteAllItems();
  EXPECT_EQ(tree.GetSelectedItem(), nullptr);
  EXPECT_TRUE(owner.notes.empty());
}

// The owner reading the tree from inside the notification sees the new state.
struct ReadingOwner : Recorder {
  ui::TreeCtrl* tree = nullptr;
  std::vector<std::string> seen;
  ui::LRESULT OnNotify(int id, int code) override {
    if (code == ui::TVN_SELCHANGED) seen.push_back(tree->GetItemText(tree->GetSelectedItem()));
    return 0;
  }
};

TEST(Tree, NotificationSeesTheNewSelection) {
  ReadingOwner owner;
  ui::TreeCtrl tree;
  owner.tree = &tree;
  Attach(tree, owner, 7);
  HTREEITEM a = tree.InsertItem("first");
  HTREEITEM b = tree.InsertItem("second");
  tree.SelectItem(a);
  tree.SelectItem(b);
  tree.SelectItem(nullptr);
  EXPECT_EQ(owner.seen, (std::vector<std::string>{"first", "second", ""}));
}

TEST_F(TreeFixture, VeryWideAndVeryDeepTrees) {
  HTREEITEM folder = tree.InsertItem("WIDE");
  for (int i = 0; i < 20000; ++i) tree.InsertItem("f" + std::to_string(i), folder);
  int n = 0;
  for (HTREEITEM h = tree.GetChildItem(folder); h; h = tree.GetNextSiblingItem(h)) ++n;
  EXPECT_EQ(n, 20000);
  // A chain far deeper than any stack could recurse through is deleted whole.
  HTREEITEM deep = tree.InsertItem("DEEP");
  HTREEITEM at = deep;
  for (int i = 0; i < 200000; ++i) at = tree.InsertItem("d", at);
  tree.SelectItem(at);
  EXPECT_TRUE(tree.DeleteItem(deep));
  EXPECT_EQ(tree.GetCount(), 20001);
  EXPECT_EQ(tree.GetSelectedItem(), nullptr);
}

TEST_F(TreeFixture, ExpandAndEnsureVisible) {
  HTREEITEM a = tree.InsertItem("a");
  HTREEITEM b = tree.InsertItem("b", a);
  HTREEITEM c = tree.InsertItem("c", b);
  EXPECT_EQ(tree.GetItemState(a, ui::TVIS_EXPANDED), 0u);
  EXPECT_TRUE(tree.Expand(a, ui::TVE_EXPAND));
  EXPECT_EQ(tree.GetItemState(a, ui::TVIS_EXPANDED), ui::TVIS_EXPANDED);
  tree.Expand(a, ui::TVE_TOGGLE);
  EXPECT_EQ(tree.GetItemState(a, ui::TVIS_EXPANDED), 0u);
  EXPECT_FALSE(tree.Expand(a, 0x99));
  tree.EnsureVisible(c);
  EXPECT_NE(tree.GetItemState(a, ui::TVIS_EXPANDED), 0u);
  EXPECT_NE(tree.GetItemState(b, ui::TVIS_EXPANDED), 0u);
  EXPECT_EQ(tree.GetItemState(c, ui::TVIS_EXPANDED), 0u);
}

TEST_F(TreeFixture, FocusAndDoubleClickReachTheOwner) {
  tree.SetFocus();
  EXPECT_EQ(owner.Count(1008, ui::NM_SETFOCUS), 1);
  EXPECT_EQ(ui::Window::GetFocus(), &tree);
  tree.UserDoubleClick();
  EXPECT_EQ(owner.Count(1008, ui::NM_DBLCLK), 1);
}

}  // namespace
