// The browser on Rock Ridge volumes that genisoimage and xorriso write: the
// names and kinds Linux recorded, folders relocated past eight levels shown
// where they belong, and Save Data refusing what holds no data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/CdInfo.h"
#include "tests/views/BrowserTestUtil.h"

using namespace browsertest;
using testsupport::Bytes;
using testsupport::ScratchDir;

namespace {

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A source tree with a file, a link, a FIFO and folders ten levels deep.
void MakeSource(const ScratchDir& dir) {
  dir.Write("src/file", std::string(100, 'f'));
  std::string deep = "src";
  for (int i = 1; i <= 10; ++i) deep += "/d" + std::to_string(i);
  dir.Write(deep + "/leaf", std::string(3, 'l'));
  ASSERT_EQ(::symlink("file", dir.File("src/link").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.File("src/fifo").c_str(), 0644), 0);
}

std::string Row(ui::ListCtrl& l, const std::string& name, int column) {
  for (int r = 0; r < l.GetItemCount(); ++r)
    if (l.GetItemText(r, 0) == name) return l.GetItemText(r, column);
  return "<none>";
}

}  // namespace

TEST(BrowserRockRidge, GenisoimageNamesKindsAndRelocatedFolders) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP();
  UiScope ui;
  ScratchDir dir;
  MakeSource(dir);
  const std::string iso = dir.File("g.iso");
  ASSERT_EQ(std::system(("genisoimage -quiet -R -J -o " + iso + " " + dir.File("src") + " >/dev/null 2>&1").c_str()), 0);
  auto dev = IsoDevice(ReadAll(iso));
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(dev.get());
  EXPECT_FALSE(view.IsJoliet()) << "Rock Ridge names, though the volume has Joliet";
  EXPECT_EQ(vd[0], 2) << "the volume view still shows the Joliet descriptor";

  std::string path = "Session 1/DATA TRACK 1(ISO)";
  for (int i = 1; i <= 10; ++i) path += "/d" + std::to_string(i);
  ui::HTREEITEM deepest = Path(view.Tree(), path);
  ASSERT_NE(deepest, nullptr) << TreeText(view.Tree());
  // genisoimage's relocation folder stays, emptied, as xorriso shows it.
  ui::HTREEITEM moved = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/rr_moved");
  ASSERT_NE(moved, nullptr) << TreeText(view.Tree());
  EXPECT_FALSE(view.Tree().ItemHasChildren(moved));
  view.SelectNode(deepest);
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"leaf"}));

  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  ui::ListCtrl& l = view.List();
  EXPECT_EQ(Row(l, "file", 2), "File");
  EXPECT_EQ(Row(l, "file", 3), "100");
  EXPECT_EQ(Row(l, "link", 2), "Link");
  EXPECT_EQ(Row(l, "link", 3), "-> file");
  EXPECT_EQ(Row(l, "fifo", 2), "FIFO");
  EXPECT_EQ(Row(l, "fifo", 3), "");
  EXPECT_EQ(Row(l, "rr_moved", 2), "Folder");

  // The copy engine writes the same names, the relocated folder in its true
  // place; a link is made as a link, a FIFO is listed, not made.
  ui::HTREEITEM track = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)");
  CGetCDData& copy = view.Copier();
  copy.SetDevice(dev.get());
  const std::string out = dir.File("out");
  ASSERT_TRUE(copy.StartFolderCopy(1, static_cast<std::int64_t>(view.Tree().GetItemData(track)), out, 1,
                                   view.TrackNames(track), 0));
  copy.Wait();
  const CopyResult r = copy.GetResult();
  EXPECT_TRUE(r.finished) << r.error;
  EXPECT_EQ(ReadAll(out + "/file"), Bytes(100, 'f'));
  EXPECT_EQ(ReadAll(out + "/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/leaf"), Bytes(3, 'l'));
  // The link is made as a link holding its recorded target; the FIFO is
  // named as skipped, not made.
  std::error_code ec;
  EXPECT_EQ(std::filesystem::read_symlink(out + "/link", ec).string(), "file");
  ASSERT_EQ(r.skipped.size(), 1u);
  EXPECT_EQ(r.skipped[0].path, out + "/fifo");
  EXPECT_EQ(r.skipped[0].why, "FIFO");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(out + "/fifo")));
}

TEST(BrowserRockRidge, SaveDataRefusesDevicesFifosAndSocketsWithAReason) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP();
  UiScope ui;
  ScratchDir dir;
  MakeSource(dir);
  const std::string iso = dir.File("x.iso");
  ASSERT_EQ(std::system(("xorriso -outdev " + iso + " -map " + dir.File("src") + " / -map /dev/null /null -- >/dev/null 2>&1").c_str()), 0);
  auto dev = IsoDevice(ReadAll(iso));
  CDlgMain view;
  view.LoadDisc(dev.get());
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  ui::ListCtrl& l = view.List();
  EXPECT_EQ(Row(l, "null", 2), "Device");
  for (const char* name : {"null", "fifo"}) {
    SCOPED_TRACE(name);
    ui.hui.ClearRecords();
    for (int r = 0; r < l.GetItemCount(); ++r) l.SetSelected(r, l.GetItemText(r, 0) == name);
    view.OnNotify(CDlgMain::kListId, ui::NM_SETFOCUS);
    view.OnSaveData();
    ASSERT_EQ(ui.hui.Messages().size(), 1u);
    EXPECT_NE(ui.hui.Messages()[0].text.find("holds no data"), std::string::npos) << ui.hui.Messages()[0].text;
    EXPECT_TRUE(ui.hui.ModalRuns().empty()) << "no folder chooser, no copy";
  }
}

// A Link row's Save Data makes the link, holding its recorded target, in the
// chosen folder; an item already there goes after the question, as for a file.
TEST(BrowserRockRidge, SaveDataOfALinkRowMakesTheLink) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP();
  UiScope ui;
  ScratchDir dir;
  MakeSource(dir);
  ASSERT_EQ(::symlink("../no such/place", dir.File("src/far").c_str()), 0);
  const std::string iso = dir.File("g.iso");
  ASSERT_EQ(std::system(("genisoimage -quiet -R -o " + iso + " " + dir.File("src") + " >/dev/null 2>&1").c_str()), 0);
  auto dev = IsoDevice(ReadAll(iso));
  CDlgMain view;
  view.LoadDisc(dev.get());
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  ui::ListCtrl& l = view.List();
  const std::string out = dir.File("out");
  ASSERT_TRUE(std::filesystem::create_directory(out));
  std::ofstream(out + "/far") << "in the way";
  for (const char* name : {"link", "far"}) {
    SCOPED_TRACE(name);
    for (int r = 0; r < l.GetItemCount(); ++r) l.SetSelected(r, l.GetItemText(r, 0) == name);
    view.OnNotify(CDlgMain::kListId, ui::NM_SETFOCUS);
    ui.hui.ClearRecords();
    ui.hui.QueueFolderChoice(std::filesystem::path(out));
    view.OnSaveData();
    EXPECT_EQ(ui.hui.Messages().size(), std::string(name) == "far" ? 1u : 0u) << "only the overwrite question";
    EXPECT_TRUE(std::filesystem::is_symlink(out + "/" + name));
  }
  EXPECT_EQ(std::filesystem::read_symlink(out + "/link").string(), "file");
  EXPECT_EQ(std::filesystem::read_symlink(out + "/far").string(), "../no such/place");
  EXPECT_EQ(view.Copier().GetResult().links, 1u);
}
