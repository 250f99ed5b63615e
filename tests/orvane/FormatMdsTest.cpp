// Alcohol 120% images: sessions, tracks, modes, sector sizes with and without
// sub-channel, pregaps and the medium type, served through the virtual drive;
// damaged descriptors refused; mdf2iso extracting the same data track.
#include <fstream>

#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace formattest;
using testsupport::ScratchDir;

namespace {

FixtureDisc TwoSessions() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 300, 150));  // its pregap lies before LBA 0
  d.tracks.push_back(Track(TrackMode::Audio, 2448, 150, 150));
  d.tracks.back().flags = 0x02;
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 90, 33));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2336, 100, 150, 2));
  d.tracks.push_back(Track(TrackMode::Mode2Formless, 2352, 60, 150, 2));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2448, 50, 150, 2));
  return d;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FormatMds, SessionsModesSizesAndPregaps) {
  ScratchDir dir;
  const FixtureDisc disc = TwoSessions();
  testsupport::WriteMds(disc, dir, "disc");
  ExpectServes(disc, dir.File("disc.mds"));
  // The data file chosen instead opens the same disc.
  auto l = MustOpen(dir.File("disc.mdf"));
  EXPECT_EQ(l.format, "MDS");
  EXPECT_EQ(l.tracks.size(), disc.tracks.size());
  EXPECT_EQ(l.sessions.at(1).discType, 0x20);
}

TEST(FormatMds, MediumTypeDecidesTheProfile) {
  ScratchDir dir;
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 500));
  for (auto [medium, profile] : {std::pair{0u, 0x08}, {1u, 0x09}, {2u, 0x0A}, {0x10u, 0x10}, {0x12u, 0x10}}) {
    testsupport::WriteMds(d, dir, "m", medium);
    EXPECT_EQ(MustOpen(dir.File("m.mds")).profile, profile) << medium;
  }
  // A DVD's data track, as Alcohol marks it (mode 0x02, its length in place of
  // the extra block's offset), also without control bits.
  testsupport::WriteMds(d, dir, "m", 0x10);
  Bytes dvd = ReadBytes(dir.File("m.mds"));
  const std::size_t track = 88 + 24 + 3 * 80;
  ASSERT_EQ(dvd[track], 0x02);
  EXPECT_EQ(GetLE32(&dvd[track + 12]), 500u);
  dvd[track + 2] = 0x00;
  auto l = MustOpen(dir.Write("m.mds", dvd));
  EXPECT_EQ(l.profile, 0x10);
  ASSERT_EQ(l.tracks.size(), 1u);
  EXPECT_EQ(l.tracks[0].mode, TrackMode::Mode1);
  unsigned char user[2048];
  ASSERT_EQ(Serve(l)->ReadCD_10(user, sizeof user, 1, 7), 0);
  EXPECT_EQ(Bytes(user, user + 2048), testsupport::UserDataOf(7));
  testsupport::WriteMds(d, dir, "m", 0x77);
  EXPECT_TRUE(Refused(dir.File("m.mds"), "unknown medium type"));
}

TEST(FormatMds, DamagedDescriptorsAreRefused) {
  ScratchDir dir;
  testsupport::WriteMds(TwoSessions(), dir, "disc");
  const Bytes good = ReadBytes(dir.File("disc.mds"));
  const Bytes mdf = ReadBytes(dir.File("disc.mdf"));
  dir.Write("bad.mdf", mdf);
  auto with = [&](std::size_t at, std::initializer_list<std::uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return dir.Write("bad.mds", b);
  };
  EXPECT_TRUE(Refused(with(16, {2}), "only version 1"));
  EXPECT_TRUE(Refused(with(20, {0}), "counts 0 sessions"));
  EXPECT_TRUE(Refused(with(80, {0xF0, 0xFF}), "session blocks lie past"));
  const std::size_t firstTrack = 88 + 2 * 24 + 3 * 80;  // session 1's A0, A1, A2 come first
  EXPECT_TRUE(Refused(with(firstTrack, {0xA7}), "unknown mode 0xA7"));
  EXPECT_TRUE(Refused(with(firstTrack, {0x3A}), "unknown mode 0x3A"));
  EXPECT_TRUE(Refused(with(firstTrack, {0xA9}), "control bits contradict"));
  EXPECT_TRUE(Refused(with(firstTrack + 16, {0x00, 0x09}), "2304-byte sectors"));
  EXPECT_TRUE(Refused(with(firstTrack + 52, {0xFF, 0xFF}), "footer of track 1 lies past"));
  EXPECT_TRUE(Refused(with(firstTrack + 48, {2}), "spread over 2 files"));
  Bytes noName = good;
  std::memcpy(&noName[noName.size() - 6], "../x\0", 5);
  EXPECT_TRUE(Refused(dir.Write("bad.mds", noName), "unusable data file"));
  // A data file cut short.
  dir.Write("bad.mdf", Bytes(mdf.begin(), mdf.end() - 2448));
  EXPECT_TRUE(Refused(dir.Write("bad.mds", good), "truncated"));
  std::remove(dir.File("bad.mdf").c_str());
  EXPECT_TRUE(Refused(dir.File("bad.mds"), "bad.mdf is missing"));
}

TEST(FormatMds, TruncatedAndMutatedDescriptorsNeverCrash) {
  ScratchDir dir;
  testsupport::WriteMds(TwoSessions(), dir, "disc");
  const Bytes good = ReadBytes(dir.File("disc.mds"));
  const Bytes mdf = ReadBytes(dir.File("disc.mdf"));
  std::vector<std::size_t> cuts;
  for (std::size_t at = 0; at <= good.size(); at += 4) cuts.push_back(at);
  ExpectDamageRefusedOrSafe(dir, "m.mds", good, cuts, 16, good.size(), 400, {{"m.mdf", mdf}});
}

TEST(FormatMds, Mdf2isoExtractsTheSameDataTrack) {
  if (!testsupport::HaveProgram("mdf2iso")) GTEST_SKIP() << "mdf2iso not installed";
  ScratchDir dir;
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 300));
  testsupport::WriteMds(d, dir, "data");
  auto run = testsupport::RunProgram(
      "mdf2iso " + testsupport::ShellQuote(dir.File("data.mdf")) + " " + testsupport::ShellQuote(dir.File("out.iso")), dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const Bytes iso = ReadBytes(dir.File("out.iso"));
  ASSERT_EQ(iso.size(), 300u * 2048);
  auto drive = Serve(MustOpen(dir.File("data.mds")));
  for (std::uint32_t lba : {0u, 17u, 299u}) {
    unsigned char user[2048];
    ASSERT_EQ(drive->ReadCD_10(user, sizeof user, 1, lba), 0);
    EXPECT_EQ(Bytes(user, user + 2048), Bytes(iso.begin() + lba * 2048, iso.begin() + (lba + 1) * 2048));
  }
}
