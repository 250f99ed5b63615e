// The command layer driven against the virtual drive over layouts built in
// memory: MMC answers byte by byte, the sense of every refusal, allocation
// lengths, raw sector synthesis and CD-TEXT both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/CdSector.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

namespace {

using orvane::StoredFormat;
using orvane::TrackMode;
using testsupport::Bytes;
using testsupport::MemoryImageFile;

std::unique_ptr<CDevCmdROM> Drive(orvane::DiscLayout l) {
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(std::move(l), "test.img"));
}

void ExpectSense(const CDevCmdROM& d, int key, int asc, int ascq) {
  const auto s = d.GetSenseData();
  EXPECT_EQ(s.key, key);
  EXPECT_EQ(s.asc, asc);
  EXPECT_EQ(s.ascq, ascq);
  EXPECT_EQ(s.value, 2u);  // CHECK CONDITION
}

// An ISO-style data track of 300 sectors, then two audio tracks.
orvane::DiscLayout MixedDisc(std::shared_ptr<MemoryImageFile>* dataFile = nullptr) {
  auto data = std::make_shared<MemoryImageFile>(testsupport::PatternSectors(0, 300));
  auto audio = std::make_shared<MemoryImageFile>(testsupport::AudioSectors(200));
  if (dataFile) *dataFile = data;
  auto t1 = testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 300, data, StoredFormat::UserData2048, 2048);
  auto t2 = testsupport::MemoryTrack(2, TrackMode::Audio, 450, 100, audio, StoredFormat::Audio2352, 2352, 150);
  auto t3 = testsupport::MemoryTrack(3, TrackMode::Audio, 550, 100, audio, StoredFormat::Audio2352, 2352);
  t3.extents[0].offset = 100 * 2352;
  return testsupport::MemoryDisc({t1, t2, t3});
}

TEST(VirtualDrive, InquiryAndReadiness) {
  auto d = Drive(MixedDisc());
  INQUIRYDATA inq{};
  ASSERT_EQ(d->Inquiry(inq), 0);
  EXPECT_EQ(inq.data[0], 0x05);
  EXPECT_EQ(inq.data[1] & 0x80, 0x80);
  EXPECT_EQ(inq.data[4], 31);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inq.data + 8), 8), "TESSAL  ");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inq.data + 16), 13), "VIRTUAL DRIVE");
  EXPECT_EQ(d->TestUnitReady(), 0);

  // Removal prevented: eject refused; allowed: the tray opens and the medium
  // commands say so; load closes it again.
  ASSERT_EQ(d->Lock(true), 0);
  EXPECT_NE(d->Eject(true), 0);
  ExpectSense(*d, 0x05, 0x53, 0x02);
  ASSERT_EQ(d->Lock(false), 0);
  ASSERT_EQ(d->Eject(true), 0);
  EXPECT_NE(d->TestUnitReady(), 0);
  ExpectSense(*d, 0x02, 0x3A, 0x02);
  unsigned char buf[2048];
  EXPECT_NE(d->ReadCD_10(buf, sizeof buf, 1, 0), 0);
  EXPECT_EQ(d->GetMediumType(), 0);
  ASSERT_EQ(d->Eject(false), 0);
  EXPECT_EQ(d->TestUnitReady(), 0);
  EXPECT_EQ(d->GetMediumType(), 0x08);

  ScsiCommand unknown;
  unknown.cdb[0] = 0xA8;  // READ(12): not served
  unknown.cdbLength = 12;
  EXPECT_NE(d->Send(unknown), 0);
  ExpectSense(*d, 0x05, 0x20, 0x00);
}

TEST(VirtualDrive, TocFormatsZeroAndOne) {
  auto d = Drive(MixedDisc());
  unsigned char toc[1024] = {};
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 0, 0), 0);
  const std::uint8_t want[] = {0x00, 0x22, 1, 3,                        //
                               0, 0x14, 1, 0, 0, 0, 0x00, 0x00,         // track 1 at 0, data
                               0, 0x10, 2, 0, 0, 0, 0x01, 0xC2,         // track 2 at 450, audio
                               0, 0x10, 3, 0, 0, 0, 0x02, 0x26,         // track 3 at 550
                               0, 0x10, 0xAA, 0, 0, 0, 0x02, 0x8A};     // lead-out at 650
  EXPECT_EQ(std::vector<std::uint8_t>(toc, toc + sizeof want), std::vector<std::uint8_t>(want, want + sizeof want));

  // From track 3 on; past the last track is refused.
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 0, 3), 0);
  EXPECT_EQ(GetBE16(toc), 2 + 16);
  EXPECT_EQ(toc[6], 3);
  EXPECT_NE(d->ReadToc(toc, sizeof toc, 0, 4), 0);
  ExpectSense(*d, 0x05, 0x24, 0x00);

  // A short allocation gets the head of the answer with the whole length.
  unsigned char head[6];
  std::memset(head, 0xEE, sizeof head);
  ASSERT_EQ(d->ReadToc(head, 4, 0, 0), 0);
  EXPECT_EQ(GetBE16(head), 0x22);
  EXPECT_EQ(head[4], 0xEE);

  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 1, 0), 0);
  const std::uint8_t session[] = {0, 10, 1, 1, 0, 0x14, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(toc, toc + 12), std::vector<std::uint8_t>(session, session + 12));
}

