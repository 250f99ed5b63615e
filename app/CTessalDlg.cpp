#include "app/CTessalDlg.h"

#include <cstring>
#include <utility>

#include "app/CDlgAbout.h"
#include "app/dialogs/CDlgDev.h"
#include "disc/TextCodec.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Paths.h"
#include "platform/ui/Region.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"
#include "skin/SkinMessages.h"
#include "skin/VDMenu.h"
#include "views/CDlgScanDisc.h"

namespace {

struct RoundButton {
  int id, normal, pressed, hint;
};
// In the order of the window's members.
constexpr std::array<RoundButton, 8> kRoundButtons{{
    {IDC_BTN_DEVINFO, IDB_DEVINFO, IDB_DEVINFO_DOWN, IDS_HINT_DEVINFO},
    {IDC_BTN_SAVE, IDB_SAVE, IDB_SAVE_DOWN, IDS_HINT_SAVE},
    {IDC_BTN_REFRESH, IDB_REFRESH, IDB_REFRESH_DOWN, IDS_HINT_REFRESH},
    {IDC_BTN_VOLUME, IDB_VOLUME, IDB_VOLUME_DOWN, IDS_HINT_VOLUME},
    {IDC_BTN_TOC, IDB_TOC, IDB_TOC_DOWN, IDS_HINT_TOC},
    {IDC_BTN_SECTOR, IDB_SECTOR, IDB_SECTOR_DOWN, IDS_HINT_SECTOR},
    {IDC_BTN_EXIT, IDB_EXIT, IDB_EXIT_DOWN, IDS_HINT_EXIT},
    {IDC_BTN_SELDEVICE, IDB_SELDEVICE, IDB_SELDEVICE_DOWN, IDS_HINT_SELDEVICE},
}};

}  // namespace

const CTessalDlg::Command CTessalDlg::kCommands[] = {
    {IDC_BTN_SELDEVICE, &CTessalDlg::OnSelectDevice},
    {ID_FILE_SELECTDEVICE, &CTessalDlg::OnSelectDevice},
    {IDC_BTN_SECTOR, &CTessalDlg::ShowSectorView},
    {ID_FILE_SHOWSECTOR, &CTessalDlg::ShowSectorView},
    {IDC_BTN_REFRESH, &CTessalDlg::OnRefresh},
    {ID_VIEW_REFRESH, &CTessalDlg::OnRefresh},
    {IDC_BTN_TOC, &CTessalDlg::ShowTocView},
    {ID_TOOLS_SHOWTOC, &CTessalDlg::ShowTocView},
    {IDC_BTN_VOLUME, &CTessalDlg::ShowVolumeView},
    {ID_TOOLS_VOLUMEINFO, &CTessalDlg::ShowVolumeView},
    {IDC_BTN_DEVINFO, &CTessalDlg::ShowDevInfoView},
    {ID_TOOLS_DEVICEINFO, &CTessalDlg::ShowDevInfoView},
    {IDC_BTN_SAVE, &CTessalDlg::OnSaveData},
    {ID_VIEW_SAVEDATA, &CTessalDlg::OnSaveData},
    {ID_TOOLS_DISCSCAN, &CTessalDlg::OnDiscScan},
    {IDC_BTN_EJECT, &CTessalDlg::OnEject},
    {ID_FILE_EJECT, &CTessalDlg::OnEject},
    {IDC_BTN_CLOSETRAY, &CTessalDlg::OnCloseTray},
    {ID_FILE_CLOSEDEVICE, &CTessalDlg::OnCloseTray},
    {IDC_BTN_ABOUT, &CTessalDlg::OnAbout},
    {ID_HELP_ABOUT, &CTessalDlg::OnAbout},
    {IDC_BTN_HELP, &CTessalDlg::OnHelp},
    {ID_HELP_TOPIC, &CTessalDlg::OnHelp},
    {IDC_BTN_EXIT, &CTessalDlg::OnExit},
    {IDC_BTN_CLOSE, &CTessalDlg::OnExit},
    {ID_FILE_EXIT, &CTessalDlg::OnExit},
    {IDC_BTN_MINIMIZE, &CTessalDlg::OnMinimize},
};

