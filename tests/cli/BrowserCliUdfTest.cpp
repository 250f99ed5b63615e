// tessal-cli tree and ls on UDF volumes: volumes built by tests/support with
// known entry sectors, times and sizes; every kind mkudffs makes (empty
// roots); a genisoimage bridge whose UDF listing must name and size what
// isoinfo lists through its ISO 9660 directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/UdfBuilder.h"

using namespace browsercli;
using testsupport::ScratchDir;
using testsupport::UdfNode;

namespace {

const std::vector<std::string> kHeader = {"Name", "Time", "Type", "Size", "Pos", "Len"};

std::string Mkudffs() {
  if (testsupport::HaveProgram("mkudffs")) return "mkudffs";
  if (std::system("test -x /usr/sbin/mkudffs") == 0) return "/usr/sbin/mkudffs";
  return {};
}

}  // namespace

TEST(BrowserCliUdf, BuiltVolumesShowTheirFoldersTimesSizesAndEntrySectors) {
  ScratchDir dir;
  UdfNode root = UdfNode::Dir("");
  UdfNode docs = UdfNode::Dir("docs", {UdfNode::File("a.bin", std::vector<std::uint8_t>(5000, 0x5A)),
                                       UdfNode::Dir("inner")});
  docs.time = {2019, 12, 1, 8, 3, 0};
  root.children.push_back(UdfNode::File("readme.txt", "Read me first."));
  root.children.push_back(docs);
  UdfNode wide = UdfNode::File("Größe.dat", std::vector<std::uint8_t>(70000, 1));
  wide.wideName = true;
  wide.time = {2001, 2, 3, 4, 5, 6};
  root.children.push_back(wide);
  root.children.push_back(UdfNode::Dir("Empty"));

  for (auto kind : {testsupport::UdfPartitionKind::Plain, testsupport::UdfPartitionKind::Virtual}) {
    SCOPED_TRACE(static_cast<int>(kind));
    testsupport::UdfBuildOptions o;
    o.partition = kind;
    o.extendedEntries = kind == testsupport::UdfPartitionKind::Virtual;
    o.vatLinkBlocks = 0;  // a closed image ends with its table
    const testsupport::UdfImage img = testsupport::BuildUdfImage(root, o);
    const std::string path = dir.File("built.iso");
    ASSERT_TRUE(img.WriteTo(path));
    auto sector = [&](const std::string& p) { return std::to_string(img.entrySector.at(p)); };

    auto tree = Tessal("tree " + Q(path), dir);
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out, "Session 1\t0\n"
                        "  DATA TRACK 1(UDF)\t" + sector("/") + "\n"
                        "    docs\t" + sector("/docs") + "\n"
                        "      inner\t" + sector("/docs/inner") + "\n"
                        "    Empty\t" + sector("/Empty") + "\n"
                        "(Lead Out) " + std::to_string(img.SectorCount()) + "\t0\n");

    auto ls = Tessal("ls " + Q(path) + " /", dir);
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(Lines(ls.out), (std::vector<std::vector<std::string>>{
                                 kHeader,
                                 {"docs", "2019-12-1 8:3:0", "Folder", "", sector("/docs"), ""},
                                 {"Empty", "2024-5-17 13:45:30", "Folder", "", sector("/Empty"), ""},
                                 {"Größe.dat", "2001-2-3 4:5:6", "File", "70000", sector("/Größe.dat"), ""},
                                 {"readme.txt", "2024-5-17 13:45:30", "File", "14", sector("/readme.txt"), ""}}));
    // The same folder by its node path, and an empty folder: header only.
    auto byNode = Tessal("ls " + Q(path) + " " + Q("Session 1/DATA TRACK 1(UDF)/docs"), dir);
    ASSERT_EQ(byNode.status, 0) << byNode.err;
    EXPECT_EQ(Lines(byNode.out), (std::vector<std::vector<std::string>>{
                                     kHeader,
                                     {"inner", "2024-5-17 13:45:30", "Folder", "", sector("/docs/inner"), ""},
                                     {"a.bin", "2024-5-17 13:45:30", "File", "5000", sector("/docs/a.bin"), ""}}));
    auto empty = Tessal("ls " + Q(path) + " /Empty", dir);
    ASSERT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(Lines(empty.out), (std::vector<std::vector<std::string>>{kHeader}));
    auto json = Tessal("ls " + Q(path) + " /docs --json", dir);
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"Pos\": \"" + sector("/docs/a.bin") + "\""), std::string::npos) << json.out;
  }
}

