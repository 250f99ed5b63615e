// Plain ISO and raw BIN images: how they are recognised and laid out.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/orvane/ReaderTestUtil.h"

using namespace readertest;
using testsupport::RawMode;
using testsupport::ScratchDir;

TEST(ReaderIso, PlainVolumeIsOneMode1TrackOfACdRom) {
  ScratchDir dir;
  auto l = MustOpen(dir.Write("disc.iso", testsupport::IsoVolume(300)));
  EXPECT_EQ(l.format, "ISO");
  EXPECT_EQ(l.profile, 0x08);
  EXPECT_EQ(l.discStatus, 2);
  ASSERT_EQ(l.sessions.size(), 1u);
  EXPECT_EQ(l.sessions[0].leadOut, 300);
  EXPECT_EQ(l.sessions[0].discType, 0x00);
  ASSERT_EQ(l.tracks.size(), 1u);
  const auto& t = l.tracks[0];
  EXPECT_EQ(t.mode, orvane::TrackMode::Mode1);
  EXPECT_EQ(t.control, 0x04);
  EXPECT_EQ(t.start, 0);
  EXPECT_EQ(t.length, 300u);
  EXPECT_FALSE(t.nextWritable);
  EXPECT_EQ(UserDataLba(l, 299), 299u);
  EXPECT_EQ(UserDataLba(l, 40), 40u);
  EXPECT_EQ(UserDataLba(l, 300), 0xFFFFFFFFu);  // past the end
}

TEST(ReaderIso, XaMarkMakesAMode2XaSession) {
  ScratchDir dir;
  auto l = MustOpen(dir.Write("vcd.iso", testsupport::IsoVolume(64, true)));
  EXPECT_EQ(l.sessions.at(0).discType, 0x20);
  EXPECT_EQ(l.tracks.at(0).mode, orvane::TrackMode::Mode2Xa);
}

TEST(ReaderIso, ContentDecidesOverTheName) {
  ScratchDir dir;
  // An ISO volume named .bin is still an ISO; a raw image named .iso is a BIN.
  EXPECT_EQ(MustOpen(dir.Write("a.bin", testsupport::IsoVolume(40))).format, "ISO");
  EXPECT_EQ(MustOpen(dir.Write("b.iso", testsupport::RawTrack(0, 40, RawMode::Mode1))).format, "BIN");
  // Without a signature the name decides.
  EXPECT_EQ(MustOpen(dir.Write("c.iso", testsupport::PatternSectors(0, 20))).format, "ISO");
  EXPECT_TRUE(Refused(dir.Write("d.dat", testsupport::PatternSectors(0, 20)), "not a disc image"));
}

TEST(ReaderIso, SizeDecidesTheProfile) {
  EXPECT_EQ(orvane::ProfileForSectors(1), 0x08);
  EXPECT_EQ(orvane::ProfileForSectors(orvane::kCdCapacitySectors), 0x08);
  EXPECT_EQ(orvane::ProfileForSectors(orvane::kCdCapacitySectors + 1), 0x10);
  EXPECT_EQ(orvane::ProfileForSectors(orvane::kDvdCapacitySectors), 0x10);
  EXPECT_EQ(orvane::ProfileForSectors(orvane::kDvdCapacitySectors + 1), 0x40);
  // A sparse file larger than 4 GiB: offsets past 32 bits must still read.
  ScratchDir dir;
  std::string p = dir.Write("big.iso", testsupport::IsoVolume(18, false, 2500000));
  ASSERT_EQ(::truncate(p.c_str(), 2500000LL * 2048), 0);
  {
    int fd = ::open(p.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    auto tail = testsupport::PatternSectors(2499999, 1);
    ASSERT_EQ(::pwrite(fd, tail.data(), 2048, 2499999LL * 2048), 2048);
    ::close(fd);
  }
  auto l = MustOpen(p);
  EXPECT_EQ(l.profile, 0x10);
  EXPECT_EQ(l.tracks.at(0).length, 2500000u);
  EXPECT_EQ(UserDataLba(l, 2499999), 2499999u);
}

TEST(ReaderIso, RefusesWhatIsNotAWholeImage) {
  ScratchDir dir;
  EXPECT_TRUE(Refused(dir.Write("empty.iso", testsupport::Bytes{}), "is empty"));
  EXPECT_TRUE(Refused(dir.File("missing.iso"), "cannot open"));
  EXPECT_TRUE(Refused(dir.Path(), "not a regular file"));
  EXPECT_TRUE(Refused(dir.Write("tiny.iso", testsupport::Bytes(100, 1)), "shorter than one"));
  // The volume descriptor counts more sectors than the file holds.
  EXPECT_TRUE(Refused(dir.Write("cut.iso", testsupport::IsoVolume(50, false, 80)), "truncated"));
}

TEST(ReaderIso, ReadsAVolumeMadeByGenisoimage) {
  if (std::system("command -v genisoimage >/dev/null 2>&1") != 0) GTEST_SKIP() << "genisoimage not installed";
  ScratchDir dir;
  dir.Write("src/hello.txt", std::string("hello\n"));
  std::string iso = dir.File("g.iso");
  std::string cmd = "genisoimage -quiet -J -R -V GENTEST -o '" + iso + "' '" + dir.File("src") + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  auto l = MustOpen(iso);
  EXPECT_EQ(l.format, "ISO");
  std::uint8_t pvd[2048];
  ASSERT_TRUE(orvane::ReadUserData(l, 16, pvd));
  EXPECT_EQ(std::memcmp(pvd + 1, "CD001", 5), 0);
  std::uint32_t declared = pvd[80] | (pvd[81] << 8) | (pvd[82] << 16) | (std::uint32_t(pvd[83]) << 24);
  EXPECT_EQ(l.tracks.at(0).length, declared);
}

TEST(ReaderBin, RawSectorsGiveTheModeOfTheirHeader) {
  ScratchDir dir;
  struct Case {
    RawMode raw;
    orvane::TrackMode mode;
    std::uint8_t discType;
  } cases[] = {{RawMode::Mode1, orvane::TrackMode::Mode1, 0x00},
               {RawMode::Mode2Form1, orvane::TrackMode::Mode2Xa, 0x20},
               {RawMode::Mode2Formless, orvane::TrackMode::Mode2Formless, 0x20}};
  for (const Case& c : cases) {
    auto l = MustOpen(dir.Write("raw.bin", testsupport::RawTrack(0, 30, c.raw)));
    SCOPED_TRACE(static_cast<int>(c.raw));
    EXPECT_EQ(l.format, "BIN");
    EXPECT_EQ(l.tracks.at(0).mode, c.mode);
    EXPECT_EQ(l.sessions.at(0).discType, c.discType);
    EXPECT_EQ(l.tracks[0].length, 30u);
    const auto* e = ExtentAt(l, 29);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, orvane::StoredFormat::Raw2352);
    EXPECT_EQ(e->stride, 2352u);
    if (c.raw != RawMode::Mode2Formless) {
      EXPECT_EQ(UserDataLba(l, 17), 17u);
    }
  }
}

