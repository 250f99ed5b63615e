// The sector viewer.
#include "views/CDlgSector.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"
#include "platform/ui/Ui.h"
#include "views/CDlgTOC.h"

namespace {
constexpr int kListTop = 30;
}  // namespace

CDlgSector::CDlgSector(ui::Window* parent) : ui::Dialog(kTemplateId, parent) {
  BindControl(kEditId, m_Edit);
  BindControl(kScrollId, m_Scroll);
  BindControl(kAllModeId, m_AllMode);
  BindControl(kListId, m_List);
  // Checked from the start, before any window exists, so that a display
  // without one (the command-line tool) reads raw sectors as the panel does.
  m_AllMode.SetCheck(true);
}

bool CDlgSector::OnInitDialog() {
  FitPanelToParent(*this, m_List, kListTop);
  m_AllMode.SetCheck(true);
  return true;
}

void CDlgSector::SetDevice(CDevCmdROM* device, int dataMode) {
  m_pDevice = device;
  m_nDataMode = dataMode;
  m_Edit.SetWindowText(m_sSector.empty() ? "16" : m_sSector);
  if (m_nDataMode == 2) {
    m_AllMode.SetCheck(true);
    m_AllMode.EnableWindow(false);
  }
  if (!m_pDevice) return;
  DISC_INFO di{};
  if (m_pDevice->ReadDiscInfo(di) == 0) m_AllMode.EnableWindow(mmc::DiscInfoFields(di).DiscType() != mmc::kDiscTypeNone);
  ShowSector();
}

void CDlgSector::ShowSector() {
  m_sSector = m_Edit.GetWindowText();
  const long long n = LeadingDecimal(m_sSector);
  if (n < 0 || !m_pDevice) return;
  if (m_pDevice->TestUnitReady() != 0) return;
  const SectorReadResult r =
      ReadSectorForDump(*m_pDevice, static_cast<std::uint32_t>(n), m_AllMode.GetSelect(), m_Buffer.data());
  m_AllMode.EnableWindow(r.cdMedium);
  m_List.ResetContent();
  if (!r.ok) return;
  const auto lines = SectorDumpLines(m_Buffer.data(), static_cast<std::size_t>(r.dumpSize));
  for (std::size_t i = 0; i < lines.size(); ++i) m_List.InsertString(static_cast<int>(i), lines[i]);
}

bool CDlgSector::PreTranslateMessage(ui::MSG* msg) {
  if (msg->message != ui::WM_KEYDOWN) return false;
  if (msg->wParam == static_cast<ui::WPARAM>(ui::VK_RETURN)) {
    if (msg->hwnd == &m_Edit) ShowSector();
    return true;
  }
  // Escape never closes the panel.
  return msg->wParam == static_cast<ui::WPARAM>(ui::VK_ESCAPE);
}

void CDlgSector::OnCommand(int id) {
  if (id == kAllModeId) ShowSector();
}

void CDlgSector::OnVScroll(int code, int, ui::Window* bar) {
  if (bar != &m_Scroll) return;
  if (code != ui::SB_LINEUP && code != ui::SB_LINEDOWN) return;
  const std::string text = m_Edit.GetWindowText();
  if (text.empty()) return;
  long long n = LeadingDecimal(text);
  if (code == ui::SB_LINEUP) {
    if (n < 0x7FFFFFFF) ++n;
  } else if (n > 0) {
    --n;
  }
  m_Edit.SetWindowText(std::to_string(n));
  m_List.ShowWindow(ui::SW_HIDE);
  ShowSector();
  m_List.ShowWindow(ui::SW_SHOW);
}

void CDlgSector::SaveSector() {
  ui::CFileDialog dlg(false, "dat", "Sector.dat", ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT,
                      "Data Files(*.dat)|*.dat||", this);
  if (dlg.DoModal() != IDOK) return;
  const std::string path = dlg.GetPathName();
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path, ec);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(m_Buffer.data(), 1, m_Buffer.size(), f);
    std::fclose(f);
  }
}
