#include "skin/BmpBtn.h"

#include "platform/ui/Canvas.h"
#include "res/Resources.h"
#include "skin/SkinMessages.h"

void CBmpBtn::MakeSkinned() {
  ModifyStyle(0, res::Style::OwnerDraw);
  SetCursor(ui::CursorShape::Resource, skin::kButtonCursor);
}

void CBmpBtn::PreSubclassWindow() { MakeSkinned(); }

void CBmpBtn::DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  // Bitmap 0 (never set) names nothing, so nothing is drawn.
  if (const int id = BitmapFor(info.selected)) canvas.DrawBitmap(id, info.rect.left, info.rect.top);
}

void CHintBmpBtn::OnMouseMove(unsigned, ui::Point) {
  if (m_nHint == 0) return;
  if (ui::Window* parent = GetParent()) parent->SendMessage(skin::WM_SHOWHINT, 0, m_nHint);
}

void CBmpRoundBtn::PreSubclassWindow() {
  const ui::Rect r = GetClientRect();
  SetWindowRgn(ui::Region::Ellipse(r.Width(), r.Height()));
  MakeSkinned();
}

ui::Region CBmpTriangleBtn::ShapeOf(int maskId) const {
  const ui::Rect r = GetClientRect();
  // Pixels of the rectangle the mask does not reach stay inside.
  return ui::Region::FromMask(ui::CachedBitmap(maskId), r.Width(), r.Height());
}

void CBmpTriangleBtn::ShapeWindow(int maskId) {
  SetWindowRgn(ShapeOf(maskId));
  MakeSkinned();
}

void CBmpTriangleBtn::DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  canvas.SetClip(ShapeOf(m_nMask));
  CBmpBtn::DrawItem(canvas, info);
  canvas.ClearClip();
}
