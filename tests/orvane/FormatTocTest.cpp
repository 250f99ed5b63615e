// cdrdao TOC files: tracks, modes, pregaps (START), flags, ISRC and CD-TEXT
// served through the virtual drive; bad statements refused; the same files
// read by toc2cue (through our CUE reader) and by libcdio's cd-info.
#include <fstream>
#include <sstream>

#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace formattest;
using testsupport::ScratchDir;

namespace {

FixtureDisc Mixed() {
  FixtureDisc d;
  d.catalog = "0000000000017";
  d.title = "Toc disc";
  d.performer = "cdrdao";
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 300));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150));
  d.tracks.back().title = "Tune";
  d.tracks.back().performer = "Player";
  d.tracks.back().isrc = "GBAAA9900001";
  d.tracks.back().flags = 0x02;
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 100, 32));
  d.tracks.back().flags = 0x01;
  d.tracks.back().title = "Coda";
  return d;
}

FixtureDisc ModeTwo() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2352, 120));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2048, 60, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2336, 60, 150));
  d.tracks.push_back(Track(TrackMode::Mode2Formless, 2336, 40, 150));
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 40, 150));
  return d;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(FormatToc, TracksModesPregapsAndTexts) {
  ScratchDir dir;
  testsupport::WriteCdrdaoToc(Mixed(), dir, "mixed");
  ExpectServes(Mixed(), dir.File("mixed.toc"));
  testsupport::WriteCdrdaoToc(ModeTwo(), dir, "xa");
  ExpectServes(ModeTwo(), dir.File("xa.toc"));
  auto l = MustOpen(dir.File("xa.toc"));
  EXPECT_EQ(l.sessions.at(0).discType, 0x20);
}

TEST(FormatToc, ItemsSilenceIndexesAndSamples) {
  ScratchDir dir;
  dir.Write("a.raw", testsupport::PatternSectors(0, 100, 2352, 3));
  dir.Write("w.wav", testsupport::WaveFile(testsupport::PatternSectors(0, 20, 2352, 4)));
  // 10 sectors of silence as pregap, data from sample 588 * 5 on, an index,
  // then a track of zeros and a file run given in samples.
  auto l = MustOpen(dir.Write("s.toc", "CD_DA\nTRACK AUDIO\nPREGAP 00:00:10\nAUDIOFILE \"a.raw\" 2940 00:01:00\n"
                                       "INDEX 00:00:30\nTRACK AUDIO\nSILENCE 00:00:05\nFILE \"a.raw\" #2352 0 5880\n"
                                       "START 00:00:05\nTRACK AUDIO\nFILE \"w.wav\" 00:00:02\n"));
  ASSERT_EQ(l.tracks.size(), 3u);
  EXPECT_EQ(l.tracks[0].pregapStart, 0);
  EXPECT_EQ(l.tracks[0].start, 10);
  EXPECT_EQ(l.tracks[0].length, 75u);
  EXPECT_EQ(l.tracks[0].furtherIndexes, std::vector<std::int32_t>{40});
  // Raw audio files are big-endian: the drive gives the samples swapped back.
  EXPECT_EQ(readertest::ExtentAt(l, 10)->format, orvane::StoredFormat::Audio2352BE);
  EXPECT_EQ(readertest::StoredSector(l, 10), testsupport::PatternSectors(5, 1, 2352, 3));
  EXPECT_TRUE(readertest::StoredSector(l, 9).empty());  // silence is not stored
  EXPECT_EQ(l.tracks[1].pregapStart, 85);
  EXPECT_EQ(l.tracks[1].start, 90);
  EXPECT_EQ(l.tracks[1].length, 10u);
  EXPECT_EQ(readertest::StoredSector(l, 90), testsupport::PatternSectors(1, 1, 2352, 3));
  // A WAVE file from its data chunk on, little-endian, to its end.
  EXPECT_EQ(l.tracks[2].start, 100);
  EXPECT_EQ(l.tracks[2].length, 18u);
  EXPECT_EQ(readertest::ExtentAt(l, 100)->format, orvane::StoredFormat::Audio2352);
  EXPECT_EQ(readertest::StoredSector(l, 100), testsupport::PatternSectors(2, 1, 2352, 4));
  EXPECT_EQ(l.sessions.at(0).leadOut, 118);
}

