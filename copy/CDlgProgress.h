#pragma once
// The copy progress dialog: the item being copied on a caption line, a bar
// from 0 to 100 and a round Cancel button. It polls nothing itself: its owner
// runs it modally, sets the bar and caption on its own timer, and ends it with
// IDOK when the copy has stopped; Cancel ends it with IDCANCEL. Enter and
// Escape do nothing here, so only the button cancels.
#include <string>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "res/Resources.h"

class CGetCDData;

class CDlgProgress : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 172;
  static constexpr int kCancelId = 1013;
  static constexpr int kProgressId = 1018;
  static constexpr int kCaptionId = 1020;
  static constexpr int kShapeBitmap = 175;
  static constexpr int kBackBitmap = 218;
  static constexpr int kCancelBitmap = 162;
  static constexpr int kCancelDownBitmap = 163;

  explicit CDlgProgress(ui::Window* parent = nullptr);
  ~CDlgProgress() override;

  void SetPercent(int percent);
  void SetCaption(const std::string& text);

  bool OnInitDialog() override;
  bool PreTranslateMessage(ui::MSG* msg) override;
  void OnOK() override {}      // Enter does not end it
  void OnCancel() override {}  // nor Escape: only the Cancel button
  void OnCommand(int id) override;
  void OnShowWindow(bool show) override;
  void OnPaint(ui::Canvas& canvas) override;
  void OnDrawItem(int id, ui::Canvas& canvas, const ui::DrawItemInfo& info) override;

  ui::ProgressCtrl& Progress() { return m_Progress; }
  ui::Edit& Caption() { return m_Caption; }
  ui::Button& CancelButton() { return m_Cancel; }

 private:
  void Reset();

  ui::Button m_Cancel;
  ui::ProgressCtrl m_Progress;
  ui::Edit m_Caption;
  res::Image m_Back;
};

// The owner's side of a copy, shared by the views that save: one tick of
// their 100 ms poll timer sets the bar and caption from the engine, or ends
// the dialog with IDOK once the engine has stopped (then true).
bool PollCopy(CGetCDData& engine, CDlgProgress& dialog);
// After the modal run: the engine is cancelled unless the run ended with
// IDOK, its worker has ended when this returns, and the user is told why a
// copy stopped or which files hold unreadable sectors.
void FinishCopy(CGetCDData& engine, int dialogResult);
