// tessal-cli find on volumes made by genisoimage and xorriso, compared with
// what xorriso (-find -exec lsdl) and isoinfo say of the same images; its
// JSON; and damage that must make it fail while still listing the rest.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/IsoBuilder.h"

using namespace browsercli;
using testsupport::ScratchDir;

namespace {

struct Item {
  std::string type, size, mode, target;
  bool operator==(const Item&) const = default;
};
using Items = std::map<std::string, Item>;

std::string TypeOf(char c) {
  switch (c) {
    case 'd': return "dir";
    case 'l': return "symlink";
    case 'b': return "block";
    case 'c': return "char";
    case 'p': return "fifo";
    case 's': return "socket";
    default: return "file";
  }
}

// "rwxr-x---" -> "0750".
std::string Octal(const std::string& rwx) {
  unsigned m = 0;
  for (std::size_t i = 0; i < 9 && i < rwx.size(); ++i)
    if (rwx[i] != '-') m |= 1u << (8 - i);
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", m);
  return buf;
}

// xorriso -find / -exec lsdl: one line per item, the root first.
Items Xorriso(const std::string& iso, const ScratchDir& dir) {
  Items out;
  auto run = testsupport::RunProgram("xorriso -indev " + Q(iso) + " -find / -exec lsdl -- 2>/dev/null", dir);
  const std::regex line(R"(^(\S)(\S{9})\s+\d+\s+\S+\s+\S+\s+(\S+)\s+\w+\s+\d+\s+\S+\s+'(.*?)'(?: -> '(.*)')?$)");
  std::istringstream in(run.out);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (!std::regex_match(l, m, line) || m[4] == "/") continue;
    const std::string type = TypeOf(m.str(1)[0]);
    out[m[4]] = Item{type, type == "file" ? m.str(3) : "", Octal(m[2]), m[5]};
  }
  return out;
}

// Our rows: path -> item; order kept in `order`.
Items Find(const std::string& args, const ScratchDir& dir, std::vector<std::string>* order = nullptr,
           int* status = nullptr) {
  auto run = Tessal("find " + args, dir);
  if (status)
    *status = run.status;
  else
    EXPECT_EQ(run.status, 0) << run.err;
  Items out;
  auto rows = Lines(run.out, 7);
  EXPECT_FALSE(rows.empty());
  if (rows.empty()) return out;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"path", "type", "size", "mode", "mtime", "target", "lba"}));
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& r = rows[i];
    out[r[0]] = Item{r[1], r[2], r[3], r[5]};
    if (order) order->push_back(r[0]);
  }
  return out;
}

// isoinfo -l: the root's regular files, name (version dropped) -> size, first sector.
std::map<std::string, std::pair<std::string, std::string>> IsoinfoRootFiles(const std::string& iso,
                                                                            const std::string& names,
                                                                            const ScratchDir& dir) {
  std::map<std::string, std::pair<std::string, std::string>> out;
  auto info = testsupport::RunProgram("isoinfo -l " + names + "-i " + Q(iso), dir);
  const std::regex line(R"(^-\S+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+\w+\s+\d+\s+\d+\s+\[\s*(\d+)\s+\d+\]\s\s(.*?)\s*$)");
  std::istringstream in(info.out);
  int listing = 0;
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("Directory listing of ", 0) == 0) ++listing;
    std::smatch m;
    if (listing != 1 || !std::regex_match(l, m, line)) continue;
    std::string name = m[3];
    if (name.size() > 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
    out[name] = {m[1], m[2]};
  }
  return out;
}

bool Make(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

TEST(FindCli, RockRidgeOfXorrisoAsXorrisoFindsIt) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP();
  ScratchDir dir;
  dir.Write("src/Readme.txt", std::string(5000, 'r'));
  dir.Write("src/d1/f.txt", std::string("hello\n"));
  const std::string longName(200, 'n');
  dir.Write("src/d1/" + longName + ".dat", std::string(3, 'x'));
  std::string deep = "src";
  for (int i = 1; i <= 11; ++i) deep += "/level" + std::to_string(i);
  dir.Write(deep + "/leaf", std::string(7, 'l'));
  ASSERT_EQ(::symlink("../d1/f.txt", dir.File("src/d1/rel").c_str()), 0);
  ASSERT_EQ(::symlink("/etc", dir.File("src/abs").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.File("src/fifo").c_str(), 0644), 0);
  ASSERT_EQ(::link(dir.File("src/d1/f.txt").c_str(), dir.File("src/hard.txt").c_str()), 0);
  const std::string iso = dir.File("x.iso");
  ASSERT_TRUE(Make("xorriso -outdev " + Q(iso) + " -joliet on -map " + Q(dir.File("src")) + " / -chmod 0750 /d1 -- -map /dev/null /null --"));
  std::vector<std::string> order;
  const Items ours = Find(Q(iso), dir, &order);
  EXPECT_EQ(ours, Xorriso(iso, dir));
  EXPECT_EQ(ours.at("/abs").target, "/etc");
  EXPECT_EQ(ours.at("/d1").mode, "0750");
  EXPECT_EQ(ours.count("/d1/" + longName + ".dat"), 1u) << "the Rock Ridge name, not Joliet's 64 characters";
  std::vector<std::string> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(order, sorted) << "depth first, siblings in bytewise order";
  // Below a node, and the tree's own path to the same node.
  const Items below = Find(Q(iso) + " /d1", dir);
  EXPECT_EQ(below.at("/rel").target, "../d1/f.txt");
  EXPECT_EQ(Find(Q(iso) + " " + Q("Session 1/DATA TRACK 1(ISO)/d1"), dir), below);

  // Folders xorriso relocated into its .rr_moved: in their true place, and
  // .rr_moved hidden as xorriso hides it.
  std::string relocated = "deep";
  for (int i = 1; i <= 10; ++i) relocated += "/a" + std::to_string(i);
  dir.Write(relocated + "/f", std::string("x"));
  const std::string moved = dir.File("moved.iso");
  ASSERT_TRUE(Make("xorriso -compliance deep_paths_off -outdev " + Q(moved) + " -map " + Q(dir.File("deep")) + " /"));
  const Items movedItems = Find(Q(moved), dir);
  EXPECT_EQ(movedItems, Xorriso(moved, dir));
  EXPECT_EQ(movedItems.count("/a1/a2/a3/a4/a5/a6/a7/a8/a9/a10/f"), 1u);
  EXPECT_EQ(movedItems.count("/.rr_moved"), 0u);
}

