// scan --files and image's summary name what owns each unreadable sector,
// on volumes made by genisoimage, mkudffs and the UDF builder, read through a
// ddrescue map that marks chosen sectors bad.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "disc/ByteOrder.h"
#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/PeerIso.h"
#include "tests/support/UdfBuilder.h"

using testsupport::ScratchDir;
using testsupport::UdfNode;

namespace {

std::string Q(const std::string& s) { return testsupport::ShellQuote(s); }

testsupport::ProgramRun Tessal(const std::string& args, const ScratchDir& dir) {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return testsupport::RunProgram(std::string(bin ? bin : "build/bin") + "/tessal-cli " + args, dir);
}

// A ddrescue map of an image of `bytes` bytes with the sectors in bad marked bad.
void WriteMap(const std::string& image, std::uint64_t bytes, const std::set<std::uint32_t>& bad,
              std::uint64_t sectorBytes = 2048) {
  std::ofstream map(image + ".map");
  map << "0 +\n";
  std::uint64_t at = 0;
  for (std::uint32_t s : bad) {
    if (s * sectorBytes > at) map << at << " " << s * sectorBytes - at << " +\n";
    map << s * sectorBytes << " " << sectorBytes << " -\n";
    at = (s + 1) * sectorBytes;
  }
  if (bytes > at) map << at << " " << bytes - at << " +\n";
}

// The owners table of scan --files: owner -> "first count".
std::map<std::string, std::string> Owners(const std::string& out) {
  std::map<std::string, std::string> rows;
  std::istringstream in(out.substr(out.find("Owner\tFirstSector\tSectors\n") + 26));
  for (std::string line; std::getline(in, line) && !line.empty();) {
    const auto a = line.find('\t'), b = line.rfind('\t');
    rows[line.substr(0, a)] = line.substr(a + 1, b - a - 1) + " " + line.substr(b + 1);
  }
  return rows;
}

std::map<std::string, std::string> ScanOwners(const std::string& image, std::uint64_t bytes,
                                              const std::set<std::uint32_t>& bad, const ScratchDir& dir,
                                              const std::string& source = "") {
  WriteMap(image, bytes, bad, source.empty() ? 2048 : 2352);
  const auto run = Tessal("scan " + Q(source.empty() ? image : source) + " --files", dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Owner\tFirstSector\tSectors\n"), std::string::npos) << run.out;
  return Owners(run.out);
}

std::uint32_t LbaOf(const std::vector<testsupport::PeerRow>& rows, const std::string& path) {
  for (const auto& r : rows)
    if (r.path == path && r.info.lba) return *r.info.lba;
  ADD_FAILURE() << "isoinfo lists no " << path;
  return 0;
}

TEST(ScanFilesCli, Iso9660OwnersByRockRidgePath) {
  if (!testsupport::HaveProgram("genisoimage") || !testsupport::HaveProgram("isoinfo")) GTEST_SKIP();
  ScratchDir dir;
  dir.Write("src/readme.txt", std::string(5000, 'r'));
  dir.Write("src/sub/Data File.bin", std::string(90000, 'd'));
  const std::string iso = dir.File("v.iso");
  ASSERT_EQ(std::system(("genisoimage -quiet -R -J -o " + Q(iso) + " " + Q(dir.File("src")) + " 2>/dev/null").c_str()), 0);
  const std::string bytes = testsupport::ReadWholeFile(iso);
  const auto rows = testsupport::IsoinfoList(iso, dir);
  const std::uint32_t readme = LbaOf(rows, "/readme.txt"), data = LbaOf(rows, "/sub/Data File.bin"),
                      sub = LbaOf(rows, "/sub"), jolietSub = LbaOf(testsupport::ParseIsoinfo(testsupport::RunProgram("isoinfo -J -l -i " + Q(iso), dir).out), "/sub"),
                      pathTable = GetLE32(bytes.data() + 16 * 2048 + 140),
                      last = static_cast<std::uint32_t>(bytes.size() / 2048 - 1);

  // The Joliet descriptor (17) and not the primary one: the names stay Rock Ridge's.
  auto owners = ScanOwners(iso, bytes.size(), {17, pathTable, readme + 1, data + 5, data + 6, last}, dir);
  EXPECT_EQ(owners, (std::map<std::string, std::string>{
                        {"volume descriptor", "17 1"},
                        {"path table", std::to_string(pathTable) + " 1"},
                        {"/readme.txt", std::to_string(readme + 1) + " 1"},
                        {"/sub/Data File.bin", std::to_string(data + 5) + " 2"},
                        {"free space", std::to_string(last) + " 1"}}));

  // A folder that cannot be read in either hierarchy (Rock Ridge's and
  // Joliet's) hides its files: they are unknown, not free.
  owners = ScanOwners(iso, bytes.size(), {sub, jolietSub, data + 3, last}, dir);
  EXPECT_EQ(owners, (std::map<std::string, std::string>{
                        {"directory /sub", std::to_string(std::min(sub, jolietSub)) + " 2"},
                        {"unknown (below unreadable directory /sub)", std::to_string(data + 3) + " 2"}}));

  // image's summary carries the same table, read from the source.
  const std::string src = dir.File("v.iso");
  WriteMap(src, bytes.size(), {readme + 2});
  const auto image = Tessal("--json image " + Q(src) + " " + Q(dir.File("out.iso")) + " --retries 0", dir);
  EXPECT_EQ(image.status, 1);
  EXPECT_NE(image.out.find("\"owners\": [\n    {\"Owner\": \"/readme.txt\", \"FirstSector\": " +
                           std::to_string(readme + 2) + ", \"Sectors\": 1}\n  ]"),
            std::string::npos)
      << image.out;
}

TEST(ScanFilesCli, UdfOwnersFromEntriesAndStructures) {
  UdfNode root = UdfNode::Dir("", {UdfNode::File("a.txt", std::string(5000, 'a')),
                                   UdfNode::Dir("d", {UdfNode::File("b.bin", std::string(9000, 'b'))})});
  testsupport::UdfBuildOptions o;
  o.revision = 0x0250;  // entries and folders in a metadata partition
  const testsupport::UdfImage img = testsupport::BuildUdfImage(root), meta = testsupport::BuildUdfImage(root, o);
  const std::uint32_t a = img.dataSector.at("/a.txt"), b = img.dataSector.at("/d/b.bin"),
                      bEntry = img.entrySector.at("/d/b.bin"), d = img.dataSector.at("/d");
  auto at = [](std::uint32_t s, int n = 1) { return std::to_string(s) + " " + std::to_string(n); };
  struct Case {
    const testsupport::UdfImage& image;
    std::set<std::uint32_t> bad;
    std::map<std::string, std::string> want;
  };
  const Case cases[] = {
      {img,
       {img.anchors[0], img.reserveVds, img.lvidSector, a + 1, b, 200},
       {{"anchor volume descriptor pointer", at(img.anchors[0])},
        {"reserve volume descriptor sequence", at(img.reserveVds)},
        {"logical volume integrity sequence", at(img.lvidSector)},
        {"/a.txt", at(a + 1)},
        {"/d/b.bin", at(b)},
        {"free space", at(200)}}},
      {img, {d, b}, {{"directory /d", at(d)}, {"unknown (below unreadable directory /d)", at(b)}}},
      {img, {img.fsdSector, a}, {{"file set descriptor", at(img.fsdSector)}, {"unknown (below unreadable UDF volume)", at(a)}}},
      {img,
       {bEntry, b + 1},
       {{"UDF file entry of /d/b.bin", at(bEntry)}, {"unknown (below unreadable UDF file entry of /d/b.bin)", at(b + 1)}}},
      {meta,
       {meta.metadataFileSector, meta.dataSector.at("/a.txt")},
       {{"metadata file", at(meta.metadataFileSector)}, {"/a.txt", at(meta.dataSector.at("/a.txt"))}}},
  };
  ScratchDir dir;
  const std::string path = dir.File("udf.img");
  for (const Case& c : cases) {
    ASSERT_TRUE(c.image.WriteTo(path));
    EXPECT_EQ(ScanOwners(path, c.image.bytes.size(), c.bad, dir), c.want);
  }
}

TEST(ScanFilesCli, MkudffsVolume) {
  const std::string mkudffs = testsupport::HaveProgram("mkudffs") ? "mkudffs"
                              : std::filesystem::exists("/usr/sbin/mkudffs") ? "/usr/sbin/mkudffs" : "";
  if (mkudffs.empty()) GTEST_SKIP();
  ScratchDir dir;
  const std::string path = dir.File("mk.udf");
  ASSERT_EQ(testsupport::RunProgram(mkudffs + " --media-type=hd --blocksize=2048 " + Q(path) + " 4096", dir).status, 0);
  const auto owners = ScanOwners(path, 4096ull * 2048, {16, 4095, 3000}, dir);
  EXPECT_EQ(owners, (std::map<std::string, std::string>{{"volume descriptor", "16 1"},
                                                        {"anchor volume descriptor pointer", "4095 1"},
                                                        {"free space", "3000 1"}}));
}

// A mixed-mode CUE/BIN whose audio track 2 has a 150-sector pregap: a bad
// sector there is the pregap's where an index 00 frame lies below it,
// unknown where nothing tells which track it ends or begins, and never the
// data track's free space. The plain scan lists the same sectors.
TEST(ScanFilesCli, ADamagedPregapIsNeverFreeSpace) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP();
  ScratchDir dir;
  dir.Write("src/a.txt", std::string(5000, 'a'));
  const std::string iso = dir.File("v.iso");
  ASSERT_EQ(std::system(("genisoimage -quiet -pad -o " + Q(iso) + " " + Q(dir.File("src")) + " 2>/dev/null").c_str()), 0);
  const std::string user = testsupport::ReadWholeFile(iso);
  testsupport::Bytes bin = browsercli::RawMode1Sectors(testsupport::Bytes(user.begin(), user.end()));
  const auto n = static_cast<std::uint32_t>(bin.size() / 2352);  // the pregap's first sector
  for (const auto& audio : {testsupport::AudioSectors(350, 1), testsupport::AudioSectors(100, 2)})
    bin.insert(bin.end(), audio.begin(), audio.end());
  auto msf = [](std::uint32_t s) {
    char b[16];
    std::snprintf(b, sizeof b, "%02u:%02u:%02u", s / 4500, s / 75 % 60, s % 75);
    return std::string(b);
  };
  const std::string binPath = dir.Write("d.bin", bin), cue = dir.Write(
      "d.cue", "FILE \"d.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 " +
                   msf(n) + "\n    INDEX 01 " + msf(n + 150) + "\n  TRACK 03 AUDIO\n    INDEX 01 " + msf(n + 350) + "\n");
  auto at = [](std::uint32_t s, std::uint32_t count) { return std::to_string(s) + " " + std::to_string(count); };
  const std::string between = "unknown (between track 1 and track 2)";

  // Its first, middle and last sectors, and the data track's last.
  EXPECT_EQ(ScanOwners(binPath, bin.size(), {n - 1, n, n + 75, n + 149}, dir, cue),
            (std::map<std::string, std::string>{
                {"free space", at(n - 1, 1)}, {between, at(n, 1)}, {"pregap of track 2", at(n + 75, 2)}}));
  const auto plain = Tessal("scan " + Q(cue), dir);
  EXPECT_EQ(plain.out, "Sector\tSenseKey\tASC\tASCQ\n" + [&] {
    std::string rows;
    for (std::uint32_t s : {n - 1, n, n + 75, n + 149}) rows += std::to_string(s) + "\t0x03\t0x11\t0x05\n";
    return rows;
  }());

  // The whole pregap, ten sectors either side: too long a run to search
  // through; the drive's end of track 1 bounds the unknown.
  std::set<std::uint32_t> run;
  for (std::uint32_t s = n - 10; s < n + 160; ++s) run.insert(s);
  EXPECT_EQ(ScanOwners(binPath, bin.size(), run, dir, cue),
            (std::map<std::string, std::string>{
                {"free space", at(n - 10, 10)}, {between, at(n, 150)}, {"audio track 2", at(n + 150, 10)}}));
}

}  // namespace
