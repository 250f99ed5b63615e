// CUE sheets that real tools write: how each lays out tracks, gaps, sessions,
// files of several kinds, CD-TEXT and the control bits.
#include "tests/orvane/ReaderTestUtil.h"

using namespace readertest;
using orvane::StoredFormat;
using orvane::TrackMode;
using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {
Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
}  // namespace

TEST(ReaderCue, MixedModeDiscInOneFile) {
  ScratchDir dir;
  // Track 1 data (300 sectors), track 2 audio with a 150-sector pregap, track 3 audio.
  dir.Write("mixed.bin", Concat({testsupport::RawTrack(0, 300, RawMode::Mode1), testsupport::AudioSectors(150 + 400, 1),
                                 testsupport::AudioSectors(200, 2)}));
  auto l = MustOpen(dir.Write("mixed.cue",
                              "FILE \"mixed.bin\" BINARY\n"
                              "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
                              "  TRACK 03 AUDIO\n    INDEX 01 00:11:25\n"));
  EXPECT_EQ(l.format, "CUE");
  ASSERT_EQ(l.tracks.size(), 3u);
  EXPECT_EQ(l.tracks[0].mode, TrackMode::Mode1);
  EXPECT_EQ(l.tracks[0].control, 0x04);
  EXPECT_EQ(l.tracks[0].start, 0);
  EXPECT_EQ(l.tracks[0].length, 300u);  // up to track 2's pregap, not its INDEX 01
  EXPECT_EQ(l.tracks[1].mode, TrackMode::Audio);
  EXPECT_EQ(l.tracks[1].control, 0x00);
  EXPECT_EQ(l.tracks[1].pregapStart, 300);
  EXPECT_EQ(l.tracks[1].start, 450);
  EXPECT_EQ(l.tracks[1].length, 400u);
  EXPECT_EQ(l.tracks[2].start, 850);
  EXPECT_EQ(l.tracks[2].length, 200u);
  EXPECT_EQ(l.sessions.at(0).leadOut, 1050);
  EXPECT_EQ(UserDataLba(l, 299), 299u);
  // Audio sectors come from the right bytes of the file.
  EXPECT_EQ(StoredSector(l, 850), Bytes(testsupport::AudioSectors(1, 2)));
  EXPECT_EQ(StoredSector(l, 300), Bytes(testsupport::AudioSectors(1, 1)));
}

TEST(ReaderCue, EveryTrackTypeGetsItsStorage) {
  ScratchDir dir;
  struct Case {
    const char* type;
    Bytes data;
    TrackMode mode;
    StoredFormat format;
    std::uint32_t stride;
  } cases[] = {
      {"MODE1/2048", testsupport::PatternSectors(0, 40), TrackMode::Mode1, StoredFormat::UserData2048, 2048},
      {"MODE1/2352", testsupport::RawTrack(0, 40, RawMode::Mode1), TrackMode::Mode1, StoredFormat::Raw2352, 2352},
      {"MODE2/2352", testsupport::RawTrack(0, 40, RawMode::Mode2Form1), TrackMode::Mode2Xa, StoredFormat::Raw2352, 2352},
      {"MODE2/2352", testsupport::RawTrack(0, 40, RawMode::Mode2Formless), TrackMode::Mode2Formless,
       StoredFormat::Raw2352, 2352},
      {"MODE2/2336", testsupport::Mode2Track2336(0, 40), TrackMode::Mode2Xa, StoredFormat::Mode2_2336, 2336},
      {"CDI/2352", testsupport::RawTrack(0, 40, RawMode::Mode2Form1), TrackMode::Mode2Xa, StoredFormat::Raw2352, 2352},
      {"CDG", Bytes(40 * 2448, 0), TrackMode::Audio, StoredFormat::Audio2352, 2448},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    dir.Write("t.bin", c.data);
    auto l = MustOpen(dir.Write("t.cue", std::string("FILE t.bin BINARY\nTRACK 01 ") + c.type + "\nINDEX 01 00:00:00\n"));
    ASSERT_EQ(l.tracks.size(), 1u);
    EXPECT_EQ(l.tracks[0].mode, c.mode);
    EXPECT_EQ(l.tracks[0].length, 40u);
    const auto* e = ExtentAt(l, 39);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->format, c.format);
    EXPECT_EQ(e->stride, c.stride);
    EXPECT_EQ(e->hasSubchannel, std::string(c.type) == "CDG");
    if (c.mode == TrackMode::Mode1 || c.format == StoredFormat::Mode2_2336) {
      EXPECT_EQ(UserDataLba(l, 39), 39u);
    }
    std::uint8_t want = std::string(c.type).rfind("CDI", 0) == 0 ? 0x10 : c.mode == TrackMode::Mode1 || c.mode == TrackMode::Audio ? 0x00 : 0x20;
    EXPECT_EQ(l.sessions.at(0).discType, want);
  }
}