CTessalDlg::CTessalDlg(std::unique_ptr<DevDeque> devices, audio::WaveDevice* output)
    : ui::Dialog(kTemplateId),
      m_pDevList(devices ? std::move(devices) : std::make_unique<DevDeque>()),
      m_AudioPlay(nullptr, output) {
  BindControl(IDC_AUDIO_HOST, m_AudioHost);
  BindControl(IDC_STATUS, m_Status);
  BindControl(IDC_MENU_VIEW, m_MenuView);
  BindControl(IDC_MENU_TOOLS, m_MenuTools);
  BindControl(IDC_MENU_HELP, m_MenuHelp);
  BindControl(IDC_MENU_FILE, m_MenuFile);
  BindControl(IDC_BTN_MINIMIZE, m_Minimize);
  BindControl(IDC_BTN_CLOSE, m_Close);
  BindControl(IDC_VIEW_HOST, m_ViewHost);
  BindControl(IDC_BTN_CLOSETRAY, m_CloseTray);
  BindControl(IDC_BTN_HELP, m_HelpBtn);
  BindControl(IDC_BTN_ABOUT, m_AboutBtn);
  BindControl(IDC_BTN_EJECT, m_EjectBtn);
  for (std::size_t i = 0; i < kRoundButtons.size(); ++i) BindControl(kRoundButtons[i].id, m_Commands[i]);
}

CTessalDlg::~CTessalDlg() {
  // The views and the player go before the device list they borrow from.
  if (IsWindow()) DestroyWindow();
}

ui::Rect CTessalDlg::ViewArea() { return ui::Region::FromMask(ui::CachedBitmap(kViewMask)).BoundingBox(); }

ui::Dialog* CTessalDlg::View(int kind) {
  switch (kind) {
    case kViewBrowser: return &m_DlgMain;
    case kViewSector: return &m_DlgSector;
    case kViewToc: return &m_DlgTOC;
    case kViewVolume: return &m_DlgVol;
    case kViewDevInfo: return &m_DlgDevInfo;
    default: return nullptr;
  }
}

bool CTessalDlg::OnInitDialog() {
  SetIcon(m_hIcon);

  const res::Image& shape = ui::CachedBitmap(kShapeMask);
  const int w = shape.Empty() ? GetRect().Width() : shape.width;
  const int h = shape.Empty() ? GetRect().Height() : shape.height;
  const ui::Size screen = ui::Ui::Get().ScreenSize();
  SetWindowPos(screen.cx / 2 - w / 2, screen.cy / 2 - h / 2, w, h, ui::SWP_NOZORDER);

  const ui::Rect view = ViewArea();
  m_ViewHost.MoveWindow(view);
  m_Status.MoveWindow(ui::Rect(view.left - 10, view.bottom + 20, view.left + 310, view.bottom + 40));
  SetWindowRgn(ui::Region::FromMask(shape, w, h));

  for (std::size_t i = 0; i < kRoundButtons.size(); ++i) {
    m_Commands[i].SetBitmaps(kRoundButtons[i].normal, kRoundButtons[i].pressed);
    m_Commands[i].SetHint(kRoundButtons[i].hint);
  }
  m_EjectBtn.SetBitmaps(IDB_EJECT, IDB_EJECT_DOWN, IDB_EJECT_MASK);
  m_EjectBtn.SetHint(IDS_HINT_EJECT);
  m_AboutBtn.SetBitmaps(IDB_ABOUT, IDB_ABOUT_DOWN, IDB_ABOUT_MASK);
  m_AboutBtn.SetHint(IDS_HINT_ABOUT);
  m_HelpBtn.SetBitmaps(IDB_HELP, IDB_HELP_DOWN, IDB_HELP_MASK);
  m_HelpBtn.SetHint(IDS_HINT_HELP);
  m_CloseTray.SetBitmaps(IDB_CLOSETRAY, IDB_CLOSETRAY_DOWN, IDB_CLOSETRAY_MASK);
  m_CloseTray.SetHint(IDS_HINT_CLOSETRAY);
  m_Minimize.SetBitmaps(IDB_MINIMIZE, IDB_MINIMIZE);
  m_Close.SetBitmaps(IDB_CLOSE, IDB_CLOSE);

  std::memset(m_VdBuffer, 0, sizeof m_VdBuffer);
  m_DlgMain.Create(CDlgMain::kTemplateId, &m_ViewHost);
  m_DlgMain.SetVdBuffer(m_VdBuffer);
  m_DlgMain.ShowWindow(ui::SW_SHOW);
  m_bViewCreated[kViewBrowser] = true;
  m_nCurView = kViewBrowser;

  SetWindowText("Tessal");
  m_ViewHost.SetCheck(false);
  m_Status.SetCheck(false);
  m_Status.SetTextColor(ui::RGB(255, 255, 255));

  const ui::Rect host = m_AudioHost.GetRect();
  m_AudioHost.MoveWindow(view.right - host.Width() - 10, view.bottom + 20, host.Width(), host.Height());
  m_AudioPlay.Create(CDlgAudioPlay::kTemplateId, &m_AudioHost);
  m_AudioPlay.ShowWindow(ui::SW_SHOW);

  for (CMenuBtn* b : {&m_MenuFile, &m_MenuView, &m_MenuTools, &m_MenuHelp}) b->SetFillColor(skin::kHighlight);
  DragAcceptFiles(true);
  return true;
}

