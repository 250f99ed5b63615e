#pragma once
// A parent window that writes down every notification its children send.
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Window.h"

struct Recorder : ui::Window {
  std::vector<int> commands;
  std::vector<std::pair<int, int>> notes;  // id, code
  std::vector<std::pair<int, int>> vscroll, hscroll;  // code, pos
  std::vector<unsigned> timers;
  std::vector<std::string> log;

  Recorder() { CreateWindowAt(nullptr, ui::Rect(0, 0, 400, 300), 0, false); }
  void OnCommand(int id) override { commands.push_back(id); }
  ui::LRESULT OnNotify(int id, int code) override {
    notes.push_back({id, code});
    return 0;
  }
  void OnVScroll(int code, int pos, ui::Window*) override { vscroll.push_back({code, pos}); }
  void OnHScroll(int code, int pos, ui::Window*) override { hscroll.push_back({code, pos}); }
  void OnTimer(unsigned id) override { timers.push_back(id); }
  int Count(int id, int code) const {
    int n = 0;
    for (auto& p : notes) n += p.first == id && p.second == code;
    return n;
  }
};

// Makes `c` a live child of `parent`.
template <class C>
C& Attach(C& c, ui::Window& parent, int id, std::uint32_t style = 1u /* visible */) {
  c.CreateWindowAt(&parent, ui::Rect(0, 0, 100, 100), id, true, style);
  return c;
}
