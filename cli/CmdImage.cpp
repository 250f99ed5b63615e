// image SOURCE OUT [--retries N] [--resume]: the whole medium rescued into an
// image with a GNU ddrescue mapfile beside it.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/Cli.h"
#include "copy/CueSheetWriter.h"
#include "copy/DiscImager.h"
#include "copy/SectorOwners.h"
#include "disc/DevCmdROM.h"

namespace cli {

namespace {

namespace fs = std::filesystem;
using namespace imaging;

constexpr int kMaxRetries = 1000;
constexpr std::size_t kImageRunBytes = 1 << 20;
// Tests slow the reads down to stop a run in its middle; nobody else sets it.
constexpr const char* kReadDelayVariable = "TESSAL_IMAGE_READ_DELAY_MS";

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler may only touch a lock-free flag");

extern "C" void OnStopSignal(int) { g_stop.store(true); }

// Ctrl-C and SIGTERM finish the current read and save the map; the previous
// handlers come back when the run is over.
class StopSignals {
 public:
  StopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &m_int);
    sigaction(SIGTERM, &sa, &m_term);
  }
  ~StopSignals() {
    sigaction(SIGINT, &m_int, nullptr);
    sigaction(SIGTERM, &m_term, nullptr);
  }

 private:
  struct sigaction m_int {}, m_term {};
};

struct ImageArgs {
  std::string source, out;
  int retries = 2;
  bool resume = false;
  bool raw = false;  // .cue: raw sectors of every session; .iso: user data
};

bool ParseArgs(Context& ctx, const std::vector<std::string>& args, ImageArgs& a) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--resume") {
      a.resume = true;
    } else if (args[i] == "--retries") {
      char* end = nullptr;
      const long n = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
      if (!end || *end || n < 0 || n > kMaxRetries) {
        ctx.err << "tessal-cli: --retries takes a number from 0 to " << kMaxRetries << "\n";
        return false;
      }
      a.retries = static_cast<int>(n);
      ++i;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    ctx.err << "tessal-cli: image takes a SOURCE and an OUT file (*.iso or *.cue)\n";
    return false;
  }
  a.source = positional[0];
  a.out = positional[1];
  std::string ext = fs::path(a.out).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".iso" && ext != ".cue") {
    ctx.err << "tessal-cli: OUT must end in .iso (user data) or .cue (raw sectors of every track)\n";
    return false;
  }
  a.raw = ext == ".cue";
  return true;
}

// The sectors the chosen form holds; empty with the reason when the medium
// cannot be put into it.
std::vector<ImageSpan> SpansFor(const MediumLayout& m, bool raw, std::string& why) {
  if (raw) {
    if (!m.cd) why = "a DVD or BD has no raw sectors: image it to a .iso";
    return m.cd ? RawImageSpans(m) : std::vector<ImageSpan>{};
  }
  if (m.cd && (m.tracks.size() != 1 || m.HasAudio())) {
    why = "this CD has audio or several tracks, which a .iso cannot hold: image it to a .cue";
    return {};
  }
  const std::int64_t first = m.cd ? m.tracks.front().start : 0;
  if (m.capacity <= first) {
    why = "the medium holds no sectors";
    return {};
  }
  return {{first, static_cast<std::uint64_t>(m.capacity - first)}};
}

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

const char* PassName(PassState p) {
  switch (p) {
    case PassState::Copying: return "copying";
    case PassState::Trimming: return "trimming";
    case PassState::Scraping: return "scraping";
    case PassState::Retrying: return "retrying";
    default: return "finished";
  }
}

