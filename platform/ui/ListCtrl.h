#pragma once
// Report-view list control model: columns with heading, width and alignment;
// rows with one text per column, an image and item data.
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

namespace ui {

constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;
constexpr unsigned LVIS_FOCUSED = 0x0001;
constexpr unsigned LVIS_SELECTED = 0x0002;
constexpr unsigned LVNI_ALL = 0x0000;
constexpr unsigned LVNI_SELECTED = 0x0002;
constexpr unsigned LVS_EX_GRIDLINES = 0x0001;
constexpr unsigned LVS_EX_FULLROWSELECT = 0x0020;

struct ListColumn {
  std::string heading;
  int width = 0;
  int format = LVCFMT_LEFT;
};

// One row as a sort comparator sees it.
struct ListRow {
  std::vector<std::string> texts;  // one per column (column 0 always present)
  int image = -1;
  DWORD_PTR data = 0;
  bool selected = false;
  const std::string& Text(int col) const;  // empty past the last column
};

class ListCtrl : public Control {
 public:
  ListCtrl() : Control(WindowKind::ReportList) {}

  // ---- columns ----
  // Inserts at `col` (past the end appends); returns the index used, or -1.
  int InsertColumn(int col, const std::string& heading, int format = LVCFMT_LEFT, int width = -1);
  bool DeleteColumn(int col);
  int GetColumnCount() const { return static_cast<int>(columns_.size()); }
  const ListColumn* GetColumn(int col) const;
  bool SetColumnWidth(int col, int width);
  int GetColumnWidth(int col) const;

  // ---- rows ----
  // Inserts a row whose first text is `text`. With the SortAscending style
  // the row goes where its first text belongs among the rows, comparing
  // without regard to case (after rows that compare equal); otherwise at
  // `row` (past the end appends). Returns the index actually used, -1 when
  // `row` is negative.
  int InsertItem(int row, const std::string& text, int image = -1);
  bool DeleteItem(int row);
  bool DeleteAllItems();
  int GetItemCount() const { return static_cast<int>(rows_.size()); }
  bool SetItemText(int row, int col, const std::string& text);
  std::string GetItemText(int row, int col) const;   // empty when out of range
  bool SetItemData(int row, DWORD_PTR data);
  DWORD_PTR GetItemData(int row) const;
  bool SetItemImage(int row, int image);
  int GetItemImage(int row) const;
  const ListRow* GetRow(int row) const;

  // ---- selection ----
  bool SetItemState(int row, unsigned state, unsigned mask);
  unsigned GetItemState(int row, unsigned mask) const;
  bool SetSelected(int row, bool selected);
  bool IsSelected(int row) const;
  int GetFirstSelected() const { return GetNextItem(-1, LVNI_SELECTED); }
  // The next row after `start` (-1: from the first) that matches `flags`.
  int GetNextItem(int start, unsigned flags) const;
  int GetSelectedCount() const;
  bool EnsureVisible(int row);

  // Reorders the rows by `cmp` (negative: a before b), keeping the order of
  // rows it finds equal.
  void SortItems(const std::function<int(const ListRow& a, const ListRow& b)>& cmp);

  void SetExtendedStyle(unsigned style);
  unsigned GetExtendedStyle() const { return exStyle_; }
  void SetImageList(ImageList* images);
  ImageList* GetImageList() const { return images_; }

  // User actions: a click selects that row alone (-1 clears) and tells the
  // parent LVN_ITEMCHANGED; a double click then sends NM_DBLCLK.
  void UserClick(int row);
  // The user's selection as a whole (ctrl- and shift-clicks); rows out of
  // range are ignored. LVN_ITEMCHANGED when it differs.
  void UserSetSelection(const std::vector<int>& rows);
  void UserDoubleClick(int row);
  void OnSetFocus() override;
  void ResetModel() override {
    columns_.clear();
    rows_.clear();
  }

  // Case-insensitive byte comparison used by the sort-ascending style.
  static int CompareNoCase(const std::string& a, const std::string& b);

 private:
  bool SortsOnInsert() const;
  bool ValidRow(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }
  std::vector<ListColumn> columns_;
  std::vector<ListRow> rows_;
  unsigned exStyle_ = 0;
  ImageList* images_ = nullptr;
};

}  // namespace ui