orvane::DiscLayout TwoSessionDisc() {
  auto f = std::make_shared<MemoryImageFile>(testsupport::PatternSectors(0, 100));
  auto t1 = testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 100, f, StoredFormat::UserData2048, 2048);
  auto t2 = testsupport::MemoryTrack(2, TrackMode::Mode2Xa, 11500, 100, f, StoredFormat::UserData2048, 2048, 150, 2);
  orvane::DiscLayout l = testsupport::MemoryDisc({t1, t2}, 0x09);
  l.sessions = {{1, 0x20, 100}, {2, 0x20, 11600}};
  return l;
}

TEST(VirtualDrive, FullTocOfTwoSessions) {
  auto d = Drive(TwoSessionDisc());
  unsigned char toc[1024] = {};
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 2, 0), 0);
  const std::size_t n = (GetBE16(toc) - 2) / 11;
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 2);
  auto find = [&](int session, int point) -> const unsigned char* {
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char* e = toc + 4 + 11 * i;
      if (e[0] == session && e[3] == point) return e;
    }
    return nullptr;
  };
  const unsigned char* a0 = find(1, 0xA0);
  ASSERT_TRUE(a0);
  EXPECT_EQ(a0[8], 1);     // first track
  EXPECT_EQ(a0[9], 0x20);  // CD-ROM XA
  const unsigned char* a2 = find(1, 0xA2);
  ASSERT_TRUE(a2);
  EXPECT_EQ(a2[8], 0);  // lead-out 100 + 150 = 00:03:25
  EXPECT_EQ(a2[9], 3);
  EXPECT_EQ(a2[10], 25);
  const unsigned char* b0 = find(1, 0xB0);
  ASSERT_TRUE(b0);
  EXPECT_EQ(b0[1] >> 4, 5);  // mode-5 pointer
  // Next program area: session 2's first track pregap at 11350 = 02:33:25.
  EXPECT_EQ(b0[4], 2);
  EXPECT_EQ(b0[5], 33);
  EXPECT_EQ(b0[6], 25);
  EXPECT_TRUE(find(1, 0xC0));
  EXPECT_FALSE(find(2, 0xB0));  // a closed last session offers no next one
  const unsigned char* t2 = find(2, 2);
  ASSERT_TRUE(t2);
  EXPECT_EQ(t2[1], 0x14);
  EXPECT_EQ(t2[8], 2);  // 11500 + 150 = 02:35:25
  EXPECT_EQ(t2[9], 35);
  EXPECT_EQ(t2[10], 25);
  EXPECT_EQ(find(2, 0xA1)[8], 2);

  // Sessions: the last session's first track.
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 1, 0), 0);
  EXPECT_EQ(toc[3], 2);
  EXPECT_EQ(toc[6], 2);
  EXPECT_EQ(GetBE32(toc + 8), 11500u);

  // A DVD has no full TOC, as a DVD drive answers.
  auto dvd = testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 100, std::make_shared<MemoryImageFile>(Bytes(204800)),
                                StoredFormat::UserData2048, 2048)},
      0x10);
  auto dd = Drive(dvd);
  EXPECT_NE(dd->ReadToc(toc, sizeof toc, 2, 0), 0);
  ExpectSense(*dd, 0x05, 0x24, 0x00);
  EXPECT_EQ(dd->ReadToc(toc, sizeof toc, 0, 0), 0);
}

