// Rescue imaging through drives that fail chosen sectors, fail at random, are
// stopped in the middle and heal: what reaches the image and the mapfile, read
// back by GNU ddrescuelog and by our own image readers.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "copy/CueSheetWriter.h"
#include "copy/DiscImager.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/hostile/FlakyTransport.h"
#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"
#include "tests/support/CheckCondition.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/MemoryImage.h"

using namespace imaging;
using testsupport::Bytes;
using testsupport::ScratchDir;

namespace {

struct Read {
  std::uint8_t opcode;
  std::uint32_t lba, count;
};

// Reads touching a chosen sector fail with 03/11/05: forever, or the first n
// times the sector is asked for. Every read is recorded.
class ChosenFaults : public Transport {
 public:
  explicit ChosenFaults(std::unique_ptr<Transport> inner) : m_inner(std::move(inner)) {}
  std::map<std::uint32_t, int> failuresLeft;  // -1: always
  std::vector<Read> reads;
  std::function<void()> onRead;

  std::string Describe() const override { return m_inner->Describe(); }
  ScsiResult Execute(ScsiCommand& c) override {
    if (c.cdb[0] == 0x28 || (c.cdb[0] == 0xBE && c.cdb[9] != 0)) {
      const std::uint32_t lba = GetBE32(c.cdb + 2);
      const std::uint32_t count = c.cdb[0] == 0x28 ? GetBE16(c.cdb + 7) : (c.cdb[6] << 16 | c.cdb[7] << 8 | c.cdb[8]);
      reads.push_back({c.cdb[0], lba, count});
      if (onRead) onRead();
      bool fail = false;
      for (std::uint32_t s = lba; s < lba + count; ++s) {
        auto it = failuresLeft.find(s);
        if (it == failuresLeft.end() || it->second == 0) continue;
        fail = true;
        if (it->second > 0) --it->second;
      }
      if (fail) return testsupport::CheckCondition(0x03, 0x11, 0x05);
    }
    return m_inner->Execute(c);
  }

 private:
  std::unique_ptr<Transport> m_inner;
};

orvane::DiscLayout DataDisc(const Bytes& user) {
  auto f = std::make_shared<testsupport::MemoryImageFile>(user);
  const auto n = static_cast<std::uint32_t>(user.size() / 2048);
  return testsupport::MemoryDisc(
      {testsupport::MemoryTrack(1, orvane::TrackMode::Mode1, 0, n, f, orvane::StoredFormat::UserData2048, 2048)});
}

std::unique_ptr<CDevCmdROM> Drive(std::unique_ptr<Transport> t) {
  return std::make_unique<CDevCmdROM>(1, std::move(t), "test");
}

struct Rescue {
  ScratchDir dir;
  std::string image = dir.File("out.iso"), mapPath = image + ".map";
  RescueMap map;
  std::atomic<bool> stop{false};

  ImagerOutcome Run(CDevCmdROM& dev, int retries, bool resume, ImageForm form = ImageForm::UserData) {
    MediumLayout m;
    EXPECT_EQ(ReadMediumLayout(dev, m), MediumRead::Ok);
    const auto spans = form == ImageForm::Raw ? RawImageSpans(m) : std::vector<ImageSpan>{{0, std::uint64_t(m.capacity)}};
    DiscImager imager(dev, form, spans);
    std::string detail, error;
    const auto opened = PrepareMap(mapPath, resume, imager.Sectors(), SectorBytesOf(form),
                                   {"tessal medium: " + m.Fingerprint()}, map, detail);
    EXPECT_EQ(opened, resume ? MapOpen::Resumed : MapOpen::Fresh) << detail;
    ImagerOptions o;
    o.retries = retries;
    const auto outcome = imager.Run(image, mapPath, map, o, stop, {}, error);
    EXPECT_NE(outcome, ImagerOutcome::Failed) << error;
    return outcome;
  }
  // The saved mapfile, parsed again: what a later run would start from.
  RescueMap Saved(std::uint64_t sectors) const {
    RescueMap m;
    EXPECT_EQ(m.Parse(testsupport::ReadWholeFile(mapPath), sectors, 2048), MapParse::Ok);
    return m;
  }
  // Every sector the map holds finished equals the source; the rest are zeros.
  void ExpectImageMatches(const Bytes& source, const RescueMap& m) const {
    const std::string text = testsupport::ReadWholeFile(image);
    const Bytes got(text.begin(), text.end());
    ASSERT_EQ(got.size(), source.size());
    for (std::uint64_t s = 0; s < m.Sectors(); ++s) {
      const bool same = std::equal(source.begin() + s * 2048, source.begin() + (s + 1) * 2048, got.begin() + s * 2048);
      const bool zero = std::all_of(got.begin() + s * 2048, got.begin() + (s + 1) * 2048, [](std::uint8_t c) { return c == 0; });
      ASSERT_TRUE(m.At(s) == SectorState::Finished ? same : zero) << "sector " << s;
    }
  }
};

std::set<std::uint32_t> DdrescuelogList(const std::string& mapPath, char state, const ScratchDir& dir) {
  auto run = testsupport::RunProgram(std::string("ddrescuelog -b2048 '-l") + state + "' " + testsupport::ShellQuote(mapPath), dir);
  EXPECT_EQ(run.status, 0) << run.err;
  std::set<std::uint32_t> out;
  std::istringstream in(run.out);
  for (std::uint32_t n; in >> n;) out.insert(n);
  return out;
}

}  // namespace

