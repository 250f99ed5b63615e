// ISO 9660 (and Joliet) files and folders of the copy engine.
//
// Directories are read as 2048-byte user data (raw where a drive refuses
// that); file data of CD-ROM XA discs raw, so that each sector is cut by its
// own header and sub-header. Everything taken from the medium is checked: record lengths
// against the sector's payload, the number of directory sectors, the nesting,
// the number of entries, and no directory is entered twice in one job.
#include <algorithm>
#include <cstring>

#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/SectorLayout.h"
#include "disc/TextCodec.h"

namespace {

// Limits that keep a hostile volume finite.
constexpr std::uint32_t kMaxDirectorySectors = 8192;  // one directory: 16 MiB of records
constexpr std::uint64_t kMaxJobDirSectors = 400000;   // all directories of one job
constexpr std::uint64_t kMaxJobEntries = 2000000;     // files and folders of one job
constexpr int kMaxDepth = 64;

// Directory record fields.
constexpr std::size_t kRecExtent = 2;
constexpr std::size_t kRecDataLength = 10;
constexpr std::size_t kRecFlags = 25;
constexpr std::size_t kRecIdLength = 32;
constexpr std::size_t kRecId = 33;
constexpr std::size_t kMinRecord = 34;
constexpr unsigned char kFlagDirectory = 0x02;
constexpr unsigned char kFlagMultiExtent = 0x80;  // not the file's last record

struct Payload {
  std::size_t start = 0, size = CGetCDData::kUserSectorSize;
  bool form2 = false;
};

// Where the user data of a raw sector lies, by the one sector rule.
Payload RawPayload(const unsigned char* s, int dataMode) {
  const disc::SectorShape shape = disc::ClassifySector(s, dataMode);
  return Payload{shape.offset, shape.size, shape.form2};
}

// A record's name as UTF-8, cut to whole characters within 255 bytes (the
// longest file name the local disk takes), as the browser lists it.
std::string IsoName(const unsigned char* id, std::size_t length, bool joliet) {
  std::string name;
  std::size_t n = 0;
  if (joliet) {
    while (n + 1 < length && (id[n] | id[n + 1]) != 0) n += 2;
    name = Utf16BeToUtf8(id, n);
  } else {
    while (n < length && id[n] != 0) ++n;
    name = IsValidUtf8(id, n) ? std::string(reinterpret_cast<const char*>(id), n) : Latin1ToUtf8(id, n);
  }
  char out[256];
  CopyUtf8Bounded(name, out, sizeof out);
  return out;
}

std::string DropVersion(std::string name) {
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, ";1") == 0) name.resize(name.size() - 2);
  return name;
}

struct IsoEntry {
  std::string name;
  bool directory = false;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;  // sector, bytes
  std::uint64_t size = 0;
};

}  // namespace

// The entries of the directory at job.address (after its own and its
// parent's records), each file with all of its extents. False when the
// directory's first sector cannot be read.
static bool ReadIsoDirectory(CDevCmdROM* dev, std::uint32_t lba, int dataMode, bool joliet,
                             std::uint64_t& budget, std::vector<IsoEntry>& out, std::uint64_t& unreadable) {
  unsigned char s[CGetCDData::kRawSectorSize];
  std::memset(s, 0, sizeof s);
  // Directory sectors are Mode 1 or Form 1: their 2048 bytes of user data
  // are the same read either way, so the cheaper read goes first and raw
  // sectors serve drives that refuse it.
  bool raw = dev->ReadCD_10(s, static_cast<int>(CGetCDData::kUserSectorSize), 1, lba) != 0;
  if (raw) {
    std::memset(s, 0, sizeof s);
    if (dev->ReadCD_All(s, sizeof s, 1, lba) != 0) return false;
  }
  if (budget) --budget;
  Payload p = raw ? RawPayload(s, dataMode) : Payload{};

  // The directory's size is in its own record, when that record points back here.
  std::uint64_t D = p.size;
  const unsigned char* first = s + p.start;
  if (first[0] >= kMinRecord && first[0] <= p.size && GetLE32(first + kRecExtent) == lba)
    D = GetLE32(first + kRecDataLength);
  const std::uint32_t n =
      static_cast<std::uint32_t>(std::clamp<std::uint64_t>((D + p.size - 1) / p.size, 1, kMaxDirectorySectors));

  int skip = 2;  // its own record and its parent's
  IsoEntry pending;
  bool inMulti = false;
  for (std::uint32_t k = 0; k < n; ++k) {
    if (k > 0) {
      if (budget == 0 || lba + k < lba) break;
      --budget;
      std::memset(s, 0, sizeof s);
      const int rc = raw ? dev->ReadCD_All(s, sizeof s, 1, lba + k)
                         : dev->ReadCD_10(s, static_cast<int>(CGetCDData::kUserSectorSize), 1, lba + k);
      if (rc != 0) {
        ++unreadable;
        continue;
      }
      p = raw ? RawPayload(s, dataMode) : Payload{};
    }
    std::size_t pos = p.start;
    const std::size_t end = p.start + p.size;
    while (pos < end) {
      const std::size_t len = s[pos];
      if (len == 0) break;  // the rest of the sector is padding
      if (len < kMinRecord || pos + len > end) break;
      const unsigned char* r = s + pos;
      pos += len;
      if (skip > 0) {
        --skip;
        continue;
      }
      const unsigned char flags = r[kRecFlags];
      const std::uint32_t extent = GetLE32(r + kRecExtent);
      const std::uint32_t length = GetLE32(r + kRecDataLength);
      const std::size_t idLength = std::min<std::size_t>(r[kRecIdLength], len - kRecId);
      if (flags & kFlagDirectory) {
        IsoEntry e;
        e.name = IsoName(r + kRecId, idLength, joliet);
        e.directory = true;
        e.extents.emplace_back(extent, length);
        out.push_back(std::move(e));
        inMulti = false;
        continue;
      }
      // A file of 4 GiB or more is recorded as several records of one name,
      // all but the last flagged; their extents follow each other in the file.
      if (!inMulti) {
        pending = IsoEntry{};
        pending.name = DropVersion(IsoName(r + kRecId, idLength, joliet));
      }
      if (pending.extents.size() < 4096) {
        pending.extents.emplace_back(extent, length);
        pending.size += length;
      }
      inMulti = (flags & kFlagMultiExtent) != 0;
      if (!inMulti) out.push_back(std::move(pending));
    }
  }
  if (inMulti) out.push_back(std::move(pending));  // a last flagged record: what there is
  return true;
}