TEST(ReaderCue, AudioDiscWithCdTextCatalogueIsrcAndFlags) {
  ScratchDir dir;
  dir.Write("Album.bin", Concat({testsupport::AudioSectors(300, 1), testsupport::AudioSectors(300, 2)}));
  // CRLF line ends, a UTF-8 byte-order mark, quoted and unquoted values, mixed-case keywords.
  auto l = MustOpen(dir.Write("album.cue",
                              "\xEF\xBB\xBFREM GENRE Rock\r\n"
                              "CATALOG 0123456789012\r\n"
                              "PERFORMER \"The Band\"\r\n"
                              "TITLE \"Gr\xC3\xBC\xC3\x9F" "e\"\r\n"
                              "SONGWRITER Someone Else\r\n"
                              "FILE \"Album.bin\" BINARY\r\n"
                              "  TRACK 01 AUDIO\r\n"
                              "    TITLE \"First\"\r\n    PERFORMER Solo Artist\r\n"
                              "    composer \"C. Omposer\"\r\n    ARRANGER \"A. Rranger\"\r\n    MESSAGE \"hi\"\r\n"
                              "    ISRC USABC1234567\r\n    FLAGS DCP PRE\r\n"
                              "    INDEX 01 00:00:00\r\n"
                              "  TRACK 02 AUDIO\r\n    FLAGS 4CH SCMS\r\n    TITLE Second one\r\n"
                              "    INDEX 01 00:04:00\r\n"));
  EXPECT_EQ(l.catalog, "0123456789012");
  ASSERT_EQ(l.cdText.size(), 3u);
  EXPECT_EQ(l.cdText[0].title, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(l.cdText[0].performer, "The Band");
  EXPECT_EQ(l.cdText[0].songwriter, "Someone Else");
  EXPECT_EQ(l.cdText[0].isrc, "0123456789012");  // the catalogue as CD-TEXT's UPC/EAN
  EXPECT_EQ(l.cdText[1].title, "First");
  EXPECT_EQ(l.cdText[1].performer, "Solo Artist");
  EXPECT_EQ(l.cdText[1].composer, "C. Omposer");
  EXPECT_EQ(l.cdText[1].arranger, "A. Rranger");
  EXPECT_EQ(l.cdText[1].message, "hi");
  EXPECT_EQ(l.cdText[1].isrc, "USABC1234567");
  EXPECT_EQ(l.cdText[2].title, "Second one");
  ASSERT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.tracks[0].isrc, "USABC1234567");
  EXPECT_EQ(l.tracks[0].control, 0x03);  // copy permitted, pre-emphasis
  EXPECT_EQ(l.tracks[1].control, 0x08);  // four channels; SCMS has no control bit
  EXPECT_EQ(l.tracks[1].start, 300);
}

TEST(ReaderCue, Latin1SheetTextBecomesUtf8) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(100));
  auto l = MustOpen(dir.Write("a.cue", "TITLE \"Caf\xE9\"\nFILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
  ASSERT_FALSE(l.cdText.empty());
  EXPECT_EQ(l.cdText[0].title, "Caf\xC3\xA9");
  EXPECT_TRUE(l.cdText.size() == 2 && l.cdText[1].title.empty());
}

TEST(ReaderCue, OverlongAndSurrogateBytesAreNoUtf8) {
  // "\xC0\xAF" is an overlong '/', "\xED\xA0\x80" a surrogate: neither is UTF-8, so
  // the sheet is Latin-1 and the text comes out as valid UTF-8, never as those bytes.
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(100));
  auto l = MustOpen(dir.Write("a.cue", "TITLE \"a\xC0\xAF\xED\xA0\x80\"\nFILE \"a.bin\" BINARY\nTRACK 01 AUDIO\n"
                                       "INDEX 01 00:00:00\n"));
  ASSERT_FALSE(l.cdText.empty());
  EXPECT_EQ(l.cdText[0].title, "a\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xC2\x80");
}