// A bad sector, a bad run and a sector that reads on its fourth try: the bulk
// is read in runs before any sector is read alone, a bad sector is read alone
// only by trimming or scraping and each retry, and ddrescuelog, the image and
// our own reader of the result all agree on where the holes are.
TEST(DiscImager, FailedSectorsAreTrimmedScrapedAndRetried) {
  if (!testsupport::HaveProgram("ddrescuelog")) GTEST_SKIP() << "ddrescuelog (gddrescue) not installed";
  const Bytes source = testsupport::PatternSectors(0, 2000);
  auto* faults = new ChosenFaults(orvane::CreateVirtualDrive(DataDisc(source), "src"));
  faults->failuresLeft = {{100, -1}, {1500, 3}};
  for (std::uint32_t s = 700; s < 712; ++s) faults->failuresLeft[s] = -1;
  auto dev = Drive(std::unique_ptr<Transport>(faults));
  Rescue r;
  EXPECT_EQ(r.Run(*dev, 1, false), ImagerOutcome::Incomplete);

  std::set<std::uint32_t> bad = {100, 1500};
  for (std::uint32_t s = 700; s < 712; ++s) bad.insert(s);
  EXPECT_EQ(DdrescuelogList(r.mapPath, '-', r.dir), bad);
  EXPECT_EQ(DdrescuelogList(r.mapPath, '?', r.dir), std::set<std::uint32_t>{});
  r.ExpectImageMatches(source, r.Saved(2000));
  bool single = false;
  std::map<std::uint32_t, int> singles;
  for (const Read& rd : faults->reads) {
    if (rd.opcode != 0x28) continue;  // the raw probe of the first track's mode
    EXPECT_FALSE(single && rd.count > 1) << "a run read at " << rd.lba << " after sectors were read alone";
    single |= rd.count == 1;
    if (rd.count == 1) ++singles[rd.lba];
  }
  for (std::uint32_t s : bad) EXPECT_LE(singles[s], 2) << "sector " << s << " read alone too often";

  // The holes are served as unreadable by the image opened with its map.
  CDevCmdROM reopened(0, nullptr);
  ASSERT_TRUE(reopened.SetImageFile(r.image)) << reopened.GetLastError();
  unsigned char buf[2048];
  EXPECT_NE(reopened.ReadCD_10(buf, 2048, 1, 100), 0);
  const SenseData_tag s = reopened.GetSenseData();
  EXPECT_EQ(s.key, 0x03);
  EXPECT_EQ(s.asc, 0x11);
  EXPECT_EQ(s.ascq, 0x05);
  ASSERT_EQ(reopened.ReadCD_10(buf, 2048, 1, 99), 0);
  EXPECT_TRUE(std::equal(buf, buf + 2048, source.begin() + 99 * 2048));

  // A resume reads only the bad sectors; the fourth read of 1500 succeeds.
  faults->reads.clear();
  EXPECT_EQ(r.Run(*dev, 1, true), ImagerOutcome::Incomplete);
  for (const Read& rd : faults->reads)
    EXPECT_TRUE(rd.opcode != 0x28 || (bad.count(rd.lba) && rd.count == 1)) << rd.lba;
  bad.erase(1500);
  EXPECT_EQ(DdrescuelogList(r.mapPath, '-', r.dir), bad);
  r.ExpectImageMatches(source, r.Saved(2000));
}

