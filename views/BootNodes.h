#pragma once
// The browser's "[BOOT]" folders: under each data track whose volume has an
// El Torito boot catalog, a node whose item data is the catalog's sector.
// The browser knows these nodes as the catalog's, never as a directory's:
// selecting one lists its boot images, saving one writes them.
#include <cstdint>
#include <map>
#include <memory>

#include "copy/BootImages.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"

class CDevCmdROM;

class BootNodes {
 public:
  void Clear();
  // Reads the boot record of the volume at start; where it names a catalog
  // that reads, "[BOOT]" (folder images) becomes trackNode's next child.
  void AddTrack(ui::TreeCtrl& tree, CDevCmdROM* device, ui::HTREEITEM trackNode, std::uint32_t start);
  // The images of the "[BOOT]" node `node`; null when node is none.
  std::shared_ptr<const BootImages> OfNode(ui::HTREEITEM node) const;
  // The images of the track node `track`; null when its volume has no boot record.
  std::shared_ptr<const BootImages> OfTrack(ui::HTREEITEM track) const;
  // One row per image in the folder-listing layout: Type "File", Size, Pos
  // its first sector.
  static void FillList(ui::ListCtrl& list, const BootImages& boot);

 private:
  std::map<ui::HTREEITEM, std::shared_ptr<const BootImages>> m_Tracks;
  std::map<ui::HTREEITEM, std::shared_ptr<const BootImages>> m_Nodes;
};
