// Saving a track from the TOC view: the chosen row's sectors, first to one
// past its last, on the copy engine behind the progress dialog.
#include <filesystem>
#include <system_error>

#include "platform/ui/Ui.h"
#include "views/CDlgTOC.h"

void CDlgTOC::SaveTrack() {
  const std::optional<TrackSaveRequest> req = PrepareTrackSave();
  if (!req) return;
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(req->path, ec)))
    std::filesystem::remove(req->path, ec);
  m_Copy.SetDevice(m_pDevice);
  if (!m_Copy.StartTrackCopy(req->kind, req->start, req->end, req->path.string())) return;
  SetTimer(kProgressTimer, 100);
  const int result = m_Progress.DoModal();
  KillTimer(kProgressTimer);
  FinishCopy(m_Copy, result);
}

void CDlgTOC::OnTimer(unsigned id) {
  // The engine says it has stopped once the file is complete, and also when
  // the file could not be written: the dialog never waits for ever.
  if (id == kProgressTimer && PollCopy(m_Copy, m_Progress)) KillTimer(kProgressTimer);
}
