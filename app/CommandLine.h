#pragma once
// The window program's command line: an image to open at once (what a file
// manager does with "tessal FILE"), and the options for trying the program
// out and taking screenshots. Its help text is also the manual page's.
#include <string>

#include "app/ProgramHelp.h"

class CTessalDlg;

struct CommandLine {
  std::string image;  // FILE or --image FILE
  int view = -1;
  std::string node;
  std::string show;

  enum class Parsed { Run, Help, Version, Usage };
  // Reads argv[1..]; `error` says what was wrong when the result is Usage.
  Parsed Parse(int argc, const char* const* argv, std::string& error);
  // Whether the start timer has something else to do than open the device dialog.
  bool HasStartAction() const { return !image.empty() || !show.empty(); }
  // What the start timer does instead: open the image (a file no reader takes
  // is told in a message box, then the device dialog opens as on a plain
  // start), then the node, view and dialog asked for.
  void Start(CTessalDlg& dlg) const;
};

const help::ProgramHelp& TessalHelp();
