// `find` over a UDF volume.
#include "cli/FindUdf.h"

#include <algorithm>

#include "fs/iso9660/Walk.h"
#include "udf/Analy_UDF.h"
#include "udf/UdfNodes.h"
#include "views/CDlgMain.h"

namespace cli {
namespace {

struct UdfWalk {
  CAnaly_UDF& udf;
  const FindVisitor& visit;
  std::vector<std::string>& damage;
  // The same limits as every other walk of a volume.
  fs::iso9660::WalkGuard guard{fs::iso9660::LoopRule::Ancestors};

  void Folder(std::uint32_t fe, const std::string& path, int depth) {
    const std::string here = path.empty() ? "/" : path;
    std::vector<UdfDirEntry> entries;
    const udf::DirResult listed = udf.ListDirectory(fe, entries);
    if (!listed.Ok()) damage.push_back(here + ": " + listed.Text());
    std::vector<std::pair<UdfDirEntry, fs::NodeInfo>> nodes;
    std::vector<bool> readable;
    for (UdfDirEntry& e : entries) {
      fs::NodeInfo info;
      readable.push_back(ReadUdfNodeInfo(udf, e, info));
      nodes.emplace_back(std::move(e), std::move(info));
    }
    std::vector<std::size_t> order(nodes.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return nodes[a].second.name < nodes[b].second.name; });
    for (const std::size_t i : order) {
      const UdfDirEntry& entry = nodes[i].first;
      const fs::NodeInfo& info = nodes[i].second;
      if (!guard.Count()) {
        damage.push_back(here + ": " + fs::iso9660::FaultText(fs::iso9660::Fault::TooManyEntries));
        return;
      }
      const std::string child = path + "/" + info.name;
      if (!readable[i]) damage.push_back(child + ": file entry unreadable");
      visit(child, info);
      if (info.type != fs::NodeType::Folder) continue;
      if (const auto refused = guard.Enter(entry.feSector, depth + 1)) {
        damage.push_back(child + ": " + fs::iso9660::FaultText(*refused));
        continue;
      }
      Folder(entry.feSector, child, depth + 1);
      guard.Leave(entry.feSector);
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
