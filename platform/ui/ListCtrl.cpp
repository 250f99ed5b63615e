#include "platform/ui/ListCtrl.h"

#include <algorithm>

#include "res/Resources.h"

namespace ui {

const std::string& ListRow::Text(int col) const {
  static const std::string empty;
  if (col < 0 || col >= static_cast<int>(texts.size())) return empty;
  return texts[static_cast<std::size_t>(col)];
}

int ListCtrl::CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool ListCtrl::SortsOnInsert() const { return (GetStyle() & res::Style::SortAscending) != 0; }

int ListCtrl::InsertColumn(int col, const std::string& heading, int format, int width) {
  if (col < 0) return -1;
  const int before = GetColumnCount();
  const int at = std::min(col, before);
  columns_.insert(columns_.begin() + at, ListColumn{heading, width < 0 ? 0 : width, format});
  // Every row holds one text per column; a column added behind others moves
  // the texts after it. The row's own text stays in column 0.
  if (before > 0 && at > 0)
    for (ListRow& r : rows_)
      if (static_cast<int>(r.texts.size()) > at) r.texts.insert(r.texts.begin() + at, std::string());
  Notify(Change::Columns);
  return at;
}

bool ListCtrl::DeleteColumn(int col) {
  if (col < 0 || col >= GetColumnCount()) return false;
  columns_.erase(columns_.begin() + col);
  for (ListRow& r : rows_) {
    if (col < static_cast<int>(r.texts.size())) r.texts.erase(r.texts.begin() + col);
    if (r.texts.empty()) r.texts.emplace_back();
  }
  Notify(Change::Columns);
  return true;
}

const ListColumn* ListCtrl::GetColumn(int col) const {
  if (col < 0 || col >= GetColumnCount()) return nullptr;
  return &columns_[static_cast<std::size_t>(col)];
}

bool ListCtrl::SetColumnWidth(int col, int width) {
  if (col < 0 || col >= GetColumnCount()) return false;
  columns_[static_cast<std::size_t>(col)].width = std::max(0, width);
  Notify(Change::Columns);
  return true;
}

int ListCtrl::GetColumnWidth(int col) const {
  const ListColumn* c = GetColumn(col);
  return c ? c->width : 0;
}

int ListCtrl::InsertItem(int row, const std::string& text, int image) {
  if (row < 0) return -1;
  int at = std::min(row, GetItemCount());
  if (SortsOnInsert()) {
    // After the last row that is not greater, so equal texts keep their
    // insertion order.
    auto it = std::upper_bound(rows_.begin(), rows_.end(), text, [](const std::string& t, const ListRow& r) {
      return CompareNoCase(t, r.Text(0)) < 0;
    });
    at = static_cast<int>(it - rows_.begin());
  }
  ListRow r;
  r.texts.assign(static_cast<std::size_t>(std::max(1, GetColumnCount())), std::string());
  r.texts[0] = text;
  r.image = image;
  rows_.insert(rows_.begin() + at, std::move(r));
  Notify(Change::ItemInserted, at);
  return at;
}

bool ListCtrl::DeleteItem(int row) {
  if (!ValidRow(row)) return false;
  rows_.erase(rows_.begin() + row);
  Notify(Change::ItemRemoved, row);
  return true;
}

bool ListCtrl::DeleteAllItems() {
  rows_.clear();
  Notify(Change::ItemsReset);
  return true;
}

bool ListCtrl::SetItemText(int row, int col, const std::string& text) {
  if (!ValidRow(row) || col < 0 || col >= std::max(1, GetColumnCount())) return false;
  ListRow& r = rows_[static_cast<std::size_t>(row)];
  if (static_cast<int>(r.texts.size()) <= col) r.texts.resize(static_cast<std::size_t>(col) + 1);
  r.texts[static_cast<std::size_t>(col)] = text;
  Notify(Change::ItemChanged, row, col);
  return true;
}

std::string ListCtrl::GetItemText(int row, int col) const {
  if (!ValidRow(row)) return {};
  return rows_[static_cast<std::size_t>(row)].Text(col);
}

bool ListCtrl::SetItemData(int row, DWORD_PTR data) {
  if (!ValidRow(row)) return false;
  rows_[static_cast<std::size_t>(row)].data = data;
  return true;
}

DWORD_PTR ListCtrl::GetItemData(int row) const {
  return ValidRow(row) ? rows_[static_cast<std::size_t>(row)].data : 0;
}

bool ListCtrl::SetItemImage(int row, int image) {
  if (!ValidRow(row)) return false;
  rows_[static_cast<std::size_t>(row)].image = image;
  Notify(Change::ItemChanged, row, 0);
  return true;
}

int ListCtrl::GetItemImage(int row) const { return ValidRow(row) ? rows_[static_cast<std::size_t>(row)].image : -1; }

const ListRow* ListCtrl::GetRow(int row) const { return ValidRow(row) ? &rows_[static_cast<std::size_t>(row)] : nullptr; }

bool ListCtrl::SetItemState(int row, unsigned state, unsigned mask) {
  if (!(mask & LVIS_SELECTED)) return ValidRow(row);
  return SetSelected(row, (state & LVIS_SELECTED) != 0);
}

unsigned ListCtrl::GetItemState(int row, unsigned mask) const {
  return IsSelected(row) ? (LVIS_SELECTED & mask) : 0;
}

bool ListCtrl::SetSelected(int row, bool selected) {
  if (!ValidRow(row)) return false;
  if (selected && (GetStyle() & res::Style::SingleSel))
    for (int i = 0; i < GetItemCount(); ++i)
      if (i != row && rows_[static_cast<std::size_t>(i)].selected) {
        rows_[static_cast<std::size_t>(i)].selected = false;
        Notify(Change::Selection, i);
      }
  ListRow& r = rows_[static_cast<std::size_t>(row)];
  if (r.selected == selected) return true;
  r.selected = selected;
  Notify(Change::Selection, row);
  return true;
}

bool ListCtrl::IsSelected(int row) const { return ValidRow(row) && rows_[static_cast<std::size_t>(row)].selected; }

int ListCtrl::GetNextItem(int start, unsigned flags) const {
  for (int i = std::max(0, start + 1); i < GetItemCount(); ++i)
    if (!(flags & LVNI_SELECTED) || rows_[static_cast<std::size_t>(i)].selected) return i;
  return -1;
}

int ListCtrl::GetSelectedCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const ListRow& r) { return r.selected; }));
}

