// tessal-cli run as a user runs it: its exit codes and messages, and its
// track list compared with what cd-info (libcdio) reads from the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"
#include "tests/support/UdfBuilder.h"

using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

using CliRun = testsupport::ProgramRun;
using testsupport::HaveProgram;
using testsupport::RunProgram;
std::string Quote(const std::string& s) { return testsupport::ShellQuote(s); }

std::string Cli() {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return std::string(bin ? bin : "build/bin") + "/tessal-cli";
}

CliRun Tessal(const std::string& args, const ScratchDir& dir) { return RunProgram(Cli() + " " + args, dir); }

bool Have(const char* tool) { return HaveProgram(tool); }

struct TrackRow {
  long long start = -1, size = -1;
  std::string mode, filesystem;
};

// The rows under the "session track mode start size ..." heading.
std::map<int, TrackRow> TessalTracks(const std::string& out) {
  std::map<int, TrackRow> rows;
  for (const auto& cells : browsercli::TableRows(out, "session\ttrack\tmode\tstart\tsize")) {
    if (cells.size() < 5) continue;
    TrackRow r;
    r.mode = cells[2];
    r.start = std::stoll(cells[3]);
    r.size = std::stoll(cells[4]);
    if (cells.size() > 5) r.filesystem = cells[5];
    rows[std::stoi(cells[1])] = r;
  }
  return rows;
}

// cd-info measures a track from the TOC, up to the next track's INDEX 01; a
// drive's READ TRACK INFORMATION leaves out the next track's pregap (INDEX
// 00), which pregaps gives by track number. libcdio sizes a sheet's
// MODE1/2048 track by 2352-byte sectors; for such a source only the starts
// can be compared (rawSized false).
void ExpectSameTracks(const std::string& tessalArgs, const std::string& cdInfoArgs, const ScratchDir& dir,
                      std::map<int, TrackRow>* ours = nullptr, bool rawSized = true,
                      std::map<int, long long> pregaps = {}) {
  CliRun t = Tessal("info " + tessalArgs, dir);
  ASSERT_EQ(t.status, 0) << t.err;
  auto a = TessalTracks(t.out);
  auto b = testsupport::CdInfoTracks(cdInfoArgs, dir);
  ASSERT_FALSE(b.empty()) << "cd-info read nothing from " << cdInfoArgs;
  b.erase(170);
  ASSERT_EQ(a.size(), b.size()) << t.out;
  for (const auto& [n, row] : b) {
    SCOPED_TRACE("track " + std::to_string(n));
    ASSERT_TRUE(a.count(n)) << t.out;
    EXPECT_EQ(a[n].start, row.start);
    if (rawSized) {
      EXPECT_EQ(a[n].size, row.length - pregaps[n + 1]);
    }
    EXPECT_EQ(a[n].mode == "Audio", row.audio);
  }
  if (ours) *ours = a;
}

