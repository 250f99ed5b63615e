// The structure parsers on hand-made byte buffers: sizes, offsets and the
// outcomes for entries that do not fit what holds them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disc/ByteOrder.h"
#include "fs/udf/Descriptors.h"

using namespace udf;

namespace {

// A FID with a name of lFi bytes (compression id first) and lIu bytes of
// implementation use.
std::vector<std::uint8_t> MakeFid(std::uint8_t lFi, std::uint16_t lIu = 0, std::uint32_t block = 7,
                                  std::uint8_t characteristics = 0) {
  std::size_t used = 38 + lIu + lFi;
  std::vector<std::uint8_t> f((used + 3) & ~std::size_t(3), 0);
  PutLE16(&f[0], 257);
  f[18] = characteristics;
  f[19] = lFi;
  PutLE32(&f[20], 2048);
  PutLE32(&f[24], block);
  PutLE16(&f[36], lIu);
  for (std::size_t i = 0; i < lIu; ++i) f[38 + i] = 0xEE;
  if (lFi) {
    f[38 + lIu] = 8;
    for (std::size_t i = 1; i < lFi; ++i) f[38 + lIu + i] = static_cast<std::uint8_t>('a' + i - 1);
  }
  return f;
}

std::vector<FileIdentifier> WalkAll(const std::vector<std::uint8_t>& data, FidStatus& last) {
  std::vector<FileIdentifier> out;
  FidIterator it(data);
  FileIdentifier f;
  while ((last = it.Next(f)) == FidStatus::Ok) out.push_back(f);
  return out;
}

}  // namespace

TEST(UdfFid, SizesRoundUpToFourBytes) {
  std::vector<std::uint8_t> dir;
  for (std::uint8_t lFi : {0, 9, 10, 11}) {
    auto f = MakeFid(lFi);
    dir.insert(dir.end(), f.begin(), f.end());
  }
  FidStatus last;
  auto fids = WalkAll(dir, last);
  ASSERT_EQ(fids.size(), 4u);
  EXPECT_EQ(fids[0].size, 40u);
  EXPECT_EQ(fids[1].size, 48u);
  EXPECT_EQ(fids[2].size, 48u);
  EXPECT_EQ(fids[3].size, 52u);
  EXPECT_EQ(last, FidStatus::End);
  EXPECT_EQ(fids[3].icb.block, 7u);
}

TEST(UdfFid, ImplementationUseMovesTheName) {
  std::vector<std::uint8_t> dir = MakeFid(4, 32, 9);
  auto second = MakeFid(5, 0, 11);
  dir.insert(dir.end(), second.begin(), second.end());
  FidStatus last;
  auto fids = WalkAll(dir, last);
  ASSERT_EQ(fids.size(), 2u);
  EXPECT_EQ(fids[0].lIu, 32);
  EXPECT_EQ(fids[0].nameOffset, 70u);
  EXPECT_EQ(dir[fids[0].nameOffset], 8);
  EXPECT_EQ(dir[fids[0].nameOffset + 1], 'a');
  EXPECT_EQ(fids[0].size, 76u);  // 38 + 32 + 4 = 74, rounded up
  EXPECT_EQ(fids[1].icb.block, 11u);
}

TEST(UdfFid, HostileLengthsEndTheWalkWithANamedOutcome) {
  // The name runs past the data.
  auto f = MakeFid(20);
  std::vector<std::uint8_t> cut(f.begin(), f.begin() + 45);
  FidStatus last;
  EXPECT_TRUE(WalkAll(cut, last).empty());
  EXPECT_EQ(last, FidStatus::NamePastEnd);

  // L_IU of 65535 points far outside.
  auto big = MakeFid(3);
  PutLE16(&big[36], 0xFFFF);
  EXPECT_TRUE(WalkAll(big, last).empty());
  EXPECT_EQ(last, FidStatus::NamePastEnd);

  // A header cut short after one whole entry.
  auto two = MakeFid(3);
  auto head = MakeFid(3);
  two.insert(two.end(), head.begin(), head.begin() + 20);
  EXPECT_EQ(WalkAll(two, last).size(), 1u);
  EXPECT_EQ(last, FidStatus::HeaderStraddles);

  // Something that is not a FID.
  auto junk = MakeFid(3);
  junk.insert(junk.end(), 64, 0x77);
  EXPECT_EQ(WalkAll(junk, last).size(), 1u);
  EXPECT_EQ(last, FidStatus::NotAnIdentifier);

  // Zero padding after the last entry is just the end.
  auto padded = MakeFid(3);
  padded.insert(padded.end(), 100, 0);
  EXPECT_EQ(WalkAll(padded, last).size(), 1u);
  EXPECT_EQ(last, FidStatus::End);
}

