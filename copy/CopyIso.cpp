// ISO 9660 files and folders of the copy engine: fs/iso9660 reads the
// directories with the copy engine's policy (user data first, a file's
// extents joined); this file writes what it finds.
//
// File data of CD-ROM XA discs is read raw, so that each sector is cut by
// its own header and sub-header. Damage met in the folders is reported with
// the folder that holds it; every directory is entered once in one job.
//
// A file whose data the device says is plain bytes of the image file is
// written by the job's file writers (copy/PlainFiles.h), side by side,
// while the walk goes on; everything else is written on the job's thread.
#include <algorithm>
#include <cstring>

#include "copy/CopyOutput.h"
#include "copy/FolderWriters.h"
#include "copy/GetCDData.h"
#include "copy/IsoNames.h"
#include "copy/PlainFiles.h"
#include "disc/DevCmdROM.h"
#include "disc/SectorLayout.h"
#include "fs/iso9660/Walk.h"
#include "platform/orvane/DeviceSource.h"

namespace {

namespace iso9660 = fs::iso9660;

struct Payload {
  std::size_t start = 0, size = CGetCDData::kUserSectorSize;
  bool form2 = false;
};

// Where the user data of a raw sector lies, by the one sector rule.
Payload RawPayload(const unsigned char* s, int dataMode) {
  const disc::SectorShape shape = disc::ClassifySector(s, dataMode);
  return Payload{shape.offset, shape.size, shape.form2};
}

}  // namespace

void CGetCDData::NoteFault(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Result.faults.push_back(text);
}

namespace {
iso9660::Names NamesOf(const std::shared_ptr<const IsoNames>& names) { return names ? names->names : iso9660::Names{}; }
}  // namespace

// One folder job: the engine, the walk's limits, and its directory reads.
struct CGetCDData::IsoWalk {
  CGetCDData& engine;
  iso9660::WalkGuard guard{iso9660::LoopRule::Once};
  std::optional<iso9660::Entry> self{};  // the job's folder's own "." record

  // The entries of one directory, its damage noted against path; top: the
  // job's first folder, where a Rock Ridge relocation folder is hidden.
  iso9660::Listing Read(std::uint32_t lba, int dataMode, const std::filesystem::path& path, bool top) {
    orvane::DeviceSectorSource source(*engine.m_pDevice);
    iso9660::DirectoryReader reader(source, iso9660::CopyPolicy(dataMode), NamesOf(engine.m_pIsoNames));
    const std::uint64_t spent = engine.m_nDirSectors;
    reader.SetSectorBudget(spent < iso9660::kMostWalkSectors ? iso9660::kMostWalkSectors - spent : 0);
    iso9660::Listing listing = reader.Read(lba, 0);
    if (top) {
      iso9660::HideRelocationFolder(reader, listing);
      if (listing.read) self = reader.ReadSelf(lba);
    }
    engine.m_nDirSectors += reader.SectorsRead();
    if (listing.unreadable) {
      // What the unreadable directory sectors held is missing below this folder.
      std::lock_guard<std::mutex> lock(engine.m_Lock);
      engine.m_Result.unreadable += listing.unreadable;
      engine.m_Result.damaged.push_back(CopyDamage{path.string(), listing.unreadable});
    }
    for (iso9660::FaultAt f : listing.faults) {
      if (f.fault == iso9660::Fault::UnreadableSector) continue;
      f.path = path.string();
      engine.NoteFault(iso9660::Describe(f));
    }
    return listing;
  }

  // The files the writers take (copy/PlainFiles.h).
  PlainFiles files{engine};

