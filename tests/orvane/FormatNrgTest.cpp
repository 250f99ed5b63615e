// Nero images of both footer versions, disc- and track-at-once, several
// sessions and every track mode, served through the virtual drive; damaged
// chains refused; libcdio's cd-info reading the same files.
#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace formattest;
using testsupport::NrgImage;
using testsupport::NrgOptions;
using testsupport::ScratchDir;

namespace {

// Data, then audio with copy and pre-emphasis flags, CD-TEXT and ISRCs, then a
// second session of CD-ROM XA.
FixtureDisc MixedTwoSessions() {
  FixtureDisc d;
  d.catalog = "0123456789012";
  d.title = "Nero disc";
  d.performer = "Builder";
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 300));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150));
  d.tracks.back().flags = 0x02;
  d.tracks.back().isrc = "USABC0100001";
  d.tracks.back().title = "Song";
  d.tracks.back().performer = "Singer";
  d.tracks.push_back(Track(TrackMode::Audio, 2448, 120, 75));
  d.tracks.back().flags = 0x01;
  d.tracks.back().title = "Second";
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2352, 160, 150, 2));
  return d;
}

// Every stored form a Nero track may have, one session each of two.
FixtureDisc EveryMode() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 100));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2048, 60, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2336, 60, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Formless, 2352, 50, 150));
  d.tracks.push_back(Track(TrackMode::Mode1, 2448, 40, 150, 2));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2448, 40, 150, 2));
  return d;
}

}  // namespace

TEST(FormatNrg, BothFootersDiscAtOnce) {
  ScratchDir dir;
  for (int version : {1, 2}) {
    NrgOptions o;
    o.version = version;
    ExpectServes(MixedTwoSessions(), dir.Write("v" + std::to_string(version) + ".nrg", NrgImage(MixedTwoSessions(), o)));
    ExpectServes(EveryMode(), dir.Write("m" + std::to_string(version) + ".nrg", NrgImage(EveryMode(), o)));
  }
}

TEST(FormatNrg, StoredSubchannelIsServed) {
  ScratchDir dir;
  const FixtureDisc disc = MixedTwoSessions();
  auto l = MustOpen(dir.Write("s.nrg", NrgImage(disc)));
  ASSERT_EQ(l.tracks.size(), 4u);
  auto d = Serve(l);
  const auto placed = testsupport::Place(disc);
  const std::int32_t lba = placed.tracks[2].start + 5;
  Bytes got = ReadCdRaw(*d, lba, 1);
  ASSERT_EQ(got.size(), 2352u + 96);
  Bytes stored = testsupport::StoredSectorBytes(disc.tracks[2], 3, placed.tracks[2].start, lba);
  EXPECT_TRUE(std::equal(stored.begin() + 2352, stored.end(), got.begin() + 2352));
  // A track without stored sub-channel gets Q made from its position.
  got = ReadCdRaw(*d, placed.tracks[1].start, 1);
  ASSERT_EQ(got.size(), 2352u + 96);
  std::uint8_t q[12] = {};
  for (int b = 0; b < 96; ++b)
    if (got[2352 + b] & 0x40) q[b / 8] |= static_cast<std::uint8_t>(0x80 >> (b % 8));
  EXPECT_EQ(q[1], 0x02);  // track 2
  EXPECT_EQ(q[2], 0x01);  // index 1
}

