// Volumes that mkudffs made at every block size and revision (2.50 and 2.60
// for BD-R, over a VAT), recognised with their block size, revision and
// maps; and a metadata partition (UDF 2.50 and later) laid over a built
// volume, read through its metadata file, or its mirror when the main one is
// damaged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "disc/ByteOrder.h"
#include "fs/udf/Descriptors.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"
#include "udf/UdfNodes.h"

namespace {

namespace stdfs = std::filesystem;

// The image mkudffs makes with these options, or empty when it is not installed.
std::vector<std::uint8_t> Mkudffs(const std::string& options) {
  std::random_device rd;
  const stdfs::path image = stdfs::temp_directory_path() / ("tessal-udfbs-" + std::to_string(rd()) + ".img");
  const std::string cmd = "PATH=$PATH:/usr/sbin mkudffs " + options + " --new-file '" + image.string() +
                          "' 4000 >/dev/null 2>&1";
  std::vector<std::uint8_t> bytes;
  if (std::system(cmd.c_str()) == 0) {
    std::ifstream f(image, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), {});
  }
  std::error_code ec;
  stdfs::remove(image, ec);
  return bytes;
}

std::unique_ptr<CDevCmdROM> Drive(std::vector<std::uint8_t> bytes) {
  bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
  auto t = std::make_unique<testsupport::UdfTestTransport>(std::move(bytes), std::set<std::uint32_t>{}, std::nullopt, 0);
  return std::make_unique<CDevCmdROM>(1, std::move(t), "mkudffs image");
}

struct Case {
  std::string options;
  std::uint32_t blockSize;
  int revision, kind;
  std::vector<std::string> maps;
};

}  // namespace

