#pragma once
// The engine's destination: the folder a folder job writes into and the
// files, folders and links it makes there.
//
// A volume names its items, and Rock Ridge or UDF volumes also hold symbolic
// links whose targets may point anywhere ("a -> /etc", "b -> .."). The job
// makes those links as links, so a later item of the same volume, "a/passwd",
// must never be written through one. Every item of a folder job is therefore
// made by name inside the job's folder, held open: each path component is
// opened without following a link (openat2 with RESOLVE_BENEATH and
// RESOLVE_NO_SYMLINKS, or one O_NOFOLLOW openat a component where the kernel
// lacks it), and the last component is created without following one either.
// A link in the way is refused with a clear reason, never followed.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "copy/GetCDData.h"
#include "fs/Node.h"

// Why extraction does not make an item of this type ("device", "FIFO",
// "socket"), or null for files, folders and links, which it makes.
inline const char* SkipWhy(fs::NodeType t) {
  switch (t) {
    case fs::NodeType::BlockDevice:
    case fs::NodeType::CharDevice: return "device";
    case fs::NodeType::Fifo: return "FIFO";
    case fs::NodeType::Socket: return "socket";
    default: return nullptr;
  }
}

class CopyTarget {
 public:
  // How folders below the root are opened: the kernel's one-call resolution
  // where it has it, else a component at a time (also kept for tests).
  enum class Resolve { Auto, ComponentWalk };

  CopyTarget() = default;
  ~CopyTarget() { Reset(); }
  CopyTarget(const CopyTarget&) = delete;
  CopyTarget& operator=(const CopyTarget&) = delete;

  // Makes the folder root (it must not exist yet; the folders above it are
  // the user's and are taken as they are) and holds it open.
  bool Create(const std::filesystem::path& root, std::string& reason);
  // Lets go of the folder; the object can Create again.
  void Reset();
  bool Active() const { return m_root >= 0; }
  // Whether names that differ only in letter case are two names in the
  // folder (a file system known to keep case, the folder not folding case).
  // Files are written side by side only where they are, so that two records
  // of one folder never write one file at the same time.
  bool KeepsCase() const;
  const std::filesystem::path& Root() const { return m_rootPath; }
  void SetResolve(Resolve r) { m_resolve = r; }

  // The folder at path, a path below the root (as root / name / name ...).
  bool MakeFolder(const std::filesystem::path& path, std::string& reason);
  // A symbolic link at path holding target as recorded, byte for byte; its
  // own time set to mtime where given. An empty target or one holding a NUL
  // cannot be a link and is refused. While no root is active (a link saved
  // on its own) it is made at path as given, in the folder the user chose.
  bool MakeLink(const std::filesystem::path& path, const std::string& target, std::optional<std::int64_t> mtime,
                std::string& reason);
  // Permission bits (rwx only: never setuid, setgid or sticky) and the
  // modification time of the folder at path (the root included). Called once
  // the folder's children are written, since each of them changes its time
  // and a folder without write permission takes no more children.
  bool ApplyFolderTimes(const std::filesystem::path& path, std::optional<std::uint32_t> mode,
                        std::optional<std::int64_t> mtime, std::string& reason);

  // The folder that holds path, opened below the root without following any
  // link: a descriptor the caller closes, and the last component in name.
  // -1 with the reason when path is not below the root or a link or
  // non-folder stands in the way.
  int OpenParent(const std::filesystem::path& path, std::string& name, std::string& reason);

 private:
  // The components of path below the root; false when it is not below it.
  bool Below(const std::filesystem::path& path, std::vector<std::string>& parts, std::string& reason) const;
  // The folder of those components (all of them) opened below the root.
  int OpenFolder(const std::vector<std::string>& parts, std::size_t count, std::string& reason);
  int WalkFolder(const std::vector<std::string>& parts, std::size_t count, std::string& reason) const;
  // The folder holding path, opened as the user named it; the last component in name.
  static int OpenChosenFolder(const std::filesystem::path& path, std::string& name, std::string& reason);

