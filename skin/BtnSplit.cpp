#include "skin/BtnSplit.h"

#include "res/Resources.h"
#include "skin/SkinMessages.h"

void CBtnSplit::PreSubclassWindow() {
  ModifyStyle(0, res::Style::OwnerDraw);
  SetCursor(ui::CursorShape::SizeWE);
}

void CBtnSplit::OnMouseMove(unsigned, ui::Point p) {
  if (!m_bDragging) return;
  ui::Window* parent = GetParent();
  if (!parent) return;
  // The bar moves under the mouse while it is dragged, so the screen x is
  // taken from where the bar stands now.
  const long screenX = static_cast<long>(p.x) + GetWindowRect().left;
  parent->SendMessage(skin::WM_SPLITMOVE, 0, screenX);
}

void CBtnSplit::DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  canvas.FillRect(info.rect, skin::kBlueGrey);
}
