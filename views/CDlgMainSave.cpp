// The file browser's "Save Data": an audio track saved as a WAV file, the
// selected list row or tree folder extracted into a folder the user chooses.
// The copy runs on the engine's worker behind the modal progress dialog,
// which timer 1 keeps up to date.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "copy/IsoNames.h"
#include "fs/iso9660/Directory.h"
#include "platform/orvane/DeviceSource.h"
#include "platform/ui/Ui.h"
#include "skin/BrowseDirDialog.h"
#include "udf/UdfNodes.h"
#include "views/CDlgMain.h"
#include "views/CDlgTOC.h"

namespace {

constexpr int kStrNotReady = 14;
constexpr const char* kNotReady = "Device not Ready,Please try again!";
constexpr unsigned kCopyPollMs = 100;

// Removes a file (never a folder) at path.
void DeleteFileAt(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) std::filesystem::remove(path, ec);
}

}  // namespace

void CDlgMain::OnSaveData() {
  if (!m_pDevice) return;
  if (m_pDevice->TestUnitReady() != 0) {
    ui::AfxMessageBox(PanelString(kStrNotReady, kNotReady), ui::MB_OK | ui::MB_ICONINFORMATION);
    return;
  }
  ui::HTREEITEM sel = m_Tree.GetSelectedItem();
  if (!sel) return;
  if (m_Tree.GetItemData(sel) == 0) {
    const std::string text = m_Tree.GetItemText(sel);
    if (text.find("AUDIO TRACK") != std::string::npos) {
      SaveAudioTrack(sel);
      return;
    }
    if (text.find("Session") != std::string::npos) return;
  }
  if (m_nLastFocus == 2) {
    ExtractListItem();
  } else if (m_nLastFocus == 1) {
    ExtractTreeFolder();
  }
}

void CDlgMain::SaveAudioTrack(ui::HTREEITEM node) {
  const TocData::_Data* d = GetTrackDescriptor(node);
  if (!d) return;
  const TrackNumbers n = GetTrackNumbers(node);
  const TocData& session = m_Sessions[static_cast<int>(n.session - 1)];
  const long t = n.track;
  const std::int64_t start = TrackStart(*d);
  // The end is one past the track's last sector: the next track's start, or
  // for a session's last track the session's own lead-out, so neither the
  // last sector nor the gap before a next session goes into the file.
  std::int64_t end = 0;
  const TocData::_Data* next = t < session.GetLastTrackNo() ? session.GetTrackData(static_cast<int>(t + 1)) : nullptr;
  end = next ? TrackStart(*next) : static_cast<std::int64_t>(session.GetLeadOutStartPos());
  if (end <= start) return;

  ui::CFileDialog dlg(false, "wav", "TRACK.wav", ui::OFN_HIDEREADONLY | ui::OFN_OVERWRITEPROMPT,
                      "Wav Files(*.wav)|*.wav||", this);
  if (dlg.DoModal() != IDOK) return;
  const std::string path = dlg.GetPathName();
  DeleteFileAt(path);
  m_Copy.SetDevice(m_pDevice);
  if (m_Copy.StartTrackCopy(0, start, end, path)) RunCopy();
}

bool CDlgMain::GetTrackStart(ui::HTREEITEM node, std::uint32_t& start) const {
  const TocData::_Data* d = GetTrackDescriptor(node);
  if (!d) return false;
  const std::int64_t v = TrackStart(*d);
  if (v < 0 || v > 0xFFFFFFFFll) return false;
  start = static_cast<std::uint32_t>(v);
  return true;
}

void CDlgMain::ExtractListItem() {
  const int row = m_List.GetFirstSelected();
  if (row < 0) return;
  if (const auto boot = m_Boot.OfNode(m_Tree.GetSelectedItem())) return ExtractBootRow(*boot);
  const std::string name = m_List.GetItemText(row, 0);
  const std::string type = m_List.GetItemText(row, 2);
  const std::uint64_t size = std::strtoull(m_List.GetItemText(row, 3).c_str(), nullptr, 10);
  const long long address = std::strtoll(m_List.GetItemText(row, 4).c_str(), nullptr, 10);
  // A device node, FIFO or socket is a name on the disc, with no data
  // behind it: nothing could be written for it.
  if (type == "Device" || type == "FIFO" || type == "Socket") {
    ui::AfxMessageBox("\"" + name + "\" is a " + (type == "Device" ? std::string("device node") : type) +
                          ": it holds no data, so there is nothing to save.",
                      ui::MB_OK | ui::MB_ICONINFORMATION);
    return;
  }
  if (type == "Link") {
    SaveLinkRow(row);
    return;
  }

  // The name comes from the medium: made one safe path component first.
  CBrowseDirDialog chooser(type == "Folder", CGetCDData::SafeName(name));
  if (!chooser.Browse()) return;
  const std::string target = chooser.GetTarget();
  if (type == "File") DeleteFileAt(target);

  ui::HTREEITEM sel = m_Tree.GetSelectedItem();
  if (!sel) return;
  const int fs = GetTrackFsType(sel);
  std::uint32_t volume = 0;
  GetTrackStart(sel, volume);
  m_Copy.SetDevice(m_pDevice);
  bool started = false;
  if (type == "File") {
    const std::uint64_t folder = m_Tree.GetItemData(sel);
    started = m_Copy.StartFileCopy(m_nDataMode, address, size, target, fs, TrackNames(sel), volume,
                                   folder <= 0xFFFFFFFFull ? static_cast<std::uint32_t>(folder) : 0);
  } else if (type == "Folder") {
    started = m_Copy.StartFolderCopy(m_nDataMode, address, target, fs, TrackNames(sel), volume);
  }
  if (started) RunCopy();
}