TEST(UdfBlockSizes, MkudffsVolumesOfEverySizeAndMetadataRevision) {
  const std::vector<Case> cases = {
      {"--media-type=hd -b 512", 512, 2, 0, {"physical"}},
      {"--media-type=hd -b 1024", 1024, 2, 0, {"physical"}},
      {"--media-type=hd -b 4096", 4096, 2, 0, {"physical"}},
      {"--media-type=bdr -b 2048 --udfrev=2.50", 2048, 3, 1, {"physical", "virtual"}},
      {"--media-type=bdr -b 512 --udfrev=2.60", 512, 4, 1, {"physical", "virtual"}},
      {"--media-type=bdr -b 4096 --udfrev=2.60", 4096, 4, 1, {"physical", "virtual"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::vector<std::uint8_t> bytes = Mkudffs(c.options);
    if (bytes.empty()) GTEST_SKIP() << "mkudffs (udftools) not installed";
    auto dev = Drive(bytes);
    EXPECT_GE(dev->JudgeFileSystem(0), 2);
    CAnaly_UDF a;
    unsigned char pvd[2048] = {};
    ASSERT_TRUE(a.Analyse(dev.get(), pvd, 0));
    EXPECT_EQ(pvd[0], 1);
    EXPECT_EQ(a.BlockSize(), c.blockSize);
    EXPECT_EQ(a.m_nUdfRevision, c.revision);
    EXPECT_EQ(a.m_nPartMapKind, c.kind);
    EXPECT_EQ(a.Summary().maps, c.maps);
    EXPECT_EQ(a.Summary().blockSize, c.blockSize);
    ASSERT_FALSE(a.Summary().anchors.empty());
    EXPECT_EQ(a.Summary().anchors.front(), 256u);
    EXPECT_FALSE(a.Summary().metadataMirror);
    // The root is a directory whose listing ends cleanly (mkudffs leaves it empty).
    std::vector<std::pair<UdfDirEntry, fs::NodeInfo>> nodes;
    const udf::DirResult r = ListUdfNodes(a, a.RootSector(), nodes);
    EXPECT_TRUE(r.Ok()) << r.Text();
    UdfFileData root;
    ASSERT_EQ(a.ReadFileExtents(a.RootSector(), root), udf::ExtentStatus::Ok);
    EXPECT_EQ(root.fileType, udf::kFileTypeDirectory);
  }
}

namespace {

using testsupport::UdfNode;

// Files that cross blocks, extents and descriptor blocks, an embedded one
// and nested folders.
UdfNode Tree() {
  std::vector<std::uint8_t> big(3 * 4096 + 777);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  UdfNode split = UdfNode::File("split.bin", big);
  split.extents = 3;
  split.aed = true;
  UdfNode tiny = UdfNode::File("tiny", "in the entry");
  tiny.embedded = true;
  return UdfNode::Dir("", {UdfNode::File("a.txt", "alpha"), split, tiny,
                           UdfNode::Dir("sub", {UdfNode::Dir("deeper", {UdfNode::File("leaf", std::string(5000, 'l'))})})});
}

// A file's bytes read back from the extents the analyser gives, in blocks.
std::string ReadFile(CDevCmdROM& dev, const UdfFileData& f, std::uint32_t blockSize) {
  if (f.embedded) return std::string(f.inlineData.begin(), f.inlineData.end()).substr(0, f.size);
  std::string out(static_cast<std::size_t>(f.size), '\0');
  unsigned char sector[2048];
  for (const UdfExtent& x : f.extents) {
    if (!x.recorded) continue;
    for (std::uint64_t off = 0; off < x.length && x.fileOffset + off < out.size(); ++off) {
      const std::uint64_t byte = std::uint64_t(x.sector) * blockSize + off;
      if (off == 0 || byte % 2048 == 0) EXPECT_EQ(dev.ReadCD_10(sector, 2048, 1, static_cast<std::uint32_t>(byte / 2048)), 0);
      out[x.fileOffset + off] = static_cast<char>(sector[byte % 2048]);
    }
  }
  return out;
}

// Every file below a folder, by path, as the analyser reads it.
void Walk(CAnaly_UDF& a, CDevCmdROM& dev, std::uint32_t folder, const std::string& path,
          std::map<std::string, std::string>& out) {
  std::vector<UdfDirEntry> entries;
  const udf::DirResult r = a.ListDirectory(folder, entries);
  EXPECT_TRUE(r.Ok()) << path << ": " << r.Text();
  for (const UdfDirEntry& e : entries) {
    if (e.isDirectory) {
      out[path + e.name + "/"] = "";
      Walk(a, dev, e.feSector, path + e.name + "/", out);
      continue;
    }
    UdfFileData f;
    EXPECT_EQ(a.ReadFileExtents(e.feSector, f), udf::ExtentStatus::Ok) << path + e.name;
    out[path + e.name] = ReadFile(dev, f, a.BlockSize());
  }
}

struct Layout {
  const char* name;
  std::uint32_t blockSize;
  std::uint16_t revision;
  testsupport::UdfPartitionKind partition;
  testsupport::UdfMetadataDamage damage = testsupport::UdfMetadataDamage::None;
};

class UdfLayouts : public ::testing::TestWithParam<Layout> {};

}  // namespace

TEST_P(UdfLayouts, EveryFileReadsWholeThroughItsLayout) {
  const Layout& l = GetParam();
  testsupport::UdfBuildOptions o;
  o.blockSize = l.blockSize;
  o.revision = l.revision;
  o.partition = l.partition;
  o.metadataDamage = l.damage;
  o.extendedEntries = l.revision >= 0x0200;
  o.vatLinkBlocks = 0;
  const testsupport::UdfImage img = testsupport::BuildUdfImage(Tree(), o);
  auto d = udftest::MakeDrive(img);
  EXPECT_GE(d.device->JudgeFileSystem(0), 2);
  CAnaly_UDF a;
  unsigned char pvd[2048];
  std::memset(pvd, 0xEE, sizeof pvd);
  ASSERT_TRUE(a.Analyse(d.device.get(), pvd, 0));
  EXPECT_EQ(pvd[0], 1);
  if (l.blockSize < 2048) EXPECT_EQ(pvd[2047], 0);  // nothing of the buffer's old bytes stays
  EXPECT_EQ(a.BlockSize(), l.blockSize);
  const bool metadata = l.revision >= 0x0250;
  const int kind = l.partition == testsupport::UdfPartitionKind::Virtual ? 1
                   : l.partition == testsupport::UdfPartitionKind::Sparable ? 2 : 0;
  EXPECT_EQ(a.m_nPartMapKind, metadata ? 3 : kind);
  EXPECT_EQ(a.Summary().revision, l.revision == 0x0260 ? "2.60" : l.revision == 0x0250 ? "2.50" : "2.01");
  EXPECT_EQ(a.Summary().maps, img.partitionMaps);
  EXPECT_EQ(a.Summary().metadataMirror, l.damage != testsupport::UdfMetadataDamage::None);
  std::vector<std::uint32_t> anchors = a.Summary().anchors, want = img.anchors;
  std::sort(anchors.begin(), anchors.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(anchors, want);
  if (!metadata) EXPECT_EQ(a.RootSector(), img.entrySector.at("/"));

  std::map<std::string, std::string> files;
  Walk(a, *d.device, a.RootSector(), "/", files);
  std::vector<std::uint8_t> big(3 * 4096 + 777);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
  const std::map<std::string, std::string> expected{{"/a.txt", "alpha"},
                                                    {"/split.bin", std::string(big.begin(), big.end())},
                                                    {"/tiny", "in the entry"},
                                                    {"/sub/", ""},
                                                    {"/sub/deeper/", ""},
                                                    {"/sub/deeper/leaf", std::string(5000, 'l')}};
  EXPECT_TRUE(files == expected) << files.size();
}

using testsupport::UdfMetadataDamage;
using testsupport::UdfPartitionKind;
INSTANTIATE_TEST_SUITE_P(
    BlockSizesAndMetadata, UdfLayouts,
    ::testing::Values(Layout{"plain512", 512, 0x0201, UdfPartitionKind::Plain},
                      Layout{"plain1024", 1024, 0x0201, UdfPartitionKind::Plain},
                      Layout{"plain4096", 4096, 0x0201, UdfPartitionKind::Plain},
                      Layout{"sparable512", 512, 0x0201, UdfPartitionKind::Sparable},
                      Layout{"vat4096", 4096, 0x0201, UdfPartitionKind::Virtual},
                      Layout{"metadata250", 2048, 0x0250, UdfPartitionKind::Plain},
                      Layout{"metadata260at512", 512, 0x0260, UdfPartitionKind::Plain},
                      Layout{"metadata260at4096", 4096, 0x0260, UdfPartitionKind::Plain},
                      Layout{"metadataOnSparable", 2048, 0x0260, UdfPartitionKind::Sparable},
                      Layout{"bdrVatAndMetadata", 2048, 0x0250, UdfPartitionKind::Virtual},
                      Layout{"mirrorForBrokenEntry", 2048, 0x0260, UdfPartitionKind::Plain,
                             UdfMetadataDamage::MainEntry},
                      Layout{"mirrorForBrokenContent", 1024, 0x0260, UdfPartitionKind::Plain,
                             UdfMetadataDamage::MainContent},
                      Layout{"mirrorForUnreadableMain", 2048, 0x0250, UdfPartitionKind::Virtual,
                             UdfMetadataDamage::MainUnreadable}),
    [](const auto& info) { return std::string(info.param.name); });