TEST(UdfFileEntry, FileAndExtendedLayouts) {
  std::vector<std::uint8_t> fe(2048, 0);
  PutLE16(&fe[0], 261);
  fe[27] = 5;
  fe[34] = 1;
  PutLE64(&fe[56], 5000000000ull);
  PutLE16(&fe[98], 2023);
  fe[100] = 12;
  fe[101] = 31;
  fe[102] = 23;
  fe[103] = 59;
  fe[104] = 58;
  PutLE32(&fe[168], 20);
  PutLE32(&fe[172], 32);
  FileEntry e = FileEntry::Parse(fe);
  EXPECT_FALSE(e.extended);
  EXPECT_EQ(e.fileType, 5);
  EXPECT_EQ(e.adType, 1);
  EXPECT_EQ(e.infoLength, 5000000000ull);
  EXPECT_EQ(e.attributeTime.year, 2023);
  EXPECT_EQ(e.attributeTime.second, 58);
  EXPECT_EQ(e.adOffset, 196u);
  EXPECT_EQ(e.adBytes, 32u);
  EXPECT_FALSE(e.clipped);

  std::vector<std::uint8_t> efe(2048, 0);
  PutLE16(&efe[0], 266);
  efe[27] = 4;
  efe[34] = 3;
  PutLE64(&efe[56], 40);
  PutLE16(&efe[118], 2011);
  efe[120] = 7;
  PutLE32(&efe[208], 0);
  PutLE32(&efe[212], 40);
  e = FileEntry::Parse(efe);
  EXPECT_TRUE(e.extended);
  EXPECT_EQ(e.adOffset, 216u);
  EXPECT_EQ(e.adBytes, 40u);
  EXPECT_EQ(e.attributeTime.year, 2011);
  EXPECT_EQ(e.attributeTime.month, 7);
}

TEST(UdfFileEntry, LengthsPastTheSectorAreClipped) {
  std::vector<std::uint8_t> fe(2048, 0);
  PutLE16(&fe[0], 261);
  PutLE32(&fe[168], 0xFFFFFF00);  // L_EA far outside
  PutLE32(&fe[172], 16);
  FileEntry e = FileEntry::Parse(fe);
  EXPECT_TRUE(e.clipped);
  EXPECT_EQ(e.adBytes, 0u);
  EXPECT_LE(e.adOffset, 2048u);

  PutLE32(&fe[168], 0);
  PutLE32(&fe[172], 0xFFFFFFF0);  // L_AD far outside
  e = FileEntry::Parse(fe);
  EXPECT_TRUE(e.clipped);
  EXPECT_EQ(e.adOffset + e.adBytes, 2048u);
}

TEST(UdfAllocDescs, ListsEndAtZeroLengthOrContinue) {
  std::vector<std::uint8_t> b(48, 0);
  PutLE32(&b[0], 4096);
  PutLE32(&b[4], 10);
  PutLE32(&b[8], (1u << 30) | 2048);  // allocated, not recorded
  PutLE32(&b[12], 20);
  PutLE32(&b[16], (3u << 30) | 2048);  // continues at block 30
  PutLE32(&b[20], 30);
  PutLE32(&b[24], 999);  // never reached
  std::vector<AllocDesc> ads;
  AllocDesc next;
  bool hasNext = false;
  ASSERT_TRUE(ParseAllocDescs(b, 0, ads, &next, &hasNext));
  ASSERT_EQ(ads.size(), 2u);
  EXPECT_EQ(ads[0].length, 4096u);
  EXPECT_EQ(ads[1].extentType, 1);
  EXPECT_TRUE(hasNext);
  EXPECT_EQ(next.block, 30u);

  // Extended descriptors: block at 12, partition at 16.
  std::vector<std::uint8_t> x(20, 0);
  PutLE32(&x[0], 100);
  PutLE32(&x[12], 77);
  PutLE16(&x[16], 1);
  ads.clear();
  ASSERT_TRUE(ParseAllocDescs(x, 2, ads, &next, &hasNext));
  ASSERT_EQ(ads.size(), 1u);
  EXPECT_EQ(ads[0].block, 77u);
  EXPECT_EQ(ads[0].partitionRef, 1);
  EXPECT_FALSE(hasNext);

  // Not a whole number of descriptors, or an unknown type.
  ads.clear();
  std::vector<std::uint8_t> odd(12, 1);
  EXPECT_FALSE(ParseAllocDescs(odd, 0, ads, nullptr, nullptr));
  EXPECT_FALSE(ParseAllocDescs(b, 5, ads, nullptr, nullptr));
}