TEST(BrowserCliUdf, EveryMkudffsKindListsItsEmptyRoot) {
  const std::string mk = Mkudffs();
  if (mk.empty()) GTEST_SKIP() << "mkudffs (udftools) is not installed";
  ScratchDir dir;
  const std::regex treeShape("Session 1\t0\n  DATA TRACK 1\\(UDF\\)\t([1-9][0-9]*)\n\\(Lead Out\\) ([0-9]+)\t0\n");
  int checked = 0;
  for (const char* media : {"hd", "dvd", "dvdrw", "dvdr", "cdrw", "cdr"}) {
    for (const char* rev : {"1.50", "2.01"}) {
      for (const char* extra : {"", "--vat", "--spartable", "--noefe"}) {
        const std::string m = media, x = extra;
        if (x == "--spartable" && (m == "dvdr" || m == "cdr")) continue;  // write-once media do not spare
        SCOPED_TRACE(m + " " + rev + " " + x);
        const std::string path = dir.File("v.img");
        std::remove(path.c_str());
        ASSERT_EQ(std::system((mk + " --blocksize=2048 --media-type=" + m + " --udfrev=" + rev + " " + x + " " +
                               Q(path) + " 3000 >/dev/null 2>&1")
                                  .c_str()),
                  0);
        auto tree = Tessal("tree " + Q(path), dir);
        ASSERT_EQ(tree.status, 0) << tree.err;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(tree.out, match, treeShape)) << tree.out;
        // Write-once and VAT volumes are only as long as what was written.
        EXPECT_EQ(match[2], std::to_string(std::filesystem::file_size(path) / 2048));

        // The root holds no folder; it lists as an empty (or nearly empty)
        // folder, never as "no data track".
        auto ls = Tessal("ls " + Q(path) + " /", dir);
        ASSERT_EQ(ls.status, 0) << ls.err;
        auto rows = Lines(ls.out);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], kHeader);
        // Sparable 1.50 volumes keep their spare space in a file of the root.
        for (std::size_t i = 1; i < rows.size(); ++i) {
          EXPECT_EQ(rows[i][0], "Non-Allocatable Space");
          EXPECT_EQ(rows[i][2], "File");
        }
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 44);
}

TEST(BrowserCliUdf, BridgeListsTheSameThroughUdfAsIsoinfoThroughIso9660) {
  if (!testsupport::HaveProgram("genisoimage") || !testsupport::HaveProgram("isoinfo")) GTEST_SKIP();
  ScratchDir dir;
  dir.Write("src/Readme.txt", std::string(5000, 'r'));
  dir.Write("src/empty.txt", std::string());
  dir.Write("src/docs/a/deep/leaf.dat", std::string(3, 'x'));
  dir.Write("src/docs/Mixed Case Name.TXT", std::string(70000, 'u'));
  for (int i = 0; i < 70; ++i) dir.Write("src/wide/entry-with-a-longer-name-" + std::to_string(i) + ".bin", std::string(i * 7, 'w'));
  ASSERT_EQ(std::system(("touch -d '2021-03-04 05:06:07 UTC' " + Q(dir.File("src/Readme.txt"))).c_str()), 0);
  const std::string iso = dir.File("bridge.iso");
  ASSERT_EQ(std::system(("TZ=UTC genisoimage -quiet -udf -R -J -o " + Q(iso) + " " + Q(dir.File("src")) + " 2>/dev/null").c_str()), 0);

  auto tree = Tessal("tree " + Q(iso), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out.rfind("Session 1\t0\n  DATA TRACK 1(UDF&ISO)\t", 0), 0u) << tree.out;
  EXPECT_NE(tree.out.find("\n      a\t"), std::string::npos) << tree.out;
  EXPECT_NE(tree.out.find("\n        deep\t"), std::string::npos) << tree.out;

  // isoinfo -R -l: "Directory listing of /docs/" and one line per record.
  auto listing = testsupport::RunProgram("isoinfo -R -l -i " + Q(iso), dir);
  ASSERT_EQ(listing.status, 0);
  std::map<std::string, std::map<std::string, std::pair<std::string, bool>>> ref;  // folder -> name -> size, dir
  {
    std::istringstream in(listing.out);
    std::string folder;
    const std::regex line(R"(^([d-])\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+\w+\s+\d+\s+\d+\s+\[\s*\d+\s+\d+\]\s\s(.*?)\s*$)");
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("Directory listing of ", 0) == 0) {
        folder = l.substr(21);
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        ref[folder];
        continue;
      }
      std::smatch m;
      if (!std::regex_match(l, m, line) || m[3] == "." || m[3] == "..") continue;
      ref[folder][m[3]] = {m[1] == "d" ? "" : std::string(m[2]), m[1] == "d"};
    }
  }
  ASSERT_EQ(ref.size(), 5u);
  const std::regex time(R"(\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{1,2}:\d{1,2})");
  for (const auto& [folder, entries] : ref) {
    SCOPED_TRACE(folder);
    auto ls = Tessal("ls " + Q(iso) + " " + Q(folder), dir);
    ASSERT_EQ(ls.status, 0) << ls.err;
    auto rows = Lines(ls.out);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], kHeader);
    std::map<std::string, std::pair<std::string, bool>> ours;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      ours[rows[i][0]] = {rows[i][3], rows[i][2] == "Folder"};
      EXPECT_TRUE(std::regex_match(rows[i][1], time)) << rows[i][1];
      EXPECT_GT(std::stoul(rows[i][4]), 16u) << "a file entry's sector";
      if (rows[i][0] == "Readme.txt") {
        EXPECT_EQ(rows[i][1], "2021-3-4 5:6:7");
      }
    }
    EXPECT_EQ(ours, entries);
  }
}

