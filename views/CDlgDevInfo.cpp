// The device capability view.
#include "views/CDlgDevInfo.h"

#include "disc/DevCmdROM.h"
#include "views/CDlgDevInfoRows.h"
#include "views/CDlgTOC.h"

CDlgDevInfo::CDlgDevInfo(ui::Window* parent) : ui::Dialog(kTemplateId, parent) { BindControl(kListId, m_List); }

void CDlgDevInfo::InsertColumns() {
  m_List.InsertColumn(0, "Support", ui::LVCFMT_LEFT, 200);
  m_List.InsertColumn(1, "Device Parameter", ui::LVCFMT_LEFT, 350);
}

bool CDlgDevInfo::OnInitDialog() {
  FitPanelToParent(*this, m_List);
  ClearReportList(m_List);
  InsertColumns();
  return true;
}

void CDlgDevInfo::SetDevice(CDevCmdROM* device) {
  m_List.DeleteAllItems();
  if (m_List.GetColumnCount() == 0) InsertColumns();
  if (!device) return;
  std::vector<DevInfoRow> rows;
  if (!ReadDevInfoRows(*device, rows)) return;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int row = m_List.InsertItem(static_cast<int>(i), rows[i].first);
    m_List.SetItemText(row, 1, rows[i].second);
  }
}
