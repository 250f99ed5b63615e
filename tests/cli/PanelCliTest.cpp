// tessal-cli's panel commands (toc, scan, sector, vol, devinfo) run as a user
// runs them, against images made by independent tools, with cd-info, isoinfo
// and udfinfo reading the same images.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"

using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

using testsupport::HaveProgram;
using CliOut = testsupport::ProgramRun;

std::string Q(const std::string& s) { return testsupport::ShellQuote(s); }

// Tab-separated lines, the heading first.
std::vector<std::vector<std::string>> Rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream ls(line);
    for (std::string c; std::getline(ls, c, '\t');) cells.push_back(c);
    if (!line.empty() && line.back() == '\t') cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

CliOut Tessal(const std::string& args, const ScratchDir& dir) {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return testsupport::RunProgram(std::string(bin ? bin : "build/bin") + "/tessal-cli " + args, dir);
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes MakeIso(const ScratchDir& dir, const std::string& options, const std::string& name = "made.iso") {
  dir.Write("src/readme.txt", std::string(5000, 'r'));
  dir.Write("src/sub/data.bin", Bytes(90000, 9));
  const std::string iso = dir.File(name);
  if (std::system(("genisoimage -quiet " + options + " -o " + Q(iso) + " " + Q(dir.File("src")) + " 2>/dev/null").c_str()) != 0)
    return {};
  return ReadAll(iso);
}

Bytes RawMode1(const Bytes& user) {
  Bytes out;
  for (std::size_t i = 0; i * 2048 < user.size(); ++i) {
    Bytes s = testsupport::RawSector(static_cast<std::int32_t>(i), RawMode::Mode1, user.data() + i * 2048, 2048);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

// Our toc rows against cd-info's list: same tracks, same starts, each End pos
// one before the next start (the lead-out for the last), same kind.
void ExpectTocMatchesCdInfo(const CliOut& toc, const std::map<int, testsupport::CdInfoTrack>& ref) {
  ASSERT_EQ(toc.status, 0) << toc.err;
  auto rows = Rows(toc.out);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Session Index", "Track Index", "Track Type", "Start Pos", "End pos"}));
  rows.erase(rows.begin());
  ASSERT_TRUE(ref.count(170)) << "cd-info read no lead-out";
  ASSERT_EQ(rows.size() + 1, ref.size()) << toc.out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 5u) << toc.out;
    const int track = std::stoi(rows[i][1]);
    SCOPED_TRACE("track " + rows[i][1]);
    ASSERT_TRUE(ref.count(track));
    const testsupport::CdInfoTrack& t = ref.at(track);
    EXPECT_EQ(rows[i][0], "Session 1");
    EXPECT_EQ(std::stoll(rows[i][3]), t.start);
    EXPECT_EQ(std::stoll(rows[i][4]), std::next(ref.find(track))->second.start - 1);
    EXPECT_EQ(rows[i][2].rfind("DATA", 0) == 0, !t.audio) << rows[i][2];
  }
}

std::string MapLine(std::uint64_t pos, std::uint64_t size, char status) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(pos),
                static_cast<unsigned long long>(size), status);
  return buf;
}

}  // namespace

TEST(PanelCliToc, MixedModeCueSheetAgreesWithCdInfo) {
  if (!HaveProgram("cd-info") || !HaveProgram("genisoimage")) GTEST_SKIP() << "cd-info or genisoimage not installed";
  ScratchDir dir;
  const Bytes iso = MakeIso(dir, "-J");
  ASSERT_FALSE(iso.empty());
  Bytes bin = RawMode1(iso);
  for (int t = 0; t < 2; ++t) {
    const Bytes a = testsupport::AudioSectors(300 + 200 * t, static_cast<std::uint8_t>(t + 1));
    bin.insert(bin.end(), a.begin(), a.end());
  }
  dir.Write("mixed.bin", bin);
  const std::uint32_t dataSectors = static_cast<std::uint32_t>(iso.size() / 2048);
  auto msf = [](std::uint32_t s) {
    char b[16];
    std::snprintf(b, sizeof b, "%02u:%02u:%02u", s / 4500, s / 75 % 60, s % 75);
    return std::string(b);
  };
  const std::string cue = dir.Write(
      "mixed.cue", "FILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n    INDEX 00 " + msf(dataSectors) + "\n    INDEX 01 " + msf(dataSectors + 150) +
                   "\n  TRACK 03 AUDIO\n    INDEX 01 " + msf(dataSectors + 300) + "\n");
  const CliOut toc = Tessal("toc " + Q(cue), dir);
  ExpectTocMatchesCdInfo(toc, testsupport::CdInfoTracks("--cue-file=" + Q(cue), dir));
  const auto rows = Rows(toc.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][2], "DATA(Mode1)");
  EXPECT_EQ(rows[2][2], "AUDIO");
}

