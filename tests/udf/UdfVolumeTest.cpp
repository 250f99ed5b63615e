// Volume recognition on built volumes: anchors, sequences, partition kinds,
// revisions and the root directory, and what fails the analysis.
#include <gtest/gtest.h>

#include <cstring>

#include "disc/ByteOrder.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
using udftest::MakeDrive;
using udftest::SampleTree;

namespace {

struct Variant {
  const char* name;
  std::uint16_t revision;
  UdfPartitionKind kind;
  bool efe;
  std::uint32_t start;
  int expectKind;
  int expectRevision;
};

class UdfVolumeVariants : public ::testing::TestWithParam<Variant> {};

}  // namespace

TEST_P(UdfVolumeVariants, RecognisesPartitionRevisionAndRoot) {
  const Variant& v = GetParam();
  UdfBuildOptions o;
  o.revision = v.revision;
  o.partition = v.kind;
  o.extendedEntries = v.efe;
  o.volumeStart = v.start;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  auto d = MakeDrive(img);
  unsigned char pvd[2048] = {};
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), pvd, v.start));
  EXPECT_EQ(a.m_nPartMapKind, v.expectKind);
  EXPECT_EQ(a.m_nUdfRevision, v.expectRevision);
  EXPECT_EQ(a.m_nPartStart, img.partitionStart);
  EXPECT_EQ(a.m_nPartStart + a.m_nRootIcb, img.entrySector.at("/"));
  EXPECT_EQ(pvd[0], 1);
  EXPECT_EQ(std::memcmp(pvd, img.Sector(img.pvdSector), 2048), 0);
  EXPECT_EQ(a.m_szVatFile[0] != 0, v.kind == UdfPartitionKind::Virtual);
}

INSTANTIATE_TEST_SUITE_P(
    Builder, UdfVolumeVariants,
    ::testing::Values(Variant{"plain150", 0x0150, UdfPartitionKind::Plain, false, 0, 0, 0},
                      Variant{"plain200", 0x0200, UdfPartitionKind::Plain, true, 0, 0, 1},
                      Variant{"plain201fe", 0x0201, UdfPartitionKind::Plain, false, 0, 0, 2},
                      Variant{"plain201efe", 0x0201, UdfPartitionKind::Plain, true, 0, 0, 2},
                      Variant{"secondSession", 0x0201, UdfPartitionKind::Plain, true, 11400, 0, 2},
                      Variant{"vat150", 0x0150, UdfPartitionKind::Virtual, false, 0, 1, 0},
                      Variant{"vat201", 0x0201, UdfPartitionKind::Virtual, true, 0, 1, 2},
                      Variant{"vatSecondSession", 0x0201, UdfPartitionKind::Virtual, true, 30000, 1, 2},
                      Variant{"sparable150", 0x0150, UdfPartitionKind::Sparable, false, 0, 2, 0},
                      Variant{"sparable201", 0x0201, UdfPartitionKind::Sparable, true, 0, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UdfVolume, NotReadyOrNoDeviceFails) {
  UdfImage img = BuildUdfImage(SampleTree());
  auto d = MakeDrive(img);
  d.drive->ready = false;
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(a.m_pDevice, d.device.get());
  EXPECT_FALSE(a.Analyse(nullptr, nullptr, 0));
}

TEST(UdfVolume, AnchorAt512IsTakenWhen256IsNotOne) {
  UdfImage img = BuildUdfImage(SampleTree());
  img.bytes.resize(600 * 2048);
  // Anchors at the end are looked for too now: the closing one goes.
  for (std::uint32_t at : img.anchors)
    if (at != 256) std::memset(img.Sector(at), 0, 2048);
  std::memcpy(img.Sector(512), img.Sector(256), 2048);
  std::memset(img.Sector(256), 0x33, 2048);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(a.m_nPartStart, img.partitionStart);

  // Nothing usable at either place.
  std::memset(img.Sector(512), 0, 2048);
  auto d2 = MakeDrive(img);
  CAnaly_UDF b;
  EXPECT_FALSE(b.Analyse(d2.device.get(), nullptr, 0));
}

TEST(UdfVolume, PartitionDescriptorIsSearchedInElevenSectors) {
  UdfImage base = BuildUdfImage(SampleTree());
  for (std::uint32_t at : {10u, 11u}) {
    UdfImage img = base;
    std::uint32_t M = img.mainVds;
    // Move PD and LVD: the LVD to M + 9, the PD to M + at.
    std::vector<std::uint8_t> pd(img.Sector(img.pdSector), img.Sector(img.pdSector) + 2048);
    std::vector<std::uint8_t> lvd(img.Sector(img.lvdSector), img.Sector(img.lvdSector) + 2048);
    for (std::uint32_t i = 1; i < 16; ++i) std::memset(img.Sector(M + i), 0, 2048);
    std::memcpy(img.Sector(M + 9), lvd.data(), 2048);
    std::memcpy(img.Sector(M + at), pd.data(), 2048);
    auto d = MakeDrive(img);
    CAnaly_UDF a;
    EXPECT_EQ(a.Analyse(d.device.get(), nullptr, 0), at == 10) << "PD at M+" << at;
  }
}

TEST(UdfVolume, TheLastPrimaryDescriptorBeforeThePartitionIsKept) {
  UdfImage img = BuildUdfImage(SampleTree());
  std::uint32_t M = img.mainVds;
  // PVD, PVD', PD, LVD.
  std::vector<std::uint8_t> seq(img.Sector(M), img.Sector(M) + 3 * 2048);
  std::memcpy(img.Sector(M + 1), seq.data(), 2048);
  img.Sector(M + 1)[100] = 0x42;  // tell the two apart
  std::memcpy(img.Sector(M + 2), seq.data() + 2048, 2048);
  std::memcpy(img.Sector(M + 3), seq.data() + 4096, 2048);
  auto d = MakeDrive(img);
  unsigned char pvd[2048] = {};
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), pvd, 0));
  EXPECT_EQ(pvd[100], 0x42);
}

