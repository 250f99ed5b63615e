// Damage named, not hidden: a folder whose listing meets a broken file
// identifier keeps what came before it and says why it stopped; an entry
// whose descriptors are broken names the cause. And what each entry is:
// links with their targets, devices, permission bits and times.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "disc/ByteOrder.h"
#include "platform/ui/ListCtrl.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"
#include "udf/UdfNodes.h"

using namespace testsupport;

namespace {

UdfNode Folder() {
  return UdfNode::Dir("", {UdfNode::File("first.txt", "1"), UdfNode::File("second.txt", "22"),
                           UdfNode::File("third.txt", "333")});
}

// Offset of the n-th identifier (0: the parent entry) in the root's data.
std::size_t FidOffset(const UdfImage& img, int n) {
  const std::uint8_t* dir = img.Sector(img.dataSector.at("/"));
  std::size_t off = 0;
  for (int i = 0; i < n; ++i) off += (38 + GetLE16(dir + off + 36) + dir[off + 19] + 3) & ~std::size_t(3);
  return off;
}

std::vector<std::string> Names(const std::vector<UdfDirEntry>& entries) {
  std::vector<std::string> names;
  for (const UdfDirEntry& e : entries) names.push_back(e.name);
  return names;
}

}  // namespace

TEST(UdfDamage, AListingStopsAtABrokenIdentifierAndSaysSo) {
  const UdfImage base = BuildUdfImage(Folder());
  struct Break {
    const char* what;
    std::size_t at;  // byte of the third identifier
    std::uint8_t value;
    udf::FidStatus status;
  };
  for (const Break& b : {Break{"tag", 0, 0x77, udf::FidStatus::NotAnIdentifier},
                         Break{"name length", 19, 0xFF, udf::FidStatus::NamePastEnd}}) {
    SCOPED_TRACE(b.what);
    UdfImage img = base;
    img.Sector(img.dataSector.at("/"))[FidOffset(img, 3) + b.at] = b.value;
    auto d = udftest::MakeDrive(img);
    CAnaly_UDF a;
    ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    std::vector<UdfDirEntry> entries;
    const udf::DirResult r = a.ListDirectory(img.entrySector.at("/"), entries);
    EXPECT_EQ(r.status, udf::DirStatus::IdentifierDamaged);
    EXPECT_EQ(r.fid, b.status);
    EXPECT_NE(r.Text().find("damage"), std::string::npos);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"first.txt", "second.txt"}));
    EXPECT_EQ(a.ReadDirectory(img.entrySector.at("/"), entries), 1);
    EXPECT_EQ(entries.size(), 2u);
  }
  // Zeros after the last identifier are the listing's end, not damage.
  auto d = udftest::MakeDrive(base);
  CAnaly_UDF clean;
  ASSERT_TRUE(clean.Analyse(d.device.get(), nullptr, 0));
  std::vector<UdfDirEntry> all;
  EXPECT_TRUE(clean.ListDirectory(base.entrySector.at("/"), all).Ok());
  EXPECT_EQ(all.size(), 3u);
}

TEST(UdfDamage, BrokenDescriptorsAreNamed) {
  UdfNode root = Folder();
  root.children[0] = UdfNode::File("big.bin", std::vector<std::uint8_t>(9000, 1));
  root.children[0].aed = true;
  root.children[0].extents = 3;
  const UdfImage base = BuildUdfImage(root);
  const std::uint32_t fe = base.entrySector.at("/big.bin");
  auto status = [&](const UdfImage& img) {
    auto d = udftest::MakeDrive(img);
    CAnaly_UDF a;
    EXPECT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
    UdfFileData f;
    return a.ReadFileExtents(fe, f);
  };
  EXPECT_EQ(status(base), udf::ExtentStatus::Ok);
  UdfImage img = base;
  PutLE32(img.Sector(fe) + 172, 0xFFFFFF00);
  EXPECT_EQ(status(img), udf::ExtentStatus::LengthsPastEntry);
  img = base;
  img.Sector(fe)[34] = (img.Sector(fe)[34] & ~7) | 5;
  EXPECT_EQ(status(img), udf::ExtentStatus::UnknownDescriptorType);
  img = base;
  img.Sector(base.aedSector.at("/big.bin"))[0] = 0x33;
  EXPECT_EQ(status(img), udf::ExtentStatus::ChainNotAnExtent);
  img = base;
  img.unreadable.insert(base.aedSector.at("/big.bin"));
  EXPECT_EQ(status(img), udf::ExtentStatus::ChainUnreadable);
  img = base;
  img.unreadable.insert(fe);
  EXPECT_EQ(status(img), udf::ExtentStatus::EntryUnreadable);
}

