// verify SOURCE: whether an image is intact (every raw data sector's sync,
// header, EDC and ECC; the Q sub-channel's CRC) and each track's CRC-32, MD5
// and SHA-1 as a per-track .bin of the disc would give them.
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/ImageVerify.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/SectorCheck.h"

namespace cli {
namespace {

std::atomic<bool> g_stop{false};
void OnInterrupt(int) { g_stop = true; }

const char* ModeText(orvane::TrackMode m) {
  switch (m) {
    case orvane::TrackMode::Audio: return "Audio";
    case orvane::TrackMode::Mode1: return "Mode 1";
    case orvane::TrackMode::Mode2Formless: return "Mode 2";
    case orvane::TrackMode::Mode2Xa: return "Mode 2 XA";
  }
  return "Data";
}

void AddTracks(Report& report, const orvane::VerifyReport& r) {
  Table& t = report.AddTable("tracks", {"session", "track", "mode", "first", "sectors", "sector_bytes", "bytes",
                                        "crc32", "md5", "sha1"});
  for (const orvane::TrackCheck& c : r.tracks)
    t.AddRow({c.session, c.number, ModeText(c.mode), static_cast<long long>(c.first), static_cast<std::uint64_t>(c.sectors),
              static_cast<unsigned>(c.sectorBytes), c.bytes, c.digests.Crc32Hex(), c.digests.Md5Hex(),
              c.digests.Sha1Hex()});
}

int RunVerify(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: verify takes only a SOURCE\n";
    return kExitUsage;
  }
  // A drive corrects what it can before it answers, so only an image's
  // stored bytes say whether a sector is intact.
  if (dev->GetDeviceID() != 0) return ctx.Fail("verify checks image files, not drives");
  orvane::DiscLayout layout;
  std::string error;
  if (!orvane::OpenImage(dev->GetNodePath(), layout, error)) return ctx.Fail(error);

  g_stop = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool bar = isatty(STDERR_FILENO) == 1;
  int shown = -1;
  const orvane::VerifyReport r = orvane::VerifyImage(layout, g_stop, [&](std::uint64_t done, std::uint64_t total) {
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (bar && percent != shown) ctx.err << "\rverifying " << (shown = percent) << "%" << std::flush;
  });
  std::signal(SIGINT, previous);
  if (bar) ctx.err << "\n";

  Report report;
  std::uint64_t checked = 0;
  for (const orvane::TrackCheck& c : r.tracks) checked += c.checked;
  report.Field("format", layout.format);
  report.Field("sectors_checked", checked);
  report.Field("sectors_failed", r.failed);
  AddTracks(report, r);
  Table& failed = report.AddTable("failures", {"sector", "track", "failed"});
  for (const orvane::SectorFailure& f : r.failures)
    failed.AddRow({static_cast<long long>(f.lba), f.track, orvane::SectorFaultNames(f.faults)});
  ctx.Print(report);
  if (r.failed > r.failures.size())
    ctx.err << "tessal-cli: only the first " << r.failures.size() << " failing sectors are listed\n";
  if (r.outcome == orvane::VerifyOutcome::Stopped) {
    ctx.err << "tessal-cli: verify stopped\n";
    return kExitFailed;
  }
  return r.failed == 0 ? kExitOk : kExitFailed;
}

const CommandRegistration registration(
    {"verify", "SOURCE", "check every raw sector of an image and give each track's checksums",
     "For each raw data sector the image stores: the sync pattern, the header's\n"
     "address and mode, and the EDC and ECC its mode carries (Mode 1, Mode 2\n"
     "Form 1, Mode 2 Form 2 whose EDC may be 0; Mode 0 and formless Mode 2 only\n"
     "sync and header); the Q sub-channel's CRC where the image keeps sub-channel.\n"
     "Each failing sector is listed with what failed (sync, address, mode, edc,\n"
     "ecc, subq, unreadable). Per track: CRC-32, MD5 and SHA-1 of the bytes a\n"
     "per-track .bin holds (from index 00 where the image stores the pregap, 2352\n"
     "bytes a sector, audio little-endian); for images holding only user data,\n"
     "of the 2048-byte user data. Exit status 1 when any sector fails.\n",
     true, RunVerify});

}  // namespace
}  // namespace cli