  // Hands a file of the folder sealed by folder to the writers: false
  // (write it here) unless every byte of it is plain in the image file.
  bool Hand(const std::filesystem::path& path, int dataMode, const iso9660::Entry& e, const FileAttributes& attributes,
            const std::shared_ptr<FolderSeal>& folder) {
    // CD-ROM XA is read raw, sector by sector, and compressed data decoded.
    if (dataMode == 2 || e.compression != iso9660::Compression::None) return false;
    std::vector<PlainFiles::Piece> pieces;
    for (const iso9660::Extent& x : e.extents) {
      if (x.bytes == 0) continue;
      const std::optional<PlainFiles::Piece> piece = files.Plain(std::uint64_t(x.lba) * kUserSectorSize, x.bytes);
      if (!piece) return false;
      pieces.push_back(*piece);
    }
    return files.Hand(PlainFiles::File{path, attributes, std::move(pieces), folder, [this, path, dataMode, e, attributes] {
                                         engine.CopyIsoEntry(path, dataMode, IsoEntry{e}, &attributes);
                                       }});
  }

  // Waits for the writers, then writes here what they could not read.
  void Finish() { files.Finish(); }
};

namespace {
// Whether no two records of the listing name one item of the copy.
bool DistinctNames(const iso9660::Listing& listing) {
  std::vector<std::string> names;
  names.reserve(listing.entries.size());
  for (const iso9660::Entry& e : listing.entries)
    if (!e.hidden) names.push_back(CGetCDData::SafeName(e.info.name));
  return DistinctItemNames(std::move(names));
}
}  // namespace

IsoEntry CGetCDData::WholeIsoFile(std::uint32_t folder, int dataMode, std::uint32_t address, std::uint32_t size) {
  if (folder != 0) {
    orvane::DeviceSectorSource source(*m_pDevice);
    iso9660::DirectoryReader reader(source, iso9660::CopyPolicy(dataMode), NamesOf(m_pIsoNames));
    reader.SetSectorBudget(iso9660::kMostDirectorySectors);
    for (const iso9660::Entry& e : reader.Read(folder, 0).entries) {
      if (e.Directory()) continue;
      for (const iso9660::Extent& x : e.extents)
        if (x.lba == address && (x.bytes == size || e.info.size == size)) return IsoEntry{e};
    }
  }
  IsoEntry file;
  file.entry.info.size = size;
  file.entry.extents = {iso9660::Extent{address, size}};
  return file;
}

void CGetCDData::IsoFolderThread() {
  IsoWalk walk{*this};
  walk.guard.Enter(m_Folder.address, 0);
  // The job's own folder takes its bits and time from its "." record, last,
  // as each folder below it takes them from its record.
  CopyIsoFolder(m_Folder, walk, std::make_shared<FolderSeal>(nullptr, [this, &walk] {
                  if (!Stopping() && walk.self)
                    FinishFolder(m_Folder.path, walk.self->info.mode, walk.self->info.mtime);
                }));
  walk.Finish();
}

