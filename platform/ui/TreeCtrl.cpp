#include "platform/ui/TreeCtrl.h"

#include <algorithm>

namespace ui {

TreeCtrl::~TreeCtrl() = default;

TreeCtrl::Node* TreeCtrl::Find(HTREEITEM h) const {
  if (!h) return nullptr;
  auto it = items_.find(h);
  return it == items_.end() ? nullptr : it->second.get();
}

bool TreeCtrl::IsValid(HTREEITEM item) const { return Find(item) != nullptr; }

std::vector<TreeCtrl::Node*>& TreeCtrl::SiblingsOf(Node* parent) {
  return parent ? parent->children : roots_;
}

const std::vector<TreeCtrl::Node*>& TreeCtrl::SiblingsOf(Node* parent) const {
  return parent ? parent->children : roots_;
}

HTREEITEM TreeCtrl::InsertItem(const std::string& text, int image, int selectedImage, HTREEITEM parent,
                               HTREEITEM after) {
  Node* p = nullptr;
  if (parent != TVI_ROOT && parent != nullptr) {
    p = Find(parent);
    if (!p) return nullptr;
  }
  auto& sib = SiblingsOf(p);
  std::size_t pos = sib.size();
  if (after == TVI_FIRST) {
    pos = 0;
  } else if (after != TVI_LAST && after != nullptr) {
    Node* a = Find(after);
    if (!a || a->parent != p) return nullptr;
    pos = static_cast<std::size_t>(std::find(sib.begin(), sib.end(), a) - sib.begin()) + 1;
  }
  auto node = std::make_unique<Node>();
  node->handle = reinterpret_cast<HTREEITEM>(nextHandle_++);
  node->text = text;
  node->image = image;
  node->selImage = selectedImage;
  node->parent = p;
  Node* raw = node.get();
  items_.emplace(raw->handle, std::move(node));
  sib.insert(sib.begin() + static_cast<std::ptrdiff_t>(pos), raw);
  Notify(Change::ItemInserted, static_cast<int>(pos), -1, reinterpret_cast<std::uintptr_t>(raw->handle));
  return raw->handle;
}

void TreeCtrl::Collect(Node* n, std::vector<Node*>& out) const {
  out.push_back(n);
  for (Node* c : n->children) Collect(c, out);
}

bool TreeCtrl::DeleteItem(HTREEITEM item) {
  if (item == TVI_ROOT) return DeleteAllItems();
  Node* n = Find(item);
  if (!n) return false;
  Notify(Change::ItemRemoved, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  std::vector<Node*> gone;
  Collect(n, gone);
  bool lostSelection = false;
  for (Node* g : gone)
    if (g->handle == selected_) lostSelection = true;
  auto& sib = SiblingsOf(n->parent);
  sib.erase(std::remove(sib.begin(), sib.end(), n), sib.end());
  for (Node* g : gone) items_.erase(g->handle);
  if (lostSelection) {
    selected_ = nullptr;
    NotifyParent(TVN_SELCHANGED);
  }
  return true;
}

bool TreeCtrl::DeleteAllItems() {
  items_.clear();
  roots_.clear();
  selected_ = nullptr;
  Notify(Change::ItemsReset);
  return true;
}

bool TreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
  Node* n = Find(item);
  if (!n) return false;
  n->data = data;
  return true;
}

DWORD_PTR TreeCtrl::GetItemData(HTREEITEM item) const {
  const Node* n = Find(item);
  return n ? n->data : 0;
}

bool TreeCtrl::SetItemText(HTREEITEM item, const std::string& text) {
  Node* n = Find(item);
  if (!n) return false;
  n->text = text;
  Notify(Change::ItemChanged, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  return true;
}

std::string TreeCtrl::GetItemText(HTREEITEM item) const {
  const Node* n = Find(item);
  return n ? n->text : std::string();
}

bool TreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
  Node* n = Find(item);
  if (!n) return false;
  n->image = image;
  n->selImage = selectedImage;
  Notify(Change::ItemChanged, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  return true;
}

bool TreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
  const Node* n = Find(item);
  if (!n) return false;
  image = n->image;
  selectedImage = n->selImage;
  return true;
}

unsigned TreeCtrl::GetItemState(HTREEITEM item, unsigned mask) const {
  const Node* n = Find(item);
  if (!n) return 0;
  unsigned s = 0;
  if (n->expanded) s |= TVIS_EXPANDED;
  if (item == selected_) s |= TVIS_SELECTED;
  return s & mask;
}

HTREEITEM TreeCtrl::GetRootItem() const { return roots_.empty() ? nullptr : roots_.front()->handle; }

HTREEITEM TreeCtrl::GetChildItem(HTREEITEM item) const {
  if (item == TVI_ROOT || item == nullptr) return GetRootItem();
  const Node* n = Find(item);
  return n && !n->children.empty() ? n->children.front()->handle : nullptr;
}

HTREEITEM TreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  Node* n = Find(item);
  if (!n) return nullptr;
  const auto& sib = SiblingsOf(n->parent);
  auto it = std::find(sib.begin(), sib.end(), n);
  if (it == sib.end() || ++it == sib.end()) return nullptr;
  return (*it)->handle;
}

