#include "platform/ui/HeadlessUi.h"

#include <algorithm>
#include <thread>

namespace ui {

HeadlessUi::HeadlessUi() = default;
HeadlessUi::~HeadlessUi() = default;

void HeadlessUi::ClearRecords() {
  messages_.clear();
  fileDialogs_.clear();
  folderDialogs_.clear();
  menus_.clear();
  opened_.clear();
  modalRuns_.clear();
}

int HeadlessUi::MessageBox(const std::string& text, const std::string& caption, unsigned type, Window*) {
  int answer;
  if (!msgAnswers_.empty()) {
    answer = msgAnswers_.front();
    msgAnswers_.pop_front();
  } else {
    switch (type & MB_TYPEMASK) {
      case MB_YESNO:
      case MB_YESNOCANCEL:
        answer = IDYES;
        break;
      case MB_ABORTRETRYIGNORE:
        answer = IDABORT;
        break;
      case MB_RETRYCANCEL:
        answer = IDRETRY;
        break;
      default:
        answer = IDOK;
    }
  }
  messages_.push_back(ShownMessage{text, caption, type, answer});
  return answer;
}

std::optional<std::filesystem::path> HeadlessUi::RunFileDialog(const FileDialogRequest& req) {
  fileDialogs_.push_back(req);
  // Each queued choice is one attempt of the user; a choice the dialog
  // refuses (a missing file to open, an existing file not to be replaced)
  // keeps the dialog open for the next one.
  while (!fileAnswers_.empty()) {
    std::optional<std::filesystem::path> a = fileAnswers_.front();
    fileAnswers_.pop_front();
    if (!a) return std::nullopt;
    std::filesystem::path p = ApplyDefaultExtension(*a, req.defaultExt);
    std::error_code ec;
    const bool exists = std::filesystem::exists(p, ec);
    if (req.open && (req.flags & OFN_FILEMUSTEXIST) && !exists) {
      MessageBox(p.filename().string() + "\nFile not found.\nCheck the file name and try again.", req.title,
                 MB_OK | MB_ICONEXCLAMATION, req.owner);
      continue;
    }
    if (!req.open && (req.flags & OFN_OVERWRITEPROMPT) && exists) {
      if (MessageBox(p.filename().string() + " already exists.\nDo you want to replace it?", req.title,
                     MB_YESNO | MB_ICONEXCLAMATION, req.owner) != IDYES)
        continue;
    }
    return p;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> HeadlessUi::BrowseForFolder(const std::string& title, Window*) {
  folderDialogs_.push_back(title);
  if (folderAnswers_.empty()) return std::nullopt;
  auto a = folderAnswers_.front();
  folderAnswers_.pop_front();
  return a;
}

int HeadlessUi::RunModal(Dialog& dlg) {
  modalRuns_.push_back(dlg.GetTemplateId());
  modalStack_.push_back(&dlg);
  if (!modalActions_.empty()) {
    auto action = std::move(modalActions_.front());
    modalActions_.pop_front();
    action(dlg);
  }
  const std::uint64_t start = now_;
  bool failed = false;
  while (!dlg.IsEnding()) {
    if (RunPosted() > 0) continue;
    if (dlg.IsEnding()) break;
    const std::optional<std::uint64_t> due = NextDue();
    if (due) {
      if (*due - std::min(*due, start) > modalLimit_) {
        failed = true;
        break;
      }
      if (realTime_ && *due > now_) {
        // Let real work catch up with the timer; work posted meanwhile runs
        // first, as it would have arrived before the timer.
        if (WaitForPosted(std::chrono::milliseconds(*due - now_))) continue;
      }
      FireNextTimer(*due);
      continue;
    }
    if (WaitForPosted(idleWait_)) continue;
    failed = true;  // nothing left that could ever end the dialog
    break;
  }
  modalStack_.pop_back();
  if (failed && !dlg.IsEnding()) dlg.EndDialog(-1);
  return dlg.GetResult();
}

void HeadlessUi::StartTimer(Window& w, unsigned id, unsigned ms) {
  StopTimer(w, id);
  const unsigned period = std::max(1u, ms);
  timers_.push_back(Timer{w.Ref(), id, period, now_ + period, serial_++});
}

bool HeadlessUi::StopTimer(Window& w, unsigned id) {
  auto it = std::find_if(timers_.begin(), timers_.end(),
                         [&](const Timer& t) { return t.window.get() == &w && t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

void HeadlessUi::StopTimers(Window& w) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return !t.window || t.window.get() == &w; }),
                timers_.end());
}

bool HeadlessUi::HasTimer(const Window& w, unsigned id) const { return TimerPeriod(w, id).has_value(); }

std::optional<unsigned> HeadlessUi::TimerPeriod(const Window& w, unsigned id) const {
  for (const Timer& t : timers_)
    if (t.window.get() == &w && t.id == id) return t.period;
  return std::nullopt;
}

std::optional<std::uint64_t> HeadlessUi::NextDue() const {
  std::optional<std::uint64_t> best;
  for (const Timer& t : timers_)
    if (t.window && (!best || t.due < *best)) best = t.due;
  return best;
}

bool HeadlessUi::FireNextTimer(std::uint64_t limit) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [](const Timer& t) { return !t.window; }),
                timers_.end());
  auto it = std::min_element(timers_.begin(), timers_.end(), [](const Timer& a, const Timer& b) {
    return a.due != b.due ? a.due < b.due : a.serial < b.serial;
  });
  if (it == timers_.end() || it->due > limit) return false;
  now_ = std::max(now_, it->due);
  it->due = now_ + it->period;
  it->serial = serial_++;
  Window* w = it->window.get();
  const unsigned id = it->id;
  // The handler may kill or restart timers, so nothing of the vector is used
  // after this call.
  if (w) w->OnTimer(id);
  return true;
}