// Stopped after some reads, the map on disk holds what was read; a resume on
// the healed medium never reads a finished sector again and completes.
TEST(DiscImager, AStoppedRunResumesWithoutRereading) {
  const Bytes source = testsupport::PatternSectors(0, 3000);
  auto* faults = new ChosenFaults(orvane::CreateVirtualDrive(DataDisc(source), "src"));
  for (std::uint32_t s = 1200; s < 1300; ++s) faults->failuresLeft[s] = -1;
  auto dev = Drive(std::unique_ptr<Transport>(faults));
  Rescue r;
  faults->onRead = [&] {
    if (faults->reads.size() == 60) r.stop = true;
  };
  EXPECT_EQ(r.Run(*dev, 2, false), ImagerOutcome::Stopped);
  const RescueMap saved = r.Saved(3000);
  EXPECT_GT(saved.Count(SectorState::Finished), 1000u);
  EXPECT_GT(saved.Count(SectorState::NonTried), 0u);
  r.ExpectImageMatches(source, saved);

  faults->failuresLeft.clear();  // the medium heals
  faults->reads.clear();
  faults->onRead = nullptr;
  r.stop = false;
  EXPECT_EQ(r.Run(*dev, 2, true), ImagerOutcome::Complete);
  for (const Read& rd : faults->reads)
    for (std::uint32_t s = rd.lba; rd.opcode == 0x28 && s < rd.lba + rd.count; ++s)
      ASSERT_NE(saved.At(s), SectorState::Finished) << "sector " << s << " read twice";
  EXPECT_EQ(testsupport::ReadWholeFile(r.image), std::string(source.begin(), source.end()));
}

// A map made from one medium is refused for another of other size or TOC.
TEST(DiscImager, AResumeRefusesAnotherMedium) {
  Rescue r;
  auto a = Drive(orvane::CreateVirtualDrive(DataDisc(testsupport::PatternSectors(0, 300)), "a"));
  EXPECT_EQ(r.Run(*a, 0, false), ImagerOutcome::Complete);
  auto b = Drive(orvane::CreateVirtualDrive(DataDisc(testsupport::PatternSectors(0, 301)), "b"));
  MediumLayout m;
  ASSERT_EQ(ReadMediumLayout(*b, m), MediumRead::Ok);
  RescueMap map;
  std::string detail;
  EXPECT_EQ(PrepareMap(r.mapPath, true, 301, 2048, {"tessal medium: " + m.Fingerprint()}, map, detail),
            MapOpen::OtherMedium);
  EXPECT_NE(detail.find("sectors 300"), std::string::npos) << detail;
}

// A drive failing at random (medium errors, not ready, timeouts, short
// transfers): whatever the map calls finished is the source's bytes, and once
// the drive behaves a resume completes the image.
TEST(DiscImager, ARandomlyFailingDriveNeverPutsWrongBytesInTheImage) {
  const Bytes source = testsupport::PatternSectors(0, 1500);
  for (std::uint32_t seed : {1u, 7u, 42u}) {
    SCOPED_TRACE(seed);
    auto* flaky = new hostile::FlakyTransport(orvane::CreateVirtualDrive(DataDisc(source), "src"), seed, 4, false);
    flaky->SetQuiet(40);  // the TOC and the probes pass
    auto dev = Drive(std::unique_ptr<Transport>(flaky));
    Rescue r;
    r.Run(*dev, 1, false);
    EXPECT_GT(flaky->Faults(), 10u);
    r.ExpectImageMatches(source, r.Saved(1500));
    flaky->Enable(false);
    EXPECT_EQ(r.Run(*dev, 1, true), ImagerOutcome::Complete);
    EXPECT_EQ(testsupport::ReadWholeFile(r.image), std::string(source.begin(), source.end()));
  }
}

// A mapfile area that ends inside a sector leaves that sector to be read.
TEST(RescueMap, ASectorIsFinishedOnlyWhenEveryByteIs) {
  RescueMap m;
  ASSERT_EQ(m.Parse("0 +\n0x0 0x1000 +\n0x1000 0x10 -\n0x1010 0x7F0 +\n", 4, 2048), MapParse::Ok);
  EXPECT_EQ(m.At(0), SectorState::Finished);
  EXPECT_EQ(m.At(1), SectorState::Finished);
  EXPECT_EQ(m.At(2), SectorState::Bad);
  EXPECT_EQ(m.At(3), SectorState::NonTried);  // beyond the map
  EXPECT_EQ(m.Parse("0 +\n0 0x800 +\n0x900 0x800 +\n", 4, 2048), MapParse::Gap);
  EXPECT_EQ(m.Parse("0x0 0x800 +\n", 4, 2048), MapParse::BadLine);
}

