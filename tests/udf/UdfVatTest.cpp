// Virtual partitions: finding the VAT behind the next writable address, its
// layouts and extents, the temporary file, and the lookups through it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "disc/ByteOrder.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
using udftest::MakeDrive;
using udftest::SampleTree;

namespace {

std::uintmax_t FileSize(const char* path) {
  std::error_code ec;
  auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

// Every ICB the builder gave a virtual block resolves to its entry.
void ExpectAllLookupsResolve(CAnaly_UDF& a, const UdfImage& img) {
  for (const auto& [path, v] : img.virtualBlock) {
    std::uint32_t block = 0;
    ASSERT_EQ(a.VatLookup(v, block), 0) << path;
    EXPECT_EQ(a.m_nPartStart + block, img.entrySector.at(path)) << path;
  }
}

struct VatVariant {
  const char* name;
  std::uint16_t revision;
  bool efe;
  bool embedded;
  int extents;
  std::uint16_t implUse;
  std::uint32_t spare;
  UdfAdKind ad;
};

class UdfVatVariants : public ::testing::TestWithParam<VatVariant> {};

}  // namespace

TEST_P(UdfVatVariants, TableIsCopiedWholeAndLookupsResolve) {
  const VatVariant& v = GetParam();
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  o.revision = v.revision;
  o.extendedEntries = v.efe;
  o.vatEmbedded = v.embedded;
  o.vatExtents = v.extents;
  o.vatImplUse = v.implUse;
  o.vatSpareEntries = v.spare;
  o.ad = v.ad;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  ASSERT_EQ(img.vatExtentSectors.size(), v.embedded ? 0u : static_cast<std::size_t>(v.extents));
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(a.m_nPartMapKind, 1);
  EXPECT_EQ(FileSize(a.m_szVatFile), 4ull * img.vatEntries);
  ExpectAllLookupsResolve(a, img);
  // The last entry is there, one past it is not.
  std::uint32_t block = 0;
  EXPECT_EQ(a.VatLookup(img.vatEntries - 1, block), 0);
  EXPECT_EQ(a.VatLookup(img.vatEntries, block), 1);
  // Unreadable link blocks between the VAT and the address were skipped.
  EXPECT_TRUE(d.drive->sectorsRead.count(img.vatSector + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Builder, UdfVatVariants,
    ::testing::Values(VatVariant{"v150extent", 0x0150, false, false, 1, 0, 0, UdfAdKind::Long},
                      VatVariant{"v150embedded", 0x0150, false, true, 1, 0, 0, UdfAdKind::Long},
                      VatVariant{"v150threeExtents", 0x0150, false, false, 3, 0, 1500, UdfAdKind::Long},
                      VatVariant{"v200extent", 0x0200, true, false, 1, 0, 0, UdfAdKind::Long},
                      VatVariant{"v201embedded", 0x0201, true, true, 1, 0, 0, UdfAdKind::Long},
                      VatVariant{"v201implUse", 0x0201, true, false, 1, 40, 0, UdfAdKind::Long},
                      VatVariant{"v201embeddedImplUse", 0x0201, false, true, 1, 24, 0, UdfAdKind::Short},
                      VatVariant{"v201twoExtentsImplUse", 0x0201, true, false, 2, 64, 700, UdfAdKind::Long},
                      VatVariant{"v201fourExtents", 0x0201, true, false, 4, 0, 2000, UdfAdKind::Short}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UdfVat, FoundFromTheWritableAddressOrTheTrackEnd) {
  struct Case {
    const char* what;
    std::uint32_t linkBlocks;
    std::function<void(UdfTestTransport&, const UdfImage&)> drive;
  };
  const Case cases[] = {
      // Track 1 closed, track 2 open with the address eight blocks after the VAT.
      {"later track", 7,
       [](UdfTestTransport& t, const UdfImage& img) {
         t.tracks = {{0, 100, std::nullopt}, {100, 5000, img.vatSector + 8}};
       }},
      // No link blocks (DVD-R): the VAT is right before the address.
      {"dvd-r", 0, [](UdfTestTransport&, const UdfImage&) {}},
      // A closed disc or an image has no address: the track's end counts.
      {"closed", 0,
       [](UdfTestTransport& t, const UdfImage& img) {
         t.tracks = {{0, img.SectorCount(), std::nullopt}};
       }},
  };
  for (const Case& c : cases) {
    UdfBuildOptions o;
    o.partition = UdfPartitionKind::Virtual;
    o.vatLinkBlocks = c.linkBlocks;
    UdfImage img = BuildUdfImage(SampleTree(), o);
    auto d = MakeDrive(img);
    c.drive(*d.drive, img);
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0)) << c.what;
    ExpectAllLookupsResolve(a, img);
  }
}

// A volume appended with descriptors of its own on the next track, left
// open: the earlier volume keeps the table that ends its own closed track,
// the later one is served by the table before the writable address.
TEST(UdfVat, EachVolumeReadsTheTableOfItsOwnTrack) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  const UdfImage first = BuildUdfImage(SampleTree(), o);
  const UdfImage both = AppendUdfSession(first, UdfNode::Dir("", {UdfNode::File("b.txt", "later")}), o);
  auto d = MakeDrive(both);
  d.drive->tracks = {{0, first.SectorCount(), std::nullopt},
                     {both.volumeStart, both.trackSize - both.volumeStart, both.nextWritable}};
  for (const UdfImage* img : {&first, &both}) {
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, img->volumeStart));
    EXPECT_EQ(a.VatSector(), img->vatSector);
    ExpectAllLookupsResolve(a, *img);
  }
}

