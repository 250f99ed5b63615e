#pragma once
// The copy engine: saves a run of a track's sectors, one file, or a folder with
// everything below it from the current device to the local disk, on a worker
// thread. The caller starts a job, then polls GetPercent, GetCurrentName and
// IsStopped (the progress dialog's timer) and may Cancel; once IsStopped is
// true and the worker has been joined (Wait), GetResult tells what was written.
//
// Rules every job keeps:
//  - The worker is joined before a new job starts and before the engine goes.
//  - A track run is [start, end): end is one past the last sector to save.
//  - Sectors are read in runs; a run that fails is read again sector by
//    sector, and a sector that cannot be read at all is written as zeros and
//    counted against the file it belongs to (GetResult().damaged).
//  - A destination that cannot be created or written ends the job; the result
//    names the path and the reason (GetResult().error).
//  - Names from the medium are made safe before they become paths (SafeName),
//    so nothing is written outside the job's target.
//  - A folder job makes every item inside its target folder, held open, by
//    name and without following any link (CopyTarget): links from the volume
//    are made as links holding their recorded target, and nothing is ever
//    written through one. Device nodes, FIFOs and sockets are not made; they
//    are listed (GetResult().skipped). Recorded permission bits (rwx only)
//    and modification times are applied; owners never are.
//  - Cancel stops at the next sector run; the file being written is deleted,
//    files completed before it stay.
//
// Thread use: every public operation is for the thread that owns the engine
// (the user-interface thread), except that GetPercent, IsStopped and
// GetCurrentName may be called while the worker runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "copy/BootImages.h"
#include "disc/SectorLayout.h"
#include "udf/Analy_UDF.h"

class CDevCmdROM;
class CopyTarget;
class FolderSeal;  // copy/FolderWriters.h
struct IsoNames;  // copy/IsoNames.h
struct IsoEntry;  // copy/IsoNames.h

// A file of the job that was written with sectors that could not be read.
struct CopyDamage {
  std::string path;             // as written (the target's path)
  std::uint64_t sectors = 0;    // sectors written as zeros
  std::string reason;           // damage beyond unreadable sectors (a file entry, a folder's listing)
};

// An item of the volume that extraction does not make, and why.
struct CopySkip {
  std::string path;             // where it would have been made
  std::string why;              // "device", "FIFO", "socket", or why a link could not be made
};

struct CopyResult {
  bool finished = false;        // the job ran to its end (not cancelled, not failed)
  bool cancelled = false;
  bool failed = false;          // a destination could not be created or written
  std::string error;            // "path: reason" when failed
  std::uint64_t files = 0;      // files completed (a track copy counts as one)
  std::uint64_t folders = 0;    // folders created
  std::uint64_t links = 0;      // symbolic links created
  std::uint64_t bytes = 0;      // bytes in the completed files
  std::uint64_t unreadable = 0; // sectors written as zeros, over all files
  std::vector<CopyDamage> damaged;
  // Damage met in the volume's folders ("path: what"): what lay past it is
  // missing from the copy.
  std::vector<std::string> faults;
  std::vector<CopySkip> skipped;
  std::uint64_t notRead = 0;    // files not made, their data compressed in a form not read (listed in skipped)
  bool userData = false;        // a raw track copy fell back to 2048-byte sectors (no raw reads)
};

// What the user is told when a job has ended: why a failed job stopped,
// which files hold sectors that could not be read, and which items were not
// made ("skipped: PATH (device)"). Empty when the job was cancelled or
// copied everything cleanly.
std::string CopyReportText(const CopyResult& result);

class CGetCDData {
 public:
  static constexpr int kRunSectors = 16;                  // sectors per read command
  static constexpr std::size_t kRawSectorSize = disc::kRawSectorSize;
  static constexpr std::size_t kUserSectorSize = disc::kUserDataSize;
  static constexpr std::size_t kForm2PayloadSize = disc::kForm2PayloadSize;
  static constexpr const char* kTrackItem = "TRACK DATA";

