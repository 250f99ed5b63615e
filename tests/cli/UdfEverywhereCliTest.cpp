// tessal-cli ls, extract and vol over the UDF volumes the test support builds
// beyond 2048-byte blocks and plain 1.x/2.0x partitions: 512-, 1024- and
// 4096-byte blocks, the metadata partition of 2.50 and 2.60 (and its mirror
// when the main file is damaged), BD-R (a VAT under the metadata partition),
// a second volume appended in the same flat image, and a folder whose listing
// stops at a corrupt FID.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/cli/UdfCliUtil.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/UdfBuilder.h"

using namespace browsercli;
using udfcli::Joined;
using udfcli::Lower;
using udfcli::VolRow;
using testsupport::ScratchDir;
using testsupport::UdfBuildOptions;
using testsupport::UdfImage;
using testsupport::UdfNode;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t salt) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = 2463534242u ^ salt;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return v;
}

// Files and folders with known bytes: a file in three extents (gaps between
// them), one embedded in its entry, a 16-bit name, a nested folder.
UdfNode SampleTree() {
  UdfNode root = UdfNode::Dir("");
  root.children.push_back(UdfNode::File("readme.txt", "Read me first."));
  UdfNode split = UdfNode::File("split.bin", Noise(70001, 1));
  split.extents = 3;
  root.children.push_back(split);
  UdfNode inside = UdfNode::File("inside.txt", "kept in the entry");
  inside.embedded = true;
  root.children.push_back(inside);
  UdfNode wide = UdfNode::File("Größe.dat", Noise(5000, 2));
  wide.wideName = true;
  root.children.push_back(wide);
  root.children.push_back(
      UdfNode::Dir("docs", {UdfNode::File("a.bin", Noise(9000, 3)),
                            UdfNode::Dir("inner", {UdfNode::File("deep.txt", "deep"), UdfNode::Dir("empty")})}));
  return root;
}

// What an extraction of root must leave: relative path to bytes, folders
// with a trailing "/" (as testsupport::ReadTree gives them).
void Expected(const UdfNode& n, const std::string& prefix, std::map<std::string, std::string>& out) {
  for (const UdfNode& c : n.children) {
    if (c.directory) {
      out[prefix + c.name + "/"] = "";
      Expected(c, prefix + c.name + "/", out);
    } else {
      out[prefix + c.name] = std::string(c.data.begin(), c.data.end());
    }
  }
}

std::map<std::string, std::string> Expected(const UdfNode& root) {
  std::map<std::string, std::string> out;
  Expected(root, "", out);
  return out;
}

struct VolumeNode {
  std::string session, node;  // "Session 1", "DATA TRACK 1(UDF)"
};

// The first node below each session of `tree`'s output.
std::vector<VolumeNode> VolumeNodes(const std::string& treeOut) {
  std::vector<VolumeNode> nodes;
  std::istringstream in(treeOut);
  std::string session;
  for (std::string line; std::getline(in, line);) {
    const std::string text = line.substr(0, line.find('\t'));
    if (text.rfind("Session ", 0) == 0) {
      session = text;
    } else if (!session.empty() && text.rfind("  ", 0) == 0 && text.rfind("   ", 0) != 0) {
      nodes.push_back({session, text.substr(2)});
      session.clear();
    }
  }
  return nodes;
}

// Lists the volume's root (names and sizes as built; with `built`, each
// entry's Pos is the absolute block of its file entry) and extracts it whole.
void ExpectListsAndExtracts(const std::string& image, const VolumeNode& v, const UdfNode& root, const ScratchDir& dir,
                            const UdfImage* built = nullptr) {
  const std::string nodePath = v.session + "/" + v.node;
  auto ls = Tessal("ls " + Q(image) + " " + Q(nodePath), dir);
  ASSERT_EQ(ls.status, 0) << ls.err;
  std::map<std::string, std::string> listed, want;
  for (const auto& row : Lines(ls.out)) {
    listed[row[0]] = row[2] == "Folder" ? "Folder" : row[3];
    if (built && built->entrySector.count("/" + row[0])) {
      EXPECT_EQ(row[4], std::to_string(built->entrySector.at("/" + row[0]))) << row[0];
    }
  }
  listed.erase("Name");
  for (const UdfNode& c : root.children) want[c.name] = c.directory ? "Folder" : std::to_string(c.data.size());
  EXPECT_EQ(listed, want) << ls.out;

  const std::string out = dir.File("out-" + std::to_string(std::hash<std::string>{}(image + nodePath)));
  fs::remove_all(out);
  fs::create_directory(out);
  auto run = Tessal("extract " + Q(image) + " " + Q(nodePath) + " " + Q(out), dir);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const auto got = testsupport::ReadTree(out + "/" + v.node);
  const auto bytes = Expected(root);
  EXPECT_TRUE(got == bytes) << "got:\n" << testsupport::TreeSummary(got) << "want:\n" << testsupport::TreeSummary(bytes);
}