bool CTessalDlg::PreTranslateMessage(ui::MSG* msg) {
  // Neither Enter nor Escape may close the program's only window.
  return msg && msg->message == ui::WM_KEYDOWN && (msg->wParam == ui::VK_RETURN || msg->wParam == ui::VK_ESCAPE);
}

void CTessalDlg::OnPaint(ui::Canvas& canvas) {
  if (IsIconic()) {
    const ui::Rect r = GetClientRect();
    const res::Image& icon = ui::CachedIcon(m_hIcon);
    canvas.FillRect(r, skin::kBlueGrey);
    canvas.DrawIcon(m_hIcon, (r.Width() - icon.width + 1) / 2, (r.Height() - icon.height + 1) / 2);
    return;
  }
  canvas.DrawBitmap(m_nBackground, 0, 0);
}

void CTessalDlg::OnLButtonDown(unsigned, ui::Point) { BeginMoveDrag(); }

void CTessalDlg::OnMouseMove(unsigned, ui::Point) { SetStatus(m_szDeviceName); }

void CTessalDlg::OnShowWindow(bool show) {
  if (show) SetTimer(kStartTimer, kStartDelayMs);
}

void CTessalDlg::OnTimer(unsigned id) {
  if (id != kStartTimer) return;
  KillTimer(kStartTimer);
  if (m_StartAction) {
    auto action = std::exchange(m_StartAction, nullptr);
    action();
    return;
  }
  OnSelectDevice();
}

ui::LRESULT CTessalDlg::OnMessage(unsigned msg, ui::WPARAM, ui::LPARAM lParam) {
  if (msg == skin::WM_SHOWHINT && lParam != 0) {
    if (const char* hint = res::String(static_cast<int>(lParam))) SetStatus(hint);
  }
  return 0;
}

void CTessalDlg::SetStatus(const char* text) { m_Status.SetWindowText(text ? text : ""); }

// ------------------------------------------------------------ commands

bool CTessalDlg::IsCommand(int id) {
  for (const Command& c : kCommands)
    if (c.id == id) return true;
  return id >= IDC_MENU_FILE && id <= IDC_MENU_HELP;
}

void CTessalDlg::OnCommand(int id) {
  if (id >= IDC_MENU_FILE && id <= IDC_MENU_HELP) {
    OnMenuCaption(id);
    return;
  }
  for (const Command& c : kCommands) {
    if (c.id == id) {
      (this->*c.action)();
      return;
    }
  }
}

