// fs/udf's parsers and block translation on hand-made bytes: the tag's CRC,
// permissions, times, link targets, the metadata map and logical blocks of
// every size read from 2048-byte sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/UdfTag.h"
#include "fs/udf/Damage.h"
#include "fs/udf/Descriptors.h"
#include "fs/udf/BlockReader.h"
#include "fs/udf/Partitions.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Tagged(std::uint16_t id, std::uint32_t location, std::size_t size = 512) {
  Bytes d(size, 0);
  PutLE16(&d[0], id);
  PutLE16(&d[2], 3);
  for (std::size_t i = 16; i < size; ++i) d[i] = static_cast<std::uint8_t>(i * 7);
  PutLE16(&d[10], static_cast<std::uint16_t>(size - 16));
  PutLE16(&d[8], udf::DescriptorCrc(std::span(d).subspan(16)));
  PutLE32(&d[12], location);
  d[4] = UdfTagChecksum(d.data());
  return d;
}

struct Sectors : fs::SectorSource {
  Bytes bytes;
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    if ((std::uint64_t(lba) + count) * 2048 > bytes.size()) return fs::SectorRead::Failed;
    std::memcpy(out, bytes.data() + std::size_t(lba) * 2048, std::size_t(count) * 2048);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override { return bytes.size() / 2048 - 1; }
};

}  // namespace

TEST(UdfTag, ChecksumCrcAndLocationAreEachNamed) {
  Bytes d = Tagged(udf::kTagFileEntry, 77);
  EXPECT_EQ(udf::CheckTag(d, udf::kTagFileEntry, 77), udf::TagCheck::Ok);
  EXPECT_EQ(udf::CheckTag(d, udf::kTagFileEntry, 78), udf::TagCheck::WrongLocation);
  EXPECT_EQ(udf::CheckTag(d, udf::kTagExtendedFileEntry), udf::TagCheck::WrongIdentifier);
  d[300] ^= 1;  // the body changed, the tag did not
  EXPECT_EQ(udf::CheckTag(d, udf::kTagFileEntry), udf::TagCheck::BadCrc);
  d[5] ^= 1;
  EXPECT_EQ(udf::CheckTag(d, udf::kTagFileEntry), udf::TagCheck::BadChecksum);
  // A CRC length past the bytes at hand is not held against the block read.
  Bytes longer = Tagged(udf::kTagFileEntry, 1, 512);
  PutLE16(&longer[10], 4000);
  longer[4] = UdfTagChecksum(longer.data());
  EXPECT_EQ(udf::CheckTag(longer, udf::kTagFileEntry), udf::TagCheck::Ok);
  // The check value of "123456789" for CRC-ITU-T with initial value 0.
  const char* nine = "123456789";
  EXPECT_EQ(udf::DescriptorCrc(std::span(reinterpret_cast<const std::uint8_t*>(nine), 9)), 0x31C3);
}

TEST(UdfFileEntry, PermissionsTimeAndKindOfEntries) {
  Bytes fe(512, 0);
  PutLE16(&fe[0], udf::kTagFileEntry);
  fe[27] = udf::kFileTypeSymlink;
  // Owner rwx + delete, group r-x, others r-- + change-attribute: 0754.
  PutLE32(&fe[44], (0x1F << 10) | (0x05 << 5) | (0x04 | 0x08));
  // 2005-03-05 15:25:51 recorded at UTC+01:00.
  PutLE16(&fe[84], static_cast<std::uint16_t>(0x1000 | 60));
  PutLE16(&fe[86], 2005);
  fe[88] = 3, fe[89] = 5, fe[90] = 15, fe[91] = 25, fe[92] = 51;
  const udf::FileEntry e = udf::FileEntry::Parse(fe);
  EXPECT_EQ(e.Mode(), 0754u);
  EXPECT_EQ(e.modificationTime.ToUnix(), 1110036351 - 3600);
  EXPECT_TRUE(udf::IsFileEntryType(e.fileType));
  for (int t : {int(udf::kFileTypeIndirect), int(udf::kFileTypeMetadata), 11})
    EXPECT_FALSE(udf::IsFileEntryType(static_cast<std::uint8_t>(t))) << t;
  // An unknown zone and an impossible date.
  PutLE16(&fe[84], static_cast<std::uint16_t>(0x1000 | (0x1000 - 2047)));
  EXPECT_EQ(udf::FileEntry::Parse(fe).modificationTime.ToUnix(), 1110036351);
  fe[88] = 13;
  EXPECT_FALSE(udf::FileEntry::Parse(fe).modificationTime.ToUnix());
}

