// toc SOURCE: the TOC view's rows.
#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgTOCRows.h"

namespace cli {
namespace {

// A number where the row holds one (JSON shows it unquoted), else the text.
Value NumberOrText(const std::string& s) {
  if (s.empty() || s.find_first_not_of("-0123456789") != std::string::npos) return Value(s);
  try {
    return Value(std::stoll(s));
  } catch (...) {
    return Value(s);
  }
}

int RunToc(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: toc takes only a SOURCE\n";
    return kExitUsage;
  }
  std::vector<TocRow> rows;
  const TocListResult result = BuildTocRows(dev, rows);
  if (result == TocListResult::NotReady) return ctx.Fail("Device not Ready,Please try again!");
  Report report;
  std::vector<std::string> headings;
  for (const TocColumn& c : kTocColumns) headings.emplace_back(c.heading);
  Table& table = report.AddTable("tracks", headings);
  for (const TocRow& r : rows)
    table.AddRow({Value(r.session), NumberOrText(r.track), Value(r.type), NumberOrText(r.start), NumberOrText(r.end)});
  ctx.Print(report);
  if (result == TocListResult::NoDiscInfo) {
    ctx.err << "tessal-cli: neither a full TOC nor disc information could be read\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CommandRegistration registration(
    {"toc", "SOURCE", "the track list: session, track, type, start and end of each track",
     "Prints the rows of the TOC view. From a CD's full TOC, End pos is the track's\n"
     "last sector; without one (DVD, BD) the rows come from disc and track\n"
     "information and End pos is the first sector after the track.\n",
     true, RunToc});

}  // namespace
}  // namespace cli
