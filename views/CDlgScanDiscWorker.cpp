// The disc scan's reading loop.
#include "views/CDlgScanDiscWorker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"
#include "disc/SectorLayout.h"

namespace {
constexpr int kTocBufferSize = 2048;
constexpr int kRawSector = static_cast<int>(disc::kRawSectorSize);
constexpr int kUserSector = static_cast<int>(disc::kUserDataSize);
}  // namespace

int ScanPercent(std::uint64_t cursor, std::uint32_t discEnd) {
  if (discEnd == 0) return -1;
  return static_cast<int>(std::min<std::uint64_t>(100, cursor * 100 / discEnd));
}

int DiscScanner::ReadRun(bool audio, unsigned char* buffer, int count, std::uint32_t lba) {
  ++m_nCommands;
  m_nSectors += static_cast<unsigned>(count);
  return audio ? m_Device.ReadCD_All(buffer, count * kRawSector, count, lba)
               : m_Device.ReadCD_10(buffer, count * kUserSector, count, lba);
}

// A Mode 2 Form 2 sector (a Video CD's stream, an XA disc's audio) has no
// 2048-byte user data, so a drive refuses it with "illegal mode for this
// track" although the sector reads well. Such a sector is read again whole
// before it is listed; the raw read's sense is the one shown if it fails too.
bool DiscScanner::ReadsRaw(bool audio, unsigned char* buffer, std::uint32_t lba) {
  if (audio) return false;
  const SenseData_tag sense = m_Device.GetSenseData();
  if (sense.key != 0x05 || sense.asc != 0x64 || sense.ascq != 0x00) return false;
  ++m_nCommands;
  ++m_nSectors;
  return m_Device.ReadCD_All(buffer, kRawSector, 1, lba) == 0;
}

// Reads [from, to) in runs, then each sector of a failed run alone; false
// when a stop was asked for. 64-bit bounds, so that a track reported near the
// top of the address space cannot wrap its end below its start.
bool DiscScanner::ScanRange(const ScanHooks& hooks, bool audio, unsigned char* buffer, std::uint64_t from,
                            std::uint64_t to, int& shown) {
  for (std::uint64_t cursor = from; cursor < to;) {
    if (Stopping()) return false;
    const int n = static_cast<int>(std::min<std::uint64_t>(kRunSectors, to - cursor));
    if (ReadRun(audio, buffer, n, static_cast<std::uint32_t>(cursor)) != 0) {
      for (int i = 0; i < n; ++i) {
        if (Stopping()) return false;
        const auto s = static_cast<std::uint32_t>(cursor + i);
        if (ReadRun(audio, buffer, 1, s) != 0 && !ReadsRaw(audio, buffer, s) && hooks.badSector)
          hooks.badSector(s, m_Device.GetSenseData());
      }
    }
    cursor += static_cast<unsigned>(n);
    const int pct = ScanPercent(cursor, m_nDiscEnd);
    if (pct >= 0 && pct != shown) {
      shown = pct;
      if (hooks.progress) hooks.progress(pct);
    }
  }
  return true;
}

ScanOutcome DiscScanner::Run(const ScanHooks& hooks) {
  m_nSectors = m_nCommands = 0;
  m_nDiscEnd = 0;

  // The range of tracks: disc information, or the formatted TOC's header.
  int first = 0, last = 0;
  DISC_INFO di;
  std::memset(&di, 0, sizeof di);
  if (m_Device.ReadDiscInfo(di) == 0) {
    const mmc::DiscInfoFields info(di);
    if (info.IsEmpty()) return ScanOutcome::NoDisc;
    first = info.FirstTrack();
    last = info.LastTrackInLastSession();
  } else {
    std::vector<unsigned char> toc(kTocBufferSize, 0);
    if (m_Device.ReadToc(toc.data(), kTocBufferSize, 0, 0) != 0) return ScanOutcome::NoTracks;
    first = mmc::TocFirst(toc.data());
    last = mmc::TocLast(toc.data());
  }

  TRACK_INFO ti;
  std::memset(&ti, 0, sizeof ti);
  if (m_Device.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, last) != 0) return ScanOutcome::NoLastTrack;
  m_nDiscEnd = mmc::TrackInfoFields(ti).Start() + mmc::TrackInfoFields(ti).Size();

  if (hooks.begin) hooks.begin();
  if (hooks.progress) hooks.progress(0);

  // One buffer for the largest run, reused; what is read is never looked at.
  std::vector<unsigned char> buffer(static_cast<std::size_t>(kRunSectors) * kRawSector, 0);
  int shown = 0;
  int lastSession = 0;
  std::uint64_t lastEnd = 0;
  for (int t = first; t <= last; ++t) {
    if (Stopping()) return ScanOutcome::Stopped;
    std::memset(&ti, 0, sizeof ti);
    if (m_Device.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const mmc::TrackInfoFields track(ti);
    if (track.Size() == 0) continue;
    // A track's pregap lies between the track before it in the session and
    // its own start, in neither's range; its sectors are read raw, which
    // serves audio and data alike.
    if (track.SessionNumber() == lastSession && lastEnd < track.Start() &&
        !ScanRange(hooks, true, buffer.data(), lastEnd, track.Start(), shown))
      return ScanOutcome::Stopped;
    const bool audio = track.TrackMode() < 4;  // CONTROL 0-3: two-channel audio
    if (!ScanRange(hooks, audio, buffer.data(), track.Start(), track.End(), shown)) return ScanOutcome::Stopped;
    lastSession = track.SessionNumber();
    lastEnd = track.End();
  }
  return ScanOutcome::Completed;
}
