#pragma once
// The user-interface services: message boxes, file and folder dialogs, modal
// runs, timers, posting work to the user-interface thread, opening a file with
// the desktop's handler, popup menus. One instance is current per process
// (Ui::Get); QtUi renders with Qt, HeadlessUi answers from a script.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Dialog.h"
#include "platform/ui/Window.h"

namespace res {
struct MenuItem;
}

namespace ui {

class Renderer;

struct FileDialogRequest {
  bool open = true;                 // open, else save
  std::string defaultExt;           // without the dot; appended to a name without one
  std::string fileName;             // initial name
  unsigned flags = 0;               // OFN_FILEMUSTEXIST, OFN_OVERWRITEPROMPT, ...
  std::string filter;               // "Name|*.ext;*.e2|Name2|*.x||"
  std::filesystem::path initialDir;
  std::string title;
  Window* owner = nullptr;
};

struct FileFilter {
  std::string name;
  std::vector<std::string> patterns;  // "*.iso"
};
// Splits a filter in the "Name|patterns|...||" form; a name without its
// pattern part is dropped.
std::vector<FileFilter> ParseFileFilter(const std::string& filter);
// `path` with ".ext" added when it has no extension and ext is not empty.
std::filesystem::path ApplyDefaultExtension(const std::filesystem::path& path, const std::string& ext);

// Owner drawing of popup-menu items.
class MenuOwnerDraw {
 public:
  virtual ~MenuOwnerDraw() = default;
  virtual Size MeasureItem(const res::MenuItem& item) = 0;
  virtual void DrawItem(const res::MenuItem& item, Canvas& canvas, const Rect& rect, bool selected) = 0;
};

class Ui {
 public:
  virtual ~Ui();
  // The current instance; a quiet HeadlessUi when none was installed.
  static Ui& Get();
  // Makes `ui` current (null: back to the default); returns the previous one.
  static Ui* Install(Ui* ui);

  // Returns IDOK, IDCANCEL, IDYES, IDNO, ... for `type`'s buttons and icon
  // (MB_ constants).
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type,
                         Window* owner = nullptr) = 0;
  // The chosen path, or nothing when cancelled. The default extension, the
  // must-exist and overwrite-prompt rules are applied before it returns.
  virtual std::optional<std::filesystem::path> RunFileDialog(const FileDialogRequest& req) = 0;
  virtual std::optional<std::filesystem::path> BrowseForFolder(const std::string& title,
                                                               Window* owner = nullptr) = 0;
  // Runs a nested loop until dlg.EndDialog; returns its result.
  virtual int RunModal(Dialog& dlg) = 0;
  // Wakes the modal loop of `dlg` after EndDialog.
  virtual void EndModal(Dialog& dlg) = 0;
  // Periodic timers; starting an id again restarts it.
  virtual void StartTimer(Window& w, unsigned id, unsigned ms) = 0;
  virtual bool StopTimer(Window& w, unsigned id) = 0;
  virtual void StopTimers(Window& w) = 0;
  // Runs `work` on the user-interface thread, in order. Any thread.
  virtual void Post(std::function<void()> work) = 0;
  virtual bool OpenWithDefaultHandler(const std::filesystem::path& file) = 0;
  // Shows `items` as a popup at `screen`; returns the chosen command id (0
  // none) and, unless returnOnly, sends it to owner->OnCommand afterwards.
  virtual int TrackPopupMenu(const std::vector<res::MenuItem>& items, Point screen, Window* owner,
                             MenuOwnerDraw* draw, bool returnOnly = false) = 0;
  virtual Size ScreenSize() = 0;
  virtual DialogBaseUnits BaseUnits(const std::string& face, int pointSize) = 0;
  // One line of `text` in `font`, for layouts made outside a paint (menu
  // items are measured before they are drawn).
  virtual Size MeasureText(const std::string& text, const FontSpec& font) = 0;
  // The desktop's menu font.
  virtual FontSpec MenuFont() = 0;
  // A colour of the desktop's scheme by COLOR_ index (black for an unknown one).
  virtual COLORREF GetSysColor(int index) = 0;
  virtual Renderer* GetRenderer() { return nullptr; }

  // ---- application-wide ----
  void SetAppName(std::string name) { appName_ = std::move(name); }
  const std::string& AppName() const { return appName_; }
  // The application's own key filter, run before any window's
  // PreTranslateMessage (CWinApp::PreTranslateMessage); true swallows.
  void SetAppKeyFilter(std::function<bool(MSG&)> filter) { appFilter_ = std::move(filter); }
  // The full route of a key press for the focus window `target`: the
  // application filter, each window's PreTranslateMessage from the target up
  // to its top-level window, the top-level dialog's Enter (OnOK) and Escape
  // (OnCancel), else OnKeyDown of the target. Returns true when the key was
  // swallowed on the way; false when it goes on to the control itself.
  bool DispatchKeyDown(Window* target, int vk);

  Window* Focus() const { return focus_; }
  void SetFocusWindow(Window* w);        // runs the focus handlers
  void ForgetWindow(Window* w);          // a window is going

 protected:
  Ui();

 private:
  std::string appName_ = "tessal";
  std::function<bool(MSG&)> appFilter_;
  Window* focus_ = nullptr;
};

// MFC-shaped helpers over Ui::Get().
int AfxMessageBox(const std::string& text, unsigned type = MB_OK | MB_ICONINFORMATION);
// The running program's file (GetModuleFileName).
std::filesystem::path ModuleFileName();

class CFileDialog {
 public:
  CFileDialog(bool open, const char* defExt = nullptr, const char* fileName = nullptr,
              unsigned flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              Window* parent = nullptr);
  int DoModal();                               // IDOK or IDCANCEL
  std::string GetPathName() const { return path_.string(); }
  std::string GetFileName() const { return path_.filename().string(); }
  std::string GetFileExt() const;              // without the dot
  std::string GetFileTitle() const { return path_.stem().string(); }
  FileDialogRequest& Request() { return req_; }

 private:
  FileDialogRequest req_;
  std::filesystem::path path_;
};

}  // namespace ui
