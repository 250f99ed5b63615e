// Damaged and hostile images: each is refused with its own reason, and no
// input, however mangled, crashes, hangs or yields half an image.
#include <random>

#include "tests/orvane/ReaderTestUtil.h"

using namespace readertest;
using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

// A folder with a 100-sector audio file d.bin, for sheets to point at.
struct SheetDir {
  ScratchDir dir;
  SheetDir() { dir.Write("d.bin", testsupport::AudioSectors(100)); }
  ::testing::AssertionResult Refuses(const std::string& sheet, const std::string& why) {
    return Refused(dir.Write("bad.cue", sheet), why);
  }
};

const std::string kFile = "FILE \"d.bin\" BINARY\n";
const std::string kTrack1 = "TRACK 01 AUDIO\n";

}  // namespace

TEST(ReaderMalformed, SheetsWithoutTracksOrFiles) {
  SheetDir s;
  EXPECT_TRUE(s.Refuses("", "is empty"));
  EXPECT_TRUE(s.Refuses("REM nothing here\nTITLE \"x\"\n", "holds no tracks"));
  EXPECT_TRUE(s.Refuses(kFile, "holds no tracks"));
  EXPECT_TRUE(s.Refuses(kTrack1 + "INDEX 01 00:00:00\n", "TRACK before any FILE"));
  EXPECT_TRUE(s.Refuses("FILE \"gone.bin\" BINARY\n" + kTrack1 + "INDEX 01 00:00:00\n", "missing file: gone.bin"));
  EXPECT_TRUE(s.Refuses(kFile + "FILE d.bin BINARY\n" + kTrack1 + "INDEX 01 00:00:00\n", "holds no INDEX"));
  EXPECT_TRUE(s.Refuses("FILE \"d.bin\" AIFF\n" + kTrack1 + "INDEX 01 00:00:00\n", "AIFF is not supported"));
  EXPECT_TRUE(s.Refuses("FILE \"d.bin\n" + kTrack1, "unterminated quote"));
  EXPECT_TRUE(s.Refuses("FILE\n", "needs a name and a type"));
}

TEST(ReaderMalformed, ImpossibleTimes) {
  SheetDir s;
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:00:75\n", "impossible time 00:00:75"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:60:00\n", "impossible time"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 0:0:0\n", "impossible time"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 -1:00:00\n", "impossible time"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "PREGAP 00:02:99\nINDEX 01 00:00:00\n", "impossible time"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:01:00\nTRACK 02 AUDIO\nINDEX 01 00:00:50\n",
                        "times go backwards"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 00 00:01:00\nINDEX 01 00:00:10\n", "times go backwards"));
  // 100 sectors in the file: an index at sector 200 lies beyond it.
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:50\n",
                        "past the end of d.bin"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:02:50\n", "past the end of d.bin"));
  // An index exactly at the end leaves its track without sectors.
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:25\n",
                        "track 2 holds no sectors"));
  // Gaps that would run past the last address a CD has.
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "PREGAP 99:59:00\nINDEX 01 00:00:00\n", "longer than 99:59:74"));
}

