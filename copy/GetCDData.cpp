// The copy engine: jobs, the worker, sector runs and the track copy.
#include "copy/GetCDData.h"
#include "copy/IsoNames.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "copy/CopyOutput.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"

namespace {

constexpr std::uint8_t kSenseIllegalRequest = 0x05;
constexpr std::uint8_t kAscLbaOutOfRange = 0x21;

// Whether the file name (not the folders above it) contains ext, in any case.
bool NameContains(const std::filesystem::path& path, const char* ext) {
  std::string name = path.filename().string();
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name.find(ext) != std::string::npos;
}

void PutWavHeader(unsigned char* h, std::uint32_t sectors) {
  const std::uint64_t data64 = std::uint64_t(sectors) * CGetCDData::kRawSectorSize;
  // A RIFF size field has 32 bits; no audio track comes near it.
  const std::uint32_t data = static_cast<std::uint32_t>(std::min<std::uint64_t>(data64, 0xFFFFFFFFull - 36));
  std::memcpy(h, "RIFF", 4);
  PutLE32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVE", 4);
  std::memcpy(h + 12, "fmt ", 4);
  PutLE32(h + 16, 16);
  PutLE16(h + 20, 1);       // PCM
  PutLE16(h + 22, 2);       // stereo
  PutLE32(h + 24, 44100);
  PutLE32(h + 28, 176400);  // bytes a second
  PutLE16(h + 32, 4);       // block align
  PutLE16(h + 34, 16);      // bits a sample
  std::memcpy(h + 36, "data", 4);
  PutLE32(h + 40, data);
}

}  // namespace

std::string CopyReportText(const CopyResult& r) {
  if (r.cancelled) return {};
  if (r.failed) return "The copy stopped before it was complete:\n" + r.error;
  constexpr std::size_t kListed = 10;
  std::string text;
  if (!r.faults.empty()) {
    text = "The disc's folders are damaged; what lies past the damage was not copied:";
    for (std::size_t i = 0; i < r.faults.size() && i < kListed; ++i) text += "\n" + r.faults[i];
    if (r.faults.size() > kListed) text += "\nand " + std::to_string(r.faults.size() - kListed) + " more";
  }
  if (r.unreadable != 0) {
    if (!text.empty()) text += "\n\n";
    text += std::to_string(r.unreadable) +
            (r.unreadable == 1 ? " sector could not be read and was" : " sectors could not be read and were") +
            " written as zeros:";
    for (std::size_t i = 0; i < r.damaged.size() && i < kListed; ++i)
      text += "\n" + r.damaged[i].path + ": " + std::to_string(r.damaged[i].sectors) +
              (r.damaged[i].reason.empty() ? "" : " (" + r.damaged[i].reason + ")");
    if (r.damaged.size() > kListed) text += "\nand " + std::to_string(r.damaged.size() - kListed) + " more";
  }
  if (!r.skipped.empty()) {
    if (!text.empty()) text += "\n\n";
    text += r.skipped.size() == 1 ? "1 item was not made:" : std::to_string(r.skipped.size()) + " items were not made:";
    for (std::size_t i = 0; i < r.skipped.size() && i < kListed; ++i)
      text += "\nskipped: " + r.skipped[i].path + " (" + r.skipped[i].why + ")";
    if (r.skipped.size() > kListed) text += "\nand " + std::to_string(r.skipped.size() - kListed) + " more";
  }
  return text;
}

CGetCDData::CGetCDData() : m_pTarget(std::make_unique<CopyTarget>()) {}

CGetCDData::~CGetCDData() {
  m_bStop = true;
  Wait();
}

void CGetCDData::SetDevice(CDevCmdROM* device) {
  Wait();
  m_nPercent = 0;
  if (device) {
    m_pDevice = device;
    m_pDevice->TestUnitReady();
  }
}

std::string CGetCDData::GetCurrentName() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_sCurrent;
}

void CGetCDData::SetCurrent(const std::string& name) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_sCurrent = name;
}

CopyResult CGetCDData::GetResult() const {
  std::lock_guard<std::mutex> lock(m_Lock);
  return m_Result;
}

bool CGetCDData::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_Lock);
  return m_Stopped.wait_for(lock, timeout, [&] { return !m_bRunning; }) || m_bStop;
}