TEST(VirtualDrive, DiscAndTrackInformation) {
  auto d = Drive(TwoSessionDisc());
  DISC_INFO di{};
  ASSERT_EQ(d->ReadDiscInfo(di), 0);
  EXPECT_EQ(GetBE16(di.data), 32);
  EXPECT_EQ(di.data[2], 0x0E);  // complete disc, complete last session, not erasable
  EXPECT_EQ(di.data[3], 1);
  EXPECT_EQ(di.data[4], 2);
  EXPECT_EQ(di.data[5], 2);
  EXPECT_EQ(di.data[6], 2);
  EXPECT_EQ(di.data[8], 0x20);

  TRACK_INFO ti{};
  ASSERT_EQ(d->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 2), 0);
  EXPECT_EQ(ti.data[2], 2);
  EXPECT_EQ(ti.data[3], 2);
  EXPECT_EQ(ti.data[5], 0x04);
  EXPECT_EQ(ti.data[6] & 0x0F, 0x02);
  EXPECT_EQ(GetBE32(ti.data + 8), 11500u);
  EXPECT_EQ(GetBE32(ti.data + 24), 100u);
  EXPECT_EQ(ti.data[7], 0);
  ASSERT_EQ(d->ReadTrackInfo(ti, READ_TRACK_INFO_LBA, 50), 0);
  EXPECT_EQ(ti.data[2], 1);
  EXPECT_EQ(ti.data[6] & 0x0F, 0x01);
  ASSERT_EQ(d->ReadTrackInfo(ti, READ_TRACK_INFO_SESSION, 2), 0);
  EXPECT_EQ(ti.data[2], 2);
  EXPECT_NE(d->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 3), 0);
  ExpectSense(*d, 0x05, 0x24, 0x00);

  // An open track: NWA valid with its address, the disc incomplete.
  auto open = TwoSessionDisc();
  open.discStatus = 1;
  open.tracks[1].nextWritable = 11607;
  auto o = Drive(open);
  ASSERT_EQ(o->ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, 2), 0);
  EXPECT_EQ(ti.data[7] & 0x01, 0x01);
  EXPECT_EQ(GetBE32(ti.data + 12), 11607u);
  ASSERT_EQ(o->ReadDiscInfo(di), 0);
  EXPECT_EQ(di.data[2] & 0x03, 1);
  EXPECT_EQ((di.data[2] >> 2) & 0x03, 1);
  EXPECT_EQ(di.data[21], 79);
}

// The mixed disc with sectors 200 and 201 unreadable; file is its data track's.
std::unique_ptr<CDevCmdROM> MixedDriveBadAt200(std::shared_ptr<MemoryImageFile>& file) {
  auto l = MixedDisc(&file);
  l.badSectors.push_back({200, 2});
  return Drive(l);
}

TEST(VirtualDrive, Read10DataRefusalsAndRuns) {
  std::shared_ptr<MemoryImageFile> file;
  auto d = MixedDriveBadAt200(file);
  std::vector<unsigned char> buf(16 * 2048);
  const int before = file->Reads();
  ASSERT_EQ(d->ReadCD_10(buf.data(), static_cast<int>(buf.size()), 16, 32), 0);
  EXPECT_EQ(file->Reads() - before, 1);  // one file read for the run
  const Bytes want = testsupport::PatternSectors(32, 16);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), buf.begin()));

  EXPECT_NE(d->ReadCD_10(buf.data(), 2048, 1, 450), 0);  // audio
  ExpectSense(*d, 0x05, 0x64, 0x00);
  EXPECT_NE(d->ReadCD_10(buf.data(), 2048, 1, 650), 0);  // lead-out
  ExpectSense(*d, 0x05, 0x21, 0x00);
  EXPECT_NE(d->ReadCD_10(buf.data(), 4 * 2048, 4, 198), 0);  // runs into the bad sectors
  ExpectSense(*d, 0x03, 0x11, 0x05);
  EXPECT_NE(d->ReadCD_10(buf.data(), 2048, 1, 320), 0);  // the audio track's pregap
  ExpectSense(*d, 0x05, 0x64, 0x00);
  auto two = Drive(TwoSessionDisc());
  EXPECT_NE(two->ReadCD_10(buf.data(), 2048, 1, 5000), 0);  // between the sessions, on no track
  ExpectSense(*two, 0x05, 0x21, 0x00);
  EXPECT_NE(two->ReadCD_All(buf.data(), 2352, 1, 5000), 0);
  ExpectSense(*two, 0x05, 0x21, 0x00);

  // Holes given out of order and overlapping: every sector inside fails,
  // every sector between them reads.
  auto holes = MixedDisc();
  holes.badSectors = {{120, 3}, {100, 5}, {102, 10}, {90, 0}, {130, 1}};
  auto h = Drive(holes);
  for (std::int32_t lba = 85; lba < 135; ++lba) {
    const bool bad = (lba >= 100 && lba < 112) || (lba >= 120 && lba < 123) || lba == 130;
    EXPECT_EQ(h->ReadCD_10(buf.data(), 2048, 1, static_cast<std::uint32_t>(lba)) != 0, bad) << lba;
    EXPECT_EQ(h->ReadCD_All(buf.data(), 2352, 1, static_cast<std::uint32_t>(lba)) != 0, bad) << lba;
  }
  EXPECT_EQ(h->ReadCD_10(buf.data(), 8 * 2048, 8, 112), 0);
  EXPECT_NE(h->ReadCD_10(buf.data(), 9 * 2048, 9, 112), 0);

  // A buffer smaller than the sectors asked is refused before anything is sent.
  EXPECT_NE(d->ReadCD_10(buf.data(), 2047, 1, 0), 0);
  EXPECT_FALSE(d->GetLastError().empty());

  // A file that ends before the layout does: a read error, not garbage.
  auto shortFile = std::make_shared<MemoryImageFile>(Bytes(10 * 2048 + 100));
  auto s = Drive(testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 20, shortFile, StoredFormat::UserData2048, 2048)}));
  EXPECT_EQ(s->ReadCD_10(buf.data(), 2048, 1, 9), 0);
  EXPECT_NE(s->ReadCD_10(buf.data(), 2048, 1, 10), 0);
  ExpectSense(*s, 0x03, 0x11, 0x05);
}

