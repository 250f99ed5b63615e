// tessal-cli extract of Rock Ridge volumes against xorriso -osirrox's own
// extraction of the same images (names, types, link targets, bytes, times,
// permission bits), and volumes that try to write through a link they hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/PeerIso.h"

using namespace browsercli;
using testsupport::ScratchDir;
namespace stdfs = std::filesystem;

namespace {

const char* const kNode = "DATA TRACK 1(ISO)";

bool HavePeers() { return testsupport::HaveProgram("xorriso") && testsupport::HaveProgram("genisoimage"); }

// The image's bytes with every occurrence of `from` replaced by `to` (same
// length): how a test renames a Rock Ridge NM entry after the writer made it.
void Patch(const std::string& iso, const std::string& from, const std::string& to) {
  std::string b;
  {
    std::ifstream in(iso, std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t hits = 0;
  for (std::size_t at = b.find(from); at != std::string::npos; at = b.find(from, at + 1), ++hits)
    b.replace(at, to.size(), to);
  ASSERT_GT(hits, 0u) << "no " << from << " in " << iso;
  std::ofstream(iso, std::ios::binary | std::ios::trunc) << b;
}

// A Rock Ridge NM entry holding name (flags 0).
std::string NmEntry(const std::string& name) {
  return std::string("NM") + static_cast<char>(5 + name.size()) + '\x01' + '\x00' + name;
}

}  // namespace

TEST(ExtractLinksCli, RockRidgeVolumesComeOutAsXorrisoExtractsThem) {
  if (!HavePeers()) GTEST_SKIP() << "xorriso or genisoimage is missing";
  ScratchDir dir;
  const std::string src = dir.File("src");
  testsupport::MakePeerSourceTree(src);
  struct Maker {
    const char* name;
    testsupport::ProgramRun (*make)(const std::string&, const std::string&, const ScratchDir&);
  };
  for (const Maker& m : {Maker{"xorriso", testsupport::MakeXorrisoImage}, Maker{"genisoimage", testsupport::MakeGenisoImage}}) {
    SCOPED_TRACE(m.name);
    const std::string iso = dir.File(std::string(m.name) + ".iso"), ours = dir.File(std::string(m.name) + "-ours"),
                      theirs = dir.File(std::string(m.name) + "-xorriso");
    ASSERT_EQ(m.make(src, iso, dir).status, 0);
    ASSERT_EQ(testsupport::XorrisoExtract(iso, theirs, dir).status, 0);
    stdfs::create_directory(ours);
    const auto run = Tessal("extract " + Q(iso) + " / " + Q(ours), dir);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(testsupport::CompareTrees(theirs, ours + "/" + kNode), "");
    EXPECT_NE(run.out.find("links\t4"), std::string::npos) << run.out;
    // The device node xorriso recorded is named, not made.
    const bool device = std::string(m.name) == "xorriso";
    EXPECT_EQ(run.out.find("/null\tdevice") != std::string::npos, device) << run.out;
  }
}

// "a -> OUTSIDE" then a folder "a" holding "passwd"; "u -> .." then a
// folder "u" holding "passwd": the folder cannot be made where the link
// stands, the job says why, and nothing appears outside the chosen folder.
TEST(ExtractLinksCli, NothingIsWrittenThroughALinkOfTheVolume) {
  if (!HavePeers()) GTEST_SKIP() << "xorriso or genisoimage is missing";
  for (const bool up : {false, true}) {
    SCOPED_TRACE(up ? "u -> .." : "a -> outside");
    ScratchDir dir;
    const std::string outside = dir.File("outside"), src = dir.File("src");
    stdfs::create_directories(outside);
    stdfs::create_directories(src + "/b");
    std::ofstream(src + "/b/passwd") << "owned";
    stdfs::create_symlink(up ? ".." : outside, src + "/a");
    const std::string iso = dir.File("attack.iso");
    ASSERT_EQ(testsupport::MakeXorrisoImage(src, iso, dir).status, 0);
    // The folder takes the link's name (its record sorts after the link's).
    Patch(iso, NmEntry("b"), NmEntry("a"));
    const auto listed = testsupport::XorrisoFind(iso, dir);
    ASSERT_EQ(std::count_if(listed.begin(), listed.end(), [](const auto& r) { return r.path == "/a/passwd"; }), 1);

    const std::string out = dir.File("out");
    stdfs::create_directory(out);
    const auto before = testsupport::ReadTreeRows(dir.Path());
    const auto run = Tessal("extract " + Q(iso) + " / " + Q(out), dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("a link has this name; nothing is written through a link"), std::string::npos) << run.err;
    EXPECT_TRUE(stdfs::is_symlink(out + "/" + kNode + "/a"));
    // Outside the folder the job made nothing is new.
    EXPECT_TRUE(stdfs::is_empty(outside));
    for (const auto& r : testsupport::ReadTreeRows(dir.Path()))
      if (r.path.rfind(std::string("/out/") + kNode, 0) != 0)
        EXPECT_TRUE(std::any_of(before.begin(), before.end(), [&](const auto& b) { return b.path == r.path; }))
            << r.path << " is new";
  }
}

// The folder a job makes for the node it was given takes that folder's own
// bits and time, as every folder below it does; a Link row comes out as the
// link, with its own time.
TEST(ExtractLinksCli, TheJobsOwnFolderAndALinkRowKeepTheirBitsAndTimes) {
  if (!HavePeers()) GTEST_SKIP() << "xorriso or genisoimage is missing";
  ScratchDir dir;
  const std::string src = dir.File("src");
  testsupport::MakePeerSourceTree(src);
  ::chmod(src.c_str(), 0705);
  const std::string iso = dir.File("g.iso");
  ASSERT_EQ(testsupport::MakeGenisoImage(src, iso, dir).status, 0);
  const std::string out = dir.File("out");
  stdfs::create_directory(out);
  for (const char* node : {"/", "/shut", "/rel-link"}) {
    const auto run = Tessal("extract " + Q(iso) + " " + node + " " + Q(out), dir);
    EXPECT_EQ(run.status, 0) << node << run.out << run.err;
  }
  struct stat st {};
  ASSERT_EQ(::stat((out + "/" + kNode).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0705u);
  EXPECT_EQ(st.st_mtime, testsupport::kPeerFolderTime);
  ASSERT_EQ(::stat((out + "/shut").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0750u);
  EXPECT_EQ(st.st_mtime, testsupport::kPeerFolderTime);
  ASSERT_EQ(::lstat((out + "/rel-link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(st.st_mtime, testsupport::kPeerLinkTime);
  EXPECT_EQ(stdfs::read_symlink(out + "/rel-link").string(), "level1/../Mixed Case Name.txt");
  // A device node has nothing to save, and says so.
  const std::string x = dir.File("x.iso");
  ASSERT_EQ(testsupport::MakeXorrisoImage(src, x, dir).status, 0);
  const auto run = Tessal("extract " + Q(x) + " /null " + Q(out), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("device node: it holds no data"), std::string::npos) << run.err;
}
