// The browser's "[BOOT]" folder over an image xorriso made: its rows, and
// "Save Data" on a row, on the node and on its track, each image compared
// with the file it was made from.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/BootIso.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/views/BrowserTestUtil.h"

using namespace browsertest;
using namespace testsupport;

TEST(BrowserBoot, TheBootNodeListsItsImagesAndSavesThemAsFiles) {
  UiScope ui;
  ui.hui.SetRealTimeTimers(true);
  ScratchDir dir;
  const auto boot = MakeBootIso(dir);
  if (!boot) GTEST_SKIP() << "xorriso or mkfs.vfat missing";
  ASSERT_TRUE(boot->error.empty()) << boot->error;
  const std::string image = ReadWholeFile(boot->iso);
  auto dev = IsoDevice(Bytes(image.begin(), image.end()));
  CDlgMain view;
  view.LoadDisc(dev.get());
  ui::HTREEITEM node = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/[BOOT]");
  ASSERT_NE(node, nullptr) << TreeText(view.Tree());
  view.SelectNode(node);
  const auto rows = Rows(view.List());
  ASSERT_EQ(rows.size(), boot->images.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], boot->images[i].name);
    EXPECT_EQ(rows[i][2], "File");
    EXPECT_EQ(rows[i][3], std::to_string(boot->images[i].size));
  }
  auto expectImage = [&](const std::string& path, std::size_t i) {
    const std::string want = ReadWholeFile(dir.File("src/" + boot->images[i].source)).substr(0, boot->images[i].size);
    EXPECT_TRUE(ReadWholeFile(path) == want) << path;
  };

  // A row from the list; the node from the tree; the track with "[BOOT]" in it.
  std::filesystem::create_directories(dir.File("out"));
  view.OnNotify(CDlgMain::kListId, ui::NM_SETFOCUS);
  view.List().UserClick(1);
  ui.hui.QueueFolderChoice(std::filesystem::path(dir.File("out")));
  view.OnSaveData();
  expectImage(dir.File("out/2-x86-NoEmul.img"), 1);
  view.OnNotify(CDlgMain::kTreeId, ui::NM_SETFOCUS);
  ui.hui.QueueFolderChoice(std::filesystem::path(dir.File("out")));
  view.OnSaveData();
  for (std::size_t i = 0; i < boot->images.size(); ++i) expectImage(dir.File("out/[BOOT]/" + boot->images[i].name), i);
  view.SelectNode(view.Tree().GetParentItem(node));
  ui.hui.QueueFolderChoice(std::filesystem::path(dir.File("out")));
  view.OnSaveData();
  expectImage(dir.File("out/DATA TRACK 1(ISO)/[BOOT]/3-EFI-NoEmul.img"), 2);
  EXPECT_EQ(ReadWholeFile(dir.File("out/DATA TRACK 1(ISO)/A.TXT")), "alpha\n");
  EXPECT_TRUE(ui.hui.Messages().empty());
}
