// The TOC view.
#include "views/CDlgTOC.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "disc/DevCmdROM.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace {
constexpr int kStrNotReady = 14;
constexpr int kStrNotFirstTrack = 23;
constexpr const char* kNotReady = "Device not Ready,Please try again!";
constexpr const char* kNotFirstTrack = "This is not the first track, the ISO file may be incorrect, Continue?";
constexpr const char* kDataFilter = "ISO File(*.iso)|*.iso|Data File(*.dat)|*.dat||";
constexpr const char* kAudioFilter = "Wav File(*.wav)|*.wav|Data File(*.dat)|*.dat||";
}  // namespace

const char* PanelString(int id, const char* fallback) {
  const char* s = res::String(id);
  return s ? s : fallback;
}

void FitPanelToParent(ui::Window& panel, ui::Window& content, int top) {
  ui::Window* parent = panel.GetParent();
  if (!parent) return;
  const ui::Rect r = parent->GetClientRect();
  panel.MoveWindow(0, 0, r.Width(), r.Height());
  content.MoveWindow(0, top, r.Width(), r.Height() - top);
}

void ClearReportList(ui::ListCtrl& list) {
  // Deleting column 0 once more than there are columns leaves none whatever
  // the count said.
  list.DeleteAllItems();
  for (int n = list.GetColumnCount() + 1; n > 0; --n) list.DeleteColumn(0);
}

CDlgTOC::CDlgTOC(ui::Window* parent) : ui::Dialog(kTemplateId, parent) { BindControl(kListId, m_List); }

CDlgTOC::~CDlgTOC() = default;

bool CDlgTOC::OnInitDialog() {
  m_List.SetFullRowSel(true);
  FitPanelToParent(*this, m_List);
  m_Images.Create(16, 16);
  m_Images.AddIcon(kIconId);
  m_List.SetImageList(&m_Images);
  return true;
}

void CDlgTOC::OnDestroy() {
  m_List.SetImageList(nullptr);
  m_Images.DeleteImageList();
}

void CDlgTOC::ResetColumns() {
  ClearReportList(m_List);
  for (int c = 0; c < 5; ++c) m_List.InsertColumn(c, kTocColumns[c].heading, ui::LVCFMT_LEFT, kTocColumns[c].width);
}

void CDlgTOC::SetDevice(CDevCmdROM* device) {
  m_pDevice = device;
  ResetColumns();
  m_Rows.clear();
  m_LastResult = BuildTocRows(device, m_Rows);
  if (m_LastResult == TocListResult::NotReady) {
    ui::AfxMessageBox(PanelString(kStrNotReady, kNotReady), ui::MB_OK | ui::MB_ICONINFORMATION);
    return;
  }
  for (std::size_t i = 0; i < m_Rows.size(); ++i) {
    const TocRow& r = m_Rows[i];
    const int row = m_List.InsertItem(static_cast<int>(i), r.session, 0);
    m_List.SetItemText(row, 1, r.track);
    m_List.SetItemText(row, 2, r.type);
    m_List.SetItemText(row, 3, r.start);
    m_List.SetItemText(row, 4, r.end);
    m_List.SetItemData(row, i);
  }
}

std::optional<TrackSaveRequest> CDlgTOC::PrepareTrackSave() {
  if (!m_pDevice) return std::nullopt;
  if (m_pDevice->TestUnitReady() != 0) {
    ui::AfxMessageBox(PanelString(kStrNotReady, kNotReady), ui::MB_OK | ui::MB_ICONINFORMATION);
    return std::nullopt;
  }
  const int sel = m_List.GetFirstSelected();
  if (sel < 0) return std::nullopt;
  const std::size_t index = m_List.GetItemData(sel);
  if (index >= m_Rows.size()) return std::nullopt;
  const TocRow& row = m_Rows[index];
  // A row whose end the TOC does not give has no range to copy.
  if (!row.hasRange) return std::nullopt;

  const bool data = m_List.GetItemText(sel, 2).rfind("DATA", 0) == 0;
  const std::string name = data ? "Track" + m_List.GetItemText(sel, 1) : std::string();
  ui::CFileDialog dlg(false, "", name.c_str(), ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT,
                      data ? kDataFilter : kAudioFilter, this);
  if (dlg.DoModal() != IDOK) return std::nullopt;

  std::string ext = dlg.GetFileExt();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
  if (data && ext == "ISO" && row.trackNo > 1) {
    if (ui::AfxMessageBox(PanelString(kStrNotFirstTrack, kNotFirstTrack), ui::MB_OKCANCEL | ui::MB_ICONQUESTION) ==
        IDCANCEL)
      return std::nullopt;
  }

  TrackSaveRequest req;
  req.kind = data ? 1 : 0;
  // The whole track: a full-TOC row shows its last sector, and the copy runs
  // up to but not including its end, so the end is one past that sector.
  req.start = row.copyStart;
  req.end = row.copyEnd;
  req.path = dlg.GetPathName();
  return req;
}