// Two sessions further apart than a recorder puts them, a data track, audio
// with a pregap, copy and pre-emphasis flags, an ISRC, the catalogue and
// CD-TEXT: the raw image and its sheet reopen with every address, mode, flag
// and code of the medium, and every sector's 2352 bytes as the drive gave them.
TEST(DiscImager, ARawImageOfEverySessionReopensAsTheMedium) {
  using orvane::StoredFormat;
  using orvane::TrackMode;
  using testsupport::MemoryTrack;
  auto file = [](Bytes b) { return std::make_shared<testsupport::MemoryImageFile>(std::move(b)); };
  const std::int32_t s2 = 750 + 11250 + 150 + 37;
  auto l = testsupport::MemoryDisc({
      MemoryTrack(1, TrackMode::Mode1, 0, 300, file(testsupport::RawTrack(0, 300, testsupport::RawMode::Mode1)),
                  StoredFormat::Raw2352, 2352),
      MemoryTrack(2, TrackMode::Audio, 450, 200, file(testsupport::AudioSectors(200, 1)), StoredFormat::Audio2352, 2352, 150),
      MemoryTrack(3, TrackMode::Audio, 650, 100, file(testsupport::AudioSectors(100, 2)), StoredFormat::Audio2352, 2352),
      MemoryTrack(4, TrackMode::Mode2Xa, s2, 100, file(testsupport::RawTrack(s2, 100, testsupport::RawMode::Mode2Form1)),
                  StoredFormat::Raw2352, 2352, 150, 2)});
  l.tracks[1].control = 0x02;
  l.tracks[2].control = 0x01;
  l.tracks[1].isrc = "USABC9900001";
  l.catalog = "0123456789012";
  l.cdText.resize(5);
  for (int i = 0; i < 5; ++i) l.cdText[i].title = "Title " + std::to_string(i);
  l.sessions[0].leadOut = 750;
  orvane::SessionLayout second;
  second.number = 2;
  second.discType = 0x20;
  second.leadOut = s2 + 100;
  l.sessions.push_back(second);
  auto src = Drive(orvane::CreateVirtualDrive(l, "src"));

  MediumLayout m;
  ASSERT_EQ(ReadMediumLayout(*src, m), MediumRead::Ok);
  EXPECT_EQ(m.tracks[1].pregapStart, 300);  // found in the Q sub-channel
  ScratchDir dir;
  const auto spans = RawImageSpans(m);
  std::string sheet, error;
  ASSERT_EQ(BuildCueSheet(m, spans, "out.bin", "out.cdt", sheet), CueBuild::Ok);
  EXPECT_NE(sheet.find("REM LEAD-OUT 01:30:37\nREM SESSION 02\nREM LEAD-IN 01:00:00\n"), std::string::npos) << sheet;
  dir.Write("out.cue", sheet);
  dir.Write("out.cdt", Bytes(m.cdTextPacks));
  DiscImager imager(*src, ImageForm::Raw, spans);
  RescueMap map(imager.Sectors(), 2352);
  std::atomic<bool> stop{false};
  ASSERT_EQ(imager.Run(dir.File("out.bin"), dir.File("out.bin.map"), map, {}, stop, {}, error), ImagerOutcome::Complete)
      << error;

  orvane::DiscLayout back;
  ASSERT_TRUE(orvane::OpenImage(dir.File("out.cue"), back, error)) << error << "\n" << sheet;
  ASSERT_EQ(back.tracks.size(), l.tracks.size()) << sheet;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(back.tracks[i].start, l.tracks[i].start);
    EXPECT_EQ(back.tracks[i].pregapStart, l.tracks[i].pregapStart);
    EXPECT_EQ(back.tracks[i].session, l.tracks[i].session);
    EXPECT_EQ(back.tracks[i].mode, l.tracks[i].mode);
    EXPECT_EQ(back.tracks[i].control, l.tracks[i].control);
    EXPECT_EQ(back.tracks[i].isrc, l.tracks[i].isrc);
  }
  ASSERT_EQ(back.sessions.size(), 2u);
  EXPECT_EQ(back.sessions[0].leadOut, 750);
  EXPECT_EQ(back.sessions[1].leadOut, s2 + 100);
  EXPECT_EQ(back.catalog, l.catalog);
  ASSERT_EQ(back.cdText.size(), 5u);
  EXPECT_EQ(back.cdText[3].title, "Title 3");

  CDevCmdROM reopened(0, nullptr);
  ASSERT_TRUE(reopened.SetImageFile(dir.File("out.cue"))) << reopened.GetLastError();
  std::vector<unsigned char> a(2352), b(2352);
  for (const ImageSpan& sp : spans)
    for (std::int64_t lba = sp.firstLba; lba < sp.firstLba + std::int64_t(sp.count); ++lba) {
      ASSERT_EQ(src->ReadCD_All(a.data(), 2352, 1, std::uint32_t(lba)), 0);
      ASSERT_EQ(reopened.ReadCD_All(b.data(), 2352, 1, std::uint32_t(lba)), 0) << lba;
      ASSERT_EQ(a, b) << "sector " << lba;
    }
}