// A GNU ddrescue map beside the image that marks its unreadable sectors bad.
void WriteRescueMap(const UdfImage& img, const std::string& path) {
  std::ofstream map(path + ".map");
  map << "0 +\n";
  std::uint64_t at = 0;
  for (std::uint32_t s : img.unreadable) {
    const std::uint64_t bad = std::uint64_t(s) * 2048;
    if (bad > at) map << at << " " << bad - at << " +\n";
    map << bad << " 2048 -\n";
    at = bad + 2048;
  }
  if (img.bytes.size() > at) map << at << " " << img.bytes.size() - at << " +\n";
}

// Writes the image, finds its one UDF volume, lists and extracts it. Where
// the mirror stands in for the main metadata file, Pos is not checked.
void ExpectWholeVolume(const UdfImage& img, const UdfNode& root, const std::string& what, bool checkPos = true) {
  SCOPED_TRACE(what);
  ScratchDir dir;
  const std::string path = dir.File("udf.img");
  ASSERT_TRUE(img.WriteTo(path));
  if (!img.unreadable.empty()) WriteRescueMap(img, path);
  auto tree = Tessal("tree " + Q(path), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  const auto nodes = VolumeNodes(tree.out);
  ASSERT_EQ(nodes.size(), 1u) << tree.out;
  EXPECT_NE(nodes[0].node.find("(UDF)"), std::string::npos) << tree.out;
  ExpectListsAndExtracts(path, nodes[0], root, dir, checkPos ? &img : nullptr);
}



std::string Revision(std::uint16_t r) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%x.%02x", r >> 8, r & 0xFF);
  return buf;
}

}  // namespace

TEST(UdfEverywhereCli, EveryLogicalBlockSizeListsAndExtracts) {
  const UdfNode root = SampleTree();
  for (std::uint32_t bs : {512u, 1024u, 2048u, 4096u}) {
    for (auto kind : {testsupport::UdfPartitionKind::Plain, testsupport::UdfPartitionKind::Sparable}) {
      UdfBuildOptions o;
      o.blockSize = bs;
      o.partition = kind;
      o.extendedEntries = bs == 4096;
      ExpectWholeVolume(testsupport::BuildUdfImage(root, o),
                        root, std::to_string(bs) + " kind " + std::to_string(static_cast<int>(kind)));
    }
  }
}

TEST(UdfEverywhereCli, MetadataPartitionOf250And260ListsAndExtracts) {
  const UdfNode root = SampleTree();
  for (std::uint16_t rev : {0x0250, 0x0260}) {
    for (std::uint32_t bs : {512u, 2048u, 4096u}) {
      for (bool efe : {true, false}) {
        UdfBuildOptions o;
        o.revision = rev;
        o.blockSize = bs;
        o.extendedEntries = efe;
        ExpectWholeVolume(testsupport::BuildUdfImage(root, o), root,
                          Revision(rev) + " " + std::to_string(bs) + (efe ? " EFE" : " FE"));
      }
    }
  }
  // A sparable partition under the metadata partition (BD-RE).
  UdfBuildOptions o;
  o.revision = 0x0250;
  o.partition = testsupport::UdfPartitionKind::Sparable;
  o.sparedPackets = {32};
  // Packet 32 holds the main metadata file, read through the sparing table.
  ExpectWholeVolume(testsupport::BuildUdfImage(root, o), root, "2.50 sparable", false);
}

