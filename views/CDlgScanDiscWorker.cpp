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
  int shown = 0;
  if (hooks.progress) hooks.progress(0);

  // One buffer for the largest run, reused; what is read is never looked at.
  std::vector<unsigned char> buffer(static_cast<std::size_t>(kRunSectors) * kRawSector, 0);
  for (int t = first; t <= last; ++t) {
    if (Stopping()) return ScanOutcome::Stopped;
    std::memset(&ti, 0, sizeof ti);
    if (m_Device.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const mmc::TrackInfoFields track(ti);
    const std::uint32_t start = track.Start(), size = track.Size();
    if (size == 0) continue;
    const bool audio = track.TrackMode() < 4;  // CONTROL 0-3: two-channel audio
    // 64-bit so that a track reported near the top of the address space
    // cannot wrap its end below its start.
    const std::uint64_t end = static_cast<std::uint64_t>(start) + size;
    std::uint64_t cursor = start;
    while (cursor < end) {
      if (Stopping()) return ScanOutcome::Stopped;
      const int n = static_cast<int>(std::min<std::uint64_t>(kRunSectors, end - cursor));
      if (ReadRun(audio, buffer.data(), n, static_cast<std::uint32_t>(cursor)) != 0) {
        for (int i = 0; i < n; ++i) {
          if (Stopping()) return ScanOutcome::Stopped;
          const auto s = static_cast<std::uint32_t>(cursor + i);
          if (ReadRun(audio, buffer.data(), 1, s) != 0 && !ReadsRaw(audio, buffer.data(), s) &&
              hooks.badSector)
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
  }
  return ScanOutcome::Completed;
}
