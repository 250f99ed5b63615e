#pragma once
// The application object: it runs the main window as a modal dialog, and the
// program ends when that dialog does. F1 anywhere in the program's windows
// opens the help.
#include <functional>
#include <memory>

#include "platform/ui/Window.h"

class CTessalDlg;
class DevDeque;
namespace audio {
class WaveDevice;
}

class CTessalApp {
 public:
  struct StartOptions {
    std::unique_ptr<DevDeque> devices;         // null: the system's drives and the image item
    audio::WaveDevice* audio = nullptr;        // null: ALSA's default device
    std::function<void(CTessalDlg&)> prepare;  // runs before the window opens
  };

  CTessalApp();
  ~CTessalApp();
  CTessalApp(const CTessalApp&) = delete;
  CTessalApp& operator=(const CTessalApp&) = delete;

  // Runs the main window until it ends; returns 0, as there is nothing more
  // to run once it has.
  int InitInstance(StartOptions options);
  int InitInstance();
  // The program-wide key filter: F1 runs Help and is swallowed.
  bool PreTranslateMessage(ui::MSG& msg);
  CTessalDlg* GetMainWnd() const { return m_pMainWnd; }

 private:
  CTessalDlg* m_pMainWnd = nullptr;
};
