// tessal-cli toc, tree, ls and extract on plain images of appended sessions:
// genisoimage -C -M with and without a recorder's gaps (each session's own
// tree, merged with the earlier ones as genisoimage -M writes it, comes out
// byte for byte), a session holding fake descriptor sets in a file's data,
// and UDF sessions appended by the test support's builder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/AppendedSessions.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/UdfBuilder.h"

using namespace browsercli;
using testsupport::ScratchDir;
namespace stdfs = std::filesystem;

namespace {

void Put(const std::string& path, const std::string& bytes) {
  stdfs::create_directories(stdfs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Bytes(std::size_t n, unsigned salt) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + salt * 7) >> 3);
  return s;
}

// What session n of the image holds: the folders of sessions 1 to n laid
// over each other, as genisoimage -M merges a new session with the last.
void MergeInto(const std::string& want, const std::string& folder) {
  stdfs::copy(folder, want, stdfs::copy_options::recursive | stdfs::copy_options::overwrite_existing);
}

void ExpectSameTree(const std::string& got, const std::string& want) {
  const auto a = testsupport::ReadTree(got), b = testsupport::ReadTree(want);
  ASSERT_FALSE(b.empty());
  EXPECT_TRUE(a == b) << "got:\n" << testsupport::TreeSummary(a) << "want:\n" << testsupport::TreeSummary(b);
}

// The node texts of `tree`'s output, indentation kept, data dropped.
std::vector<std::string> TreeTexts(const std::string& out) {
  std::vector<std::string> texts;
  for (const auto& row : Lines(out, 1)) texts.push_back(row[0]);
  return texts;
}

std::string Track(int n, const char* fs = "ISO") {
  return "Session " + std::to_string(n) + "/DATA TRACK " + std::to_string(n) + "(" + fs + ")";
}

TEST(SessionsCli, EveryGenisoimageSessionListsAndExtractsItsOwnTree) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  for (bool gap : {false, true}) {
    SCOPED_TRACE(gap ? "with -msinfo gaps" : "back to back");
    ScratchDir dir;
    Put(dir.File("s1/docs/readme.txt"), "first session\n");
    Put(dir.File("s1/big.bin"), Bytes(300000, 1));
    Put(dir.File("s2/docs/added.txt"), "second session\n");
    Put(dir.File("s2/big.bin"), Bytes(5000, 2));  // replaces the first one
    Put(dir.File("s3/third/deep/c.bin"), Bytes(70000, 3));
    testsupport::AppendedIso iso(dir.File("multi.iso"), dir);
    std::string error;
    for (const char* s : {"s1", "s2", "s3"}) ASSERT_TRUE(iso.Append(dir.File(s), gap, error)) << error;

    const auto toc = Tessal("toc " + Q(iso.Path()), dir);
    ASSERT_EQ(toc.status, 0) << toc.err;
    const auto rows = TableRows(toc.out, "Session Index");
    ASSERT_EQ(rows.size(), 3u) << toc.out;
    for (int s = 0; s < 3; ++s) {
      EXPECT_EQ(rows[s][0], "Session " + std::to_string(s + 1));
      EXPECT_EQ(rows[s][3], std::to_string(iso.Starts()[s]));
      // The view's end is the sector before the next session's first track.
      EXPECT_EQ(rows[s][4], std::to_string((s < 2 ? iso.Starts()[s + 1] : iso.Ends()[2]) - 1));
    }

    const auto tree = Tessal("tree " + Q(iso.Path()), dir);
    ASSERT_EQ(tree.status, 0) << tree.err;
    const std::vector<std::string> want = {"Session 1",          "  DATA TRACK 1(ISO)", "    docs",
                                           "Session 2",          "  DATA TRACK 2(ISO)", "    docs",
                                           "Session 3",          "  DATA TRACK 3(ISO)", "    docs",
                                           "    third",          "      deep",
                                           "(Lead Out) " + std::to_string(iso.Ends()[2])};
    EXPECT_EQ(TreeTexts(tree.out), want) << tree.out;

    for (int s = 1; s <= 3; ++s) {
      MergeInto(dir.File("want" + std::to_string(s)), dir.File("s" + std::to_string(s)));
      if (s < 3) MergeInto(dir.File("want" + std::to_string(s + 1)), dir.File("want" + std::to_string(s)));
      const auto ls = Tessal("ls " + Q(iso.Path()) + " " + Q(Track(s) + "/docs"), dir);
      ASSERT_EQ(ls.status, 0) << ls.err;
      EXPECT_EQ(Lines(ls.out).size(), s == 1 ? 2u : 3u) << ls.out;  // heading, readme.txt (, added.txt)
      const std::string out = dir.File("out" + std::to_string(s));
      stdfs::create_directories(out);
      const auto run = Tessal("extract " + Q(iso.Path()) + " " + Q(Track(s)) + " " + Q(out), dir);
      ASSERT_EQ(run.status, 0) << run.err << run.out;
      // A track's extraction is a folder named as its node.
      ExpectSameTree(out + "/DATA TRACK " + std::to_string(s) + "(ISO)", dir.File("want" + std::to_string(s)));
    }
  }
}

