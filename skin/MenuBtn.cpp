#include "skin/MenuBtn.h"

#include "platform/ui/Canvas.h"
#include "res/Resources.h"

namespace {
// Halves rounded down, also for a caption wider than its button.
int HalfDown(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }
}  // namespace

void CMenuBtn::PreSubclassWindow() { ModifyStyle(0, res::Style::OwnerDraw); }

void CMenuBtn::DrawItem(ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  const ui::Rect r = info.rect;
  canvas.Rectangle(r, kOutline, m_crFill);
  if (info.selected) canvas.Rectangle(r.Inflate(-1), kOutline, m_crFill);
  const std::string text = GetWindowText();
  if (text.empty()) return;
  canvas.SetFont(GetFont());
  const ui::Size ts = canvas.TextExtent(text);
  // One pixel right of the exact centre.
  const int x = r.left + HalfDown(r.Width() - ts.cx) + 1;
  const int y = r.top + HalfDown(r.Height() - ts.cy);
  canvas.DrawText(text, ui::Rect::FromSize(x, y, ts.cx, ts.cy), GetTextColor().value_or(kOutline),
                  ui::DT_LEFT | ui::DT_SINGLELINE | ui::DT_NOPREFIX);
}
