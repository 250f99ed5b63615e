// The named fields of the MMC records, the raw sector rule, MSF arithmetic and
// the lead-out question of the model.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disc/DiscModel.h"
#include "disc/MmcRecords.h"
#include "disc/Msf.h"
#include "disc/SectorLayout.h"
#include "platform/orvane/CdSector.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/MemoryImage.h"

namespace {

std::unique_ptr<CDevCmdROM> Drive(orvane::DiscLayout layout) {
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(std::move(layout), "memory"));
}

}  // namespace

TEST(MmcRecords, TrackAndSessionNumbersKeepTheirHighBytes) {
  // As a drive answers for track 300 of session 258 of a BD-R: the low bytes
  // alone would say track 44 of session 2.
  TRACK_INFO ti{};
  ti.data[2] = 0x2C, ti.data[32] = 0x01;
  ti.data[3] = 0x02, ti.data[33] = 0x01;
  ti.data[5] = 0x14;  // damage/copy bits above a data track's mode
  ti.data[6] = 0x22;  // packet bit above data mode 2
  ti.data[7] = 0x01;
  PutBE32(ti.data + 8, 0x01020304);
  PutBE32(ti.data + 12, 0x0A0B0C0D);
  PutBE32(ti.data + 24, 0xFFFFFFF0);
  const mmc::TrackInfoFields t(ti);
  EXPECT_EQ(t.TrackNumber(), 300);
  EXPECT_EQ(t.SessionNumber(), 258);
  EXPECT_EQ(t.TrackMode(), 4);
  EXPECT_TRUE(t.IsDataTrack());
  EXPECT_EQ(t.DataMode(), 2);
  EXPECT_TRUE(t.NwaValid());
  EXPECT_EQ(t.Nwa(), 0x0A0B0C0Du);
  EXPECT_EQ(t.Start(), 0x01020304u);
  EXPECT_EQ(t.End(), 0x01020304ull + 0xFFFFFFF0ull);  // no 32-bit wrap

  DISC_INFO di{};
  di.data[2] = 0x0E;  // last session's state above the disc's: complete
  di.data[3] = 1;
  di.data[4] = 0x02, di.data[9] = 0x01;
  di.data[5] = 0x2B, di.data[10] = 0x01;
  di.data[6] = 0x2C, di.data[11] = 0x01;
  di.data[8] = 0xFF;
  const mmc::DiscInfoFields d(di);
  EXPECT_EQ(d.Status(), mmc::DiscStatus::Complete);
  EXPECT_EQ(d.FirstTrack(), 1);
  EXPECT_EQ(d.Sessions(), 258);
  EXPECT_EQ(d.FirstTrackInLastSession(), 299);
  EXPECT_EQ(d.LastTrackInLastSession(), 300);
  EXPECT_EQ(d.DiscType(), mmc::kDiscTypeNone);

  // What the device library fills in when a drive cannot answer itself.
  TRACK_INFO built;
  std::memset(built.data, 0xEE, sizeof built.data);
  mmc::PutTrackInfo(built, {300, 258, 0x04, 0x01, 150, 1000});
  const mmc::TrackInfoFields b(built);
  EXPECT_EQ(b.TrackNumber(), 300);
  EXPECT_EQ(b.SessionNumber(), 258);
  EXPECT_EQ(b.End(), 1150u);
  EXPECT_FALSE(b.NwaValid());
}

TEST(MmcRecords, AVirtualBdOf300SessionsAnswersWholeNumbers) {
  auto dev = Drive(testsupport::ManyTrackDisc(300, true));
  DISC_INFO di{};
  ASSERT_EQ(dev->ReadDiscInfo(di), 0);
  EXPECT_EQ(mmc::DiscInfoFields(di).Sessions(), 300);
  EXPECT_EQ(mmc::DiscInfoFields(di).LastTrackInLastSession(), 300);
  for (int n : {255, 256, 300}) {
    TRACK_INFO ti{};
    ASSERT_EQ(dev->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, n), 0) << n;
    EXPECT_EQ(mmc::TrackInfoFields(ti).TrackNumber(), n);
    EXPECT_EQ(mmc::TrackInfoFields(ti).SessionNumber(), n);
    EXPECT_EQ(mmc::TrackInfoFields(ti).Start(), static_cast<std::uint32_t>((n - 1) * 2));
  }
  TRACK_INFO none{};
  EXPECT_NE(dev->ReadTrackInfo(none, READ_TRACK_INFO_TRACK, 301), 0);
}

