// Writes the manual pages of tessal and tessal-cli and tessal-cli's bash
// completion from the programs' own help and command list, so that what is
// installed says what the programs do.
//   tessal_docgen man tessal|tessal-cli DATE OUT
//   tessal_docgen bash-completion OUT
#include <cctype>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "app/CommandLine.h"
#include "app/ProgramHelp.h"
#include "cli/Cli.h"

namespace {

// One line of text for roff: a backslash printed as such, a dash that starts
// a word as a minus (options must be typed with it), and a line that would
// read as a request kept as text.
std::string Escape(const std::string& line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    const bool wordStart = i == 0 || std::strchr(" (\"[|/", line[i - 1]) != nullptr;
    if (c == '\\') out += "\\e";
    else if (c == '-' && (wordStart || (i > 0 && line[i - 1] == '-'))) out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// A synopsis or list term: names and options in bold, placeholders (FILE,
// SOURCE) in italics, brackets and bars as they stand.
std::string FormatTerm(const std::string& term) {
  std::istringstream words(term);
  std::string out;
  for (std::string w; words >> w;) {
    std::size_t b = 0, e = w.size();
    while (b < e && (w[b] == '[' || w[b] == '|')) ++b;
    while (e > b && (w[e - 1] == ']' || w[e - 1] == ',' || w[e - 1] == '.')) --e;
    const std::string core = w.substr(b, e - b);
    if (!out.empty()) out += ' ';
    out += Escape(w.substr(0, b));
    if (core.empty()) {
    } else if (core[0] == '-' || std::islower(static_cast<unsigned char>(core[0]))) {
      out += "\\fB" + Escape(core) + "\\fR";
    } else if (std::isupper(static_cast<unsigned char>(core[0]))) {
      out += "\\fI" + Escape(core) + "\\fR";
    } else {
      out += Escape(core);
    }
    out += Escape(w.substr(e));
  }
  return out;
}

// Help text as filled roff lines; a blank line starts a paragraph, indented
// like the list item it belongs to.
void WriteText(std::ostream& out, const std::string& text, const char* paragraph) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) out << paragraph << '\n';
    else out << Escape(line) << '\n';
  }
}

// A list entry's first line is a phrase ("print the same data as JSON"); the
// manual shows it as a sentence.
std::string Sentence(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (!text.empty() && text.back() != '.') text += '.';
  return text + '\n';
}

void WriteList(std::ostream& out, const char* heading, const std::vector<help::Item>& items, bool bold) {
  if (items.empty()) return;
  out << ".SH " << heading << '\n';
  for (const help::Item& i : items) {
    out << ".TP\n" << (bold ? "\\fB" + Escape(i.term) + "\\fR" : FormatTerm(i.term)) << '\n';
    WriteText(out, Sentence(i.text), ".IP");
    if (!i.details.empty()) {
      out << ".IP\n";
      WriteText(out, i.details, ".IP");
    }
  }
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

void WriteManPage(std::ostream& out, const help::ProgramHelp& h, const std::string& date) {
  out << ".\\\" Written by tessal_docgen from the program's own help; edit that instead.\n";
  out << ".TH " << Escape(Upper(h.name)) << " 1 \"" << date << "\" \"Tessal " << help::Version()
      << "\" \"User Commands\"\n";
  out << ".nh\n.ad l\n";  // option names and paths stay whole
  out << ".SH NAME\n" << Escape(h.name) << " \\- " << Escape(h.summary) << '\n';
  out << ".SH SYNOPSIS\n";
  for (std::size_t i = 0; i < h.synopsis.size(); ++i)
    out << (i ? ".br\n" : "") << "\\fB" << Escape(h.name) << "\\fR " << FormatTerm(h.synopsis[i]) << '\n';
  out << ".SH DESCRIPTION\n";
  WriteText(out, h.description, ".PP");
  WriteList(out, "OPTIONS", h.options, false);
  WriteList(out, "COMMANDS", h.commands, false);
  WriteList(out, "ENVIRONMENT", h.environment, true);
  WriteList(out, "EXIT STATUS", h.exitStatus, true);
  WriteList(out, "EXAMPLES", h.examples, true);
  if (!h.seeAlso.empty()) {
    out << ".SH SEE ALSO\n";
    for (std::size_t i = 0; i < h.seeAlso.size(); ++i) {
      const std::string& ref = h.seeAlso[i];
      const std::size_t paren = ref.find('(');
      out << ".BR " << Escape(ref.substr(0, paren)) << ' ' << ref.substr(paren)
          << (i + 1 < h.seeAlso.size() ? " ," : "") << '\n';
    }
  }
}

std::string OptionsOf(const cli::Command& c) { return c.options ? c.options : ""; }

// Completes the global options and the commands, then each command's own
// options; its SOURCE and the arguments after it complete as file names
// (a drive node such as /dev/sr0 is a file name too).
void WriteBashCompletion(std::ostream& out) {
  const help::ProgramHelp& h = cli::CliHelp();
  std::string commands, globals;
  for (const cli::Command& c : cli::Commands()) commands += (commands.empty() ? "" : " ") + std::string(c.name);
  for (const help::Item& o : h.options) {
    std::istringstream names(o.term);
    for (std::string n; names >> n;) {
      if (n.back() == ',') n.pop_back();
      if (n[0] == '-') globals += (globals.empty() ? "" : " ") + n;
    }
  }
  out << "# bash completion for tessal-cli. Written by tessal_docgen from the program's\n"
         "# command list; edit that instead.\n"
         "_tessal_cli()\n{\n"
         "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "    local word command= i\n"
         "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "        word=${COMP_WORDS[i]}\n"
         "        [[ $word == -* ]] && continue\n"
         "        command=$word\n"
         "        break\n"
         "    done\n"
         "    if [[ -z $command ]]; then\n"
         "        if [[ $cur == -* ]]; then\n"
         "            COMPREPLY=($(compgen -W '" << globals << "' -- \"$cur\"))\n"
         "        else\n"
         "            COMPREPLY=($(compgen -W '" << commands << "' -- \"$cur\"))\n"
         "        fi\n"
         "        return 0\n"
         "    fi\n"
         "    local options=\n"
         "    case $command in\n";
  for (const cli::Command& c : cli::Commands())
    if (!OptionsOf(c).empty()) out << "        " << c.name << ") options='" << OptionsOf(c) << "' ;;\n";
  out << "    esac\n"
         "    if [[ $cur == -* && $prev != -o ]]; then\n"
         "        COMPREPLY=($(compgen -W \"--json --help $options\" -- \"$cur\"))\n"
         "        return 0\n"
         "    fi\n"
         "    compopt -o filenames 2>/dev/null\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "complete -F _tessal_cli tessal-cli\n";
}

int Usage() {
  std::cerr << "usage: tessal_docgen man tessal|tessal-cli DATE OUT\n"
               "       tessal_docgen bash-completion OUT\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string what = argv[1];
  const std::string outPath = argv[argc - 1];
  std::ostringstream text;
  if (what == "man" && argc == 5) {
    const std::string program = argv[2];
    if (program == "tessal") WriteManPage(text, TessalHelp(), argv[3]);
    else if (program == "tessal-cli") WriteManPage(text, cli::CliHelp(), argv[3]);
    else return Usage();
  } else if (what == "bash-completion" && argc == 3) {
    WriteBashCompletion(text);
  } else {
    return Usage();
  }
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out << text.str();
  if (!out.flush()) {
    std::cerr << "tessal_docgen: cannot write " << outPath << '\n';
    return 1;
  }
  return 0;
}