// The progress line: where the drive is, how fast sectors come, the errors
// found and the time the rest would take at that rate.
std::function<void(const ImagerProgress&)> ProgressLine(Context& ctx, std::uint32_t sectorBytes, bool tty) {
  if (!tty) return {};
  const auto began = std::chrono::steady_clock::now();
  auto first = std::make_shared<std::uint64_t>(UINT64_MAX);
  return [&ctx, sectorBytes, began, first](const ImagerProgress& p) {
    if (*first == UINT64_MAX) *first = p.finished;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double rate = secs > 0 ? double(p.finished - *first) * sectorBytes / secs : 0;
    const double left = rate > 0 ? double(p.total - p.finished) * sectorBytes / rate : 0;
    char line[160];
    std::snprintf(line, sizeof line, "\r%-8s sector %-8lld %5.1f%%  %7.2f MB/s  errors %llu sectors  left %s   ",
                  PassName(p.pass), static_cast<long long>(p.lba), p.total ? 100.0 * p.finished / p.total : 100.0,
                  rate / 1e6, static_cast<unsigned long long>(p.failed), rate > 0 ? Duration(left).c_str() : "-");
    ctx.err << line << std::flush;
  };
}

// The cue sheet and CD-TEXT file beside the .bin, written before any sector
// so that even a run stopped at once leaves an image that opens.
bool WriteSheet(Context& ctx, const MediumLayout& m, const std::vector<ImageSpan>& spans, const fs::path& cue,
                const fs::path& bin) {
  std::string reason, sheet;
  fs::path cdt;
  if (!m.cdTextPacks.empty()) cdt = fs::path(cue).replace_extension(".cdt");
  if (BuildCueSheet(m, spans, bin.filename().string(), cdt.empty() ? "" : cdt.filename().string(), sheet) !=
      CueBuild::Ok) {
    ctx.Fail("the sessions of this medium lie closer together than a cue sheet can say");
    return false;
  }
  const std::string packs(m.cdTextPacks.begin(), m.cdTextPacks.end());
  if ((!cdt.empty() && !ReplaceFileAtomically(cdt.string(), packs, reason)) ||
      !ReplaceFileAtomically(cue.string(), sheet, reason)) {
    ctx.Fail(reason);
    return false;
  }
  return true;
}

int Summary(Context& ctx, ImagerOutcome outcome, const RescueMap& map, const std::string& image,
            const std::string& mapPath, const std::string& error, const std::vector<OwnerRow>& owners) {
  const std::uint64_t b = map.SectorBytes();
  const std::uint64_t good = map.Count(SectorState::Finished), untried = map.Count(SectorState::NonTried);
  Report r;
  r.Field("image", Value(image));
  r.Field("mapfile", Value(mapPath));
  r.Field("sectors", Value(map.Sectors()));
  r.Field("good bytes", Value(good * b));
  r.Field("bad bytes", Value((map.Sectors() - good - untried) * b));
  r.Field("untried bytes", Value(untried * b));
  if (!owners.empty()) AddOwnerTable(r, owners);
  ctx.Print(r);
  switch (outcome) {
    case ImagerOutcome::Complete: return kExitOk;
    case ImagerOutcome::Stopped: return ctx.Fail("stopped; the same command with --resume goes on where it was");
    case ImagerOutcome::Failed: return ctx.Fail(error);
    default:
      return ctx.Fail(std::to_string(map.Sectors() - good) +
                      " sectors could not be read; --resume tries them again (the map lists them)");
  }
}

