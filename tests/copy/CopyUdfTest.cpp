// UDF file and folder copies from volumes the test support builds: every
// partition kind, embedded, multi-extent and sparse files, the browsed
// volume, unreadable sectors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "tests/support/CdImages.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/UdfBuilder.h"
#include "tests/support/UdfTestTransport.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Filled(std::size_t n, std::uint8_t salt) {
  std::vector<std::uint8_t> b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 13 + salt) ^ (i >> 9));
  return b;
}
std::string Str(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

UdfNode Sample() {
  UdfNode split = UdfNode::File("split.bin", Filled(7 * 2048 + 5, 3));
  split.extents = 3;
  UdfNode inl = UdfNode::File("inline.txt", "kept in the entry");
  inl.embedded = true;
  UdfNode wide = UdfNode::File("Größe.txt", Filled(300, 4));
  wide.wideName = true;
  return UdfNode::Dir("", {UdfNode::File("small.txt", Filled(100, 1)), UdfNode::File("empty", ""),
                           UdfNode::File("v;1", Filled(2048, 2)), split, inl, wide,
                           UdfNode::Dir("sub", {UdfNode::Dir("deeper", {UdfNode::File("leaf", Filled(5000, 5))}),
                                                UdfNode::Dir("nothing")})});
}

std::map<std::string, std::string> SampleTree() {
  return {{"small.txt", Str(Filled(100, 1))},
          {"empty", ""},
          {"v", Str(Filled(2048, 2))},
          {"split.bin", Str(Filled(7 * 2048 + 5, 3))},
          {"inline.txt", "kept in the entry"},
          {"Größe.txt", Str(Filled(300, 4))},
          {"sub/", ""},
          {"sub/deeper/", ""},
          {"sub/deeper/leaf", Str(Filled(5000, 5))},
          {"sub/nothing/", ""}};
}

std::unique_ptr<CDevCmdROM> Device(const UdfImage& img) {
  return std::make_unique<CDevCmdROM>(1, std::make_unique<UdfTestTransport>(img));
}

}  // namespace

TEST(CopyUdf, TreesOfEveryPartitionKindAreCopiedWhole) {
  struct Case {
    const char* what;
    UdfBuildOptions o;
  };
  std::vector<Case> cases(5);
  cases[0].what = "plain 2.01";
  cases[1].what = "plain 1.50 long ads";
  cases[1].o.revision = 0x0150;
  cases[1].o.ad = UdfAdKind::Long;
  cases[2].what = "virtual";
  cases[2].o.partition = UdfPartitionKind::Virtual;
  cases[3].what = "sparable with a spared packet, extended entries";
  cases[3].o.partition = UdfPartitionKind::Sparable;
  cases[3].o.extendedEntries = true;
  cases[3].o.sparedPackets = {0, 32};
  cases[4].what = "in a later session";
  cases[4].o.volumeStart = 400;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    UdfImage img = BuildUdfImage(Sample(), c.o);
    auto dev = Device(img);
    CGetCDData e;
    e.SetDevice(dev.get());
    const std::string out = dir.File("out");
    ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/"), out, 2, false, c.o.volumeStart));
    e.Wait();
    CopyResult r = e.GetResult();
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_EQ(r.unreadable, 0u);
    const auto got = ReadTree(out);
    EXPECT_TRUE(got == SampleTree()) << TreeSummary(got);
    EXPECT_EQ(r.files, 7u);

    // One file alone: its size is the entry's.
    ASSERT_TRUE(e.StartFileCopy(1, img.entrySector.at("/split.bin"), 1, dir.File("one"), 3, false, c.o.volumeStart));
    e.Wait();
    EXPECT_EQ(ReadWholeFile(dir.File("one")), Str(Filled(7 * 2048 + 5, 3)));
  }
}

TEST(CopyUdf, TheVolumeOfTheBrowsedTrackIsReadNotTheOneAtSectorZero) {
  ScratchDir dir;
  UdfBuildOptions o;
  o.volumeStart = 400;
  UdfImage img = BuildUdfImage(Sample(), o);
  auto dev = Device(img);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/sub"), dir.File("sub"), 2, false, 400));
  e.Wait();
  EXPECT_TRUE(e.GetResult().finished);
  EXPECT_EQ(ReadWholeFile(dir.File("sub/deeper/leaf")), Str(Filled(5000, 5)));
  // Nothing is at sector 0: told, not an empty success.
  ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/sub"), dir.File("sub0"), 2, false, 0));
  e.Wait();
  EXPECT_TRUE(e.GetResult().failed);
  EXPECT_NE(e.GetResult().error.find("UDF volume"), std::string::npos) << e.GetResult().error;
}

