// scan SOURCE: the disc scan's rows, every sector that cannot be read.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "cli/Cli.h"
#include "copy/SectorOwners.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgScanDisc.h"
#include "views/CDlgScanDiscWorker.h"

namespace cli {
namespace {

std::atomic<bool> g_stop{false};
void OnInterrupt(int) { g_stop = true; }

void DrawBar(std::ostream& err, int percent) {
  constexpr int kWidth = 40;
  const int filled = percent * kWidth / 100;
  err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
      << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << percent << "%" << std::flush;
}

int RunScan(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  const bool files = args.size() == 1 && args[0] == "--files";
  if (!args.empty() && !files) {
    ctx.err << "tessal-cli: scan takes only a SOURCE and --files\n";
    return kExitUsage;
  }
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");

  Report report;
  Table& table = report.AddTable("errors", {"Sector", "SenseKey", "ASC", "ASCQ"});
  const bool bar = isatty(STDERR_FILENO) == 1;
  ScanHooks hooks;
  std::vector<std::uint32_t> bad;
  hooks.badSector = [&table, &bad](std::uint32_t lba, const SenseData_tag& s) {
    bad.push_back(lba);
    table.AddRow({Value(static_cast<std::uint64_t>(lba)), Value(SenseByteText(s.key)), Value(SenseByteText(s.asc)),
                  Value(SenseByteText(s.ascq))});
  };
  if (bar) hooks.progress = [&ctx](int p) { DrawBar(ctx.err, p); };

  // Ctrl-C stops the scan as the dialog's Stop does: the rows found so far
  // are still printed.
  g_stop = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  DiscScanner scanner(*dev, g_stop);
  const ScanOutcome outcome = scanner.Run(hooks);
  std::signal(SIGINT, previous);
  if (bar) ctx.err << "\n";

  switch (outcome) {
    case ScanOutcome::NoDisc: return ctx.Fail("the disc is empty");
    case ScanOutcome::NoTracks: return ctx.Fail("neither disc information nor the TOC can be read");
    case ScanOutcome::NoLastTrack: return ctx.Fail("the last track's information cannot be read");
    default: break;
  }
  if (files) AddOwnerTable(report, imaging::FindSectorOwners(*dev, bad));
  ctx.Print(report);
  if (outcome == ScanOutcome::Stopped) {
    ctx.err << "tessal-cli: scan stopped\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CommandRegistration registration(
    {"scan", "SOURCE [--files]", "read every sector of every track and list the unreadable ones",
     "Reads each track in runs of 16 sectors (raw for audio tracks, user data for\n"
     "data tracks), reads the sectors of a failed run one at a time, and prints one\n"
     "row per sector that still fails, with its sense key, ASC and ASCQ. A progress\n"
     "bar goes to stderr when it is a terminal. Exit status 0 when the scan ran to\n"
     "its end, whatever it found.\n"
     "With --files a second table names what owns the unreadable sectors, one row\n"
     "per owner with its first unreadable sector and their count: a file or folder\n"
     "by the path ls and extract take, a file-system structure (\"volume\n"
     "descriptor\", \"path table\", \"directory /X\", \"UDF file entry of /Y\",\n"
     "\"VAT\", \"metadata file\", ...), \"free space\", a track's pregap, or\n"
     "\"unknown (below unreadable ...)\" where a damaged structure hides what lay\n"
     "there. Unreadable sectors before a pregap that may end the track before as\n"
     "well are \"unknown (between track N and track M)\".\n",
     true, RunScan, "--files"});

}  // namespace
}  // namespace cli
