// Cross-checks against independent tools: every volume mkudffs makes is
// recognised with the partition, kind and revision udfinfo reports, and a
// genisoimage UDF bridge lists the same names and sizes through UDF as
// isoinfo lists through its ISO 9660 directory.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

bool HaveTool(const char* name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1 || test -x /usr/sbin/" + name;
  return std::system(cmd.c_str()) == 0;
}

std::string RunTool(const std::string& cmd, int* status = nullptr) {
  std::string out;
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

// A folder of its own under the temporary folder, removed with the object.
struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device rd;
    path = fs::temp_directory_path() / ("tessal-udf-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::unique_ptr<CDevCmdROM> DriveOver(std::vector<std::uint8_t> bytes) {
  auto t = std::make_unique<UdfTestTransport>(std::move(bytes), std::set<std::uint32_t>{}, std::nullopt, 0);
  return std::make_unique<CDevCmdROM>(1, std::move(t), "tool image");
}

struct UdfInfo {
  std::map<std::string, std::string> values;
  std::vector<std::pair<std::string, std::uint32_t>> spaces;  // type, start
  bool Has(const std::string& type) const {
    for (auto& s : spaces)
      if (s.first == type) return true;
    return false;
  }
  std::uint32_t Start(const std::string& type) const {
    for (auto& s : spaces)
      if (s.first == type) return s.second;
    return 0;
  }
};

UdfInfo ParseUdfInfo(const std::string& text) {
  UdfInfo info;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("start=", 0) == 0) {
      unsigned start = 0, blocks = 0;
      char type[32] = {};
      if (std::sscanf(line.c_str(), "start=%u, blocks=%u, type=%31s", &start, &blocks, type) == 3)
        info.spaces.emplace_back(type, start);
    } else if (auto eq = line.find('='); eq != std::string::npos) {
      info.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return info;
}

int RevisionClass(const std::string& rev) {
  if (rev == "1.50") return 0;
  if (rev == "2.00") return 1;
  if (rev == "2.01") return 2;
  return -1;
}

struct MkudffsCase {
  std::string media, revision, extra;
  std::uint32_t startBlock = 0;
};

std::vector<MkudffsCase> MkudffsCases() {
  std::vector<MkudffsCase> cases;
  for (const char* m : {"hd", "dvd", "dvdrw", "dvdr", "cdrw", "cdr"})
    for (const char* r : {"1.50", "2.00", "2.01"})
      for (const char* x : {"", "--vat", "--spartable", "--noefe", "--startblock=32"}) {
        // Write-once media cannot spare.
        if (std::string(x) == "--spartable" && (std::string(m) == "dvdr" || std::string(m) == "cdr")) continue;
        cases.push_back({m, r, x, std::string(x) == "--startblock=32" ? 32u : 0u});
      }
  return cases;
}

}  // namespace

TEST(UdfTools, EveryMkudffsVariantAgreesWithUdfinfo) {
  if (!HaveTool("mkudffs") || !HaveTool("udfinfo")) GTEST_SKIP() << "mkudffs/udfinfo (udftools) not installed";
  TempDir dir;
  int checked = 0;
  for (const MkudffsCase& c : MkudffsCases()) {
    SCOPED_TRACE(c.media + " " + c.revision + " " + c.extra);
    auto make = [&](const fs::path& image, const std::string& extra) {
      fs::remove(image);
      std::string mk = "PATH=$PATH:/usr/sbin mkudffs --blocksize=2048 --media-type=" + c.media +
                       " --udfrev=" + c.revision + " " + extra + " '" + image.string() + "' 3000 >/dev/null 2>&1";
      return std::system(mk.c_str()) == 0;
    };
    fs::path image = dir.path / "v.img";
    ASSERT_TRUE(make(image, c.extra));
    // A volume made to start at a later block is the file of that session:
    // it is placed there, as on the disc.
    std::vector<std::uint8_t> bytes(std::size_t(c.startBlock) * 2048, 0);
    std::vector<std::uint8_t> file = ReadFile(image);
    bytes.insert(bytes.end(), file.begin(), file.end());
    // udfinfo does not look for a volume past the disc's start, so such a
    // volume is compared with the same one made at block 0, moved.
    fs::path reference = image;
    if (c.startBlock) {
      reference = dir.path / "ref.img";
      ASSERT_TRUE(make(reference, ""));
    }
    int status = 0;
    UdfInfo info = ParseUdfInfo(RunTool("udfinfo '" + reference.string() + "' 2>/dev/null", &status));
    ASSERT_EQ(status, 0);
    std::uint32_t partStart = info.Start("PSPACE") + c.startBlock;
    std::uint32_t vatBlock = info.values.count("vatblock") ? std::stoul(info.values["vatblock"]) + c.startBlock : 0;

    auto dev = DriveOver(bytes);
    CAnaly_UDF a;
    unsigned char pvd[2048] = {};
    ASSERT_TRUE(a.Analyse(dev.get(), pvd, c.startBlock));
    EXPECT_EQ(pvd[0], 1);
    EXPECT_EQ(a.m_nUdfRevision, RevisionClass(info.values["udfrev"]));
    EXPECT_EQ(a.m_nPartStart, partStart);
    int kind = info.values.count("vatblock") ? 1 : info.Has("SSPACE") ? 2 : 0;
    EXPECT_EQ(a.m_nPartMapKind, kind);
    if (kind == 1) {
      EXPECT_EQ(a.VatSector(), vatBlock);
    }

    // The root: a directory entry of the kind the options ask for, whose
    // parent entry points back at itself, and which lists nothing.
    std::uint32_t root = a.m_nPartStart + a.m_nRootIcb;
    unsigned char fe[2048];
    ASSERT_EQ(dev->ReadCD_10(fe, 2048, 1, root), 0);
    bool efe = c.revision != "1.50" && c.extra != "--noefe";
    EXPECT_EQ(GetLE16(fe), efe ? 266 : 261);
    EXPECT_EQ(fe[27], 4);
    std::vector<std::uint8_t> data;
    ASSERT_EQ(a.ReadDirectoryData(root, data), 0);
    udf::FidIterator it(data);
    udf::FileIdentifier parent;
    ASSERT_EQ(it.Next(parent), udf::FidStatus::Ok);
    EXPECT_TRUE(parent.characteristics & udf::kFidParent);
    // Nothing in it but, on sparable UDF 1.50 volumes, the file that
    // covers the spare space.
    std::vector<UdfDirEntry> entries;
    EXPECT_EQ(a.ReadDirectory(root, entries), 0);
    for (const UdfDirEntry& e : entries) EXPECT_EQ(e.name, "Non-Allocatable Space");
    EXPECT_EQ(info.values["numdirs"], "1");
    ++checked;
  }
  EXPECT_EQ(checked, 84);
}