  int m_root = -1;
  std::filesystem::path m_rootPath;
  Resolve m_resolve = Resolve::Auto;
  std::atomic<bool> m_noOpenat2{false};  // the kernel (or a sandbox) refused openat2 once
};

// A file of the job. Created without following a link planted at its name
// (and, for a file below a CopyTarget, without following one anywhere on its
// path), written whole or failed with the reason, holes (zeros) kept sparse
// so that a file of unrecorded extents costs no writing, deleted when the job
// is cancelled.
class CGetCDData::Output {
 public:
  // A file at a path the user chose (a track or single-file job).
  explicit Output(std::filesystem::path path) : m_path(std::move(path)) {}
  // A file of a folder job: made below target's root (or at the path as
  // given while the target is not active).
  Output(CopyTarget& target, std::filesystem::path path) : m_path(std::move(path)), m_target(&target) {}
  ~Output() { Discard(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Creates (or truncates) the file; false with the reason.
  bool Open(std::string& reason);
  // Permission bits (only mode & 0777 is applied) and modification time
  // (seconds since 1970 UTC) given to the file when it is closed; a value
  // not given leaves what the system chose.
  void SetAttributes(std::optional<std::uint32_t> mode, std::optional<std::int64_t> mtime) {
    m_mode = mode;
    m_mtime = mtime;
  }
  // Bytes go out in large writes; a failure shows at the write that meets it
  // or at Close.
  bool Write(const void* data, std::size_t n, std::string& reason);
  // Room for n bytes at the file's end, for a read straight into the output;
  // Commit(m) keeps the first m of them (m <= n) and must follow before any
  // other call. Null (with the reason) when earlier bytes cannot be written.
  unsigned char* Claim(std::size_t n, std::string& reason);
  void Commit(std::size_t m);
  // n zero bytes, left as a hole.
  bool Skip(std::uint64_t n, std::string& reason);
  // n bytes of the file fd from offset appended by the kernel, without
  // passing through this process (copy_file_range). Copied when it answers
  // Done; Refused leaves the file as it was, for the caller to read the
  // bytes instead (the kernel cannot copy between these files, or the source
  // fell short); Failed is a write that failed, with the reason. stop is
  // looked at between pieces (Refused when it is set).
  enum class Copy { Done, Refused, Failed };
  Copy CopyFrom(int fd, std::uint64_t offset, std::uint64_t n, const std::atomic<bool>& stop, std::string& reason);
  // Ends the file at its length (holes at its end included), applies the
  // attributes and closes it; a file that fails here is deleted.
  bool Close(std::string& reason);
  // Closes and deletes the file (nothing when it is closed already).
  void Discard();

  const std::filesystem::path& Path() const { return m_path; }
  std::uint64_t Length() const { return m_length; }
  std::uint64_t Unreadable() const { return m_unreadable; }
  void CountUnreadable(std::uint64_t sectors) { m_unreadable += sectors; }

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;
  bool Flush(std::string& reason);
  bool WriteOut(const unsigned char* p, std::size_t n, std::string& reason);
  bool Finish(std::string& reason);
  void ReleaseDir();

  std::filesystem::path m_path;
  CopyTarget* m_target = nullptr;
  int m_dir = -1;         // the folder holding the file, when made below a target
  std::string m_name;     // the file's name in m_dir, or its whole path
  std::optional<std::uint32_t> m_mode;
  std::optional<std::int64_t> m_mtime;
  std::vector<unsigned char> m_buffer;  // bytes from m_written on, not yet written
  std::size_t m_claimAt = 0;            // where the claimed room begins in m_buffer
  int m_fd = -1;
  std::uint64_t m_length = 0;
  std::uint64_t m_written = 0;  // bytes up to the end of the last real write (and the buffer's start)
  std::uint64_t m_unreadable = 0;
};

// The reason errno names, for a message to the user.
std::string ErrnoText(int err);
