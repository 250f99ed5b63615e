// tessal-cli verify on CUE/BIN images the tests build: clean ones pass, one
// flipped bit fails with its sector named, and the track checksums equal
// what Python's zlib and hashlib give over the bytes of per-track .bin files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"
#include "tests/support/FormatImages.h"

using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

std::string Cli() {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return std::string(bin ? bin : "build/bin") + "/tessal-cli";
}

testsupport::ProgramRun Tessal(const std::string& args, const ScratchDir& dir) {
  return testsupport::RunProgram(Cli() + " " + args, dir);
}

std::vector<std::vector<std::string>> Rows(const std::string& out, const std::string& heading) {
  return browsercli::TableRows(out, heading);
}

// "crc32 md5 sha1" of a file, as Python computes them.
std::string PythonDigests(const std::string& path, const ScratchDir& dir) {
  auto r = testsupport::RunProgram(
      "python3 -c 'import sys,zlib,hashlib; d=open(sys.argv[1],\"rb\").read(); "
      "print(\"%08x %s %s\" % (zlib.crc32(d), hashlib.md5(d).hexdigest(), hashlib.sha1(d).hexdigest()))' " +
          testsupport::ShellQuote(path),
      dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

Bytes Slice(const Bytes& b, std::size_t firstSector, std::size_t sectors) {
  return Bytes(b.begin() + std::ptrdiff_t(firstSector * 2352), b.begin() + std::ptrdiff_t((firstSector + sectors) * 2352));
}

// Mode 1 track 1 (sectors 0-29), audio track 2 with a stored two-sector
// pregap (index 00 at 30, index 01 at 32), audio track 3 (50-69), all in one BIN.
struct Disc {
  Bytes bin;
  Disc() {
    bin = testsupport::RawTrack(0, 30, RawMode::Mode1);
    Bytes audio = testsupport::AudioSectors(40, 3);
    bin.insert(bin.end(), audio.begin(), audio.end());
  }
  static std::string Cue(const std::string& bin, const char* type = "BINARY") {
    return std::string("FILE \"") + bin + "\" " + type + "\n" +
           "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
           "  TRACK 02 AUDIO\n    INDEX 00 00:00:30\n    INDEX 01 00:00:32\n"
           "  TRACK 03 AUDIO\n    INDEX 01 00:00:50\n";
  }
};

TEST(VerifyCli, CleanImageChecksumsAsPythonGivesThem) {
  ASSERT_TRUE(testsupport::HaveProgram("python3"));
  ScratchDir dir;
  Disc disc;
  dir.Write("disc.bin", disc.bin);
  const std::string cue = dir.Write("disc.cue", Disc::Cue("disc.bin"));
  auto r = Tessal("verify " + testsupport::ShellQuote(cue), dir);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("sectors_checked\t30"), std::string::npos) << r.out;
  EXPECT_TRUE(Rows(r.out, "sector\ttrack\tfailed").empty());
  const auto tracks = Rows(r.out, "session\ttrack");
  ASSERT_EQ(tracks.size(), 3u) << r.out;
  const std::size_t first[] = {0, 30, 50}, count[] = {30, 20, 20};
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(tracks[i].size(), 10u);
    EXPECT_EQ(tracks[i][3], std::to_string(first[i]));
    EXPECT_EQ(tracks[i][4], std::to_string(count[i]));
    const std::string expected =
        PythonDigests(dir.Write("track" + std::to_string(i) + ".bin", Slice(disc.bin, first[i], count[i])), dir);
    EXPECT_EQ(tracks[i][7] + " " + tracks[i][8] + " " + tracks[i][9], expected) << "track " << i + 1;
  }

  // The same disc with its audio stored big-endian hashes the same: the
  // checksums are of the .bin form, whatever the container.
  Bytes swapped = disc.bin;
  for (std::size_t at = 30 * 2352; at + 1 < swapped.size(); at += 2) std::swap(swapped[at], swapped[at + 1]);
  Bytes data(swapped.begin(), swapped.begin() + 30 * 2352), audio(swapped.begin() + 30 * 2352, swapped.end());
  dir.Write("data.bin", data);
  dir.Write("audio.be", audio);
  const std::string cue2 = dir.Write(
      "split.cue", std::string("FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                               "FILE \"audio.be\" MOTOROLA\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
                               "    INDEX 01 00:00:02\n  TRACK 03 AUDIO\n    INDEX 01 00:00:20\n"));
  auto r2 = Tessal("verify " + testsupport::ShellQuote(cue2), dir);
  ASSERT_EQ(r2.status, 0) << r2.out << r2.err;
  const auto tracks2 = Rows(r2.out, "session\ttrack");
  ASSERT_EQ(tracks2.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(tracks2[i][9], tracks[i][9]) << "track " << i + 1;
}

TEST(VerifyCli, OneFlippedBitFailsItsSector) {
  ScratchDir dir;
  Disc disc;
  disc.bin[7 * 2352 + 600] ^= 0x02;
  dir.Write("disc.bin", disc.bin);
  const std::string cue = dir.Write("disc.cue", Disc::Cue("disc.bin"));
  auto r = Tessal("verify " + testsupport::ShellQuote(cue), dir);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  const auto failed = Rows(r.out, "sector\ttrack\tfailed");
  ASSERT_EQ(failed.size(), 1u) << r.out;
  EXPECT_EQ(failed[0], (std::vector<std::string>{"7", "1", "edc, ecc"}));

  auto j = Tessal("verify --json " + testsupport::ShellQuote(cue), dir);
  EXPECT_EQ(j.status, 1);
  EXPECT_NE(j.out.find("\"sectors_failed\": 1"), std::string::npos) << j.out;
  // A plain ISO holds no raw sectors: nothing to fail, user-data checksums.
  const std::string iso = dir.Write("plain.iso", testsupport::IsoVolume(40));
  auto p = Tessal("verify " + testsupport::ShellQuote(iso), dir);
  EXPECT_EQ(p.status, 0) << p.err;
  const auto rows = Rows(p.out, "session\ttrack");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][5], "2048");
}

