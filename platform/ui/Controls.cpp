#include "platform/ui/Controls.h"

#include <algorithm>

#include "platform/ui/Canvas.h"
#include "res/Resources.h"

namespace ui {

// ---- ImageList ----
bool ImageList::Create(int cx, int cy) {
  if (cx <= 0 || cy <= 0) return false;
  cx_ = cx;
  cy_ = cy;
  images_.clear();
  return true;
}

int ImageList::Add(const res::Image& image) {
  if (image.Empty()) return -1;
  images_.push_back(image);
  return static_cast<int>(images_.size()) - 1;
}

int ImageList::AddIcon(int iconId) { return Add(CachedIcon(iconId)); }
int ImageList::AddBitmap(int bitmapId) { return Add(CachedBitmap(bitmapId)); }

const res::Image* ImageList::Get(int index) const {
  if (index < 0 || index >= static_cast<int>(images_.size())) return nullptr;
  return &images_[static_cast<std::size_t>(index)];
}

// ---- Button ----
void Button::Click() {
  if (!IsWindowEnabled()) return;
  CommandParent();
}

bool Button::IsOwnerDraw() const { return (GetStyle() & res::Style::OwnerDraw) != 0; }

void Button::DrawItem(Canvas& canvas, const DrawItemInfo& info) {
  if (Window* p = GetParent()) p->OnDrawItem(GetDlgCtrlID(), canvas, info);
}

void Button::PaintTo(Canvas& canvas) {
  if (!IsOwnerDraw()) {
    Window::PaintTo(canvas);
    return;
  }
  DrawItemInfo info;
  info.ctlId = GetDlgCtrlID();
  info.rect = GetClientRect();
  info.selected = pushed_;
  info.disabled = !IsWindowEnabled();
  info.checked = check_ != 0;
  info.focus = GetFocus() == this;
  DrawItem(canvas, info);
}

void Button::SetCheck(int check) {
  if (check_ == check) return;
  check_ = check;
  Notify(Change::Check);
}

void Button::SetState(bool pushed) {
  if (pushed_ == pushed) return;
  pushed_ = pushed;
  Notify(Change::Check);
}

void CheckBox::Click() {
  if (!IsWindowEnabled()) return;
  SetCheck(GetCheck() ? 0 : 1);
  CommandParent();
}

// ---- StaticText ----
void StaticText::SetBitmap(int bitmapId) {
  if (bitmap_ == bitmapId) return;
  bitmap_ = bitmapId;
  Notify(Change::Image);
}

// ---- Edit ----
void Edit::SetReadOnly(bool readOnly) {
  const std::uint32_t ro = res::Style::ReadOnly;
  ModifyStyle(readOnly ? 0u : ro, readOnly ? ro : 0u);
}

bool Edit::IsReadOnly() const { return (GetStyle() & res::Style::ReadOnly) != 0; }

void Edit::SetLimitText(int maxChars) {
  limit_ = std::max(0, maxChars);
  Notify(Change::Style);
}

void Edit::SetSel(int start, int end) {
  const int len = GetWindowTextLength();
  selStart_ = std::clamp(start, 0, len);
  selEnd_ = end < 0 ? len : std::clamp(end, 0, len);
  if (selEnd_ < selStart_) std::swap(selStart_, selEnd_);
}

void Edit::ReplaceSel(const std::string& text) {
  std::string t = GetWindowText();
  const int len = static_cast<int>(t.size());
  const int a = std::clamp(selStart_, 0, len), b = std::clamp(selEnd_, a, len);
  t.replace(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a), text);
  SetWindowText(t);
  selStart_ = selEnd_ = a + static_cast<int>(text.size());
}

void Edit::UserSetText(const std::string& text) {
  std::string t = text;
  if (limit_ > 0 && static_cast<int>(t.size()) > limit_) {
    // Never cut inside a UTF-8 sequence.
    std::size_t cut = static_cast<std::size_t>(limit_);
    while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80) --cut;
    t.resize(cut);
  }
  if (t == GetWindowText()) return;
  SetModelText(t);
  if (t != text) Notify(Change::Text);  // the widget holds more than allowed
  NotifyParent(EN_CHANGE);
}

// ---- ProgressCtrl ----
void ProgressCtrl::SetRange(int lower, int upper) {
  lo_ = lower;
  hi_ = upper;
  pos_ = std::clamp(pos_, std::min(lo_, hi_), std::max(lo_, hi_));
  Notify(Change::Range);
}

int ProgressCtrl::SetPos(int pos) {
  const int old = pos_;
  pos_ = std::clamp(pos, std::min(lo_, hi_), std::max(lo_, hi_));
  if (pos_ != old) Notify(Change::Pos);
  return old;
}

int ProgressCtrl::StepIt() {
  const int old = pos_;
  int next = pos_ + step_;
  // Stepping past the end wraps to the start, as the platform's bar does.
  if (next > std::max(lo_, hi_)) next = std::min(lo_, hi_) + (next - std::max(lo_, hi_));
  SetPos(next);
  return old;
}