void CGetCDData::Wait() {
  if (m_Worker.joinable()) m_Worker.join();
}

std::string CGetCDData::SafeName(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if (c == '/' || c == '\\' || c == '\0') c = '_';
  if (s.empty() || s == "." || s == "..") s = "_" + s;
  return s;
}

bool CGetCDData::Ready() { return m_pDevice && m_pDevice->TestUnitReady() == 0; }

bool CGetCDData::StartTrackCopy(int kind, std::int64_t start, std::int64_t end, const std::string& path) {
  // A job still running (cancelled, not yet at its next check) ends before
  // its parameters are replaced.
  m_bStop = true;
  Wait();
  if (!Ready() || path.empty() || start >= end || end == 0 || start < 0 || end > 0xFFFFFFFFll) return false;
  m_nTrackKind = kind;
  m_nTrackStart = static_cast<std::uint32_t>(start);
  m_nTrackEnd = static_cast<std::uint32_t>(end);
  m_sTrackPath = path;
  Launch(Job::Track);
  return true;
}

bool CGetCDData::StartFolderCopy(int dataMode, std::int64_t address, const std::string& path, int fsCode,
                                 bool joliet, std::uint32_t volumeStart) {
  return StartFolderCopy(dataMode, address, path, fsCode,
                         std::make_shared<IsoNames>(IsoNames{fs::iso9660::PlainOrJoliet(joliet)}), volumeStart);
}

bool CGetCDData::StartFileCopy(int dataMode, std::int64_t address, std::uint64_t size, const std::string& path,
                               int fsCode, bool joliet, std::uint32_t volumeStart, std::uint32_t folder) {
  return StartFileCopy(dataMode, address, size, path, fsCode,
                       std::make_shared<IsoNames>(IsoNames{fs::iso9660::PlainOrJoliet(joliet)}), volumeStart, folder);
}

bool CGetCDData::StartFolderCopy(int dataMode, std::int64_t address, const std::string& path, int fsCode,
                                 std::shared_ptr<const IsoNames> names, std::uint32_t volumeStart) {
  m_bStop = true;
  Wait();
  m_pBoot = std::move(m_pPendingBoot);  // taken even by a refused job: none is left for the next
  // A track without a file system has nothing to walk: refused here rather
  // than started with no worker to ever end it.
  if (!Ready() || path.empty() || address <= 0 || address > 0xFFFFFFFFll || fsCode <= 0) return false;
  m_Folder = FolderJob{dataMode, static_cast<std::uint32_t>(address), path, 0};
  m_pIsoNames = std::move(names);
  m_nVolumeStart = volumeStart;
  Launch(fsCode == 1 ? Job::IsoFolder : Job::UdfFolder);
  return true;
}

bool CGetCDData::StartFileCopy(int dataMode, std::int64_t address, std::uint64_t size, const std::string& path,
                               int fsCode, std::shared_ptr<const IsoNames> names, std::uint32_t volumeStart,
                               std::uint32_t folder) {
  m_bStop = true;
  Wait();
  if (!Ready() || path.empty() || address <= 0 || address > 0xFFFFFFFFll || fsCode <= 0) return false;
  m_nFileDataMode = dataMode;
  m_nFileAddress = static_cast<std::uint32_t>(address);
  m_nFileSize = size;
  m_nFileFolder = folder;
  m_sFilePath = path;
  m_pIsoNames = std::move(names);
  m_nVolumeStart = volumeStart;
  Launch(fsCode == 1 ? Job::IsoFile : Job::UdfFile);
  return true;
}

void CGetCDData::SaveLink(const std::string& path, const std::string& target, std::optional<std::int64_t> mtime) {
  m_bStop = true;
  Wait();
  ResetJob();
  MakeLink(path, target, mtime);
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Result.failed = m_bFailed;
  m_Result.finished = !m_bFailed;
  m_nPercent = 100;
}

// A new job's state: nothing written, nothing failed, no target folder held.
void CGetCDData::ResetJob() {
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Result = CopyResult{};
    m_sCurrent.clear();
  }
  m_bFailed = false;
  m_bPastEnd = false;
  m_bMediumEndAsked = false;
  m_nMediumEnd = 0;
  m_nDirSectors = 0;
  m_nEntries = 0;
  m_pTarget->Reset();
  m_nPercent = 0;
}

