#pragma once
// The Tools popup of the program's menu, as tests of popup menus use it.
#include <vector>

#include "res/Resources.h"

inline std::vector<res::MenuItem> ToolsMenu() {
  std::vector<res::MenuItem> tools(4);
  tools[0].id = 32778;
  tools[0].text = "Show TOC";
  tools[1].id = 32779;
  tools[1].text = "Volumn Information";
  tools[2].separator = true;
  tools[3].id = 32781;
  tools[3].text = "Disc Scan";
  return tools;
}