TEST(BrowserCliUdf, ADamagedIdentifierShowsWhatCameBeforeAndFailsTheExtract) {
  ScratchDir dir;
  UdfNode root = UdfNode::Dir("", {UdfNode::File("a.txt", "alpha"), UdfNode::File("b.txt", "beta"),
                                   UdfNode::File("c.txt", "gamma")});
  testsupport::UdfImage img = testsupport::BuildUdfImage(root);
  // The parent entry (40 bytes) and "a.txt" (44) come first; "b.txt" loses its tag.
  img.Sector(img.dataSector.at("/"))[40 + 44] = 0x55;
  const std::string path = dir.File("damaged.img");
  ASSERT_TRUE(img.WriteTo(path));

  auto ls = Tessal("ls " + Q(path) + " /", dir);
  const auto rows = Lines(ls.out);
  ASSERT_EQ(rows.size(), 2u) << ls.out;
  EXPECT_EQ(rows[1][0], "a.txt");

  std::filesystem::create_directory(dir.File("out"));
  auto run = Tessal("extract " + Q(path) + " / " + Q(dir.File("out")), dir);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const auto damaged = TableRows(run.out, "path\tsectors\treason");
  ASSERT_EQ(damaged.size(), 1u) << run.out;
  EXPECT_NE(damaged[0][0].find("DATA TRACK 1(UDF)"), std::string::npos);
  EXPECT_NE(damaged[0][2].find("damage"), std::string::npos) << damaged[0][2];
  EXPECT_EQ(testsupport::ReadTree(dir.File("out/DATA TRACK 1(UDF)")),
            (std::map<std::string, std::string>{{"a.txt", "alpha"}}));
}

TEST(BrowserCliUdf, VolShowsRevisionBlockSizeMapsAnchorsAndTheMetadataCopyRead) {
  ScratchDir dir;
  UdfNode root = UdfNode::Dir("", {UdfNode::File("a.txt", "alpha"), UdfNode::Dir("sub")});
  testsupport::UdfBuildOptions o;
  o.blockSize = 512;
  o.revision = 0x0260;
  o.metadataDamage = testsupport::UdfMetadataDamage::MainEntry;
  const testsupport::UdfImage img = testsupport::BuildUdfImage(root, o);
  const std::string path = dir.File("bd.img");
  ASSERT_TRUE(img.WriteTo(path));
  auto vol = Tessal("vol " + Q(path), dir);
  ASSERT_EQ(vol.status, 0) << vol.err;
  std::map<std::string, std::string> rows;
  for (const auto& r : TableRows(vol.out, "Volume Descriptor")) rows[r.at(0)] = r.size() > 1 ? r[1] : "";
  std::vector<std::uint32_t> anchors = img.anchors;
  std::sort(anchors.begin(), anchors.end());
  std::string anchorText;
  for (std::uint32_t a : anchors) anchorText += (anchorText.empty() ? "" : ", ") + std::to_string(a);
  EXPECT_EQ(rows["UDF Volume Identifier"], "TESSALTEST");
  EXPECT_EQ(rows["UDF Revision"], "2.60");
  EXPECT_EQ(rows["Block Size"], "512");
  EXPECT_EQ(rows["Partition Maps"], "physical, metadata");
  EXPECT_EQ(rows["Anchors"], anchorText);
  EXPECT_EQ(rows["Metadata File"].rfind("mirror", 0), 0u) << rows["Metadata File"];

  auto ls = Tessal("ls " + Q(path) + " /", dir);
  const auto lines = Lines(ls.out);
  ASSERT_EQ(lines.size(), 3u) << ls.out;
  EXPECT_EQ(lines[1][0], "sub");
  EXPECT_EQ(lines[2][0], "a.txt");
  EXPECT_EQ(lines[2][3], "5");
}