Bytes RawFromUserData(const Bytes& user, RawMode mode) {
  Bytes out;
  for (std::size_t i = 0; i * 2048 < user.size(); ++i) {
    Bytes s = testsupport::RawSector(static_cast<std::int32_t>(i), mode, user.data() + i * 2048, 2048);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

// A small ISO 9660 volume made by an independent tool.
Bytes MakeIso(const ScratchDir& dir, bool xa = false) {
  dir.Write("src/readme.txt", std::string(5000, 'r'));
  dir.Write("src/sub/data.bin", Bytes(70000, 7));
  std::string iso = dir.File("made.iso");
  std::string cmd = "genisoimage -quiet -J -R " + std::string(xa ? "-XA " : "") + "-o " + Quote(iso) + " " +
                    Quote(dir.File("src")) + " 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return {};
  std::ifstream in(iso, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(CliUsage, ExitCodesAndHelp) {
  ScratchDir dir;
  CliRun r = Tessal("", dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage: tessal-cli"), std::string::npos);
  r = Tessal("--help", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("info SOURCE"), std::string::npos);
  EXPECT_NE(r.out.find("devices"), std::string::npos);
  r = Tessal("info --help", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: tessal-cli [--json] info SOURCE"), std::string::npos);
  EXPECT_EQ(Tessal("frobnicate x", dir).status, 2);
  EXPECT_EQ(Tessal("info", dir).status, 2);
  EXPECT_EQ(Tessal("info --bogus " + Quote(dir.File("x")), dir).status, 2);
  EXPECT_EQ(Tessal("devices extra", dir).status, 2);
}

TEST(CliUsage, RefusedSourcesFailWithOneLine) {
  ScratchDir dir;
  CliRun r = Tessal("info " + Quote(dir.File("nothing.iso")), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
  dir.Write("d.bin", testsupport::AudioSectors(10));
  r = Tessal("info " + Quote(dir.Write("bad.cue", "FILE d.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:99\n")), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("impossible time 00:00:99"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST(CliDevices, ListsTheImageItemLast) {
  ScratchDir dir;
  CliRun r = Tessal("devices", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("id\tnode\tname\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\t[Image File]\n"), std::string::npos);
  EXPECT_TRUE(r.out.ends_with("\n0\t\t[Image File]\n")) << r.out;  // the image item, id 0, last
  std::regex drive(R"(^\d+\t/dev/sr\d+\t/dev/sr\d+:.*$)");
  std::istringstream in(r.out);
  std::string line;
  std::getline(in, line);  // heading
  while (std::getline(in, line) && line.find("[Image File]") == std::string::npos)
    EXPECT_TRUE(std::regex_match(line, drive)) << line;
  CliRun j = Tessal("--json devices", dir);
  EXPECT_NE(j.out.find("\"name\": \"[Image File]\""), std::string::npos) << j.out;
}

TEST(CliInfo, AudioCueSheetWithCdTextMatchesCdInfo) {
  if (!Have("cd-info")) GTEST_SKIP() << "cd-info (libcdio-utils) not installed";
  ScratchDir dir;
  Bytes audio;
  for (int t = 0; t < 3; ++t) {
    Bytes a = testsupport::AudioSectors(400 + 150 * t, static_cast<std::uint8_t>(t));
    audio.insert(audio.end(), a.begin(), a.end());
  }
  dir.Write("album.bin", audio);
  std::string cue = dir.Write("album.cue",
                              "PERFORMER \"Disc Artist\"\nTITLE \"Disc Title\"\nFILE \"album.bin\" BINARY\n"
                              "  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"A\"\n    INDEX 01 00:00:00\n"
                              "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 00:05:00\n    INDEX 01 00:05:50\n"
                              "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 00:12:00\n    INDEX 01 00:13:00\n");
  std::map<int, TrackRow> ours;
  ExpectSameTracks(Quote(cue), "--cue-file=" + Quote(cue), dir, &ours, true, {{2, 50}, {3, 75}});
  CliRun t = Tessal("info " + Quote(cue), dir);
  EXPECT_NE(t.out.find("\nmedium\tCD-ROM\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("\nstatus\tcomplete\n"), std::string::npos);
  EXPECT_NE(t.out.find("\n1\tOne\tA\t"), std::string::npos) << t.out;  // track 1's CD-TEXT row
  EXPECT_NE(t.out.find("\n0\tDisc Title\tDisc Artist"), std::string::npos);
  EXPECT_NE(t.out.find("Three"), std::string::npos);
}

TEST(CliInfo, RawMode1BinMatchesCdInfo) {
  if (!Have("cd-info") || !Have("genisoimage")) GTEST_SKIP() << "cd-info or genisoimage not installed";
  ScratchDir dir;
  Bytes iso = MakeIso(dir);
  ASSERT_FALSE(iso.empty());
  std::string bin = dir.Write("data.bin", RawFromUserData(iso, RawMode::Mode1));
  dir.Write("data.cue", "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
  std::map<int, TrackRow> ours;
  ExpectSameTracks(Quote(bin), "--bin-file=" + Quote(bin), dir, &ours);
  EXPECT_EQ(ours[1].mode, "Mode 1");
  EXPECT_EQ(ours[1].filesystem, "ISO 9660");
  EXPECT_EQ(ours[1].size, static_cast<long long>(iso.size() / 2048));
}

TEST(CliInfo, Mode2BinMatchesCdInfo) {
  if (!Have("cd-info") || !Have("genisoimage")) GTEST_SKIP() << "cd-info or genisoimage not installed";
  ScratchDir dir;
  Bytes iso = MakeIso(dir, true);
  ASSERT_FALSE(iso.empty());
  std::string bin = dir.Write("xa.bin", RawFromUserData(iso, RawMode::Mode2Form1));
  dir.Write("xa.cue", "FILE \"xa.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n");
  std::map<int, TrackRow> ours;
  ExpectSameTracks(Quote(bin), "--bin-file=" + Quote(bin), dir, &ours);
  EXPECT_EQ(ours[1].mode, "Mode 2");
  EXPECT_EQ(ours[1].filesystem, "ISO 9660");
  CliRun t = Tessal("info " + Quote(bin), dir);
  EXPECT_NE(t.out.find("\ndisc_type\t0x20\n"), std::string::npos) << t.out;
}

TEST(CliInfo, IsoMatchesCdInfoAndJsonCarriesTheSameData) {
  if (!Have("cd-info") || !Have("genisoimage")) GTEST_SKIP() << "cd-info or genisoimage not installed";
  ScratchDir dir;
  Bytes iso = MakeIso(dir);
  ASSERT_FALSE(iso.empty());
  std::string path = dir.Write("plain.iso", iso);
  // cd-info reads a plain volume only through a sheet, and looks for the
  // sheet's data under the sheet's own name.
  std::string cue = dir.Write("plainiso.cue", "FILE \"plainiso.bin\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n");
  std::filesystem::create_symlink(path, dir.File("plainiso.bin"));
  std::map<int, TrackRow> ours;
  ExpectSameTracks(Quote(path), "--cue-file=" + Quote(cue), dir, &ours, false);
  EXPECT_EQ(ours[1].filesystem, "ISO 9660");
  // The size, then, as isoinfo reads it from the volume descriptor.
  if (Have("isoinfo")) {
    CliRun d = RunProgram("isoinfo -d -i " + Quote(path), dir);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(d.out, m, std::regex(R"(Volume size is: (\d+))"))) << d.out;
    EXPECT_EQ(ours[1].size, std::stoll(m[1]));
  }
  CliRun j = Tessal("--json info " + Quote(path), dir);
  ASSERT_EQ(j.status, 0) << j.err;
  EXPECT_NE(j.out.find("\"medium\": \"CD-ROM\""), std::string::npos) << j.out;
  EXPECT_NE(j.out.find("\"track\": 1, \"mode\": \"Mode 1\", \"start\": 0, \"size\": " + std::to_string(iso.size() / 2048)),
            std::string::npos)
      << j.out;
  if (Have("python3")) {
    std::string jf = dir.Write("out.json", j.out);
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " + Quote(jf)).c_str()), 0);
  }
}

TEST(CliInfo, TwoSessionsAndAnOpenUdfTrack) {
  ScratchDir dir;
  Bytes iso = testsupport::IsoVolume(100);
  dir.Write("one.bin", testsupport::AudioSectors(600));
  dir.Write("two.iso", iso);
  std::string cue = dir.Write("two.cue", "REM SESSION 01\nFILE one.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                         "REM SESSION 02\nFILE two.iso BINARY\nTRACK 02 MODE1/2048\nINDEX 01 00:00:00\n");
  CliRun t = Tessal("info " + Quote(cue), dir);
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_NE(t.out.find("\nsessions\t2\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("\n1\t1\tAudio\t0\t600\t\t\n"), std::string::npos) << t.out;
  // After the first lead-out: 6750 lead-out, 4500 lead-in and a 150-sector pregap.
  EXPECT_NE(t.out.find("\n2\t2\tMode 1\t12000\t100\tISO 9660\t\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("\n2\t2\t2\t12100\n"), std::string::npos) << t.out;

  testsupport::UdfBuildOptions opt;
  opt.partition = testsupport::UdfPartitionKind::Virtual;
  auto udf = testsupport::BuildUdfImage(testsupport::UdfNode::Dir("", {testsupport::UdfNode::File("f", "x")}), opt);
  std::string path = dir.File("open.iso");
  ASSERT_TRUE(udf.WriteTo(path));
  t = Tessal("info " + Quote(path), dir);
  ASSERT_EQ(t.status, 0) << t.err;
  EXPECT_NE(t.out.find("\nmedium\tCD-R\n"), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("\nstatus\tincomplete\n"), std::string::npos);
  ASSERT_TRUE(udf.nextWritable);
  EXPECT_NE(t.out.find("\tUDF\t" + std::to_string(*udf.nextWritable) + "\n"), std::string::npos) << t.out;
}