// Past a CD's 360000 sectors the image is served as a DVD, whose TOC the
// browser makes from track information: each session still shows and lists
// its own files, and vol shows the volume of the session a node names.
TEST(SessionsCli, DvdSizedImageShowsEverySessionAndItsVolume) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  ScratchDir dir;
  Put(dir.File("s1/one.txt"), "first\n");
  Put(dir.File("s2/two.txt"), "second\n");
  testsupport::AppendedIso iso(dir.File("dvd.iso"), dir);
  std::string error;
  ASSERT_TRUE(iso.Append(dir.File("s1"), false, error, "-R -V FIRST")) << error;
  ASSERT_TRUE(iso.Append(dir.File("s2"), true, error, "-R -V SECOND")) << error;
  constexpr std::uint64_t kSectors = 400000;  // a hole in the file past the last session
  std::error_code ec;
  stdfs::resize_file(iso.Path(), kSectors * 2048, ec);
  ASSERT_FALSE(ec) << ec.message();
  ASSERT_NE(Tessal("info " + Q(iso.Path()), dir).out.find("profile\t0x10"), std::string::npos);

  const auto tree = Tessal("tree " + Q(iso.Path()), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(TreeTexts(tree.out), (std::vector<std::string>{"Session 1", "  DATA TRACK 1(ISO)", "Session 2",
                                                          "  DATA TRACK 2(ISO)",
                                                          "(Lead Out) " + std::to_string(kSectors)}));
  const std::vector<std::vector<std::string>> files = {{"one.txt"}, {"one.txt", "two.txt"}};
  for (int s = 1; s <= 2; ++s) {
    const auto ls = Tessal("ls " + Q(iso.Path()) + " " + Q(Track(s)), dir);
    ASSERT_EQ(ls.status, 0) << ls.err;
    std::vector<std::string> names;
    for (const auto& row : Lines(ls.out)) names.push_back(row[0]);
    names.erase(names.begin());  // the heading
    EXPECT_EQ(names, files[s - 1]) << ls.out;
  }
  // Without a node the last session's volume, as before; with one, its session's.
  const std::vector<std::pair<std::string, std::string>> volumes = {
      {"", "SECOND"}, {" 'Session 1'", "FIRST"}, {" " + Q(Track(2)), "SECOND"}};
  for (const auto& [node, id] : volumes) {
    const auto vol = Tessal("vol " + Q(iso.Path()) + node, dir);
    ASSERT_EQ(vol.status, 0) << vol.err;
    const auto rows = TableRows(vol.out, "Volume Descriptor");
    ASSERT_GE(rows.size(), 2u) << vol.out;
    EXPECT_EQ(rows[1][1], id + std::string(32 - id.size(), ' ')) << node;
  }
  EXPECT_EQ(Tessal("vol " + Q(iso.Path()) + " 'Session 3'", dir).status, 1);
}