TEST(ReaderMalformed, TrackAndIndexNumbering) {
  SheetDir s;
  const std::string one = kFile + kTrack1 + "INDEX 01 00:00:00\n";
  EXPECT_TRUE(s.Refuses(one + "TRACK 03 AUDIO\nINDEX 01 00:01:00\n", "rise by one"));
  EXPECT_TRUE(s.Refuses(kFile + "TRACK 00 AUDIO\nINDEX 01 00:00:00\n", "bad track number"));
  EXPECT_TRUE(s.Refuses(kFile + "TRACK 100 AUDIO\nINDEX 01 00:00:00\n", "bad track number"));
  EXPECT_TRUE(s.Refuses(kFile + "TRACK 01 MODE3/2352\nINDEX 01 00:00:00\n", "MODE3/2352 is not supported"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "TRACK 02 AUDIO\nINDEX 01 00:00:00\n", "track 1 has no INDEX"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 00 00:00:00\n", "has no INDEX 01"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 02 00:00:00\n", "start at 00 or 01"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:00:00\nINDEX 03 00:00:10\n", "rise by one"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "INDEX 01 00:00:00\nPREGAP 00:02:00\n", "PREGAP after an INDEX"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "POSTGAP 00:02:00\nINDEX 01 00:00:00\n", "POSTGAP before any INDEX"));
  EXPECT_TRUE(s.Refuses(one + "POSTGAP 00:01:00\nINDEX 02 00:00:30\n", "INDEX after POSTGAP"));
  EXPECT_TRUE(s.Refuses("REM SESSION 02\n" + one, "session 1 holds no tracks"));
  EXPECT_TRUE(s.Refuses("REM SESSION 01\n" + one + "REM SESSION 03\n", "numbered 1, 2, 3"));
  EXPECT_TRUE(s.Refuses("REM SESSION 01\nREM SESSION 02\n" + one, "session 1 holds no tracks"));
}

TEST(ReaderMalformed, BadFieldsAndUnknownCommands) {
  SheetDir s;
  const std::string one = kFile + kTrack1 + "INDEX 01 00:00:00\n";
  EXPECT_TRUE(s.Refuses("CATALOG 123\n" + one, "CATALOG must be 13 digits"));
  EXPECT_TRUE(s.Refuses("CATALOG 01234567890AB\n" + one, "CATALOG must be 13 digits"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "ISRC US-ABC-12\nINDEX 01 00:00:00\n", "ISRC must be 12"));
  EXPECT_TRUE(s.Refuses(kFile + kTrack1 + "FLAGS LOUD\nINDEX 01 00:00:00\n", "unknown flag LOUD"));
  EXPECT_TRUE(s.Refuses(one + "WHATEVER 1\n", "line 4: unknown command WHATEVER"));
  EXPECT_TRUE(s.Refuses("FLAGS DCP\n" + one, "FLAGS outside a TRACK"));
}

TEST(ReaderMalformed, FilesThatAreNoSheets) {
  ScratchDir dir;
  Bytes junk(5000);
  std::mt19937 rng(7);
  for (auto& b : junk) b = static_cast<std::uint8_t>(rng());
  EXPECT_TRUE(Refused(dir.Write("junk.cue", junk), "binary data"));
  EXPECT_TRUE(Refused(dir.Write("huge.cue", std::string(2 << 20, ' ')), "too large"));
  EXPECT_TRUE(Refused(dir.Write("junk.xyz", junk), "not a disc image"));
}

TEST(ReaderMalformed, TruncatedDataFileOfASheet) {
  ScratchDir dir;
  dir.Write("t.bin", testsupport::RawTrack(0, 10, RawMode::Mode1));
  // The second track's data would start at sector 20 of a 10-sector file.
  EXPECT_TRUE(Refused(dir.Write("t.cue", "FILE t.bin BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
                                         "TRACK 02 MODE1/2352\nINDEX 01 00:00:20\n"),
                      "past the end of t.bin"));
}

// Every mutation of a good sheet either opens as a whole image whose extents
// lie inside their files, or is refused with a reason.
TEST(ReaderMalformed, MutatedSheetsNeverCrash) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::RawTrack(0, 60, RawMode::Mode1));
  dir.Write("b.wav", testsupport::WaveFile(testsupport::AudioSectors(40)));
  const std::string good =
      "REM SESSION 01\nCATALOG 0000000000001\nTITLE \"T\"\nFILE \"a.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
      "    INDEX 01 00:00:00\n  TRACK 02 MODE1/2352\n    PREGAP 00:00:10\n    INDEX 00 00:00:30\n"
      "    INDEX 01 00:00:40\nREM SESSION 02\nFILE \"b.wav\" WAVE\n  TRACK 03 AUDIO\n    FLAGS DCP\n"
      "    INDEX 01 00:00:05\n    POSTGAP 00:00:02\n";
  ASSERT_FALSE(MustOpen(dir.Write("m.cue", good)).tracks.empty());
  const char alphabet[] = "0123456789:\" \nABFILETRACKINDEXMODE/AUDIOREMSESSION\t\r";
  std::mt19937 rng(12345);
  int opened = 0, refused = 0;
  for (int round = 0; round < 600; ++round) {
    std::string s = good;
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = rng() % s.size();
      switch (rng() % 3) {
        case 0: s[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
        case 1: s.erase(at, 1 + rng() % 8); break;
        default: s.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
      }
      if (s.empty()) s = "x";
    }
    orvane::DiscLayout l;
    std::string error;
    if (orvane::OpenImage(dir.Write("m.cue", s), l, error)) {
      ++opened;
      ASSERT_FALSE(l.tracks.empty()) << s;
      for (const auto& t : l.tracks) {
        ASSERT_GT(t.length, 0u) << s;
        ASSERT_LE(t.pregapStart, t.start) << s;
        for (const auto& x : t.extents) {
          if (x.file) {
            ASSERT_LE(x.offset + std::uint64_t(x.count) * x.stride, x.file->Size()) << s;
          }
        }
      }
    } else {
      ++refused;
      ASSERT_FALSE(error.empty()) << s;
      ASSERT_TRUE(l.tracks.empty());
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

// Plain images with damaged heads: whatever the reader makes of them, reading
// their layout back stays inside the file.
TEST(ReaderMalformed, MangledImageHeadsNeverCrash) {
  ScratchDir dir;
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    Bytes img = round % 2 ? testsupport::IsoVolume(40, round % 4 == 1) : testsupport::RawTrack(0, 40, RawMode::Mode2Form1);
    for (int e = 0; e < 30; ++e) img[rng() % std::min<std::size_t>(img.size(), 40000)] = static_cast<std::uint8_t>(rng());
    img.resize(img.size() - rng() % 5000);
    orvane::DiscLayout l;
    std::string error;
    if (orvane::OpenImage(dir.Write(round % 3 ? "x.iso" : "x.bin", img), l, error)) {
      for (std::int32_t lba = 0; lba < static_cast<std::int32_t>(l.tracks.at(0).length) + 2; ++lba) {
        std::uint8_t buf[2048];
        orvane::ReadUserData(l, lba, buf);
      }
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}
