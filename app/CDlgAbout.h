#pragma once
// The About box: logo, name and version in white on the skin's blue-grey; any
// click closes it.
#include "platform/ui/Dialog.h"

class CDlgAbout : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 208;
  static constexpr int kProductId = 1033;
  static constexpr int kVersionId = 1036;
  static constexpr ui::COLORREF kBackground = ui::RGB(100, 125, 142);
  static constexpr ui::COLORREF kText = ui::RGB(255, 255, 255);

  explicit CDlgAbout(ui::Window* parent = nullptr) : ui::Dialog(kTemplateId, parent) {}

  bool OnInitDialog() override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }
  void OnPaint(ui::Canvas& canvas) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override { EndDialog(IDOK); }
};
