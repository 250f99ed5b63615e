#pragma once
// The vertical bar between the file browser's tree and list. While the left
// button is held on it, every mouse move tells the parent where on the screen
// the bar is being dragged to; the parent moves its panes.
#include "platform/ui/Controls.h"

class CBtnSplit : public ui::Button {
 public:
  bool IsDragging() const { return m_bDragging; }

  void PreSubclassWindow() override;
  void OnLButtonDown(unsigned flags, ui::Point p) override { m_bDragging = true; }
  void OnLButtonUp(unsigned flags, ui::Point p) override { m_bDragging = false; }
  // Sends the parent WM_SPLITMOVE with the mouse's screen x while dragging.
  void OnMouseMove(unsigned flags, ui::Point p) override;
  void DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) override;
  void ResetModel() override {
    ui::Button::ResetModel();
    m_bDragging = false;
  }

 private:
  bool m_bDragging = false;
};
