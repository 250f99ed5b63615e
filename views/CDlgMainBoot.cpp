// "Save Data" on a "[BOOT]" node: a selected row is written as its boot
// image's file, the node itself as a folder of every image. The chooser has
// asked about, and removed, anything of that name before the copy starts.
#include "skin/BrowseDirDialog.h"
#include "views/CDlgMain.h"

void CDlgMain::ExtractBootRow(const BootImages& boot) {
  const int row = m_List.GetFirstSelected();
  if (row < 0) return;
  const std::string name = m_List.GetItemText(row, 0);
  for (const BootImage& image : boot.images) {
    if (image.name != name) continue;
    CBrowseDirDialog chooser(false, CGetCDData::SafeName(name));
    if (!chooser.Browse()) return;
    m_Copy.SetDevice(m_pDevice);
    if (m_Copy.StartBootFileCopy(m_nDataMode, image, chooser.GetTarget())) RunCopy();
    return;
  }
}

void CDlgMain::ExtractBootFolder(ui::HTREEITEM node, std::shared_ptr<const BootImages> boot) {
  CBrowseDirDialog chooser(true, CGetCDData::SafeName(m_Tree.GetItemText(node)));
  if (!chooser.Browse()) return;
  m_Copy.SetDevice(m_pDevice);
  if (m_Copy.StartBootFolderCopy(m_nDataMode, std::move(boot), chooser.GetTarget())) RunCopy();
}
