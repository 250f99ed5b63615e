// Scripted answers to the modal windows of the real Qt layer: dialogs run by
// exec() or by the program's own modal loop, message boxes, file and folder
// choosers, popup menus. Header only: just the Qt test programs include it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Dialog.h"
#include "platform/ui/qt/QtPeers.h"

namespace testsupport {

// How long one scripted answer may take before the test gives up on it: far
// above what a modal run needs even under a loaded machine or a sanitizer.
inline constexpr std::chrono::milliseconds kModalAnswerLimit{30000};
inline constexpr int kModalAnswerTickMs = 20;

// Spins the event loop until `done`, for at most `ms`; false on the timeout.
inline bool SpinUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, kModalAnswerTickMs);
  }
  return true;
}

// Ends the innermost modal thing on show: a popup menu, a QDialog, the
// program's own modal dialog, or any other modal window. False when none is.
inline bool CloseInnermostModal() {
  if (QWidget* popup = QApplication::activePopupWidget()) {
    popup->close();
    return true;
  }
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) return false;
  if (auto* dialog = qobject_cast<QDialog*>(modal)) {
    dialog->reject();
  } else if (auto* own = dynamic_cast<ui::Dialog*>(ui::qt::ModelOf(modal)); own && own->IsModal()) {
    own->EndDialog(IDCANCEL);
  } else {
    modal->close();
  }
  return true;
}

// Plays the user's part in a modal run. `step` is called from the event loop
// every 20 ms, also inside the dialog's or menu's own loop, answers whatever
// shows and returns true once the run is over. One answer can be lost (a file
// dialog whose folder has not loaded yet ignores accept, a click can land
// before the window is ready), so the step runs again and again until it
// says the window has really closed.
//
// Past `limit` the test fails with `what`, and from then on every tick closes
// the innermost modal window or popup, so a lost answer fails the test
// instead of hanging it. A step must not block: a click that opens a nested
// modal run is queued (QMetaObject::invokeMethod), since this timer does not
// fire again while its own call is still running.
class ModalAnswer {
 public:
  ModalAnswer(std::string what, std::function<bool()> step, std::chrono::milliseconds limit = kModalAnswerLimit)
      : what_(std::move(what)), step_(std::move(step)), limit_(limit) {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(kModalAnswerTickMs);
  }
  ~ModalAnswer() { timer_.stop(); }
  ModalAnswer(const ModalAnswer&) = delete;
  ModalAnswer& operator=(const ModalAnswer&) = delete;

  bool Done() const { return done_; }
  bool GaveUp() const { return gaveUp_; }

 private:
  void Tick() {
    if (gaveUp_) {
      if (!CloseInnermostModal()) timer_.stop();
      return;
    }
    if (step_()) {
      done_ = true;
      timer_.stop();
      return;
    }
    if (clock_.elapsed() > limit_.count()) {
      gaveUp_ = true;
      ADD_FAILURE() << what_ << ": the modal window did not close within " << limit_.count() << " ms";
      CloseInnermostModal();
    }
  }

  std::string what_;
  std::function<bool()> step_;
  std::chrono::milliseconds limit_;
  QElapsedTimer clock_;
  QTimer timer_;
  bool done_ = false;
  bool gaveUp_ = false;
};

// What a user does in a file dialog: names the file and presses the button.
// selectFile leaves the name field alone once it has the focus (the dialog
// takes it for the user's own typing), and an accept with an empty field does
// nothing; so the name is typed into the focused field instead.
inline void ChooseFile(QFileDialog* dialog, const QString& path) {
  auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (field && dialog->isAncestorOf(field)) {
    field->setText(path);
  } else {
    dialog->selectFile(path);
  }
  QMetaObject::invokeMethod(dialog, "accept");  // protected in QFileDialog
}

template <class W>
W* ActiveModal() {
  return qobject_cast<W*>(QApplication::activeModalWidget());
}
template <class W>
W* ActivePopup() {
  return qobject_cast<W*>(QApplication::activePopupWidget());
}

// The common step: `find` returns the window to answer (null while none
// shows); `answer` gets it on every tick while it is visible; the run is over
// once it shows no more. Only the first window found is answered: a step
// still running when the test opens the next menu or dialog must not take
// that one for its own.
template <class W>
std::function<bool()> WhileShown(std::function<W*()> find, std::function<void(W*)> answer) {
  auto seen = std::make_shared<QPointer<W>>();
  auto found = std::make_shared<bool>(false);
  return [find = std::move(find), answer = std::move(answer), seen, found] {
    W* shown = *found ? seen->data() : find();
    if (!shown || !shown->isVisible()) return *found;
    *found = true;
    *seen = shown;
    answer(shown);
    return false;
  };
}

}  // namespace testsupport