TEST(UdfLogicalVolume, MapsAreReadOnlyAsFarAsTheyFit) {
  std::vector<std::uint8_t> lvd(2048, 0);
  PutLE16(&lvd[0], 6);
  PutLE32(&lvd[212], 2048);
  PutLE32(&lvd[252], 3);
  PutLE16(&lvd[256], 1);
  lvd[440] = 1;
  lvd[441] = 6;
  lvd[446] = 2;
  lvd[447] = 64;
  std::memcpy(&lvd[446 + 5], "UDF Sparable Partition", 22);
  PutLE16(&lvd[446 + 40], 32);
  lvd[446 + 42] = 2;
  PutLE32(&lvd[446 + 44], 312);
  PutLE32(&lvd[446 + 48], 160);
  PutLE32(&lvd[446 + 52], 2976);
  PutLE32(&lvd[264], 70);
  LogicalVolumeDescriptor d = LogicalVolumeDescriptor::Parse(lvd);
  EXPECT_EQ(d.fileSet.block, 3u);
  EXPECT_EQ(d.fileSet.partitionRef, 1);
  ASSERT_EQ(d.maps.size(), 2u);
  EXPECT_EQ(d.maps[0].kind, MapKind::Physical);
  EXPECT_EQ(d.maps[1].kind, MapKind::Sparable);
  EXPECT_EQ(d.maps[1].packetLength, 32);
  ASSERT_EQ(d.maps[1].sparingTables.size(), 2u);
  EXPECT_EQ(d.maps[1].sparingTables[1], 2976u);

  // A table length past the descriptor: maps are taken only while whole.
  PutLE32(&lvd[264], 0xFFFFFFFF);
  d = LogicalVolumeDescriptor::Parse(lvd);
  EXPECT_EQ(d.maps.size(), 2u);
  // A map that claims more bytes than the table holds is not taken.
  PutLE32(&lvd[264], 40);
  d = LogicalVolumeDescriptor::Parse(lvd);
  EXPECT_EQ(d.maps.size(), 1u);
}

TEST(UdfIntegrity, WriteRevisionFollowsThePartitionCount) {
  std::vector<std::uint8_t> s(2048, 0);
  PutLE32(&s[72], 1);
  PutLE16(&s[132], 0x0201);
  EXPECT_EQ(IntegrityWriteRevision(s), 0x0201);
  PutLE32(&s[72], 2);
  PutLE16(&s[140], 0x0150);
  EXPECT_EQ(IntegrityWriteRevision(s), 0x0150);
  PutLE32(&s[72], 0x40000000);  // would point far past the sector
  EXPECT_EQ(IntegrityWriteRevision(s), 0);
}

TEST(UdfSparingTable, KeepsOnlyMovedPackets) {
  std::vector<std::uint8_t> t(2048, 0);
  std::memcpy(&t[17], "*UDF Sparing Table", 18);
  PutLE16(&t[48], 3);
  PutLE32(&t[56], 64);
  PutLE32(&t[60], 5000);
  PutLE32(&t[64], 0xFFFFFFFF);  // free
  PutLE32(&t[72], 0xFFFFFFF0);  // defective
  std::vector<SparingEntry> e;
  ASSERT_TRUE(ParseSparingTable(t, e));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].original, 64u);
  EXPECT_EQ(e[0].mapped, 5000u);

  // A count larger than the bytes held stops at the end.
  PutLE16(&t[48], 0xFFFF);
  e.clear();
  ASSERT_TRUE(ParseSparingTable(std::span(t).first(80), e));
  EXPECT_EQ(e.size(), 1u);
  t[17] = 'X';
  EXPECT_FALSE(ParseSparingTable(t, e));
}

TEST(UdfFindPattern, EdgeCases) {
  const unsigned char data[] = "xx*UDF Virtual Partition";
  const unsigned char* v = reinterpret_cast<const unsigned char*>("Virtual");
  EXPECT_EQ(FindPattern(data, 24, v, 7), 7);
  EXPECT_EQ(FindPattern(data, 13, v, 7), -1);  // cut before the end of the word
  EXPECT_EQ(FindPattern(data, 14, v, 7), 7);
  EXPECT_EQ(FindPattern(data, 0, v, 7), -1);
  EXPECT_EQ(FindPattern(data, 24, v, 0), -1);
  EXPECT_EQ(FindPattern(v, 3, data, 24), -1);
}
