#pragma once
// What the fuzz targets share: a private folder on a memory file system for
// inputs that must be files, writing bytes into it, and a headless
// user-interface service installed for the views.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz/SparseImage.h"
#include "platform/ui/HeadlessUi.h"
#include "platform/ui/Ui.h"

namespace fuzzsupport {

// A folder of this process under /dev/shm (the temporary folder when there is
// no /dev/shm), made once and removed at exit.
inline const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string templ = base + "/tessal-fuzz-XXXXXX";
    if (!::mkdtemp(templ.data())) std::abort();
    static std::string keep;
    keep = templ;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(keep, ec);
    });
    return templ;
  }();
  return dir;
}

// Replaces name in the work folder with the bytes; returns its path.
inline std::string WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = WorkDir() + "/" + name;
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return path;
}
inline std::string WriteFile(const std::string& name, std::string_view bytes) {
  return WriteFile(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Inputs made of several files: the parts are separated by this line, the
// first part is the main file, the others its companions in order.
constexpr std::string_view kPartSeparator = "\n--tessal-part--\n";

inline std::pair<std::string_view, std::string_view> SplitFirst(std::string_view all) {
  const std::size_t at = all.find(kPartSeparator);
  if (at == std::string_view::npos) return {all, {}};
  return {all.substr(0, at), all.substr(at + kPartSeparator.size())};
}

// An image input of the browser and extraction targets: one flag byte, then
// the image. Flag bit 0: the image is in the sparse form, else verbatim; bit
// 1: its sectors are raw 2352-byte sectors (a .bin), else 2048-byte user data
// (a .iso). Returns the image file's path, empty for an input without flag.
inline std::string WriteImageInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return {};
  const std::uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool raw = flags & 2;
  const char* name = raw ? "image.bin" : "image.iso";
  if (!(flags & 1)) return WriteFile(name, rest);
  const auto image = ExpandSparse(rest, raw ? 2352 : 2048);
  return WriteFile(name, image.data(), image.size());
}

// The headless services, installed for the life of the process: the views
// ask for message boxes and post work, and nobody answers but this.
inline ui::HeadlessUi& Ui() {
  static ui::HeadlessUi* hui = [] {
    auto* h = new ui::HeadlessUi;
    ui::Ui::Install(h);
    return h;
  }();
  return *hui;
}

}  // namespace fuzzsupport