// Each track after the first lies 150 sectors after the one before, whatever
// the entries' start fields say (they leave the gaps out); the gap reads as
// empty sectors of the track's own kind.
TEST(FormatNrg, TrackAtOnce) {
  ScratchDir dir;
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 250));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 100, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2336, 80, 150, 2));
  for (int version : {1, 2}) {
    NrgOptions o;
    o.version = version;
    o.trackAtOnce = true;
    const std::string path = dir.Write("t.nrg", NrgImage(d, o));
    ExpectServes(d, path, false);
    auto l = MustOpen(path);
    EXPECT_EQ(l.tracks[1].pregapStart, 250);
    EXPECT_EQ(l.tracks[1].start, 400);
    auto drive = Serve(l);
    EXPECT_EQ(ReadCdRaw(*drive, 250), Bytes(2352, 0)) << "silence before the audio track";
    // Before the XA track: empty Form 2 sectors, as the gap a recorder writes there.
    const Bytes gap = ReadCdRaw(*drive, l.tracks[2].start - 1);
    ASSERT_EQ(gap.size(), 2352u);
    EXPECT_EQ(gap[15], 2);
    EXPECT_TRUE(std::all_of(gap.begin() + 24, gap.begin() + 24 + 2324, [](std::uint8_t b) { return b == 0; }));
  }
  // A DVD has no such gaps: its tracks lie where the entries put them.
  FixtureDisc dvd;
  dvd.tracks.push_back(Track(TrackMode::Mode1, 2048, 250));
  dvd.tracks.push_back(Track(TrackMode::Mode1, 2048, 100));
  NrgOptions o;
  o.trackAtOnce = true;
  o.mediaType = 0x200;
  auto l = MustOpen(dir.Write("dvd.nrg", NrgImage(dvd, o)));
  EXPECT_EQ(l.profile, 0x10);
  ASSERT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.tracks[1].start, 250);
}

TEST(FormatNrg, DvdMediaTypeIsServedAsDvd) {
  ScratchDir dir;
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 400));
  NrgOptions o;
  o.mediaType = 0x200;  // DVD-ROM
  auto l = MustOpen(dir.Write("dvd.nrg", NrgImage(d, o)));
  EXPECT_EQ(l.profile, 0x10);
  EXPECT_EQ(l.format, "NRG");
}

TEST(FormatNrg, InconsistentChainsAreRefused) {
  ScratchDir dir;
  Bytes good = NrgImage(MixedTwoSessions());
  // No footer at all.
  Bytes noFooter(good.begin(), good.end() - 12);
  EXPECT_TRUE(Refused(dir.Write("nofoot.nrg", noFooter), "no Nero footer"));
  // A chain offset past the file.
  Bytes far = good;
  for (int i = 0; i < 8; ++i) far[far.size() - 8 + i] = 0x7F;
  EXPECT_TRUE(Refused(dir.Write("far.nrg", far), "chain starts past its end"));
  // Sector data cut off: the DAO chunk's offsets now point past the file.
  const std::uint64_t chainAt = GetBE32(&good[good.size() - 4]);
  Bytes cut(good.begin(), good.begin() + 1000 * 2352);
  Bytes chain(good.begin() + static_cast<std::ptrdiff_t>(chainAt), good.end() - 12);
  cut.insert(cut.end(), chain.begin(), chain.end());
  cut.insert(cut.end(), {'N', 'E', 'R', '5', 0, 0, 0, 0});
  const std::uint32_t at = 1000 * 2352;
  for (int i = 0; i < 4; ++i) cut.push_back(static_cast<std::uint8_t>(at >> (24 - 8 * i)));
  EXPECT_TRUE(Refused(dir.Write("cut.nrg", cut), "truncated"));
  // Track 2's index 00 moved to the lowest address a cue entry can give.
  Bytes low = good;
  const std::size_t cuex = chainAt + 8;  // the first chunk: session 1's cue; entry 3 is track 2, index 00
  ASSERT_EQ(std::string(low.begin() + static_cast<std::ptrdiff_t>(chainAt), low.begin() + static_cast<std::ptrdiff_t>(chainAt) + 4), "CUEX");
  PutBE32(&low[cuex + 3 * 8 + 4], 0x80000000u);
  EXPECT_TRUE(Refused(dir.Write("low.nrg", low), "track 2 has a pregap longer than a disc"));
  // DAO offsets out of order.
  Bytes order = good;
  const std::size_t daox = cuex + GetBE32(&good[chainAt + 4]);
  ASSERT_EQ(std::string(order.begin() + static_cast<std::ptrdiff_t>(daox), order.begin() + static_cast<std::ptrdiff_t>(daox) + 4), "DAOX");
  PutBE32(&order[daox + 8 + 22 + 18 + 4], 0xFFFFFFF0u);  // track 1's index 00 past its end
  EXPECT_TRUE(Refused(dir.Write("order.nrg", order), "track 1 has its file offsets out of order"));
}