TEST(UdfVat, NoTableNearTheAddressFailsTheAnalysis) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  auto d = MakeDrive(img);
  d.drive->tracks[0].nextWritable = img.vatSector + 40;
  d.drive->bytes.resize((img.vatSector + 41) * 2048);
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));
  // No address and no track holding the partition.
  d.drive->tracks = {{0, 10, std::nullopt}};
  CAnaly_UDF b;
  EXPECT_FALSE(b.Analyse(d.device.get(), nullptr, 0));
}

TEST(UdfVat, TemporaryFilesAreOwnExclusiveAndRemoved) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  auto d = MakeDrive(img);
  std::string first, second;
  {
    CAnaly_UDF a, b;  // started in the same second
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    ASSERT_TRUE(b.Analyse(d.device.get(), nullptr, 0));
    first = a.m_szVatFile;
    second = b.m_szVatFile;
    EXPECT_NE(first, second);
    std::string dir = std::filesystem::temp_directory_path().string();
    if (dir.back() != '/') dir += '/';
    EXPECT_EQ(first.rfind(dir + "VATtmp", 0), 0u) << first;
    EXPECT_EQ(first.substr(first.size() - 4), ".dat");
    EXPECT_TRUE(std::filesystem::exists(first));
    // A new analysis of the same analyser makes a new file and drops the old.
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    EXPECT_FALSE(std::filesystem::exists(first));
    first = a.m_szVatFile;
    EXPECT_TRUE(std::filesystem::exists(second));
  }
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(UdfVat, LookupsOfAShortTableFail) {
  CAnaly_UDF a;
  std::uint32_t out = 77;
  EXPECT_EQ(a.VatLookup(0, out), 1);  // no table yet
  ASSERT_EQ(a.MakeVatFileName(), 0);
  {
    std::ofstream f(a.m_szVatFile, std::ios::binary);
    f.write("\x10\x00\x00\x00\x20\x00", 6);
  }
  EXPECT_EQ(a.VatLookup(0, out), 0);
  EXPECT_EQ(out, 16u);
  out = 77;
  EXPECT_EQ(a.VatLookup(1, out), 1);  // only two bytes of entry 1
  EXPECT_EQ(out, 77u);
  EXPECT_EQ(a.VatLookup(0xFFFFFFFF, out), 1);
}

