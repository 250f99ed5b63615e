#pragma once
// Tree control model. Items are named by opaque handles that are never reused:
// a handle of a deleted item is simply unknown afterwards, so a stale handle
// can never reach another item or freed memory.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/Controls.h"

namespace ui {

struct TreeItemTag;
using HTREEITEM = TreeItemTag*;

// Pseudo handles of InsertItem.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFF);
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFE);
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(~std::uintptr_t{0} - 0xFFFD);

constexpr unsigned TVE_COLLAPSE = 0x0001;
constexpr unsigned TVE_EXPAND = 0x0002;
constexpr unsigned TVE_TOGGLE = 0x0003;
constexpr unsigned TVIS_SELECTED = 0x0002;
constexpr unsigned TVIS_EXPANDED = 0x0020;

class TreeCtrl : public Control {
 public:
  TreeCtrl() : Control(WindowKind::Tree) {}
  ~TreeCtrl() override;

  // Inserts after `after` (TVI_LAST, TVI_FIRST or a sibling) under `parent`
  // (TVI_ROOT or an item); null when the parent or sibling is unknown. The
  // renderer hears ItemInserted with the position, -1 for the end.
  HTREEITEM InsertItem(const std::string& text, int image, int selectedImage,
                       HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  HTREEITEM InsertItem(const std::string& text, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM after = TVI_LAST) {
    return InsertItem(text, 0, 0, parent, after);
  }
  // Deletes the item and everything below it. Deleting the selected item (or
  // one above it) leaves no selection and tells the parent TVN_SELCHANGED.
  bool DeleteItem(HTREEITEM item);
  // Deletes every item; the selection goes without a notification.
  bool DeleteAllItems();

  bool SetItemData(HTREEITEM item, DWORD_PTR data);
  DWORD_PTR GetItemData(HTREEITEM item) const;    // 0 for an unknown item
  bool SetItemText(HTREEITEM item, const std::string& text);
  std::string GetItemText(HTREEITEM item) const;  // empty for an unknown item
  bool SetItemImage(HTREEITEM item, int image, int selectedImage);
  bool GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
  unsigned GetItemState(HTREEITEM item, unsigned mask) const;

  HTREEITEM GetRootItem() const;                  // the first root item
  HTREEITEM GetChildItem(HTREEITEM item) const;   // TVI_ROOT or null: first root item
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;  // null for a root item
  bool ItemHasChildren(HTREEITEM item) const;
  int GetCount() const { return static_cast<int>(items_.size()); }
  bool IsValid(HTREEITEM item) const;

  // Selects `item` (null clears the selection). A change of selection tells
  // the parent TVN_SELCHANGED, whether the program or the user made it.
  bool SelectItem(HTREEITEM item);
  HTREEITEM GetSelectedItem() const { return selected_; }
  bool Expand(HTREEITEM item, unsigned code);
  bool EnsureVisible(HTREEITEM item);

  void SetImageList(ImageList* images);
  ImageList* GetImageList() const { return images_; }

  // User actions.
  void UserSelect(HTREEITEM item) { SelectItem(item); }
  void UserExpand(HTREEITEM item, bool expand);   // no echo to the peer
  void UserDoubleClick();
  void OnSetFocus() override;
  void ResetModel() override;

  // Depth-first order of every item (for renderers and printing).
  std::vector<HTREEITEM> Children(HTREEITEM parent) const;

 private:
  // Siblings are a doubly linked list, so walking a folder of many
  // thousand entries sibling by sibling stays linear.
  struct Node {
    HTREEITEM handle = nullptr;
    std::string text;
    int image = 0, selImage = 0;
    DWORD_PTR data = 0;
    bool expanded = false;
    Node* parent = nullptr;  // root_ for a top-level item
    Node* first = nullptr;
    Node* last = nullptr;
    Node* prev = nullptr;
    Node* next = nullptr;
  };
  Node* Find(HTREEITEM h) const;
  void Unlink(Node* n);
  void Collect(Node* n, std::vector<Node*>& out) const;

  std::unordered_map<HTREEITEM, std::unique_ptr<Node>> items_;
  Node root_;
  HTREEITEM selected_ = nullptr;
  std::uintptr_t nextHandle_ = 1;
  ImageList* images_ = nullptr;
};

}  // namespace ui
