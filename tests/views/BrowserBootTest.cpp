// "Save Data" on the browser's "[BOOT]" folder, over an image xorriso made:
// a row, the node and its track, each image compared with its source file.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/BootIso.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/views/BrowserTestUtil.h"

using namespace browsertest;
using namespace testsupport;

TEST(BrowserBoot, ARowTheBootNodeAndItsTrackAreSavedWithTheImagesWhole) {
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
  ASSERT_EQ(view.List().GetItemCount(), 4);
  auto expectImage = [&](const std::string& folder, std::size_t i) {
    const Bytes want = boot->Source(dir, boot->images[i]);
    EXPECT_TRUE(ReadWholeFile(dir.File(folder + boot->images[i].name)) == std::string(want.begin(), want.end()));
  };
  auto save = [&](int focus) {
    view.OnNotify(focus, ui::NM_SETFOCUS);
    ui.hui.QueueFolderChoice(std::filesystem::path(dir.Path()));
    view.OnSaveData();
  };
  view.List().UserClick(1);
  save(CDlgMain::kListId);
  expectImage("", 1);
  save(CDlgMain::kTreeId);
  for (std::size_t i = 0; i < boot->images.size(); ++i) expectImage("[BOOT]/", i);
  view.SelectNode(view.Tree().GetParentItem(node));
  save(CDlgMain::kTreeId);
  expectImage("DATA TRACK 1(ISO)/[BOOT]/", 2);
  EXPECT_TRUE(ui.hui.Messages().empty());
}
