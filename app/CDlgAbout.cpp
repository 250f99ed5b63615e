#include "app/CDlgAbout.h"

#include "platform/ui/Canvas.h"

bool CDlgAbout::OnInitDialog() {
  // The name and the version text stand on the painted colour.
  for (int id : {kProductId, kVersionId}) {
    if (ui::Window* w = GetDlgItem(id)) {
      w->SetTextColor(kText);
      w->SetTransparent(true);
    }
  }
  return true;
}

void CDlgAbout::OnPaint(ui::Canvas& canvas) {
  const ui::Rect r = GetClientRect();
  canvas.FillRect(r, kBackground);
  // The thin border of the box: the window has no frame of its own here.
  canvas.FrameRect(r, ui::RGB(62, 78, 90));
}
