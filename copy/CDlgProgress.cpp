// The copy progress dialog.
#include "copy/CDlgProgress.h"

#include "copy/GetCDData.h"
#include "platform/ui/Region.h"
#include "platform/ui/Ui.h"

CDlgProgress::CDlgProgress(ui::Window* parent) : ui::Dialog(kTemplateId, parent) {
  BindControl(kCancelId, m_Cancel);
  BindControl(kProgressId, m_Progress);
  BindControl(kCaptionId, m_Caption);
  m_Back = res::LoadBitmap(kBackBitmap);
}

CDlgProgress::~CDlgProgress() = default;

void CDlgProgress::SetPercent(int percent) { m_Progress.SetPos(percent); }

void CDlgProgress::SetCaption(const std::string& text) { m_Caption.SetWindowText(text); }

bool CDlgProgress::OnInitDialog() {
  // The window takes the size of its shape bitmap, centred on the screen.
  const res::Image shape = res::LoadBitmap(kShapeBitmap);
  if (!shape.Empty()) {
    const ui::Size screen = ui::Ui::Get().ScreenSize();
    MoveWindow(screen.cx / 2 - shape.width / 2, screen.cy / 2 - shape.height / 2, shape.width, shape.height);
  }
  m_Caption.SetWindowText("");
  // The round button: its picture's circle is all that is hit.
  const ui::Rect b = m_Cancel.GetRect();
  if (b.Width() > 0 && b.Height() > 0) m_Cancel.SetWindowRgn(ui::Region::Ellipse(b.Width(), b.Height()));
  // White pixels of the shape bitmap are holes; beyond it the window stays whole.
  const ui::Rect r = GetWindowRect();
  if (!shape.Empty() && r.Width() > 0 && r.Height() > 0)
    SetWindowRgn(ui::Region::FromMask(shape, r.Width(), r.Height()));
  return true;
}

bool CDlgProgress::PreTranslateMessage(ui::MSG* msg) {
  return msg && msg->message == ui::WM_KEYDOWN && (msg->wParam == ui::VK_RETURN || msg->wParam == ui::VK_ESCAPE);
}

void CDlgProgress::OnCommand(int id) {
  if (id == kCancelId) EndDialog(IDCANCEL);
}

void CDlgProgress::Reset() {
  m_Caption.SetWindowText("");
  m_Progress.SetRange(0, 100);
  m_Progress.SetPos(0);
}

// Every show (and hide) starts the next run at 0 with an empty caption.
void CDlgProgress::OnShowWindow(bool) { Reset(); }

void CDlgProgress::OnPaint(ui::Canvas& canvas) {
  if (!m_Back.Empty()) canvas.DrawImage(m_Back, 0, 0);
}

void CDlgProgress::OnDrawItem(int id, ui::Canvas& canvas, const ui::DrawItemInfo& info) {
  if (id == kCancelId) canvas.DrawBitmap(info.selected ? kCancelDownBitmap : kCancelBitmap, 0, 0);
}

bool PollCopy(CGetCDData& engine, CDlgProgress& dialog) {
  if (engine.IsStopped()) {
    dialog.EndDialog(IDOK);
    return true;
  }
  dialog.SetPercent(engine.GetPercent());
  dialog.SetCaption(engine.GetCurrentName());
  return false;
}

void FinishCopy(CGetCDData& engine, int dialogResult) {
  if (dialogResult != IDOK) engine.Cancel();
  // A cancelled worker stops at its next sector run; it has ended, and its
  // part file is gone, before the caller goes on.
  engine.Wait();
  const std::string problems = CopyReportText(engine.GetResult());
  if (!problems.empty()) ui::AfxMessageBox(problems, ui::MB_OK | ui::MB_ICONINFORMATION);
}
