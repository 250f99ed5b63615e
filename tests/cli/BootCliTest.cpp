// El Torito boot images on the command line, from an image xorriso made: the
// "[BOOT]" node of tree and ls, find's rows among the root's entries, and
// extraction (one image, the folder, the whole track) compared with the
// files the images were made from; then catalogs that point past the medium
// or whose section headers never end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "disc/ByteOrder.h"
#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/BootIso.h"

using namespace browsercli;
using testsupport::Bytes;

namespace {

struct BootCli : ::testing::Test {
  testsupport::ScratchDir dir;
  testsupport::BootIso boot;
  void SetUp() override {
    auto made = testsupport::MakeBootIso(dir);
    if (!made) GTEST_SKIP() << "xorriso or mkfs.vfat missing";
    boot = *made;
    ASSERT_TRUE(boot.error.empty()) << boot.error;
  }
  std::string Dest(const std::string& name) {
    std::filesystem::create_directories(dir.File(name));
    return dir.File(name);
  }
};

std::vector<std::string> Paths(const std::string& out) {
  std::vector<std::string> paths;
  for (const auto& row : Lines(out)) paths.push_back(row[0]);
  return paths;
}

TEST_F(BootCli, TheBootFolderIsListedFoundAndExtractedWithItsTrack) {
  // Its item data is the catalog's sector, the one xorriso's boot.cat names.
  std::string catalog;
  for (const auto& row : Lines(Tessal("ls " + Q(boot.iso) + " /", dir).out))
    if (row[0] == "boot.cat") catalog = row[4];
  ASSERT_FALSE(catalog.empty());
  EXPECT_NE(Tessal("tree " + Q(boot.iso), dir).out.find("\n    [BOOT]\t" + catalog + "\n"), std::string::npos);

  const auto rows = Lines(Tessal("ls " + Q(boot.iso) + " /[BOOT]", dir).out);
  ASSERT_EQ(rows.size(), 1 + boot.images.size());
  for (std::size_t i = 0; i < boot.images.size(); ++i)
    EXPECT_EQ(rows[i + 1][0] + " " + rows[i + 1][2] + " " + rows[i + 1][3],
              boot.images[i].name + " File " + std::to_string(boot.images[i].size));

  // find: "[BOOT]" in its bytewise place among the root's entries; or alone.
  auto found = Tessal("find " + Q(boot.iso), dir);
  ASSERT_EQ(found.status, 0) << found.err;
  const auto paths = Paths(found.out);
  const auto at = std::find(paths.begin(), paths.end(), "/[BOOT]");
  ASSERT_NE(at, paths.end()) << found.out;
  EXPECT_EQ(at[-1], "/ZED/Z.TXT");
  EXPECT_EQ(at[1], "/[BOOT]/1-x86-1.44M.img");
  EXPECT_EQ(at[4], "/[BOOT]/4-x86-HardDisk.img");
  EXPECT_EQ(at[5], "/boot.bin");
  EXPECT_NE(found.out.find("/[BOOT]/3-EFI-NoEmul.img\tfile\t34816000\t"), std::string::npos) << found.out;
  EXPECT_EQ(Paths(Tessal("find " + Q(boot.iso) + " /[BOOT]", dir).out),
            (std::vector<std::string>{"path", "/1-x86-1.44M.img", "/2-x86-NoEmul.img", "/3-EFI-NoEmul.img",
                                      "/4-x86-HardDisk.img"}));

  // extract: the track with "[BOOT]" beside its files; one image.
  auto run = Tessal("extract " + Q(boot.iso) + " / " + Q(Dest("track")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  for (const auto& image : boot.images)
    EXPECT_TRUE(ReadWhole(dir.File("track/DATA TRACK 1(ISO)/[BOOT]/" + image.name)) == boot.Source(dir, image));
  EXPECT_EQ(ReadWhole(dir.File("track/DATA TRACK 1(ISO)/ZED/Z.TXT")), Bytes({'z', 'e', 'd', '\n'}));
  // The track's folder takes the root's recorded time once "[BOOT]" is in it.
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("track/DATA TRACK 1(ISO)")),
            std::filesystem::file_time_type::clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(981173106))));
  ASSERT_EQ(Tessal("extract " + Q(boot.iso) + " /[BOOT]/4-x86-HardDisk.img " + Q(Dest("one")), dir).status, 0);
  EXPECT_TRUE(ReadWhole(dir.File("one/4-x86-HardDisk.img")) == boot.Source(dir, boot.images[3]));
}

TEST_F(BootCli, ACatalogPastTheMediumOrWithoutEndIsReportedAndTheRestStillCopies) {
  const Bytes iso = ReadWhole(boot.iso);
  const std::uint32_t end = static_cast<std::uint32_t>(iso.size() / 2048);
  constexpr std::size_t kPointer = 17 * 2048 + 71;  // the boot record's catalog sector
  Bytes past = iso;
  PutLE32(past.data() + kPointer, end + 1000);
  const std::string pastIso = dir.Write("past.iso", past);
  EXPECT_EQ(Tessal("tree " + Q(pastIso), dir).out.find("[BOOT]"), std::string::npos);
  auto found = Tessal("find " + Q(pastIso), dir);
  EXPECT_EQ(found.status, 1);
  EXPECT_NE(found.err.find("damage: /[BOOT]: boot catalog past the medium (sector " + std::to_string(end + 1000)),
            std::string::npos)
      << found.err;
  auto run = Tessal("extract " + Q(pastIso) + " / " + Q(Dest("past")), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("[BOOT]: boot catalog past the medium"), std::string::npos) << run.err;
  EXPECT_EQ(ReadWhole(dir.File("past/DATA TRACK 1(ISO)/A.TXT")), Bytes({'a', 'l', 'p', 'h', 'a', '\n'}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("past/DATA TRACK 1(ISO)/[BOOT]")));

  // The real catalog's validation and initial entries, then eight sectors of
  // section headers each saying another follows, at the end of the image.
  Bytes loop = iso;
  const std::uint32_t catalog = GetLE32(iso.data() + kPointer);
  loop.insert(loop.end(), iso.begin() + catalog * 2048, iso.begin() + catalog * 2048 + 64);
  while (loop.size() < iso.size() + 8 * 2048) {
    loop.resize(loop.size() + 32, 0);
    loop[loop.size() - 32] = 0x90;
  }
  PutLE32(loop.data() + kPointer, end);
  const std::string loopIso = dir.Write("loop.iso", loop);
  const auto rows = Lines(Tessal("ls " + Q(loopIso) + " /[BOOT]", dir).out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0], "1-x86-1.44M.img");
  found = Tessal("find " + Q(loopIso), dir);
  EXPECT_EQ(found.status, 1);
  EXPECT_NE(found.err.find("damage: /[BOOT]: boot catalog sections unfinished"), std::string::npos) << found.err;
  run = Tessal("extract " + Q(loopIso) + " /[BOOT] " + Q(Dest("loop")), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(ReadWhole(dir.File("loop/[BOOT]/1-x86-1.44M.img")) == boot.Source(dir, boot.images[0]));
}

}  // namespace