TEST(PanelCliToc, IsoAgreesWithCdInfoAndJsonHoldsTheSameRows) {
  if (!HaveProgram("cd-info") || !HaveProgram("genisoimage")) GTEST_SKIP() << "cd-info or genisoimage not installed";
  ScratchDir dir;
  const Bytes iso = MakeIso(dir, "-J -R");
  ASSERT_FALSE(iso.empty());
  const std::string path = dir.File("made.iso");
  // cd-info takes no plain 2048-byte volume; it reads the same sectors as raw
  // Mode 1 sectors in a BIN file.
  dir.Write("same.bin", RawMode1(iso));
  const std::string cue = dir.Write("same.cue", "FILE \"same.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
  const CliOut toc = Tessal("toc " + Q(path), dir);
  ExpectTocMatchesCdInfo(toc, testsupport::CdInfoTracks("--cue-file=" + Q(cue), dir));
  const std::string last = std::to_string(iso.size() / 2048 - 1);
  EXPECT_EQ(toc.out, "Session Index\tTrack Index\tTrack Type\tStart Pos\tEnd pos\nSession 1\t1\tDATA(Mode1)\t0\t" + last + "\n");

  const CliOut json = Tessal("--json toc " + Q(path), dir);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"Track Index\": 1, \"Track Type\": \"DATA(Mode1)\", \"Start Pos\": 0, \"End pos\": " + last),
            std::string::npos)
      << json.out;
  if (HaveProgram("python3")) {
    const std::string file = dir.Write("t.json", json.out);
    EXPECT_EQ(std::system(("python3 -c 'import json,sys; json.load(open(sys.argv[1]))' " + Q(file)).c_str()), 0);
  }
}

TEST(PanelCliScan, MappedImageListsExactlyItsBadSectors) {
  ScratchDir dir;
  const std::string iso = dir.Write("worn.iso", testsupport::IsoVolume(600));
  // Sectors 100-102 bad, 400 not trimmed, part of 599 never tried.
  dir.Write("worn.iso.map", "# Mapfile. Created by GNU ddrescue\n# current_pos  current_status  current_pass\n"
                            "0x00000000     +               1\n#      pos        size  status\n" +
                                MapLine(0, 100 * 2048, '+') + MapLine(100 * 2048, 3 * 2048, '-') +
                                MapLine(103 * 2048, 297 * 2048, '+') + MapLine(400 * 2048, 2048, '*') +
                                MapLine(401 * 2048, 198 * 2048 + 1000, '+') + MapLine(599 * 2048 + 1000, 1048, '?'));
  const CliOut r = Tessal("scan " + Q(iso), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Sector\tSenseKey\tASC\tASCQ\n"
            "100\t0x03\t0x11\t0x05\n101\t0x03\t0x11\t0x05\n102\t0x03\t0x11\t0x05\n"
            "400\t0x03\t0x11\t0x05\n599\t0x03\t0x11\t0x05\n");
  // stderr is no terminal here: no progress bar.
  EXPECT_EQ(r.err.find('['), std::string::npos) << r.err;

  const CliOut j = Tessal("--json scan " + Q(iso), dir);
  ASSERT_EQ(j.status, 0);
  EXPECT_NE(j.out.find("{\"Sector\": 400, \"SenseKey\": \"0x03\", \"ASC\": \"0x11\", \"ASCQ\": \"0x05\"}"), std::string::npos)
      << j.out;

  // Without the map the same image scans clean, and that is success too.
  std::remove(dir.File("worn.iso.map").c_str());
  const CliOut clean = Tessal("scan " + Q(iso), dir);
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.out, "Sector\tSenseKey\tASC\tASCQ\n");
  EXPECT_EQ(Tessal("scan " + Q(iso) + " extra", dir).status, 2);
}

