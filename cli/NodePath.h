#pragma once
// Naming a node of the file browser's tree on the command line: the node
// texts from the root joined by "/" ("Session 1/DATA TRACK 1(ISO)/DOCS"), or,
// starting with "/", a folder below the first track that holds a volume.
#include <string>
#include <vector>

#include "platform/ui/TreeCtrl.h"

namespace cli {

// "a//b/" -> {"a", "b"}: empty parts are dropped.
inline std::vector<std::string> SplitNodePath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    const std::size_t slash = path.find('/', pos);
    const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  return parts;
}

// The first child of parent whose text is text, or null.
inline ui::HTREEITEM ChildNamed(ui::TreeCtrl& tree, ui::HTREEITEM parent, const std::string& text) {
  for (ui::HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c))
    if (tree.GetItemText(c) == text) return c;
  return nullptr;
}

// The first track node, in session order, that holds a volume (its root's
// address as item data), whether or not the root has sub-folders.
inline ui::HTREEITEM FirstVolume(ui::TreeCtrl& tree) {
  for (ui::HTREEITEM s = tree.GetChildItem(ui::TVI_ROOT); s; s = tree.GetNextSiblingItem(s))
    for (ui::HTREEITEM t = tree.GetChildItem(s); t; t = tree.GetNextSiblingItem(t))
      if (tree.GetItemData(t) != 0) return t;
  return nullptr;
}

// The node path names: tree texts from the root, or below the first volume
// when it starts with "/" ("/" that volume's root). Null, with the reason in
// error, when the tree has no such node.
// With below given, the parts past the deepest node the tree has go there
// (a tree of tracks only: the folders are looked up in the volume).
inline ui::HTREEITEM ResolveNodePath(ui::TreeCtrl& tree, const std::string& path, std::string& error,
                                     std::vector<std::string>* below = nullptr) {
  ui::HTREEITEM node = ui::TVI_ROOT;
  if (!path.empty() && path[0] == '/') {
    node = FirstVolume(tree);
    if (!node) {
      error = "no data track with a file system on this source";
      return nullptr;
    }
  }
  const std::vector<std::string> parts = SplitNodePath(path);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    ui::HTREEITEM child = ChildNamed(tree, node, parts[i]);
    if (!child && below && node != ui::TVI_ROOT) {
      below->assign(parts.begin() + static_cast<std::ptrdiff_t>(i), parts.end());
      break;
    }
    node = child;
    if (!node) break;
  }
  if (!node || node == ui::TVI_ROOT) {
    error = "no node \"" + path + "\" in the tree";
    return nullptr;
  }
  return node;
}

}  // namespace cli
