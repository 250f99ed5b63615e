// Directories, names, file entries and extents on built volumes, including
// hostile entries that must end a walk without reading outside anything.
#include <gtest/gtest.h>

#include <cstring>

#include "disc/ByteOrder.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
using udftest::MakeDrive;
using udftest::SampleTree;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 11));
  return v;
}

struct Volume {
  UdfImage img;
  udftest::TestDrive drive;
  CAnaly_UDF udf;
  explicit Volume(const UdfNode& root, const UdfBuildOptions& o = {}) : img(BuildUdfImage(root, o)), drive(MakeDrive(img)) {
    EXPECT_TRUE(udf.Analyse(drive.device.get(), nullptr, o.volumeStart));
  }
  std::uint32_t Entry(const std::string& path) const { return img.entrySector.at(path); }
};

std::vector<std::string> Names(const std::vector<UdfDirEntry>& entries) {
  std::vector<std::string> n;
  for (const auto& e : entries) n.push_back(e.name);
  return n;
}

UdfNode ManyFiles(int count, std::size_t nameLength) {
  UdfNode dir = UdfNode::Dir("many");
  for (int i = 0; i < count; ++i) {
    std::string name = "f" + std::to_string(i) + "_";
    name.resize(nameLength, 'x');
    dir.children.push_back(UdfNode::File(name, std::to_string(i)));
  }
  return dir;
}

}  // namespace

TEST(UdfDirectory, EntriesResolveToTheirFileEntries) {
  for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual, UdfPartitionKind::Sparable}) {
    UdfBuildOptions o;
    o.partition = kind;
    Volume v(SampleTree(), o);
    std::vector<UdfDirEntry> e;
    ASSERT_EQ(v.udf.ReadDirectory(v.Entry("/"), e), 0);
    ASSERT_EQ(Names(e), (std::vector<std::string>{"readme.txt", "docs"}));
    EXPECT_FALSE(e[0].isDirectory);
    EXPECT_TRUE(e[1].isDirectory);
    EXPECT_EQ(e[0].feSector, v.Entry("/readme.txt"));
    EXPECT_EQ(e[1].feSector, v.Entry("/docs"));
    EXPECT_EQ(e[1].block + v.udf.m_nPartStart, e[1].feSector);
  }
}

TEST(UdfDirectory, LargeDirectoriesAreReadWhole) {
  // Over three sectors of FIDs: in one extent, in three extents, and with the
  // descriptors continued in an allocation extent descriptor, FE and EFE.
  for (int extents : {1, 3}) {
    for (bool aed : {false, true}) {
      for (bool efe : {false, true}) {
        UdfNode root = UdfNode::Dir("");
        UdfNode many = ManyFiles(120, 40);
        many.extents = extents;
        many.aed = aed;
        root.children.push_back(many);
        UdfBuildOptions o;
        o.extendedEntries = efe;
        o.ad = aed ? UdfAdKind::Long : UdfAdKind::Short;
        Volume v(root, o);
        if (aed) {
          ASSERT_TRUE(v.img.aedSector.count("/many"));
        }
        std::vector<UdfDirEntry> e;
        ASSERT_EQ(v.udf.ReadDirectory(v.Entry("/many"), e), 0);
        ASSERT_EQ(e.size(), 120u) << extents << aed << efe;
        EXPECT_EQ(e[119].name.substr(0, 5), "f119_");
        EXPECT_EQ(e[119].feSector, v.Entry("/many/" + e[119].name));
      }
    }
  }
}

TEST(UdfDirectory, EmbeddedDirectoryAndFile) {
  UdfNode root = SampleTree();
  root.embedded = true;
  UdfNode small = UdfNode::File("tiny", "embedded bytes");
  small.embedded = true;
  root.children.push_back(small);
  for (bool efe : {false, true}) {
    UdfBuildOptions o;
    o.extendedEntries = efe;
    Volume v(root, o);
    EXPECT_FALSE(v.img.dataSector.count("/"));
    std::vector<UdfDirEntry> e;
    ASSERT_EQ(v.udf.ReadDirectory(v.Entry("/"), e), 0);
    EXPECT_EQ(e.size(), 3u);
    std::uint32_t pos = 1, len = 1;
    ASSERT_EQ(v.udf.GetFileExtent(v.Entry("/tiny"), pos, len), 0);
    EXPECT_EQ(pos, v.Entry("/tiny"));
    EXPECT_EQ(len, 14u);
    UdfFileData f;
    ASSERT_EQ(v.udf.GetFileExtents(v.Entry("/tiny"), f), 0);
    EXPECT_TRUE(f.embedded);
    EXPECT_EQ(f.extended, efe);
    EXPECT_EQ(std::string(f.inlineData.begin(), f.inlineData.end()), "embedded bytes");
  }
}