// A scan's run of 16-sector reads is served from windows read ahead of it,
// with the same bytes and the same refusals as reads of their own.
TEST(VirtualDrive, SequentialReadsComeThroughTheReadAheadWindow) {
  std::shared_ptr<MemoryImageFile> file;
  auto d = MixedDriveBadAt200(file);
  std::vector<unsigned char> buf(16 * 2048);
  const int before = file->Reads();
  for (std::uint32_t lba = 0; lba < 300; lba += 16) {
    const std::uint32_t n = std::min<std::uint32_t>(16, 300 - lba);
    const bool bad = lba <= 201 && lba + n > 200;
    ASSERT_EQ(d->ReadCD_10(buf.data(), static_cast<int>(n * 2048), static_cast<int>(n), lba) != 0, bad) << lba;
    if (bad) {
      ExpectSense(*d, 0x03, 0x11, 0x05);  // its bytes are in the window, and still refused
      continue;
    }
    const Bytes want = testsupport::PatternSectors(lba, n);
    ASSERT_TRUE(std::equal(want.begin(), want.end(), buf.begin())) << lba;
    // A read elsewhere between two of the run's reads gets its own bytes.
    if (lba == 64) {
      ASSERT_EQ(d->ReadCD_10(buf.data(), 2048, 1, 5), 0);
      const Bytes five = testsupport::PatternSectors(5, 1);
      EXPECT_TRUE(std::equal(five.begin(), five.end(), buf.begin()));
    }
  }
  // 19 commands and a read of sector 5; the 600 KB of the track take a few windows.
  EXPECT_LE(file->Reads() - before, 8);

  // A file that ends inside a window: the sectors it holds read, the next fails.
  auto shortFile = std::make_shared<MemoryImageFile>(testsupport::PatternSectors(0, 10));
  auto s = Drive(testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 20, shortFile, StoredFormat::UserData2048, 2048)}));
  EXPECT_EQ(s->ReadCD_10(buf.data(), 4 * 2048, 4, 0), 0);
  EXPECT_EQ(s->ReadCD_10(buf.data(), 4 * 2048, 4, 4), 0);
  EXPECT_NE(s->ReadCD_10(buf.data(), 4 * 2048, 4, 8), 0);
  ExpectSense(*s, 0x03, 0x11, 0x05);
  EXPECT_EQ(s->ReadCD_10(buf.data(), 2 * 2048, 2, 8), 0);
  const Bytes tail = testsupport::PatternSectors(8, 2);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), buf.begin()));

  // Two tracks in two files: a window of one is never served for the other,
  // though the same offsets follow each other in both.
  auto one = std::make_shared<MemoryImageFile>(testsupport::PatternSectors(0, 20));
  auto two = std::make_shared<MemoryImageFile>(testsupport::PatternSectors(100, 20));
  auto t = Drive(testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 20, one, StoredFormat::UserData2048, 2048),
       testsupport::MemoryTrack(2, TrackMode::Mode1, 100, 20, two, StoredFormat::UserData2048, 2048)}));
  for (const std::uint32_t lba : {16u, 17u, 18u, 116u, 117u, 118u, 16u, 17u}) {
    ASSERT_EQ(t->ReadCD_10(buf.data(), 2048, 1, lba), 0) << lba;
    const Bytes want = testsupport::PatternSectors(lba, 1);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), buf.begin())) << lba;
  }
}

bool ValidMode1(const unsigned char* s) {
  return orvane::ComputeEdc(s, 2064) == GetLE32(s + 2064) && s[15] == 1;
}

TEST(VirtualDrive, ReadCdSynthesisesRawSectorsOfCookedData) {
  auto d = Drive(MixedDisc());
  std::vector<unsigned char> raw(4 * 2352);
  ASSERT_EQ(d->ReadCD_All(raw.data(), static_cast<int>(raw.size()), 4, 20), 0);
  const Bytes user = testsupport::PatternSectors(20, 4);
  for (int i = 0; i < 4; ++i) {
    const unsigned char* s = raw.data() + i * 2352;
    EXPECT_TRUE(ValidMode1(s)) << i;
    EXPECT_EQ(orvane::FromBcd(s[14]), (20 + i + 150) % 75);
    EXPECT_TRUE(std::equal(s + 16, s + 2064, user.begin() + i * 2048));
    // The synthesised parity equals a sector built from the same data.
    std::uint8_t ref[2352];
    orvane::BuildMode1Sector(ref, 20 + i, user.data() + i * 2048);
    EXPECT_EQ(std::memcmp(ref, s, 2352), 0);
  }
  // User data by READ CD, and audio as PCM.
  std::vector<unsigned char> u(2048);
  ASSERT_EQ(d->ReadCD_Data(u.data(), 2048, 1, 21), 0);
  EXPECT_TRUE(std::equal(u.begin(), u.end(), user.begin() + 2048));
  ASSERT_EQ(d->ReadCD_All(raw.data(), 2352, 1, 460), 0);
  const Bytes pcm = testsupport::AudioSectors(200);
  EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 2352, pcm.begin() + 10 * 2352));
  // Pregap not stored: silence.
  ASSERT_EQ(d->ReadCD_All(raw.data(), 2352, 1, 400), 0);
  EXPECT_TRUE(std::all_of(raw.begin(), raw.begin() + 2352, [](unsigned char b) { return b == 0; }));
}