TEST(UdfNodes, KindsPermissionsTimesAndLinkTargets) {
  // Path components of "../lib/x": parent, then two named ones.
  std::vector<std::uint8_t> target{3, 0, 0, 0, 5, 4, 0, 0, 8, 'l', 'i', 'b', 5, 2, 0, 0, 8, 'x'};
  UdfNode link = UdfNode::File("link", target);
  link.embedded = true;
  UdfNode dev = UdfNode::File("dev", "");
  UdfNode fifo = UdfNode::File("fifo", "");
  UdfImage img = BuildUdfImage(UdfNode::Dir("", {link, dev, fifo, UdfNode::File("plain", "abc"), UdfNode::Dir("d")}));
  auto retype = [&](const char* path, std::uint8_t type) {
    const std::uint32_t s = img.entrySector.at(path);
    img.Sector(s)[27] = type;
    img.Retag(s);
  };
  retype("/link", udf::kFileTypeSymlink);
  retype("/dev", udf::kFileTypeCharDevice);
  retype("/fifo", udf::kFileTypeFifo);
  const std::uint32_t plain = img.entrySector.at("/plain");
  PutLE32(img.Sector(plain) + 44, (0x07 << 10) | (0x05 << 5) | 0x04);  // rwx r-x r--
  img.Retag(plain);

  auto d = udftest::MakeDrive(img);
  CAnaly_UDF a;
  ASSERT_TRUE(a.Analyse(d.device.get(), nullptr, 0));
  std::vector<std::pair<UdfDirEntry, fs::NodeInfo>> nodes;
  std::size_t unreadable = 0;
  ASSERT_TRUE(ListUdfNodes(a, a.RootSector(), nodes, &unreadable).Ok());
  EXPECT_EQ(unreadable, 0u);
  std::map<std::string, fs::NodeInfo> by;
  for (auto& [e, info] : nodes) by[e.name] = info;
  EXPECT_EQ(by["link"].type, fs::NodeType::Link);
  EXPECT_EQ(by["link"].linkTarget, "../lib/x");
  EXPECT_EQ(by["dev"].type, fs::NodeType::CharDevice);
  EXPECT_EQ(by["fifo"].type, fs::NodeType::Fifo);
  EXPECT_EQ(by["d"].type, fs::NodeType::Folder);
  EXPECT_EQ(by["plain"].type, fs::NodeType::File);
  EXPECT_EQ(by["plain"].size, 3u);
  EXPECT_EQ(by["plain"].mode, 0754u);
  EXPECT_EQ(by["plain"].lba, img.dataSector.at("/plain"));
  // The builder records 2024-05-17 13:45:30 (zone as it writes it).
  ASSERT_TRUE(by["plain"].mtime);
  EXPECT_NEAR(static_cast<double>(*by["plain"].mtime), 1715953530.0, 14 * 3600.0);

  // The browser's Type column and the link's target in its Size column.
  ui::ListCtrl list;
  a.FillFileList(&list, a.RootSector());
  std::map<std::string, std::pair<std::string, std::string>> rows;
  for (int i = 0; i < list.GetItemCount(); ++i) rows[list.GetItemText(i, 0)] = {list.GetItemText(i, 2), list.GetItemText(i, 3)};
  EXPECT_EQ(rows["link"], std::make_pair(std::string("Link"), std::string("-> ../lib/x")));
  EXPECT_EQ(rows["dev"], std::make_pair(std::string("Device"), std::string()));
  EXPECT_EQ(rows["fifo"].first, "FIFO");
  EXPECT_EQ(rows["plain"], std::make_pair(std::string("File"), std::string("3")));
}
