#include "platform/paxwell/Paxwell.h"

#include <algorithm>

#include "platform/ui/Ui.h"
#include "res/Resources.h"

CTransBtn::CTransBtn() { SetTransparent(true); }

bool CTransBtn::ShowsCheckMark() const {
  return TemplateKind() == static_cast<int>(res::ControlKind::CheckBox) || TemplateKind() < 0;
}

void CTransBtn::PreSubclassWindow() { SetTransparent(true); }

void CListCtrlEx::SetFullRowSel(bool on) {
  const unsigned s = GetExtendedStyle();
  SetExtendedStyle(on ? (s | ui::LVS_EX_FULLROWSELECT) : (s & ~ui::LVS_EX_FULLROWSELECT));
}

int CHListBox::AddString(const std::string& text) { return InsertString(-1, text); }

int CHListBox::InsertString(int index, const std::string& text) {
  const int r = ui::ListBox::InsertString(index, text);
  if (r != ui::LB_ERR) Recompute();
  return r;
}

int CHListBox::DeleteString(int index) {
  const int r = ui::ListBox::DeleteString(index);
  if (r != ui::LB_ERR) Recompute();
  return r;
}

void CHListBox::ResetContent() {
  ui::ListBox::ResetContent();
  extent_ = 0;
}

void CHListBox::Recompute() {
  const ui::FontSpec& f = GetFont();
  const int cw = ui::Ui::Get().BaseUnits(f.face, f.pointSize).cx;
  int longest = 0;
  for (int i = 0; i < GetCount(); ++i) longest = std::max(longest, GetTextLen(i));
  extent_ = longest * cw + 4;
}