// The same disc kept by chdman: every sector checks and each track hashes as
// its CUE/BIN does, since the hashes are of the per-track .bin whatever the
// container (chdman pads tracks and stores audio byte-swapped inside).
TEST(VerifyCli, ChdChecksumsEqualItsCueSheets) {
  if (!testsupport::HaveProgram("chdman")) GTEST_SKIP() << "chdman (Debian's mame-tools) is not installed";
  ScratchDir dir;
  Disc disc;
  dir.Write("disc.bin", disc.bin);
  const std::string cue = dir.Write("disc.cue", Disc::Cue("disc.bin"));
  const std::string chd = dir.File("disc.chd");
  auto made = testsupport::RunProgram("timeout 300 chdman createcd -i " + testsupport::ShellQuote(cue) + " -o " +
                                          testsupport::ShellQuote(chd),
                                      dir);
  ASSERT_EQ(made.status, 0) << made.err;
  auto a = Tessal("verify " + testsupport::ShellQuote(cue), dir);
  auto b = Tessal("verify " + testsupport::ShellQuote(chd), dir);
  EXPECT_EQ(b.status, 0) << b.out << b.err;
  const auto ta = Rows(a.out, "session\ttrack"), tb = Rows(b.out, "session\ttrack");
  ASSERT_EQ(ta.size(), 3u) << a.out;
  ASSERT_EQ(tb.size(), 3u) << b.out;
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t c : {7u, 8u, 9u}) EXPECT_EQ(tb[i][c], ta[i][c]) << "track " << i + 1 << " column " << c;
}

// Audio, Mode 1 and CD-ROM XA tracks with pregaps over two sessions, in the
// raw formats of the dumping tools, sub-channel included where they keep it.
testsupport::FixtureDisc RawDisc(std::uint32_t size, int lastSession) {
  using orvane::TrackMode;
  testsupport::FixtureDisc d;
  d.tracks.push_back(testsupport::Track(TrackMode::Audio, size, 150));
  d.tracks.push_back(testsupport::Track(TrackMode::Mode1, size, 200, 150));
  d.tracks.push_back(testsupport::Track(TrackMode::Mode2Xa, size, 120, 150, lastSession));
  return d;
}

TEST(VerifyCli, EveryRawFormatTheTestsBuildPasses) {
  ScratchDir dir;
  testsupport::WriteCloneCd(RawDisc(2448, 2), dir, "clone");
  testsupport::WriteMds(RawDisc(2448, 2), dir, "alcohol");
  testsupport::WriteCdrdaoToc(RawDisc(2352, 1), dir, "cdrdao");
  dir.Write("nero.nrg", testsupport::NrgImage(RawDisc(2448, 2)));
  for (const char* image : {"clone.ccd", "alcohol.mds", "cdrdao.toc", "nero.nrg"}) {
    auto r = Tessal("verify " + testsupport::ShellQuote(dir.File(image)), dir);
    EXPECT_EQ(r.status, 0) << image << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("sectors_checked\t"), std::string::npos);
    EXPECT_EQ(Rows(r.out, "session\ttrack").size(), 3u) << image;
  }
  // One Q bit of one sector of the CloneCD sub-channel file.
  std::ifstream in(dir.File("clone.sub"), std::ios::binary);
  Bytes sub((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(sub.size(), 96u * 160);
  sub[96 * 160 + 20] ^= 0x01;
  dir.Write("clone.sub", sub);
  auto r = Tessal("verify " + testsupport::ShellQuote(dir.File("clone.ccd")), dir);
  EXPECT_EQ(r.status, 1);
  const auto failed = Rows(r.out, "sector\ttrack\tfailed");
  ASSERT_EQ(failed.size(), 1u) << r.out;
  EXPECT_EQ(failed[0], (std::vector<std::string>{"160", "2", "subq"}));
}

}  // namespace