TEST(CopyUdf, AFileOverFourGibibytesIsCopiedToItsSizeWithItsUnrecordedPartAsZeros) {
  ScratchDir dir;
  constexpr std::uint64_t kSize = 5ull << 30;
  UdfNode big = UdfNode::File("big.bin", Filled(3 * 2048 + 1000, 6));
  big.size = kSize;
  UdfImage img = BuildUdfImage(UdfNode::Dir("", {big}));
  auto dev = Device(img);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/"), dir.File("out"), 2, false));
  e.Wait();
  ASSERT_TRUE(e.GetResult().finished) << e.GetResult().error;
  const std::string path = dir.File("out/big.bin");
  ASSERT_EQ(fs::file_size(path), kSize);
  EXPECT_EQ(e.GetResult().bytes, kSize);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  std::vector<std::uint8_t> head(4 * 2048);
  ASSERT_EQ(::pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  std::vector<std::uint8_t> want = Filled(3 * 2048 + 1000, 6);
  want.resize(head.size(), 0);
  EXPECT_TRUE(head == want);
  for (std::uint64_t at : {std::uint64_t(1) << 32, kSize - 4096}) {
    std::vector<std::uint8_t> tail(4096, 0xAA);
    ASSERT_EQ(::pread(fd, tail.data(), tail.size(), static_cast<off_t>(at)), 4096);
    EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; })) << at;
  }
  ::close(fd);
}

TEST(CopyUdf, UnreadableSectorsOfAFileAreZerosAndReported) {
  ScratchDir dir;
  UdfImage img = BuildUdfImage(UdfNode::Dir("", {UdfNode::File("a.bin", Filled(40 * 2048, 7)),
                                                 UdfNode::File("b.bin", Filled(3000, 8))}));
  const std::uint32_t first = img.dataSector.at("/a.bin");
  img.unreadable = {first + 17, first + 18, first + 30};
  auto dev = Device(img);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/"), dir.File("out"), 2, false));
  e.Wait();
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.finished) << r.error;
  std::vector<std::uint8_t> want = Filled(40 * 2048, 7);
  for (std::uint32_t k : {17u, 18u, 30u}) std::memset(want.data() + k * 2048, 0, 2048);
  EXPECT_TRUE(ReadWholeFile(dir.File("out/a.bin")) == Str(want));
  EXPECT_EQ(ReadWholeFile(dir.File("out/b.bin")), Str(Filled(3000, 8)));
  EXPECT_EQ(r.unreadable, 3u);
  ASSERT_EQ(r.damaged.size(), 1u);
  EXPECT_EQ(r.damaged[0].path, dir.File("out/a.bin"));
}

TEST(CopyUdf, ADirectoryLoopEndsAndNamesCannotLeaveTheTarget) {
  ScratchDir dir;
  UdfNode back = UdfNode::Dir("back");
  back.linkToRoot = true;
  UdfImage img = BuildUdfImage(UdfNode::Dir("", {UdfNode::Dir("a", {back}), UdfNode::File("..", "dots"),
                                                 UdfNode::File("x\\y", "slash")}));
  auto dev = Device(img);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/"), dir.File("out"), 2, false));
  e.Wait();
  EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
  const auto tree = ReadTree(dir.File("out"));
  EXPECT_EQ(tree.at("_.."), "dots");
  EXPECT_EQ(tree.at("x_y"), "slash");
  // The loop is copied once round, then stops where it came back.
  EXPECT_LT(tree.size(), 40u);
  EXPECT_EQ(ReadTree(dir.Path()).size(), tree.size() + 1);
}

namespace {

// The whole volume copied from its root into `out`.
CopyResult CopyRoot(const UdfImage& img, const std::string& out) {
  auto dev = Device(img);
  CGetCDData e;
  e.SetDevice(dev.get());
  EXPECT_TRUE(e.StartFolderCopy(1, img.entrySector.at("/"), out, 2, false));
  e.Wait();
  return e.GetResult();
}

}  // namespace

TEST(CopyUdf, AFolderCutShortAndAnEntryWithBrokenDescriptorsAreNamedDamaged) {
  ScratchDir dir;
  UdfImage img = BuildUdfImage(UdfNode::Dir("", {UdfNode::File("a.bin", Filled(3000, 1)),
                                                 UdfNode::File("b.bin", Filled(3000, 2)),
                                                 UdfNode::File("c.bin", Filled(10, 3))}));
  // b.bin's entry names an unknown descriptor type; c.bin's identifier loses its tag.
  const std::uint32_t b = img.entrySector.at("/b.bin");
  img.Sector(b)[34] = (img.Sector(b)[34] & ~7) | 6;
  img.Retag(b);
  img.Sector(img.dataSector.at("/"))[40 + 44 + 44] = 0x55;
  const CopyResult r = CopyRoot(img, dir.File("out"));
  EXPECT_TRUE(r.finished) << r.error;
  EXPECT_EQ(ReadWholeFile(dir.File("out/a.bin")), Str(Filled(3000, 1)));
  EXPECT_FALSE(fs::exists(dir.File("out/c.bin")));
  ASSERT_EQ(r.damaged.size(), 2u);
  EXPECT_EQ(r.damaged[0].path, dir.File("out"));
  EXPECT_NE(r.damaged[0].reason.find("damage"), std::string::npos) << r.damaged[0].reason;
  EXPECT_EQ(r.damaged[1].path, dir.File("out/b.bin"));
  EXPECT_NE(r.damaged[1].reason.find("descriptor type"), std::string::npos) << r.damaged[1].reason;
  EXPECT_GE(r.unreadable, 2u);
  EXPECT_NE(CopyReportText(r).find("descriptor type"), std::string::npos);
}

