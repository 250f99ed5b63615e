// tessal-cli tree and ls on volumes made by genisoimage and xorriso, every
// directory's names, sizes and extents compared with what isoinfo lists for
// the same image; the same volume as a CUE/BIN; unknown paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "disc/TextCodec.h"
#include "tests/cli/BrowserCliUtil.h"

using namespace browsercli;
using testsupport::ScratchDir;

namespace {

struct Entry {
  std::string size, extent;
  bool dir = false;
  bool operator==(const Entry&) const = default;
};
using Listing = std::map<std::string, std::map<std::string, Entry>>;  // folder -> name -> entry

// isoinfo prints Joliet names in Latin-1 whatever the locale; the names of
// the test tree stay inside it.
std::string FromLatin1(const std::string& s) {
  return Latin1ToUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// isoinfo -l: "Directory listing of /A/" then one line per record. names:
// "-J " for Joliet's, "-R " for Rock Ridge's (a link's " -> target" cut off).
Listing IsoInfo(const std::string& iso, const std::string& names, const ScratchDir& dir) {
  Listing out;
  auto run = testsupport::RunProgram("isoinfo " + names + "-l -i " + Q(iso), dir);
  std::istringstream in(run.out);
  std::string folder;
  // Rock Ridge names come out as the bytes recorded (UTF-8 here).
  auto text = [&](const std::string& t) { return names == "-R " ? t : FromLatin1(t); };
  const std::regex line(R"(^([d-])\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+\w+\s+\d+\s+\d+\s+\[\s*(\d+)\s+\d+\]\s\s(.*?)\s*$)");
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("Directory listing of ", 0) == 0) {
      folder = text(l.substr(21));
      if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      out[folder];
      continue;
    }
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    std::string name = text(m[4]);
    if (name == "." || name == "..") continue;
    const bool d = m[1] == "d";
    if (!d && name.size() > 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
    out[folder][name] = Entry{d ? "" : std::string(m[2]), m[3], d};
  }
  return out;
}

// Every folder isoinfo lists, listed by tessal-cli ls /FOLDER.
void ExpectSameAsIsoInfo(const std::string& iso, const std::string& names, const ScratchDir& dir) {
  const Listing ref = IsoInfo(iso, names, dir);
  ASSERT_FALSE(ref.empty()) << "isoinfo listed nothing";
  for (const auto& [folder, entries] : ref) {
    auto ls = Tessal("ls " + Q(iso) + " " + Q(folder), dir);
    ASSERT_EQ(ls.status, 0) << folder << ": " << ls.err;
    auto rows = Lines(ls.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], "Name");
    rows.erase(rows.begin());
    std::map<std::string, Entry> ours;
    bool filesSeen = false;
    for (const auto& r : rows) {
      ours[r[0]] = Entry{r[3], r[4], r[2] == "Folder"};
      if (r[2] == "File") filesSeen = true;
      EXPECT_FALSE(filesSeen && r[2] == "Folder") << "folders come before files in " << folder;
    }
    EXPECT_EQ(ours, entries) << "folder " << folder;
  }
}

bool MakeTree(const ScratchDir& dir) {
  dir.Write("src/Readme.txt", std::string(5000, 'r'));
  dir.Write("src/docs/a/deep/b/c/d/e/f/g/h/i/j/leaf.dat", std::string(3, 'x'));
  dir.Write("src/docs/Übersicht.txt", std::string(70000, 'u'));
  for (int i = 0; i < 150; ++i) dir.Write("src/wide/file_number_" + std::to_string(i) + ".bin", std::string(i, 'w'));
  return true;
}

}  // namespace

TEST(BrowserCli, GenisoimageVolumesListAsIsoinfoListsThem) {
  if (!testsupport::HaveProgram("genisoimage") || !testsupport::HaveProgram("isoinfo")) GTEST_SKIP();
  ScratchDir dir;
  MakeTree(dir);
  // A volume with Rock Ridge is browsed in its Rock Ridge names, Joliet or not.
  const struct {
    const char* options;
    const char* names;
  } variants[] = {{"", ""}, {"-J", "-J "}, {"-R", "-R "}, {"-J -R -joliet-long", "-R "}};
  for (const auto& v : variants) {
    SCOPED_TRACE(v.options);
    const std::string iso = dir.File("g.iso");
    ASSERT_EQ(std::system(("genisoimage -quiet -D -input-charset utf-8 " + std::string(v.options) + " -o " + Q(iso) +
                           " " + Q(dir.File("src")) + " 2>/dev/null")
                              .c_str()),
              0);
    ExpectSameAsIsoInfo(iso, v.names, dir);
  }
}

TEST(BrowserCli, XorrisoVolumeAndItsCueBinCopyShowTheSameTree) {
  if (!testsupport::HaveProgram("xorriso") || !testsupport::HaveProgram("isoinfo")) GTEST_SKIP();
  ScratchDir dir;
  MakeTree(dir);
  const std::string iso = dir.File("x.iso");
  ASSERT_EQ(std::system(("xorriso -as mkisofs -quiet -J -o " + Q(iso) + " " + Q(dir.File("src")) + " >/dev/null 2>&1").c_str()), 0);
  ExpectSameAsIsoInfo(iso, "-R ", dir);  // xorriso always writes Rock Ridge

  auto tree = Tessal("tree " + Q(iso), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out.rfind("Session 1\t0\n  DATA TRACK 1(ISO)\t", 0), 0u) << tree.out;
  EXPECT_NE(tree.out.find("\n    docs\t"), std::string::npos);
  EXPECT_NE(tree.out.find("\n      a\t"), std::string::npos);

  // The same user data as raw Mode 1 sectors behind a cue sheet.
  dir.Write("x.bin", RawMode1Sectors(ReadWhole(iso)));
  const std::string cue = dir.Write("x.cue", std::string("FILE \"x.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"));
  auto cueTree = Tessal("tree " + Q(cue), dir);
  ASSERT_EQ(cueTree.status, 0) << cueTree.err;
  EXPECT_EQ(cueTree.out, tree.out);
  auto ls = Tessal("ls " + Q(cue) + " /docs --json", dir);
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("\"Name\": \"Übersicht.txt\""), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("\"Size\": \"70000\""), std::string::npos);

  auto bad = Tessal("ls " + Q(iso) + " " + Q("Session 1/DATA TRACK 1(ISO)/nope"), dir);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("no node"), std::string::npos);
}
