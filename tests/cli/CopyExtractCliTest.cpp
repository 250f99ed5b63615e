// tessal-cli extract and save-track on volumes that independent tools made
// (genisoimage with and without UDF, xorriso) and on UDF volumes of the test
// support, every file compared byte by byte with the tree the volume was
// made from and with 7-Zip's extraction of the same image.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/UdfBuilder.h"

using namespace browsercli;
using testsupport::ReadTree;
using testsupport::ScratchDir;
using testsupport::TreeSummary;
namespace fs = std::filesystem;

namespace {

std::string Content(std::size_t n, unsigned salt) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u ^ salt;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// A tree with the sizes that matter (empty, one byte, sector edges, several
// runs of sectors), nested folders, an empty folder and names beyond 8.3.
void MakeTree(const std::string& root) {
  fs::create_directories(root + "/docs/deeper/deepest");
  fs::create_directories(root + "/empty folder");
  fs::create_directories(root + "/many");
  const std::pair<const char*, std::size_t> files[] = {
      {"readme.txt", 100},          {"zero.bin", 0},          {"one", 1},
      {"docs/sector.bin", 2048},    {"docs/sector+1.bin", 2049}, {"docs/deeper/runs.bin", 16 * 2048 * 3 + 77},
      {"docs/deeper/deepest/big.dat", 700000}, {"Long file name with spaces.text", 5000}};
  unsigned salt = 1;
  for (const auto& [name, size] : files) std::ofstream(root + "/" + name, std::ios::binary) << Content(size, salt++);
  for (int i = 0; i < 150; ++i)
    std::ofstream(root + "/many/f" + std::to_string(i) + ".txt", std::ios::binary) << Content(i * 31, 100 + i);
}

void ExpectSameTree(const std::string& got, const std::string& want) {
  const auto a = ReadTree(got), b = ReadTree(want);
  ASSERT_FALSE(b.empty());
  EXPECT_TRUE(a == b) << "got:\n" << TreeSummary(a) << "want:\n" << TreeSummary(b);
}

struct Maker {
  const char* name;
  const char* program;
  const char* command;  // %s: image, then source
  const char* node;     // the data track's node text
};

}  // namespace

TEST(CopyExtractCli, WholeTreesOfToolMadeVolumesComeOutByteForByte) {
  const Maker makers[] = {
      {"genisoimage Joliet+RR", "genisoimage", "genisoimage -quiet -J -R -o %s %s", "DATA TRACK 1(ISO)"},
      {"genisoimage UDF bridge", "genisoimage", "genisoimage -quiet -J -R -udf -o %s %s", "DATA TRACK 1(UDF&ISO)"},
      {"xorriso Joliet+RR", "xorriso", "xorriso -as mkisofs -quiet -J -R -o %s %s 2>/dev/null", "DATA TRACK 1(ISO)"},
  };
  for (const Maker& m : makers) {
    SCOPED_TRACE(m.name);
    if (!testsupport::HaveProgram(m.program)) {
      ADD_FAILURE() << m.program << " is missing";
      continue;
    }
    ScratchDir dir;
    const std::string src = dir.File("src"), iso = dir.File("disc.iso"), out = dir.File("out");
    MakeTree(src);
    fs::create_directory(out);
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd, m.command, Q(iso).c_str(), Q(src).c_str());
    ASSERT_EQ(testsupport::RunProgram(cmd, dir).status, 0) << cmd;

    auto run = Tessal("extract " + Q(iso) + " / " + Q(out), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("files\t158"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("unreadable\t0"), std::string::npos) << run.out;
    ExpectSameTree(out + "/" + m.node, src);

    // 7-Zip reads the same image to the same tree.
    if (testsupport::HaveProgram("7z")) {
      ASSERT_EQ(testsupport::RunProgram("7z x -y -o" + Q(dir.File("7z")) + " " + Q(iso) + " >/dev/null", dir).status, 0);
      ExpectSameTree(out + "/" + m.node, dir.File("7z"));
    }

    // One folder, and one file as a row of its folder's list.
    ASSERT_EQ(Tessal("extract " + Q(iso) + " /docs/deeper " + Q(dir.File("one")), dir).status, 1)
        << "DEST must exist";
    fs::create_directory(dir.File("one"));
    ASSERT_EQ(Tessal("extract " + Q(iso) + " /docs/deeper " + Q(dir.File("one")), dir).status, 0);
    ExpectSameTree(dir.File("one/deeper"), src + "/docs/deeper");
    ASSERT_EQ(Tessal("extract " + Q(iso) + " /docs/sector+1.bin " + Q(dir.File("one")), dir).status, 0);
    EXPECT_TRUE(ReadWhole(dir.File("one/sector+1.bin")) == ReadWhole(src + "/docs/sector+1.bin"));
    // An item already there is not replaced.
    run = Tessal("extract " + Q(iso) + " /docs/sector+1.bin " + Q(dir.File("one")), dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("exists"), std::string::npos) << run.err;
  }
}

