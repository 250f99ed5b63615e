// Damaged volumes: bytes of the descriptors, entries and directories are
// overwritten at random (with a fixed seed) and the whole volume is analysed,
// its tree built and every folder listed. Nothing may crash or hang, and the
// reads stay bounded.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "tests/udf/UdfTestUtil.h"
#include "udf/Analy_UDF.h"

using namespace testsupport;

namespace {

UdfNode MutationTree() {
  UdfNode root = udftest::SampleTree();
  UdfNode many = UdfNode::Dir("many");
  for (int i = 0; i < 40; ++i) many.children.push_back(UdfNode::File("file number " + std::to_string(i), "x"));
  many.extents = 2;
  many.aed = true;
  root.children.push_back(many);
  UdfNode wide = UdfNode::File("wide", "y");
  wide.wideName = true;
  wide.fidImplUse = 8;
  root.children.push_back(wide);
  return root;
}

// Every sector that holds a structure worth damaging.
std::vector<std::uint32_t> Targets(const UdfImage& img) {
  std::vector<std::uint32_t> t{img.volumeStart + 256, img.mainVds, img.pdSector, img.lvdSector, img.fsdSector};
  if (img.lvidSector) t.push_back(img.lvidSector);
  if (img.vatSector) t.push_back(img.vatSector);
  for (auto& [p, s] : img.entrySector) t.push_back(s);
  for (auto& [p, s] : img.dataSector) t.push_back(s);
  for (auto& [p, s] : img.aedSector) t.push_back(s);
  for (std::uint32_t s : img.vatExtentSectors) t.push_back(s);
  return t;
}

void Exercise(const UdfImage& img) {
  auto d = udftest::MakeDrive(img);
  CAnaly_UDF a;
  unsigned char pvd[2048];
  if (!a.Analyse(d.device.get(), pvd, img.volumeStart)) return;
  ui::TreeCtrl tree;
  ui::HTREEITEM top = tree.InsertItem("DATA TRACK 1(UDF)", 4, 4);
  a.FillFolderTree(&tree, top);
  ASSERT_LE(tree.GetCount(), 200);
  ui::ListCtrl list;
  std::function<void(ui::HTREEITEM)> listAll = [&](ui::HTREEITEM item) {
    a.FillFileList(&list, static_cast<std::uint32_t>(tree.GetItemData(item)));
    for (int r = 0; r < list.GetItemCount(); ++r) {
      UdfFileData f;
      std::uint32_t pos = 0, len = 0;
      std::uint32_t s = static_cast<std::uint32_t>(std::stoul(list.GetItemText(r, 4)));
      a.GetFileExtents(s, f);
      a.GetFileExtent(s, pos, len);
    }
    for (ui::HTREEITEM c = tree.GetChildItem(item); c; c = tree.GetNextSiblingItem(c)) listAll(c);
  };
  listAll(top);
  EXPECT_LT(d.drive->sectorReads, 200000u);
}

}  // namespace

TEST(UdfMutation, DamagedVolumesNeverCrashOrHang) {
  std::mt19937 rng(20261207);
  for (auto kind : {UdfPartitionKind::Plain, UdfPartitionKind::Virtual, UdfPartitionKind::Sparable}) {
    for (bool efe : {false, true}) {
      UdfBuildOptions o;
      o.partition = kind;
      o.extendedEntries = efe;
      o.ad = efe ? UdfAdKind::Long : UdfAdKind::Short;
      o.revision = efe ? 0x0201 : 0x0150;
      const UdfImage base = BuildUdfImage(MutationTree(), o);
      const std::vector<std::uint32_t> targets = Targets(base);
      for (int round = 0; round < 60; ++round) {
        UdfImage img = base;
        int edits = 1 + static_cast<int>(rng() % 6);
        for (int e = 0; e < edits; ++e) {
          std::uint32_t s = targets[rng() % targets.size()];
          std::uint8_t* p = img.Sector(s);
          // Mostly the fields that hold lengths and positions (the first 256
          // bytes), sometimes anywhere; values that are extreme or small.
          std::size_t at = rng() % 4 ? rng() % 256 : rng() % 2048;
          static const std::uint8_t kValues[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0x03, 0x08, 0x10};
          int width = 1 + static_cast<int>(rng() % 4);
          for (int i = 0; i < width && at + i < 2048; ++i) p[at + i] = kValues[rng() % 8];
        }
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + " efe " + std::to_string(efe) + " round " +
                     std::to_string(round));
        Exercise(img);
      }
    }
  }
}
