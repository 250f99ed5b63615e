// Image files read with pread, so one open file serves every extent and
// thread without a shared position, and offsets past 4 GiB are plain.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/orvane/DiscImage.h"

namespace orvane {
namespace {

class PosixImageFile final : public ImageFile {
 public:
  PosixImageFile(int fd, std::uint64_t size, std::string path) : m_fd(fd), m_size(size), m_path(std::move(path)) {}
  ~PosixImageFile() override { ::close(m_fd); }
  PosixImageFile(const PosixImageFile&) = delete;
  PosixImageFile& operator=(const PosixImageFile&) = delete;

  std::uint64_t Size() const override { return m_size; }
  const std::string& Path() const override { return m_path; }
  int Descriptor() const override { return m_fd; }

  std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t length) override {
    if (offset >= m_size) return 0;
    if (length > m_size - offset) length = static_cast<std::size_t>(m_size - offset);
    auto* p = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < length) {
      ssize_t n = ::pread(m_fd, p + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // an I/O error or a file that shrank: report what we have
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

 private:
  int m_fd;
  std::uint64_t m_size;
  std::string m_path;
};

}  // namespace

std::shared_ptr<ImageFile> OpenImageFile(const std::string& path, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = "cannot examine " + path + ": " + std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    error = path + " is not a regular file";
    ::close(fd);
    return nullptr;
  }
  return std::make_shared<PosixImageFile>(fd, static_cast<std::uint64_t>(st.st_size), path);
}

}  // namespace orvane
