// The engine's destination: the job's folder and the files, folders and
// links made in it.
#include "copy/CopyOutput.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

std::string ErrnoText(int err) { return std::system_category().message(err); }

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Why an item could not be made: a link of the job standing in the way is
// named as such rather than as the system's "Too many levels of symbolic links".
std::string InTheWay(int err, int dir, const std::string& name) {
  struct stat st;
  if ((err == ELOOP || err == ENOTDIR || err == EEXIST) && dir >= 0 && !name.empty() &&
      ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    return "a link has this name; nothing is written through a link";
  if (err == ELOOP) return "a link stands on this path; nothing is written through a link";
  return ErrnoText(err);
}

bool SetTimes(int dir, const char* name, int fd, std::optional<std::int64_t> mtime, std::string& reason) {
  if (!mtime) return true;
  struct timespec t[2];
  t[0].tv_sec = 0;
  t[0].tv_nsec = UTIME_OMIT;  // the access time is not recorded by every volume
  t[1].tv_sec = static_cast<time_t>(*mtime);
  t[1].tv_nsec = 0;
  const int rc = fd >= 0 ? ::futimens(fd, t) : ::utimensat(dir, name, t, AT_SYMLINK_NOFOLLOW);
  if (rc == 0) return true;
  reason = ErrnoText(errno);
  return false;
}

bool SetMode(int fd, std::optional<std::uint32_t> mode, std::string& reason) {
  // Only rwx: setuid, setgid and sticky bits from a medium are never applied.
  if (!mode || ::fchmod(fd, static_cast<mode_t>(*mode & 0777)) == 0) return true;
  reason = ErrnoText(errno);
  return false;
}

}  // namespace

bool CopyTarget::Create(const std::filesystem::path& root, std::string& reason) {
  Reset();
  if (::mkdir(root.c_str(), 0777) != 0) {
    reason = ErrnoText(errno);
    return false;
  }
  // Made just now; a link put in its place since is refused.
  m_root = ::open(root.c_str(), kDirFlags);
  if (m_root < 0) {
    reason = InTheWay(errno, AT_FDCWD, root.string());
    return false;
  }
  m_rootPath = root.lexically_normal();
  return true;
}

void CopyTarget::Reset() {
  if (m_root >= 0) ::close(m_root);
  m_root = -1;
  m_rootPath.clear();
}

bool CopyTarget::Below(const std::filesystem::path& path, std::vector<std::string>& parts,
                       std::string& reason) const {
  parts.clear();
  if (m_root < 0) {
    reason = "the copy's folder is not open";
    return false;
  }
  const std::filesystem::path rel = path.lexically_normal().lexically_relative(m_rootPath);
  for (const auto& part : rel) {
    const std::string s = part.string();
    if (s == ".") continue;
    if (s.empty() || s == ".." || s.find('/') != std::string::npos) {
      parts.clear();
      reason = "outside the copy's folder";
      return false;
    }
    parts.push_back(s);
  }
  if (parts.empty()) {
    reason = "not below the copy's folder";
    return false;
  }
  return true;
}

int CopyTarget::WalkFolder(const std::vector<std::string>& parts, std::size_t count, std::string& reason) const {
  int fd = ::dup(m_root);
  for (std::size_t i = 0; i < count && fd >= 0; ++i) {
    const int next = ::openat(fd, parts[i].c_str(), kDirFlags);
    if (next < 0) reason = InTheWay(errno, fd, parts[i]);
    ::close(fd);
    fd = next;
  }
  if (fd < 0 && reason.empty()) reason = ErrnoText(errno);
  return fd;
}

int CopyTarget::OpenFolder(const std::vector<std::string>& parts, std::size_t count, std::string& reason) {
  if (count == 0 || m_resolve == Resolve::ComponentWalk || m_noOpenat2) return WalkFolder(parts, count, reason);
  std::string rel;
  for (std::size_t i = 0; i < count; ++i) rel += (i ? "/" : "") + parts[i];
  struct open_how how;
  std::memset(&how, 0, sizeof how);
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, m_root, rel.c_str(), &how, sizeof how);
  if (fd >= 0) return static_cast<int>(fd);
  const int err = errno;
  // A kernel before 5.6, or a sandbox that filters the call: the walk does the same.
  if (err == ENOSYS || err == EPERM || err == E2BIG) {
    m_noOpenat2 = true;
    return WalkFolder(parts, count, reason);
  }
  if (err == ELOOP || err == ENOTDIR || err == EXDEV) {
    // Which component is in the way is found by walking to it.
    const int walked = WalkFolder(parts, count, reason);
    if (walked >= 0) ::close(walked);  // gone in between; refused all the same
    if (reason.empty()) reason = InTheWay(ELOOP, -1, {});
    return -1;
  }
  reason = ErrnoText(err);
  return -1;
}