  CGetCDData();
  virtual ~CGetCDData();
  CGetCDData(const CGetCDData&) = delete;
  CGetCDData& operator=(const CGetCDData&) = delete;

  // Percentage 0; a non-null device becomes the device (its readiness is
  // asked, the answer not used).
  void SetDevice(CDevCmdROM* device);
  CDevCmdROM* GetDevice() const { return m_pDevice; }

  // kind 0 audio, 1 data; sectors start <= s < end. A data track to a file
  // named *.iso* is written as 2048-byte user data; an audio track to a file
  // named *.wav* gets a 44-byte WAV header; anything else raw 2352-byte
  // sectors. False (and no worker) when the device is not ready, the path is
  // empty, start >= end, end is 0 or the range leaves 32-bit sectors.
  bool StartTrackCopy(int kind, std::int64_t start, std::int64_t end, const std::string& path);

  // A folder of the volume (ISO 9660: its directory extent; UDF: the absolute
  // sector of its file entry) recreated as path and everything below it.
  // fsCode as JudgeFileSystem answers: 1 ISO 9660, 2 or 3 UDF.
  // volumeStart is the first sector of the browsed track: the UDF volume is
  // recognised there. False when the device is not ready, the path is empty,
  // address <= 0, or the track has no file system (fsCode <= 0).
  // names: the ISO 9660 names the browser reads the volume with (null: plain);
  // joliet: plain or Joliet names.
  bool StartFolderCopy(int dataMode, std::int64_t address, const std::string& path, int fsCode,
                       std::shared_ptr<const IsoNames> names, std::uint32_t volumeStart = 0);
  bool StartFolderCopy(int dataMode, std::int64_t address, const std::string& path, int fsCode, bool joliet,
                       std::uint32_t volumeStart = 0);
  // One file: ISO 9660 its extent and recorded size; UDF the absolute sector
  // of its file entry (the size is taken from the entry). Refused as above.
  // folder, for ISO 9660, is the directory whose records list the file: a
  // file of 4 GiB or more has a record for each of its extents, and the one
  // named is then copied whole, from its first extent to its last.
  bool StartFileCopy(int dataMode, std::int64_t address, std::uint64_t size, const std::string& path, int fsCode,
                     std::shared_ptr<const IsoNames> names, std::uint32_t volumeStart = 0, std::uint32_t folder = 0);
  bool StartFileCopy(int dataMode, std::int64_t address, std::uint64_t size, const std::string& path, int fsCode,
                     bool joliet, std::uint32_t volumeStart = 0, std::uint32_t folder = 0);

  // El Torito boot images (copy/CopyBoot.cpp). The next StartFolderCopy
  // takes boot, started or not: a track's root job writes its images into a
  // "[BOOT]" folder beside the root's entries and reports the catalog's damage.
  void SetBootImages(std::shared_ptr<const BootImages> boot) { m_pPendingBoot = std::move(boot); }
  // One boot image as the file path; the "[BOOT]" folder alone as path.
  bool StartBootFileCopy(int dataMode, const BootImage& image, const std::string& path);
  bool StartBootFolderCopy(int dataMode, std::shared_ptr<const BootImages> boot, const std::string& path);
  // A symbolic link on its own (a browser's Link row): made at once at
  // path, in the folder the user chose, holding target as recorded, its time
  // set to mtime where given. No worker runs; GetResult tells what was made
  // (or why not) as it does after a job.
  void SaveLink(const std::string& path, const std::string& target, std::optional<std::int64_t> mtime);

  void Cancel() { m_bStop = true; }
  int GetPercent() const { return m_nPercent; }
  bool IsStopped() const { return m_bStop; }
  std::string GetCurrentName() const;

  // Blocks until the worker (if any) has ended.
  void Wait();
  // Waits at most `timeout` for the job to stop; whether it has.
  bool WaitFor(std::chrono::milliseconds timeout);
  bool IsRunning() const { return m_bRunning; }
  // What the last job did; complete once IsStopped() and Wait() returned.
  CopyResult GetResult() const;