void CGetCDData::Launch(Job job) {
  ResetJob();
  m_bStop = false;
  m_bRunning = true;
  m_Worker = std::thread([this, job] { Run(job); });
}

void CGetCDData::Run(Job job) {
  switch (job) {
    case Job::Track: TrackCopyThread(); break;
    case Job::IsoFolder: IsoFolderThread(); break;
    case Job::UdfFolder: UdfFolderThread(); break;
    case Job::BootFile:
    case Job::BootFolder: BootThread(job); break;
    case Job::IsoFile: {
      SetCurrent(m_sFilePath.string());
      const std::uint32_t size = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_nFileSize, 0xFFFFFFFFull));
      CopyIsoEntry(m_sFilePath, m_nFileDataMode, WholeIsoFile(m_nFileFolder, m_nFileDataMode, m_nFileAddress, size));
      break;
    }
    case Job::UdfFile:
      SetCurrent(m_sFilePath.string());
      if (AnalyseVolume()) CopyUdfFile(m_sFilePath, m_nFileAddress);
      break;
  }
  m_pTarget->Reset();
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Result.cancelled = m_bStop && !m_bFailed;
    m_Result.failed = m_bFailed;
    m_Result.finished = !m_bStop && !m_bFailed;
  }
  m_nPercent = 100;
  std::lock_guard<std::mutex> lock(m_Lock);
  m_bRunning = false;
  m_bStop = true;
  m_Stopped.notify_all();
}

void CGetCDData::Fail(const std::filesystem::path& path, const std::string& reason) {
  m_bFailed = true;
  std::lock_guard<std::mutex> lock(m_Lock);
  if (m_Result.error.empty()) m_Result.error = path.string() + ": " + reason;
}

void CGetCDData::SetPercent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) {
    m_nPercent = 100;
    return;
  }
  m_nPercent = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

void CGetCDData::NoteFile(const Output& out, const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_Lock);
  ++m_Result.files;
  m_Result.bytes += out.Length();
  if (out.Unreadable()) {
    m_Result.unreadable += out.Unreadable();
    m_Result.damaged.push_back(CopyDamage{out.Path().string(), out.Unreadable(), reason});
  }
}

bool CGetCDData::MakeFolder(const std::filesystem::path& path) {
  std::string reason;
  // The job's first folder is its target; everything after goes below it.
  const bool made = m_pTarget->Active() ? m_pTarget->MakeFolder(path, reason) : m_pTarget->Create(path, reason);
  if (!made) {
    Fail(path, reason);
    return false;
  }
  std::lock_guard<std::mutex> lock(m_Lock);
  ++m_Result.folders;
  return true;
}

void CGetCDData::NoteSkipped(const std::filesystem::path& path, std::string why) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_Result.skipped.push_back(CopySkip{path.string(), std::move(why)});
}

bool CGetCDData::MakeLink(const std::filesystem::path& path, const std::string& target,
                          std::optional<std::int64_t> mtime) {
  // No file system can hold such a link; the rest of the volume is still wanted.
  if (target.empty() || target.find('\0') != std::string::npos) {
    NoteSkipped(path, target.empty() ? "link with an empty target" : "link target holds a NUL byte");
    return true;
  }
  std::string reason;
  if (!m_pTarget->MakeLink(path, target, mtime, reason)) {
    Fail(path, reason);
    return false;
  }
  std::lock_guard<std::mutex> lock(m_Lock);
  ++m_Result.links;
  return true;
}

void CGetCDData::FinishFolder(const std::filesystem::path& path, std::optional<std::uint32_t> mode,
                              std::optional<std::int64_t> mtime) {
  std::string reason;
  if (!m_pTarget->ApplyFolderTimes(path, mode, mtime, reason)) Fail(path, reason);
}

bool CGetCDData::PastEnd() const { return m_bPastEnd; }

