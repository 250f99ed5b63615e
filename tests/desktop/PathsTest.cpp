// Finding the help and the samples: beside the program first (an installed
// tree or the build tree), then the configured prefix, then the build tree.
#include <fstream>

#include "platform/ui/Paths.h"
#include "tests/desktop/DesktopTestUtil.h"
#include "tests/support/CdImages.h"

using namespace desktoptest;

namespace {

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "x";
}

}  // namespace

TEST(Paths, TheProgramsOwnTreeComesFirstWhereverItWasMoved) {
  testsupport::ScratchDir dir;
  const fs::path root = fs::path(dir.Path()) / "opt" / "somewhere";
  const fs::path exe = root / "bin" / "tessal";
  Touch(exe);
  Touch(root / "share" / "tessal" / "help" / "index.html");
  fs::create_directories(root / "share" / "tessal" / "samples");

  const auto candidates = ui::DataFolderCandidates(exe);
  ASSERT_FALSE(candidates.empty());
  EXPECT_EQ(candidates.front(), (root / "share" / "tessal").lexically_normal());
  EXPECT_EQ(ui::HelpFile(exe), (root / "share" / "tessal" / "help" / "index.html").lexically_normal());
  EXPECT_EQ(ui::SamplesFolder(exe), (root / "share" / "tessal" / "samples").lexically_normal());
}

TEST(Paths, ACandidateWithoutTheFileIsPassedOver) {
  testsupport::ScratchDir dir;
  // An installed program whose tree has samples but lost its help: the help
  // comes from a later candidate (the build tree here), the samples from its own.
  const fs::path root = fs::path(dir.Path()) / "usr";
  const fs::path exe = root / "bin" / "tessal";
  Touch(exe);
  fs::create_directories(root / "share" / "tessal" / "samples");
  const fs::path help = ui::HelpFile(exe);
  ASSERT_FALSE(help.empty());
  EXPECT_NE(help.string().rfind(root.string(), 0), 0u) << help;
  EXPECT_TRUE(fs::is_regular_file(help));
  EXPECT_EQ(ui::SamplesFolder(exe), (root / "share" / "tessal" / "samples").lexically_normal());
  // The candidates after the program's own are the configured prefix and the build tree.
  const auto candidates = ui::DataFolderCandidates(exe);
  EXPECT_EQ(candidates.back(), BuildDataDir().lexically_normal());
}

TEST(Paths, TheBuildTreesProgramsFindTheBuildTreesFiles) {
  // Test executables live in build/tests, the programs in build/bin: both sit
  // beside build/share.
  EXPECT_EQ(ui::HelpFile(BinDir() / "tessal"), (BuildDataDir() / "help" / "index.html").lexically_normal());
  EXPECT_EQ(ui::SamplesFolder(), (BuildDataDir() / "samples").lexically_normal());
  EXPECT_EQ(ui::RunningProgram().parent_path().parent_path().lexically_normal(), BuildRoot().lexically_normal());
}
