// String table and menu of the program.
#include "res/Resources.h"

#include <algorithm>
#include <iterator>

namespace res {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

// The texts are the program's messages as users know them, spelling included.
constexpr StringEntry kStrings[] = {
    {IDS_HINT_SELDEVICE, "Select the Device"},
    {IDS_HINT_REFRESH, "Refresh"},
    {IDS_HINT_SECTOR, "Show Sector Data"},
    {IDS_HINT_TOC, "Show TOC"},
    {IDS_HINT_SAVE, "Save the Data"},
    {IDS_HINT_VOLUME, "Show Volumn Information"},
    {IDS_HINT_DEVINFO, "Show Device Support Information"},
    {IDS_HINT_EXIT, "Exit"},
    {IDS_HINT_EJECT, "Eject the Device"},
    {IDS_HINT_ABOUT, "About the Program"},
    {IDS_HINT_HELP, "Help"},
    {IDS_HINT_CLOSETRAY, "Close the Device"},
    {IDS_BLANK_DISC, "Blank Disc"},
    {IDS_NOT_READY, "Device not Ready,Please try again!"},
    {IDS_SELECT_DEVICE, "Please Select CDROM Device!"},
    {IDS_OVERWRITE, "File or Directory already Existed, OverWrite it?"},
    {IDS_NO_WAVE_DEVICE, "No Wave Device!"},
    {IDS_NO_WAVE_FORMAT, "Not find appropriate Device!"},
    {IDS_WAVE_OPEN_ERROR, "Open wave device error!"},
    {IDS_NOT_FIRST_TRACK, "This is not the first track, the ISO file may be incorrect, Continue?"},
    {IDS_BAD_IMAGE, "This is not valid image File!"},
};

MenuItem Command(int id, const char* text) { return MenuItem{id, text, false, {}}; }
MenuItem Separator() { return MenuItem{0, "", true, {}}; }
MenuItem Popup(const char* text, std::vector<MenuItem> items) { return MenuItem{0, text, false, std::move(items)}; }

Menu BuildMainMenu() {
  Menu m;
  m.id = IDR_MENU_MAIN;
  m.items = {
      Popup("File", {Command(ID_FILE_SELECTDEVICE, "Select Device"), Command(ID_FILE_SHOWSECTOR, "Show Sector Data"),
                     Separator(), Command(ID_FILE_EJECT, "Eject Device"),
                     Command(ID_FILE_CLOSEDEVICE, "Close Device"), Separator(), Command(ID_FILE_EXIT, "Exit")}),
      Popup("View", {Command(ID_VIEW_REFRESH, "Refresh"), Command(ID_VIEW_SAVEDATA, "Save Data")}),
      Popup("Tools", {Command(ID_TOOLS_SHOWTOC, "Show TOC"), Command(ID_TOOLS_VOLUMEINFO, "Volumn Information"),
                      Command(ID_TOOLS_DEVICEINFO, "Device Support Information"), Separator(),
                      Command(ID_TOOLS_DISCSCAN, "Disc Scan")}),
      Popup("Help", {Command(ID_HELP_TOPIC, "Help Topic"), Separator(), Command(ID_HELP_ABOUT, "About")}),
  };
  return m;
}

}  // namespace

const char* String(int id) {
  const auto it = std::find_if(std::begin(kStrings), std::end(kStrings), [id](const StringEntry& e) { return e.id == id; });
  return it == std::end(kStrings) ? nullptr : it->text;
}

const Menu* FindMenu(int id) {
  // Built once, on first use, and never changed afterwards: safe to share.
  static const Menu kMain = BuildMainMenu();
  return id == kMain.id ? &kMain : nullptr;
}

}  // namespace res
