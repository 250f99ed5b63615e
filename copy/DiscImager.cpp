#include "copy/DiscImager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "disc/DevCmdROM.h"

namespace imaging {

namespace {

constexpr std::size_t kWriteBytes = 1 << 20;      // consecutive runs written to the image at once
constexpr off_t kWritebackBytes = 8 << 20;         // written bytes the disk is set to work on at once
constexpr std::size_t kMaxRunBytes = 16u << 20;    // a bound on what a caller may ask for one read
constexpr std::uint64_t kFirstSkip = 64;           // sectors skipped after the first failure of a series
constexpr std::uint64_t kMaxSkipShare = 64;        // the skip grows to at most 1/64 of the medium
constexpr auto kProgressEvery = std::chrono::milliseconds(200);
constexpr std::uint8_t kSenseNotReady = 0x02;
constexpr std::uint8_t kAscNoMedium = 0x3A;

using Clock = std::chrono::steady_clock;

}  // namespace

DiscImager::DiscImager(CDevCmdROM& dev, ImageForm form, std::vector<ImageSpan> spans)
    : m_dev(dev), m_form(form), m_spans(std::move(spans)) {
  for (const ImageSpan& s : m_spans) {
    m_spanFirst.push_back(m_total);
    m_total += s.count;
  }
}

std::int64_t DiscImager::LbaOf(std::uint64_t sector) const {
  const auto it = std::upper_bound(m_spanFirst.begin(), m_spanFirst.end(), sector);
  const std::size_t i = static_cast<std::size_t>(it - m_spanFirst.begin()) - 1;
  return m_spans[i].firstLba + static_cast<std::int64_t>(sector - m_spanFirst[i]);
}

std::uint64_t DiscImager::SpanLeft(std::uint64_t sector) const {
  const auto it = std::upper_bound(m_spanFirst.begin(), m_spanFirst.end(), sector);
  const std::size_t i = static_cast<std::size_t>(it - m_spanFirst.begin()) - 1;
  return m_spanFirst[i] + m_spans[i].count - sector;
}

bool DiscImager::ReadRun(std::uint64_t sector, std::uint32_t count, unsigned char* buffer) {
  const auto lba = static_cast<std::uint32_t>(LbaOf(sector));
  const int bytes = static_cast<int>(count * SectorBytesOf(m_form));
  const int rc = m_form == ImageForm::Raw ? m_dev.ReadCD_All(buffer, bytes, static_cast<int>(count), lba)
                                          : m_dev.ReadCD_10(buffer, bytes, static_cast<int>(count), lba);
  if (rc != 0) {
    const SenseData_tag s = m_dev.GetSenseData();
    // An empty tray is no bad sector: the run ends and the map stays as it was.
    if (s.key == kSenseNotReady && s.asc == kAscNoMedium) m_mediumGone = true;
  }
  return rc == 0;
}

// One run of the imager: the open image, the map and when it was last saved.
struct DiscImager::Session {
  DiscImager& im;
  RescueMap& map;
  const ImagerOptions& opt;
  const std::atomic<bool>& stop;
  const std::function<void(const ImagerProgress&)>& progress;
  std::string& error;
  std::string mapPath;
  int fd = -1;
  Clock::time_point lastSave = Clock::now(), lastProgress{};
  std::vector<unsigned char> pending =
      std::vector<unsigned char>(std::max(kWriteBytes, std::min(opt.runBytes, kMaxRunBytes)));
  std::uint64_t pendingFirst = 0;
  std::size_t pendingBytes = 0;
  // Written, and not yet handed to the disk: [unsentFirst, unsentEnd).
  off_t unsentFirst = 0, unsentEnd = 0;
  bool claimed = false;  // the map holds sectors read since the image was last synced
  bool failed = false;

  bool Halted() const { return failed || im.m_mediumGone || stop.load(); }

  bool Save() {
    // The image's bytes reach the disk before the map that claims them.
    if (!Flush()) return false;
    if (claimed && ::fdatasync(fd) != 0) {
      error = std::string("cannot flush the image: ") + std::strerror(errno);
      failed = true;
      return false;
    }
    std::string reason;
    if (!ReplaceFileAtomically(mapPath, map.Text(), reason)) {
      error = reason;
      failed = true;
      return false;
    }
    claimed = false;
    lastSave = Clock::now();
    return true;
  }

