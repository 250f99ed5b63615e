#pragma once
// The user-interface services with real Qt: QMessageBox, QFileDialog, a
// nested QEventLoop per modal run, QTimer, queued invocation for posting, and
// the renderer that gives every window model its widget. Make one after the
// QApplication and install it with Ui::Install.
#include <map>
#include <memory>

#include <QObject>
#include <QPointer>

#include "platform/ui/Peer.h"
#include "platform/ui/Ui.h"

class QEventLoop;
class QTimer;

namespace ui::qt {

class QtUi : public Ui, public Renderer {
 public:
  QtUi();
  ~QtUi() override;

  int MessageBox(const std::string& text, const std::string& caption, unsigned type,
                 Window* owner = nullptr) override;
  std::optional<std::filesystem::path> RunFileDialog(const FileDialogRequest& req) override;
  std::optional<std::filesystem::path> BrowseForFolder(const std::string& title, Window* owner = nullptr) override;
  int RunModal(Dialog& dlg) override;
  void EndModal(Dialog& dlg) override;
  void StartTimer(Window& w, unsigned id, unsigned ms) override;
  bool StopTimer(Window& w, unsigned id) override;
  void StopTimers(Window& w) override;
  void Post(std::function<void()> work) override;
  bool OpenWithDefaultHandler(const std::filesystem::path& file) override;
  int TrackPopupMenu(const std::vector<res::MenuItem>& items, Point screen, Window* owner, MenuOwnerDraw* draw,
                     bool returnOnly = false) override;
  Size ScreenSize() override;
  DialogBaseUnits BaseUnits(const std::string& face, int pointSize) override;
  Size MeasureText(const std::string& text, const FontSpec& font) override;
  FontSpec MenuFont() override;
  COLORREF GetSysColor(int index) override;
  Renderer* GetRenderer() override { return this; }

  void Realize(Window& w) override;

  // The widget showing `w`, or null when it has none.
  static QWidget* WidgetOf(const Window& w);

 private:
  class KeyFilter;
  std::unique_ptr<QObject> context_;  // lives on the GUI thread; posted work runs through it
  std::unique_ptr<KeyFilter> keys_;
  std::map<std::pair<const Window*, unsigned>, QTimer*> timers_;
  std::map<const Dialog*, QEventLoop*> loops_;
  std::map<std::pair<std::string, int>, DialogBaseUnits> units_;
};

// Runs `body` as a Qt program: makes the QApplication and a QtUi, installs
// it (the application's name is the program file's name without its
// extension), runs `body` and returns its result. The program's own modal
// dialog is its message loop, so nothing else is run.
int RunQtProgram(int argc, char** argv, const std::function<int()>& body);

}  // namespace ui::qt
