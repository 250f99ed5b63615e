// The folder tree and the file list as the browser shows them.
#include <gtest/gtest.h>

#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "res/Resources.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
using udftest::MakeDrive;

namespace {

UdfNode BrowseTree() {
  UdfNode root = UdfNode::Dir("");
  root.children.push_back(UdfNode::File("zeta.txt", "zz"));
  root.children.push_back(UdfNode::Dir("beta", {UdfNode::Dir("inner"), UdfNode::File("b.txt", "bbb")}));
  root.children.push_back(UdfNode::Dir("alpha"));
  root.children.push_back(UdfNode::File("Aardvark.bin", std::vector<std::uint8_t>(4097, 1)));
  return root;
}

// "name" of every item below `parent`, depth first, indented by depth.
void Dump(const ui::TreeCtrl& t, ui::HTREEITEM parent, int depth, std::vector<std::string>& out) {
  for (ui::HTREEITEM c = t.GetChildItem(parent); c; c = t.GetNextSiblingItem(c)) {
    out.push_back(std::string(depth * 2, ' ') + t.GetItemText(c));
    Dump(t, c, depth + 1, out);
  }
}

}  // namespace

TEST(UdfBrowse, FolderTreeHoldsFoldersOnlyWithTheirEntrySectors) {
  for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual}) {
    UdfBuildOptions o;
    o.partition = kind;
    UdfImage img = BuildUdfImage(BrowseTree(), o);
    auto d = MakeDrive(img);
    CAnaly_UDF a;
    ui::TreeCtrl tree;
    EXPECT_EQ(a.FillFolderTree(&tree, nullptr), 1);  // no device yet
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    EXPECT_EQ(a.FillFolderTree(nullptr, nullptr), 1);
    ui::HTREEITEM track = tree.InsertItem("DATA TRACK 1(UDF)", 4, 4);
    ASSERT_EQ(a.FillFolderTree(&tree, track), 0);
    EXPECT_EQ(tree.GetItemData(track), img.entrySector.at("/"));
    std::vector<std::string> shown;
    Dump(tree, track, 0, shown);
    EXPECT_EQ(shown, (std::vector<std::string>{"beta", "  inner", "alpha"}));
    ui::HTREEITEM beta = tree.GetChildItem(track);
    EXPECT_EQ(tree.GetItemData(beta), img.entrySector.at("/beta"));
    int image = -1, selected = -1;
    ASSERT_TRUE(tree.GetItemImage(beta, image, selected));
    EXPECT_EQ(image, 0);
    EXPECT_EQ(selected, 1);
  }
}

TEST(UdfBrowse, ALoopEndsItsBranch) {
  UdfNode root = BrowseTree();
  UdfNode back = UdfNode::Dir("back-to-root");
  back.linkToRoot = true;
  root.children[1].children[0].children.push_back(back);  // beta/inner/back-to-root -> /
  UdfImage img = BuildUdfImage(root);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  ui::TreeCtrl tree;
  ui::HTREEITEM track = tree.InsertItem("DATA TRACK 1(UDF)", 4, 4);
  ASSERT_EQ(a.FillFolderTree(&tree, track), 0);
  std::vector<std::string> shown;
  Dump(tree, track, 0, shown);
  EXPECT_EQ(shown, (std::vector<std::string>{"beta", "  inner", "    back-to-root", "alpha"}));
}

