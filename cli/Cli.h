#pragma once
// The headless tool's framework: a table of commands that register
// themselves, the source they work on (a drive node or an image file, both
// reached through CDevCmdROM exactly as the program's views reach them), and
// one report model printed either as tab-separated text or as JSON.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramHelp.h"

class CDevCmdROM;
class DevDeque;
namespace imaging {
struct OwnerRow;
}

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A printed value: text, or a number that JSON shows unquoted; a value never
// set prints as an empty cell and as JSON null.
struct Value {
  std::string text;
  bool number = false;
  bool null = false;
  Value() : null(true) {}
  Value(const char* s) : text(s) {}
  Value(std::string s) : text(std::move(s)) {}
  Value(int v) : text(std::to_string(v)), number(true) {}
  Value(long long v) : text(std::to_string(v)), number(true) {}
  Value(unsigned v) : text(std::to_string(v)), number(true) {}
  Value(std::uint64_t v) : text(std::to_string(v)), number(true) {}
};

// Rows under column headings. Text: the heading line, then one tab-separated
// line per row. JSON: an array of objects keyed by the headings.
class Table {
 public:
  Table(std::string name, std::vector<std::string> columns) : m_name(std::move(name)), m_columns(std::move(columns)) {}
  void AddRow(std::vector<Value> row);
  const std::string& Name() const { return m_name; }
  const std::vector<std::string>& Columns() const { return m_columns; }
  const std::vector<std::vector<Value>>& Rows() const { return m_rows; }

 private:
  std::string m_name;
  std::vector<std::string> m_columns;
  std::vector<std::vector<Value>> m_rows;
};

// What a command prints: named fields ("key<TAB>value" lines, or JSON
// members) followed by tables (each after a blank line, or JSON arrays).
class Report {
 public:
  void Field(const std::string& key, Value value) { m_fields.emplace_back(key, std::move(value)); }
  Table& AddTable(const std::string& name, std::vector<std::string> columns);
  void Print(std::ostream& out, bool json) const;

 private:
  std::vector<std::pair<std::string, Value>> m_fields;
  std::vector<Table> m_tables;
};

std::string JsonQuote(const std::string& s);

class Context {
 public:
  Context(bool json, std::ostream& out, std::ostream& err);
  ~Context();
  bool json;
  std::ostream& out;
  std::ostream& err;

  // The system's drives and the image item, enumerated on first use.
  DevDeque& Devices();
  // A drive node (/dev/sr0, or a link to one) or an image file made ready to
  // read; null with a one-line reason when it cannot be used.
  CDevCmdROM* OpenSource(const std::string& source, std::string& error);
  // Prints "tessal-cli: message" on the error stream; returns kExitFailed.
  int Fail(const std::string& message);
  void Print(const Report& r) { r.Print(out, json); }

 private:
  std::unique_ptr<DevDeque> m_devices;
};

struct Command {
  const char* name;
  const char* arguments;  // after COMMAND in the synopsis, e.g. "SOURCE"
  const char* summary;    // one line for the command list
  const char* help;       // what COMMAND --help adds (may be empty)
  bool needsSource;
  // args are those after SOURCE (or after COMMAND when there is no source).
  int (*run)(Context& ctx, CDevCmdROM* source, const std::vector<std::string>& args);
  // Options the command reads itself from its args, space-separated
  // ("--raw -o"); any other option is refused before the command runs.
  const char* options = "";
};
// Whether `option` is one of `command`'s own options.
bool TakesOption(const Command& command, const std::string& option);

// Each Cmd<Name>.cpp registers its command with a static CommandRegistration.
const std::vector<Command>& Commands();
struct CommandRegistration {
  explicit CommandRegistration(const Command& c);
};

// The program's help (--help, the manual page, the shell completion), with
// the registered commands.
const help::ProgramHelp& CliHelp();

// The table of what owns a medium's unreadable sectors ("owners": Owner,
// FirstSector, Sectors), which scan --files and image print.
void AddOwnerTable(Report& report, const std::vector<imaging::OwnerRow>& rows);

// Shared wording for the values of MMC answers.
std::string ProfileName(int profile);
std::string DiscStatusName(int status);
std::string FileSystemName(int judged);
std::string Hex(unsigned value, int digits);

}  // namespace cli