TEST(UdfNames, EightAndSixteenBitNamesBecomeUtf8) {
  UdfNode root = UdfNode::Dir("");
  UdfNode wide = UdfNode::File("ABC", "x");
  wide.wideName = true;
  root.children.push_back(wide);
  root.children.push_back(UdfNode::File("caf\xC3\xA9", "y"));          // Latin-1 on the disc
  root.children.push_back(UdfNode::File("\xE6\x97\xA5\xE6\x9C\xAC", "z"));  // 16-bit
  root.children.push_back(UdfNode::File("clef \xF0\x9D\x84\x9E", "w"));      // a surrogate pair
  UdfNode iu = UdfNode::File("with-impl-use", "v");
  iu.fidImplUse = 32;
  root.children.push_back(iu);
  Volume v(root);
  std::vector<UdfDirEntry> e;
  ASSERT_EQ(v.udf.ReadDirectory(v.Entry("/"), e), 0);
  EXPECT_EQ(Names(e), (std::vector<std::string>{"ABC", "caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC",
                                                "clef \xF0\x9D\x84\x9E", "with-impl-use"}));
  EXPECT_EQ(e[4].feSector, v.Entry("/with-impl-use"));
}

TEST(UdfNames, DecodeNameNeverCutsACharacter) {
  CAnaly_UDF a;
  const unsigned char abc16[] = {0, 'A', 0, 'B', 0, 'C'};
  char out[256] = {};
  a.DecodeName(16, out, 256, abc16, 6);
  EXPECT_STREQ(out, "ABC");
  const unsigned char abc8[] = {'A', 'B', 'C'};
  std::memset(out, 0, sizeof out);
  a.DecodeName(8, out, 256, abc8, 3);
  EXPECT_STREQ(out, "ABC");
  // Two 2-byte characters in a 4-byte buffer: only the first fits with its NUL.
  const unsigned char ee[] = {0x00, 0xE9, 0x00, 0xE9};
  char small[4] = {'?', '?', '?', '?'};
  a.DecodeName(16, small, 4, ee, 4);
  EXPECT_STREQ(small, "\xC3\xA9");
  // A long 16-bit name fills the buffer with whole characters only.
  std::vector<unsigned char> longName;
  for (int i = 0; i < 127; ++i) longName.insert(longName.end(), {0x65, 0xE5});  // a 3-byte character
  std::memset(out, 0, sizeof out);
  a.DecodeName(16, out, 256, longName.data(), static_cast<int>(longName.size()));
  EXPECT_EQ(std::strlen(out), 255u);  // 85 characters
  // An unknown compression id leaves the buffer as it was.
  std::strcpy(out, "unchanged");
  a.DecodeName(254, out, 256, abc8, 3);
  EXPECT_STREQ(out, "unchanged");
}

TEST(UdfFileInfo, TimeAndSizeOfFileAndExtendedEntries) {
  UdfNode root = UdfNode::Dir("");
  UdfNode f = UdfNode::File("big.iso", std::vector<std::uint8_t>(3000, 1));
  f.size = 5000000000ull;  // the rest unrecorded
  f.time = UdfTime{2009, 1, 2, 3, 4, 5};
  root.children.push_back(f);
  for (bool efe : {false, true}) {
    UdfBuildOptions o;
    o.extendedEntries = efe;
    Volume v(root, o);
    std::string time, size;
    v.udf.GetFileInfo(v.Entry("/big.iso"), time, size);
    EXPECT_EQ(time, "2009-1-2 3:4:5");
    EXPECT_EQ(size, "5000000000");
    std::uint64_t n = 0;
    ASSERT_TRUE(v.udf.GetFileSize(v.Entry("/big.iso"), n));
    EXPECT_EQ(n, 5000000000ull);
    // An entry of a type that is not listed: both texts stay as they were.
    UdfImage img = v.img;
    img.Sector(v.Entry("/big.iso"))[27] = 2;
    auto d = MakeDrive(img);
    CAnaly_UDF other;
    ASSERT_TRUE(other.Analyse(d.device.get(), nullptr, 0));
    time = "t";
    size = "s";
    other.GetFileInfo(v.Entry("/big.iso"), time, size);
    EXPECT_EQ(time, "t");
    EXPECT_EQ(size, "s");
  }
}