  // Sets the disk writing what was written so far while reading goes on, so
  // that the next sync waits only for the last pieces (the sync alone makes
  // them durable; this only starts the work early).
  void StartWriteback(off_t at, std::size_t bytes) {
    if (unsentEnd != at) {
      if (unsentEnd > unsentFirst) ::sync_file_range(fd, unsentFirst, unsentEnd - unsentFirst, SYNC_FILE_RANGE_WRITE);
      unsentFirst = at;
    }
    unsentEnd = at + static_cast<off_t>(bytes);
    if (unsentEnd - unsentFirst >= kWritebackBytes) {
      ::sync_file_range(fd, unsentFirst, unsentEnd - unsentFirst, SYNC_FILE_RANGE_WRITE);
      unsentFirst = unsentEnd;
    }
  }

  void Report(std::uint64_t sector, bool force = false) {
    const auto now = Clock::now();
    if (now - lastSave >= opt.mapInterval) Save();
    if (!progress || (!force && now - lastProgress < kProgressEvery)) return;
    lastProgress = now;
    ImagerProgress p;
    p.pass = map.pass;
    p.lba = sector < im.m_total ? im.LbaOf(sector) : 0;
    p.finished = map.Count(SectorState::Finished);
    p.failed = im.m_total - p.finished - map.Count(SectorState::NonTried);
    p.total = im.m_total;
    progress(p);
  }