TEST(ReaderCue, PregapPostgapAndFurtherIndexes) {
  ScratchDir dir;
  dir.Write("g1.bin", testsupport::PatternSectors(0, 100));
  dir.Write("g2.bin", testsupport::AudioSectors(300));
  auto l = MustOpen(dir.Write("g.cue",
                              "FILE g1.bin BINARY\n"
                              "TRACK 01 MODE1/2048\n INDEX 01 00:00:00\n POSTGAP 00:02:00\n"
                              "FILE g2.bin BINARY\n"
                              "TRACK 02 AUDIO\n PREGAP 00:02:00\n INDEX 01 00:00:00\n INDEX 02 00:01:00\n"
                              " INDEX 03 00:02:00\n"));
  ASSERT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.tracks[0].length, 100u + 150);  // data + postgap
  const auto* gap = ExtentAt(l, 120);
  ASSERT_NE(gap, nullptr);
  EXPECT_EQ(gap->file, nullptr);
  EXPECT_EQ(l.tracks[1].pregapStart, 250);
  EXPECT_EQ(l.tracks[1].start, 400);
  EXPECT_EQ(ExtentAt(l, 300)->file, nullptr);  // PREGAP is not stored
  EXPECT_EQ(l.tracks[1].furtherIndexes, (std::vector<std::int32_t>{475, 550}));
  EXPECT_EQ(l.tracks[1].length, 300u);
  EXPECT_EQ(StoredSector(l, 400), testsupport::AudioSectors(1));
}

TEST(ReaderCue, OneFileNamedTwiceIsReadFromItsStartAgain) {
  // Sheets that name the same file for two tracks mean a new pass over it,
  // as burning tools read them: the first track runs to the file's end.
  ScratchDir dir;
  dir.Write("same.bin", testsupport::PatternSectors(0, 100));
  auto l = MustOpen(dir.Write("same.cue", "FILE same.bin BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n"
                                          "FILE same.bin BINARY\nTRACK 02 MODE1/2048\nINDEX 01 00:00:00\n"));
  ASSERT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.tracks[1].start, 100);
  EXPECT_EQ(UserDataLba(l, 100), 0u);
}

TEST(ReaderCue, TwoSessionsLeaveRoomForLeadOutAndLeadIn) {
  ScratchDir dir;
  dir.Write("s1.bin", testsupport::AudioSectors(1000));
  dir.Write("s2.bin", testsupport::RawTrack(0, 150 + 500, RawMode::Mode2Form1));
  dir.Write("s3.bin", testsupport::RawTrack(0, 300, RawMode::Mode2Form1));
  auto l = MustOpen(dir.Write("multi.cue",
                              "REM SESSION 01\nFILE s1.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                              "REM SESSION 02\nFILE s2.bin BINARY\nTRACK 02 MODE2/2352\nINDEX 00 00:00:00\n"
                              "INDEX 01 00:02:00\n"
                              "REM SESSION 03\nFILE s3.bin BINARY\nTRACK 03 MODE2/2352\nINDEX 01 00:00:00\n"));
  ASSERT_EQ(l.sessions.size(), 3u);
  EXPECT_EQ(l.sessions[0].leadOut, 1000);
  EXPECT_EQ(l.sessions[0].discType, 0x00);
  EXPECT_EQ(l.sessions[1].discType, 0x20);
  ASSERT_EQ(l.tracks.size(), 3u);
  EXPECT_EQ(l.tracks[1].session, 2);
  EXPECT_EQ(l.tracks[1].pregapStart, 1000 + 11250);  // the stored 150-sector pregap
  EXPECT_EQ(l.tracks[1].start, 1000 + 11400);
  EXPECT_EQ(l.sessions[1].leadOut, 1000 + 11400 + 500);
  // The third session's track has no pregap of its own: one is added unstored.
  EXPECT_EQ(l.tracks[2].session, 3);
  EXPECT_EQ(l.tracks[2].pregapStart, l.sessions[1].leadOut + 6750);
  EXPECT_EQ(l.tracks[2].start, l.sessions[1].leadOut + 6900);
  EXPECT_EQ(ExtentAt(l, l.tracks[2].pregapStart)->file, nullptr);
  EXPECT_EQ(UserDataLba(l, l.tracks[2].start + 7), 7u);
}

