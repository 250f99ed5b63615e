// The folder chooser: the overwrite question and what it removes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/HeadlessUi.h"
#include "skin/BrowseDirDialog.h"

namespace fs = std::filesystem;

namespace {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

struct TempDir {
  fs::path path;
  TempDir() {
    char tpl[] = "/tmp/tessal-browse-XXXXXX";
    path = ::mkdtemp(tpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void Touch(const std::string& p, const std::string& text = "x") { std::ofstream(p) << text; }

}  // namespace

TEST(BrowseDir, AFreeNameNeedsNoQuestionAndCancellingTheChooserChoosesNothing) {
  UiScope ui;
  TempDir d;
  ui.hui.QueueFolderChoice(d.path);
  CBrowseDirDialog c(false, "file.bin");
  EXPECT_TRUE(c.Browse());
  EXPECT_EQ(c.GetPath(), d.path.string());
  EXPECT_EQ(c.GetTarget(), d / "file.bin");
  EXPECT_TRUE(ui.hui.Messages().empty());

  ui.hui.QueueFolderChoice(std::nullopt);
  EXPECT_FALSE(c.Browse());
  // A root folder gets no second separator.
  c.SetPath("/");
  EXPECT_EQ(c.GetTarget(), "/file.bin");
}

TEST(BrowseDir, AnExistingFileIsDeletedOnOkAndKeptOnCancel) {
  UiScope ui;
  TempDir d;
  Touch(d / "a.txt");
  ui.hui.QueueFolderChoice(d.path);
  ui.hui.QueueMessageBoxAnswer(IDCANCEL);
  CBrowseDirDialog c(false, "a.txt");
  EXPECT_FALSE(c.Browse());
  EXPECT_TRUE(fs::exists(d / "a.txt"));
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "File or Directory already Existed, OverWrite it?");
  EXPECT_EQ(ui.hui.Messages()[0].Buttons(), ui::MB_OKCANCEL);
  EXPECT_EQ(ui.hui.Messages()[0].Icon(), ui::MB_ICONQUESTION);

  ui.hui.QueueFolderChoice(d.path);
  ui.hui.QueueMessageBoxAnswer(IDOK);
  EXPECT_TRUE(c.Browse());
  EXPECT_FALSE(fs::exists(d / "a.txt"));
}

TEST(BrowseDir, AFolderIsRemovedWholeExceptBelowDotNamedFolders) {
  UiScope ui;
  TempDir d;
  fs::create_directories(d / "tree/sub/deeper");
  Touch(d / "tree/one");
  Touch(d / "tree/.hidden-file");
  Touch(d / "tree/sub/two");
  Touch(d / "tree/sub/deeper/three");
  CBrowseDirDialog c(true, "tree");
  c.SetPath(d.path.string());
  EXPECT_TRUE(c.CheckTarget());
  EXPECT_FALSE(fs::exists(d / "tree"));

  fs::create_directories(d / "kept/.git/objects");
  Touch(d / "kept/.git/objects/o");
  Touch(d / "kept/f");
  CBrowseDirDialog k(true, "kept");
  k.SetPath(d.path.string());
  EXPECT_TRUE(k.CheckTarget());
  EXPECT_TRUE(fs::exists(d / "kept/.git/objects/o"));
  EXPECT_FALSE(fs::exists(d / "kept/f"));
}

TEST(BrowseDir, LinksAreRemovedNeverFollowed) {
  UiScope ui;
  TempDir d;
  fs::create_directories(d / "elsewhere");
  Touch(d / "elsewhere/precious");
  fs::create_directories(d / "tree");
  fs::create_directory_symlink(d / "elsewhere", d / "tree/link");
  fs::create_directory_symlink(d / "elsewhere", d / "direct");
  CBrowseDirDialog c(true, "tree");
  c.SetPath(d.path.string());
  EXPECT_TRUE(c.CheckTarget());
  EXPECT_FALSE(fs::exists(d / "tree"));
  CBrowseDirDialog l(true, "direct");
  l.SetPath(d.path.string());
  EXPECT_TRUE(l.CheckTarget());
  EXPECT_FALSE(fs::is_symlink(d / "direct"));
  EXPECT_TRUE(fs::exists(d / "elsewhere/precious"));
}

TEST(BrowseDir, NamesThatAreNoSinglePathComponentAreRefused) {
  UiScope ui;
  TempDir d;
  fs::create_directories(d / "inner");
  Touch(d / "inner/f");
  for (const char* bad : {"", ".", "..", "inner/f", "../x"}) {
    CBrowseDirDialog c(false, bad);
    c.SetPath((d.path / "inner").string());
    EXPECT_FALSE(c.CheckTarget()) << bad;
  }
  EXPECT_TRUE(fs::exists(d / "inner/f"));
  EXPECT_TRUE(ui.hui.Messages().empty());
}