TEST(UdfEverywhereCli, DamagedMainMetadataFileFallsBackToTheMirror) {
  const UdfNode root = SampleTree();
  for (auto damage : {testsupport::UdfMetadataDamage::MainEntry, testsupport::UdfMetadataDamage::MainContent,
                      testsupport::UdfMetadataDamage::MainUnreadable}) {
    UdfBuildOptions o;
    o.revision = 0x0250;
    o.extendedEntries = true;
    o.metadataDamage = damage;
    const UdfImage img = testsupport::BuildUdfImage(root, o);
    ExpectWholeVolume(img, root, "damage " + std::to_string(static_cast<int>(damage)), false);
    // The volume's rows say that the mirror was used.
    ScratchDir dir;
    ASSERT_TRUE(img.WriteTo(dir.File("m.img")));
    if (!img.unreadable.empty()) WriteRescueMap(img, dir.File("m.img"));
    auto vol = Tessal("vol " + Q(dir.File("m.img")), dir);
    ASSERT_EQ(vol.status, 0) << vol.err;
    EXPECT_NE(Lower(vol.out).find("mirror"), std::string::npos) << vol.out;
  }
  // Undamaged, the rows do not speak of the mirror.
  UdfBuildOptions o;
  o.revision = 0x0250;
  ScratchDir dir;
  ASSERT_TRUE(testsupport::BuildUdfImage(root, o).WriteTo(dir.File("m.img")));
  auto vol = Tessal("vol " + Q(dir.File("m.img")), dir);
  EXPECT_EQ(Lower(vol.out).find("mirror"), std::string::npos) << vol.out;
}

TEST(UdfEverywhereCli, BdrLayoutWithAVatUnderTheMetadataPartition) {
  const UdfNode root = SampleTree();
  for (std::uint16_t rev : {0x0250, 0x0260}) {
    for (bool damaged : {false, true}) {
      UdfBuildOptions o;
      o.revision = rev;
      o.partition = testsupport::UdfPartitionKind::Virtual;
      o.extendedEntries = true;
      o.vatLinkBlocks = 0;  // a closed image ends with its table
      if (damaged) o.metadataDamage = testsupport::UdfMetadataDamage::MainEntry;
      ExpectWholeVolume(testsupport::BuildUdfImage(root, o), root, Revision(rev) + (damaged ? " mirror" : ""), !damaged);
    }
  }
}

TEST(UdfEverywhereCli, AppendedVolumesAreShownSessionBySession) {
  const UdfNode first = SampleTree();
  UdfNode second = UdfNode::Dir("", {UdfNode::File("second.txt", "the later session"),
                                     UdfNode::Dir("more", {UdfNode::File("n.bin", Noise(3000, 9))})});
  struct Case {
    const char* what;
    UdfBuildOptions a, b;
    std::uint32_t gap;
  };
  std::vector<Case> cases(3);
  cases[0].what = "plain then plain";
  cases[1].what = "VAT then VAT";
  for (auto* o : {&cases[1].a, &cases[1].b}) {
    o->partition = testsupport::UdfPartitionKind::Virtual;
    o->vatLinkBlocks = 0;
  }
  cases[2].what = "2.50 then 2.60, behind a first session's gap";
  cases[2].a.revision = 0x0250;
  cases[2].b.revision = 0x0260;
  cases[2].gap = 6750 + 4500 + 150;  // lead-out, lead-in, pregap
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const UdfImage a = testsupport::BuildUdfImage(first, c.a);
    const UdfImage both = testsupport::AppendUdfSession(a, second, c.b, c.gap);
    ScratchDir dir;
    const std::string path = dir.File("two.img");
    ASSERT_TRUE(both.WriteTo(path));
    auto tree = Tessal("tree " + Q(path), dir);
    ASSERT_EQ(tree.status, 0) << tree.err;
    const auto nodes = VolumeNodes(tree.out);
    ASSERT_EQ(nodes.size(), 2u) << tree.out;
    ExpectListsAndExtracts(path, nodes[0], first, dir, &a);
    ExpectListsAndExtracts(path, nodes[1], second, dir, &both);
  }
}