TEST(UdfBrowse, FileListRowsColumnsAndNumbers) {
  for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual}) {
    UdfBuildOptions o;
    o.partition = kind;
    o.extendedEntries = kind == UdfPartitionKind::Virtual;
    UdfImage img = BuildUdfImage(BrowseTree(), o);
    auto d = MakeDrive(img);
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    ui::ListCtrl list;
    list.ModifyStyle(0, res::Style::SortAscending);
    list.InsertColumn(0, "CDTEXT Item", ui::LVCFMT_LEFT, 100);
    list.InsertColumn(1, "CDTEXT Info", ui::LVCFMT_LEFT, 100);
    list.InsertItem(0, "stale row");
    ASSERT_EQ(a.FillFileList(&list, img.entrySector.at("/")), 0);
    ASSERT_EQ(list.GetColumnCount(), 6);
    const char* headings[] = {"Name", "Time", "Type", "Size", "Pos", "len"};
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(list.GetColumn(c)->heading, headings[c]);
      EXPECT_EQ(list.GetColumnWidth(c), c == 5 ? 0 : 100);
    }
    ASSERT_EQ(list.GetItemCount(), 4);
    // Kept sorted by name, ignoring case.
    std::vector<std::string> names;
    for (int r = 0; r < 4; ++r) names.push_back(list.GetItemText(r, 0));
    EXPECT_EQ(names, (std::vector<std::string>{"Aardvark.bin", "alpha", "beta", "zeta.txt"}));
    auto row = [&](const std::string& name) {
      for (int r = 0; r < list.GetItemCount(); ++r)
        if (list.GetItemText(r, 0) == name) return r;
      return -1;
    };
    int zeta = row("zeta.txt"), beta = row("beta"), alpha = row("alpha"), aard = row("Aardvark.bin");
    EXPECT_EQ(list.GetItemData(zeta), 5000u);  // files from 5000 in directory order
    EXPECT_EQ(list.GetItemData(aard), 5001u);
    EXPECT_EQ(list.GetItemData(beta), 0u);  // folders from 0
    EXPECT_EQ(list.GetItemData(alpha), 1u);
    EXPECT_EQ(list.GetItemImage(beta), 0);
    EXPECT_EQ(list.GetItemImage(aard), 2);
    EXPECT_EQ(list.GetItemText(aard, 1), "2024-5-17 13:45:30");
    EXPECT_EQ(list.GetItemText(aard, 2), "File");
    EXPECT_EQ(list.GetItemText(aard, 3), "4097");
    EXPECT_EQ(list.GetItemText(aard, 4), std::to_string(img.entrySector.at("/Aardvark.bin")));
    EXPECT_EQ(list.GetItemText(beta, 2), "Folder");
    EXPECT_EQ(list.GetItemText(beta, 3), "");
    EXPECT_EQ(list.GetItemText(beta, 4), std::to_string(img.entrySector.at("/beta")));
    EXPECT_EQ(list.GetItemText(beta, 5), "");

    // A second fill keeps the six columns and replaces the rows.
    ASSERT_EQ(a.FillFileList(&list, img.entrySector.at("/beta")), 0);
    EXPECT_EQ(list.GetColumnCount(), 6);
    EXPECT_EQ(list.GetItemCount(), 2);
  }
}

TEST(UdfBrowse, UnreadableEntriesShowEmptyTimeAndSize) {
  UdfImage img = BuildUdfImage(BrowseTree());
  img.unreadable.insert(img.entrySector.at("/zeta.txt"));
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  ui::ListCtrl list;
  ASSERT_EQ(a.FillFileList(&list, img.entrySector.at("/")), 0);
  ASSERT_EQ(list.GetItemCount(), 4);
  for (int r = 0; r < 4; ++r) {
    if (list.GetItemText(r, 0) != "zeta.txt") continue;
    EXPECT_EQ(list.GetItemText(r, 1), "");
    EXPECT_EQ(list.GetItemText(r, 3), "");
    EXPECT_EQ(list.GetItemText(r, 2), "File");
  }
  // The directory itself unreadable: nothing listed, and the failure told.
  img.unreadable.insert(img.dataSector.at("/"));
  auto d2 = MakeDrive(img);
  CAnaly_UDF b;
  ASSERT_TRUE(b.Analyse(d2.device.get(), nullptr, 0));
  EXPECT_EQ(b.FillFileList(&list, img.entrySector.at("/")), 1);
  EXPECT_EQ(list.GetItemCount(), 0);
}