int CopyTarget::OpenParent(const std::filesystem::path& path, std::string& name, std::string& reason) {
  std::vector<std::string> parts;
  if (!Below(path, parts, reason)) return -1;
  name = parts.back();
  return OpenFolder(parts, parts.size() - 1, reason);
}

int CopyTarget::OpenChosenFolder(const std::filesystem::path& path, std::string& name, std::string& reason) {
  name = path.filename().string();
  if (name.empty() || name == "." || name == "..") {
    reason = "no name to make";
    return -1;
  }
  // The folder the user chose is taken as it is, as a single file's is.
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) reason = ErrnoText(errno);
  return dir;
}

bool CopyTarget::MakeFolder(const std::filesystem::path& path, std::string& reason) {
  std::string name;
  const int dir = OpenParent(path, name, reason);
  if (dir < 0) return false;
  const bool ok = ::mkdirat(dir, name.c_str(), 0777) == 0;
  if (!ok) reason = InTheWay(errno, dir, name);
  ::close(dir);
  return ok;
}

bool CopyTarget::MakeLink(const std::filesystem::path& path, const std::string& target,
                          std::optional<std::int64_t> mtime, std::string& reason) {
  if (target.empty() || target.find('\0') != std::string::npos) {
    reason = target.empty() ? "the link's target is empty" : "the link's target holds a NUL byte";
    return false;
  }
  std::string name;
  const int dir = Active() ? OpenParent(path, name, reason) : OpenChosenFolder(path, name, reason);
  if (dir < 0) return false;
  bool ok = ::symlinkat(target.c_str(), dir, name.c_str()) == 0;
  if (!ok) reason = InTheWay(errno, dir, name);
  if (ok && !SetTimes(dir, name.c_str(), -1, mtime, reason)) {
    ::unlinkat(dir, name.c_str(), 0);
    ok = false;
  }
  ::close(dir);
  return ok;
}

bool CopyTarget::ApplyFolderTimes(const std::filesystem::path& path, std::optional<std::uint32_t> mode,
                                  std::optional<std::int64_t> mtime, std::string& reason) {
  if (!mode && !mtime) return true;
  int fd = -1;
  if (m_root >= 0 && path.lexically_normal().lexically_relative(m_rootPath) == ".") {
    fd = ::dup(m_root);
    if (fd < 0) reason = ErrnoText(errno);
  } else {
    std::vector<std::string> parts;
    if (Below(path, parts, reason)) fd = OpenFolder(parts, parts.size(), reason);
  }
  if (fd < 0) return false;
  const bool ok = SetMode(fd, mode, reason) && SetTimes(-1, nullptr, fd, mtime, reason);
  ::close(fd);
  return ok;
}

bool CopyTarget::KeepsCase() const {
  struct statfs fs;
  if (m_root < 0 || ::fstatfs(m_root, &fs) != 0) return false;
  // Case-folding file systems (FAT, exFAT, NTFS, SMB, HFS+, and FUSE, which
  // may be any of them) are left out by naming only those that keep case.
  constexpr long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E, kTmpfs = 0x01021994, kF2fs = 0xF2F52010;
  const long type = static_cast<long>(fs.f_type);
  if (type != kExt && type != kXfs && type != kBtrfs && type != kTmpfs && type != kF2fs) return false;
  // ext4, f2fs and tmpfs can fold case folder by folder; the folders a job
  // makes take the flag of the one it made first.
  int flags = 0;
  if (::ioctl(m_root, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL)) return false;
  return true;
}

