// The peer tools' helpers the extraction tests lean on: the images really
// hold what they are meant to (links, a device, a relocated deep folder,
// long names), both listings read them the same way the source tree is, and
// the tree comparison sees every kind of difference it claims to.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/PeerIso.h"

using namespace testsupport;
namespace stdfs = std::filesystem;

namespace {

// path, type, size and link target of each row, one a line.
std::string Rows(const std::vector<PeerRow>& rows, bool withMode) {
  std::string s;
  for (const PeerRow& r : rows) {
    s += r.path + " " + fs::FindTypeText(r.info.type) + " " + std::to_string(r.info.size);
    if (withMode && r.info.mode) s += " " + std::to_string(*r.info.mode & 0777);
    if (!r.info.linkTarget.empty()) s += " -> " + r.info.linkTarget;
    s += "\n";
  }
  return s;
}

bool HaveTools() {
  return HaveProgram("xorriso") && HaveProgram("genisoimage") && HaveProgram("isoinfo");
}

}  // namespace

TEST(PeerIso, ListingsOfBothToolsAgreeWithTheSourceTree) {
  if (!HaveTools()) GTEST_SKIP() << "xorriso, genisoimage or isoinfo is missing";
  ScratchDir dir;
  const std::string src = dir.File("src");
  MakePeerSourceTree(src);
  std::vector<PeerRow> source = ReadTreeRows(src);
  const std::string want = Rows(source, true);
  ASSERT_NE(want.find("/abs-link symlink 0 511 -> /etc\n"), std::string::npos) << want;

  const std::string x = dir.File("x.iso");
  ASSERT_EQ(MakeXorrisoImage(src, x, dir).status, 0);
  std::vector<PeerRow> found = XorrisoFind(x, dir);
  // xorriso's image also holds the host's /dev/null as a device node.
  auto dev = std::find_if(found.begin(), found.end(), [](const PeerRow& r) { return r.path == "/null"; });
  ASSERT_NE(dev, found.end());
  EXPECT_EQ(dev->info.type, fs::NodeType::CharDevice);
  found.erase(dev);
  EXPECT_EQ(Rows(found, true), want);
  EXPECT_EQ(*std::find_if(found.begin(), found.end(), [](const PeerRow& r) { return r.path == "/tool"; })->info.mode,
            04755u);

  const std::string g = dir.File("g.iso");
  ASSERT_EQ(MakeGenisoImage(src, g, dir).status, 0);
  const std::vector<PeerRow> listed = IsoinfoList(g, dir);
  // The deep folder really was relocated by the writer: isoinfo, which
  // does not follow relocation, shows it under rr_moved.
  EXPECT_TRUE(std::any_of(listed.begin(), listed.end(),
                          [](const PeerRow& r) { return r.path == "/rr_moved/level8/level9"; }));
  EXPECT_EQ(Rows(RelocatedInPlace(listed), true), want);
}

TEST(PeerIso, TreeComparisonSeesEachKindOfDifference) {
  if (!HaveTools()) GTEST_SKIP() << "xorriso, genisoimage or isoinfo is missing";
  ScratchDir dir;
  const std::string src = dir.File("src");
  MakePeerSourceTree(src);
  const std::string x = dir.File("x.iso"), out = dir.File("out");
  ASSERT_EQ(MakeXorrisoImage(src, x, dir).status, 0);
  ASSERT_EQ(XorrisoExtract(x, out, dir).status, 0);
  // xorriso's own extraction is the reference: it matches the source (the
  // device node is not made).
  EXPECT_EQ(CompareTrees(src, out), "");

  const stdfs::path o = out;
  ::chmod((o / "private").c_str(), 0644);
  std::ofstream(o / "empty") << "x";
  stdfs::remove(o / "rel-link");
  stdfs::create_symlink("elsewhere", o / "rel-link");
  struct timespec t[2] = {{0, UTIME_OMIT}, {12345, 0}};
  ::utimensat(AT_FDCWD, (o / "shut").c_str(), t, 0);
  stdfs::remove(o / "dangling");
  std::ofstream(o / "dangling") << "";
  stdfs::remove(o / "Mixed Case Name.txt");
  std::ofstream(o / "extra") << "";
  // Only the changes named below: the times that writing moved go back.
  struct timespec file[2] = {{0, UTIME_OMIT}, {kPeerFileTime, 0}}, folder[2] = {{0, UTIME_OMIT}, {kPeerFolderTime, 0}};
  ::utimensat(AT_FDCWD, (o / "empty").c_str(), file, 0);
  ::utimensat(AT_FDCWD, (o / "dangling").c_str(), file, 0);
  ::utimensat(AT_FDCWD, out.c_str(), folder, 0);
  EXPECT_EQ(CompareTrees(src, out),
            "/Mixed Case Name.txt: missing\n"
            "/dangling: file instead of symlink\n"
            "/empty: bytes differ\n"
            "/private: mode 644 instead of 640\n"
            "/rel-link: -> elsewhere instead of level1/../Mixed Case Name.txt\n"
            "/shut: mtime 12345 instead of 1000000000\n"
            "/extra: not expected\n");
}