HTREEITEM TreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
  Node* n = Find(item);
  if (!n) return nullptr;
  const auto& sib = SiblingsOf(n->parent);
  auto it = std::find(sib.begin(), sib.end(), n);
  if (it == sib.begin() || it == sib.end()) return nullptr;
  return (*--it)->handle;
}

HTREEITEM TreeCtrl::GetParentItem(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && n->parent ? n->parent->handle : nullptr;
}

bool TreeCtrl::ItemHasChildren(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && !n->children.empty();
}

std::vector<HTREEITEM> TreeCtrl::Children(HTREEITEM parent) const {
  std::vector<HTREEITEM> out;
  const Node* p = (parent == TVI_ROOT || parent == nullptr) ? nullptr : Find(parent);
  if (parent && parent != TVI_ROOT && !p) return out;
  for (const Node* c : SiblingsOf(const_cast<Node*>(p))) out.push_back(c->handle);
  return out;
}

bool TreeCtrl::SelectItem(HTREEITEM item) {
  if (item && !Find(item)) return false;
  if (item == selected_) return true;
  selected_ = item;
  Notify(Change::Selection, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  NotifyParent(TVN_SELCHANGED);
  return true;
}

bool TreeCtrl::Expand(HTREEITEM item, unsigned code) {
  Node* n = Find(item);
  if (!n) return false;
  const bool was = n->expanded;
  if (code == TVE_EXPAND)
    n->expanded = true;
  else if (code == TVE_COLLAPSE)
    n->expanded = false;
  else if (code == TVE_TOGGLE)
    n->expanded = !n->expanded;
  else
    return false;
  if (was != n->expanded) Notify(Change::Expanded, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  return true;
}

bool TreeCtrl::EnsureVisible(HTREEITEM item) {
  Node* n = Find(item);
  if (!n) return false;
  for (Node* p = n->parent; p; p = p->parent) {
    if (!p->expanded) {
      p->expanded = true;
      Notify(Change::Expanded, -1, -1, reinterpret_cast<std::uintptr_t>(p->handle));
    }
  }
  Notify(Change::Scroll, -1, -1, reinterpret_cast<std::uintptr_t>(item));
  return true;
}

void TreeCtrl::SetImageList(ImageList* images) {
  images_ = images;
  Notify(Change::Image);
}

void TreeCtrl::UserExpand(HTREEITEM item, bool expand) {
  if (Node* n = Find(item)) n->expanded = expand;
}

void TreeCtrl::UserDoubleClick() { NotifyParent(NM_DBLCLK); }

void TreeCtrl::ResetModel() {
  items_.clear();
  roots_.clear();
  selected_ = nullptr;
}

void TreeCtrl::OnSetFocus() { NotifyParent(NM_SETFOCUS); }

}  // namespace ui