bool CGetCDData::Output::Open(std::string& reason) {
  Discard();
  if (m_target && m_target->Active()) {
    m_dir = m_target->OpenParent(m_path, m_name, reason);
    if (m_dir < 0) return false;
  } else {
    m_dir = AT_FDCWD;
    m_name = m_path.string();
  }
  // A link at the name would send the data elsewhere; the name is ours to
  // make, so it is refused instead of followed.
  m_fd = ::openat(m_dir, m_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (m_fd < 0) {
    reason = InTheWay(errno, m_dir, m_name);
    if (m_dir >= 0) ::close(m_dir);
    m_dir = -1;
    return false;
  }
  m_length = m_written = 0;
  return true;
}

bool CGetCDData::Output::WriteOut(const unsigned char* p, std::size_t n, std::string& reason) {
  while (n > 0) {
    const ssize_t w = ::write(m_fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      reason = ErrnoText(errno);
      return false;
    }
    if (w == 0) {
      reason = ErrnoText(ENOSPC);
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
    m_written += static_cast<std::uint64_t>(w);
  }
  return true;
}

bool CGetCDData::Output::Flush(std::string& reason) {
  if (m_buffer.empty()) return true;
  const bool ok = WriteOut(m_buffer.data(), m_buffer.size(), reason);
  m_buffer.clear();
  return ok;
}

bool CGetCDData::Output::Write(const void* data, std::size_t n, std::string& reason) {
  if (n >= kBufferSize) {
    // Whatever waits in the buffer goes first.
    if (m_fd < 0 || !Flush(reason) || !Claim(0, reason)) return false;
    m_length += n;
    return WriteOut(static_cast<const unsigned char*>(data), n, reason);
  }
  unsigned char* at = Claim(n, reason);
  if (!at) return false;
  std::memcpy(at, data, n);
  Commit(n);
  return true;
}

unsigned char* CGetCDData::Output::Claim(std::size_t n, std::string& reason) {
  if (m_fd < 0) {
    reason = "file not open";
    return nullptr;
  }
  if (m_buffer.size() + n > kBufferSize && !Flush(reason)) return nullptr;
  // After a hole the next bytes go where the file's length has come to.
  if (m_buffer.empty() && m_written != m_length) {
    if (::lseek(m_fd, static_cast<off_t>(m_length), SEEK_SET) < 0) {
      reason = ErrnoText(errno);
      return nullptr;
    }
    m_written = m_length;
  }
  if (m_buffer.capacity() < kBufferSize && n > 0) m_buffer.reserve(std::min(kBufferSize, m_buffer.size() + n) * 2);
  m_claimAt = m_buffer.size();
  m_buffer.resize(m_claimAt + n);
  return m_buffer.data() + m_claimAt;
}

void CGetCDData::Output::Commit(std::size_t m) {
  m = std::min(m, m_buffer.size() - m_claimAt);
  m_buffer.resize(m_claimAt + m);
  m_length += m;
}

bool CGetCDData::Output::Skip(std::uint64_t n, std::string& reason) {
  if (m_fd < 0) {
    reason = "file not open";
    return false;
  }
  if (n > static_cast<std::uint64_t>(INT64_MAX) - m_length) {
    reason = ErrnoText(EFBIG);
    return false;
  }
  if (!Flush(reason)) return false;
  m_length += n;
  return true;
}

CGetCDData::Output::Copy CGetCDData::Output::CopyFrom(int fd, std::uint64_t offset, std::uint64_t n,
                                                      const std::atomic<bool>& stop, std::string& reason) {
  // A piece at a time, so that a cancel is seen within a fraction of a second.
  constexpr std::uint64_t kPiece = 32u << 20;
  if (m_fd < 0 || !Flush(reason)) return Copy::Failed;
  const std::uint64_t start = m_length;
  if (m_written != m_length && ::lseek(m_fd, static_cast<off_t>(m_length), SEEK_SET) < 0) {
    reason = ErrnoText(errno);
    return Copy::Failed;
  }
  m_written = m_length;
  auto from = static_cast<off_t>(offset);
  std::uint64_t done = 0;
  int err = 0;
  while (done < n && !stop) {
    const ssize_t c = ::copy_file_range(fd, &from, m_fd, nullptr, static_cast<std::size_t>(std::min(kPiece, n - done)), 0);
    if (c < 0 && errno == EINTR) continue;
    if (c <= 0) {
      err = c < 0 ? errno : 0;
      break;
    }
    done += static_cast<std::uint64_t>(c);
  }
  m_written = m_length = start + done;
  if (done == n) return Copy::Done;
  // Where the destination cannot take the bytes, reading them would not help.
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) {
    reason = ErrnoText(err);
    return Copy::Failed;
  }
  // Undone, so that the caller's reads start from where this began.
  if (::ftruncate(m_fd, static_cast<off_t>(start)) != 0 || ::lseek(m_fd, static_cast<off_t>(start), SEEK_SET) < 0) {
    reason = ErrnoText(errno);
    return Copy::Failed;
  }
  m_written = m_length = start;
  return Copy::Refused;
}

bool CGetCDData::Output::Finish(std::string& reason) {
  bool ok = Flush(reason);
  if (ok && m_length != m_written && ::ftruncate(m_fd, static_cast<off_t>(m_length)) != 0) {
    reason = ErrnoText(errno);
    ok = false;
  }
  // The time last: nothing written after it moves it again.
  return ok && SetMode(m_fd, m_mode, reason) && SetTimes(-1, nullptr, m_fd, m_mtime, reason);
}

bool CGetCDData::Output::Close(std::string& reason) {
  if (m_fd < 0) return true;
  bool ok = Finish(reason);
  if (::close(m_fd) != 0 && ok) {
    reason = ErrnoText(errno);
    ok = false;
  }
  m_fd = -1;
  if (!ok) ::unlinkat(m_dir, m_name.c_str(), 0);
  ReleaseDir();
  return ok;
}

// Lets go of the folder the file was made in.
void CGetCDData::Output::ReleaseDir() {
  if (m_dir >= 0) ::close(m_dir);
  m_dir = -1;
}

void CGetCDData::Output::Discard() {
  m_buffer.clear();
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
  ::unlinkat(m_dir, m_name.c_str(), 0);
  ReleaseDir();
}