bool ListCtrl::EnsureVisible(int row) {
  if (!ValidRow(row)) return false;
  Notify(Change::Scroll, row);
  return true;
}

void ListCtrl::SortItems(const std::function<int(const ListRow&, const ListRow&)>& cmp) {
  std::stable_sort(rows_.begin(), rows_.end(), [&](const ListRow& a, const ListRow& b) { return cmp(a, b) < 0; });
  Notify(Change::ItemsReordered);
}

void ListCtrl::SetExtendedStyle(unsigned style) {
  exStyle_ = style;
  Notify(Change::Style);
}

void ListCtrl::SetImageList(ImageList* images) {
  images_ = images;
  Notify(Change::Image);
}

void ListCtrl::UserClick(int row) {
  bool changed = false;
  for (int i = 0; i < GetItemCount(); ++i) {
    const bool want = i == row;
    ListRow& r = rows_[static_cast<std::size_t>(i)];
    if (r.selected != want) {
      r.selected = want;
      changed = true;
    }
  }
  if (changed) NotifyParent(LVN_ITEMCHANGED);
}

void ListCtrl::UserSetSelection(const std::vector<int>& rows) {
  std::vector<bool> want(rows_.size(), false);
  for (int r : rows)
    if (ValidRow(r)) want[static_cast<std::size_t>(r)] = true;
  if (GetStyle() & res::Style::SingleSel) {
    // Keep only the topmost, as a single-selection list can hold no more.
    bool seen = false;
    for (std::size_t i = 0; i < want.size(); ++i) {
      if (want[i] && seen) want[i] = false;
      seen = seen || want[i];
    }
  }
  bool changed = false;
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].selected != want[i]) {
      rows_[i].selected = want[i];
      changed = true;
    }
  if (changed) NotifyParent(LVN_ITEMCHANGED);
}

void ListCtrl::UserDoubleClick(int row) {
  if (ValidRow(row)) UserClick(row);
  NotifyParent(NM_DBLCLK);
}

void ListCtrl::OnSetFocus() { NotifyParent(NM_SETFOCUS); }

}  // namespace ui
