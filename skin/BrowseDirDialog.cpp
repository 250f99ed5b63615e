// The folder chooser.
#include "skin/BrowseDirDialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace {
constexpr const char* kOverwrite = "File or Directory already Existed, OverWrite it?";
}

CBrowseDirDialog::CBrowseDirDialog(bool isFolder, std::string name) : m_sName(std::move(name)), m_bFolder(isFolder) {}

CBrowseDirDialog::~CBrowseDirDialog() = default;

bool CBrowseDirDialog::Browse() {
  const std::optional<std::filesystem::path> chosen = ui::Ui::Get().BrowseForFolder("");
  if (!chosen || chosen->empty()) return false;
  m_szPath = chosen->string();
  return CheckTarget();
}

std::string CBrowseDirDialog::GetTarget() const {
  std::string t = m_szPath;
  if (t.empty() || t.back() != '/') t += '/';
  return t + m_sName;
}

bool CBrowseDirDialog::CheckTarget() {
  // Removing ".." or "a/b" of the chosen folder would remove what the user
  // never named.
  if (m_sName.empty() || m_sName == "." || m_sName == ".." || m_sName.find('/') != std::string::npos) return false;
  const std::string target = GetTarget();
  struct stat st;
  if (::lstat(target.c_str(), &st) != 0) return true;  // nothing there
  const char* text = res::String(kOverwriteString);
  if (ui::AfxMessageBox(text ? text : kOverwrite, ui::MB_OKCANCEL | ui::MB_ICONQUESTION) != IDOK) return false;
  if (S_ISDIR(st.st_mode)) {
    DeleteTree(target);
  } else {
    ::unlink(target.c_str());
  }
  return true;
}

void CBrowseDirDialog::DeleteTree(const std::string& dir) {
  std::error_code ec;
  std::vector<std::filesystem::path> entries;
  for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec))
    entries.push_back(it->path());
  for (const std::filesystem::path& full : entries) {
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0) continue;
    if (!S_ISDIR(st.st_mode)) {
      ::unlink(full.c_str());
    } else if (full.filename().string().front() != '.') {
      DeleteTree(full.string());
    }
  }
  ::rmdir(dir.c_str());  // stays when a dot-named folder remained in it
}
