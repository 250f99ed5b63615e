#include "platform/ui/Ui.h"

#include <atomic>
#include <system_error>

#include "platform/ui/HeadlessUi.h"

namespace ui {

namespace {
// Workers ask for the current instance to post to it while the program may
// be installing one, so the pointer is atomic.
std::atomic<Ui*>& Current() {
  static std::atomic<Ui*> current{nullptr};
  return current;
}
Ui& Default() {
  // Made once and never destroyed: windows that outlive main still find a
  // Ui in their destructors.
  static HeadlessUi* quiet = new HeadlessUi();
  return *quiet;
}
}  // namespace

Ui::Ui() = default;

Ui::~Ui() {
  Ui* self = this;
  Current().compare_exchange_strong(self, nullptr);
}

Ui& Ui::Get() {
  Ui* c = Current().load();
  return c ? *c : Default();
}

Ui* Ui::Install(Ui* ui) {
  return Current().exchange(ui);
}

void Ui::SetFocusWindow(Window* w) {
  if (focus_ == w) return;
  Window* old = focus_;
  focus_ = w;
  if (old) old->OnKillFocus();
  if (w && focus_ == w) w->OnSetFocus();
}

void Ui::ForgetWindow(Window* w) {
  if (focus_ == w) focus_ = nullptr;
}

bool Ui::DispatchKeyDown(Window* target, int vk) {
  MSG m;
  m.hwnd = target;
  m.message = WM_KEYDOWN;
  m.wParam = static_cast<WPARAM>(vk);
  if (appFilter_ && appFilter_(m)) return true;
  if (!target) return false;
  // Each window sees the key from the focus up to its top-level window; a
  // window that goes away while handling it ends the walk.
  WindowRef ref = target->Ref();
  for (Window* w = target; w; w = w->IsChild() ? w->GetParent() : nullptr) {
    WindowRef wr = w->Ref();
    if (w->PreTranslateMessage(&m)) return true;
    if (!wr) return true;
  }
  if (!ref) return true;
  Window* top = target->GetTopLevel();
  if (auto* dlg = dynamic_cast<Dialog*>(top)) {
    if (vk == VK_RETURN) {
      dlg->OnOK();
      return true;
    }
    if (vk == VK_ESCAPE) {
      dlg->OnCancel();
      return true;
    }
  }
  target->OnKeyDown(vk);
  return false;  // the control still gets the key (typing, arrows)
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  std::vector<FileFilter> out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // the closing "||"
    FileFilter f;
    f.name = parts[i];
    std::string p;
    for (char c : parts[i + 1] + ";") {
      if (c == ';') {
        if (!p.empty()) f.patterns.push_back(p);
        p.clear();
      } else if (c != ' ') {
        p += c;
      }
    }
    if (!f.patterns.empty()) out.push_back(std::move(f));
  }
  return out;
}

std::filesystem::path ApplyDefaultExtension(const std::filesystem::path& path, const std::string& ext) {
  if (ext.empty() || path.empty() || path.has_extension()) return path;
  std::filesystem::path p = path;
  p += "." + (ext[0] == '.' ? ext.substr(1) : ext);
  return p;
}

int AfxMessageBox(const std::string& text, unsigned type) {
  Ui& ui = Ui::Get();
  return ui.MessageBox(text, ui.AppName(), type);
}

std::filesystem::path ModuleFileName() {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
}

CFileDialog::CFileDialog(bool open, const char* defExt, const char* fileName, unsigned flags, const char* filter,
                         Window* parent) {
  req_.open = open;
  req_.defaultExt = defExt ? defExt : "";
  req_.fileName = fileName ? fileName : "";
  req_.flags = flags;
  req_.filter = filter ? filter : "";
  req_.owner = parent;
}

int CFileDialog::DoModal() {
  auto chosen = Ui::Get().RunFileDialog(req_);
  if (!chosen) return IDCANCEL;
  path_ = *chosen;
  return IDOK;
}

std::string CFileDialog::GetFileExt() const {
  std::string e = path_.extension().string();
  return e.empty() ? e : e.substr(1);
}

}  // namespace ui