CGetCDData::IsoExtents CGetCDData::WholeIsoFile(std::uint32_t folder, int dataMode, std::uint32_t address,
                                                std::uint32_t size) {
  if (folder != 0) {
    std::vector<IsoEntry> entries;
    std::uint64_t budget = kMaxDirectorySectors, unreadable = 0;
    if (ReadIsoDirectory(m_pDevice, folder, dataMode, m_bJoliet, budget, entries, unreadable)) {
      for (const IsoEntry& e : entries) {
        if (e.directory) continue;
        for (const auto& extent : e.extents)
          if (extent.first == address && extent.second == size) return e.extents;
      }
    }
  }
  return {{address, size}};
}

void CGetCDData::IsoFolderThread() {
  std::set<std::uint32_t> visited;
  CopyIsoFolder(m_Folder, visited);
}

bool CGetCDData::CopyIsoFolder(const FolderJob& job, std::set<std::uint32_t>& visited) {
  if (!MakeFolder(job.path)) return false;
  if (Stopping()) return false;
  std::vector<IsoEntry> entries;
  std::uint64_t budget = m_nDirSectors < kMaxJobDirSectors ? kMaxJobDirSectors - m_nDirSectors : 0;
  const std::uint64_t before = budget;
  std::uint64_t unreadable = 0;
  const bool read = ReadIsoDirectory(m_pDevice, job.address, job.dataMode, m_bJoliet, budget, entries, unreadable);
  m_nDirSectors += before - budget;
  if (!read) unreadable = 1;
  if (unreadable) {
    // What the unreadable directory sectors held is missing below this folder.
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Result.unreadable += unreadable;
    m_Result.damaged.push_back(CopyDamage{job.path.string(), unreadable});
  }
  visited.insert(job.address);
  for (const IsoEntry& e : entries) {
    if (Stopping()) break;
    if (++m_nEntries > kMaxJobEntries) break;
    const std::filesystem::path target = job.path / SafeName(e.name);
    if (e.directory) {
      const std::uint32_t at = e.extents.front().first;
      // A folder already copied in this job (one of its own ancestors, or a
      // directory that several records name), or one nested past any real
      // disc's depth, is made but not entered: every directory is walked once.
      if (visited.count(at) || job.depth + 1 >= kMaxDepth || at == 0) {
        if (!MakeFolder(target)) break;
        continue;
      }
      CopyIsoFolder(FolderJob{job.dataMode, at, target, job.depth + 1}, visited);
      continue;
    }
    SetCurrent(target.string());
    CopyIsoFile(target, job.dataMode, e.extents);
    m_nPercent = 0;
  }
  return !m_bFailed;
}

bool CGetCDData::CopyIsoFile(const std::filesystem::path& path, int dataMode, const IsoExtents& extents) {
  Output out(path);
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