bool CGetCDData::CopyIsoFolder(const FolderJob& job, IsoWalk& walk, const std::shared_ptr<FolderSeal>& seal) {
  if (!MakeFolder(job.path)) return false;
  if (Stopping()) return false;
  const iso9660::Listing listing = walk.Read(job.address, job.dataMode, job.path, job.depth == 0);
  // Two records of one name are written one after the other, here, so that
  // the later one wins as it always has.
  const bool sideBySide = DistinctNames(listing);
  // The files the writers take are handed over before the subfolders are
  // walked, so that a folder's large files are written beside the small
  // files below it rather than after them, by one writer while the others
  // wait.
  std::vector<bool> handed(listing.entries.size(), false);
  for (std::size_t i = 0; sideBySide && i < listing.entries.size() && !Stopping(); ++i) {
    const iso9660::Entry& e = listing.entries[i];
    if (e.hidden || e.Directory() || e.info.type == fs::NodeType::Link || SkipWhy(e.info.type)) continue;
    if (m_nEntries + 1 > iso9660::kMostEntries) break;  // said below
    const std::filesystem::path target = job.path / SafeName(e.info.name);
    handed[i] = walk.Hand(target, job.dataMode, e, FileAttributes{e.info.mode, e.info.mtime}, seal);
    if (handed[i]) ++m_nEntries;
  }
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const iso9660::Entry& e = listing.entries[i];
    if (Stopping()) break;
    if (e.hidden || handed[i]) continue;
    if (++m_nEntries > iso9660::kMostEntries) {
      NoteFault(job.path.string() + ": " + iso9660::FaultText(iso9660::Fault::TooManyEntries));
      break;
    }
    const std::filesystem::path target = job.path / SafeName(e.info.name);
    if (e.Directory()) {
      // A folder already copied in this job (one of its own ancestors, or a
      // directory that several records name), or one nested past any real
      // disc's depth, is made but not entered: every directory is walked once.
      if (const auto refused = walk.guard.Enter(e.extent, job.depth + 1)) {
        NoteFault(target.string() + ": " + iso9660::FaultText(*refused));
        if (!MakeFolder(target)) break;
        continue;
      }
      CopyIsoFolder(FolderJob{job.dataMode, e.extent, target, job.depth + 1}, walk,
                    std::make_shared<FolderSeal>(seal, [this, target, mode = e.info.mode, mtime = e.info.mtime] {
                      if (!Stopping()) FinishFolder(target, mode, mtime);
                    }));
      walk.guard.Leave(e.extent);
      continue;
    }
    if (e.info.type == fs::NodeType::Link) {
      // Made holding its recorded target, never followed.
      if (!MakeLink(target, e.info.linkTarget, e.info.mtime)) break;
      continue;
    }
    if (const char* why = SkipWhy(e.info.type)) {
      NoteSkipped(target, why);  // device nodes, FIFOs and sockets hold no data
      continue;
    }
    SetCurrent(target.string());
    const FileAttributes attributes{e.info.mode, e.info.mtime};
    CopyIsoEntry(target, job.dataMode, IsoEntry{e}, &attributes);
    m_nPercent = 0;
  }
  // A track's "[BOOT]" folder goes into the job's folder before that folder
  // takes its recorded bits and time, which may forbid new entries.
  if (job.depth == 0) CopyBootFolder(job.path / kBootFolder);
  return !m_bFailed;
}

// An extent stored as plain bytes of an image file is copied by the
// kernel; anything else (a drive, a hole, raw storage) is read as sectors.
CGetCDData::Plain CGetCDData::CopyPlain(Output& out, std::uint32_t lba, std::uint32_t sectors, std::uint32_t bytes,
                                        std::string& reason) {
  if (bytes == 0 || std::uint64_t(lba) + sectors > 0x100000000ull) return Plain::Read;
  const std::optional<PlainBytes> where = m_pDevice->PlainUserData(lba, sectors);
  if (!where) return Plain::Read;
  switch (out.CopyFrom(where->fd, where->offset, bytes, m_bStop, reason)) {
    case Output::Copy::Done: return Plain::Copied;
    case Output::Copy::Failed: return Plain::Failed;
    case Output::Copy::Refused: break;
  }
  return Plain::Read;
}