TEST(MmcRecords, CdTextItemsStayInsideTheirFields) {
  static FS_CDTEXT_INFO info;
  std::memset(&info, 0, sizeof info);
  // 159 ASCII bytes and a two-byte character: the character does not fit the
  // 160-byte field with its NUL and is left out whole.
  const std::string title = std::string(159, 'a') + "\xC3\xA9";
  mmc::PutCdTextField(info, 99, mmc::CdTextItem::Title, title);
  mmc::PutCdTextField(info, 99, mmc::CdTextItem::Performer, "P");
  mmc::PutCdTextField(info, 99, mmc::CdTextItem::Isrc, "USABC12345678XYZW");  // 17: one too many
  mmc::PutCdTextField(info, 100, mmc::CdTextItem::Title, "nowhere");
  mmc::PutCdTextField(info, -1, mmc::CdTextItem::Title, "nowhere");
  EXPECT_EQ(mmc::CdTextField(info, 99, mmc::CdTextItem::Title), std::string(159, 'a'));
  EXPECT_EQ(mmc::CdTextField(info, 99, mmc::CdTextItem::Performer), "P");
  EXPECT_EQ(mmc::CdTextField(info, 99, mmc::CdTextItem::Isrc), "USABC12345678XYZ");
  EXPECT_EQ(mmc::CdTextField(info, 98, mmc::CdTextItem::Title), "");
  EXPECT_EQ(mmc::CdTextField(info, 100, mmc::CdTextItem::Title), "");
  // The last entry's ISRC ends at the record's last byte used.
  EXPECT_EQ(info.data[kCdTextEntryOffset + kCdTextEntrySize * 99 + 800 + 16], 0);
}

TEST(MmcRecords, ConfigurationAndCapabilityPage) {
  unsigned char cfg[16] = {};
  PutBE32(cfg, 12);  // header and one 4-byte feature
  PutBE16(cfg + 6, 0x41);
  PutBE16(cfg + 8, mmc::kFeatureDvdMinusRwWrite);
  EXPECT_EQ(mmc::CurrentProfile(cfg), 0x41);
  EXPECT_TRUE(mmc::ConfigHasFeature(cfg, sizeof cfg, mmc::kFeatureDvdMinusRwWrite));
  EXPECT_FALSE(mmc::ConfigHasFeature(cfg, sizeof cfg, mmc::kFeatureDvdPlusRw));
  EXPECT_FALSE(mmc::ConfigHasFeature(cfg, 11, mmc::kFeatureDvdMinusRwWrite));  // cut before the feature ends

  PARAM_PAGE_READ page{};
  page.data[0] = 0xC0;
  mmc::SetModePageCode(page, mmc::kModePageCapabilities);
  EXPECT_EQ(page.data[0], 0xEA);  // PS and SPF bits kept
  EXPECT_EQ(mmc::ModePageCode(page), 0x2A);
  page.data[2] = 0x3B;
  EXPECT_TRUE(mmc::PageBitSet(page.data, mmc::cap::kDvdRamRead));
  EXPECT_TRUE(mmc::PageBitSet(page.data, mmc::cap::kCdRRead));
  EXPECT_FALSE(mmc::PageBitSet(page.data, mmc::cap::kCdRWrite));
}

TEST(LeadOut, AbsentIsNotZero) {
  TocData s(1);
  TocData::_Data a0;
  a0.b[2] = mmc::kPointFirstTrack;
  a0.b[7] = 1;
  s.add(a0);
  EXPECT_FALSE(s.FindLeadOutStartPos().has_value());
  EXPECT_EQ(s.GetLeadOutStartPos(), 0u);
  EXPECT_EQ(s.GetLeadOutData(), nullptr);
  // A lead-out at 00:02:00 is LBA 0: there, but 0 all the same.
  TocData::_Data a2;
  a2.b[2] = mmc::kPointLeadOut;
  a2.b[8] = 2;
  s.add(a2);
  ASSERT_TRUE(s.FindLeadOutStartPos().has_value());
  EXPECT_EQ(*s.FindLeadOutStartPos(), 0);
  EXPECT_EQ(s.GetLeadOutStartPos(), 0u);
  EXPECT_EQ(s.GetLeadOutData(), &s[1]);
}