TEST(UdfVolume, ZeroPartitionStartOrMainSequenceFails) {
  UdfImage img = BuildUdfImage(SampleTree());
  PutLE32(img.Sector(img.pdSector) + 188, 0);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));

  UdfImage img2 = BuildUdfImage(SampleTree());
  PutLE32(img2.Sector(256) + 20, 0);
  auto d2 = MakeDrive(img2);
  CAnaly_UDF b;
  EXPECT_FALSE(b.Analyse(d2.device.get(), nullptr, 0));
}

TEST(UdfVolume, ReadErrorInTheSequenceFails) {
  UdfImage img = BuildUdfImage(SampleTree());
  img.unreadable.insert(img.mainVds);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));
}

TEST(UdfVolume, RevisionFromTheSequenceScanTheIntegrityExtentOrTheDomain) {
  // Inside the scanned sectors (M .. M + 16).
  UdfBuildOptions o;
  o.revision = 0x0200;
  o.integrityOffset = 40;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_EQ(a.ReadUdfRevision(img.mainVds, img.reserveVds), 1);  // no device yet
  a.m_pDevice = d.device.get();
  EXPECT_EQ(a.ReadUdfRevision(img.mainVds, img.reserveVds), 0);
  EXPECT_EQ(a.m_nUdfRevision, 1);

  // Only where the logical volume says (as mkudffs writes it).
  o.revision = 0x0150;
  o.integrityOffset = 100;
  img = BuildUdfImage(SampleTree(), o);
  auto d2 = MakeDrive(img);
  CAnaly_UDF b;
  b.m_nUdfRevision = 2;
  b.m_pDevice = d2.device.get();
  EXPECT_EQ(b.ReadUdfRevision(img.mainVds, img.reserveVds), 1);
  EXPECT_EQ(b.m_nUdfRevision, 2);
  ASSERT_TRUE(b.Analyse(d2.device.get(), nullptr, 0));
  EXPECT_EQ(b.m_nUdfRevision, 0);

  // No integrity descriptor at all: the domain identifier's revision.
  o.revision = 0x0200;
  o.writeIntegrity = false;
  img = BuildUdfImage(SampleTree(), o);
  auto d3 = MakeDrive(img);
  CAnaly_UDF c;
  ASSERT_TRUE(c.Analyse(d3.device.get(), nullptr, 0));
  EXPECT_EQ(c.m_nUdfRevision, 1);
}

TEST(UdfVolume, UnknownRevisionKeepsThePreviousClass) {
  UdfBuildOptions o;
  o.revision = 0x0300;  // 2.50 and 2.60 are known now; a later one is not
  o.integrityOffset = 40;
  UdfImage img = BuildUdfImage(SampleTree(), o);
  auto d = MakeDrive(img);
  CAnaly_UDF fresh;
  ASSERT_TRUE(fresh.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(fresh.m_nUdfRevision, 0);
  CAnaly_UDF used;
  used.m_nUdfRevision = 2;
  ASSERT_TRUE(used.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(used.m_nUdfRevision, 2);
}

TEST(UdfVolume, OtherBlockSizesAreRefused) {
  UdfImage img = BuildUdfImage(SampleTree());
  PutLE32(img.Sector(img.lvdSector) + 212, 512);
  auto d = MakeDrive(img);
  CAnaly_UDF a;
  EXPECT_FALSE(a.Analyse(d.device.get(), nullptr, 0));
}

TEST(UdfPartitionMapKind, TypeTwoIdentifiersAndBrokenTables) {
  CAnaly_UDF a;
  std::vector<unsigned char> lvd(2048, 0);
  auto setMap2 = [&](const char* id) {
    std::fill(lvd.begin() + 440, lvd.end(), 0);
    lvd[440] = 1;
    lvd[441] = 6;
    lvd[446] = 2;
    lvd[447] = 64;
    std::memcpy(&lvd[446 + 4], id, std::strlen(id));
    PutLE32(&lvd[264], 70);
  };
  setMap2("*UDF Virtual Partition");
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 1);
  setMap2("*UDF Sparable Partition");
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 2);
  setMap2("*UDF Metadata Partition");
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 3);
  setMap2("*UDF Other Partition");
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 0);
  EXPECT_EQ(a.GetPartitionMapKind(nullptr, 2048), 0);
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 0), 0);

  // The table length stops the walk before the type-2 map.
  setMap2("*UDF Virtual Partition");
  PutLE32(&lvd[264], 6);
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 0);
  // A type-1 map of length 0 or an unknown type ends it too (and never hangs).
  PutLE32(&lvd[264], 0xFFFFFFFF);
  lvd[441] = 0;
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 0);
  lvd[440] = 7;
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 0);
  // Type-1 maps filling the whole sector past a huge table length.
  for (int off = 440; off + 6 <= 2048; off += 6) {
    lvd[off] = 1;
    lvd[off + 1] = 6;
  }
  EXPECT_EQ(a.GetPartitionMapKind(lvd.data(), 2048), 0);
  // A map table length past the descriptor on a volume: analysed, kind 0.
  UdfImage img = BuildUdfImage(SampleTree());
  PutLE32(img.Sector(img.lvdSector) + 264, 0x7FFFFFFF);
  auto d = MakeDrive(img);
  CAnaly_UDF b;
  EXPECT_TRUE(b.Analyse(d.device.get(), nullptr, 0));
  EXPECT_EQ(b.m_nPartMapKind, 0);
}
