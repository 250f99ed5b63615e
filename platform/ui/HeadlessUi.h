#pragma once
// The user-interface services without a display, for tests and the command-line
// tool. Dialog answers come from queues filled beforehand; every message box,
// file dialog and menu shown is recorded. Time is a virtual clock: nothing
// happens until the pump is driven (RunPosted, Advance) or a modal loop runs,
// which fires posted work and timers in order until EndDialog.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace ui {

class HeadlessUi : public Ui {
 public:
  struct ShownMessage {
    std::string text, caption;
    unsigned type = 0;
    int answer = 0;
    unsigned Icon() const { return type & MB_ICONMASK; }
    unsigned Buttons() const { return type & MB_TYPEMASK; }
  };
  struct ShownMenu {
    std::vector<res::MenuItem> items;
    Point at;
    int answer = 0;
    // With an owner-draw handler: each item's measured size and what it drew,
    // the items stacked top to bottom, the chosen one drawn selected.
    std::vector<Size> sizes;
    std::vector<RecordingCanvas::Call> drawn;
  };

  HeadlessUi();
  ~HeadlessUi() override;

  // ---- script ----
  // Answers of the next message boxes, in order; without one the box's first
  // button (IDOK, IDYES, IDABORT or IDRETRY) is pressed.
  void QueueMessageBoxAnswer(int id) { msgAnswers_.push_back(id); }
  // Next file dialog choices; nullopt cancels. Without one, a dialog cancels.
  void QueueFileChoice(std::optional<std::filesystem::path> path) { fileAnswers_.push_back(std::move(path)); }
  void QueueFolderChoice(std::optional<std::filesystem::path> path) { folderAnswers_.push_back(std::move(path)); }
  // Next popup menu choices (0 dismisses). Without one, a menu is dismissed.
  void QueueMenuChoice(int id) { menuAnswers_.push_back(id); }
  // Run once, on the next modal run, right after the dialog is shown.
  void QueueModalAction(std::function<void(Dialog&)> action) { modalActions_.push_back(std::move(action)); }

  // ---- what was shown ----
  const std::vector<ShownMessage>& Messages() const { return messages_; }
  const std::vector<FileDialogRequest>& FileDialogs() const { return fileDialogs_; }
  const std::vector<std::string>& FolderDialogs() const { return folderDialogs_; }
  const std::vector<ShownMenu>& Menus() const { return menus_; }
  const std::vector<std::filesystem::path>& OpenedFiles() const { return opened_; }
  // Ids of the templates of modal runs, in the order they started.
  const std::vector<int>& ModalRuns() const { return modalRuns_; }
  Dialog* CurrentModal() const { return modalStack_.empty() ? nullptr : modalStack_.back(); }
  void ClearRecords();

  // ---- pump ----
  // Runs queued work, including work queued meanwhile; returns how many ran.
  int RunPosted();
  // Moves the virtual clock forward by `ms`, firing each timer as it comes
  // due (in due order) and running posted work after each.
  void Advance(std::uint64_t ms);
  std::uint64_t Now() const { return now_; }
  bool HasTimer(const Window& w, unsigned id) const;
  std::optional<unsigned> TimerPeriod(const Window& w, unsigned id) const;
  // Blocks up to `timeout` for work posted from another thread; true if any
  // is waiting.
  bool WaitForPosted(std::chrono::milliseconds timeout);
  // A modal loop with nothing to do waits this long in real time for work
  // from other threads before it gives up and ends the run with -1. Timers
  // still fire on the virtual clock.
  void SetIdleWait(std::chrono::milliseconds wait) { idleWait_ = wait; }
  // A modal run that lasts longer than this on the virtual clock ends with -1.
  void SetModalLimit(std::uint64_t virtualMs) { modalLimit_ = virtualMs; }
  // Timers wait for their time on the real clock as well, so workers on real
  // threads can keep up with a poll timer.
  void SetRealTimeTimers(bool on) { realTime_ = on; }
  // Presses a key for `target` (the focus window when null).
  bool PressKey(Window* target, int vk) { return DispatchKeyDown(target ? target : Focus(), vk); }

  void SetScreenSize(Size s) { screen_ = s; }

  // ---- Ui ----
  int MessageBox(const std::string& text, const std::string& caption, unsigned type,
                 Window* owner = nullptr) override;
  std::optional<std::filesystem::path> RunFileDialog(const FileDialogRequest& req) override;
  std::optional<std::filesystem::path> BrowseForFolder(const std::string& title, Window* owner = nullptr) override;
  int RunModal(Dialog& dlg) override;
  void EndModal(Dialog& dlg) override {}
  void StartTimer(Window& w, unsigned id, unsigned ms) override;
  bool StopTimer(Window& w, unsigned id) override;
  void StopTimers(Window& w) override;
  void Post(std::function<void()> work) override;
  bool OpenWithDefaultHandler(const std::filesystem::path& file) override;
  int TrackPopupMenu(const std::vector<res::MenuItem>& items, Point screen, Window* owner,
                     MenuOwnerDraw* draw, bool returnOnly = false) override;
  Size ScreenSize() override { return screen_; }
  DialogBaseUnits BaseUnits(const std::string& face, int pointSize) override;
  // The font's dialog base units per byte and its height: the same rule as
  // the dialog layout, so measured layouts are predictable.
  Size MeasureText(const std::string& text, const FontSpec& font) override;
  FontSpec MenuFont() override { return FontSpec{"MS Sans Serif", 8, false}; }
  // The classic scheme's colours.
  COLORREF GetSysColor(int index) override;

 private:
  struct Timer {
    WindowRef window;
    unsigned id = 0;
    unsigned period = 0;
    std::uint64_t due = 0;
    std::uint64_t serial = 0;  // keeps timers with the same due time in start order
  };
  // Fires the earliest timer due at or before `limit`; false when none.
  bool FireNextTimer(std::uint64_t limit);
  std::optional<std::uint64_t> NextDue() const;
  bool TakePosted(std::function<void()>& work);

  std::deque<int> msgAnswers_;
  std::deque<std::optional<std::filesystem::path>> fileAnswers_, folderAnswers_;
  std::deque<int> menuAnswers_;
  std::deque<std::function<void(Dialog&)>> modalActions_;

  std::vector<ShownMessage> messages_;
  std::vector<FileDialogRequest> fileDialogs_;
  std::vector<std::string> folderDialogs_;
  std::vector<ShownMenu> menus_;
  std::vector<std::filesystem::path> opened_;
  std::vector<int> modalRuns_;
  std::vector<Dialog*> modalStack_;

  std::mutex mutex_;
  std::condition_variable posted_cv_;
  std::deque<std::function<void()>> posted_;

  std::vector<Timer> timers_;
  std::uint64_t now_ = 0;
  std::uint64_t serial_ = 0;
  std::chrono::milliseconds idleWait_{2000};
  std::uint64_t modalLimit_ = 24ULL * 3600 * 1000;
  bool realTime_ = false;
  std::chrono::steady_clock::time_point realStart_ = std::chrono::steady_clock::now();
  Size screen_{1920, 1080};
};

}  // namespace ui