TEST(UdfExtents, EveryExtentAcrossDescriptorsAndSparseTails) {
  UdfNode root = UdfNode::Dir("");
  UdfNode split = UdfNode::File("split.bin", Pattern(9 * 2048 + 100, 3));
  split.extents = 4;
  split.aed = true;
  root.children.push_back(split);
  UdfNode sparse = UdfNode::File("sparse.bin", Pattern(5000, 9));
  sparse.size = 3ull << 30;
  root.children.push_back(sparse);
  for (auto ad : {UdfAdKind::Short, UdfAdKind::Long}) {
    for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual}) {
      UdfBuildOptions o;
      o.ad = ad;
      o.partition = kind;
      Volume v(root, o);
      UdfFileData f;
      ASSERT_EQ(v.udf.GetFileExtents(v.Entry("/split.bin"), f), 0);
      EXPECT_EQ(f.size, 9u * 2048 + 100);
      EXPECT_GE(f.extents.size(), 4u);
      EXPECT_EQ(udftest::ReadThroughExtents(*v.drive.device, f), split.data);
      // The spec'd single extent: the first one, where it really lies.
      std::uint32_t pos = 0, len = 0;
      ASSERT_EQ(v.udf.GetFileExtent(v.Entry("/split.bin"), pos, len), 0);
      EXPECT_EQ(v.udf.m_nPartStart + pos, v.img.dataSector.at("/split.bin"));
      EXPECT_EQ(len, 3u * 2048);

      ASSERT_EQ(v.udf.GetFileExtents(v.Entry("/sparse.bin"), f), 0);
      EXPECT_EQ(f.size, 3ull << 30);
      ASSERT_GE(f.extents.size(), 2u);
      EXPECT_TRUE(f.extents[0].recorded);
      EXPECT_FALSE(f.extents.back().recorded);
      std::uint64_t covered = f.extents.back().fileOffset + f.extents.back().length;
      EXPECT_EQ(covered, 3ull << 30);
    }
  }
}

TEST(UdfSparing, RemappedPacketsAreReadWhereTheyWent) {
  UdfNode root = UdfNode::Dir("");
  root.children.push_back(UdfNode::File("data.bin", Pattern(40 * 2048, 5)));
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Sparable;
  o.sparedPackets = {0};  // the file set, the root and the first part of the data
  Volume v(root, o);
  ASSERT_EQ(v.udf.m_nPartMapKind, 2);
  std::vector<UdfDirEntry> e;
  ASSERT_EQ(v.udf.ReadDirectory(v.Entry("/"), e), 0);
  ASSERT_EQ(Names(e), std::vector<std::string>{"data.bin"});
  UdfFileData f;
  ASSERT_EQ(v.udf.GetFileExtents(e[0].feSector, f), 0);
  EXPECT_GT(f.extents.size(), 1u);  // broken where the spared packets are
  EXPECT_EQ(udftest::ReadThroughExtents(*v.drive.device, f), root.children[0].data);
  std::string time, size;
  v.udf.GetFileInfo(e[0].feSector, time, size);
  EXPECT_EQ(size, std::to_string(40 * 2048));
}

