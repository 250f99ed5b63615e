#pragma once
// The disc scan dialog: Start reads every sector of every track on a worker
// thread and lists each unreadable sector with its sense; the same button
// stops a running scan. The worker never touches a control: it posts what it
// found to the user-interface thread, which adds the rows.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListCtrl.h"
#include "res/Resources.h"
#include "views/CDlgScanDiscWorker.h"

class CDevCmdROM;

class CDlgScanDisc : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 235;
  static constexpr int kLabelId = 1033;
  static constexpr int kListId = 1010;
  static constexpr int kProgressId = 1018;
  static constexpr int kStartId = 1048;
  static constexpr int kCancelId = 1013;
  static constexpr int kMaskBitmap = 237;
  static constexpr int kBackBitmap = 238;

  explicit CDlgScanDisc(ui::Window* parent = nullptr);
  ~CDlgScanDisc() override;

  void SetDevice(CDevCmdROM* device) { m_pDevice = device; }

  bool OnInitDialog() override;
  void OnCommand(int id) override;
  void OnCancel() override;
  void OnOK() override {}  // Enter does not end the scan dialog
  void OnPaint(ui::Canvas& canvas) override;
  void DestroyWindow() override;

  bool IsIdle() const { return m_bIdle; }
  // Blocks until the worker (if any) has ended; the scan dialog calls it
  // before it goes and before a new scan starts.
  void StopAndJoin();
  // Whether a worker thread exists that has not been joined.
  bool HasWorker() const { return m_Worker.joinable(); }

  ui::ListCtrl& List() { return m_List; }
  ui::ProgressCtrl& Progress() { return m_Progress; }
  ui::Button& StartButton() { return m_Start; }
  ui::Button& CancelButton() { return m_Cancel; }

 private:
  void OnStartStop();
  void StartWorker();
  void ResetList();
  // Run on the user-interface thread from the worker's posts; `gen` names the
  // scan that posted, so that a stopped scan's late posts do not disturb the
  // next one.
  void AddRow(unsigned gen, std::uint32_t lba, SenseData_tag sense);
  void ShowProgress(unsigned gen, int percent, bool show);
  void ScanEnded(unsigned gen);

  CDevCmdROM* m_pDevice = nullptr;
  bool m_bIdle = true;
  std::atomic<bool> m_bStop{false};
  std::thread m_Worker;
  unsigned m_nGen = 0;          // the scan now running (or last run)
  int m_nRowCounter = 0;        // rows the current scan has added
  int m_nPrevRowCounter = 0;    // rows the previous scan added before this one began
  res::Image m_Back;
  res::Image m_BackScaled;      // m_Back stretched to the client area, made on first paint

  ui::StaticText m_Label;
  ui::ListCtrl m_List;
  ui::ProgressCtrl m_Progress;
  ui::Button m_Start;
  ui::Button m_Cancel;
};

// Sense bytes as the scan list shows them: "0x" and at least two upper-case
// hexadecimal digits.
std::string SenseByteText(unsigned value);
