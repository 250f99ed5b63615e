#include "views/BootNodes.h"

#include "views/IsoReader.h"

namespace {
constexpr int kImgFolder = 0, kImgFolderOpen = 1, kImgFile = 2;
constexpr int kFirstFileNumber = 5000;

template <class Map>
std::shared_ptr<const BootImages> Lookup(const Map& map, ui::HTREEITEM node) {
  const auto it = map.find(node);
  return it != map.end() ? it->second : nullptr;
}
}  // namespace

void BootNodes::Clear() {
  m_Tracks.clear();
  m_Nodes.clear();
}

void BootNodes::AddTrack(ui::TreeCtrl& tree, CDevCmdROM* device, ui::HTREEITEM trackNode, std::uint32_t start) {
  if (!device || !trackNode) return;
  std::optional<BootImages> read = ReadBootImages(*device, start);
  if (!read) return;
  auto boot = std::make_shared<const BootImages>(std::move(*read));
  m_Tracks[trackNode] = boot;
  if (!boot->catalog) return;
  ui::HTREEITEM node = tree.InsertItem(kBootFolder, kImgFolder, kImgFolderOpen, trackNode, ui::TVI_LAST);
  if (!node) return;
  tree.SetItemData(node, boot->catalogSector);
  m_Nodes[node] = boot;
}

std::shared_ptr<const BootImages> BootNodes::OfNode(ui::HTREEITEM node) const { return Lookup(m_Nodes, node); }

std::shared_ptr<const BootImages> BootNodes::OfTrack(ui::HTREEITEM track) const { return Lookup(m_Tracks, track); }

void BootNodes::FillList(ui::ListCtrl& list, const BootImages& boot) {
  iso::ResetFolderColumns(list);
  int number = kFirstFileNumber;
  for (const BootImage& image : boot.images) {
    const int row = list.InsertItem(list.GetItemCount(), image.name, kImgFile);
    if (row < 0) continue;
    list.SetItemData(row, static_cast<ui::DWORD_PTR>(number++));
    list.SetItemText(row, 2, "File");
    list.SetItemText(row, 3, std::to_string(image.size));
    list.SetItemText(row, 4, std::to_string(image.lba));
  }
}
