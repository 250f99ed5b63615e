// What QEMU's emulated ATAPI drive showed of drives built before MMC: READ
// TOC formats read from the command's last byte, and no READ TRACK
// INFORMATION, whose record is then made from the TOC and must say what a
// drive that has the command says of the same disc.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

namespace {

using orvane::StoredFormat;
using orvane::TrackMode;
using testsupport::MemoryImageFile;

void Refuse(ScsiResult& r, std::uint8_t key, std::uint8_t asc) {
  r = ScsiResult{};
  r.status = 2;
  r.sense[0] = 0x70;
  r.sense[2] = key;
  r.sense[7] = 10;
  r.sense[12] = asc;
  r.senseLength = 18;
}

// A drive that answers like the virtual drive but refuses some commands, and
// counts what it was sent.
class RefusingDrive : public Transport {
 public:
  RefusingDrive(orvane::DiscLayout layout, std::set<int> refused, std::uint8_t asc = 0x20)
      : m_inner(orvane::CreateVirtualDrive(std::move(layout), "refusing.img")), m_refused(std::move(refused)), m_asc(asc) {}
  ScsiResult Execute(ScsiCommand& cmd) override {
    sent.push_back(cmd.cdb[0]);
    if (m_refused.count(cmd.cdb[0])) {
      ScsiResult r;
      Refuse(r, 0x05, m_asc);
      return r;
    }
    return m_inner->Execute(cmd);
  }
  std::string Describe() const override { return "refusing"; }
  std::vector<int> sent;

 private:
  std::unique_ptr<Transport> m_inner;
  std::set<int> m_refused;
  std::uint8_t m_asc;
};

struct Pair {
  std::unique_ptr<CDevCmdROM> native, fallback;
  RefusingDrive* refusing = nullptr;
};

// The same disc behind a drive with the command and one without.
Pair Drives(const std::function<orvane::DiscLayout()>& make, std::uint8_t asc = 0x20) {
  Pair p;
  p.native = std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(make(), "native.img"));
  auto t = std::make_unique<RefusingDrive>(make(), std::set<int>{0x52}, asc);
  p.refusing = t.get();
  p.fallback = std::make_unique<CDevCmdROM>(2, std::move(t));
  return p;
}

std::shared_ptr<MemoryImageFile> Data(std::uint32_t sectors) {
  return std::make_shared<MemoryImageFile>(testsupport::PatternSectors(0, sectors));
}

orvane::TrackLayout DataTrack(int n, std::int32_t start, std::uint32_t count, int session = 1,
                              TrackMode mode = TrackMode::Mode1) {
  return testsupport::MemoryTrack(n, mode, start, count, Data(count), StoredFormat::UserData2048, 2048, 0, session);
}

// The fields callers read: number, session, track mode, data mode, start, size.
void ExpectSameRecord(CDevCmdROM& native, CDevCmdROM& fallback, int type, int number) {
  SCOPED_TRACE("type " + std::to_string(type) + " number " + std::to_string(number));
  TRACK_INFO a{}, b{};
  ASSERT_EQ(native.ReadTrackInfo(a, type, number), 0);
  ASSERT_EQ(fallback.ReadTrackInfo(b, type, number), 0);
  EXPECT_EQ(GetBE16(b.data), 34u);
  for (int at : {2, 3, 5, 6, 32, 33}) EXPECT_EQ(a.data[at], b.data[at]) << "byte " << at;
  EXPECT_EQ(GetBE32(a.data + 8), GetBE32(b.data + 8)) << "start";
  EXPECT_EQ(GetBE32(a.data + 24), GetBE32(b.data + 24)) << "size";
}

TEST(QemuTrackInfo, TocStandsInOnCdByTrackLbaAndSession) {
  // Data, then two audio tracks; a second session with a data track after
  // the first session's lead-out and the next lead-in.
  auto make = [] {
    auto audio = std::make_shared<MemoryImageFile>(testsupport::AudioSectors(200));
    auto t2 = testsupport::MemoryTrack(2, TrackMode::Audio, 300, 100, audio, StoredFormat::Audio2352, 2352);
    auto t3 = testsupport::MemoryTrack(3, TrackMode::Audio, 400, 100, audio, StoredFormat::Audio2352, 2352);
    t3.extents[0].offset = 100 * 2352;
    auto l = testsupport::MemoryDisc({DataTrack(1, 0, 300), t2, t3});
    l.tracks.push_back(DataTrack(4, 500 + 11400, 700, 2));
    orvane::SessionLayout s2;
    s2.number = 2;
    s2.leadOut = 500 + 11400 + 700;
    l.sessions.push_back(s2);
    return l;
  };
  Pair p = Drives(make);
  for (int n = 1; n <= 4; ++n) ExpectSameRecord(*p.native, *p.fallback, READ_TRACK_INFO_TRACK, n);
  for (int lba : {0, 299, 300, 450, 499, 11900, 12599}) ExpectSameRecord(*p.native, *p.fallback, READ_TRACK_INFO_LBA, lba);
  ExpectSameRecord(*p.native, *p.fallback, READ_TRACK_INFO_SESSION, 2);

  // The extended form (what the scan and the player ask) ends in the same record.
  TRACK_INFO ti{};
  ASSERT_EQ(p.fallback->ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, 4), 0);
  EXPECT_EQ(ti.data[3], 2);
  EXPECT_EQ(GetBE32(ti.data + 24), 700u);
  EXPECT_EQ(p.fallback->GetSenseData().key, 0);
}

