// zisofs-compressed volumes as xorriso writes them: ls and find show the
// uncompressed sizes, extraction writes what xorriso -osirrox extracts;
// zisofs2 files are named and not made; bent headers, pointers and streams
// come out as zeros of the right size, reported as damage.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "disc/ByteOrder.h"
#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/PeerIso.h"

using namespace browsercli;
using testsupport::Bytes;
using testsupport::ScratchDir;
namespace stdfs = std::filesystem;

namespace {

const char* const kNode = "DATA TRACK 1(ISO)";

// Text-like runs, a stretch of zeros (stored as empty blocks) and noise.
Bytes Big() {
  std::mt19937 rng(11);
  Bytes b;
  while (b.size() < 700000) b.insert(b.end(), 1 + rng() % 60, std::uint8_t('a' + rng() % 5));
  b.resize(b.size() + 300000, 0);
  for (int i = 0; i < 90000; ++i) b.push_back(std::uint8_t(rng()));
  return b;
}

// big, docs/notes.txt (12000 bytes), docs/block (exactly 128 KiB), empty.
std::string MakeSource(const ScratchDir& dir) {
  dir.Write("src/big", Big());
  std::string notes;
  while (notes.size() < 12000) notes += "zisofs keeps each block apart. ";
  notes.resize(12000);
  dir.Write("src/docs/notes.txt", notes);
  dir.Write("src/docs/block", Bytes(131072, 'B'));
  dir.Write("src/empty", std::string());
  return dir.File("src");
}

// find's path -> size, files only.
std::map<std::string, std::string> FoundSizes(const std::string& iso, const ScratchDir& dir) {
  std::map<std::string, std::string> sizes;
  for (const auto& row : Lines(Tessal("find " + Q(iso), dir).out))
    if (row[1] == "file") sizes[row[0]] = row[2];
  return sizes;
}

std::uint32_t LbaOf(const std::string& iso, const std::string& path, const ScratchDir& dir) {
  for (const auto& row : Lines(Tessal("find " + Q(iso), dir).out, 7))
    if (row[0] == path) return static_cast<std::uint32_t>(std::stoul(row[6]));
  ADD_FAILURE() << "no " << path << " in find's list";
  return 0;
}

}  // namespace

TEST(ZisofsCli, EachBlockSizeListsAndExtractsAsXorrisoDoes) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  for (const char* size : {"32k", "64k", "128k"}) {
    SCOPED_TRACE(size);
    ScratchDir dir;
    const std::string src = MakeSource(dir), iso = dir.File("z.iso");
    ASSERT_EQ(testsupport::MakeZisofsImage(src, iso, std::string("block_size=") + size, dir).status, 0);
    ASSERT_LT(stdfs::file_size(iso), stdfs::file_size(src + "/big"));  // really compressed

    const std::string big = std::to_string(Big().size());
    const std::map<std::string, std::string> want = {
        {"/big", big}, {"/docs/block", "131072"}, {"/docs/notes.txt", "12000"}, {"/empty", "0"}};
    EXPECT_EQ(FoundSizes(iso, dir), want);
    const auto listed = Lines(Tessal("ls " + Q(iso) + " /", dir).out);
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&](const auto& r) { return r[0] == "big" && r[3] == big; }));

    const std::string ours = dir.File("ours"), theirs = dir.File("theirs");
    ASSERT_EQ(testsupport::XorrisoExtract(iso, theirs, dir).status, 0);
    stdfs::create_directory(ours);
    const auto run = Tessal("extract " + Q(iso) + " / " + Q(ours), dir);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(testsupport::CompareTrees(theirs, ours + "/" + kNode), "");
    // One file saved from the browser's list, as "Save Data" saves it.
    const auto one = Tessal("extract " + Q(iso) + " /docs/notes.txt " + Q(ours), dir);
    EXPECT_EQ(one.status, 0) << one.out << one.err;
    EXPECT_EQ(ReadWhole(ours + "/notes.txt"), ReadWhole(theirs + "/docs/notes.txt"));
  }
}

