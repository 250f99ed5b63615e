// The volume information view.
#include "views/CDlgVol.h"

#include "views/CDlgVolRows.h"
#include "views/CDlgTOC.h"

CDlgVol::CDlgVol(ui::Window* parent) : ui::Dialog(kTemplateId, parent) { BindControl(kListId, m_List); }

void CDlgVol::InsertColumns() {
  m_List.InsertColumn(0, "Volume Descriptor", ui::LVCFMT_LEFT, 200);
  m_List.InsertColumn(1, "Infomation", ui::LVCFMT_LEFT, 350);
}

bool CDlgVol::OnInitDialog() {
  m_List.SetFullRowSel(true);
  FitPanelToParent(*this, m_List);
  ClearReportList(m_List);
  InsertColumns();
  return true;
}

void CDlgVol::ShowDescriptor(const unsigned char* vd, int size, int fsType) {
  if (!vd || size == 0) return;
  m_List.DeleteAllItems();
  if (m_List.GetColumnCount() == 0) {
    InsertColumns();  // shown before the window was made (the command-line tool)
  }
  const auto rows = BuildVolRows(vd, size, fsType, m_UdfSummary ? &*m_UdfSummary : nullptr);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int row = m_List.InsertItem(static_cast<int>(i), rows[i].first);
    m_List.SetItemText(row, 1, rows[i].second);
  }
}
