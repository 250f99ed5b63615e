#pragma once
// The caption buttons (File, View, Tools, Help) that stand in for a menu bar:
// a filled box with a one-pixel outline, two pixels while pressed, and the
// caption centred in it.
#include "platform/ui/Controls.h"

class CMenuBtn : public ui::Button {
 public:
  static constexpr ui::COLORREF kDefaultFill = ui::RGB(230, 230, 190);
  static constexpr ui::COLORREF kOutline = ui::RGB(0, 0, 0);

  void SetFillColor(ui::COLORREF c) {
    m_crFill = c;
    Invalidate();
  }
  ui::COLORREF GetFillColor() const { return m_crFill; }

  void PreSubclassWindow() override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }
  void DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) override;

 private:
  ui::COLORREF m_crFill = kDefaultFill;
};
