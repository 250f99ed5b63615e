#pragma once
// The main window: a borderless window cut to the skin's shape, with the
// command buttons, the menu captions, the status line, the view area that
// holds one of the five panels and the player bar below it. It owns the
// device list and borrows the current device from it.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "disc/DevCmdROM.h"
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "skin/BmpBtn.h"
#include "skin/MenuBtn.h"
#include "views/CDlgAudioPlay.h"
#include "views/CDlgDevInfo.h"
#include "views/CDlgMain.h"
#include "views/CDlgSector.h"
#include "views/CDlgTOC.h"
#include "views/CDlgVol.h"

namespace audio {
class WaveDevice;
}

class CTessalDlg : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 102;
  enum ViewKind { kViewBrowser = 0, kViewSector = 1, kViewToc = 2, kViewVolume = 3, kViewDevInfo = 4, kViewCount = 5 };
  static constexpr unsigned kStartTimer = 1;
  static constexpr unsigned kStartDelayMs = 300;
  static constexpr int kIcon = 128;
  static constexpr int kShapeMask = 171;
  static constexpr int kViewMask = 211;
  static constexpr int kBackground = 217;
  static constexpr int kMenu = 232;
  static constexpr std::size_t kNameSize = 256;
  static constexpr std::size_t kVdSize = 2048;

  // devices: the device list to own (null: the system's drives and the
  // image item); output: where the player plays (null: ALSA's default).
  explicit CTessalDlg(std::unique_ptr<DevDeque> devices = nullptr, audio::WaveDevice* output = nullptr);
  ~CTessalDlg() override;

  // ---- the command set ----
  void OnCommand(int id) override;
  // Whether a command of this window has an action (buttons and menu items).
  static bool IsCommand(int id);
  bool CheckDeviceReady();
  void SwitchView(int kind);
  void OnSelectDevice();
  void OnRefresh();
  void OnSaveData();
  void OnDiscScan();
  void OnEject();
  void OnCloseTray();
  void OnAbout();
  void OnHelp();
  // Opens popup 0-3 of the menu below the caption button `captionId`.
  void OnMenuCaption(int captionId);
  // Makes `device` current under `name`, as Select Device does once the
  // device dialog has chosen it: the browser reads the disc.
  void UseDevice(CDevCmdROM* device, const std::string& name);
  // Opens an image file on the image item and makes it current, as choosing
  // "[Image File]" and the file in the device dialog does: for a file named
  // on the command line or dropped on the window. A file no reader takes,
  // or an image that is not ready, is told in a message box and leaves the
  // current device as it was; `why` then gets the reason in one line.
  bool OpenImageFile(const std::string& path, std::string* why = nullptr);
  // Runs `action` instead of the device dialog when the start timer fires
  // (a FILE or option on the command line).
  void SetStartAction(std::function<void()> action) { m_StartAction = std::move(action); }
  // The help page F1 and the Help command open.
  static std::filesystem::path HelpPath();

  // ---- the window ----
  bool OnInitDialog() override;
  bool PreTranslateMessage(ui::MSG* msg) override;
  void OnOK() override {}
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }
  void OnPaint(ui::Canvas& canvas) override;
  void OnLButtonDown(unsigned flags, ui::Point p) override;
  void OnMouseMove(unsigned flags, ui::Point p) override;
  void OnShowWindow(bool show) override;
  void OnTimer(unsigned id) override;
  // The first file dropped on the window is opened as an image.
  void OnDropFiles(const std::vector<std::string>& paths) override;
  ui::LRESULT OnMessage(unsigned msg, ui::WPARAM wParam, ui::LPARAM lParam) override;

  // ---- state ----
  CDevCmdROM* CurrentDevice() const { return m_pCurDevice; }
  int CurrentView() const { return m_nCurView; }
  bool IsViewCreated(int kind) const { return kind >= 0 && kind < kViewCount && m_bViewCreated[kind]; }
  ui::Dialog* View(int kind);
  const char* DeviceName() const { return m_szDeviceName; }
  int FsType() const { return m_nFsType; }
  int DataMode() const { return m_nDataMode; }
  const unsigned char* VdBuffer() const { return m_VdBuffer; }
  DevDeque& Devices() { return *m_pDevList; }
  CTransBtn& StatusLine() { return m_Status; }
  CTransBtn& ViewHost() { return m_ViewHost; }
  ui::Button& AudioHost() { return m_AudioHost; }
  CDlgMain& Browser() { return m_DlgMain; }
  CDlgSector& SectorView() { return m_DlgSector; }
  CDlgTOC& TocView() { return m_DlgTOC; }
  CDlgVol& VolumeView() { return m_DlgVol; }
  CDlgDevInfo& DevInfoView() { return m_DlgDevInfo; }
  CDlgAudioPlay& Player() { return m_AudioPlay; }
  // The view area: the bounding box of the view mask's inside pixels.
  static ui::Rect ViewArea();

 private:
  void ShowSectorView();
  void ShowTocView();
  void ShowVolumeView();
  void ShowDevInfoView();
  void OnExit() { EndDialog(IDCANCEL); }
  void OnMinimize() { ShowWindow(ui::SW_SHOWMINIMIZED); }
  void HandView(int kind);
  void SetStatus(const char* text);

  struct Command {
    int id;
    void (CTessalDlg::*action)();
  };
  static const Command kCommands[];

  ui::Button m_AudioHost;
  CTransBtn m_Status;
  CMenuBtn m_MenuView;
  CMenuBtn m_MenuTools;
  CMenuBtn m_MenuHelp;
  CMenuBtn m_MenuFile;
  CBmpRoundBtn m_Minimize;
  CBmpRoundBtn m_Close;
  CTransBtn m_ViewHost;
  CBmpTriangleBtn_R m_CloseTray;
  CBmpTriangleBtn_B m_HelpBtn;
  CBmpTriangleBtn_L m_AboutBtn;
  CBmpTriangleBtn_T m_EjectBtn;
  std::array<CBmpRoundBtn, 8> m_Commands;  // 1009, 1008, 1003, 1005, 1004, 1002, 1006, 1001
  int m_hIcon = kIcon;
  char m_szDeviceName[kNameSize] = {};
  int m_nCurView = 0;
  bool m_bViewCreated[kViewCount] = {};
  CDlgMain m_DlgMain;
  CDlgSector m_DlgSector;
  CDlgTOC m_DlgTOC;
  CDlgVol m_DlgVol;
  CDlgDevInfo m_DlgDevInfo;
  std::unique_ptr<DevDeque> m_pDevList;
  CDevCmdROM* m_pCurDevice = nullptr;
  int m_nFsType = 0;
  int m_nDataMode = 1;
  unsigned char m_VdBuffer[kVdSize] = {};
  int m_nBackground = kBackground;
  CDlgAudioPlay m_AudioPlay;
  std::function<void()> m_StartAction;
};
