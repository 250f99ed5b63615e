// The file browser's part in the volume view: the descriptor buffer holds
// the volume of the session the user is browsing.
#include <cstring>

#include "views/CDlgMain.h"

void CDlgMain::KeepSessionVolume(ui::HTREEITEM trackNode, int fs) {
  m_nVolumeFsType = fs;
  // A track whose volume was not read left the buffer as it was.
  if (!m_pVdBuffer || m_Tree.GetItemData(trackNode) == 0) return;
  SessionVolume& v = m_SessionVolumes[m_Tree.GetParentItem(trackNode)];
  std::memcpy(v.descriptor.data(), m_pVdBuffer, v.descriptor.size());
  v.fs = fs;
  v.udf = m_UdfSummary;
}

void CDlgMain::ShowSessionVolume(ui::HTREEITEM node) {
  if (!m_pVdBuffer || !node || !m_Tree.IsValid(node)) return;
  ui::HTREEITEM session = node;
  while (ui::HTREEITEM up = m_Tree.GetParentItem(session)) session = up;
  // A session without a volume (audio only), the lead-out and a blank disc
  // leave the last one shown.
  const auto it = m_SessionVolumes.find(session);
  if (it == m_SessionVolumes.end()) return;
  std::memcpy(m_pVdBuffer, it->second.descriptor.data(), it->second.descriptor.size());
  m_nVolumeFsType = it->second.fs;
  m_UdfSummary = it->second.udf;
}