// Sends READ CD with the given expected type, field byte and sub-channel.
int ReadCd(CDevCmdROM& d, std::uint32_t lba, int type, std::uint8_t fields, std::uint8_t sub, unsigned char* out,
           std::size_t bytes) {
  ScsiCommand c;
  c.cdb[0] = 0xBE;
  c.cdb[1] = static_cast<std::uint8_t>(type << 2);
  PutBE32(c.cdb + 2, lba);
  c.cdb[8] = 1;
  c.cdb[9] = fields;
  c.cdb[10] = sub;
  c.cdbLength = 12;
  c.direction = DataDirection::FromDevice;
  c.data = out;
  c.dataLength = bytes;
  return d.Send(c);
}

TEST(VirtualDrive, ReadCdFieldsTypesAndForm2) {
  // A raw Mode 2 track: a Form 1 then a Form 2 sector.
  Bytes raw = testsupport::RawTrack(0, 1, testsupport::RawMode::Mode2Form1);
  Bytes f2 = testsupport::RawTrack(1, 1, testsupport::RawMode::Mode2Form2);
  raw.insert(raw.end(), f2.begin(), f2.end());
  auto file = std::make_shared<MemoryImageFile>(raw);
  auto l = testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, TrackMode::Mode2Xa, 0, 2, file, StoredFormat::Raw2352, 2352)});
  auto d = Drive(l);
  std::vector<unsigned char> out(3000, 0xEE);

  ASSERT_EQ(ReadCd(*d, 1, 5, 0x10, 0, out.data(), out.size()), 0);  // Form 2 user data: 2324 bytes
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2324, raw.begin() + 2352 + 24));
  EXPECT_EQ(out[2324], 0xEE);
  EXPECT_NE(ReadCd(*d, 1, 4, 0x10, 0, out.data(), out.size()), 0);  // not Form 1
  ExpectSense(*d, 0x05, 0x64, 0x00);
  EXPECT_NE(ReadCd(*d, 0, 2, 0x10, 0, out.data(), out.size()), 0);  // not Mode 1
  ExpectSense(*d, 0x05, 0x64, 0x00);

  std::fill(out.begin(), out.end(), 0xEE);
  ASSERT_EQ(ReadCd(*d, 0, 0, 0x58, 0, out.data(), out.size()), 0);  // sub-header, user data, EDC/ECC
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2336, raw.begin() + 16));
  EXPECT_EQ(out[2336], 0xEE);
  std::fill(out.begin(), out.end(), 0xEE);
  ASSERT_EQ(ReadCd(*d, 0, 0, 0xA0, 0, out.data(), out.size()), 0);  // sync and header only
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, raw.begin()));
  EXPECT_EQ(out[16], 0xEE);
  std::fill(out.begin(), out.end(), 0xEE);
  ASSERT_EQ(ReadCd(*d, 0, 0, 0xFA, 0x02, out.data(), out.size()), 0);  // + C2 + Q
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2352, raw.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 2352, out.begin() + 2352 + 294, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(out[2352 + 294], 0x41);  // Q of a data track, after the C2 bits
  EXPECT_EQ(out[2352 + 294 + 16], 0xEE);

  // Form 2 data into a buffer sized for 2048 bytes a sector: cut, never overrun.
  std::vector<unsigned char> small(2048 + 8, 0xEE);
  ASSERT_EQ(d->ReadCD_Data(small.data(), 2048, 1, 1), 0);
  EXPECT_EQ(small[2048], 0xEE);
  EXPECT_NE(ReadCd(*d, 0, 7, 0x10, 0, out.data(), out.size()), 0);
  ExpectSense(*d, 0x05, 0x24, 0x00);
}

// CRC-16 CCITT by long division: the message followed by 16 zero bits,
// divided by x^16 + x^12 + x^5 + 1; the remainder.
std::uint16_t DividedCrc(const std::uint8_t* d, std::size_t n) {
  std::vector<int> bits;
  for (std::size_t i = 0; i < n; ++i)
    for (int b = 7; b >= 0; --b) bits.push_back((d[i] >> b) & 1);
  bits.resize(bits.size() + 16, 0);
  const int poly[17] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  for (std::size_t i = 0; i + 16 < bits.size(); ++i)
    if (bits[i])
      for (int k = 0; k < 17; ++k) bits[i + k] ^= poly[k];
  std::uint16_t r = 0;
  for (std::size_t i = bits.size() - 16; i < bits.size(); ++i) r = static_cast<std::uint16_t>((r << 1) | bits[i]);
  return r;
}

