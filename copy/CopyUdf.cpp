// UDF files and folders of the copy engine. The engine's own analyser reads
// the volume of the browsed track; a file is copied extent by extent in file
// order, unrecorded extents (and whatever the extents leave uncovered up to
// the recorded size) as zeros, left as holes in the written file. Extents are
// in the volume's logical blocks; the drive is read in 2048-byte sectors.
// Links are made as links, devices, FIFOs and sockets listed, and recorded
// permission bits and times applied, as the engine's rules say.
//
// A file whose extents are plain bytes of the image file is written by the
// job's file writers (copy/PlainFiles.h), side by side, while the walk goes
// on; everything else is written on the job's thread.
#include <algorithm>
#include <cstring>

#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "copy/PlainFiles.h"
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

namespace {

// What an entry is; one whose file entry cannot be read stays what its
// identifier says (its copy then reports the damage).
fs::NodeInfo NodeOf(CAnaly_UDF& udf, const UdfDirEntry& e) {
  fs::NodeInfo node;
  ReadUdfNodeInfo(udf, e, node, false);
  return node;
}

// The name an entry is made under.
std::string ItemName(const UdfDirEntry& e) { return CGetCDData::SafeName(DropVersion(e.name)); }

// Whether no two entries of the folder name one item of the copy.
bool DistinctNames(const std::vector<UdfDirEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const UdfDirEntry& e : entries) names.push_back(ItemName(e));
  return DistinctItemNames(std::move(names));
}

}  // namespace

// One folder job: the folders entered, and the files its writers take.
struct CGetCDData::UdfWalk {
  CGetCDData& engine;
  std::set<std::uint32_t> visited{};
  PlainFiles files{engine};

  // Hands the file whose entry is at feSector to the writers: false (write
  // it here) unless its extents, recorded one after the other, cover it to
  // its size and every byte of them is plain in the image file. Embedded
  // data, unrecorded extents, gaps, overlaps and damaged entries are all
  // written here, as they always were.
  bool Hand(const std::filesystem::path& path, std::uint32_t feSector, const std::shared_ptr<FolderSeal>& folder) {
    // An entry that does not lie in the image file (a drive, a hole) is not
    // read again for its extents: its data will not be there either.
    CAnaly_UDF& udf = engine.m_Udf;
    if (!files.Plain(std::uint64_t(udf.StoredAt(feSector)) * udf.BlockSize(), udf.BlockSize())) return false;
    UdfFileData f;
    if (udf.ReadFileExtents(feSector, f) != udf::ExtentStatus::Ok || f.embedded) return false;
    std::vector<PlainFiles::Piece> pieces;
    std::uint64_t covered = 0;
    for (const UdfExtent& x : f.extents) {
      if (covered >= f.size) break;
      if (!x.recorded || x.fileOffset != covered) return false;
      const std::uint64_t length = std::min<std::uint64_t>(x.length, f.size - covered);
      if (length == 0) continue;
      const std::optional<PlainFiles::Piece> piece = files.Plain(std::uint64_t(x.sector) * udf.BlockSize(), length);
      if (!piece) return false;
      pieces.push_back(*piece);
      covered += length;
    }
    if (covered < f.size) return false;  // zeros past the last extent
    return files.Hand(PlainFiles::File{path, FileAttributes{f.mode, f.mtime}, std::move(pieces), folder,
                                       [this, path, feSector] { engine.CopyUdfFile(path, feSector); }});
  }
};

void CGetCDData::UdfFolderThread() {
  if (!AnalyseVolume()) return;
  UdfWalk walk{*this};
  CopyUdfFolder(m_Folder, walk, nullptr);
  walk.files.Finish();
}

// Damage that is no unreadable sector of a file's data still makes the copy
// short: it is counted as one unreadable sector, so no job looks clean.
void CGetCDData::NoteUdfDamage(const std::filesystem::path& path, const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Result.unreadable += 1;
  m_Result.damaged.push_back(CopyDamage{path.string(), 1, reason});
}

bool CGetCDData::CopyUdfFolder(const FolderJob& job, UdfWalk& walk, const std::shared_ptr<FolderSeal>& parent) {
  if (!MakeFolder(job.path)) return false;
  if (Stopping()) return false;
  // The folder's own bits and time last, once everything inside it is
  // written: its children change its time.
  UdfDirEntry self;
  self.isDirectory = true;
  self.feSector = job.address;
  const fs::NodeInfo own = NodeOf(m_Udf, self);
  const auto seal = std::make_shared<FolderSeal>(
      parent, [this, path = job.path, mode = own.mode, mtime = own.mtime] { FinishFolder(path, mode, mtime); });
  std::vector<UdfDirEntry> entries;
  // The entries read before damage are copied; the folder is reported.
  if (const udf::DirResult r = m_Udf.ListDirectory(job.address, entries); !r.Ok()) NoteUdfDamage(job.path, r.Text());
  walk.visited.insert(job.address);
  // The files the writers take are handed over before the subfolders are
  // walked (as in an ISO 9660 job); two entries of one name are written one
  // after the other, here, so that the later one wins.
  const bool sideBySide = DistinctNames(entries);
  std::vector<std::optional<fs::NodeInfo>> nodes(entries.size());
  std::vector<bool> handed(entries.size(), false);
  for (std::size_t i = 0; sideBySide && i < entries.size() && !Stopping(); ++i) {
    if (m_nEntries + 1 > kMaxJobEntries) break;
    nodes[i] = NodeOf(m_Udf, entries[i]);
    if (nodes[i]->type != fs::NodeType::File) continue;
    handed[i] = walk.Hand(job.path / ItemName(entries[i]), entries[i].feSector, seal);
    if (handed[i]) ++m_nEntries;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const UdfDirEntry& e = entries[i];
    if (Stopping()) break;
    if (handed[i]) continue;
    if (++m_nEntries > kMaxJobEntries) break;
    const std::filesystem::path target = job.path / ItemName(e);
    const fs::NodeInfo node = nodes[i] ? *nodes[i] : NodeOf(m_Udf, e);
    if (node.type == fs::NodeType::Folder) {
      if (walk.visited.count(e.feSector) || job.depth + 1 >= kMaxDepth) {
        if (!MakeFolder(target)) break;
        continue;
      }
      CopyUdfFolder(FolderJob{job.dataMode, e.feSector, target, job.depth + 1}, walk, seal);
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
  // A track's "[BOOT]" folder goes into the job's folder before that folder
  // takes its recorded bits and time, which may forbid new entries.
  if (job.depth == 0) CopyBootFolder(job.path / kBootFolder);
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