TEST(UdfLinkTarget, ComponentsJoinAndBadOnesFail) {
  auto component = [](std::uint8_t type, const std::string& name) {
    Bytes c{type, static_cast<std::uint8_t>(name.empty() ? 0 : name.size() + 1), 0, 0};
    if (!name.empty()) {
      c.push_back(8);
      c.insert(c.end(), name.begin(), name.end());
    }
    return c;
  };
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  std::string target;
  ASSERT_TRUE(udf::ParseLinkTarget(join({component(2, ""), component(5, "etc"), component(5, "passwd")}), target));
  EXPECT_EQ(target, "/etc/passwd");
  ASSERT_TRUE(udf::ParseLinkTarget(join({component(3, ""), component(4, ""), component(5, "a b")}), target));
  EXPECT_EQ(target, ".././a b");
  Bytes cut = component(5, "name");
  cut.pop_back();
  cut[1] = 9;  // its identifier runs past the data
  EXPECT_FALSE(udf::ParseLinkTarget(cut, target));
  EXPECT_FALSE(udf::ParseLinkTarget(component(9, "x"), target));  // no such component type
}

TEST(UdfMetadataMap, BlocksFollowTheFileExtentsAndGapsHaveNone) {
  udf::MetadataMap map;
  std::vector<udf::AllocDesc> ads;
  ads.push_back(udf::AllocDesc{4 * 2048, 0, 100, -1});
  ads.push_back(udf::AllocDesc{2 * 2048, 1, 0, -1});  // allocated, not recorded
  ads.push_back(udf::AllocDesc{3 * 2048 - 5, 0, 500, -1});
  ASSERT_EQ(map.Assign(ads, 2048), udf::MetadataMap::Build::Ok);
  EXPECT_EQ(map.Lookup(0), 100u);
  EXPECT_EQ(map.Lookup(3), 103u);
  EXPECT_EQ(map.RunFrom(1), 3u);
  EXPECT_FALSE(map.Lookup(4));
  EXPECT_EQ(map.Lookup(6), 500u);
  EXPECT_EQ(map.Lookup(8), 502u);
  EXPECT_FALSE(map.Lookup(9));
  EXPECT_FALSE(map.Lookup(0xFFFFFFFFu));
  EXPECT_EQ(map.Assign({}, 2048), udf::MetadataMap::Build::NotAFile);
}

TEST(UdfBlockReader, EverySizeReadsItsBytesFromSectors) {
  Sectors s;
  s.bytes.resize(8 * 2048);
  for (std::size_t i = 0; i < s.bytes.size(); ++i) s.bytes[i] = static_cast<std::uint8_t>(i / 512);
  for (std::uint32_t size : {512u, 1024u, 2048u, 4096u}) {
    udf::BlockReader r(s, size);
    std::vector<std::uint8_t> block(size);
    ASSERT_TRUE(r.Read(3, block.data())) << size;
    EXPECT_EQ(block.front(), static_cast<std::uint8_t>(3 * size / 512)) << size;
    EXPECT_EQ(block.back(), static_cast<std::uint8_t>((4 * size - 1) / 512)) << size;
    EXPECT_FALSE(r.Read(8 * 2048 / size, block.data())) << size;  // past the end
  }
}

TEST(UdfSessionEnd, AfterTheVatElseThePartition) {
  EXPECT_EQ(udf::SessionEndBlock(288, 3712, std::nullopt), 4000u);
  EXPECT_EQ(udf::SessionEndBlock(288, 3712, 319u), 320u);
}