TEST(PanelCliSector, DumpLinesRawAndSaved) {
  ScratchDir dir;
  const Bytes vol = testsupport::IsoVolume(40);
  const std::string iso = dir.Write("v.iso", vol);
  CliOut r = Tessal("sector " + Q(iso) + " 16", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  auto lines = Rows(r.out);
  ASSERT_EQ(lines.size(), 130u);
  EXPECT_EQ(r.out.substr(0, 59), "    |   0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F  | \n");
  char expect[80];
  std::snprintf(expect, sizeof expect, "   0|  %02X 43 44 30 30 31 ", vol[16 * 2048]);
  EXPECT_EQ(r.out.substr(59 + 75, 25), expect) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find("\n 7F0|  "), std::string::npos);

  // Raw: the synthesised sync and header first, 147 lines to offset 920.
  r = Tessal("sector " + Q(iso) + " 16 --raw", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Rows(r.out).size(), 149u);
  EXPECT_NE(r.out.find("\n   0|  00 FF FF FF FF FF FF FF FF FF FF 00 00 02 16 01  |"), std::string::npos)
      << r.out.substr(0, 400);
  EXPECT_NE(r.out.find("\n 920|  "), std::string::npos);

  // -o saves the 2352-byte buffer: user data and a zero tail.
  const std::string saved = dir.File("s.dat");
  r = Tessal("sector " + Q(iso) + " 17 -o " + Q(saved), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes file = ReadAll(saved);
  ASSERT_EQ(file.size(), 2352u);
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 2048, vol.begin() + 17 * 2048));
  EXPECT_TRUE(std::all_of(file.begin() + 2048, file.end(), [](unsigned char c) { return c == 0; }));

  // Past the end, a bad number, nothing at all.
  r = Tessal("sector " + Q(iso) + " 40", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(Tessal("sector " + Q(iso) + " -5", dir).status, 2);
  EXPECT_EQ(Tessal("sector " + Q(iso) + " x", dir).status, 2);
  EXPECT_EQ(Tessal("sector " + Q(iso), dir).status, 2);
  EXPECT_EQ(Tessal("sector " + Q(iso) + " 1 -o", dir).status, 2);
  const CliOut j = Tessal("--json sector " + Q(iso) + " 16", dir);
  ASSERT_EQ(j.status, 0);
  EXPECT_NE(j.out.find("\"bytes\": 2048"), std::string::npos) << j.out.substr(0, 200);
  EXPECT_NE(j.out.find("\"raw\": false"), std::string::npos);
}

TEST(PanelCliVol, IsoAndJolietDescriptorsAgreeWithIsoinfo) {
  if (!HaveProgram("genisoimage") || !HaveProgram("isoinfo")) GTEST_SKIP() << "genisoimage or isoinfo not installed";
  for (const bool joliet : {false, true}) {
    SCOPED_TRACE(joliet ? "Joliet" : "plain");
    ScratchDir dir;
    const Bytes iso = MakeIso(dir, std::string(joliet ? "-J " : "") + "-V Tessal_Vol -A MyApplication");
    ASSERT_FALSE(iso.empty());
    const std::string path = dir.File("made.iso");
    const CliOut r = Tessal("vol " + Q(path), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Rows(r.out);
    ASSERT_EQ(rows.size(), 9u) << r.out;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Volume Descriptor", "Infomation"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"Standard Identifier", "CD001"}));
    // The identifier with its padding; Joliet's is 16 characters of 16 bits.
    EXPECT_EQ(rows[2][1], joliet ? "Tessal_Vol      " : "Tessal_Vol" + std::string(22, ' '));
    const CliOut info = testsupport::RunProgram("isoinfo -d -i " + Q(path), dir);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info.out, m, std::regex("Volume size is: (\\d+)")));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"Volume Space Size", m[1].str()}));
    ASSERT_TRUE(std::regex_search(info.out, m, std::regex("Volume set size is: (\\d+)")));
    EXPECT_EQ(rows[4], (std::vector<std::string>{"Volume Set Size", m[1].str()}));
    EXPECT_EQ(rows[6][1].substr(0, 13), "MyApplication");
    EXPECT_TRUE(std::regex_match(rows[7][1], std::regex(R"(20\d\d-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})"))) << rows[7][1];
  }
}

