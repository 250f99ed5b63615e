#pragma once
// The three skinned controls of the Paxwell library, on top of the window
// models: a transparent check button, a report list with full-row selection
// and a list box that keeps a horizontal extent for its longest string.
#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/ListCtrl.h"

// A check button whose parent's painting shows through it. Besides a check
// box it serves as a line of text on the skin (the status line) and as the
// frame a panel is placed in, so it draws no box of its own when its
// template made it a plain button.
class CTransBtn : public ui::CheckBox {
 public:
  CTransBtn();
  void SetCheck(bool checked) { ui::CheckBox::SetCheck(checked ? 1 : 0); }
  bool GetSelect() const { return GetCheck() != 0; }
  // Whether the check mark is shown: only when the template control is a
  // check box.
  bool ShowsCheckMark() const;
  void PreSubclassWindow() override;
};

class CListCtrlEx : public ui::ListCtrl {
 public:
  void SetFullRowSel(bool on);
  bool GetFullRowSel() const { return (GetExtendedStyle() & ui::LVS_EX_FULLROWSELECT) != 0; }
};

class CHListBox : public ui::ListBox {
 public:
  int AddString(const std::string& text);
  int InsertString(int index, const std::string& text);
  int DeleteString(int index);
  void ResetContent();
  // Width in pixels the longest string needs (the list's horizontal scroll
  // range), from the average character width of the list's font.
  int GetHorizontalExtent() const { return extent_; }

 private:
  void Recompute();
  int extent_ = 0;
};