namespace {

// A drive holding one VAT extent at sector 10 of `bytes` bytes.
udftest::TestDrive RawExtentDrive(const std::vector<std::uint8_t>& extent) {
  std::vector<std::uint8_t> disc(40 * 2048, 0);
  std::copy(extent.begin(), extent.end(), disc.begin() + 10 * 2048);
  auto t = std::make_unique<UdfTestTransport>(disc, std::set<std::uint32_t>{}, std::nullopt, 0);
  udftest::TestDrive d;
  d.drive = t.get();
  d.device = std::make_unique<CDevCmdROM>(1, std::move(t), "raw");
  return d;
}

std::vector<std::uint8_t> ReadAll(const char* path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TEST(UdfVat, SaveVatExtentAppliesTheTailOrTheHeader) {
  // UDF 1.50: 1000 entries and the 36-byte tail in 4036 bytes.
  std::vector<std::uint8_t> v15(4036, 0);
  for (std::uint32_t i = 0; i < 1000; ++i) PutLE32(&v15[4 * i], 100000 + i);
  auto d = RawExtentDrive(v15);
  CAnaly_UDF a;
  a.m_pDevice = d.device.get();
  ASSERT_EQ(a.MakeVatFileName(), 0);
  a.SaveVatExtent(10, 4036, a.m_szVatFile);
  auto got = ReadAll(a.m_szVatFile);
  ASSERT_EQ(got.size(), 4000u);
  EXPECT_EQ(GetLE32(&got[4 * 999]), 100999u);  // from the second sector
  std::uint32_t out;
  ASSERT_EQ(a.VatLookup(600, out), 0);
  EXPECT_EQ(out, 100600u);

  // UDF 2.01 with L_IU = 0: 500 entries after the 152-byte header.
  std::vector<std::uint8_t> v20(2152, 0);
  PutLE16(&v20[0], 152);
  for (std::uint32_t i = 0; i < 500; ++i) PutLE32(&v20[152 + 4 * i], 7 + i);
  auto d2 = RawExtentDrive(v20);
  CAnaly_UDF b;
  b.m_pDevice = d2.device.get();
  b.m_nUdfRevision = 2;
  ASSERT_EQ(b.MakeVatFileName(), 0);
  b.SaveVatExtent(10, 2152, b.m_szVatFile);
  got = ReadAll(b.m_szVatFile);
  ASSERT_EQ(got.size(), 2000u);
  EXPECT_EQ(GetLE32(&got[0]), 7u);
  EXPECT_EQ(GetLE32(&got[1996]), 506u);

  // Too short for its header: nothing is written.
  b.SaveVatExtent(10, 100, b.m_szVatFile);
  EXPECT_EQ(FileSize(b.m_szVatFile), 0u);
}

TEST(UdfVat, EmbeddedOneFiftyTableOfTenEntries) {
  // An entry whose 76 embedded bytes are 10 entries and the tail.
  std::vector<std::uint8_t> fe(2048, 0);
  PutLE16(&fe[0], 261);
  fe[27] = 0;
  fe[34] = 3;
  PutLE64(&fe[56], 76);
  PutLE32(&fe[172], 76);
  for (int i = 0; i < 10; ++i) PutLE32(&fe[176 + 4 * i], 50 + i);
  std::vector<std::uint8_t> disc(40 * 2048, 0);
  std::copy(fe.begin(), fe.end(), disc.begin() + 30 * 2048);
  auto t = std::make_unique<UdfTestTransport>(disc, std::set<std::uint32_t>{}, 38, 40);
  CDevCmdROM dev(1, std::move(t), "embedded");
  CAnaly_UDF a;
  a.m_pDevice = &dev;
  ASSERT_EQ(a.LoadVat(20), 0);
  EXPECT_EQ(FileSize(a.m_szVatFile), 40u);
  std::uint32_t out;
  ASSERT_EQ(a.VatLookup(9, out), 0);
  EXPECT_EQ(out, 59u);
}

TEST(UdfVat, UnreadableTableExtentLeavesLookupsFailing) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  img.unreadable.insert(img.vatExtentSectors[0]);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));  // the root cannot be looked up
}
