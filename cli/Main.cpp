// tessal-cli [--json] COMMAND SOURCE [ARGS...]: what the program's panels show,
// printed for scripts and tests.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool json = false, help = false, version = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--json") json = true;
    else if (a == "--help" || a == "-h") help = true;
    else if (a == "--version") version = true;
    else args.push_back(a);
  }
  if (version && !help) {
    help::PrintVersion(std::cout, cli::CliHelp());
    return cli::kExitOk;
  }
  if (args.empty()) {
    help::PrintHelp(help ? std::cout : std::cerr, cli::CliHelp());
    return help ? cli::kExitOk : cli::kExitUsage;
  }
  const cli::Command* cmd = nullptr;
  for (const cli::Command& c : cli::Commands())
    if (args[0] == c.name) cmd = &c;
  if (!cmd) {
    std::cerr << "tessal-cli: unknown command '" << args[0] << "' (see tessal-cli --help)\n";
    return cli::kExitUsage;
  }
  if (help) {
    std::cout << "usage: tessal-cli [--json] " << cmd->name << (cmd->arguments[0] ? " " : "") << cmd->arguments
              << "\n" << cmd->summary << '\n' << cmd->help;
    return cli::kExitOk;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].size() > 1 && args[i][0] == '-' && args[i] != "-" && !cli::TakesOption(*cmd, args[i])) {
      std::cerr << "tessal-cli: unknown option '" << args[i] << "'\n";
      return cli::kExitUsage;
    }
  }
  cli::Context ctx(json, std::cout, std::cerr);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  CDevCmdROM* source = nullptr;
  if (cmd->needsSource) {
    if (rest.empty()) {
      std::cerr << "tessal-cli: " << cmd->name << " needs a SOURCE (an image file or a drive node)\n";
      return cli::kExitUsage;
    }
    std::string error;
    source = ctx.OpenSource(rest[0], error);
    if (!source) return ctx.Fail(error);
    rest.erase(rest.begin());
  }
  return cmd->run(ctx, source, rest);
}
