#include "platform/ui/Paths.h"

#include <system_error>

// Set by the build for this file alone (cmake/Install.cmake); an empty string
// when a build does not know them.
#ifndef TESSAL_INSTALL_DATADIR
#define TESSAL_INSTALL_DATADIR ""
#endif
#ifndef TESSAL_BUILD_DATADIR
#define TESSAL_BUILD_DATADIR ""
#endif

namespace ui {
namespace fs = std::filesystem;

fs::path RunningProgram() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path{} : p;
}

std::vector<fs::path> DataFolderCandidates(const fs::path& exe) {
  std::vector<fs::path> out;
  const fs::path program = exe.empty() ? RunningProgram() : exe;
  if (!program.empty() && program.has_parent_path())
    out.push_back((program.parent_path() / ".." / "share" / "tessal").lexically_normal());
  for (const char* dir : {TESSAL_INSTALL_DATADIR, TESSAL_BUILD_DATADIR}) {
    fs::path p(dir);
    if (p.empty()) continue;
    p = p.lexically_normal();
    bool seen = false;
    for (const fs::path& q : out) seen = seen || q == p;
    if (!seen) out.push_back(p);
  }
  return out;
}

namespace {

fs::path FirstHolding(const fs::path& exe, const fs::path& relative, bool folder) {
  for (const fs::path& dir : DataFolderCandidates(exe)) {
    std::error_code ec;
    const fs::path p = dir / relative;
    const bool ok = folder ? fs::is_directory(p, ec) : fs::is_regular_file(p, ec);
    if (ok && !ec) return p;
  }
  return {};
}

}  // namespace

fs::path HelpFile(const fs::path& exe) { return FirstHolding(exe, fs::path("help") / "index.html", false); }

fs::path SamplesFolder(const fs::path& exe) { return FirstHolding(exe, "samples", true); }

}  // namespace ui