int RunImage(Context& ctx, CDevCmdROM*, const std::vector<std::string>& args) {
  ImageArgs a;
  if (!ParseArgs(ctx, args, a)) return kExitUsage;
  std::string error;
  CDevCmdROM* dev = ctx.OpenSource(a.source, error);
  if (!dev) return ctx.Fail(error);
  MediumLayout medium;
  switch (ReadMediumLayout(*dev, medium)) {
    case MediumRead::Ok: break;
    case MediumRead::Empty: return ctx.Fail("the medium holds no tracks");
    default: return ctx.Fail("the medium's table of contents cannot be read");
  }
  const std::vector<ImageSpan> spans = SpansFor(medium, a.raw, error);
  if (spans.empty()) return ctx.Fail(error);
  const fs::path image = a.raw ? fs::path(a.out).replace_extension(".bin") : fs::path(a.out);
  const std::string mapPath = image.string() + ".map";
  std::error_code ec;
  if (!a.resume && fs::exists(mapPath, ec))
    return ctx.Fail(mapPath + " exists: add --resume to go on with that rescue, or remove it");
  if (a.resume && !fs::exists(image, ec)) return ctx.Fail(image.string() + " is not there to resume");
  const std::uint32_t sectorBytes = SectorBytesOf(a.raw ? ImageForm::Raw : ImageForm::UserData);
  const std::vector<std::string> notes = {"tessal medium: " + medium.Fingerprint(),
                                          "tessal image: " + std::string(a.raw ? "cue" : "iso") + " " +
                                              std::to_string(sectorBytes) + " bytes a sector"};
  DiscImager imager(*dev, a.raw ? ImageForm::Raw : ImageForm::UserData, spans);
  RescueMap map;
  std::string detail;
  switch (PrepareMap(mapPath, a.resume, imager.Sectors(), sectorBytes, notes, map, detail)) {
    case MapOpen::Missing: return ctx.Fail(mapPath + " cannot be read");
    case MapOpen::Unreadable: return ctx.Fail(mapPath + " is not a ddrescue mapfile");
    case MapOpen::OtherMedium:
      return ctx.Fail(mapPath + " was made from another medium (" + detail + "); this one is " + medium.Fingerprint());
    case MapOpen::OtherForm: return ctx.Fail(mapPath + " belongs to an image of another form (" + detail + ")");
    default: break;
  }
  if (!a.resume) fs::remove(image, ec);  // a fresh rescue starts from zeros, not from an old file's bytes
  if (a.raw && !WriteSheet(ctx, medium, spans, a.out, image)) return kExitFailed;
  ImagerOptions options;
  options.retries = a.retries;
  if (dev->GetDeviceID() == 0) options.runBytes = kImageRunBytes;  // an image file, not a drive
  if (const char* d = std::getenv(kReadDelayVariable)) options.readDelay = std::chrono::milliseconds(std::atoi(d));
  const bool tty = &ctx.err == &std::cerr && ::isatty(STDERR_FILENO);
  g_stop.store(false);
  ImagerOutcome outcome;
  {
    StopSignals signals;
    outcome = imager.Run(image.string(), mapPath, map, options, g_stop, ProgressLine(ctx, sectorBytes, tty), error);
  }
  if (tty) ctx.err << "\r" << std::string(100, ' ') << "\r" << std::flush;
  // What the holes hit, read from the medium's file system (a hole in it
  // stays unknown): only sectors tried and failed, never those left untried.
  const std::vector<OwnerRow> owners =
      outcome == ImagerOutcome::Failed ? std::vector<OwnerRow>{} : FindSectorOwners(*dev, UnreadLbas(map, spans));
  return Summary(ctx, outcome, map, image.string(), mapPath, error, owners);
}

const CommandRegistration registration(
    {"image", "SOURCE OUT [--retries N] [--resume]", "rescue the whole medium into an image with a ddrescue mapfile",
     "OUT.iso holds 2048-byte user data (one data track, a DVD or a BD); OUT.cue\n"
     "names OUT.bin, raw 2352-byte sectors of every track of every session, and\n"
     "OUT.cdt when the disc has CD-TEXT. Beside the image, OUT.iso.map or\n"
     "OUT.bin.map is a GNU ddrescue mapfile of what was read. The readable bulk\n"
     "comes first, then the edges of the failed areas sector by sector, then N\n"
     "retries of each sector still bad (default 2). Ctrl-C stops after the\n"
     "current read and saves the map; --resume reads only what the map says is\n"
     "missing, and refuses a map made from another medium. Open the image (its\n"
     "map beside it) to read it with its holes reported as unreadable sectors:\n"
     "verify OUT checks the sectors read and lists the holes, scan OUT lists the\n"
     "holes, and extract OUT names each file that a hole damages. When sectors\n"
     "could not be read, the summary ends with the table scan --files prints:\n"
     "what owns them (a file, a folder, a file-system structure, free space).\n"
     "Exit status 0 when every sector was read, 1 when some are missing.\n",
     false, RunImage, "--retries --resume"});

}  // namespace
}  // namespace cli