bool CTessalDlg::CheckDeviceReady() {
  if (!m_pCurDevice) return false;
  if (m_pCurDevice->TestUnitReady() == 0) return true;
  const char* text = res::String(IDS_NOT_READY);
  ui::AfxMessageBox(text ? text : "", ui::MB_OK | ui::MB_ICONINFORMATION);
  return false;
}

void CTessalDlg::HandView(int kind) {
  switch (kind) {
    case kViewSector: m_DlgSector.SetDevice(m_pCurDevice, m_nDataMode); break;
    case kViewToc: m_DlgTOC.SetDevice(m_pCurDevice); break;
    case kViewVolume:
      m_DlgVol.SetUdfSummary(m_DlgMain.UdfSummary());
      // The buffer holds the browsed session's descriptor; its code goes with it.
      m_DlgVol.ShowDescriptor(m_VdBuffer, static_cast<int>(kVdSize), m_DlgMain.GetVolumeFsType());
      break;
    case kViewDevInfo: m_DlgDevInfo.SetDevice(m_pCurDevice); break;
    default: break;
  }
}

void CTessalDlg::SwitchView(int kind) {
  if (!m_pCurDevice || kind == m_nCurView || kind < 0 || kind >= kViewCount) return;
  ui::Dialog* view = View(kind);
  if (!m_bViewCreated[kind]) {
    const int templates[kViewCount] = {CDlgMain::kTemplateId, CDlgSector::kTemplateId, CDlgTOC::kTemplateId,
                                       CDlgVol::kTemplateId, CDlgDevInfo::kTemplateId};
    view->Create(templates[kind], &m_ViewHost);
    m_bViewCreated[kind] = true;
  }
  m_nCurView = kind;
  HandView(kind);
  view->ShowWindow(ui::SW_SHOW);
  for (int k = 0; k < kViewCount; ++k)
    if (k != kind && m_bViewCreated[k]) View(k)->ShowWindow(ui::SW_HIDE);
}

void CTessalDlg::ShowSectorView() {
  if (CheckDeviceReady()) SwitchView(kViewSector);
}
void CTessalDlg::ShowTocView() {
  if (CheckDeviceReady()) SwitchView(kViewToc);
}
void CTessalDlg::ShowVolumeView() {
  if (CheckDeviceReady()) SwitchView(kViewVolume);
}
void CTessalDlg::ShowDevInfoView() {
  if (CheckDeviceReady()) SwitchView(kViewDevInfo);
}

void CTessalDlg::OnSelectDevice() {
  if (m_nCurView != kViewBrowser) {
    // The first press only brings the browser back.
    SwitchView(kViewBrowser);
    m_nDataMode = m_DlgMain.GetDataMode();
    return;
  }
  CDlgDev dlg(this);
  dlg.SetDeviceList(m_pDevList.get());
  const int result = dlg.DoModal();
  if (result == IDCANCEL) return;
  // Only an accepted dialog hands over its device; one that failed to run
  // may hold a device that never passed the ready check.
  m_pCurDevice = result == IDOK ? dlg.GetSelectedDevice() : nullptr;
  if (!m_pCurDevice) return;
  char name[kNameSize] = {};
  dlg.GetDeviceName(name, static_cast<int>(sizeof name));
  UseDevice(m_pCurDevice, name);
}

void CTessalDlg::UseDevice(CDevCmdROM* device, const std::string& name) {
  m_pCurDevice = device;
  if (!device) return;
  std::memset(m_szDeviceName, 0, sizeof m_szDeviceName);
  CopyUtf8Bounded(name, m_szDeviceName, sizeof m_szDeviceName);
  SetStatus(m_szDeviceName);
  m_DlgMain.LoadDisc(m_pCurDevice);
  m_DlgMain.AttachPlayer(&m_AudioPlay);
  m_nFsType = m_DlgMain.GetFsType();
  SwitchView(kViewBrowser);
  m_nDataMode = m_DlgMain.GetDataMode();
}