TEST(QemuTrackInfo, XaDiscsAndDvdMedia) {
  // CD-ROM XA: the disc type in the full TOC makes the data mode 2.
  Pair xa = Drives([] { return testsupport::MemoryDisc({DataTrack(1, 0, 400, 1, TrackMode::Mode2Xa)}); });
  ExpectSameRecord(*xa.native, *xa.fallback, READ_TRACK_INFO_TRACK, 1);

  // A DVD: the track list in LBA form, no full TOC asked.
  Pair dvd = Drives([] { return testsupport::MemoryDisc({DataTrack(1, 0, 1000)}, 0x10); });
  dvd.refusing->sent.clear();
  ExpectSameRecord(*dvd.native, *dvd.fallback, READ_TRACK_INFO_TRACK, 1);
  TRACK_INFO ti{};
  ASSERT_EQ(dvd.fallback->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_EQ(ti.data[6], 0x01);
}

TEST(QemuTrackInfo, PregapOfTheNextTrackCountsToThisOne) {
  // The TOC shows where each track's index 1 starts, not where the next
  // track's pregap begins: the size runs to the next start.
  auto make = [] {
    auto audio = std::make_shared<MemoryImageFile>(testsupport::AudioSectors(100));
    auto t2 = testsupport::MemoryTrack(2, TrackMode::Audio, 450, 100, audio, StoredFormat::Audio2352, 2352, 150);
    return testsupport::MemoryDisc({DataTrack(1, 0, 300), t2});
  };
  Pair p = Drives(make);
  TRACK_INFO ti{};
  ASSERT_EQ(p.fallback->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_EQ(GetBE32(ti.data + 24), 450u);
  ASSERT_EQ(p.fallback->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 2), 0);
  EXPECT_EQ(GetBE32(ti.data + 8), 450u);
  EXPECT_EQ(GetBE32(ti.data + 24), 100u);
}

TEST(QemuTrackInfo, RefusalsStandWhenTheTocCannotAnswer) {
  Pair p = Drives([] { return testsupport::MemoryDisc({DataTrack(1, 0, 300)}); });
  TRACK_INFO ti{};
  // No such track, and an address past the lead-out: the drive's own refusal.
  for (auto [type, n] : {std::pair{READ_TRACK_INFO_TRACK, 2}, {READ_TRACK_INFO_LBA, 300}, {READ_TRACK_INFO_SESSION, 2}}) {
    EXPECT_NE(p.fallback->ReadTrackInfo(ti, type, n), 0);
    EXPECT_EQ(p.fallback->GetSenseData().key, 0x05);
    EXPECT_EQ(p.fallback->GetSenseData().asc, 0x20);
  }

  // Any other refusal (a bad field, a medium error) is the drive's answer:
  // no TOC is read in its place.
  Pair q = Drives([] { return testsupport::MemoryDisc({DataTrack(1, 0, 300)}); }, 0x24);
  q.refusing->sent.clear();
  EXPECT_NE(q.fallback->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_EQ(q.refusing->sent, std::vector<int>{0x52});
  EXPECT_EQ(q.fallback->GetSenseData().asc, 0x24);
}

// A drive whose TOC answers are whatever the test gives.
class TocDrive : public Transport {
 public:
  std::vector<std::uint8_t> fullToc, trackList;
  ScsiResult Execute(ScsiCommand& cmd) override {
    ScsiResult r;
    const std::vector<std::uint8_t>* answer = nullptr;
    if (cmd.cdb[0] == 0x43) answer = (cmd.cdb[2] & 0x0F) == 2 ? &fullToc : &trackList;
    if (cmd.cdb[0] == 0x46) {  // GET CONFIGURATION: a CD-ROM
      std::uint8_t head[8] = {0, 0, 0, 4, 0, 0, 0, 0x08};
      const std::size_t n = std::min(cmd.dataLength, sizeof head);
      std::memcpy(cmd.data, head, n);
      r.transferred = n;
      return r;
    }
    if (!answer || answer->empty()) {
      Refuse(r, 0x05, 0x20);
      return r;
    }
    const std::size_t n = std::min(cmd.dataLength, answer->size());
    std::memcpy(cmd.data, answer->data(), n);
    r.transferred = n;
    return r;
  }
  std::string Describe() const override { return "toc"; }
};

std::vector<std::uint8_t> FullTocEntry(int session, int point, int m, int s, int f) {
  return {static_cast<std::uint8_t>(session), 0x14, 0, static_cast<std::uint8_t>(point), 0, 0, 0, 0,
          static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(f)};
}

TEST(QemuTrackInfo, HostileTocsGiveNoTrack) {
  auto drive = std::make_unique<TocDrive>();
  TocDrive* toc = drive.get();
  CDevCmdROM dev(1, std::move(drive));
  TRACK_INFO ti{};

  // A length far past the data, a track that starts after its session's
  // lead-out and one that starts in the lead-in: neither is a track.
  toc->fullToc = {0xFF, 0xFF, 1, 1};
  for (auto e : {FullTocEntry(1, 1, 0, 10, 0), FullTocEntry(1, 2, 95, 0, 0), FullTocEntry(1, 0xA2, 0, 5, 0)})
    toc->fullToc.insert(toc->fullToc.end(), e.begin(), e.end());
  EXPECT_NE(dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_NE(dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 2), 0);
  EXPECT_EQ(dev.GetSenseData().asc, 0x20);

  // A full TOC without tracks: the track list in LBA form is asked instead.
  toc->fullToc = {0, 2, 1, 1};
  toc->trackList = {0, 18, 1, 1, 0, 0x14, 1, 0, 0, 0, 0, 0, 0, 0x14, 0xAA, 0, 0, 0, 0x01, 0x2C};
  ASSERT_EQ(dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_EQ(GetBE32(ti.data + 8), 0u);
  EXPECT_EQ(GetBE32(ti.data + 24), 300u);
  EXPECT_EQ(ti.data[3], 1);

  // A session whose lead-out is missing tells no size: the drive's refusal
  // stands rather than a guess.
  toc->fullToc = {0, 13, 1, 1};
  auto e = FullTocEntry(1, 1, 0, 2, 0);
  toc->fullToc.insert(toc->fullToc.end(), e.begin(), e.end());
  EXPECT_NE(dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, 1), 0);
  EXPECT_EQ(dev.GetSenseData().asc, 0x20);
}

// A drive that takes the READ TOC format from byte 9 (bits 7-6) alone, as
// ATAPI drives before MMC did, and answers like the virtual drive otherwise.
class LegacyTocDrive : public Transport {
 public:
  explicit LegacyTocDrive(orvane::DiscLayout layout) : m_inner(orvane::CreateVirtualDrive(std::move(layout), "legacy.img")) {}
  ScsiResult Execute(ScsiCommand& cmd) override {
    if (cmd.cdb[0] == 0x43) {
      ScsiCommand mine = cmd;
      mine.cdb[2] = static_cast<std::uint8_t>(cmd.cdb[9] >> 6);
      mine.cdb[9] = 0;
      return m_inner->Execute(mine);
    }
    return m_inner->Execute(cmd);
  }
  std::string Describe() const override { return "legacy"; }

 private:
  std::unique_ptr<Transport> m_inner;
};

TEST(QemuReadToc, FormatInBothPlaces) {
  auto make = [] { return testsupport::MemoryDisc({DataTrack(1, 0, 300)}); };
  CDevCmdROM mmc(1, orvane::CreateVirtualDrive(make(), "mmc.img"));
  CDevCmdROM legacy(2, std::make_unique<LegacyTocDrive>(make()));
  for (int format : {0, 1, 2}) {
    SCOPED_TRACE("format " + std::to_string(format));
    std::vector<unsigned char> a(2048, 0), b(2048, 0);
    ASSERT_EQ(mmc.ReadToc(a.data(), 2048, format, 0), 0);
    ASSERT_EQ(legacy.ReadToc(b.data(), 2048, format, 0), 0);
    EXPECT_EQ(a, b);
  }
  // CD-TEXT has no place in the old field: byte 9 stays clear.
  struct Capture : Transport {
    std::uint8_t last[16] = {};
    ScsiResult Execute(ScsiCommand& cmd) override {
      std::memcpy(last, cmd.cdb, sizeof last);
      return {};
    }
    std::string Describe() const override { return "capture"; }
  };
  auto capture = std::make_unique<Capture>();
  Capture* seen = capture.get();
  CDevCmdROM dev(3, std::move(capture));
  std::vector<unsigned char> buf(64);
  dev.ReadToc(buf.data(), 64, 5, 0);
  EXPECT_EQ(seen->last[2], 5);
  EXPECT_EQ(seen->last[9], 0);
  dev.ReadToc(buf.data(), 64, 2, 1);
  EXPECT_EQ(seen->last[2], 2);
  EXPECT_EQ(seen->last[6], 1);
  EXPECT_EQ(seen->last[9], 0x80);
}

}  // namespace