TEST(ReaderBin, WithoutSyncItIsAudioAndAPartialSectorIsDropped) {
  ScratchDir dir;
  auto pcm = testsupport::AudioSectors(75);
  pcm.resize(pcm.size() + 1000);  // a cut-off last sector
  auto l = MustOpen(dir.Write("song.bin", pcm));
  EXPECT_EQ(l.tracks.at(0).mode, orvane::TrackMode::Audio);
  EXPECT_EQ(l.tracks[0].control, 0x00);
  EXPECT_EQ(l.tracks[0].length, 75u);
  EXPECT_EQ(l.sessions.at(0).leadOut, 75);
  EXPECT_EQ(StoredSector(l, 74), testsupport::Bytes(pcm.begin() + 74 * 2352, pcm.begin() + 75 * 2352));
  EXPECT_TRUE(Refused(dir.Write("short.bin", testsupport::Bytes(2000, 0)), "shorter than one"));
}

TEST(ReaderBin, FirstSectorsOfModeZeroStillMakeADataTrack) {
  ScratchDir dir;
  auto raw = testsupport::RawTrack(0, 20, RawMode::Mode1);
  raw[15] = 0;  // a mode-0 (empty) sector first, as some pregaps are
  EXPECT_EQ(MustOpen(dir.Write("m0.img", raw)).tracks.at(0).mode, orvane::TrackMode::Mode1);
}

TEST(ReaderBin, VideoCdImagesWithoutSyncAreTakenByName) {
  ScratchDir dir;
  EXPECT_EQ(MustOpen(dir.Write("movie.vcd", testsupport::AudioSectors(20))).format, "BIN");
  EXPECT_EQ(MustOpen(dir.Write("movie2.vcd", testsupport::RawTrack(0, 20, RawMode::Mode2Form1))).tracks.at(0).mode,
            orvane::TrackMode::Mode2Xa);
}

TEST(ReaderBin, ASheetBesideTheImageGivesItsTracks) {
  ScratchDir dir;
  auto data = testsupport::RawTrack(0, 300, RawMode::Mode1);
  auto audio = testsupport::AudioSectors(200);
  data.insert(data.end(), audio.begin(), audio.end());
  std::string bin = dir.Write("mixed.bin", data);
  dir.Write("mixed.cue", "FILE mixed.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
                         "TRACK 02 AUDIO\nINDEX 01 00:04:00\n");
  auto l = MustOpen(bin);
  ASSERT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.tracks[1].mode, orvane::TrackMode::Audio);
  EXPECT_EQ(l.tracks[1].start, 300);
  // A sheet that also names another file, or that cannot be read, is not this image's.
  dir.Write("other.bin", audio);
  dir.Write("mixed.cue", "FILE mixed.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
                         "FILE other.bin BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n");
  EXPECT_EQ(MustOpen(bin).tracks.size(), 1u);
  dir.Write("mixed.cue", "FILE mixed.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:99\n");
  EXPECT_EQ(MustOpen(bin).format, "BIN");
}