void HeadlessUi::Advance(std::uint64_t ms) {
  const std::uint64_t target = now_ + ms;
  RunPosted();
  while (FireNextTimer(target)) RunPosted();
  now_ = target;
}

void HeadlessUi::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(work));
  }
  posted_cv_.notify_all();
}

bool HeadlessUi::TakePosted(std::function<void()>& work) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (posted_.empty()) return false;
  work = std::move(posted_.front());
  posted_.pop_front();
  return true;
}

int HeadlessUi::RunPosted() {
  // Bounded, so work that keeps posting itself cannot hold the pump forever.
  constexpr int kMaxPerRound = 1000000;
  int n = 0;
  std::function<void()> work;
  while (n < kMaxPerRound && TakePosted(work)) {
    work();
    ++n;
  }
  return n;
}

bool HeadlessUi::WaitForPosted(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return posted_cv_.wait_for(lock, timeout, [&] { return !posted_.empty(); });
}

bool HeadlessUi::OpenWithDefaultHandler(const std::filesystem::path& file) {
  opened_.push_back(file);
  return true;
}

namespace {
bool HasCommand(const std::vector<res::MenuItem>& items, int id) {
  for (const res::MenuItem& m : items) {
    if (!m.separator && m.popup.empty() && m.id == id) return true;
    if (HasCommand(m.popup, id)) return true;
  }
  return false;
}
}  // namespace

int HeadlessUi::TrackPopupMenu(const std::vector<res::MenuItem>& items, Point screen, Window* owner,
                               MenuOwnerDraw* draw, bool returnOnly) {
  ShownMenu shown;
  shown.items = items;
  shown.at = screen;
  int answer = 0;
  if (!menuAnswers_.empty()) {
    answer = menuAnswers_.front();
    menuAnswers_.pop_front();
  }
  if (!HasCommand(items, answer)) answer = 0;
  shown.answer = answer;
  if (draw) {
    RecordingCanvas canvas;
    int y = 0;
    for (const res::MenuItem& m : items) {
      if (m.separator) continue;
      const Size s = draw->MeasureItem(m);
      shown.sizes.push_back(s);
      draw->DrawItem(m, canvas, Rect::FromSize(0, y, s.cx, s.cy), m.id == answer && answer != 0);
      y += s.cy;
    }
    shown.drawn = canvas.Calls();
  }
  menus_.push_back(std::move(shown));
  if (answer && owner && !returnOnly) owner->Post([owner, answer] { owner->OnCommand(answer); });
  return answer;
}

COLORREF HeadlessUi::GetSysColor(int index) {
  switch (index) {
    case COLOR_MENU:
    case COLOR_BTNFACE:
      return RGB(212, 208, 200);
    case COLOR_WINDOW:
    case COLOR_HIGHLIGHTTEXT:
      return RGB(255, 255, 255);
    case COLOR_HIGHLIGHT:
      return RGB(10, 36, 106);
    default:
      return RGB(0, 0, 0);
  }
}

Size HeadlessUi::MeasureText(const std::string& text, const FontSpec& font) {
  const DialogBaseUnits u = BaseUnits(font.face, font.pointSize);
  return {static_cast<int>(text.size()) * u.cx, u.cy};
}

DialogBaseUnits HeadlessUi::BaseUnits(const std::string& face, int pointSize) {
  // The dialog base units Windows reports at 96 dpi for the faces the
  // templates use; other fonts are estimated from their size.
  if (face == "MS Sans Serif" && pointSize == 8) return {6, 13};
  if (face == "System" && pointSize == 10) return {8, 16};
  if (face == "Courier New" && pointSize == 9) return {7, 15};
  if (face == "Courier New" && pointSize == 10) return {8, 16};
  const int em = std::max(1, (pointSize * 96 + 36) / 72);
  return {std::max(1, (em + 1) / 2), std::max(1, (em * 115 + 50) / 100)};
}

}  // namespace ui