  // Sectors read and not yet written: consecutive runs gather here so that
  // the image is written in large pieces.
  bool Flush() {
    const auto at = static_cast<off_t>(pendingFirst * map.SectorBytes());
    std::size_t done = 0;
    while (done < pendingBytes) {
      const ssize_t n = ::pwrite(fd, pending.data() + done, pendingBytes - done, at + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = std::string("cannot write the image: ") + (n < 0 ? std::strerror(errno) : "disk full");
        failed = true;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    if (pendingBytes) StartWriteback(at, pendingBytes);
    pendingBytes = 0;
    return true;
  }

  // Reads count sectors from sector into the image; true when they came.
  bool Copy(std::uint64_t sector, std::uint32_t count) {
    if (opt.readDelay.count() > 0) std::this_thread::sleep_for(opt.readDelay);
    map.currentPos = sector * map.SectorBytes();
    const std::size_t bytes = std::size_t{count} * map.SectorBytes();
    const bool follows = pendingFirst * map.SectorBytes() + pendingBytes == map.currentPos;
    if (pendingBytes && (!follows || pendingBytes + bytes > pending.size()) && !Flush()) return false;
    if (!pendingBytes) pendingFirst = sector;
    if (!im.ReadRun(sector, count, pending.data() + pendingBytes)) return false;
    pendingBytes += bytes;
    map.Set(sector, count, SectorState::Finished);
    claimed = true;
    return true;
  }

  void CopyPass(bool skipping);
  void TrimPass();
  void SectorPass(SectorState from, SectorState onFailure);
};

// Runs of non-tried sectors; a failed run becomes non-trimmed. With skipping,
// a failure jumps ahead by a growing skip that the next good read resets.
void DiscImager::Session::CopyPass(bool skipping) {
  const std::uint64_t runMax = std::max<std::uint64_t>(1, std::min(opt.runBytes, kMaxRunBytes) / map.SectorBytes());
  const std::uint64_t maxSkip = std::max(kFirstSkip, im.m_total / kMaxSkipShare);
  std::uint64_t skip = 0;
  for (std::uint64_t s = map.Next(0, SectorState::NonTried); s < im.m_total && !Halted();
       s = map.Next(s, SectorState::NonTried)) {
    std::uint64_t n = std::min(runMax, im.SpanLeft(s));
    for (std::uint64_t k = 1; k < n; ++k)
      if (map.At(s + k) != SectorState::NonTried) n = k;
    if (Copy(s, static_cast<std::uint32_t>(n))) {
      skip = 0;
      s += n;
    } else if (!Halted()) {
      map.Set(s, n, SectorState::NonTrimmed);
      s += n;
      if (skipping) {
        skip = skip ? std::min(skip * 2, maxSkip) : kFirstSkip;
        s += skip;
      }
    }
    Report(s);
  }
}

// Each non-trimmed area from both ends, sector by sector, up to the first
// failure at each end; what lies between is left for scraping.
void DiscImager::Session::TrimPass() {
  for (std::uint64_t a = map.Next(0, SectorState::NonTrimmed); a < im.m_total && !Halted();
       a = map.Next(a, SectorState::NonTrimmed)) {
    std::uint64_t b = a;
    while (b < im.m_total && map.At(b) == SectorState::NonTrimmed) ++b;
    while (a < b && !Halted() && Copy(a, 1)) Report(++a);
    if (a < b && !Halted()) map.Set(a++, 1, SectorState::Bad);
    while (b > a && !Halted() && Copy(b - 1, 1)) Report(--b);
    if (b > a && !Halted()) map.Set(--b, 1, SectorState::Bad);
    if (Halted()) return;
    map.Set(a, b - a, SectorState::NonScraped);
    Report(b, true);
    a = b;
  }
}

void DiscImager::Session::SectorPass(SectorState from, SectorState onFailure) {
  for (std::uint64_t s = map.Next(0, from); s < im.m_total && !Halted(); s = map.Next(s + 1, from)) {
    if (!Copy(s, 1) && !Halted()) map.Set(s, 1, onFailure);
    Report(s);
  }
}

ImagerOutcome DiscImager::Run(const std::string& imagePath, const std::string& mapPath, RescueMap& map,
                              const ImagerOptions& options, const std::atomic<bool>& stop,
                              const std::function<void(const ImagerProgress&)>& progress, std::string& error) {
  Session s{*this, map, options, stop, progress, error, mapPath};
  s.fd = ::open(imagePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (s.fd < 0) {
    error = "cannot open " + imagePath + ": " + std::strerror(errno);
    return ImagerOutcome::Failed;
  }
  // The image has its full size from the start; what is not read yet is a hole of zeros.
  const off_t size = static_cast<off_t>(m_total * map.SectorBytes());
  struct stat st {};
  if (::fstat(s.fd, &st) != 0 || (st.st_size != size && ::ftruncate(s.fd, size) != 0)) {
    error = "cannot size " + imagePath + ": " + std::strerror(errno);
    ::close(s.fd);
    return ImagerOutcome::Failed;
  }
  m_mediumGone = false;
  // A map on disk from the first moment: a run killed at once still resumes.
  if (!s.Save()) {
    ::close(s.fd);
    return ImagerOutcome::Failed;
  }
  struct Pass {
    PassState state;
    std::function<void()> run;
  };
  std::vector<Pass> passes = {
      {PassState::Copying, [&] { s.CopyPass(true); }},
      {PassState::Copying, [&] { s.CopyPass(false); }},
      {PassState::Trimming, [&] { s.TrimPass(); }},
      {PassState::Scraping, [&] { s.SectorPass(SectorState::NonScraped, SectorState::Bad); }},
  };
  for (int r = 0; r < options.retries; ++r)
    passes.push_back({PassState::Retrying, [&] { s.SectorPass(SectorState::Bad, SectorState::Bad); }});
  int number = 0;
  for (const Pass& p : passes) {
    if (s.Halted()) break;
    number = p.state == map.pass ? number + 1 : 1;
    map.pass = p.state;
    map.passNumber = number;
    p.run();
    s.Report(map.currentPos / map.SectorBytes(), true);
  }
  if (!s.Halted()) {
    map.pass = PassState::Finished;
    map.currentPos = 0;
  }
  const bool halted = s.Halted();
  if (!s.failed) s.Save();
  ::close(s.fd);
  if (s.failed) return ImagerOutcome::Failed;
  if (m_mediumGone) {
    error = "the medium is gone from the drive";
    return ImagerOutcome::Failed;
  }
  if (halted) return ImagerOutcome::Stopped;
  return map.Complete() ? ImagerOutcome::Complete : ImagerOutcome::Incomplete;
}

MapOpen PrepareMap(const std::string& mapPath, bool resume, std::uint64_t sectors, std::uint32_t sectorBytes,
                   const std::vector<std::string>& notes, RescueMap& map, std::string& detail) {
  if (!resume) {
    map = RescueMap(sectors, sectorBytes);
    map.notes = notes;
    return MapOpen::Fresh;
  }
  std::ifstream in(mapPath, std::ios::binary);
  if (!in) return MapOpen::Missing;
  std::ostringstream text;
  text << in.rdbuf();
  if (map.Parse(text.str(), sectors, sectorBytes) != MapParse::Ok) return MapOpen::Unreadable;
  // The notes say which medium and which form the map was made for.
  for (const std::string& want : notes) {
    const std::string key = want.substr(0, want.find(':') + 1);
    const auto had = std::find_if(map.notes.begin(), map.notes.end(),
                                  [&](const std::string& n) { return n.rfind(key, 0) == 0; });
    if (had == map.notes.end() || *had != want) {
      detail = had == map.notes.end() ? "none" : had->substr(key.size());
      return key.find("medium") != std::string::npos ? MapOpen::OtherMedium : MapOpen::OtherForm;
    }
  }
  map.notes = notes;
  return MapOpen::Resumed;
}

}  // namespace imaging
