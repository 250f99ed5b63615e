// The manual pages, --version and the bash completion the build writes:
// each says what the programs really take, command for command.
#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "app/ProgramHelp.h"
#include "cli/Cli.h"
#include "tests/desktop/DesktopTestUtil.h"
#include "tests/support/CdInfo.h"

using namespace desktoptest;
using testsupport::HaveProgram;
using testsupport::RunProgram;
using testsupport::ScratchDir;
using testsupport::ShellQuote;

namespace {

fs::path ManPage(const std::string& program) { return BuildRoot() / "share" / "man" / "man1" / (program + ".1"); }

// The page as man shows it, in plain text; groff's warnings go to err.
testsupport::ProgramRun Render(const std::string& program, const ScratchDir& dir) {
  return RunProgram("groff -man -Tascii -ww -P-cbou " + ShellQuote(ManPage(program).string()), dir);
}

// The text of one section: from its heading to the next heading.
std::string Section(const std::string& page, const std::string& heading) {
  const std::size_t at = page.find("\n" + heading + "\n");
  if (at == std::string::npos) return {};
  static const std::regex next("\n[A-Z][A-Z ]+\n");
  std::smatch m;
  const std::string rest = page.substr(at + heading.size() + 1);  // from the newline before its first line
  return std::regex_search(rest, m, next) ? rest.substr(0, m.position(0)) : rest;
}

// The version the project declares, read from its CMakeLists.txt.
std::string ProjectVersion() {
  const char* src = std::getenv("TESSAL_SOURCE_DIR");
  std::ifstream f(fs::path(src ? src : ".") / "CMakeLists.txt");
  const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::smatch m;
  static const std::regex project(R"(project\(Tessal VERSION ([0-9.]+))");
  return std::regex_search(text, m, project) ? m[1].str() : std::string();
}

// Runs the completion function as bash would for the words typed so far
// (the last one being completed); returns the offers, one per line.
std::string Complete(const std::string& words, const ScratchDir& dir) {
  const fs::path script = BuildRoot() / "share" / "bash-completion" / "completions" / "tessal-cli";
  const std::string body = "source " + ShellQuote(script.string()) + "; COMP_WORDS=(" + words +
                           "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tessal_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
  auto r = RunProgram("cd " + ShellQuote(dir.Path()) + " && bash -c " + ShellQuote(body), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(ManualPages, TheToolsPageDescribesEveryCommandOptionAndExitStatus) {
  if (!HaveProgram("groff")) GTEST_SKIP() << "groff (groff-base) is not installed";
  ScratchDir dir;
  const auto r = Render("tessal-cli", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // -ww: not one warning about the page's own markup
  const std::string commands = Section(r.out, "COMMANDS");
  ASSERT_FALSE(cli::Commands().empty());
  for (const cli::Command& c : cli::Commands()) {
    SCOPED_TRACE(c.name);
    const std::string synopsis = std::string(c.name) + (c.arguments[0] ? " " : "") + c.arguments;
    const std::size_t at = commands.find("\n       " + synopsis);
    ASSERT_NE(at, std::string::npos) << commands;
    const char after = commands[at + 8 + synopsis.size()];
    EXPECT_TRUE(after == '\n' || after == ' ') << synopsis;  // the whole synopsis, then its text
    // The command's own help, not only its name.
    const std::string help = c.help ? c.help : "";
    const std::string firstWords = help.substr(0, help.find_first_of(" \n", help.find(' ') + 1));
    EXPECT_NE(commands.find(firstWords), std::string::npos) << firstWords;
    std::istringstream options(c.options ? c.options : "");
    for (std::string o; options >> o;) EXPECT_NE(commands.find(o), std::string::npos) << o;
  }
  for (const char* option : {"--json", "--help", "--version"})
    EXPECT_NE(Section(r.out, "OPTIONS").find(option), std::string::npos) << option;
  const std::string status = Section(r.out, "EXIT STATUS");
  for (const char* code : {"\n       0", "\n       1", "\n       2"}) EXPECT_NE(status.find(code), std::string::npos);
  EXPECT_NE(Section(r.out, "EXAMPLES").find("tessal-cli info mixed-mode.cue"), std::string::npos);
  EXPECT_NE(r.out.find("Tessal " + ProjectVersion()), std::string::npos);
}

TEST(ManualPages, TheWindowsPageDescribesOpeningAFile) {
  if (!HaveProgram("groff")) GTEST_SKIP() << "groff (groff-base) is not installed";
  ScratchDir dir;
  const auto r = Render("tessal", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(Section(r.out, "SYNOPSIS").find("tessal [OPTIONS] [FILE]"), std::string::npos) << r.out;
  const std::string options = Section(r.out, "OPTIONS");
  for (const char* o : {"FILE", "--image FILE", "--view N", "--node TEXT", "--show WHAT", "--help", "--version"})
    EXPECT_NE(options.find(o), std::string::npos) << o;
  EXPECT_NE(Section(r.out, "ENVIRONMENT").find("TESSAL_NO_DRIVES"), std::string::npos);
  EXPECT_NE(Section(r.out, "EXIT STATUS").find("\n       2"), std::string::npos);
}

// The manual's examples are what a reader types first: each one runs as
// written in a copy of the sample discs' folder, as the page says (those
// that need a drive aside).
TEST(ManualPages, EveryExampleOfTheToolRunsOnTheSampleDiscs) {
  ScratchDir dir;
  for (const auto& e : fs::directory_iterator(BuildDataDir() / "samples"))
    fs::copy_file(e.path(), fs::path(dir.Path()) / e.path().filename());
  int ran = 0;
  for (const help::Item& example : cli::CliHelp().examples) {
    if (example.term.find("/dev/sr") != std::string::npos) continue;
    SCOPED_TRACE(example.term);
    ASSERT_EQ(example.term.rfind("tessal-cli ", 0), 0u);
    const std::string args = example.term.substr(std::string("tessal-cli").size());
    auto r = RunProgram("cd " + ShellQuote(dir.Path()) + " && TESSAL_NO_DRIVES=1 " +
                            ShellQuote((BinDir() / "tessal-cli").string()) + args,
                        dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(r.out.empty());
    ++ran;
  }
  EXPECT_GE(ran, 6);
  EXPECT_TRUE(fs::is_directory(fs::path(dir.Path()) / "Documents"));  // what extract wrote
  EXPECT_GT(fs::file_size(fs::path(dir.Path()) / "track2.wav"), 44u);
}

TEST(Version, BothProgramsPrintTheProjectsVersion) {
  const std::string version = ProjectVersion();
  ASSERT_FALSE(version.empty());
  EXPECT_EQ(std::string(help::Version()), version);
  ScratchDir dir;
  for (const char* program : {"tessal-cli", "tessal"}) {
    const fs::path exe = BinDir() / program;
    if (!fs::exists(exe)) continue;  // the window is not built without Qt
    auto r = RunProgram(ShellQuote(exe.string()) + " --version", dir);
    EXPECT_EQ(r.status, 0) << program << r.err;
    EXPECT_EQ(r.out, std::string(program) + " " + version + "\n");
  }
}

TEST(BashCompletion, OffersTheRegisteredCommandsAndEachOnesOptions) {
  if (!HaveProgram("bash")) GTEST_SKIP();
  ScratchDir dir;
  std::vector<std::string> expected, offered;
  for (const cli::Command& c : cli::Commands())
    if (c.name[0] == 's') expected.push_back(c.name);
  std::istringstream lines(Complete("tessal-cli s", dir));
  for (std::string line; std::getline(lines, line);) offered.push_back(line);
  // The registry's order is that of static set-up; compare as sets.
  std::sort(expected.begin(), expected.end());
  std::sort(offered.begin(), offered.end());
  EXPECT_EQ(offered, expected);
  EXPECT_EQ(Complete("tessal-cli --js", dir), "--json\n");
  EXPECT_EQ(Complete("tessal-cli sector disc.iso 16 --r", dir), "--raw\n");
  EXPECT_EQ(Complete("tessal-cli toc disc.iso --r", dir), "\n");  // toc has no --raw
  // A SOURCE completes as a file name.
  dir.Write("disc.cue", std::string("FILE \"x.bin\" BINARY\n"));
  EXPECT_EQ(Complete("tessal-cli info di", dir), "disc.cue\n");
}

}  // namespace