namespace {

// "path size" of every file below a UDF directory.
void WalkUdf(CAnaly_UDF& a, std::uint32_t dirSector, const std::string& path,
             std::map<std::string, std::uint64_t>& files, int depth = 0) {
  ASSERT_LT(depth, 16);
  std::vector<UdfDirEntry> entries;
  ASSERT_EQ(a.ReadDirectory(dirSector, entries), 0) << path;
  for (const UdfDirEntry& e : entries) {
    std::string p = path + "/" + e.name;
    if (e.isDirectory) {
      files[p + "/"] = 0;
      WalkUdf(a, e.feSector, p, files, depth + 1);
    } else {
      std::uint64_t size = 0;
      ASSERT_TRUE(a.GetFileSize(e.feSector, size)) << p;
      files[p] = size;
    }
  }
}

// The same from isoinfo's listing of the Rock Ridge names.
std::map<std::string, std::uint64_t> ParseIsoinfo(const std::string& text) {
  std::map<std::string, std::uint64_t> files;
  std::istringstream in(text);
  std::string line, dir;
  while (std::getline(in, line)) {
    const std::string head = "Directory listing of ";
    if (line.rfind(head, 0) == 0) {
      dir = line.substr(head.size());
      if (!dir.empty() && dir.back() == '/') dir.pop_back();
      continue;
    }
    auto bracket = line.find("]  ");
    if (line.size() < 12 || bracket == std::string::npos) continue;
    std::string name = line.substr(bracket + 3);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "." || name == "..") continue;
    std::istringstream fields(line);
    std::string perms, a, b, c;
    std::uint64_t size = 0;
    fields >> perms >> a >> b >> c >> size;
    files[dir + "/" + name + (perms[0] == 'd' ? "/" : "")] = perms[0] == 'd' ? 0 : size;
  }
  return files;
}

}  // namespace

TEST(UdfTools, GenisoimageBridgeListsTheSameThroughUdfAndIso) {
  if (!HaveTool("genisoimage") || !HaveTool("isoinfo")) GTEST_SKIP() << "genisoimage/isoinfo not installed";
  TempDir dir;
  fs::path tree = dir.path / "tree";
  std::map<std::string, std::vector<std::uint8_t>> content;
  auto put = [&](const std::string& rel, std::size_t size) {
    fs::create_directories((tree / rel).parent_path());
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + rel.size());
    std::ofstream(tree / rel, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    content["/" + rel] = bytes;
  };
  put("empty.txt", 0);
  put("small.txt", 100);
  put("two-sectors.bin", 4097);
  put("Docs/readme.md", 2048);
  put("Docs/deep/er/file.dat", 70000);
  put("Mixed Case Name.TXT", 12);
  for (int i = 0; i < 60; ++i) put("many/entry-with-a-longer-name-" + std::to_string(i) + ".txt", i * 3);
  fs::path iso = dir.path / "bridge.iso";
  std::string mk = "genisoimage -quiet -udf -R -J -o '" + iso.string() + "' '" + tree.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(mk.c_str()), 0);

  auto dev = DriveOver(ReadFile(iso));
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(dev.get(), nullptr, 0));
  EXPECT_EQ(a.m_nPartMapKind, 0);
  std::map<std::string, std::uint64_t> viaUdf;
  WalkUdf(a, a.m_nPartStart + a.m_nRootIcb, "", viaUdf);
  std::map<std::string, std::uint64_t> viaIso = ParseIsoinfo(RunTool("isoinfo -R -l -i '" + iso.string() + "'"));
  ASSERT_FALSE(viaIso.empty());
  EXPECT_EQ(viaUdf, viaIso);

  // And the bytes, through the extents.
  for (const auto& [path, bytes] : content) {
    std::uint32_t dirSector = a.m_nPartStart + a.m_nRootIcb;
    std::string rest = path.substr(1);
    UdfDirEntry found;
    bool ok = true;
    while (ok) {
      auto slash = rest.find('/');
      std::string part = rest.substr(0, slash);
      std::vector<UdfDirEntry> entries;
      ASSERT_EQ(a.ReadDirectory(dirSector, entries), 0);
      ok = false;
      for (auto& e : entries)
        if (e.name == part) {
          found = e;
          ok = true;
        }
      ASSERT_TRUE(ok) << path;
      if (slash == std::string::npos) break;
      dirSector = found.feSector;
      rest = rest.substr(slash + 1);
    }
    UdfFileData f;
    ASSERT_EQ(a.GetFileExtents(found.feSector, f), 0) << path;
    std::vector<std::uint8_t> got = udftest::ReadThroughExtents(*dev, f);
    EXPECT_EQ(got, bytes) << path;
  }
}