  // Makes a name from the medium usable as one path component: "/", "\" and
  // NUL become "_", and ".", ".." and the empty name get a leading "_".
  static std::string SafeName(const std::string& name);

  // A file being written and what has gone wrong with it (copy/CopyOutput.h).
  class Output;

 private:
  enum class Job { Track, IsoFolder, UdfFolder, IsoFile, UdfFile, BootFile, BootFolder };
  struct FolderJob {
    int dataMode = 1;
    std::uint32_t address = 0;
    std::filesystem::path path;
    int depth = 0;
  };
  bool Ready();
  void ResetJob();
  void Launch(Job job);
  void Run(Job job);

  void TrackCopyThread();
  void IsoFolderThread();
  void UdfFolderThread();

  // Files of a folder job written side by side from the image file
  // (copy/PlainFiles.h), for ISO 9660 and UDF jobs alike.
  struct PlainFiles;
  // ISO 9660.
  struct IsoWalk;  // one ISO 9660 folder job's walk and its file writers (CopyIso.cpp)
  // seal: the folder's (FolderSeal), whose last holder applies its recorded
  // bits and time once everything inside is written.
  bool CopyIsoFolder(const FolderJob& job, IsoWalk& walk, const std::shared_ptr<FolderSeal>& seal);
  void NoteFault(const std::string& text);
  using IsoExtents = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // sector, bytes
  // A file's recorded permission bits and time, applied once it is written.
  struct FileAttributes {
    std::optional<std::uint32_t> mode;
    std::optional<std::int64_t> mtime;
  };
  // inFolder: the file belongs to a folder job (made below its target, its
  // attributes applied); null for a single-file job.
  bool CopyIsoFile(const std::filesystem::path& path, int dataMode, const IsoExtents& extents,
                   const FileAttributes* inFolder = nullptr);
  // A file's extent of user data copied whole without reading it, where the
  // device says it is stored as plain bytes (Read: it must be read).
  enum class Plain { Copied, Read, Failed };
  Plain CopyPlain(Output& out, std::uint32_t lba, std::uint32_t sectors, std::uint32_t bytes, std::string& reason);
  // A file as its record says: plain data (CopyIsoFile), zisofs (written
  // uncompressed), or compressed in a form not read (listed, not made).
  bool CopyIsoEntry(const std::filesystem::path& path, int dataMode, const IsoEntry& file,
                    const FileAttributes* inFolder = nullptr);
  bool CopyZisofsFile(const std::filesystem::path& path, const IsoEntry& file, const FileAttributes* inFolder);
  // The file of folder one of whose records starts at address with size
  // bytes (size: that record's, or the file's as listed), with all its
  // extents; just that record's extent when the folder does not list it.
  IsoEntry WholeIsoFile(std::uint32_t folder, int dataMode, std::uint32_t address, std::uint32_t size);
  // The boot jobs; and the job's boot images written into the folder path
  // (made first), its catalog's damage reported against it.
  void BootThread(Job job);
  void CopyBootFolder(const std::filesystem::path& path);
  // UDF.
  struct UdfWalk;  // one UDF folder job's walk and its file writers (CopyUdf.cpp)
  // parent: the seal of the folder that holds this one (null for the job's
  // own folder); the folder's recorded bits and time are applied once
  // everything inside it is written.
  bool CopyUdfFolder(const FolderJob& job, UdfWalk& walk, const std::shared_ptr<FolderSeal>& parent);
  bool CopyUdfFile(const std::filesystem::path& path, std::uint32_t feSector);
  bool CopyUdfExtent(Output& out, const UdfExtent& x, std::uint64_t length, std::uint64_t size);
  void NoteUdfDamage(const std::filesystem::path& path, const std::string& reason);
  bool AnalyseVolume();