bool CGetCDData::CopyIsoFile(const std::filesystem::path& path, int dataMode, const IsoExtents& extents,
                             const FileAttributes* inFolder) {
  // A folder job's files are made below its target, never through a link.
  std::optional<Output> made;
  if (inFolder) {
    made.emplace(Target(), path);
    made->SetAttributes(inFolder->mode, inFolder->mtime);
  } else {
    made.emplace(path);
  }
  Output& out = *made;
  std::string reason;
  if (!out.Open(reason)) {
    Fail(path, reason);
    return false;
  }
  // Mode 1 user data is the same whether read raw or not; only CD-ROM XA
  // needs the sub-header to tell a Form 2 sector.
  const bool raw = dataMode == 2;
  std::uint64_t totalSectors = 0;
  for (const auto& x : extents) totalSectors += (std::uint64_t(x.second) + kUserSectorSize - 1) / kUserSectorSize;
  std::uint64_t doneSectors = 0;
  unsigned char buffer[kRunSectors * kRawSectorSize];
  unsigned char single[kRawSectorSize];
  bool bad[kRunSectors];
  // The form of the file's last sector that read: an unreadable sector of a
  // Form 2 file takes a whole 2324-byte payload of zeros, so what follows
  // the hole stays where it belongs.
  bool form2File = false;

  for (const auto& [lba, bytes] : extents) {
    m_bPastEnd = false;
    const std::uint32_t sectors = static_cast<std::uint32_t>((std::uint64_t(bytes) + kUserSectorSize - 1) / kUserSectorSize);
    if (!raw) {
      const Plain copied = CopyPlain(out, lba, sectors, bytes, reason);
      if (copied == Plain::Failed) return Fail(path, reason), false;
      if (copied == Plain::Copied) {
        doneSectors += sectors;
        SetPercent(doneSectors, totalSectors);
        continue;
      }
    }
    std::uint64_t left = bytes;  // of the extent's recorded size
    for (std::uint32_t k = 0; k < sectors; k += kRunSectors) {
      if (m_bStop) return false;  // deleted with `out`
      const int r = static_cast<int>(std::min<std::uint32_t>(kRunSectors, sectors - k));
      if (std::uint64_t(lba) + k + r > 0x100000000ull) {
        // The extent runs past the last sector address: nothing there to read.
        out.CountUnreadable(sectors - k);
        if (!out.Skip(left, reason)) return Fail(path, reason), false;
        left = 0;
        break;
      }
      if (!raw) {
        // Mode 1 user data goes straight into the output when the whole run
        // reads; otherwise its sectors are looked at one by one.
        unsigned char* into = out.Claim(static_cast<std::size_t>(r) * kUserSectorSize, reason);
        if (!into) return Fail(path, reason), false;
        const int failed = ReadRun(false, lba + k, r, into, bad);
        if (failed == 0) {
          const std::uint64_t n = std::min<std::uint64_t>(left, std::uint64_t(r) * kUserSectorSize);
          out.Commit(static_cast<std::size_t>(n));
          left -= n;
          doneSectors += static_cast<std::uint64_t>(r);
          SetPercent(doneSectors, totalSectors);
          continue;
        }
        std::memcpy(buffer, into, static_cast<std::size_t>(r) * kUserSectorSize);
        out.Commit(0);
      } else {
        ReadRun(raw, lba + k, r, buffer, bad);
      }
      for (int i = 0; i < r; ++i) {
        const unsigned char* s = buffer + (raw ? kRawSectorSize : kUserSectorSize) * static_cast<std::size_t>(i);
        Payload p = raw ? RawPayload(s, dataMode) : Payload{};
        bool ok = !bad[i];
        if (!ok && !m_bPastEnd) {
          // Read in the other form: a drive refuses a Form 2 sector to a
          // 2048-byte read, and some refuse raw reads of data.
          std::memset(single, 0, sizeof single);
          if (raw) {
            ok = m_pDevice->ReadCD_10(single, static_cast<int>(kUserSectorSize), 1, lba + k + i) == 0;
            p = Payload{};
          } else {
            ok = m_pDevice->ReadCD_All(single, sizeof single, 1, lba + k + i) == 0;
            p = ok ? RawPayload(single, dataMode) : Payload{};
          }
          s = single;
        }
        // Form 2 data is kept whole, the only faithful copy of it; Form 1
        // data ends at the recorded size.
        if (ok) form2File = p.form2;
        const bool form2 = ok ? p.form2 : form2File;
        const std::size_t n = form2 ? kForm2PayloadSize : static_cast<std::size_t>(std::min<std::uint64_t>(left, kUserSectorSize));
        left -= std::min<std::uint64_t>(left, kUserSectorSize);
        if (ok) {
          if (!out.Write(s + p.start, n, reason)) return Fail(path, reason), false;
        } else {
          out.CountUnreadable(1);
          if (!out.Skip(n, reason)) return Fail(path, reason), false;
        }
      }
      doneSectors += static_cast<std::uint64_t>(r);
      SetPercent(doneSectors, totalSectors);
    }
  }
  m_nPercent = 100;
  if (!out.Close(reason)) return Fail(path, reason), false;
  NoteFile(out);
  return true;
}
