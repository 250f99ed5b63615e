#pragma once
// Buttons painted from bitmap resources: a rectangular one, a round one whose
// window is the ellipse of its rectangle, and one cut to the shape of a mask
// bitmap (the four triangles around the main window's corner). Each keeps
// resource numbers and draws the pressed or the normal picture unscaled at
// its top-left corner; a number that names no bitmap draws nothing.
#include "platform/ui/Controls.h"
#include "platform/ui/Region.h"

class CBmpBtn : public ui::Button {
 public:
  void SetBitmaps(int normal, int pressed) {
    m_nNormal = normal;
    m_nPressed = pressed;
    Invalidate();
  }
  int GetNormalBitmap() const { return m_nNormal; }
  int GetPressedBitmap() const { return m_nPressed; }
  // The bitmap a paint in this state uses.
  int BitmapFor(bool pressed) const { return pressed ? m_nPressed : m_nNormal; }

  void PreSubclassWindow() override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }
  void DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) override;

 protected:
  // Owner-drawn, with the skin's hand cursor.
  void MakeSkinned();

 private:
  int m_nNormal = 0;
  int m_nPressed = 0;
};

// A bitmap button that names a hint for its parent's status line.
class CHintBmpBtn : public CBmpBtn {
 public:
  void SetHint(int stringId) { m_nHint = stringId; }
  int GetHint() const { return m_nHint; }
  // Sends the parent WM_SHOWHINT with the hint, unless the hint is 0.
  void OnMouseMove(unsigned flags, ui::Point p) override;

 private:
  int m_nHint = 0;
};

class CBmpRoundBtn : public CHintBmpBtn {
 public:
  // The window becomes the ellipse that fills its rectangle.
  void PreSubclassWindow() override;
};

class CBmpTriangleBtn : public CHintBmpBtn {
 public:
  explicit CBmpTriangleBtn(int mask = 0) : m_nMask(mask) {}
  void SetBitmaps(int normal, int pressed, int mask) {
    CBmpBtn::SetBitmaps(normal, pressed);
    m_nMask = mask;
  }
  int GetMaskBitmap() const { return m_nMask; }
  // The pixels of the button's rectangle that its mask leaves inside.
  ui::Region ShapeOf(int maskId) const;
  // Paints only inside the mask's shape.
  void DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) override;

 protected:
  // Cuts the window to the mask and makes the button owner-drawn.
  void ShapeWindow(int maskId);

 private:
  int m_nMask = 0;
};

// The triangles carry their masks: top 177, left 181, bottom 188, right 185.
template <int MaskId>
class CBmpTriangleBtnWithMask : public CBmpTriangleBtn {
 public:
  static constexpr int kMask = MaskId;
  CBmpTriangleBtnWithMask() : CBmpTriangleBtn(kMask) {}
  void PreSubclassWindow() override { ShapeWindow(kMask); }
};
using CBmpTriangleBtn_T = CBmpTriangleBtnWithMask<177>;
using CBmpTriangleBtn_L = CBmpTriangleBtnWithMask<181>;
using CBmpTriangleBtn_B = CBmpTriangleBtnWithMask<188>;
using CBmpTriangleBtn_R = CBmpTriangleBtnWithMask<185>;