TEST(FindCli, GenisoimageVolumesAsXorrisoAndIsoinfoSeeThem) {
  if (!testsupport::HaveProgram("genisoimage") || !testsupport::HaveProgram("xorriso") ||
      !testsupport::HaveProgram("isoinfo"))
    GTEST_SKIP();
  ScratchDir dir;
  dir.Write("src/file", std::string(70000, 'u'));
  std::string deep = "src";
  for (int i = 1; i <= 10; ++i) deep += "/d" + std::to_string(i);
  dir.Write(deep + "/leaf.txt", std::string(3, 'x'));
  ASSERT_EQ(::symlink("file", dir.File("src/link").c_str()), 0);
  ASSERT_EQ(::system(("touch -h -d '2005-03-05 15:25:51Z' " + Q(dir.File("src/file"))).c_str()), 0);
  for (const char* options : {"-R", "-R -J -joliet-long", "-J", ""}) {
    SCOPED_TRACE(options);
    const std::string iso = dir.File("g.iso");
    ASSERT_TRUE(Make("genisoimage -quiet -input-charset utf-8 " + std::string(options) + " -o " + Q(iso) + " " +
                     Q(dir.File("src"))));
    auto run = Tessal("find " + Q(iso), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto rows = Lines(run.out, 7);
    std::map<std::string, std::vector<std::string>> byPath;
    for (const auto& r : rows) byPath[r[0]] = r;
    const bool rr = std::string(options).find("-R") != std::string::npos;
    const bool joliet = std::string(options).find("-J") != std::string::npos;
    const std::string file = rr || joliet ? "/file" : "/FILE.";
    if (rr) {
      // Folders nested past eight levels were moved to rr_moved: shown in
      // their true place, rr_moved left empty (as xorriso shows it).
      EXPECT_EQ(Find(Q(iso), dir), Xorriso(iso, dir));
      EXPECT_EQ(byPath.count("/d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/leaf.txt"), 1u) << run.out;
      EXPECT_EQ(byPath.count("/rr_moved"), 1u);
      EXPECT_EQ(byPath["/link"][5], "file");
      EXPECT_EQ(byPath["/file"][4], "2005-03-05T15:25:51Z");
    } else {
      EXPECT_EQ(byPath[file][4], "2005-03-05T15:25:51Z") << "the record's time, its zone applied";
      EXPECT_EQ(byPath[file][3], "") << "no permission bits without Rock Ridge";
    }
    // Size and first sector of the root's files as isoinfo lists them.
    const auto files = IsoinfoRootFiles(iso, rr ? "-R " : joliet ? "-J " : "", dir);
    ASSERT_FALSE(files.empty());
    for (const auto& [name, sizeAndLba] : files) {
      ASSERT_EQ(byPath.count("/" + name), 1u) << name << "\n" << run.out;
      EXPECT_EQ(byPath["/" + name][2], sizeAndLba.first);
      EXPECT_EQ(byPath["/" + name][6], sizeAndLba.second);
    }
  }
}

TEST(FindCli, JsonAndDamageThatMustNotPassForClean) {
  ScratchDir dir;
  testsupport::IsoBuilder b;
  testsupport::IsoNode& w = b.Folder(b.Root(), "W");
  for (int i = 0; i < 50; ++i) b.File(w, "F" + std::to_string(100000 + i) + ".T;1", testsupport::Bytes(1, 1));
  b.Folder(b.Root(), "Z");
  testsupport::Bytes img = b.Build();
  const std::string clean = dir.Write("clean.iso", img);
  auto json = Tessal("find " + Q(clean) + " --json", dir);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("{\"path\": \"/W/F100000.T\", \"type\": \"file\", \"size\": 1, \"mode\": null, "
                          "\"mtime\": \"2009-03-07T14:05:09Z\", \"target\": null, \"lba\": "),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"damage\": []"), std::string::npos);

  // A record running past its sector: what came before it and the rest of
  // the tree are listed, and the exit status says the listing is not whole.
  ASSERT_EQ(b.Find("/W/F100044.T;1")->record % 2048, 2004u);
  img[b.Find("/W/F100044.T;1")->record] = 60;
  const std::string hurt = dir.Write("hurt.iso", img);
  int status = 0;
  const Items items = Find(Q(hurt), dir, nullptr, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(items.count("/W/F100043.T"), 1u);
  EXPECT_EQ(items.count("/W/F100044.T"), 0u);
  EXPECT_EQ(items.count("/Z"), 1u);
  auto run = Tessal("find " + Q(hurt), dir);
  EXPECT_NE(run.err.find("/W: record past the directory's end"), std::string::npos) << run.err;
}