TEST(FormatNrg, TruncatedAndMutatedChainsNeverCrash) {
  ScratchDir dir;
  for (int version : {1, 2}) {
    for (bool tao : {false, true}) {
      NrgOptions o;
      o.version = version;
      o.trackAtOnce = tao;
      FixtureDisc disc = MixedTwoSessions();
      for (auto& t : disc.tracks) {
        t.length = 12;  // small files: hundreds of damaged copies are written
        t.pregap = tao ? 0 : std::min<std::uint32_t>(t.pregap, 4);
      }
      Bytes good = NrgImage(disc, o);
      const std::size_t footer = version == 2 ? 12 : 8;
      std::size_t chainAt = 0;
      for (int i = 0; i < 4; ++i) chainAt = chainAt << 8 | good[good.size() - 4 + i];
      // Every chunk boundary: cut the chain there and keep the footer pointing into it.
      std::vector<std::size_t> cuts;
      for (std::size_t at = chainAt; at + 8 <= good.size() - footer;) {
        cuts.push_back(at);
        cuts.push_back(at + 4);
        at += 8 + GetBE32(&good[at + 4]);
      }
      std::vector<Bytes> cutImages;
      for (std::size_t cut : cuts) {
        Bytes img(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        img.insert(img.end(), good.end() - static_cast<std::ptrdiff_t>(footer), good.end());
        orvane::DiscLayout l;
        std::string error;
        EXPECT_FALSE(orvane::OpenImage(dir.Write("c.nrg", img), l, error)) << "cut at " << cut;
        EXPECT_EQ(error.find('\n'), std::string::npos);
      }
      // Plain truncation anywhere in the chain and footer, and random bytes in it.
      std::vector<std::size_t> tails;
      for (std::size_t at = chainAt; at <= good.size(); at += 7) tails.push_back(at);
      ExpectDamageRefusedOrSafe(dir, "x.nrg", good, tails, chainAt, good.size(), 150);
    }
  }
}

// libcdio gives every track of a disc-at-once image the format of the first
// one, so audio and data are compared on a disc of one kind only; starts and
// the lead-out on a mixed one. It leaves the minute:second:frame addresses of
// version 1 cue chunks undecoded, so only version 2 images are compared.
TEST(FormatNrg, ReadByLibcdioAlike) {
  if (!testsupport::HaveProgram("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) not installed";
  ScratchDir dir;
  FixtureDisc mixed;
  mixed.tracks.push_back(Track(TrackMode::Mode1, 2048, 300));
  mixed.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150));
  mixed.tracks.push_back(Track(TrackMode::Audio, 2352, 180, 150));
  FixtureDisc audio;
  audio.tracks.push_back(Track(TrackMode::Audio, 2352, 300));
  audio.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150));
  audio.tracks.push_back(Track(TrackMode::Audio, 2352, 180, 75));
  for (int version : {2}) {
    for (const FixtureDisc* disc : {&mixed, &audio}) {
      NrgOptions o;
      o.version = version;
      const std::string path = dir.Write("cdio.nrg", NrgImage(*disc, o));
      SCOPED_TRACE("version " + std::to_string(version) + (disc == &audio ? " audio" : " mixed"));
      auto l = MustOpen(path);
      auto ref = testsupport::CdInfoTracks("--nrg-file=" + testsupport::ShellQuote(path), dir);
      ASSERT_FALSE(ref.empty()) << "cd-info read nothing";
      ASSERT_TRUE(ref.count(170));
      EXPECT_EQ(ref[170].start, l.sessions.back().leadOut);
      ref.erase(170);
      ASSERT_EQ(ref.size(), l.tracks.size());
      for (const auto& t : l.tracks) {
        SCOPED_TRACE(t.number);
        EXPECT_EQ(ref[t.number].start, t.start);
        if (disc == &audio) {
          EXPECT_TRUE(ref[t.number].audio);
        }
      }
    }
  }
}
