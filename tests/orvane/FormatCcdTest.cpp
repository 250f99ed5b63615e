// CloneCD images: the recorded full TOC served as READ TOC format 2, tracks
// laid out from it, sub-channel from the .sub file, CD-TEXT from the control
// file; damaged control files and data files refused; ccd2iso reading the same.
#include <fstream>

#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace formattest;
using testsupport::ScratchDir;

namespace {

// Audio with CD-TEXT and a copy flag, a data track, then a second session of
// CD-ROM XA; the given sector size says whether a .sub is written.
FixtureDisc TwoSessions(std::uint32_t size, int lastSession = 2) {
  FixtureDisc d;
  d.catalog = "4006381333931";
  d.title = "Clone";
  d.performer = "Dumper";
  d.tracks.push_back(Track(TrackMode::Audio, size, 150));
  d.tracks.back().title = "Intro";
  d.tracks.back().flags = 0x02;
  d.tracks.push_back(Track(TrackMode::Audio, size, 100, 75));
  d.tracks.back().title = "Outro";
  d.tracks.back().performer = "Band";
  d.tracks.push_back(Track(TrackMode::Mode1, size, 200, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, size, 120, 150, lastSession));
  return d;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Replace(std::string& s, const std::string& from, const std::string& to) {
  auto at = s.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  s.replace(at, from.size(), to);
}

}  // namespace

TEST(FormatCcd, TwoSessionsWithAndWithoutSubchannel) {
  for (std::uint32_t size : {2352u, 2448u}) {
    ScratchDir dir;
    const FixtureDisc disc = TwoSessions(size);
    testsupport::WriteCloneCd(disc, dir, "disc");
    ExpectServes(disc, dir.File("disc.ccd"));
    // Choosing the data file opens the same disc through its control file.
    auto l = MustOpen(dir.File("disc.img"));
    EXPECT_EQ(l.format, "CCD");
    EXPECT_EQ(l.tracks.size(), disc.tracks.size());
  }
}

// CloneCD keeps a track's ISRC as ISRC= in its [TRACK n] section: it is the
// track's, and the disc's CD-TEXT answers it where its packs give none.
TEST(FormatCcd, TrackIsrcIsAnswered) {
  ScratchDir dir;
  FixtureDisc disc = TwoSessions(2352);
  disc.tracks[0].isrc = "DEA123400001";
  disc.tracks[1].isrc = "USXYZ9900017";
  testsupport::WriteCloneCd(disc, dir, "isrc");
  ExpectServes(disc, dir.File("isrc.ccd"));
  auto l = MustOpen(dir.File("isrc.ccd"));
  ASSERT_GE(l.cdText.size(), 3u);
  EXPECT_EQ(l.cdText[1].isrc, "DEA123400001");
  EXPECT_EQ(l.cdText[2].isrc, "USXYZ9900017");
  EXPECT_EQ(l.tracks[2].isrc, "");

  std::string ccd = ReadText(dir.File("isrc.ccd"));
  Replace(ccd, "ISRC=DEA123400001", "ISRC=dea123400001");  // written in lower case: the same code
  dir.Write("isrc.ccd", ccd);
  EXPECT_EQ(MustOpen(dir.File("isrc.ccd")).tracks[0].isrc, "DEA123400001");
  Replace(ccd, "ISRC=dea123400001", "ISRC=DE-A12-34-00001");
  dir.Write("isrc.ccd", ccd);
  EXPECT_TRUE(Refused(dir.File("isrc.ccd"), "[TRACK 1] ISRC must be 12 letters and digits"));
}

TEST(FormatCcd, RecordedTocIsServedAsItStands) {
  ScratchDir dir;
  const FixtureDisc disc = TwoSessions(2352);
  testsupport::WriteCloneCd(disc, dir, "disc");
  auto d = Serve(MustOpen(dir.File("disc.ccd")));
  unsigned char toc[2048] = {};
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 2, 0), 0);
  const Bytes want = testsupport::CloneCdTocEntries(disc);
  ASSERT_EQ(GetBE16(toc), want.size() + 2);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 2);
  EXPECT_EQ(Bytes(toc + 4, toc + 4 + want.size()), want);
  DISC_INFO di{};
  ASSERT_EQ(d->ReadDiscInfo(di), 0);
  EXPECT_EQ(di.data[4], 2);  // sessions
}

TEST(FormatCcd, SubchannelFileGivesQ) {
  ScratchDir dir;
  const FixtureDisc disc = TwoSessions(2448);
  testsupport::WriteCloneCd(disc, dir, "disc");
  auto d = Serve(MustOpen(dir.File("disc.ccd")));
  const auto placed = testsupport::Place(disc);
  // Formatted Q (sub-channel selection 2) of a sector in track 2's pregap: track 2, index 0.
  ScsiCommand c;
  Bytes out(2352 + 16);
  c.cdb[0] = 0xBE;
  PutBE32(c.cdb + 2, static_cast<std::uint32_t>(placed.tracks[1].pregapStart + 3));
  c.cdb[8] = 1;
  c.cdb[9] = 0xF8;
  c.cdb[10] = 2;
  c.cdbLength = 12;
  c.direction = DataDirection::FromDevice;
  c.data = out.data();
  c.dataLength = out.size();
  ASSERT_EQ(d->Send(c), 0);
  EXPECT_EQ(out[2352 + 1], 0x02);
  EXPECT_EQ(out[2352 + 2], 0x00);
  // R-W come from the file as written, not made up.
  Bytes raw = ReadCdRaw(*d, placed.tracks[3].start + 7, 1);
  ASSERT_EQ(raw.size(), 2448u);
  for (int b = 0; b < 96; ++b) EXPECT_EQ(raw[2352 + b] & 0x3F, (placed.tracks[3].start + 7 + b) & 0x3F);
}

