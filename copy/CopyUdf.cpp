// UDF files and folders of the copy engine. The engine's own analyser reads
// the volume of the browsed track; a file is copied extent by extent in file
// order, unrecorded extents (and whatever the extents leave uncovered up to
// the recorded size) as zeros, left as holes in the written file. Extents are
// in the volume's logical blocks; the drive is read in 2048-byte sectors.
// Links are made as links, devices, FIFOs and sockets listed, and recorded
// permission bits and times applied, as the engine's rules say.
#include <algorithm>
#include <cstring>

#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "udf/UdfNodes.h"

namespace {
constexpr int kMaxDepth = 128;
constexpr std::uint64_t kMaxJobEntries = 2000000;

std::string DropVersion(std::string name) {
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
  return name;
}
}  // namespace

bool CGetCDData::AnalyseVolume() {
  if (m_Udf.Analyse(m_pDevice, nullptr, m_nVolumeStart)) return true;
  Fail(m_Folder.path.empty() ? m_sFilePath : m_Folder.path,
       "the UDF volume at sector " + std::to_string(m_nVolumeStart) + " could not be read");
  return false;
}

void CGetCDData::UdfFolderThread() {
  if (!AnalyseVolume()) return;
  std::set<std::uint32_t> visited;
  CopyUdfFolder(m_Folder, visited);
}

namespace {

// What an entry is; one whose file entry cannot be read stays what its
// identifier says (its copy then reports the damage).
fs::NodeInfo NodeOf(CAnaly_UDF& udf, const UdfDirEntry& e) {
  fs::NodeInfo node;
  ReadUdfNodeInfo(udf, e, node, false);
  return node;
}

}  // namespace

// Damage that is no unreadable sector of a file's data still makes the copy
// short: it is counted as one unreadable sector, so no job looks clean.
void CGetCDData::NoteUdfDamage(const std::filesystem::path& path, const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Result.unreadable += 1;
  m_Result.damaged.push_back(CopyDamage{path.string(), 1, reason});
}

bool CGetCDData::CopyUdfFolder(const FolderJob& job, std::set<std::uint32_t>& visited) {
  if (!MakeFolder(job.path)) return false;
  if (Stopping()) return false;
  std::vector<UdfDirEntry> entries;
  // The entries read before damage are copied; the folder is reported.
  if (const udf::DirResult r = m_Udf.ListDirectory(job.address, entries); !r.Ok()) NoteUdfDamage(job.path, r.Text());
  visited.insert(job.address);
  for (const UdfDirEntry& e : entries) {
    if (Stopping()) break;
    if (++m_nEntries > kMaxJobEntries) break;
    const std::filesystem::path target = job.path / SafeName(DropVersion(e.name));
    const fs::NodeInfo node = NodeOf(m_Udf, e);
    if (node.type == fs::NodeType::Folder) {
      if (visited.count(e.feSector) || job.depth + 1 >= kMaxDepth) {
        if (!MakeFolder(target)) break;
        continue;
      }
      CopyUdfFolder(FolderJob{job.dataMode, e.feSector, target, job.depth + 1}, visited);
      continue;
    }
    if (node.type == fs::NodeType::Link) {
      if (!MakeLink(target, node.linkTarget, node.mtime)) break;
      continue;
    }
    if (const char* why = SkipWhy(node.type)) {
      NoteSkipped(target, why);
      continue;
    }
    SetCurrent(target.string());
    CopyUdfFile(target, e.feSector);
    m_nPercent = 0;
  }
  // The folder's own bits and time last: its children changed its time.
  UdfDirEntry self;
  self.isDirectory = true;
  self.feSector = job.address;
  const fs::NodeInfo folder = NodeOf(m_Udf, self);
  FinishFolder(job.path, folder.mode, folder.mtime);
  return !m_bFailed;
}

