// tessal-cli info, toc and tree on the image formats of other burning and
// dumping tools, each written with several sessions and mixed tracks: the
// tracks, sessions and CD-TEXT it prints are those the disc was written with.
#include <gtest/gtest.h>

#include <map>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/FormatImages.h"

using namespace browsercli;
using orvane::TrackMode;
using testsupport::FixtureDisc;
using testsupport::FixtureTrack;
using testsupport::ScratchDir;
using testsupport::Track;

namespace {

// Data, audio with CD-TEXT, then a second session of CD-ROM XA; sizes as the format stores them.
FixtureDisc Disc(std::uint32_t dataSize, std::uint32_t xaSize, int sessions = 2) {
  FixtureDisc d;
  d.title = "Formats";
  d.performer = "Tessal";
  d.tracks.push_back(Track(TrackMode::Mode1, dataSize, 300, 0, 1));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150, 1));
  d.tracks.back().title = "Song";
  d.tracks.push_back(Track(TrackMode::Mode2Xa, xaSize, 100, 150, sessions));
  return d;
}

// The rows of the table under the heading that starts with `head`.
std::vector<std::vector<std::string>> Table(const std::string& out, const std::string& head) {
  std::vector<std::vector<std::string>> rows;
  bool in = false;
  for (const auto& cells : Lines(out)) {
    if (!in) {
      in = cells[0] + "\t" + cells[1] == head;
      continue;
    }
    if (cells[0].empty()) break;
    rows.push_back(cells);
  }
  return rows;
}

void ExpectCliShows(const FixtureDisc& disc, const std::string& image, const ScratchDir& dir) {
  SCOPED_TRACE(image);
  const auto placed = testsupport::Place(disc);
  auto info = Tessal("info " + Q(image), dir);
  ASSERT_EQ(info.status, 0) << info.err;
  const auto tracks = Table(info.out, "session\ttrack");
  ASSERT_EQ(tracks.size(), disc.tracks.size()) << info.out;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const FixtureTrack& f = disc.tracks[i];
    EXPECT_EQ(tracks[i][0], std::to_string(f.session));
    EXPECT_EQ(tracks[i][1], std::to_string(i + 1));
    EXPECT_EQ(tracks[i][2], f.mode == TrackMode::Audio ? "Audio" : f.mode == TrackMode::Mode1 ? "Mode 1" : "Mode 2");
    EXPECT_EQ(tracks[i][3], std::to_string(placed.tracks[i].start));
    EXPECT_EQ(tracks[i][4], std::to_string(f.length));
  }
  const auto sessions = Table(info.out, "session\tfirst_track");
  ASSERT_EQ(sessions.size(), placed.leadOuts.size()) << info.out;
  for (std::size_t s = 0; s < sessions.size(); ++s) EXPECT_EQ(sessions[s][3], std::to_string(placed.leadOuts[s]));
  if (disc.HasText()) {
    const auto text = Table(info.out, "track\ttitle");
    ASSERT_GE(text.size(), 2u) << info.out;
    EXPECT_EQ(text[0][1], disc.title);
    EXPECT_EQ(text[0][2], disc.performer);
    EXPECT_EQ(text[1][0], "2");
    EXPECT_EQ(text[1][1], "Song");
  }

  auto toc = Tessal("toc " + Q(image), dir);
  ASSERT_EQ(toc.status, 0) << toc.err;
  const auto rows = Lines(toc.out);
  ASSERT_EQ(rows.size(), disc.tracks.size() + 1) << toc.out;
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    EXPECT_EQ(rows[i + 1][0], "Session " + std::to_string(disc.tracks[i].session));
    EXPECT_EQ(rows[i + 1][3], std::to_string(placed.tracks[i].start));
  }

  auto tree = Tessal("tree " + Q(image), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  int sessionNodes = 0, trackNodes = 0;
  for (const auto& cells : Lines(tree.out)) {
    sessionNodes += cells[0].rfind("Session ", 0) == 0;
    trackNodes += cells[0].find(" TRACK ") != std::string::npos;
  }
  EXPECT_EQ(sessionNodes, disc.tracks.back().session) << tree.out;
  EXPECT_EQ(trackNodes, static_cast<int>(disc.tracks.size())) << tree.out;
}

}  // namespace

TEST(FormatCli, Nero) {
  ScratchDir dir;
  for (int version : {1, 2}) {
    testsupport::NrgOptions o;
    o.version = version;
    ExpectCliShows(Disc(2048, 2336), dir.Write("v" + std::to_string(version) + ".nrg", testsupport::NrgImage(Disc(2048, 2336), o)), dir);
  }
}

TEST(FormatCli, CloneCd) {
  ScratchDir dir;
  testsupport::WriteCloneCd(Disc(2352, 2448), dir, "clone");
  ExpectCliShows(Disc(2352, 2448), dir.File("clone.ccd"), dir);
}

TEST(FormatCli, Alcohol) {
  ScratchDir dir;
  testsupport::WriteMds(Disc(2048, 2448), dir, "alcohol");
  FixtureDisc shown = Disc(2048, 2448);
  shown.title = shown.performer = "";  // a descriptor keeps no CD-TEXT
  shown.tracks[1].title = "";
  ExpectCliShows(shown, dir.File("alcohol.mds"), dir);
}

TEST(FormatCli, Cdrdao) {
  ScratchDir dir;
  const FixtureDisc disc = Disc(2048, 2352, 1);  // a TOC file holds one session
  testsupport::WriteCdrdaoToc(disc, dir, "cdrdao");
  ExpectCliShows(disc, dir.File("cdrdao.toc"), dir);
}

TEST(FormatCli, CueWithCdTextFile) {
  ScratchDir dir;
  FixtureDisc disc;
  disc.title = "From the file";
  disc.performer = "Packs";
  disc.tracks.push_back(Track(TrackMode::Mode1, 2352, 300, 0, 1));
  disc.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 150, 1));
  disc.tracks.back().title = "Song";
  testsupport::Bytes bin;
  const auto placed = testsupport::Place(disc);
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    auto b = testsupport::StoredTrackBytes(disc.tracks[i], placed.tracks[i]);
    bin.insert(bin.end(), b.begin(), b.end());
  }
  dir.Write("d.bin", bin);
  const auto packs = testsupport::FixtureCdTextPacks(disc);
  dir.Write("d.cdt", testsupport::Bytes(packs.begin(), packs.end()));
  const std::string cue = dir.Write("d.cue", "CDTEXTFILE \"d.cdt\"\nFILE \"d.bin\" BINARY\nTRACK 01 MODE1/2352\n"
                                             "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:04:00\nINDEX 01 00:06:00\n");
  ExpectCliShows(disc, cue, dir);
}

TEST(FormatCli, ImageWithAHeader) {
  ScratchDir dir;
  testsupport::Bytes vcd(0x5000, 0x11);
  const auto iso = testsupport::IsoVolume(300);
  vcd.insert(vcd.end(), iso.begin(), iso.end());
  const std::string path = dir.Write("v.vcd", vcd);
  auto info = Tessal("info " + Q(path), dir);
  ASSERT_EQ(info.status, 0) << info.err;
  const auto tracks = Table(info.out, "session\ttrack");
  ASSERT_EQ(tracks.size(), 1u) << info.out;
  EXPECT_EQ(tracks[0][2], "Mode 1");
  EXPECT_EQ(tracks[0][4], "300");
  EXPECT_EQ(tracks[0][5], "ISO 9660");
  auto tree = Tessal("tree " + Q(path), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_NE(tree.out.find("DATA TRACK 1"), std::string::npos) << tree.out;
}