TEST(FormatCcd, InconsistentControlFilesAreRefused) {
  ScratchDir dir;
  testsupport::WriteCloneCd(TwoSessions(2352, 1), dir, "disc");  // one session keeps the files small
  const std::string good = ReadText(dir.File("disc.ccd"));
  dir.Write("bad.img", ReadText(dir.File("disc.img")));
  auto refuses = [&](std::string ccd, const std::string& why) { return Refused(dir.Write("bad.ccd", ccd), why); };
  std::string s = good;
  Replace(s, "TocEntries=", "TocEntries=9");
  EXPECT_TRUE(refuses(s, "lacks [Entry"));
  s = good;
  Replace(s, "DataTracksScrambled=0", "DataTracksScrambled=1");
  EXPECT_TRUE(refuses(s, "scrambled"));
  s = good;
  s.replace(s.find("PSec=", s.find("Point=0x01")), 7, "PSec=61");
  EXPECT_TRUE(refuses(s, "impossible time"));
  s = good;
  Replace(s, "Point=0xa2", "Point=0xa9");
  EXPECT_TRUE(refuses(s, "no lead-out"));
  s = good;
  Replace(s, "MODE=0", "MODE=1");
  EXPECT_TRUE(refuses(s, "disagrees"));
  s = good;
  Replace(s, "MODE=1", "MODE=7");
  EXPECT_TRUE(refuses(s, "unknown MODE 7"));
  s = good;
  Replace(s, "Entry 0=80", "Entry 0=zz");
  EXPECT_TRUE(refuses(s, "not a pack"));
  s = good;
  Replace(s, "[Disc]", "[Disk]");
  EXPECT_TRUE(refuses(s, "no [Disc]"));
  EXPECT_TRUE(refuses("[CloneCD]\n[Disc\n", "unclosed section"));
  // The data file missing, or shorter than the tracks.
  dir.Write("lone.ccd", good);
  EXPECT_TRUE(Refused(dir.File("lone.ccd"), "lone.img is missing"));
  const std::string img = ReadText(dir.File("disc.img"));
  dir.Write("short.img", img.substr(0, img.size() - 2352));
  EXPECT_TRUE(Refused(dir.Write("short.ccd", good), "truncated"));
}

TEST(FormatCcd, MutatedControlFilesNeverCrash) {
  ScratchDir dir;
  testsupport::WriteCloneCd(TwoSessions(2448, 1), dir, "disc");
  const std::string good = ReadText(dir.File("disc.ccd"));
  const std::string img = ReadText(dir.File("disc.img")), sub = ReadText(dir.File("disc.sub"));
  dir.Write("m.img", img);
  // Cut the sub-channel file short: refused, not served half.
  dir.Write("m.sub", sub.substr(0, sub.size() / 2));
  EXPECT_TRUE(Refused(dir.Write("m.ccd", good), "sub-channel file is shorter"));
  dir.Write("m.sub", sub);
  std::vector<std::size_t> cuts;
  for (std::size_t at = 0; at < good.size(); at = good.find('\n', at + 1)) cuts.push_back(at);
  const std::string digits = "0123456789abx-=[] \n";
  std::mt19937 rng(77);
  Bytes g(good.begin(), good.end());
  ExpectDamageRefusedOrSafe(dir, "m.ccd", g, cuts, 0, 0);
  for (int round = 0; round < 300; ++round) {
    std::string s = good;
    for (int e = 0, n = 1 + static_cast<int>(rng() % 4); e < n; ++e) s[rng() % s.size()] = digits[rng() % digits.size()];
    ExpectDamageRefusedOrSafe(dir, "m.ccd", Bytes(s.begin(), s.end()), {s.size()}, 0, 0);
  }
}

TEST(FormatCcd, Ccd2isoExtractsTheSameDataTrack) {
  if (!testsupport::HaveProgram("ccd2iso")) GTEST_SKIP() << "ccd2iso not installed";
  ScratchDir dir;
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 300));
  testsupport::WriteCloneCd(d, dir, "data");
  auto run = testsupport::RunProgram("ccd2iso " + testsupport::ShellQuote(dir.File("data.img")) + " " +
                                         testsupport::ShellQuote(dir.File("out.iso")),
                                     dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string iso = ReadText(dir.File("out.iso"));
  ASSERT_EQ(iso.size(), 300u * 2048);
  auto drive = Serve(MustOpen(dir.File("data.ccd")));
  for (std::uint32_t lba : {0u, 150u, 299u}) {
    unsigned char user[2048];
    ASSERT_EQ(drive->ReadCD_10(user, sizeof user, 1, lba), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(user), 2048), iso.substr(std::size_t(lba) * 2048, 2048));
  }
}