TEST(FormatToc, BadStatementsAreRefused) {
  ScratchDir dir;
  dir.Write("d.bin", testsupport::PatternSectors(0, 50, 2352));
  auto refuses = [&](const std::string& toc, const std::string& why) { return Refused(dir.Write("bad.toc", toc), why); };
  const std::string head = "CD_DA\nTRACK AUDIO\n";
  EXPECT_TRUE(refuses("CD_DA\n", "holds no tracks"));
  EXPECT_TRUE(refuses("CD_DA\nTRACK MODE0\nZERO 00:00:10\n", "MODE0 is not supported"));
  EXPECT_TRUE(refuses(head + "FILE \"gone.bin\" 0\n", "missing file: gone.bin"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0 00:01:00\n", "past the end of d.bin"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" #999999 0\n", "starts past the end"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0 00:00:75\n", "impossible time"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0 100\n", "whole sectors"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin 0\n", "unterminated string"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0\nSTART 00:00:50\n", "no sectors after its pregap"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0\nINDEX 00:00:60\n", "INDEX outside the track"));
  EXPECT_TRUE(refuses(head + "ISRC \"X\"\nFILE \"d.bin\" 0\n", "ISRC must be 12"));
  EXPECT_TRUE(refuses(head + "LOUDNESS 7\n", "unknown statement LOUDNESS"));
  EXPECT_TRUE(refuses("CATALOG \"12\"\n" + head, "CATALOG must be 13 digits"));
  EXPECT_TRUE(refuses("CD_DA\nCOPY\n", "COPY outside a TRACK"));
  EXPECT_TRUE(refuses(head + "CD_TEXT { LANGUAGE 0 { TITLE \"x\" }\nFILE \"d.bin\" 0\n", "not closed"));
  EXPECT_TRUE(refuses(head + "FILE \"d.bin\" 0\n@\n", "unexpected character"));
  // A WAVE file that is not CD audio would play as noise; one whose data
  // chunk claims more than the file holds is cut short.
  dir.Write("mono.wav", testsupport::WaveFile(testsupport::PatternSectors(0, 4, 2352), 1));
  EXPECT_TRUE(refuses(head + "FILE \"mono.wav\" 0\n", "mono.wav is not 44.1 kHz 16-bit stereo PCM"));
  Bytes cut = testsupport::WaveFile(testsupport::PatternSectors(0, 4, 2352));
  cut.resize(cut.size() - 2352);
  dir.Write("cut.wav", cut);
  EXPECT_TRUE(refuses(head + "FILE \"cut.wav\" 0\n", "cut.wav is truncated"));
}

TEST(FormatToc, MutatedFilesNeverCrash) {
  ScratchDir dir;
  testsupport::WriteCdrdaoToc(Mixed(), dir, "m");
  const std::string good = ReadText(dir.File("m.toc"));
  Bytes g(good.begin(), good.end());
  std::vector<std::size_t> cuts;
  for (std::size_t at = 0; at < good.size(); at += 5) cuts.push_back(at);
  ExpectDamageRefusedOrSafe(dir, "m.toc", g, cuts, 0, g.size(), 400);
}

TEST(FormatToc, Toc2cueSheetOpensAsTheSameDisc) {
  if (!testsupport::HaveProgram("toc2cue")) GTEST_SKIP() << "toc2cue (cdrdao) not installed";
  ScratchDir dir;
  FixtureDisc d = Mixed();
  d.tracks[0].sectorSize = 2352;  // toc2cue converts raw tracks of one file only
  testsupport::WriteCdrdaoToc(d, dir, "t");
  auto run = testsupport::RunProgram("toc2cue " + testsupport::ShellQuote(dir.File("t.toc")) + " " +
                                         testsupport::ShellQuote(dir.File("t.cue")),
                                     dir);
  ASSERT_EQ(run.status, 0) << run.err;
  auto fromToc = MustOpen(dir.File("t.toc"));
  auto fromCue = MustOpen(dir.File("t.cue"));
  ASSERT_EQ(fromCue.tracks.size(), fromToc.tracks.size());
  for (std::size_t i = 0; i < fromToc.tracks.size(); ++i) {
    SCOPED_TRACE(i + 1);
    const auto& a = fromToc.tracks[i];
    const auto& b = fromCue.tracks[i];
    EXPECT_EQ(a.start, b.start);
    EXPECT_EQ(a.pregapStart, b.pregapStart);
    EXPECT_EQ(a.length, b.length);
    EXPECT_EQ(a.mode, b.mode);
    // toc2cue carries neither flags nor ISRCs, and names the file BINARY
    // although its audio is big-endian, as it warns: same bytes, other order.
    EXPECT_EQ(readertest::StoredSector(fromToc, a.start), readertest::StoredSector(fromCue, b.start));
    if (a.mode == TrackMode::Audio) {
      EXPECT_EQ(readertest::ExtentAt(fromToc, a.start)->format, orvane::StoredFormat::Audio2352BE);
    }
  }
  EXPECT_EQ(fromToc.sessions.back().leadOut, fromCue.sessions.back().leadOut);
}

// libcdio places each FILE at its start within the file and ignores START,
// so only the shape cdrdao read-cd writes is compared: audio tracks of one
// file, each FILE starting where the one before ended, no pregaps.
TEST(FormatToc, ReadByLibcdioAlike) {
  if (!testsupport::HaveProgram("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) not installed";
  ScratchDir dir;
  FixtureDisc d;
  for (std::uint32_t n : {300u, 200u, 120u}) d.tracks.push_back(Track(TrackMode::Audio, 2352, n));
  d.tracks[1].flags = 0x02;
  testsupport::WriteCdrdaoToc(d, dir, "c");
  // libcdio looks for relative names in its working folder: name the data file absolutely.
  std::string toc = ReadText(dir.File("c.toc"));
  for (std::size_t at; (at = toc.find("\"c.bin\"")) != std::string::npos;) toc.replace(at, 7, "\"" + dir.File("c.bin") + "\"");
  const std::string path = dir.Write("abs.toc", toc);
  auto l = MustOpen(path);
  auto ref = testsupport::CdInfoTracks("--toc-file=" + testsupport::ShellQuote(path), dir);
  ASSERT_FALSE(ref.empty()) << "cd-info read nothing";
  EXPECT_EQ(ref[170].start, l.sessions.back().leadOut);
  ref.erase(170);
  ASSERT_EQ(ref.size(), l.tracks.size());
  for (const auto& t : l.tracks) {
    SCOPED_TRACE(t.number);
    EXPECT_EQ(ref[t.number].start, t.start);
    EXPECT_EQ(ref[t.number].length, t.length);
    EXPECT_TRUE(ref[t.number].audio);
  }
}

// cdrdao's own reading of the files we write: each track's mode, flags, ISRC,
// pregap, start and end as "cdrdao show-toc" prints them.
TEST(FormatToc, ReadByCdrdaoAlike) {
  if (!testsupport::HaveProgram("cdrdao")) GTEST_SKIP() << "cdrdao not installed";
  ScratchDir dir;
  for (const FixtureDisc& disc : {Mixed(), ModeTwo()}) {
    testsupport::WriteCdrdaoToc(disc, dir, "s");
    auto run = testsupport::RunProgram("cdrdao show-toc " + testsupport::ShellQuote(dir.File("s.toc")), dir);
    ASSERT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
    struct Row {
      std::string mode, isrc;
      bool copy = false, emphasis = false;
      long pregap = 0, start = -1, end = -1;
    };
    std::vector<Row> rows;
    std::istringstream in(run.out + run.err);
    for (std::string line; std::getline(in, line);) {
      std::istringstream ls(line);
      std::string word;
      ls >> word;
      auto lba = [&] { return std::stol(line.substr(line.find('(') + 1)); };
      if (word == "TRACK") {
        int n;
        std::string modeWord;
        ls >> n >> modeWord >> word;
        rows.push_back({});
        rows.back().mode = word.substr(0, word.size() - 1);
      } else if (rows.empty()) {
        continue;
      } else if (word == "ISRC") {
        std::string rest;
        std::getline(ls, rest);
        for (char c : rest)
          if (c != ' ') rows.back().isrc += c;
      } else if (word == "COPY") {
        rows.back().copy = line.find("NOT PERMITTED") == std::string::npos;
      } else if (word == "PRE-EMPHASIS") {
        rows.back().emphasis = true;
      } else if (word == "PREGAP") {
        rows.back().pregap = lba();
      } else if (word == "START") {
        rows.back().start = lba();
      } else if (word == "END") {
        rows.back().end = lba();
      }
    }
    auto l = MustOpen(dir.File("s.toc"));
    ASSERT_EQ(rows.size(), l.tracks.size()) << run.out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(i + 1);
      const auto& t = l.tracks[i];
      EXPECT_EQ(rows[i].start, t.start);
      EXPECT_EQ(rows[i].end, t.start + static_cast<long>(t.length));
      EXPECT_EQ(rows[i].start - rows[i].pregap, t.pregapStart);
      EXPECT_EQ(rows[i].copy, (t.control & 0x02) != 0);
      EXPECT_EQ(rows[i].emphasis, (t.control & 0x01) != 0);
      EXPECT_EQ(rows[i].isrc, t.isrc);
      EXPECT_EQ(rows[i].mode == "AUDIO", t.mode == TrackMode::Audio);
      EXPECT_EQ(rows[i].mode.rfind("MODE1", 0) == 0, t.mode == TrackMode::Mode1);
    }
  }
}