TEST(ZisofsCli, Zisofs2FilesAreNamedNotMade) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  for (const char* options : {"version_2=on:susp_z2=off", "version_2=on:susp_z2=on"}) {
    SCOPED_TRACE(options);
    ScratchDir dir;
    const std::string src = MakeSource(dir), iso = dir.File("z2.iso"), ours = dir.File("ours");
    ASSERT_EQ(testsupport::MakeZisofsImage(src, iso, options, dir).status, 0);
    stdfs::create_directory(ours);
    for (const char* node : {"/", "/big"}) {
      const auto run = Tessal("extract " + Q(iso) + " " + node + " " + Q(ours), dir);
      EXPECT_EQ(run.status, 1) << run.out << run.err;
      EXPECT_NE(run.out.find("big\tcompressed in a form not read"), std::string::npos) << run.out;
    }
    EXPECT_FALSE(stdfs::exists(ours + "/" + kNode + "/big"));
    EXPECT_FALSE(stdfs::exists(ours + "/big"));
    EXPECT_TRUE(stdfs::exists(ours + "/" + kNode + "/empty"));
  }
}

// big's third pointer past the file (block 1 ends past it, block 2 runs
// backwards from it) and its fourth block's stream broken;
// notes.txt's header claiming 4 GiB, a table no file of its size holds.
TEST(ZisofsCli, BentBlocksBecomeZerosReportedAsDamage) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  ScratchDir dir;
  const std::string src = MakeSource(dir), iso = dir.File("z.iso"), ours = dir.File("ours");
  ASSERT_EQ(testsupport::MakeZisofsImage(src, iso, "block_size=32k", dir).status, 0);
  Bytes image = ReadWhole(iso);
  std::uint8_t* big = image.data() + std::size_t(LbaOf(iso, "/big", dir)) * 2048;
  std::uint8_t* notes = image.data() + std::size_t(LbaOf(iso, "/docs/notes.txt", dir)) * 2048;
  PutLE32(big + 16 + 2 * 4, 0x7FFFFFF0);
  const std::uint32_t block3 = GetLE32(big + 16 + 3 * 4);
  big[block3 + 10] ^= 0xFF;
  big[block3 + 11] ^= 0xFF;
  PutLE32(notes + 8, 0xFFFFFFFF);
  dir.Write("z.iso", image);

  stdfs::create_directory(ours);
  const auto run = Tessal("extract " + Q(iso) + " / " + Q(ours), dir);
  EXPECT_EQ(run.status, 1);
  const Bytes want = Big(), got = ReadWhole(ours + "/" + kNode + "/big");
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t b = 0; b * 32768 < want.size(); ++b) {
    const auto from = static_cast<std::ptrdiff_t>(b * 32768);
    const auto to = static_cast<std::ptrdiff_t>(std::min(want.size(), (b + 1) * 32768));
    const bool zeroed = b >= 1 && b <= 3;
    EXPECT_TRUE(zeroed ? std::all_of(got.begin() + from, got.begin() + to, [](auto c) { return c == 0; })
                       : std::equal(got.begin() + from, got.begin() + to, want.begin() + from))
        << "block " << b;
  }
  EXPECT_EQ(ReadWhole(ours + "/" + kNode + "/docs/notes.txt"), Bytes(12000, 0));
  std::map<std::string, std::vector<std::string>> damaged;
  for (const auto& row : TableRows(run.out, "path\tsectors\treason")) damaged[stdfs::path(row[0]).filename()] = row;
  ASSERT_EQ(damaged.size(), 2u) << run.out;
  EXPECT_EQ(damaged["big"][1], "48");
  EXPECT_EQ(damaged["big"][2],
            "compressed block damaged; compressed block past the file; compressed block pointers wrong");
  EXPECT_EQ(damaged["notes.txt"][1], "6");
  EXPECT_EQ(damaged["notes.txt"][2], "zisofs block table past the file");
  EXPECT_EQ(ReadWhole(ours + "/" + kNode + "/docs/block"), Bytes(131072, 'B'));
}
