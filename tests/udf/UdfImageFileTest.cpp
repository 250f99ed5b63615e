// The analyser over the device library's own path: image files opened as the
// image item (the virtual drive over what the image reader made of them), and
// an open packet-written track in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/MemoryImage.h"
#include "tests/support/UdfBuilder.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct ImagePath {
  fs::path path;
  ImagePath() {
    std::random_device rd;
    path = fs::temp_directory_path() / ("tessal-udf-" + std::to_string(rd()) + ".iso");
  }
  ~ImagePath() {
    std::error_code ec;
    fs::remove(path, ec);
  }
};

}  // namespace

TEST(UdfImageFile, BuiltVolumesReadFromIsoFiles) {
  for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual, UdfPartitionKind::Sparable}) {
    UdfBuildOptions o;
    o.partition = kind;
    o.vatLinkBlocks = 0;  // a closed image ends with its VAT
    o.extendedEntries = kind != UdfPartitionKind::Plain;
    UdfImage img = BuildUdfImage(udftest::SampleTree(), o);
    ImagePath file;
    ASSERT_TRUE(img.WriteTo(file.path.string()));
    CDevCmdROM dev(0, nullptr);
    ASSERT_TRUE(dev.SetImageFile(file.path.string())) << dev.GetLastError();
    EXPECT_EQ(dev.JudgeFileSystem(0), 2);
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(&dev, nullptr, 0)) << static_cast<int>(kind);
    EXPECT_EQ(a.m_nPartMapKind, static_cast<int>(kind == UdfPartitionKind::Plain ? 0 : kind == UdfPartitionKind::Virtual ? 1 : 2));
    std::vector<UdfDirEntry> e;
    ASSERT_EQ(a.ReadDirectory(a.m_nPartStart + a.m_nRootIcb, e), 0);
    ASSERT_EQ(e.size(), 2u);
    UdfFileData f;
    ASSERT_EQ(a.GetFileExtents(img.entrySector.at("/docs/a.bin"), f), 0);
    EXPECT_EQ(udftest::ReadThroughExtents(dev, f), std::vector<std::uint8_t>(5000, 0x5A));
  }
}

TEST(UdfImageFile, OpenTrackWithLinkBlocksInTheVirtualDrive) {
  UdfBuildOptions o;
  o.partition = UdfPartitionKind::Virtual;
  o.revision = 0x0150;
  UdfImage img = BuildUdfImage(udftest::SampleTree(), o);
  ASSERT_TRUE(img.nextWritable);
  auto file = std::make_shared<MemoryImageFile>(img.bytes);
  orvane::TrackLayout t = MemoryTrack(1, orvane::TrackMode::Mode1, 0, img.SectorCount(), file,
                                      orvane::StoredFormat::UserData2048, 2048);
  t.nextWritable = *img.nextWritable;
  orvane::DiscLayout disc = MemoryDisc({t}, 0x09);
  disc.discStatus = 1;
  for (std::uint32_t s : img.unreadable) disc.badSectors.push_back({static_cast<std::int32_t>(s), 1});
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(disc, "open-track"));
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(&dev, nullptr, 0));
  EXPECT_EQ(a.m_nPartMapKind, 1);
  EXPECT_EQ(a.VatSector(), img.vatSector);
  EXPECT_EQ(a.m_nPartStart + a.m_nRootIcb, img.entrySector.at("/"));
}

TEST(UdfImageFile, GenisoimageBridgeIsUdfAndIso) {
  if (std::system("command -v genisoimage >/dev/null 2>&1") != 0) GTEST_SKIP() << "genisoimage not installed";
  ImagePath iso;
  fs::path dir = iso.path;
  dir += ".d";
  fs::create_directories(dir / "sub");
  { std::ofstream(dir / "sub" / "f.txt") << "bridge"; }
  std::string mk = "genisoimage -quiet -udf -o '" + iso.path.string() + "' '" + dir.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(mk.c_str()), 0);
  fs::remove_all(dir);
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(iso.path.string()));
  EXPECT_EQ(dev.JudgeFileSystem(0), 3);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(&dev, nullptr, 0));
  std::vector<UdfDirEntry> e;
  ASSERT_EQ(a.ReadDirectory(a.m_nPartStart + a.m_nRootIcb, e), 0);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].name, "sub");
  EXPECT_TRUE(e[0].isDirectory);
}
