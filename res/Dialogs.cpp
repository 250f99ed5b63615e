// Dialog templates. Rectangles are x, y, width, height in dialog units of the
// template's font.
#include "res/Resources.h"

#include <algorithm>
#include <iterator>

namespace res {
namespace {

using K = ControlKind;
constexpr std::uint32_t kChild = Style::Visible | Style::Child;
constexpr std::uint32_t kOwnerBtn = kChild | Style::OwnerDraw | Style::TabStop;
constexpr std::uint32_t kReport = kChild | Style::Border | Style::TabStop;

// Main window. The view host, the status line and the audio host are moved
// when the window opens; the other controls stay where they are put here.
constexpr ControlTemplate kMain[] = {
    {IDC_AUDIO_HOST, K::Button, "", 237, 277, 161, 13, kChild},
    {IDC_STATUS, K::Button, "", 36, 270, 124, 16, kChild},
    {IDC_MENU_VIEW, K::Button, "View", 115, 22, 30, 12, kOwnerBtn},
    {IDC_MENU_TOOLS, K::Button, "Tools", 150, 22, 30, 12, kOwnerBtn},
    {IDC_MENU_HELP, K::Button, "Help", 185, 22, 30, 12, kOwnerBtn},
    {IDC_MENU_FILE, K::Button, "File", 79, 22, 31, 12, kOwnerBtn},
    {IDC_BTN_MINIMIZE, K::Button, "", 375, 23, 8, 9, kOwnerBtn},
    {IDC_BTN_CLOSE, K::Button, "", 390, 23, 8, 9, kOwnerBtn},
    {IDC_VIEW_HOST, K::Button, "", 42, 70, 358, 197, kChild},
    {IDC_BTN_CLOSETRAY, K::Button, "", 37, 15, 21, 22, kOwnerBtn},
    {IDC_BTN_HELP, K::Button, "", 37, 38, 21, 24, kOwnerBtn},
    {IDC_BTN_ABOUT, K::Button, "", 14, 38, 21, 24, kOwnerBtn},
    {IDC_BTN_EJECT, K::Button, "", 14, 15, 21, 22, kOwnerBtn},
    {IDC_BTN_DEVINFO, K::Button, "", 256, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_SAVE, K::Button, "", 199, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_REFRESH, K::Button, "", 114, 36, 22, 22, kOwnerBtn},
    {IDC_BTN_VOLUME, K::Button, "", 227, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_TOC, K::Button, "", 170, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_SECTOR, K::Button, "", 142, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_EXIT, K::Button, "", 284, 36, 21, 22, kOwnerBtn},
    {IDC_BTN_SELDEVICE, K::Button, "", 85, 36, 22, 22, kOwnerBtn},
};

// File browser: the three panes are laid out again when the view opens.
constexpr ControlTemplate kBrowser[] = {
    {IDC_TREE_DISC, K::Tree, "", 0, 0, 100, 157,
     kChild | Style::Border | Style::TabStop | Style::HasButtons | Style::HasLines | Style::LinesAtRoot |
         Style::ShowSelAlways},
    {IDC_SPLITTER, K::Button, "", 100, 0, 3, 157, kChild | Style::OwnerDraw},
    {IDC_LIST_FILES, K::ReportList, "", 103, 0, 203, 157, kReport | Style::ShowSelAlways},
};

constexpr ControlTemplate kDevice[] = {
    {IDC_LIST_DEVICES, K::ListBox, "", 4, 4, 133, 65,
     kChild | Style::Border | Style::TabStop | Style::VScroll | Style::Notify | Style::NoIntegralHeight},
    {IDC_BTN_OK, K::Button, "", 90, 73, 16, 16, kOwnerBtn},
    {IDC_BTN_CANCEL, K::Button, "", 113, 73, 16, 16, kOwnerBtn},
};

constexpr ControlTemplate kSector[] = {
    {IDC_EDIT_SECTOR, K::Edit, "", 4, 4, 60, 12,
     kChild | Style::Border | Style::TabStop | Style::AutoHScroll | Style::Number},
    {IDC_SCROLL_SECTOR, K::ScrollBar, "", 64, 4, 9, 12, kChild},
    {IDC_CHECK_ALLMODE, K::CheckBox, "all mode", 80, 5, 60, 10, kChild | Style::TabStop},
    {IDC_LIST_DUMP, K::ListBox, "", 4, 20, 298, 133,
     kChild | Style::Border | Style::VScroll | Style::HScroll | Style::NoIntegralHeight | Style::TabStop},
};

constexpr ControlTemplate kToc[] = {
    {IDC_LIST_TOC, K::ReportList, "", 0, 0, 306, 157,
     kReport | Style::SingleSel | Style::ShowSelAlways | Style::NoSortHeader},
};

constexpr ControlTemplate kProgress[] = {
    {IDC_PROGRESS, K::Progress, "", 6, 24, 179, 6, kChild | Style::Border},
    {IDC_BTN_CANCEL, K::Button, "", 169, 33, 16, 16, kOwnerBtn},
    {IDC_EDIT_CAPTION, K::Edit, "", 5, 4, 180, 14, kChild | Style::Disabled | Style::Border | Style::AutoHScroll},
};

constexpr ControlTemplate kVolume[] = {
    {IDC_LIST_VOLUME, K::ReportList, "", 0, 0, 306, 157, kReport | Style::ShowSelAlways | Style::NoSortHeader},
};

constexpr ControlTemplate kDevInfo[] = {
    {IDC_LIST_DEVINFO, K::ReportList, "", 0, 0, 306, 157, kReport | Style::NoSortHeader},
};

constexpr ControlTemplate kAbout[] = {
    {IDC_STATIC_PRODUCT, K::Static, "Tessal", 0, 52, 64, 9, kChild | Style::CenterText},
    {IDC_STATIC, K::Picture, "", 175, 0, 13, 13, kChild, IDB_ABOUT_CORNER},
    {IDC_STATIC_VERSION, K::Static,
     // Five lines that fit the box's 50 dialog units in its font.
     "Version 3.03\n\nAnalyser of CD, DVD and BD discs.\n\nTracks, sectors, ISO 9660 and UDF.",
     1, 68, 184, 50, kChild},
    {IDC_STATIC, K::Picture, "", 1, 0, 100, 50, kChild, IDB_ABOUT_LOGO},
};

// Player panel: it fills the main window's audio host (241 x 21 pixels).
constexpr ControlTemplate kPlayer[] = {
    {IDC_BTN_PRE, K::Button, "Pre", 0, 0, 10, 10, kOwnerBtn},
    {IDC_BTN_PLAY, K::Button, "Play", 11, 0, 10, 10, kOwnerBtn},
    {IDC_BTN_PAUSE, K::Button, "Pause", 22, 0, 10, 10, kOwnerBtn},
    {IDC_BTN_STOP, K::Button, "Stop", 33, 0, 10, 10, kOwnerBtn},
    {IDC_BTN_NEXT, K::Button, "Next", 44, 0, 10, 10, kOwnerBtn},
    {IDC_SLIDER_POS, K::Slider, "", 56, 0, 64, 10, kChild | Style::TabStop | Style::Horizontal | Style::NoTicks},
};

// Scan dialog: the error list's columns take 300 pixels.
constexpr ControlTemplate kScan[] = {
    {IDC_STATIC_ERRORS, K::Static, "Error List", 10, 10, 80, 10, kChild},
    {IDC_LIST_ERRORS, K::ReportList, "", 10, 22, 180, 90, kReport | Style::ShowSelAlways},
    {IDC_PROGRESS, K::Progress, "", 10, 116, 180, 6, Style::Child | Style::Border},
    {IDC_BTN_STARTSTOP, K::Button, "Start", 90, 126, 45, 12, kChild | Style::TabStop},
    {IDC_BTN_CANCEL, K::Button, "Cancel", 145, 126, 45, 12, kChild | Style::TabStop},
};

constexpr std::uint32_t kPopup = Style::Popup | Style::Visible;
constexpr std::uint32_t kChildDlg = Style::Child;

const DialogTemplate kDialogs[] = {
    {IDD_TESSAL_DIALOG, "Tessal", "MS Sans Serif", 8, 413, 293, kPopup | Style::AppWindow, kMain},
    {IDD_DLG_MAIN, "", "Courier New", 9, 306, 157, kChildDlg, kBrowser},
    {IDD_DLG_DEV, "", "System", 10, 148, 98, kPopup, kDevice},
    {IDD_DLG_SECTOR, "", "Courier New", 9, 306, 157, kChildDlg, kSector},
    {IDD_DLG_TOC, "", "Courier New", 9, 306, 157, kChildDlg, kToc},
    {IDD_DLG_PROGRESS, "", "Courier New", 9, 190, 55, Style::Popup, kProgress},
    {IDD_DLG_VOL, "", "Courier New", 9, 306, 157, kChildDlg, kVolume},
    {IDD_DLG_DEVINFO, "", "Courier New", 9, 306, 157, kChildDlg, kDevInfo},
    {IDD_DLG_ABOUT, "", "Courier New", 10, 187, 125, kPopup | Style::ThinFrame, kAbout},
    {IDD_DLG_AUDIOPLAY, "", "System", 10, 120, 10, kChildDlg, kPlayer},
    {IDD_DLG_SCANDISC, "", "Courier New", 10, 200, 142, kPopup, kScan},
};

}  // namespace

const DialogTemplate* FindDialog(int id) {
  const auto it = std::find_if(std::begin(kDialogs), std::end(kDialogs), [id](const DialogTemplate& d) { return d.id == id; });
  return it == std::end(kDialogs) ? nullptr : &*it;
}

}  // namespace res
