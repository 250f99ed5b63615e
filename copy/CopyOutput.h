#pragma once
// The engine's destination file: created without following a link planted at
// its name, written whole or failed with the reason, holes (zeros) kept sparse
// so that a file of unrecorded extents costs no writing, deleted when the job
// is cancelled.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "copy/GetCDData.h"

class CGetCDData::Output {
 public:
  explicit Output(std::filesystem::path path) : m_path(std::move(path)) {}
  ~Output() { Discard(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Creates (or truncates) the file; false with the reason.
  bool Open(std::string& reason);
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
  // Ends the file at its length (holes at its end included) and closes it.
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

  std::filesystem::path m_path;
  std::vector<unsigned char> m_buffer;  // bytes from m_written on, not yet written
  std::size_t m_claimAt = 0;            // where the claimed room begins in m_buffer
  int m_fd = -1;
  std::uint64_t m_length = 0;
  std::uint64_t m_written = 0;  // bytes up to the end of the last real write (and the buffer's start)
  std::uint64_t m_unreadable = 0;
};

// The reason errno names, for a message to the user.
std::string ErrnoText(int err);