TEST(VirtualDrive, SynthesisedSubchannelQ) {
  auto d = Drive(MixedDisc());
  std::vector<unsigned char> out(2352 + 96);
  auto q = [&](std::uint32_t lba) {
    EXPECT_EQ(ReadCd(*d, lba, 0, 0xF8, 0x02, out.data(), out.size()), 0);
    return std::vector<std::uint8_t>(out.begin() + 2352, out.begin() + 2352 + 16);
  };
  // Track 2's pregap: index 0, counting down to its start at 450.
  auto p = q(400);
  EXPECT_EQ(p[0], 0x01);
  EXPECT_EQ(p[1], 0x02);
  EXPECT_EQ(p[2], 0x00);
  EXPECT_EQ((std::vector<std::uint8_t>(p.begin() + 3, p.begin() + 6)), (std::vector<std::uint8_t>{0, 0, 0x50}));
  EXPECT_EQ((std::vector<std::uint8_t>(p.begin() + 7, p.begin() + 10)), (std::vector<std::uint8_t>{0, 0x07, 0x25}));
  EXPECT_EQ(static_cast<std::uint16_t>(~DividedCrc(p.data(), 10)), GetBE16(&p[10]));
  auto a = q(460);
  EXPECT_EQ(a[2], 0x01);
  EXPECT_EQ(a[5], 0x10);
  EXPECT_EQ((std::vector<std::uint8_t>(a.begin() + 7, a.begin() + 10)), (std::vector<std::uint8_t>{0, 0x08, 0x10}));
  EXPECT_EQ(static_cast<std::uint16_t>(~DividedCrc(a.data(), 10)), GetBE16(&a[10]));
  auto data = q(5);
  EXPECT_EQ(data[0], 0x41);  // data track control
  // Raw P-W: P marks the pause.
  ASSERT_EQ(ReadCd(*d, 400, 0, 0x10, 0x01, out.data(), out.size()), 0);
  EXPECT_EQ(out[2352] & 0x80, 0x80);
  ASSERT_EQ(ReadCd(*d, 460, 0, 0x10, 0x01, out.data(), out.size()), 0);
  EXPECT_EQ(out[2352] & 0x80, 0);
}

TEST(VirtualDrive, ConfigurationAndCapabilityPage) {
  auto d = Drive(MixedDisc());
  unsigned char cfg[512] = {};
  ASSERT_EQ(d->GetConfig(cfg, sizeof cfg), 0);
  const std::size_t len = GetBE32(cfg) + 4;
  ASSERT_LE(len, sizeof cfg);
  EXPECT_EQ(GetBE16(cfg + 6), 0x08);
  std::vector<int> codes;
  bool currentCd = false;
  for (std::size_t at = 8; at + 4 <= len; at += 4 + cfg[at + 3]) {
    const int code = GetBE16(cfg + at);
    codes.push_back(code);
    if (code == 0) {
      for (std::size_t p = at + 4; p < at + 4 + cfg[at + 3]; p += 4)
        if (GetBE16(cfg + p) == 0x08) currentCd = cfg[p + 2] & 1;
    }
    if (code == 0x1E) EXPECT_EQ(cfg[at + 2] & 1, 1);
    if (code == 0x1F) EXPECT_EQ(cfg[at + 2] & 1, 0);
  }
  EXPECT_TRUE(currentCd);
  for (int want : {0x00, 0x01, 0x02, 0x03, 0x10, 0x1E, 0x1F})
    EXPECT_NE(std::find(codes.begin(), codes.end(), want), codes.end()) << want;
  EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));

  PARAM_PAGE_READ page{};
  page.data[0] = 0x2A;
  SenseData_tag sense;
  ASSERT_EQ(d->GetParamPage(page, 1, sense), 0);
  EXPECT_EQ(page.data[0] & 0x3F, 0x2A);
  EXPECT_GE(page.data[1], 0x14);
  EXPECT_EQ(page.data[3], 0);           // writes nothing
  EXPECT_EQ(page.data[2] & 0x08, 0x08); // reads DVD-ROM
  page = {};
  page.data[0] = 0x01;
  EXPECT_NE(d->GetParamPage(page, 1, sense), 0);
  EXPECT_EQ(sense.key, 0x05);
  EXPECT_EQ(sense.asc, 0x24);
}