TEST(CopyExtractCli, AFileOfSeveralExtentsNamedAsARowComesOutWhole) {
  ScratchDir dir;
  testsupport::IsoBuilder b;
  const testsupport::Bytes part1(3 * 2048, 'a'), part2(1000, 'b');
  testsupport::IsoNode& first = b.File(b.Root(), "BIG.BIN;1", part1);
  b.File(b.Root(), "BIG.BIN;1", part2);
  testsupport::Bytes image = b.Build();
  image[first.record + 25] |= 0x80;  // goes on in the next record, as files of 4 GiB or more do
  const std::string iso = dir.File("big.iso"), out = dir.File("out");
  std::ofstream(iso, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
  fs::create_directory(out);
  const auto run = Tessal("extract " + Q(iso) + " /BIG.BIN " + Q(out), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  testsupport::Bytes want = part1;
  want.insert(want.end(), part2.begin(), part2.end());
  EXPECT_TRUE(ReadWhole(out + "/BIG.BIN") == want);
}

TEST(CopyExtractCli, UdfVolumesOfTheTestSupportComeOutWhole) {
  using testsupport::UdfNode;
  UdfNode split = UdfNode::File("split.bin", std::vector<std::uint8_t>(9 * 2048 + 3, 0x5A));
  split.extents = 4;
  UdfNode root = UdfNode::Dir("", {UdfNode::File("a.txt", "alpha"), split,
                                   UdfNode::Dir("sub", {UdfNode::File("b.txt", std::string(5000, 'b'))})});
  for (auto kind : {testsupport::UdfPartitionKind::Plain, testsupport::UdfPartitionKind::Sparable}) {
    ScratchDir dir;
    testsupport::UdfBuildOptions o;
    o.partition = kind;
    const auto img = testsupport::BuildUdfImage(root, o);
    ASSERT_TRUE(img.WriteTo(dir.File("udf.img")));
    fs::create_directory(dir.File("out"));
    auto run = Tessal("extract " + Q(dir.File("udf.img")) + " / " + Q(dir.File("out")), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto tree = ReadTree(dir.File("out/DATA TRACK 1(UDF)"));
    const std::map<std::string, std::string> want{{"a.txt", "alpha"},
                                                  {"split.bin", std::string(9 * 2048 + 3, 0x5A)},
                                                  {"sub/", ""},
                                                  {"sub/b.txt", std::string(5000, 'b')}};
    EXPECT_TRUE(tree == want) << TreeSummary(tree);
  }
}

TEST(CopyExtractCli, HolesOfARescuedImageAreNamedAndFailTheExitStatus) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  ScratchDir dir;
  MakeTree(dir.File("src"));
  const std::string iso = dir.File("disc.iso");
  ASSERT_EQ(testsupport::RunProgram("genisoimage -quiet -J -o " + Q(iso) + " " + Q(dir.File("src")), dir).status, 0);
  // Where big.dat lies, from the browser's own list.
  auto ls = Tessal("ls " + Q(iso) + " /docs/deeper/deepest", dir);
  const auto rows = Lines(ls.out);
  ASSERT_EQ(rows.size(), 2u) << ls.out;
  const long long pos = std::stoll(rows[1][4]);
  const long long at = (pos + 10) * 2048;
  std::ofstream(iso + ".map") << "0 +\n0 " << at << " +\n" << at << " 6144 -\n" << at + 6144 << " "
                              << fs::file_size(iso) - at - 6144 << " +\n";
  fs::create_directory(dir.File("out"));
  auto run = Tessal("extract " + Q(iso) + " /docs " + Q(dir.File("out")), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("unreadable\t3"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(dir.File("out/docs/deeper/deepest/big.dat") + "\t3"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("3 sectors could not be read"), std::string::npos) << run.err;
  std::string want = Content(700000, 7);
  std::fill(want.begin() + 10 * 2048, want.begin() + 13 * 2048, '\0');
  const auto got = ReadWhole(dir.File("out/docs/deeper/deepest/big.dat"));
  EXPECT_TRUE(std::string(got.begin(), got.end()) == want);
}

TEST(CopyExtractCli, SaveTrackWritesTheWholeTrackAsDdReadsIt) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  ScratchDir dir;
  MakeTree(dir.File("src"));
  const std::string iso = dir.File("disc.iso");
  ASSERT_EQ(testsupport::RunProgram("genisoimage -quiet -o " + Q(iso) + " " + Q(dir.File("src")), dir).status, 0);
  auto run = Tessal("save-track " + Q(iso) + " 1 " + Q(dir.File("t.iso")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(testsupport::RunProgram("dd if=" + Q(iso) + " of=" + Q(dir.File("dd.iso")) + " bs=2048 status=none", dir)
                .status,
            0);
  EXPECT_TRUE(ReadWhole(dir.File("t.iso")) == ReadWhole(dir.File("dd.iso")));
  // Raw sectors for any other name: 2352 bytes each, the user data at 16.
  run = Tessal("save-track " + Q(iso) + " 1 " + Q(dir.File("t.bin")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto raw = ReadWhole(dir.File("t.bin")), user = ReadWhole(iso);
  ASSERT_EQ(raw.size() / 2352, user.size() / 2048);
  for (std::size_t s : {std::size_t(0), std::size_t(16), user.size() / 2048 - 1})
    EXPECT_TRUE(std::equal(user.begin() + s * 2048, user.begin() + s * 2048 + 2048, raw.begin() + s * 2352 + 16)) << s;
  EXPECT_EQ(Tessal("save-track " + Q(iso) + " 2 " + Q(dir.File("x")), dir).status, 1);
  EXPECT_EQ(Tessal("save-track " + Q(iso) + " zero " + Q(dir.File("x")), dir).status, 2);
}
