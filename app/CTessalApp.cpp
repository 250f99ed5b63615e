#include "app/CTessalApp.h"

#include "app/CTessalDlg.h"
#include "platform/ui/Ui.h"

CTessalApp::CTessalApp() {
  ui::Ui::Get().SetAppKeyFilter([this](ui::MSG& msg) { return PreTranslateMessage(msg); });
}

CTessalApp::~CTessalApp() { ui::Ui::Get().SetAppKeyFilter(nullptr); }

bool CTessalApp::PreTranslateMessage(ui::MSG& msg) {
  if (msg.message != ui::WM_KEYDOWN || msg.wParam != static_cast<ui::WPARAM>(ui::VK_F1)) return false;
  if (m_pMainWnd)
    m_pMainWnd->OnHelp();
  else
    ui::Ui::Get().OpenWithDefaultHandler(CTessalDlg::HelpPath());
  return true;
}

int CTessalApp::InitInstance(StartOptions options) {
  CTessalDlg dlg(std::move(options.devices), options.audio);
  m_pMainWnd = &dlg;
  if (options.prepare) options.prepare(dlg);
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return 0;
}

int CTessalApp::InitInstance() { return InitInstance(StartOptions{}); }
