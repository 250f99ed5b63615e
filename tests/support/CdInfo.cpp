#include "tests/support/CdInfo.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace testsupport {

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ProgramRun RunProgram(const std::string& command, const ScratchDir& dir) {
  ProgramRun r;
  std::string errFile = dir.File(".stderr");
  FILE* p = popen((command + " 2>" + ShellQuote(errFile)).c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::ifstream e(errFile);
  std::stringstream ss;
  ss << e.rdbuf();
  r.err = ss.str();
  return r;
}

bool HaveProgram(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::map<int, CdInfoTrack> CdInfoTracks(const std::string& sourceArgs, const ScratchDir& dir) {
  ProgramRun run = RunProgram("cd-info --no-device-info --no-cddb -q " + sourceArgs, dir);
  // "  N: MM:SS:FF  LSN type ..."; the lead-out is track 170.
  std::regex re(R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+) (\w+))");
  std::map<int, CdInfoTrack> tracks;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, re)) {
      CdInfoTrack t;
      t.start = std::stoll(m[2]);
      t.audio = m[3] == "audio";
      tracks[std::stoi(m[1])] = t;
    }
  }
  for (auto it = tracks.begin(); it != tracks.end(); ++it) {
    auto next = std::next(it);
    if (next != tracks.end()) it->second.length = next->second.start - it->second.start;
  }
  if (!tracks.count(170)) tracks.clear();
  return tracks;
}

}  // namespace testsupport