TEST(ReaderCue, TracksInSeveralFilesOfEveryKind) {
  ScratchDir dir;
  auto a = testsupport::AudioSectors(200, 1), b = testsupport::AudioSectors(300, 2), c = testsupport::AudioSectors(100, 3);
  dir.Write("one.wav", testsupport::WaveFile(a));
  dir.Write("two.raw", testsupport::SwapBytePairs(b));
  dir.Write("Three.BIN", c);
  // The gap before track 2 is stored at the end of the first file (as rippers
  // write it), and the third file's name differs in case from the sheet.
  auto l = MustOpen(dir.Write("files.cue",
                              "FILE \"one.wav\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                              " TRACK 02 AUDIO\n  INDEX 00 00:02:00\n"
                              "FILE \"two.raw\" MOTOROLA\n  INDEX 01 00:00:00\n"
                              "FILE three.bin BINARY\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n"));
  ASSERT_EQ(l.tracks.size(), 3u);
  EXPECT_EQ(l.tracks[0].length, 150u);
  EXPECT_EQ(l.tracks[1].pregapStart, 150);
  EXPECT_EQ(l.tracks[1].start, 200);
  EXPECT_EQ(l.tracks[1].length, 300u);
  EXPECT_EQ(l.tracks[2].start, 500);
  EXPECT_EQ(l.sessions.at(0).leadOut, 600);
  // The WAVE data chunk lies behind a padded LIST chunk.
  EXPECT_EQ(StoredSector(l, 199), Bytes(a.begin() + 199 * 2352, a.begin() + 200 * 2352));
  EXPECT_EQ(ExtentAt(l, 0)->offset, 12u + 24 + 14 + 8);
  EXPECT_EQ(ExtentAt(l, 200)->format, StoredFormat::Audio2352BE);
  EXPECT_EQ(StoredSector(l, 200), testsupport::SwapBytePairs(Bytes(b.begin(), b.begin() + 2352)));
  EXPECT_EQ(StoredSector(l, 599), Bytes(c.end() - 2352, c.end()));
}

TEST(ReaderCue, WaveFilesMustHoldCdAudio) {
  ScratchDir dir;
  auto pcm = testsupport::AudioSectors(10);
  const std::string sheet = "FILE \"x.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
  dir.Write("x.cue", sheet);
  dir.Write("x.wav", testsupport::WaveFile(pcm, 2, 48000));
  EXPECT_TRUE(Refused(dir.File("x.cue"), "not 44.1 kHz 16-bit stereo PCM"));
  dir.Write("x.wav", testsupport::WaveFile(pcm, 1));
  EXPECT_TRUE(Refused(dir.File("x.cue"), "not 44.1 kHz"));
  dir.Write("x.wav", testsupport::WaveFile(pcm, 2, 44100, 8));
  EXPECT_TRUE(Refused(dir.File("x.cue"), "not 44.1 kHz"));
  dir.Write("x.wav", pcm);
  EXPECT_TRUE(Refused(dir.File("x.cue"), "not a RIFF WAVE"));
  auto cut = testsupport::WaveFile(pcm);
  cut.resize(cut.size() - 5000);
  dir.Write("x.wav", cut);
  EXPECT_TRUE(Refused(dir.File("x.cue"), "truncated"));
  auto noData = testsupport::WaveFile({});
  noData.resize(noData.size() - 8);
  dir.Write("x.wav", noData);
  EXPECT_TRUE(Refused(dir.File("x.cue"), "no audio data"));
}

TEST(ReaderCue, FileNamesAbsoluteWindowsStyleAndUnquotedWithSpaces) {
  ScratchDir dir;
  std::string abs = dir.Write("abs.bin", testsupport::AudioSectors(100, 1));
  dir.Write("sub/win.bin", testsupport::AudioSectors(100, 2));
  dir.Write("with space.bin", testsupport::AudioSectors(100, 3));
  auto l = MustOpen(dir.Write("names.cue", "FILE \"" + abs + "\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                           "FILE \"sub\\win.bin\" BINARY\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n"
                                           "FILE with space.bin BINARY\nTRACK 03 AUDIO\nINDEX 01 00:00:00\n"));
  ASSERT_EQ(l.tracks.size(), 3u);
  EXPECT_EQ(StoredSector(l, 0), testsupport::AudioSectors(1, 1));
  EXPECT_EQ(StoredSector(l, 100), testsupport::AudioSectors(1, 2));
  EXPECT_EQ(StoredSector(l, 200), testsupport::AudioSectors(1, 3));
}

TEST(ReaderCue, DataBeforeTheFirstIndexIsTheFirstTracksPregap) {
  ScratchDir dir;
  dir.Write("hidden.bin", testsupport::AudioSectors(400));
  auto l = MustOpen(dir.Write("hidden.cue", "FILE hidden.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:02:00\n"));
  ASSERT_EQ(l.tracks.size(), 1u);
  EXPECT_EQ(l.tracks[0].pregapStart, 0);
  EXPECT_EQ(l.tracks[0].start, 150);
  EXPECT_EQ(l.tracks[0].length, 250u);
  EXPECT_EQ(l.sessions.at(0).leadOut, 400);
}
