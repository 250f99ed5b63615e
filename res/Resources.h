#pragma once
// The program's resources as data: string table, menus, dialog templates and
// the skin bitmaps, all under the ids of res/resource.h. The logic (masks,
// view area, texts) and the Qt rendering read the same data.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "res/resource.h"

namespace res {

// ---- strings ----
// The string-table text of id, or nullptr when there is none.
const char* String(int id);

// ---- menus ----
struct MenuItem {
  int id = 0;                    // command id; 0 for a separator or a popup
  std::string text;              // empty for a separator
  bool separator = false;
  std::vector<MenuItem> popup;   // items of a popup; empty for a command
};
struct Menu {
  int id = 0;
  std::vector<MenuItem> items;   // top level: the popups
};
const Menu* FindMenu(int id);

// ---- dialog templates ----
enum class ControlKind {
  Static,          // static text
  Picture,         // static picture showing `bitmap`
  Button,          // push button (owner-drawn when Style::OwnerDraw)
  CheckBox,
  Edit,
  ListBox,
  Tree,
  ReportList,      // list control in report view
  Progress,
  Slider,          // trackbar
  ScrollBar,       // vertical unless Style::Horizontal
  GroupBox,
};

// Style bits a template may carry; the meaning follows the Windows style of the
// same name.
namespace Style {
enum : std::uint32_t {
  Visible = 1u << 0,
  Disabled = 1u << 1,
  Border = 1u << 2,
  Popup = 1u << 3,
  Child = 1u << 4,
  VScroll = 1u << 5,
  HScroll = 1u << 6,
  OwnerDraw = 1u << 7,
  TabStop = 1u << 8,
  // edit
  MultiLine = 1u << 9,
  AutoHScroll = 1u << 10,
  AutoVScroll = 1u << 11,
  ReadOnly = 1u << 12,
  Number = 1u << 13,
  // list box
  Notify = 1u << 14,
  NoIntegralHeight = 1u << 15,
  // tree
  HasButtons = 1u << 16,
  HasLines = 1u << 17,
  LinesAtRoot = 1u << 18,
  ShowSelAlways = 1u << 19,
  // report list
  SortAscending = 1u << 20,
  NoSortHeader = 1u << 21,
  SingleSel = 1u << 22,
  // static
  CenterText = 1u << 23,
  RightText = 1u << 24,
  // slider / scroll bar
  Horizontal = 1u << 25,
  NoTicks = 1u << 26,
  // dialog
  ThinFrame = 1u << 27,
  AppWindow = 1u << 28,
  Caption = 1u << 29,
  SysMenu = 1u << 30,
};
}  // namespace Style

struct ControlTemplate {
  int id = 0;                  // -1 for an unnamed control (IDC_STATIC)
  ControlKind kind = ControlKind::Static;
  const char* text = "";
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::uint32_t style = Style::Visible | Style::Child;
  int bitmap = 0;              // Picture: the bitmap id
};

struct DialogTemplate {
  int id = 0;
  const char* caption = "";
  const char* font = "MS Sans Serif";
  int pointSize = 8;
  int cx = 0, cy = 0;          // dialog units
  std::uint32_t style = 0;
  std::span<const ControlTemplate> controls;
};
const DialogTemplate* FindDialog(int id);

// ---- bitmaps and icons ----
struct Image {
  int width = 0, height = 0;
  int depth = 0;                    // bits per pixel of the resource (1, 8, 24)
  std::vector<std::uint32_t> rgb;   // 0x00RRGGBB, row-major, top row first
  std::vector<std::uint8_t> alpha;  // icons only: 255 opaque, 0 transparent; empty = opaque
  bool Empty() const { return width <= 0 || height <= 0; }
  std::uint32_t Pixel(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
};
// The embedded BMP file of a bitmap id, empty when there is none.
std::span<const std::uint8_t> BitmapFile(int id);
// Decodes a bitmap id (or an icon id); an empty Image when there is none.
Image LoadBitmap(int id);
Image LoadIcon(int id);  // also the cursor 156, whose hot spot is its top-left pixel
// BMP decoder used by LoadBitmap (1, 4, 8, 24 and 32 bits, bottom-up or top-down).
Image DecodeBmp(std::span<const std::uint8_t> file);

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kSkinBlueGrey = 0x647D8E;   // RGB(100,125,142)
constexpr std::uint32_t kSkinHighlight = 0xA9B8CA;  // RGB(169,184,202)

}  // namespace res
