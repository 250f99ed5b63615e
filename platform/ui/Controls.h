#pragma once
// The simple control models. Each keeps its state, tells its peer what
// changed, and offers the user's actions as operations (Click, UserSetText,
// LineUp, ...) that the renderer and tests call; those send the control's
// notifications to the parent exactly as a click or key would.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/Window.h"
#include "res/Resources.h"

namespace ui {

// Icons or bitmaps of one size shared by trees and lists (CImageList).
class ImageList {
 public:
  bool Create(int cx, int cy);
  int Add(const res::Image& image);   // index, or -1 when the image is empty
  int AddIcon(int iconId);            // from the icon resources
  int AddBitmap(int bitmapId);
  int GetImageCount() const { return static_cast<int>(images_.size()); }
  const res::Image* Get(int index) const;
  Size GetImageSize() const { return {cx_, cy_}; }
  void DeleteImageList() { images_.clear(); }

 private:
  int cx_ = 16, cy_ = 16;
  std::vector<res::Image> images_;
};

// Push button. Owner-drawn when its style has res::Style::OwnerDraw: then
// DrawItem paints it (by default the parent's OnDrawItem).
class Button : public Control {
 public:
  Button() : Control(WindowKind::Button) {}
  // A user click: BN_CLICKED to the parent (nothing when disabled).
  virtual void Click();
  bool IsOwnerDraw() const;
  virtual void DrawItem(Canvas& canvas, const DrawItemInfo& info);
  // Check state (0 unchecked, 1 checked) and the pushed look.
  void SetCheck(int check);
  int GetCheck() const { return check_; }
  void SetState(bool pushed);
  bool GetState() const { return pushed_; }
  // Owner-drawn: DrawItem with the current state; otherwise the plain paint.
  void PaintTo(Canvas& canvas) override;
  void ResetModel() override { check_ = 0; pushed_ = false; }

 protected:
  explicit Button(WindowKind kind) : Control(kind) {}

 private:
  int check_ = 0;
  bool pushed_ = false;
};

// Auto check box: a click toggles the check, then tells the parent.
class CheckBox : public Button {
 public:
  CheckBox() : Button(WindowKind::CheckBox) {}
  void Click() override;
};

class StaticText : public Control {
 public:
  StaticText() : Control(WindowKind::Static) {}
  // A picture control shows a bitmap resource instead of text (0 none).
  void SetBitmap(int bitmapId);
  int GetBitmap() const { return bitmap_; }

 protected:
  explicit StaticText(WindowKind kind) : Control(kind) {}

 private:
  int bitmap_ = 0;
};

class GroupBox : public StaticText {
 public:
  GroupBox() : StaticText(WindowKind::GroupBox) {}
};

class Edit : public Control {
 public:
  Edit() : Control(WindowKind::Edit) {}
  void SetReadOnly(bool readOnly = true);
  bool IsReadOnly() const;
  void SetLimitText(int maxChars);     // 0: no limit
  int GetLimitText() const { return limit_; }
  void ResetModel() override { limit_ = 0; selStart_ = selEnd_ = 0; }
  void SetSel(int start, int end);     // -1 end: to the end
  void GetSel(int& start, int& end) const { start = selStart_; end = selEnd_; }
  void ReplaceSel(const std::string& text);
  // The user typed: the text becomes `text` (cut to the limit) and the
  // parent hears EN_CHANGE.
  void UserSetText(const std::string& text);

 private:
  int limit_ = 0;
  int selStart_ = 0, selEnd_ = 0;
};

class ProgressCtrl : public Control {
 public:
  ProgressCtrl() : Control(WindowKind::Progress) {}
  void SetRange(int lower, int upper);
  void SetRange32(int lower, int upper) { SetRange(lower, upper); }
  void GetRange(int& lower, int& upper) const { lower = lo_; upper = hi_; }
  // Positions outside the range are held at its nearer end; returns the
  // previous position.
  int SetPos(int pos);
  int GetPos() const { return pos_; }
  int OffsetPos(int delta) { return SetPos(pos_ + delta); }
  void SetStep(int step) { step_ = step; }
  int StepIt();
  void ResetModel() override { lo_ = 0; hi_ = 100; pos_ = 0; step_ = 10; }

 private:
  int lo_ = 0, hi_ = 100, pos_ = 0, step_ = 10;
};

// Trackbar.
class SliderCtrl : public Control {
 public:
  SliderCtrl() : Control(WindowKind::Slider) {}
  void SetRange(int minPos, int maxPos, bool redraw = false);
  int GetRangeMin() const { return lo_; }
  int GetRangeMax() const { return hi_; }
  void SetPos(int pos);               // held inside the range
  int GetPos() const { return pos_; }
  void SetTicFreq(int freq) { ticFreq_ = freq; }
  int GetTicFreq() const { return ticFreq_; }
  // The user drags the thumb (the parent hears OnHScroll(SB_THUMBTRACK)) and
  // lets it go (NM_RELEASEDCAPTURE).
  void UserDrag(int pos);
  void UserRelease();
  void ResetModel() override { lo_ = 0; hi_ = 100; pos_ = 0; ticFreq_ = 1; }

 private:
  int lo_ = 0, hi_ = 100, pos_ = 0, ticFreq_ = 1;
};

// Scroll bar: vertical unless its style has res::Style::Horizontal. The arrows
// send SB_LINEUP / SB_LINEDOWN to the parent's OnVScroll (OnHScroll).
class ScrollBar : public Control {
 public:
  ScrollBar() : Control(WindowKind::ScrollBar) {}
  bool IsHorizontal() const;
  void SetScrollRange(int minPos, int maxPos);
  void GetScrollRange(int& minPos, int& maxPos) const { minPos = lo_; maxPos = hi_; }
  int SetScrollPos(int pos);
  int GetScrollPos() const { return pos_; }
  void LineUp();
  void LineDown();
  void Scroll(int code);               // any SB_ code from the user
  void ResetModel() override { lo_ = hi_ = pos_ = 0; }

 private:
  int lo_ = 0, hi_ = 0, pos_ = 0;
};

class ListBox : public Control {
 public:
  ListBox() : Control(WindowKind::ListBox) {}
  int AddString(const std::string& text);                 // index
  // -1 appends; an index past the end is refused with LB_ERR, as the
  // platform list box does.
  int InsertString(int index, const std::string& text);
  int DeleteString(int index);                            // remaining count or LB_ERR
  void ResetContent();
  int GetCount() const { return static_cast<int>(items_.size()); }
  int GetCurSel() const { return sel_; }                  // LB_ERR when none
  int SetCurSel(int index);                               // -1 clears; LB_ERR if out of range
  int GetText(int index, std::string& out) const;         // length or LB_ERR
  std::string GetText(int index) const;                   // empty if out of range
  int GetTextLen(int index) const;
  int SetItemData(int index, DWORD_PTR data);
  DWORD_PTR GetItemData(int index) const;
  int FindStringExact(int startAfter, const std::string& text) const;
  // User actions. Notifications go out only with the Notify style, as the
  // platform's list box sends them.
  void UserSelect(int index);
  void UserDoubleClick(int index);
  void ResetModel() override { items_.clear(); sel_ = LB_ERR; }

 private:
  struct Item {
    std::string text;
    DWORD_PTR data = 0;
  };
  bool Notifies() const;
  std::vector<Item> items_;
  int sel_ = LB_ERR;
};

}  // namespace ui