  // Sector runs: count (1..kRunSectors) sectors at lba, raw (2352 each) or
  // user data (2048 each). A failing run is read again sector by sector;
  // sectors that fail are zeroed and flagged in bad. Returns how many failed.
  int ReadRun(bool raw, std::uint32_t lba, int count, unsigned char* buffer, bool* bad);
  bool PastEnd() const;  // the last failed read was past the end of the medium

  // The job's destination. The first folder a folder job makes is its
  // target folder, held open from then on; every later folder, file and
  // link of the job is made below it without following a link.
  //   Output out(Target(), path);  out.SetAttributes(node.mode, node.mtime);
  CopyTarget& Target() { return *m_pTarget; }
  bool MakeFolder(const std::filesystem::path& path);
  // The items of a volume that are no files and no folders, by their
  // fs::NodeInfo (copy/CopyOutput.h has SkipWhy):
  //   if (node.type == fs::NodeType::Link) MakeLink(path, node.linkTarget, node.mtime);
  //   else if (const char* why = SkipWhy(node.type)) NoteSkipped(path, why);
  // A link is made holding its target as recorded, byte for byte, and
  // counted; a target no file system can hold (empty, or with a NUL) is
  // listed as skipped instead. A link that cannot be made ends the job
  // (false, Stopping()).
  bool MakeLink(const std::filesystem::path& path, const std::string& target, std::optional<std::int64_t> mtime);
  // Device nodes, FIFOs and sockets: listed in the result, never made.
  void NoteSkipped(const std::filesystem::path& path, std::string why);
  // A folder's recorded permission bits (rwx only) and time, once its
  // children are written (the job's target folder included).
  void FinishFolder(const std::filesystem::path& path, std::optional<std::uint32_t> mode,
                    std::optional<std::int64_t> mtime);
  void Fail(const std::filesystem::path& path, const std::string& reason);
  void SetCurrent(const std::string& name);
  void SetPercent(std::uint64_t done, std::uint64_t total);
  // A completed file; reason: why sectors of it are zeros, beyond being unreadable.
  void NoteFile(const Output& out, const std::string& reason = {});
  bool Stopping() const { return m_bStop || m_bFailed; }

  CAnaly_UDF m_Udf;
  std::unique_ptr<CopyTarget> m_pTarget;
  CDevCmdROM* m_pDevice = nullptr;

  // The job's parameters, written only while no worker runs.
  int m_nTrackKind = 0;
  std::uint32_t m_nTrackStart = 0, m_nTrackEnd = 0;
  std::filesystem::path m_sTrackPath;
  int m_nFileDataMode = 1;
  std::uint32_t m_nFileAddress = 0;
  std::uint64_t m_nFileSize = 0;
  std::uint32_t m_nFileFolder = 0;
  std::filesystem::path m_sFilePath;
  FolderJob m_Folder;
  std::shared_ptr<const IsoNames> m_pIsoNames;  // null: plain ISO 9660 names
  std::uint32_t m_nVolumeStart = 0;
  std::shared_ptr<const BootImages> m_pPendingBoot;  // for the next folder job
  std::shared_ptr<const BootImages> m_pBoot;         // the job's

  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bRunning{false};
  std::atomic<int> m_nPercent{0};
  std::thread m_Worker;

  mutable std::mutex m_Lock;  // guards m_sCurrent and m_Result
  std::condition_variable m_Stopped;  // the worker has set its last values
  std::string m_sCurrent;
  CopyResult m_Result;
  std::atomic<bool> m_bFailed{false};  // set by the job's threads (the worker and its file writers)
  bool m_bPastEnd = false;    // worker only
  // One past the last sector of the last track, asked once per job when a
  // read is refused as out of range (0: the medium does not say).
  bool m_bMediumEndAsked = false;   // worker only
  std::uint64_t m_nMediumEnd = 0;   // worker only
  bool BeyondMedium(std::uint32_t lba);
  std::uint64_t m_nDirSectors = 0;  // directory sectors read by this job (bounded)
  std::uint64_t m_nEntries = 0;     // files and folders met by this job (bounded)
};
