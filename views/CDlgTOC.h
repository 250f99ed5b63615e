#pragma once
// The TOC view: one row per track of the current disc or image (session,
// number, kind, first and last sector), and saving the selected track.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "copy/CDlgProgress.h"
#include "copy/GetCDData.h"
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "views/CDlgTOCRows.h"

class CDevCmdROM;

// A save the user has asked for: the sectors [start, end) of one track.
struct TrackSaveRequest {
  int kind = 0;  // 1 a data track (user data), 0 an audio track (raw sectors)
  std::int64_t start = 0, end = 0;
  std::filesystem::path path;
};

class CDlgTOC : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 167;
  static constexpr int kListId = 1017;
  static constexpr int kIconId = 201;
  static constexpr unsigned kProgressTimer = 1;

  explicit CDlgTOC(ui::Window* parent = nullptr);
  ~CDlgTOC() override;

  // Stores the device and rebuilds the list.
  void SetDevice(CDevCmdROM* device);
  // Asks for a file for the selected row and checks what the user chose;
  // nothing when there is nothing to save or the user cancelled.
  std::optional<TrackSaveRequest> PrepareTrackSave();
  // Saves the selected row's whole track to the file the user chooses, behind
  // the progress dialog; the worker has ended when it returns.
  void SaveTrack();
  void OnTimer(unsigned id) override;
  CGetCDData& Copier() { return m_Copy; }
  CDlgProgress& ProgressDialog() { return m_Progress; }

  bool OnInitDialog() override;
  void OnDestroy() override;

  CListCtrlEx& List() { return m_List; }
  const std::vector<TocRow>& Rows() const { return m_Rows; }
  TocListResult LastResult() const { return m_LastResult; }

 private:
  void ResetColumns();

  CDevCmdROM* m_pDevice = nullptr;
  CListCtrlEx m_List;
  ui::ImageList m_Images;
  std::vector<TocRow> m_Rows;  // row i of the list, as it was built
  TocListResult m_LastResult = TocListResult::NoDevice;
  CDlgProgress m_Progress{this};
  CGetCDData m_Copy;  // goes first, joining any worker
};

// Helpers shared by the panels.
// The text a string-table id holds, or `fallback` when the table lacks it.
const char* PanelString(int id, const char* fallback);
// Sizes a panel to its parent's client area and `content` to the panel's
// area below `top`.
void FitPanelToParent(ui::Window& panel, ui::Window& content, int top = 0);
// Empties a report list of rows and of every column.
void ClearReportList(ui::ListCtrl& list);
