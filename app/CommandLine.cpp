#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/CTessalDlg.h"
#include "copy/CDlgProgress.h"
#include "res/Resources.h"

namespace {

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

}  // namespace

const help::ProgramHelp& TessalHelp() {
  static const help::ProgramHelp h{
      "tessal",
      "analyse CD, DVD and BD media and disc image files",
      {"[OPTIONS] [FILE]"},
      "Opens the analyser's window. With a FILE, that disc image is opened at once,\n"
      "as choosing \"[Image File]\" in the device dialog would; a file Tessal cannot\n"
      "read is told in a message box and the device dialog opens instead. Without\n"
      "one, after a moment the window asks which drive or image file to analyse.\n"
      "An image file dropped on the window is opened the same way.\n"
      "\n"
      "The images read are ISO and UDF images (.iso, .udf, .img), CUE sheets with\n"
      "their data files (.cue, .bin), raw images (.bin, .img, .raw), cdrdao TOC\n"
      "files (.toc), Nero (.nrg), CloneCD (.ccd, .img), Alcohol (.mds, .mdf) and\n"
      "Video CD images (.vcd). A CD-TEXT file (.cdt) opens the CUE sheet of the\n"
      "same name beside it.\n",
      {
          {"FILE", "the disc image to open; the same as --image FILE\n"},
          {"--image FILE", "open FILE as the current disc instead of asking\n"},
          {"--view N", "then show view N: 0 files, 1 sector, 2 TOC, 3 volume,\n4 device capabilities\n"},
          {"--node TEXT", "in the file view, select the first tree entry whose text\n"
                          "begins with TEXT (\"AUDIO TRACK 2\", \"DATA TRACK 1\", ...)\n"},
          {"--show WHAT", "then open WHAT: about, device, scan, menu-file, menu-view,\n"
                          "menu-tools, menu-help, or progress (a preview of the copy\n"
                          "progress dialog whose bar runs on a timer; nothing is copied)\n"},
          {"-h, --help", "print this and exit\n"},
          {"--version", "print the version and exit\n"},
      },
      {},
      {
          {"0", "the window was closed\n"},
          {"2", "the command line was not understood (the usage goes to stderr)\n"},
      },
      {
          {"TESSAL_NO_DRIVES", "when set (to any value), the optical drives are left out and\nonly \"[Image File]\" is offered\n"},
      },
      {
          {"tessal", "open the window and choose a drive or an image in the device dialog\n"},
          {"tessal mixed-mode.cue", "open the CUE sheet mixed-mode.cue (a sample disc) and the data\nfiles it names\n"},
          {"tessal --view 2 udf-dvd.nrg", "open a Nero image and show its track list (the TOC view)\n"},
      },
      {"tessal-cli(1)"},
  };
  return h;
}

CommandLine::Parsed CommandLine::Parse(int argc, const char* const* argv, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") break;
    if (a == "--help" || a == "-h") return Parsed::Help;
    if (a == "--version") return Parsed::Version;
  }
  bool onlyFiles = false;  // after "--" a name that starts with '-' is a file too
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--" && !onlyFiles) {
      onlyFiles = true;
      continue;
    }
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--image" || onlyFiles || a.empty() || a[0] != '-') {
      std::string file = a;
      if (a == "--image" && !onlyFiles && !value(file)) return Parsed::Usage;
      if (!image.empty()) {
        error = "only one image file can be opened";
        return Parsed::Usage;
      }
      image = file;
    } else if (a == "--view") {
      if (!value(v)) return Parsed::Usage;
      if (v.size() != 1 || v[0] < '0' || v[0] > '4') {
        error = "--view takes a number from 0 to 4";
        return Parsed::Usage;
      }
      view = v[0] - '0';
    } else if (a == "--node") {
      if (!value(node)) return Parsed::Usage;
    } else if (a == "--show") {
      if (!value(show)) return Parsed::Usage;
    } else {
      error = "unknown option '" + a + "'";
      return Parsed::Usage;
    }
  }
  return Parsed::Run;
}

void CommandLine::Start(CTessalDlg& dlg) const {
  if (!image.empty()) {
    std::string why;
    if (!dlg.OpenImageFile(image, &why)) {
      std::fprintf(stderr, "tessal: %s\n", why.c_str());
      dlg.OnSelectDevice();
      return;
    }
    if (!node.empty()) SelectNode(dlg, node);
    if (const int cmd = CommandOfView(view)) dlg.OnCommand(cmd);
  }
  if (!show.empty()) Show(dlg, show);
}
