// UDF files and folders of the copy engine. The engine's own analyser reads
// the volume of the browsed track; a file is copied extent by extent in file
// order, unrecorded extents (and whatever the extents leave uncovered up to
// the recorded size) as zeros, left as holes in the written file.
#include <algorithm>
#include <cstring>

#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"

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

bool CGetCDData::CopyUdfFolder(const FolderJob& job, std::set<std::uint32_t>& visited) {
  if (!MakeFolder(job.path)) return false;
  if (Stopping()) return false;
  std::vector<UdfDirEntry> entries;
  if (m_Udf.ReadDirectory(job.address, entries) != 0) {
    // The entries read before the error are copied; the folder is reported.
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Result.unreadable += 1;
    m_Result.damaged.push_back(CopyDamage{job.path.string(), 1});
  }
  visited.insert(job.address);
  for (const UdfDirEntry& e : entries) {
    if (Stopping()) break;
    if (++m_nEntries > kMaxJobEntries) break;
    const std::filesystem::path target = job.path / SafeName(DropVersion(e.name));
    if (e.isDirectory) {
      if (visited.count(e.feSector) || job.depth + 1 >= kMaxDepth) {
        if (!MakeFolder(target)) break;
        continue;
      }
      CopyUdfFolder(FolderJob{job.dataMode, e.feSector, target, job.depth + 1}, visited);
      continue;
    }
    SetCurrent(target.string());
    CopyUdfFile(target, e.feSector);
    m_nPercent = 0;
  }
  return !m_bFailed;
}

bool CGetCDData::CopyUdfFile(const std::filesystem::path& path, std::uint32_t feSector) {
  Output out(path);
  std::string reason;
  if (!out.Open(reason)) {
    Fail(path, reason);
    return false;
  }
  UdfFileData f;
  if (m_Udf.GetFileExtents(feSector, f) != 0) {
    // An entry that cannot be read leaves an empty file, reported as one
    // unreadable sector of it.
    out.CountUnreadable(1);
    if (!out.Close(reason)) return Fail(path, reason), false;
    NoteFile(out);
    return true;
  }
  const std::uint64_t size = f.size;
  if (f.embedded) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, f.inlineData.size()));
    if (!out.Write(f.inlineData.data(), n, reason) || !out.Skip(size - n, reason)) return Fail(path, reason), false;
  } else {
    bool bad[kRunSectors];
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
      m_bPastEnd = false;
      const std::uint64_t sectors = (length + kUserSectorSize - 1) / kUserSectorSize;
      for (std::uint64_t k = 0; k < sectors; k += kRunSectors) {
        if (m_bStop) return false;  // deleted with `out`
        const int r = static_cast<int>(std::min<std::uint64_t>(kRunSectors, sectors - k));
        const std::uint64_t at = std::uint64_t(x.sector) + k;
        const std::uint64_t left = length - k * kUserSectorSize;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t(r) * kUserSectorSize));
        if (at + static_cast<std::uint64_t>(r) > 0x100000000ull) {
          out.CountUnreadable(sectors - k);
          if (!out.Skip(left, reason)) return Fail(path, reason), false;
          break;
        }
        // Read straight into the output; unreadable sectors stay zeros.
        unsigned char* into = out.Claim(static_cast<std::size_t>(r) * kUserSectorSize, reason);
        if (!into) return Fail(path, reason), false;
        out.CountUnreadable(static_cast<std::uint64_t>(ReadRun(false, static_cast<std::uint32_t>(at), r, into, bad)));
        out.Commit(n);
        SetPercent(out.Length(), size);
      }
    }
    if (out.Length() < size && !out.Skip(size - out.Length(), reason)) return Fail(path, reason), false;
  }
  m_nPercent = 100;
  if (!out.Close(reason)) return Fail(path, reason), false;
  NoteFile(out);
  return true;
}
