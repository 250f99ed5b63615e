// Files of a folder job written side by side from the image file.
#include "copy/PlainFiles.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "copy/CopyOutput.h"
#include "disc/DevCmdROM.h"

std::optional<CGetCDData::PlainFiles::Piece> CGetCDData::PlainFiles::Plain(std::uint64_t at, std::uint64_t bytes) const {
  const std::uint64_t lba = at / kUserSectorSize;
  const std::uint64_t skip = at % kUserSectorSize;
  const std::uint64_t sectors = (skip + bytes + kUserSectorSize - 1) / kUserSectorSize;
  if (bytes == 0 || lba + sectors > 0x100000000ull) return std::nullopt;
  const std::optional<PlainBytes> where =
      m_engine.m_pDevice->PlainUserData(static_cast<std::uint32_t>(lba), static_cast<std::uint32_t>(sectors));
  if (!where) return std::nullopt;
  return Piece{where->fd, where->offset + skip, bytes};
}

bool CGetCDData::PlainFiles::SideBySide() {
  if (!m_asked) {
    m_asked = true;
    const unsigned count = FolderWriters::SuitableCount();
    if (count > 0 && m_engine.Target().Active() && m_engine.Target().KeepsCase())
      m_writers = std::make_unique<FolderWriters>(count);
  }
  return m_writers != nullptr;
}

bool CGetCDData::PlainFiles::Hand(File file) {
  if ((file.pieces.empty() && !m_writers) || !SideBySide()) return false;
  const void* folder = file.folder.get();
  m_writers->Submit(folder, [this, file = std::move(file)](FolderWriters::Turn& turn) mutable { Write(file, turn); });
  return true;
}

void CGetCDData::PlainFiles::Write(File& file, FolderWriters::Turn& turn) {
  CGetCDData& engine = m_engine;
  if (engine.Stopping()) return;  // never made
  engine.SetCurrent(file.path.string());
  engine.m_nPercent = 0;
  Output out(engine.Target(), file.path);
  out.SetAttributes(file.attributes.mode, file.attributes.mtime);
  std::string reason;
  if (!out.Open(reason)) return engine.Fail(file.path, reason);
  turn.Leave();  // made: its folder's next file can be made beside this one's filling
  for (const Piece& p : file.pieces) {
    switch (Fill(out, p, reason)) {
      case Filled::Done: continue;
      case Filled::Failed: return engine.Fail(file.path, reason);
      case Filled::Stopped: return;  // deleted with `out`
      case Filled::Unread: {
        out.Discard();
        std::lock_guard<std::mutex> lock(m_redoLock);
        m_redo.push_back(std::move(file));
        return;
      }
    }
  }
  if (!out.Close(reason)) return engine.Fail(file.path, reason);
  engine.NoteFile(out);
  engine.m_nPercent = 100;
}

CGetCDData::PlainFiles::Filled CGetCDData::PlainFiles::Fill(Output& out, const Piece& p, std::string& reason) {
  const std::atomic<bool>& stop = m_engine.m_bStop;
  if (!m_noKernelCopy) {
    switch (out.CopyFrom(p.fd, p.offset, p.bytes, stop, reason)) {
      case Output::Copy::Done: return Filled::Done;
      case Output::Copy::Failed: return Filled::Failed;
      case Output::Copy::Refused: break;
    }
    if (stop) return Filled::Stopped;
    m_noKernelCopy = true;  // another file system, or a kernel without it: read from now on
  }
  constexpr std::size_t kPiece = 256 * 1024;
  for (std::uint64_t done = 0; done < p.bytes;) {
    if (stop) return Filled::Stopped;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, p.bytes - done));
    unsigned char* into = out.Claim(n, reason);
    if (!into) return Filled::Failed;
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::pread(p.fd, into + got, n - got, static_cast<off_t>(p.offset + done + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    out.Commit(got);
    if (got < n) return Filled::Unread;
    done += n;
  }
  return Filled::Done;
}

void CGetCDData::PlainFiles::Finish() {
  if (m_writers) m_writers->Finish();
  for (File& file : m_redo) {
    if (m_engine.Stopping()) break;
    m_engine.SetCurrent(file.path.string());
    file.redo();
    file.folder.reset();
  }
  m_redo.clear();
}

bool DistinctItemNames(std::vector<std::string> names) {
  for (std::string& name : names)
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  std::sort(names.begin(), names.end());
  return std::adjacent_find(names.begin(), names.end()) == names.end();
}