TEST(SessionsCli, FakeDescriptorSetsInAFileDoNotMakeASession) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  ScratchDir dir;
  // Primary descriptor and terminator over and over, the primary's root at
  // sector 20 as in a volume made for sector 0.
  std::string pair(4096, '\0');
  pair[0] = 1;
  pair.replace(1, 5, "CD001");
  pair[158] = 20;
  pair[2048] = static_cast<char>(255);
  pair.replace(2049, 5, "CD001");
  std::string fakes;
  for (int i = 0; i < 2500; ++i) fakes += pair;
  Put(dir.File("s1/a.txt"), "one\n");
  Put(dir.File("s2/fakes.bin"), fakes);
  testsupport::AppendedIso iso(dir.File("fake.iso"), dir);
  std::string error;
  for (const char* s : {"s1", "s2"}) ASSERT_TRUE(iso.Append(dir.File(s), false, error)) << error;

  const auto tree = Tessal("tree " + Q(iso.Path()), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(TreeTexts(tree.out), (std::vector<std::string>{"Session 1", "  DATA TRACK 1(ISO)", "Session 2",
                                                          "  DATA TRACK 2(ISO)",
                                                          "(Lead Out) " + std::to_string(iso.Ends()[1])}));
  stdfs::create_directories(dir.File("out"));
  const auto run = Tessal("extract " + Q(iso.Path()) + " " + Q(Track(2) + "/fakes.bin") + " " + Q(dir.File("out")),
                          dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadWhole(dir.File("out/fakes.bin")).size(), fakes.size());
}

TEST(SessionsCli, GenisoimageUdfBridgeSessionsBrowseThroughUdf) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  ScratchDir dir;
  Put(dir.File("s1/one.txt"), Bytes(4000, 1));
  Put(dir.File("s2/two.bin"), Bytes(9000, 2));
  testsupport::AppendedIso iso(dir.File("bridge.iso"), dir);
  std::string error;
  for (const char* s : {"s1", "s2"}) ASSERT_TRUE(iso.Append(dir.File(s), true, error, "-udf -R")) << error;
  const auto tree = Tessal("tree " + Q(iso.Path()), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(TreeTexts(tree.out), (std::vector<std::string>{"Session 1", "  DATA TRACK 1(UDF&ISO)", "Session 2",
                                                          "  DATA TRACK 2(UDF&ISO)",
                                                          "(Lead Out) " + std::to_string(iso.Ends()[1])}));
  // genisoimage's UDF tree of a merged session names the older files with a
  // length of 0, so only each session's own file is compared.
  for (int s = 1; s <= 2; ++s) {
    const std::string name = s == 1 ? "one.txt" : "two.bin";
    const std::string out = dir.File("out" + std::to_string(s));
    stdfs::create_directories(out);
    const auto run = Tessal("extract " + Q(iso.Path()) + " " + Q(Track(s, "UDF&ISO") + "/" + name) + " " + Q(out), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadWhole(out + "/" + name), ReadWhole(dir.File("s" + std::to_string(s) + "/" + name)));
  }
}

TEST(SessionsCli, AppendedUdfSessionsExtractTheirOwnFiles) {
  using testsupport::UdfNode;
  ScratchDir dir;
  testsupport::UdfBuildOptions o;
  const testsupport::UdfImage one =
      testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::File("first.txt", "of the first session\n")}), o);
  o.volumeStart = (one.SectorCount() + 31) / 32 * 32;
  o.volumeId = "SECOND";
  testsupport::UdfImage two = testsupport::BuildUdfImage(
      UdfNode::Dir("", {UdfNode::Dir("sub", {UdfNode::File("second.bin", std::vector<std::uint8_t>(9000, 0x5A))})}), o);
  std::copy(one.bytes.begin(), one.bytes.end(), two.bytes.begin());
  ASSERT_TRUE(two.WriteTo(dir.File("udf.img")));

  const auto tree = Tessal("tree " + Q(dir.File("udf.img")), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(TreeTexts(tree.out), (std::vector<std::string>{"Session 1", "  DATA TRACK 1(UDF)", "Session 2",
                                                          "  DATA TRACK 2(UDF)", "    sub",
                                                          "(Lead Out) " + std::to_string(two.SectorCount())}))
      << tree.out;
  stdfs::create_directories(dir.File("one"));
  stdfs::create_directories(dir.File("two"));
  auto run = Tessal("extract " + Q(dir.File("udf.img")) + " " + Q(Track(1, "UDF")) + " " + Q(dir.File("one")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadWhole(dir.File("one/DATA TRACK 1(UDF)/first.txt")).size(), 21u);
  run = Tessal("extract " + Q(dir.File("udf.img")) + " " + Q(Track(2, "UDF")) + " " + Q(dir.File("two")), dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadWhole(dir.File("two/DATA TRACK 2(UDF)/sub/second.bin")), testsupport::Bytes(9000, 0x5A));
  EXPECT_FALSE(stdfs::exists(dir.File("two/DATA TRACK 2(UDF)/first.txt")));
}

}  // namespace
