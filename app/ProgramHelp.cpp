#include "app/ProgramHelp.h"

#include <ostream>

#include "TessalVersion.h"

namespace help {

namespace {

constexpr std::size_t kTermColumn = 2;   // where a term starts
constexpr std::size_t kTextColumn = 6;   // where its text starts on the lines below
constexpr std::size_t kShortTerm = 16;   // a term this short keeps its first line beside it

void PrintIndented(std::ostream& out, const std::string& text, std::size_t indent) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) out << std::string(indent, ' ') << text.substr(at, end - at);
    out << '\n';
    at = end + 1;
  }
}

void PrintList(std::ostream& out, const char* heading, const std::vector<Item>& items) {
  if (items.empty()) return;
  out << '\n' << heading << ":\n";
  for (const Item& i : items) {
    const std::size_t firstBreak = i.text.find('\n');
    if (i.term.size() < kShortTerm && firstBreak != std::string::npos) {
      // "  --json          print the same data as JSON"
      out << std::string(kTermColumn, ' ') << i.term << std::string(kShortTerm + 2 - i.term.size(), ' ')
          << i.text.substr(0, firstBreak) << '\n';
      PrintIndented(out, i.text.substr(firstBreak + 1), kTermColumn + kShortTerm + 2);
    } else {
      out << std::string(kTermColumn, ' ') << i.term << '\n';
      PrintIndented(out, i.text, kTextColumn);
    }
  }
}

}  // namespace

const char* Version() { return TESSAL_VERSION; }

void PrintUsage(std::ostream& out, const ProgramHelp& h) {
  for (std::size_t i = 0; i < h.synopsis.size(); ++i)
    out << (i == 0 ? "usage: " : "       ") << h.name << ' ' << h.synopsis[i] << '\n';
}

void PrintHelp(std::ostream& out, const ProgramHelp& h) {
  PrintUsage(out, h);
  out << '\n';
  PrintIndented(out, h.description, 0);
  PrintList(out, "Options", h.options);
  PrintList(out, "Commands", h.commands);
  PrintList(out, "Environment", h.environment);
  PrintList(out, "Exit status", h.exitStatus);
  PrintList(out, "Examples", h.examples);
}

void PrintVersion(std::ostream& out, const ProgramHelp& h) { out << h.name << ' ' << Version() << '\n'; }

}  // namespace help