TEST(SectorRule, SyncAndHeaderDecideTheDataModeStandsIn) {
  std::vector<std::uint8_t> user(disc::kForm2PayloadSize, 0x5A);  // room for a Form 2 payload
  std::uint8_t s[disc::kRawSectorSize];
  const std::uint8_t form2[4] = {0, 0, 0x20, 0};

  orvane::BuildMode1Sector(s, 100, user.data());
  for (int dataMode : {1, 2}) {
    const disc::SectorShape shape = disc::ClassifySector(s, dataMode);
    EXPECT_TRUE(shape.synced);
    EXPECT_EQ(shape.mode, 1);  // the header's word, whatever the disc's mode
    EXPECT_EQ(shape.offset, disc::kMode1UserOffset);
    EXPECT_EQ(shape.size, disc::kUserDataSize);
  }
  orvane::BuildMode2Form2Sector(s, 100, form2, user.data());
  const disc::SectorShape f2 = disc::ClassifySector(s, 1);
  EXPECT_EQ(f2.mode, 2);
  EXPECT_TRUE(f2.form2);
  EXPECT_EQ(f2.offset, disc::kMode2UserOffset);
  EXPECT_EQ(f2.size, disc::kForm2PayloadSize);

  // A header mode byte that is neither 1 nor 2: the data mode stands in.
  s[disc::kHeaderModeOffset] = 0;
  EXPECT_EQ(disc::ClassifySector(s, 1).offset, disc::kMode1UserOffset);
  EXPECT_EQ(disc::ClassifySector(s, 2).offset, disc::kMode2UserOffset);

  // No sync, or a sync damaged at either end, in the middle: user data as the
  // drive returned it, from offset 0 (bytes 1 to 10 alone prove nothing).
  orvane::BuildMode1Sector(s, 100, user.data());
  for (std::size_t at : {std::size_t{0}, std::size_t{5}, std::size_t{11}}) {
    std::uint8_t damaged[disc::kRawSectorSize];
    std::memcpy(damaged, s, sizeof damaged);
    damaged[at] ^= 0x01;
    const disc::SectorShape shape = disc::ClassifySector(damaged, 2);
    EXPECT_FALSE(shape.synced) << at;
    EXPECT_EQ(shape.offset, 0u) << at;
    EXPECT_EQ(shape.size, disc::kUserDataSize) << at;
    // Bytes known to be a stored raw sector keep the raw layout; the track's
    // mode names it, not the header behind the broken sync.
    EXPECT_EQ(disc::ClassifyRawSector(damaged, 2).offset, disc::kMode2UserOffset) << at;
    EXPECT_EQ(disc::ClassifyRawSector(damaged, 1).offset, disc::kMode1UserOffset) << at;
  }
  std::memset(s, 0, sizeof s);
  EXPECT_FALSE(disc::HasSync(s));
  EXPECT_EQ(disc::ClassifySector(s, 2).offset, 0u);
}

TEST(MsfArithmetic, BothWaysAcrossProgramAreaAndLeadIn) {
  EXPECT_EQ(disc::MsfToLba(0, 2, 0), 0);
  EXPECT_EQ(disc::MsfToLba(0, 1, 74), -1);
  EXPECT_EQ(disc::MsfToLba(89, 59, 74), 404849);
  EXPECT_EQ(disc::MsfToLba(90, 0, 0), -45150);
  EXPECT_EQ(disc::MsfToLba(0xFF, 0xFF, 0xFF), disc::kNoPosition);
  for (std::int32_t lba : {-150, -1, 0, 74, 75, 4499, 404849, -151, -45150}) {
    const disc::Msf m = disc::LbaToMsf(lba);
    EXPECT_EQ(disc::MsfToLba(m.m, m.s, m.f), lba) << lba;
  }
  const disc::Msf leadIn = disc::LbaToMsf(-151);
  EXPECT_EQ(leadIn.m, 99);
  EXPECT_EQ(leadIn.s, 59);
  EXPECT_EQ(leadIn.f, 74);
  EXPECT_EQ(disc::MsfToFrames(1, 2, 3), 4653);
  const disc::Msf big = disc::FramesToMsf(450000 + 76);  // minutes are not wrapped at 100
  EXPECT_EQ(big.m, 100);
  EXPECT_EQ(big.s, 1);
  EXPECT_EQ(big.f, 1);
}
