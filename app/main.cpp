// tessal: the disc analyser's window.
#include <iostream>

#include "app/CTessalApp.h"
#include "app/CTessalDlg.h"
#include "app/CommandLine.h"
#include "platform/ui/qt/QtUi.h"

int main(int argc, char** argv) {
  CommandLine line;
  std::string error;
  switch (line.Parse(argc, argv, error)) {
    case CommandLine::Parsed::Help:
      help::PrintHelp(std::cout, TessalHelp());
      return 0;
    case CommandLine::Parsed::Version:
      help::PrintVersion(std::cout, TessalHelp());
      return 0;
    case CommandLine::Parsed::Usage:
      std::cerr << "tessal: " << error << '\n';
      help::PrintUsage(std::cerr, TessalHelp());
      std::cerr << "Try 'tessal --help' for more.\n";
      return 2;
    case CommandLine::Parsed::Run:
      break;
  }
  return ui::qt::RunQtProgram(argc, argv, [&line] {
    CTessalApp app;
    CTessalApp::StartOptions start;
    if (line.HasStartAction())
      start.prepare = [&line](CTessalDlg& dlg) { dlg.SetStartAction([&dlg, &line] { line.Start(dlg); }); };
    return app.InitInstance(std::move(start));
  });
}