TEST(UdfEverywhereCli, ACorruptFidShowsWhatCameBeforeItAndFailsTheCopy) {
  UdfNode docs = UdfNode::Dir("docs", {UdfNode::File("one.txt", "first"), UdfNode::File("two.txt", "second"),
                                       UdfNode::File("three.txt", "third"), UdfNode::File("four.txt", "fourth")});
  docs.damagedFid = 2;  // three.txt
  UdfNode root = UdfNode::Dir("", {UdfNode::File("top.txt", "top"), docs});
  for (std::uint32_t bs : {2048u, 512u}) {
    SCOPED_TRACE(bs);
    UdfBuildOptions o;
    o.blockSize = bs;
    ScratchDir dir;
    const std::string path = dir.File("fid.img");
    ASSERT_TRUE(testsupport::BuildUdfImage(root, o).WriteTo(path));

    // The listing holds what was read before the corrupt identifier.
    auto ls = Tessal("ls " + Q(path) + " /docs", dir);
    std::vector<std::string> names;
    for (const auto& row : Lines(ls.out)) names.push_back(row[0]);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "one.txt", "two.txt"})) << ls.out << ls.err;

    // A copy of the folder is short: it names the folder as damaged and fails.
    fs::create_directory(dir.File("out"));
    auto run = Tessal("extract " + Q(path) + " /docs " + Q(dir.File("out")), dir);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("docs"), std::string::npos) << run.out << run.err;
    EXPECT_NE(Lower(run.out + run.err).find("damaged"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(testsupport::ReadWholeFile(dir.File("out/docs/one.txt")), "first");
    EXPECT_EQ(testsupport::ReadWholeFile(dir.File("out/docs/two.txt")), "second");

    // The whole volume too: the other files come out, the status is still 1.
    fs::remove_all(dir.File("out"));
    fs::create_directory(dir.File("out"));
    run = Tessal("extract " + Q(path) + " / " + Q(dir.File("out")), dir);
    EXPECT_EQ(run.status, 1) << run.out << run.err;

    // find lists the same entries, each with its kind, time and first block,
    // and fails naming the folder.
    run = Tessal("find " + Q(path), dir);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("/docs: "), std::string::npos) << run.err;
    const auto rows = Lines(run.out, 7);
    std::vector<std::string> found;
    for (const auto& row : rows) {
      if (row.size() < 7 || row[0] == "path") continue;
      found.push_back(row[0] + " " + row[1]);
      if (row[1] == "file") {
        EXPECT_FALSE(row[4].empty()) << row[0] << ": a time";
        EXPECT_FALSE(row[6].empty()) << row[0] << ": a first block";
      }
    }
    EXPECT_EQ(found, (std::vector<std::string>{"/docs dir", "/docs/one.txt file", "/docs/two.txt file",
                                               "/top.txt file"}))
        << run.out;
  }
}

TEST(UdfEverywhereCli, VolumeRowsNameRevisionBlockSizeMapsAndAnchors) {
  const UdfNode root = SampleTree();
  struct Case {
    std::uint16_t rev;
    std::uint32_t bs;
    testsupport::UdfPartitionKind kind;
  };
  using K = testsupport::UdfPartitionKind;
  for (const Case& c : {Case{0x0150, 2048, K::Virtual}, Case{0x0201, 512, K::Plain}, Case{0x0201, 4096, K::Sparable},
                        Case{0x0250, 2048, K::Plain}, Case{0x0260, 2048, K::Virtual}, Case{0x0250, 1024, K::Sparable}}) {
    UdfBuildOptions o;
    o.revision = c.rev;
    o.blockSize = c.bs;
    o.partition = c.kind;
    o.vatLinkBlocks = 0;
    const UdfImage img = testsupport::BuildUdfImage(root, o);
    SCOPED_TRACE(Revision(c.rev) + " " + std::to_string(c.bs));
    ScratchDir dir;
    ASSERT_TRUE(img.WriteTo(dir.File("v.img")));
    auto vol = Tessal("vol " + Q(dir.File("v.img")), dir);
    ASSERT_EQ(vol.status, 0) << vol.err;
    EXPECT_EQ(VolRow(vol.out, "UDF Revision"), Revision(c.rev)) << vol.out;
    EXPECT_EQ(VolRow(vol.out, "Block Size"), std::to_string(c.bs)) << vol.out;
    EXPECT_EQ(Lower(VolRow(vol.out, "Partition Maps")), Joined(img.partitionMaps)) << vol.out;
    EXPECT_EQ(VolRow(vol.out, "Anchors"), Joined(img.anchors)) << vol.out;
  }
}
