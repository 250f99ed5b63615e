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

HTREEITEM TreeCtrl::InsertItem(const std::string& text, int image, int selectedImage, HTREEITEM parent,
                               HTREEITEM after) {
  Node* p = &root_;
  if (parent != TVI_ROOT && parent != nullptr) {
    p = Find(parent);
    if (!p) return nullptr;
  }
  Node* prev = p->last;  // TVI_LAST
  int index = -1;        // position for the renderer; -1 the end
  if (after == TVI_FIRST) {
    prev = nullptr;
    index = 0;
  } else if (after != TVI_LAST && after != nullptr) {
    prev = Find(after);
    if (!prev || prev->parent != p) return nullptr;
    if (prev != p->last) {
      index = 1;
      for (Node* k = p->first; k != prev; k = k->next) ++index;
    }
  }
  auto node = std::make_unique<Node>();
  node->handle = reinterpret_cast<HTREEITEM>(nextHandle_++);
  node->text = text;
  node->image = image;
  node->selImage = selectedImage;
  node->parent = p;
  Node* raw = node.get();
  items_.emplace(raw->handle, std::move(node));
  raw->prev = prev;
  raw->next = prev ? prev->next : p->first;
  if (raw->prev) raw->prev->next = raw; else p->first = raw;
  if (raw->next) raw->next->prev = raw; else p->last = raw;
  Notify(Change::ItemInserted, index, -1, reinterpret_cast<std::uintptr_t>(raw->handle));
  return raw->handle;
}

void TreeCtrl::Unlink(Node* n) {
  Node* p = n->parent;
  if (n->prev) n->prev->next = n->next; else p->first = n->next;
  if (n->next) n->next->prev = n->prev; else p->last = n->prev;
  n->prev = n->next = nullptr;
}

void TreeCtrl::Collect(Node* n, std::vector<Node*>& out) const {
  // Iterative, so a very deep tree cannot exhaust the stack.
  std::vector<Node*> todo{n};
  while (!todo.empty()) {
    Node* k = todo.back();
    todo.pop_back();
    out.push_back(k);
    for (Node* c = k->first; c; c = c->next) todo.push_back(c);
  }
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
  Unlink(n);
  for (Node* g : gone) items_.erase(g->handle);
  if (lostSelection) {
    selected_ = nullptr;
    NotifyParent(TVN_SELCHANGED);
  }
  return true;
}

bool TreeCtrl::DeleteAllItems() {
  items_.clear();
  root_.first = root_.last = nullptr;
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

HTREEITEM TreeCtrl::GetRootItem() const { return root_.first ? root_.first->handle : nullptr; }

HTREEITEM TreeCtrl::GetChildItem(HTREEITEM item) const {
  if (item == TVI_ROOT || item == nullptr) return GetRootItem();
  const Node* n = Find(item);
  return n && n->first ? n->first->handle : nullptr;
}

HTREEITEM TreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && n->next ? n->next->handle : nullptr;
}

HTREEITEM TreeCtrl::GetPrevSiblingItem(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && n->prev ? n->prev->handle : nullptr;
}

HTREEITEM TreeCtrl::GetParentItem(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && n->parent != &root_ ? n->parent->handle : nullptr;
}

bool TreeCtrl::ItemHasChildren(HTREEITEM item) const {
  const Node* n = Find(item);
  return n && n->first;
}

std::vector<HTREEITEM> TreeCtrl::Children(HTREEITEM parent) const {
  std::vector<HTREEITEM> out;
  const Node* p = (parent == TVI_ROOT || parent == nullptr) ? &root_ : Find(parent);
  if (!p) return out;
  for (const Node* c = p->first; c; c = c->next) out.push_back(c->handle);
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
  for (Node* p = n->parent; p && p != &root_; p = p->parent) {
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
  root_.first = root_.last = nullptr;
  selected_ = nullptr;
}

void TreeCtrl::OnSetFocus() { NotifyParent(NM_SETFOCUS); }

}  // namespace ui
