#pragma once
// Shared by the command tests: running the built tessal-cli, cutting its
// tab-separated output into cells, reading files whole.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CdImages.h"
#include "tests/support/CdInfo.h"

namespace browsercli {

inline std::string Q(const std::string& s) { return testsupport::ShellQuote(s); }

inline testsupport::ProgramRun Tessal(const std::string& args, const testsupport::ScratchDir& dir) {
  const char* bin = std::getenv("TESSAL_BIN_DIR");
  return testsupport::RunProgram(std::string(bin ? bin : "build/bin") + "/tessal-cli " + args, dir);
}

// The lines of the table whose heading starts with `heading`, up to the
// blank line that ends it, cut at their tabs.
inline std::vector<std::vector<std::string>> TableRows(const std::string& out, const std::string& heading) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  bool inTable = false;
  for (std::string line; std::getline(in, line);) {
    if (!inTable) {
      inTable = line.rfind(heading, 0) == 0;
      continue;
    }
    if (line.empty()) break;
    std::vector<std::string> cells;
    std::stringstream ls(line);
    for (std::string c; std::getline(ls, c, '\t');) cells.push_back(c);
    rows.push_back(cells);
  }
  return rows;
}

// Every line cut at its tabs, padded to at least `width` cells.
inline std::vector<std::vector<std::string>> Lines(const std::string& out, std::size_t width = 6) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream ls(line);
    for (std::string c; std::getline(ls, c, '\t');) cells.push_back(c);
    while (cells.size() < width) cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

inline testsupport::Bytes ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return testsupport::Bytes(std::istreambuf_iterator<char>(in), {});
}

// The same user data as raw Mode 1 sectors (a BIN of MODE1/2352).
inline testsupport::Bytes RawMode1Sectors(const testsupport::Bytes& user) {
  testsupport::Bytes raw;
  for (std::size_t i = 0; i * 2048 < user.size(); ++i) {
    auto s = testsupport::RawSector(static_cast<std::int32_t>(i), testsupport::RawMode::Mode1, user.data() + i * 2048,
                                    2048);
    raw.insert(raw.end(), s.begin(), s.end());
  }
  return raw;
}

}  // namespace browsercli