// ---- SliderCtrl ----
void SliderCtrl::SetRange(int minPos, int maxPos, bool) {
  lo_ = std::min(minPos, maxPos);
  hi_ = std::max(minPos, maxPos);
  pos_ = std::clamp(pos_, lo_, hi_);
  Notify(Change::Range);
}

void SliderCtrl::SetPos(int pos) {
  const int p = std::clamp(pos, lo_, hi_);
  if (p == pos_) return;
  pos_ = p;
  Notify(Change::Pos);
}

void SliderCtrl::UserDrag(int pos) {
  if (!IsWindowEnabled()) return;
  pos_ = std::clamp(pos, lo_, hi_);
  if (Window* p = GetParent()) p->OnHScroll(SB_THUMBTRACK, pos_, this);
}

void SliderCtrl::UserRelease() {
  if (!IsWindowEnabled()) return;
  if (Window* p = GetParent()) p->OnHScroll(SB_ENDSCROLL, pos_, this);
  NotifyParent(NM_RELEASEDCAPTURE);
}

// ---- ScrollBar ----
bool ScrollBar::IsHorizontal() const { return (GetStyle() & res::Style::Horizontal) != 0; }

void ScrollBar::SetScrollRange(int minPos, int maxPos) {
  lo_ = std::min(minPos, maxPos);
  hi_ = std::max(minPos, maxPos);
  pos_ = std::clamp(pos_, lo_, hi_);
  Notify(Change::Range);
}

int ScrollBar::SetScrollPos(int pos) {
  const int old = pos_;
  pos_ = std::clamp(pos, lo_, hi_);
  if (pos_ != old) Notify(Change::Pos);
  return old;
}

void ScrollBar::LineUp() { Scroll(SB_LINEUP); }
void ScrollBar::LineDown() { Scroll(SB_LINEDOWN); }

void ScrollBar::Scroll(int code) {
  if (!IsWindowEnabled()) return;
  Window* p = GetParent();
  if (!p) return;
  if (IsHorizontal())
    p->OnHScroll(code, pos_, this);
  else
    p->OnVScroll(code, pos_, this);
}

// ---- ListBox ----
bool ListBox::Notifies() const { return (GetStyle() & res::Style::Notify) != 0; }

int ListBox::AddString(const std::string& text) { return InsertString(-1, text); }

int ListBox::InsertString(int index, const std::string& text) {
  const int n = GetCount();
  if (index < -1 || index > n) return LB_ERR;
  if (index == -1) index = n;
  items_.insert(items_.begin() + index, Item{text, 0});
  if (sel_ != LB_ERR && sel_ >= index) ++sel_;
  Notify(Change::ItemInserted, index);
  return index;
}

int ListBox::DeleteString(int index) {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  items_.erase(items_.begin() + index);
  if (sel_ == index)
    sel_ = LB_ERR;
  else if (sel_ > index)
    --sel_;
  Notify(Change::ItemRemoved, index);
  return GetCount();
}

void ListBox::ResetContent() {
  items_.clear();
  sel_ = LB_ERR;
  Notify(Change::ItemsReset);
}

int ListBox::SetCurSel(int index) {
  if (index < -1 || index >= GetCount()) {
    sel_ = LB_ERR;
    Notify(Change::Selection, -1);
    return LB_ERR;
  }
  sel_ = index;
  Notify(Change::Selection, index);
  return index == -1 ? LB_ERR : index;
}

int ListBox::GetText(int index, std::string& out) const {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  out = items_[static_cast<std::size_t>(index)].text;
  return static_cast<int>(out.size());
}

std::string ListBox::GetText(int index) const {
  std::string s;
  GetText(index, s);
  return s;
}

int ListBox::GetTextLen(int index) const {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  return static_cast<int>(items_[static_cast<std::size_t>(index)].text.size());
}

int ListBox::SetItemData(int index, DWORD_PTR data) {
  if (index < 0 || index >= GetCount()) return LB_ERR;
  items_[static_cast<std::size_t>(index)].data = data;
  return 0;
}

DWORD_PTR ListBox::GetItemData(int index) const {
  if (index < 0 || index >= GetCount()) return static_cast<DWORD_PTR>(LB_ERR);
  return items_[static_cast<std::size_t>(index)].data;
}

int ListBox::FindStringExact(int startAfter, const std::string& text) const {
  const int n = GetCount();
  for (int k = 0; k < n; ++k) {
    const int i = (startAfter + 1 + k + n) % n;
    if (i >= 0 && items_[static_cast<std::size_t>(i)].text == text) return i;
  }
  return LB_ERR;
}

void ListBox::UserSelect(int index) {
  if (index < 0 || index >= GetCount() || index == sel_) return;
  sel_ = index;
  if (Notifies()) NotifyParent(LBN_SELCHANGE);
}

void ListBox::UserDoubleClick(int index) {
  if (index >= 0 && index < GetCount() && index != sel_) {
    sel_ = index;
    Notify(Change::Selection, index);
    if (Notifies()) NotifyParent(LBN_SELCHANGE);
  }
  if (Notifies()) NotifyParent(LBN_DBLCLK);
}

}  // namespace ui
