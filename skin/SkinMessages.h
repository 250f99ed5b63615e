#pragma once
// Messages the skinned controls send to the window that owns them.
#include "platform/ui/Types.h"

namespace skin {

// A button under the mouse asks its parent to show a hint: lParam is the
// hint's string-table number, wParam 0.
constexpr unsigned WM_SHOWHINT = ui::WM_USER + 210;  // 1234
// The splitter bar was dragged: lParam is the mouse's x on the screen.
constexpr unsigned WM_SPLITMOVE = ui::WM_USER + 200;  // 0x4C8

// The hand cursor every bitmap button shows.
constexpr int kButtonCursor = 156;

// The skin's colours.
constexpr ui::COLORREF kBlueGrey = ui::RGB(100, 125, 142);
constexpr ui::COLORREF kHighlight = ui::RGB(169, 184, 202);

}  // namespace skin