TEST(CopyUdf, EveryBlockSizeAndTheMetadataPartitionCopyWhole) {
  struct Case {
    const char* what;
    std::uint32_t blockSize;
    std::uint16_t revision;
    UdfPartitionKind partition;
  };
  for (const Case& c : {Case{"512", 512, 0x0201, UdfPartitionKind::Plain},
                        Case{"1024 sparable", 1024, 0x0201, UdfPartitionKind::Sparable},
                        Case{"4096", 4096, 0x0201, UdfPartitionKind::Plain},
                        Case{"2.60 metadata at 512", 512, 0x0260, UdfPartitionKind::Plain},
                        Case{"BD-R: VAT under metadata", 2048, 0x0250, UdfPartitionKind::Virtual}}) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    UdfBuildOptions o;
    o.blockSize = c.blockSize;
    o.revision = c.revision;
    o.partition = c.partition;
    const CopyResult r = CopyRoot(BuildUdfImage(Sample(), o), dir.File("out"));
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_EQ(r.unreadable, 0u) << CopyReportText(r);
    const auto got = ReadTree(dir.File("out"));
    EXPECT_TRUE(got == SampleTree()) << TreeSummary(got);
  }
}

// Files of an image file are written side by side while the walk goes on.
// What they make must be what a copy one file at a time makes (the test
// transport, which has no file to copy from, is copied so): every file
// whole, those the job's thread keeps (embedded, sparse) among the others,
// the later of two entries of one name kept, and every item with its
// recorded bits and time, which for a folder only holds if they were set
// after its last file was written. With 512-byte blocks in a metadata
// partition a file's data starts inside a sector and its entry is mapped.
TEST(CopyUdf, FilesWrittenSideBySideMakeWhatOneAtATimeMakes) {
  std::vector<UdfNode> folders;
  for (int d = 0; d < 8; ++d) {
    UdfNode folder = UdfNode::Dir("d" + std::to_string(d), {UdfNode::Dir("deeper", {UdfNode::File("leaf", Filled(5000, 1))})});
    for (int i = 0; i < 30; ++i)
      folder.children.push_back(UdfNode::File("f" + std::to_string(i), Filled(std::size_t(d * 30 + i) * 997 % 30000, 7)));
    UdfNode split = UdfNode::File("split", Filled(9 * 2048 + 7, 9));
    split.extents = 3;
    UdfNode inl = UdfNode::File("inline", "in the entry");
    inl.embedded = true;
    UdfNode sparse = UdfNode::File("sparse", Filled(3000, 5));
    sparse.size = 20000;
    folder.children.insert(folder.children.end(), {split, inl, sparse});
    folder.time.year = 2001 + d;
    folders.push_back(folder);
  }
  folders[3].children.push_back(UdfNode::File("same", Filled(3000, 1)));
  folders[3].children.push_back(UdfNode::File("same", Filled(5000, 2)));
  const UdfNode root = UdfNode::Dir("", folders);

  auto copy = [](CDevCmdROM& dev, std::uint32_t rootEntry, const std::string& out) {
    CGetCDData e;
    e.SetDevice(&dev);
    EXPECT_TRUE(e.StartFolderCopy(1, rootEntry, out, 2, false));
    e.Wait();
    EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
    EXPECT_EQ(e.GetResult().files, 8u * 34 + 2);
    std::map<std::string, std::string> marks;  // every item's time and bits
    for (const auto& item : fs::recursive_directory_iterator(out))
      marks[fs::relative(item.path(), out).string()] =
          std::to_string(item.last_write_time().time_since_epoch().count()) + " " +
          std::to_string(static_cast<int>(item.status().permissions()));
    marks["."] = std::to_string(fs::last_write_time(out).time_since_epoch().count());
    return std::make_pair(ReadTree(out), marks);
  };
  UdfBuildOptions metadata;
  metadata.blockSize = 512;
  metadata.revision = 0x0260;
  for (const UdfBuildOptions& o : {UdfBuildOptions{}, metadata}) {
    SCOPED_TRACE(o.blockSize);
    ScratchDir dir;
    const UdfImage img = BuildUdfImage(root, o);
    auto memory = Device(img);
    const auto want = copy(*memory, img.entrySector.at("/"), dir.File("one"));
    EXPECT_EQ(want.first.at("d3/same"), Str(Filled(5000, 2)));
    EXPECT_LT(fs::last_write_time(dir.File("one/d3")), fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));

    ASSERT_TRUE(img.WriteTo(dir.File("disc.iso")));
    CDevCmdROM dev(0, nullptr);
    ASSERT_TRUE(dev.SetImageFile(dir.File("disc.iso")));
    const auto got = copy(dev, img.entrySector.at("/"), dir.File("side"));
    EXPECT_TRUE(got.first == want.first) << TreeSummary(got.first);
    EXPECT_TRUE(got.second == want.second);
  }
}
