#pragma once
// What a program says about itself: its synopsis, options, commands, exit
// statuses and examples. --help prints it, and the build writes the manual
// page from the very same text, so the two cannot tell different stories.
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace help {

// One entry of a list: a term ("--image FILE", "info SOURCE", "2") and what
// it means. Text is plain, lines end in '\n'; a blank line starts a paragraph.
struct Item {
  Item(std::string t, std::string x, std::string d = {}) : term(std::move(t)), text(std::move(x)), details(std::move(d)) {}
  std::string term;
  std::string text;
  std::string details;  // more, for the manual (a command's own --help)
};

struct ProgramHelp {
  std::string name;                   // "tessal-cli"
  std::string summary;                // one line, for the manual's NAME
  std::vector<std::string> synopsis;  // each after the program's name
  std::string description;
  std::vector<Item> options;
  std::vector<Item> commands;
  std::vector<Item> exitStatus;
  std::vector<Item> environment;
  std::vector<Item> examples;  // term: a command line; text: what it does
  std::vector<std::string> seeAlso;
};

// The project's version, as the build gives it ("3.03").
const char* Version();

// The usage lines alone ("usage: tessal [OPTIONS] [FILE]").
void PrintUsage(std::ostream& out, const ProgramHelp& h);
// The --help text: usage lines, description, then each list under a heading.
void PrintHelp(std::ostream& out, const ProgramHelp& h);
// The --version text: "<name> <version>".
void PrintVersion(std::ostream& out, const ProgramHelp& h);

}  // namespace help