TEST(VirtualDrive, CdTextFromTextsAndFromPacks) {
  auto l = MixedDisc();
  l.cdText.resize(4);
  l.cdText[0].title = "Album \xC3\xA9t\xC3\xA9";  // UTF-8, Latin-1 on the disc
  l.cdText[0].performer = "Band";
  l.cdText[1].title = "A title long enough to run over more than one pack";
  l.cdText[2].title = "Two";
  l.cdText[3].title = "Three";
  l.cdText[2].performer = "Guest";
  l.cdText[3].isrc = "USABC1234567";
  l.cdText[1].message = "note";
  l.cdText[2].songwriter = "Writer";
  auto d = Drive(l);
  FS_CDTEXT_INFO info{};
  ASSERT_EQ(d->GetCDText(info), 0);
  auto field = [&](int track, int offset) {
    return std::string(reinterpret_cast<const char*>(info.data + kCdTextEntryOffset + kCdTextEntrySize * track + offset));
  };
  EXPECT_EQ(field(0, 0), l.cdText[0].title);
  EXPECT_EQ(field(0, 160), "Band");
  EXPECT_EQ(field(1, 0), l.cdText[1].title);
  EXPECT_EQ(field(1, 320), "note");
  EXPECT_EQ(field(2, 160), "Guest");
  EXPECT_EQ(field(2, 640), "Writer");
  EXPECT_EQ(field(3, 0), "Three");
  EXPECT_EQ(field(3, 800), "USABC1234567");
  EXPECT_EQ(field(1, 160), "");

  // Every pack carries a valid CRC; a damaged one drops only its text.
  auto packs = orvane::BuildCdTextPacks(l.cdText);
  ASSERT_EQ(packs.size() % 18, 0u);
  for (std::size_t i = 0; i < packs.size(); i += 18) EXPECT_TRUE(orvane::CdTextPackValid(&packs[i]));
  // Pack 0 is the first title pack (disc title and its start); damage it.
  packs[5] ^= 0x01;
  auto parsed = orvane::ParseCdTextPacks(packs.data(), packs.size());
  ASSERT_GE(parsed.size(), 4u);
  EXPECT_EQ(parsed[0].title, "");
  EXPECT_EQ(parsed[3].title, "Three");
  EXPECT_EQ(parsed[0].performer, "Band");

  // Recorded packs are served as they are, with the tab rule: "\t" repeats.
  std::vector<std::uint8_t> raw;
  auto pack = [&](std::uint8_t type, std::uint8_t track, std::uint8_t seq, const char* text12) {
    std::uint8_t p[18] = {type, track, seq, 0};
    std::memcpy(p + 4, text12, 12);
    const auto crc = orvane::CdTextPackCrc(p);
    p[16] = static_cast<std::uint8_t>(crc >> 8);
    p[17] = static_cast<std::uint8_t>(crc);
    raw.insert(raw.end(), p, p + 18);
  };
  pack(0x81, 0, 0, std::string("Disc\0Same\0\t\0", 12).data());
  auto l2 = MixedDisc();
  l2.cdTextPacks = raw;
  auto d2 = Drive(l2);
  FS_CDTEXT_INFO info2{};
  ASSERT_EQ(d2->GetCDText(info2), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info2.data + kCdTextEntryOffset + 160)), "Disc");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info2.data + kCdTextEntryOffset + kCdTextEntrySize * 2 + 160)),
            "Same");

  // No CD-TEXT: the format is refused.
  auto none = Drive(MixedDisc());
  EXPECT_NE(none->GetCDText(info2), 0);
  ExpectSense(*none, 0x05, 0x24, 0x00);
}

TEST(VirtualDrive, JudgesFileSystems) {
  auto disc = [](Bytes image) {
    const auto n = static_cast<std::uint32_t>(image.size() / 2048);
    return Drive(testsupport::MemoryDisc({testsupport::MemoryTrack(
        1, TrackMode::Mode1, 0, n, std::make_shared<MemoryImageFile>(std::move(image)), StoredFormat::UserData2048,
        2048)}));
  };
  auto put = [](Bytes& img, int sector, int type, const char* id) {
    std::uint8_t* s = img.data() + sector * 2048;
    std::memset(s, 0, 2048);
    s[0] = static_cast<std::uint8_t>(type);
    std::memcpy(s + 1, id, 5);
    s[6] = 1;
  };
  Bytes iso = testsupport::IsoVolume(300);
  EXPECT_EQ(disc(iso)->JudgeFileSystem(0), 1);

  Bytes unterminated = iso;
  std::fill(unterminated.begin() + 17 * 2048, unterminated.begin() + 18 * 2048, 0);
  EXPECT_EQ(disc(unterminated)->JudgeFileSystem(0), 0);
  Bytes late = Bytes(300 * 2048, 0);  // a set starting after 16 is none
  std::copy(iso.begin() + 16 * 2048, iso.begin() + 18 * 2048, late.begin() + 20 * 2048);
  EXPECT_EQ(disc(late)->JudgeFileSystem(0), 0);
  EXPECT_EQ(disc(late)->JudgeFileSystem(4), 1);  // ... unless the volume starts there

  Bytes both = iso;
  put(both, 18, 0, "BEA01");
  put(both, 19, 0, "NSR02");
  put(both, 20, 0, "TEA01");
  Bytes anchor = testsupport::UdfTagSector(2, 256);
  std::copy(anchor.begin(), anchor.end(), both.begin() + 256 * 2048);
  EXPECT_EQ(disc(both)->JudgeFileSystem(0), 3);

  Bytes udf(300 * 2048, 0);
  put(udf, 16, 0, "BEA01");
  put(udf, 17, 0, "NSR03");
  put(udf, 18, 0, "TEA01");
  std::copy(anchor.begin(), anchor.end(), udf.begin() + 256 * 2048);
  EXPECT_EQ(disc(udf)->JudgeFileSystem(0), 2);
  Bytes lateAnchor = udf;  // the anchor only at the last sector, and 256 before it
  std::fill(lateAnchor.begin() + 256 * 2048, lateAnchor.begin() + 257 * 2048, 0);
  std::copy(anchor.begin(), anchor.end(), lateAnchor.begin() + 299 * 2048);
  EXPECT_EQ(disc(lateAnchor)->JudgeFileSystem(0), 2);
  std::fill(lateAnchor.begin() + 299 * 2048, lateAnchor.end(), 0);
  std::copy(anchor.begin(), anchor.end(), lateAnchor.begin() + 43 * 2048);
  EXPECT_EQ(disc(lateAnchor)->JudgeFileSystem(0), 2);
  Bytes noAnchor = udf;
  noAnchor[256 * 2048 + 4] ^= 1;  // broken tag checksum
  EXPECT_EQ(disc(noAnchor)->JudgeFileSystem(0), 0);
  EXPECT_EQ(disc(Bytes(300 * 2048, 0))->JudgeFileSystem(0), 0);
  EXPECT_EQ(disc(Bytes(10 * 2048, 0))->JudgeFileSystem(0), 0);  // too small to hold the area
}

}  // namespace

