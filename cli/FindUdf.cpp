// `find` over a UDF volume.
#include "cli/FindUdf.h"

#include <algorithm>

#include "fs/iso9660/Walk.h"
#include "udf/Analy_UDF.h"
#include "views/CDlgMain.h"

namespace cli {
namespace {

// ECMA-167 file types of an ICB tag.
fs::NodeType UdfNodeType(std::uint8_t fileType, bool directory) {
  if (directory) return fs::NodeType::Folder;
  switch (fileType) {
    case 6: return fs::NodeType::BlockDevice;
    case 7: return fs::NodeType::CharDevice;
    case 9: return fs::NodeType::Fifo;
    case 10: return fs::NodeType::Socket;
    case 12: return fs::NodeType::Link;
    default: return fs::NodeType::File;
  }
}

struct UdfWalk {
  CAnaly_UDF& udf;
  const FindVisitor& visit;
  std::vector<std::string>& damage;
  // The same limits as every other walk of a volume.
  fs::iso9660::WalkGuard guard{fs::iso9660::LoopRule::Ancestors};

  void Folder(std::uint32_t fe, const std::string& path, int depth) {
    std::vector<UdfDirEntry> entries;
    if (udf.ReadDirectory(fe, entries) != 0) damage.push_back((path.empty() ? "/" : path) + ": directory unreadable");
    std::stable_sort(entries.begin(), entries.end(),
                     [](const UdfDirEntry& a, const UdfDirEntry& b) { return a.name < b.name; });
    for (const UdfDirEntry& e : entries) {
      if (!guard.Count()) {
        damage.push_back((path.empty() ? "/" : path) + ": " + fs::iso9660::FaultText(fs::iso9660::Fault::TooManyEntries));
        return;
      }
      const std::string child = path + "/" + e.name;
      fs::NodeInfo info;
      info.name = e.name;
      UdfFileData data;
      const bool known = udf.GetFileExtents(e.feSector, data) == 0;
      info.type = UdfNodeType(data.fileType, e.isDirectory);
      if (info.type == fs::NodeType::File) {
        info.size = data.size;
        for (const UdfExtent& x : data.extents)
          if (x.recorded && x.length > 0 && !info.lba) info.lba = x.sector;
        if (!known) damage.push_back(child + ": file entry unreadable");
      }
      visit(child, info);
      if (info.type != fs::NodeType::Folder) continue;
      if (const auto refused = guard.Enter(e.feSector, depth + 1)) {
        damage.push_back(child + ": " + fs::iso9660::FaultText(*refused));
        continue;
      }
      Folder(e.feSector, child, depth + 1);
      guard.Leave(e.feSector);
    }
  }
};

}  // namespace

void FindUdf(CDlgMain& view, CDevCmdROM* dev, ui::HTREEITEM node, const FindVisitor& visit,
             std::vector<std::string>& damage) {
  std::uint32_t start = 0;
  view.GetTrackStart(node, start);
  CAnaly_UDF udf;
  if (!udf.Analyse(dev, nullptr, start)) {
    damage.push_back("/: the UDF volume cannot be read");
    return;
  }
  UdfWalk walk{udf, visit, damage};
  const auto fe = static_cast<std::uint32_t>(view.Tree().GetItemData(node));
  walk.guard.Enter(fe, 0);
  walk.Folder(fe, "", 0);
}

}  // namespace cli