bool CTessalDlg::OpenImageFile(const std::string& path, std::string* why) {
  const int count = m_pDevList->GetDevCount();
  CDevCmdROM* image = count > 0 ? m_pDevList->GetDequeItem(count - 1) : nullptr;
  int refusal = IDS_BAD_IMAGE;
  std::string reason;
  if (!image) {
    reason = "the device list has no image item";
  } else if (!image->SetImageFile(path)) {
    reason = image->GetLastError();
  } else if (image->TestUnitReady() != 0) {
    refusal = IDS_NOT_READY;
    reason = image->GetLastError();
  } else {
    UseDevice(image, CDlgDev::kImageEntry);
    return true;
  }
  // The reader's reason names the file where it can; the box always does.
  const std::string name = std::filesystem::path(path).filename().string();
  if (reason.empty()) reason = "not a readable disc image";
  if (reason.find(name) == std::string::npos) reason = path + ": " + reason;
  if (why) *why = reason;
  const char* text = res::String(refusal);
  ui::AfxMessageBox(std::string(text ? text : "") + "\n\n" + reason, ui::MB_OK | ui::MB_ICONINFORMATION);
  return false;
}

void CTessalDlg::OnDropFiles(const std::vector<std::string>& paths) {
  if (!paths.empty()) OpenImageFile(paths.front());
}

void CTessalDlg::OnRefresh() {
  if (!CheckDeviceReady()) return;
  if (m_nCurView == kViewBrowser) {
    m_DlgMain.LoadDisc(m_pCurDevice);
    m_nDataMode = m_DlgMain.GetDataMode();
    return;
  }
  HandView(m_nCurView);
  View(m_nCurView)->ShowWindow(ui::SW_SHOW);
}

void CTessalDlg::OnSaveData() {
  if (!m_pCurDevice) return;
  switch (m_nCurView) {
    case kViewBrowser: m_DlgMain.OnSaveData(); break;
    case kViewSector: m_DlgSector.SaveSector(); break;
    case kViewToc: m_DlgTOC.SaveTrack(); break;
    default: break;  // the volume and capability lists have nothing to save
  }
}

void CTessalDlg::OnDiscScan() {
  if (!CheckDeviceReady()) return;
  CDlgScanDisc dlg(this);
  dlg.SetDevice(m_pCurDevice);
  dlg.DoModal();
}

void CTessalDlg::OnEject() {
  if (!m_pCurDevice || m_pCurDevice->TestUnitReady() != 0) return;
  m_pCurDevice->Lock(false);
  m_pCurDevice->Eject(true);
}

void CTessalDlg::OnCloseTray() {
  if (m_pCurDevice) m_pCurDevice->Eject(false);
}

void CTessalDlg::OnAbout() {
  CDlgAbout dlg(this);
  dlg.DoModal();
}

std::filesystem::path CTessalDlg::HelpPath() {
  std::filesystem::path help = ui::HelpFile();
  if (!help.empty()) return help;
  // Opened without a check: where it would be installed, so that the
  // desktop's handler says it is missing.
  const auto candidates = ui::DataFolderCandidates();
  return candidates.empty() ? std::filesystem::path() : candidates.front() / "help" / "index.html";
}

void CTessalDlg::OnHelp() {
  const std::filesystem::path help = HelpPath();
  if (!help.empty()) ui::Ui::Get().OpenWithDefaultHandler(help);
}

void CTessalDlg::OnMenuCaption(int captionId) {
  ui::Window* caption = GetDlgItem(captionId);
  if (!caption) return;
  CVDMenu menu;
  if (!menu.LoadMenu(kMenu)) return;
  CVDMenu* popup = menu.GetSubMenu(captionId - IDC_MENU_FILE);
  if (!popup) return;
  const ui::Rect r = caption->GetWindowRect();
  popup->TrackPopupMenu(ui::Point{r.left, r.bottom}, this);
}