namespace {

// Layouts no sound reader makes, as a damaged or crafted image might: every
// command answers with data or sense and never reads outside the file.
TEST(VirtualDrive, HostileLayoutsAnswerWithSense) {
  auto file = std::make_shared<MemoryImageFile>(Bytes(4 * 2352, 0x5A));
  std::vector<orvane::DiscLayout> layouts;
  {
    auto l = testsupport::MemoryDisc({testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 0xFFFFFFFFu, file,
                                                               StoredFormat::Raw2352, 2352)});
    layouts.push_back(l);
  }
  {
    auto l = testsupport::MemoryDisc({testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 100, file,
                                                               StoredFormat::UserData2048, 0)});  // stride 0
    layouts.push_back(l);
  }
  {
    auto l = testsupport::MemoryDisc({testsupport::MemoryTrack(1, TrackMode::Mode2Xa, 0, 100, file,
                                                               StoredFormat::Mode2_2336, 2336)});
    l.tracks[0].extents[0].offset = ~0ull - 100;  // past any file
    l.tracks[0].extents[0].hasSubchannel = true;
    l.tracks[0].extents[0].subchannelOffset = 5000;
    l.badSectors = {{-5, 0xFFFFFFFFu}};
    layouts.push_back(l);
  }
  {
    orvane::DiscLayout l;  // no tracks, no sessions
    layouts.push_back(l);
  }
  {
    auto l = testsupport::MemoryDisc({testsupport::MemoryTrack(200, TrackMode::Audio, 2000000000, 100, file,
                                                               StoredFormat::Audio2352BE, 2352, 5000, 7)});
    l.rawFullToc = {1, 2, 3};  // not a whole descriptor
    layouts.push_back(l);
  }
  std::vector<unsigned char> buf(16 * 2352 + 2352);
  for (std::size_t i = 0; i < layouts.size(); ++i) {
    auto d = Drive(layouts[i]);
    DISC_INFO di{};
    TRACK_INFO ti{};
    FS_CDTEXT_INFO text{};
    d->ReadDiscInfo(di);
    d->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1);
    d->ReadTrackInfo(ti, READ_TRACK_INFO_LBA, 0x7FFFFFFF);
    for (int format : {0, 1, 2, 5}) d->ReadToc(buf.data(), 2048, format, 0);
    d->GetCDText(text);
    for (std::uint32_t lba : {0u, 3u, 4u, 99u, 0x7FFFFFF0u, 0xFFFFFFF0u, 2000000050u}) {
      const int r10 = d->ReadCD_10(buf.data(), 16 * 2048, 16, lba);
      if (r10 != 0) EXPECT_NE(d->GetSenseData().key, 0) << i << " " << lba;
      const int rcd = d->ReadCD_All(buf.data(), 16 * 2352, 16, lba);
      if (rcd != 0) EXPECT_NE(d->GetSenseData().key, 0) << i << " " << lba;
    }
    EXPECT_EQ(d->JudgeFileSystem(0), 0) << i;
  }
  // The sectors the file does hold still read; the ones it lacks fail.
  auto d = Drive(layouts[0]);
  EXPECT_EQ(d->ReadCD_All(buf.data(), 4 * 2352, 4, 0), 0);
  EXPECT_NE(d->ReadCD_All(buf.data(), 2352, 1, 4), 0);
  ExpectSense(*d, 0x03, 0x11, 0x05);
}

}  // namespace
