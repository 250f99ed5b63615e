// Our layouts against libcdio's reading of the same single-file sheets (the
// shape cd-info accepts: it looks for the data under the sheet's own name and
// neither follows several files nor PREGAP/POSTGAP).
#include "tests/orvane/ReaderTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace readertest;
using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

// libcdio sizes every track of a sheet's file by 2352-byte sectors, even
// MODE1/2048 ones, so for those only the starts are compared.
void ExpectAsCdInfo(const ScratchDir& dir, const std::string& name, const Bytes& data, const std::string& tracks,
                    bool rawSized = true) {
  SCOPED_TRACE(name);
  dir.Write(name + ".bin", data);
  std::string cue = dir.Write(name + ".cue", "FILE \"" + name + ".bin\" BINARY\n" + tracks);
  auto l = MustOpen(cue);
  auto ref = testsupport::CdInfoTracks("--cue-file=" + testsupport::ShellQuote(cue), dir);
  ASSERT_FALSE(ref.empty()) << "cd-info read nothing";
  if (rawSized) {
    EXPECT_EQ(ref[170].start, l.sessions.back().leadOut);
  }
  ref.erase(170);
  ASSERT_EQ(ref.size(), l.tracks.size());
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    const auto& t = l.tracks[i];
    SCOPED_TRACE(t.number);
    ASSERT_TRUE(ref.count(t.number));
    EXPECT_EQ(ref[t.number].start, t.start);
    EXPECT_EQ(ref[t.number].audio, t.mode == orvane::TrackMode::Audio);
    // A TOC knows no INDEX 00: a track runs to the next one's INDEX 01.
    std::int64_t nextPregap = i + 1 < l.tracks.size() ? l.tracks[i + 1].start - l.tracks[i + 1].pregapStart : 0;
    if (rawSized) {
      EXPECT_EQ(ref[t.number].length, t.length + nextPregap);
    }
  }
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST(ReaderCdInfo, SheetsReadAsLibcdioReadsThem) {
  if (!testsupport::HaveProgram("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) not installed";
  ScratchDir dir;
  ExpectAsCdInfo(dir, "audio", testsupport::AudioSectors(1000),
                 "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:03:00\nINDEX 01 00:04:00\n"
                 "TRACK 03 AUDIO\nINDEX 01 00:10:10\nINDEX 02 00:11:00\n");
  ExpectAsCdInfo(dir, "mixed", Concat({testsupport::RawTrack(0, 400, RawMode::Mode1), testsupport::AudioSectors(500)}),
                 "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:05:25\nINDEX 01 00:07:25\n");
  ExpectAsCdInfo(dir, "xa", testsupport::RawTrack(0, 300, RawMode::Mode2Form1), "TRACK 01 MODE2/2352\nINDEX 01 00:00:00\n");
  ExpectAsCdInfo(dir, "cooked", testsupport::IsoVolume(300), "TRACK 01 MODE1/2048\nINDEX 01 00:00:00\n", false);
  ExpectAsCdInfo(dir, "texts", testsupport::AudioSectors(400),
                 "TRACK 01 AUDIO\nTITLE \"A\"\nPERFORMER \"B\"\nINDEX 01 00:00:00\n"
                 "TRACK 02 AUDIO\nTITLE \"C\"\nFLAGS DCP\nINDEX 01 00:02:00\n");
}