// One recorded extent: its first block may start inside a sector when the
// blocks are smaller than one, so a leading part is cut from that sector.
bool CGetCDData::CopyUdfExtent(Output& out, const UdfExtent& x, std::uint64_t length, std::uint64_t size) {
  std::string reason;
  bool bad[kRunSectors];
  const std::uint64_t byte = std::uint64_t(x.sector) * m_Udf.BlockSize();
  std::uint64_t sector = byte / kUserSectorSize;
  const std::size_t skip = static_cast<std::size_t>(byte % kUserSectorSize);
  m_bPastEnd = false;
  if (skip && length) {
    unsigned char part[kUserSectorSize];
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kUserSectorSize - skip, length));
    out.CountUnreadable(sector < 0x100000000ull ? ReadRun(false, static_cast<std::uint32_t>(sector), 1, part, bad) : 1);
    if (!out.Write(part + skip, n, reason)) return Fail(out.Path(), reason), false;
    length -= n;
    ++sector;
  }
  const std::uint64_t sectors = (length + kUserSectorSize - 1) / kUserSectorSize;
  for (std::uint64_t k = 0; k < sectors; k += kRunSectors) {
    if (m_bStop) return false;  // deleted with `out`
    const int r = static_cast<int>(std::min<std::uint64_t>(kRunSectors, sectors - k));
    const std::uint64_t at = sector + k;
    const std::uint64_t left = length - k * kUserSectorSize;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t(r) * kUserSectorSize));
    if (at + static_cast<std::uint64_t>(r) > 0x100000000ull) {
      out.CountUnreadable(sectors - k);
      if (!out.Skip(left, reason)) return Fail(out.Path(), reason), false;
      break;
    }
    // Read straight into the output; unreadable sectors stay zeros.
    unsigned char* into = out.Claim(static_cast<std::size_t>(r) * kUserSectorSize, reason);
    if (!into) return Fail(out.Path(), reason), false;
    out.CountUnreadable(static_cast<std::uint64_t>(ReadRun(false, static_cast<std::uint32_t>(at), r, into, bad)));
    out.Commit(n);
    SetPercent(out.Length(), size);
  }
  return true;
}

bool CGetCDData::CopyUdfFile(const std::filesystem::path& path, std::uint32_t feSector) {
  Output out(Target(), path);
  std::string reason;
  if (!out.Open(reason)) {
    Fail(path, reason);
    return false;
  }
  UdfFileData f;
  if (const udf::ExtentStatus s = m_Udf.ReadFileExtents(feSector, f); s != udf::ExtentStatus::Ok) {
    // An entry that cannot be read leaves an empty file, reported with why.
    if (!out.Close(reason)) return Fail(path, reason), false;
    NoteFile(out);
    NoteUdfDamage(path, std::string("damaged file entry: ") + udf::ExtentStatusText(s));
    return true;
  }
  out.SetAttributes(f.mode, f.mtime);
  const std::uint64_t size = f.size;
  if (f.embedded) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, f.inlineData.size()));
    if (!out.Write(f.inlineData.data(), n, reason) || !out.Skip(size - n, reason)) return Fail(path, reason), false;
  } else {
    for (const UdfExtent& x : f.extents) {
      if (x.fileOffset >= size) break;
      // Extents follow each other; a gap before one reads as zeros.
      if (x.fileOffset > out.Length() && !out.Skip(x.fileOffset - out.Length(), reason)) return Fail(path, reason), false;
      if (x.fileOffset < out.Length()) continue;  // overlapping: the earlier extent stands
      const std::uint64_t length = std::min<std::uint64_t>(x.length, size - x.fileOffset);
      if (!x.recorded) {
        if (!out.Skip(length, reason)) return Fail(path, reason), false;
        SetPercent(out.Length(), size);
        continue;
      }
      if (!CopyUdfExtent(out, x, length, size)) return false;
    }
    if (out.Length() < size && !out.Skip(size - out.Length(), reason)) return Fail(path, reason), false;
  }
  m_nPercent = 100;
  if (!out.Close(reason)) return Fail(path, reason), false;
  NoteFile(out);
  return true;
}
