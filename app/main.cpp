// tessal: the disc analyser's window.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>

#include "app/CTessalApp.h"
#include "app/CTessalDlg.h"
#include "copy/CDlgProgress.h"
#include "platform/ui/qt/QtUi.h"
#include "res/Resources.h"

namespace {

constexpr const char* kUsage =
    "Usage: tessal [options]\n"
    "\n"
    "Opens the analyser's window; after a moment it asks which drive or image\n"
    "file to analyse. Set TESSAL_NO_DRIVES=1 to leave the drives out.\n"
    "\n"
    "Options (for trying the program out and for taking screenshots):\n"
    "  --image FILE   open FILE as the current disc instead of asking\n"
    "  --view N       then show view N: 0 files, 1 sector, 2 TOC, 3 volume,\n"
    "                 4 device capabilities\n"
    "  --node TEXT    in the file view, select the first tree entry whose text\n"
    "                 begins with TEXT (\"AUDIO TRACK 2\", \"DATA TRACK 1\", ...)\n"
    "  --show WHAT    then open WHAT: about, device, scan, menu-file, menu-view,\n"
    "                 menu-tools, menu-help, or progress (a preview of the copy\n"
    "                 progress dialog whose bar runs on a timer; nothing is copied)\n"
    "  --help         print this and exit\n";

struct Options {
  std::string image;
  int view = -1;
  std::string node;
  std::string show;
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--image") {
      if (!value(o.image)) return false;
    } else if (a == "--view") {
      if (!value(v) || v.size() != 1 || v[0] < '0' || v[0] > '4') return false;
      o.view = v[0] - '0';
    } else if (a == "--node") {
      if (!value(o.node)) return false;
    } else if (a == "--show") {
      if (!value(o.show)) return false;
    } else {
      return false;
    }
  }
  return true;
}

int CommandOfView(int view) {
  switch (view) {
    case 1: return IDC_BTN_SECTOR;
    case 2: return IDC_BTN_TOC;
    case 3: return IDC_BTN_VOLUME;
    case 4: return IDC_BTN_DEVINFO;
    default: return 0;
  }
}

void SelectNode(CTessalDlg& dlg, const std::string& prefix) {
  ui::TreeCtrl& tree = dlg.Browser().Tree();
  // Depth first from the root, as the tree shows its entries.
  std::vector<ui::HTREEITEM> stack;
  for (ui::HTREEITEM h = tree.GetRootItem(); h; h = tree.GetNextSiblingItem(h)) stack.push_back(h);
  std::reverse(stack.begin(), stack.end());
  while (!stack.empty()) {
    ui::HTREEITEM h = stack.back();
    stack.pop_back();
    if (tree.GetItemText(h).rfind(prefix, 0) == 0) {
      dlg.Browser().SelectNode(h);
      return;
    }
    std::vector<ui::HTREEITEM> kids;
    for (ui::HTREEITEM c = tree.GetChildItem(h); c; c = tree.GetNextSiblingItem(c)) kids.push_back(c);
    stack.insert(stack.end(), kids.rbegin(), kids.rend());
  }
  std::fprintf(stderr, "tessal: no tree entry begins with \"%s\"\n", prefix.c_str());
}

// The copy progress dialog as a copy shows it, for looking at: the bar runs
// through on a timer, the caption names the selected entry, Cancel ends it.
class ProgressPreview : public CDlgProgress {
 public:
  ProgressPreview(ui::Window* parent, std::string caption) : CDlgProgress(parent), m_Caption(std::move(caption)) {}
  bool OnInitDialog() override {
    CDlgProgress::OnInitDialog();
    SetTimer(kTimer, 100);
    return true;
  }
  void OnTimer(unsigned id) override {
    if (id != kTimer) return;
    SetCaption(m_Caption);
    m_Percent = (m_Percent + 1) % 101;
    SetPercent(m_Percent);
  }

 private:
  static constexpr unsigned kTimer = 7;
  std::string m_Caption;
  int m_Percent = 36;
};

void Show(CTessalDlg& dlg, const std::string& what) {
  if (what == "progress") {
    ui::TreeCtrl& tree = dlg.Browser().Tree();
    const ui::HTREEITEM node = tree.GetSelectedItem();
    ProgressPreview preview(&dlg, node ? tree.GetItemText(node) : std::string("Preview"));
    preview.DoModal();
  } else if (what == "about") dlg.OnCommand(IDC_BTN_ABOUT);
  else if (what == "device") dlg.OnSelectDevice();
  else if (what == "scan") dlg.OnCommand(ID_TOOLS_DISCSCAN);
  else if (what == "menu-file") dlg.OnCommand(IDC_MENU_FILE);
  else if (what == "menu-view") dlg.OnCommand(IDC_MENU_VIEW);
  else if (what == "menu-tools") dlg.OnCommand(IDC_MENU_TOOLS);
  else if (what == "menu-help") dlg.OnCommand(IDC_MENU_HELP);
  else std::fprintf(stderr, "tessal: nothing called \"%s\" to show\n", what.c_str());
}

// What the start timer does when options were given.
void Start(CTessalDlg& dlg, const Options& o) {
  if (!o.image.empty()) {
    DevDeque& devices = dlg.Devices();
    CDevCmdROM* image = devices.GetDequeItem(devices.GetDevCount() - 1);
    if (!image || !image->SetImageFile(o.image) || image->TestUnitReady() != 0) {
      std::fprintf(stderr, "tessal: %s: %s\n", o.image.c_str(),
                   image && !image->GetLastError().empty() ? image->GetLastError().c_str() : "not a readable disc image");
      dlg.OnSelectDevice();
      return;
    }
    dlg.UseDevice(image, "[Image File]");
    if (!o.node.empty()) SelectNode(dlg, o.node);
    if (const int cmd = CommandOfView(o.view)) dlg.OnCommand(cmd);
  }
  if (!o.show.empty()) Show(dlg, o.show);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (!Parse(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return ui::qt::RunQtProgram(argc, argv, [&options] {
    CTessalApp app;
    CTessalApp::StartOptions start;
    if (!options.image.empty() || !options.show.empty())
      start.prepare = [&options](CTessalDlg& dlg) { dlg.SetStartAction([&dlg, &options] { Start(dlg, options); }); };
    return app.InitInstance(std::move(start));
  });
}