TEST(PanelCliVol, UdfDescriptorAgreesWithUdfinfo) {
  if (!HaveProgram("mkudffs") || !HaveProgram("udfinfo")) GTEST_SKIP() << "mkudffs or udfinfo not installed";
  ScratchDir dir;
  const std::string img = dir.File("u.udf");
  ASSERT_EQ(std::system(("truncate -s 4M " + Q(img) + " && mkudffs -b 2048 --media-type=hd --label=TessalUDF "
                         "--vsid=SetOfTessal " + Q(img) + " >/dev/null 2>&1").c_str()),
            0);
  const CliOut r = Tessal("vol " + Q(img), dir);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  auto rows = Rows(r.out);
  ASSERT_EQ(rows.size(), 12u) << r.out;  // the descriptor's seven, then the volume's four
  const CliOut info = testsupport::RunProgram("udfinfo " + Q(img), dir);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(info.out, m, std::regex("\nlabel=([^\n]*)"))) << info.out;
  EXPECT_EQ(rows[1], (std::vector<std::string>{"UDF Volume Identifier", m[1].str()}));
  ASSERT_TRUE(std::regex_search(info.out, m, std::regex("\nfullvsid=([^\n]*)"))) << info.out;
  EXPECT_EQ(rows[2], (std::vector<std::string>{"Volume Set Identifier", m[1].str()}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"Descriptor Character Set", "OSTA Compressed Unicode"}));
  // The entity identifier without its flags byte and its leading star.
  ASSERT_TRUE(std::regex_search(info.out, m, std::regex("\nappid=\\*([^\n]*)"))) << info.out;
  EXPECT_EQ(rows[5], (std::vector<std::string>{"Application Identifier", m[1].str()}));
  EXPECT_TRUE(std::regex_match(rows[6][1], std::regex(R"(20\d\d-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})"))) << rows[6][1];
  ASSERT_TRUE(std::regex_search(info.out, m, std::regex("\nudfrev=([^\n]*)"))) << info.out;
  EXPECT_EQ(rows[8], (std::vector<std::string>{"UDF Revision", m[1].str()}));
  ASSERT_TRUE(std::regex_search(info.out, m, std::regex("\nblocksize=([^\n]*)"))) << info.out;
  EXPECT_EQ(rows[9], (std::vector<std::string>{"Block Size", m[1].str()}));
  EXPECT_EQ(rows[10], (std::vector<std::string>{"Partition Maps", "physical"}));
  std::string anchors;
  const std::regex anchor("start=(\\d+), blocks=1, type=ANCHOR");
  for (auto it = std::sregex_iterator(info.out.begin(), info.out.end(), anchor); it != std::sregex_iterator(); ++it)
    anchors += (anchors.empty() ? "" : ", ") + (*it)[1].str();
  EXPECT_EQ(rows[11], (std::vector<std::string>{"Anchors", anchors}));
}

TEST(PanelCliDevinfo, TwentyNineRowsForAnImage) {
  ScratchDir dir;
  const std::string iso = dir.Write("v.iso", testsupport::IsoVolume(40));
  const CliOut r = Tessal("devinfo " + Q(iso), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = Rows(r.out);
  ASSERT_EQ(rows.size(), 30u) << r.out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Support", "Device Parameter"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"", "<General Features>"}));
  EXPECT_EQ(rows[11], (std::vector<std::string>{"", ""}));
  EXPECT_EQ(rows[12][1], "<Read Features>");
  EXPECT_EQ(rows[29][1], "DVD_RAM WRITESupport");
  for (int i : {2, 13, 20, 23, 29}) EXPECT_TRUE(rows[i][0] == "Yes" || rows[i][0] == "No") << rows[i][0];
}
