// The engine's destination files.
#include "copy/CopyOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

std::string ErrnoText(int err) { return std::system_category().message(err); }

bool CGetCDData::Output::Open(std::string& reason) {
  Discard();
  // A link at the name would send the data elsewhere; the name is ours to
  // make, so it is refused instead of followed.
  m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (m_fd < 0) {
    reason = ErrnoText(errno);
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
    if (m_fd < 0 || !Claim(0, reason)) return false;
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

bool CGetCDData::Output::Close(std::string& reason) {
  if (m_fd < 0) return true;
  bool ok = Flush(reason);
  if (ok && m_length != m_written && ::ftruncate(m_fd, static_cast<off_t>(m_length)) != 0) {
    reason = ErrnoText(errno);
    ok = false;
  }
  if (::close(m_fd) != 0 && ok) {
    reason = ErrnoText(errno);
    ok = false;
  }
  m_fd = -1;
  if (!ok) ::unlink(m_path.c_str());
  return ok;
}

void CGetCDData::Output::Discard() {
  m_buffer.clear();
  if (m_fd < 0) return;
  ::close(m_fd);
  m_fd = -1;
  ::unlink(m_path.c_str());
}