TEST(UdfHostile, EntryLengthsPastTheSector) {
  Volume v(SampleTree());
  std::uint32_t root = v.Entry("/");
  for (int field : {168, 172}) {
    UdfImage img = v.img;
    PutLE32(img.Sector(root) + field, 0xFFFFFFF0);
    auto d = MakeDrive(img);
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    std::vector<UdfDirEntry> e;
    EXPECT_EQ(a.ReadDirectory(root, e), 1);
    EXPECT_TRUE(e.empty());
    std::uint32_t pos = 0, len = 0;
    EXPECT_EQ(a.GetFileExtent(root, pos, len), 0);
    EXPECT_LE(len, 2048u);
  }
  // An embedded entry whose L_AD runs past the sector is read only to its end.
  UdfNode tree = SampleTree();
  tree.embedded = true;
  Volume w(tree);
  PutLE32(w.img.Sector(w.Entry("/")) + 172, 5000);
  auto d = MakeDrive(w.img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  std::uint32_t pos = 0, len = 0;
  ASSERT_EQ(a.GetFileExtent(w.Entry("/"), pos, len), 0);
  EXPECT_EQ(len, 2048u - 176u);
}

TEST(UdfHostile, IdentifierLengthsPastTheData) {
  Volume v(SampleTree());
  UdfImage img = v.img;
  std::uint8_t* dir = img.Sector(img.dataSector.at("/"));
  // The second FID (after the 40-byte parent entry) claims a huge L_IU.
  PutLE16(dir + 40 + 36, 0xFFFF);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  std::vector<UdfDirEntry> e;
  EXPECT_EQ(a.ReadDirectory(v.Entry("/"), e), 1);  // damage, not the listing's end
  EXPECT_TRUE(e.empty());
  // L_FI past the directory's end on the last entry: the ones before stay.
  img = v.img;
  dir = img.Sector(img.dataSector.at("/"));
  std::uint32_t last = 40 + ((38 + 11 + 3) & ~3u);  // parent, "readme.txt"
  dir[last + 19] = 250;
  PutLE64(img.Sector(v.Entry("/")) + 56, last + 60);
  auto d2 = MakeDrive(img);
  CAnaly_UDF b;
  ASSERT_TRUE(b.Analyse(d2.device.get(), nullptr, 0));
  EXPECT_EQ(b.ReadDirectory(v.Entry("/"), e), 1);
  EXPECT_EQ(Names(e), std::vector<std::string>{"readme.txt"});
}

TEST(UdfHostile, ExtentsAndChainsThatLeadNowhere) {
  UdfNode root = UdfNode::Dir("");
  UdfNode many = ManyFiles(60, 40);
  many.aed = true;
  many.extents = 2;
  root.children.push_back(many);
  Volume v(root);
  std::uint32_t fe = v.Entry("/many");
  std::vector<UdfDirEntry> e;

  // An allocation extent descriptor that continues into itself.
  UdfImage img = v.img;
  std::uint32_t aed = img.aedSector.at("/many");
  std::uint8_t* a = img.Sector(aed);
  std::uint32_t lAd = GetLE32(a + 20);
  PutLE32(a + 24 + lAd, (3u << 30) | 2048);
  PutLE32(a + 28 + lAd, aed - img.partitionStart);
  PutLE32(a + 20, lAd + 8);
  auto d = MakeDrive(img);
  CAnaly_UDF x;
  ASSERT_TRUE(x.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(x.ReadDirectory(fe, e), 1);
  EXPECT_LT(d.drive->sectorReads, 100u);

  // A data extent past the partition's end.
  img = v.img;
  PutLE32(img.Sector(fe) + 176 + 4, img.partitionLength - 1);
  auto d2 = MakeDrive(img);
  CAnaly_UDF y;
  ASSERT_TRUE(y.Analyse(d2.device.get(), nullptr, 0));
  EXPECT_EQ(y.ReadDirectory(fe, e), 1);

  // A directory claiming a terabyte.
  img = v.img;
  PutLE64(img.Sector(fe) + 56, 1ull << 40);
  auto d3 = MakeDrive(img);
  CAnaly_UDF z;
  ASSERT_TRUE(z.Analyse(d3.device.get(), nullptr, 0));
  EXPECT_EQ(z.ReadDirectory(fe, e), 1);

  // An unknown descriptor type gives an empty directory.
  img = v.img;
  img.Sector(fe)[34] = 5;
  auto d4 = MakeDrive(img);
  CAnaly_UDF w;
  ASSERT_TRUE(w.Analyse(d4.device.get(), nullptr, 0));
  EXPECT_EQ(w.ReadDirectory(fe, e), 1);
  EXPECT_TRUE(e.empty());
}

TEST(UdfHostile, FailedVirtualLookupEndsTheWalk) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  Volume v(SampleTree(), o);
  UdfImage img = v.img;
  std::uint8_t* dir = img.Sector(img.dataSector.at("/"));
  std::uint32_t second = 40 + ((38 + 11 + 3) & ~3u);
  PutLE32(dir + second + 24, 0x00FFFFFF);  // "docs" points past the table
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  std::vector<UdfDirEntry> e;
  EXPECT_EQ(a.ReadDirectory(v.Entry("/"), e), 1);
  EXPECT_EQ(Names(e), std::vector<std::string>{"readme.txt"});
}

TEST(UdfHostile, HugeExtentsOnASparablePartitionStayCheap) {
  UdfNode root = UdfNode::Dir("");
  root.children.push_back(UdfNode::File("f", Pattern(100, 1)));
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Sparable;
  o.sparedPackets = {0};
  UdfImage img = BuildUdfImage(root, o);
  // A partition of 2^32 blocks and a file of one extent of almost 1 GiB.
  PutLE32(img.Sector(img.pdSector) + 192, 0xFFFFFFFF);
  // The entry lies in the spared packet: it is changed where it went.
  std::uint8_t* fe = img.Sector(img.partitionStart + img.partitionLength + img.entrySector.at("/f") - img.partitionStart);
  PutLE64(fe + 56, 0x3FFFF800);
  PutLE32(fe + 176, 0x3FFFF800);
  PutLE32(fe + 180, 0);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  UdfFileData f;
  ASSERT_EQ(a.GetFileExtents(img.entrySector.at("/f"), f), 0);
  ASSERT_EQ(f.extents.size(), 2u);  // the spared first packet, then the rest in place
  EXPECT_EQ(f.extents[0].length, 32u * 2048);
  EXPECT_EQ(f.extents[1].sector, img.partitionStart + 32);
  EXPECT_EQ(f.extents[0].length + f.extents[1].length, 0x3FFFF800u);
}