namespace {

// The node of a list row, found again: a UDF row by the file entry its Pos
// column names, an ISO 9660 row by its name and type in the folder's records.
bool RowNode(CAnaly_UDF* udf, CDevCmdROM& device, std::uint32_t folder, const fs::iso9660::Policy& policy,
             const IsoNames* names, const ui::ListCtrl& list, int row, fs::NodeInfo& node) {
  const std::string name = list.GetItemText(row, 0);
  const std::string type = list.GetItemText(row, 2);
  if (udf) {
    UdfDirEntry e;
    e.name = name;
    e.feSector = static_cast<std::uint32_t>(std::strtoul(list.GetItemText(row, 4).c_str(), nullptr, 10));
    return ReadUdfNodeInfo(*udf, e, node, false) && fs::TypeColumnText(node.type) == type;
  }
  orvane::DeviceSectorSource source(device);
  fs::iso9660::DirectoryReader reader(source, policy, names ? names->names : fs::iso9660::Names{});
  for (const fs::iso9660::Entry& e : reader.Read(folder, 0).entries) {
    if (e.hidden || e.info.name != name || fs::TypeColumnText(e.info.type) != type) continue;
    node = e.info;
    return true;
  }
  return false;
}

}  // namespace

bool CDlgMain::ListRowLink(int row, std::string& target, std::optional<std::int64_t>& mtime) {
  ui::HTREEITEM sel = m_Tree.GetSelectedItem();
  if (!sel || !m_pDevice || row < 0 || row >= m_List.GetItemCount()) return false;
  const bool udf = GetTrackFsType(sel) >= 2;
  if (udf && !m_bUdfValid) return false;
  fs::NodeInfo node;
  if (!RowNode(udf ? &m_Udf : nullptr, *m_pDevice, static_cast<std::uint32_t>(m_Tree.GetItemData(sel)),
               fs::iso9660::BrowserPolicy(m_nDataMode), TrackNames(sel).get(), m_List, row, node) ||
      node.type != fs::NodeType::Link)
    return false;
  target = node.linkTarget;
  mtime = node.mtime;
  return true;
}

void CDlgMain::SaveLinkRow(int row) {
  std::string target;
  std::optional<std::int64_t> mtime;
  if (!ListRowLink(row, target, mtime)) {
    ui::AfxMessageBox("\"" + m_List.GetItemText(row, 0) + "\" is no longer listed in its folder on the disc.",
                      ui::MB_OK | ui::MB_ICONINFORMATION);
    return;
  }
  CBrowseDirDialog chooser(false, CGetCDData::SafeName(m_List.GetItemText(row, 0)));
  if (!chooser.Browse()) return;
  m_Copy.SaveLink(chooser.GetTarget(), target, mtime);
  FinishCopy(m_Copy, IDOK);
}

void CDlgMain::ExtractTreeFolder() {
  ui::HTREEITEM sel = m_Tree.GetSelectedItem();
  if (!sel) return;
  if (auto boot = m_Boot.OfNode(sel)) return ExtractBootFolder(sel, std::move(boot));
  const std::uint64_t address = m_Tree.GetItemData(sel);
  if (address == 0) return;
  CBrowseDirDialog chooser(true, CGetCDData::SafeName(m_Tree.GetItemText(sel)));
  if (!chooser.Browse()) return;
  m_Copy.SetDevice(m_pDevice);
  const int fs = GetTrackFsType(sel);
  std::uint32_t volume = 0;
  GetTrackStart(sel, volume);
  // A track's root takes its boot images along, in "[BOOT]".
  m_Copy.SetBootImages(FindTrackNode(sel) == sel ? m_Boot.OfTrack(sel) : nullptr);
  if (m_Copy.StartFolderCopy(m_nDataMode, static_cast<std::int64_t>(address), chooser.GetTarget(), fs,
                             TrackNames(sel), volume))
    RunCopy();
}

void CDlgMain::RunCopy() {
  SetTimer(kCopyTimer, kCopyPollMs);
  const int result = m_Progress.DoModal();
  KillTimer(kCopyTimer);
  FinishCopy(m_Copy, result);
}

void CDlgMain::OnTimer(unsigned id) {
  if (id != kCopyTimer || !PollCopy(m_Copy, m_Progress)) return;
  KillTimer(kCopyTimer);
  Invalidate(true);
}