bool CGetCDData::BeyondMedium(std::uint32_t lba) {
  if (!m_bMediumEndAsked) {
    m_bMediumEndAsked = true;
    DISC_INFO di;
    std::memset(&di, 0, sizeof di);
    TRACK_INFO ti;
    std::memset(&ti, 0, sizeof ti);
    if (m_pDevice->ReadDiscInfo(di) == 0 &&
        m_pDevice->ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, mmc::DiscInfoFields(di).LastTrackInLastSession()) == 0)
      m_nMediumEnd = mmc::TrackInfoFields(ti).End();
  }
  return m_nMediumEnd == 0 || lba >= m_nMediumEnd;
}

int CGetCDData::ReadRun(bool raw, std::uint32_t lba, int count, unsigned char* buffer, bool* bad) {
  const std::size_t size = raw ? kRawSectorSize : kUserSectorSize;
  auto read = [&](unsigned char* at, int n, std::uint32_t where) {
    const int bytes = static_cast<int>(size) * n;
    return raw ? m_pDevice->ReadCD_All(at, bytes, n, where) : m_pDevice->ReadCD_10(at, bytes, n, where);
  };
  std::memset(buffer, 0, size * static_cast<std::size_t>(count));
  std::fill(bad, bad + count, false);
  if (m_bPastEnd) {
    std::fill(bad, bad + count, true);
    return count;
  }
  if (read(buffer, count, lba) == 0) return 0;
  // One sector spoilt the run; the others are still worth having.
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    unsigned char* at = buffer + size * static_cast<std::size_t>(i);
    std::memset(at, 0, size);
    if (m_bPastEnd || read(at, 1, lba + static_cast<std::uint32_t>(i)) != 0) {
      const SenseData_tag s = m_pDevice->GetSenseData();
      // Past the end of the medium nothing further can be read: the rest
      // is counted, not asked for sector by sector.
      // Some drives give that sense for any sector they cannot read, so it
      // stands for the end only where the medium really ends.
      if (s.key == kSenseIllegalRequest && s.asc == kAscLbaOutOfRange &&
          BeyondMedium(lba + static_cast<std::uint32_t>(i)))
        m_bPastEnd = true;
      std::memset(at, 0, size);
      bad[i] = true;
      ++failed;
    }
  }
  return failed;
}

void CGetCDData::TrackCopyThread() {
  SetCurrent(kTrackItem);
  const std::uint32_t start = m_nTrackStart, end = m_nTrackEnd;
  const std::uint32_t n = end - start;
  Output out(m_sTrackPath);
  std::string reason;
  if (!out.Open(reason)) {
    Fail(m_sTrackPath, reason);
    return;
  }
  const bool userData = m_nTrackKind == 1 && NameContains(m_sTrackPath, ".iso");
  bool raw = !userData;
  if (m_nTrackKind == 0 && NameContains(m_sTrackPath, ".wav")) {
    unsigned char header[44];
    PutWavHeader(header, n);
    if (!out.Write(header, sizeof header, reason)) return Fail(m_sTrackPath, reason);
  }
  if (raw && m_nTrackKind == 1) {
    // Media without raw sectors (DVD, BD) are saved as user data throughout:
    // one form for the whole file, never raw and cooked sectors mixed.
    unsigned char probe[kRawSectorSize];
    if (m_pDevice->ReadCD_All(probe, sizeof probe, 1, start) != 0 &&
        m_pDevice->ReadCD_10(probe, static_cast<int>(kUserSectorSize), 1, start) == 0) {
      raw = false;
      std::lock_guard<std::mutex> lock(m_Lock);
      m_Result.userData = true;
    }
  }
  const std::size_t size = raw ? kRawSectorSize : kUserSectorSize;
  bool bad[kRunSectors];
  for (std::uint64_t c = start; c < end; c += kRunSectors) {
    if (m_bStop) return;  // the file goes with `out`
    const int r = static_cast<int>(std::min<std::uint64_t>(kRunSectors, end - c));
    unsigned char* at = out.Claim(size * static_cast<std::size_t>(r), reason);
    if (!at) return Fail(m_sTrackPath, reason);
    out.CountUnreadable(static_cast<std::uint64_t>(ReadRun(raw, static_cast<std::uint32_t>(c), r, at, bad)));
    out.Commit(size * static_cast<std::size_t>(r));
    m_nPercent = static_cast<int>(static_cast<double>(c - start + kRunSectors) * 100.0 / n);
  }
  if (!out.Close(reason)) return Fail(m_sTrackPath, reason);
  NoteFile(out);
}
