// Track rows from the full TOC, or from disc and track information.
#include "views/CDlgTOCRows.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/DiscModel.h"
#include "disc/MmcRecords.h"

const TocColumn kTocColumns[5] = {
    {"Session Index", 150}, {"Track Index", 90}, {"Track Type", 150}, {"Start Pos", 90}, {"End pos", 90},
};

namespace {

constexpr int kTocBufferSize = 2048;

std::string Dec(std::int64_t v) { return std::to_string(v); }

// Where the position after the track begins: the next track of the same
// session, the first track of the next session for a session's last track,
// the lead-out for the disc's last track. Null when the TOC does not say.
bool NextStart(const SessionInfo& sessions, int index, int track, std::int64_t& next) {
  const TocData& sess = sessions[index];
  const int count = sessions.GetSessionNum();
  if (track == sess.GetLastTrackNo()) {
    if (index == count - 1) {
      const std::optional<std::int32_t> lead = sess.FindLeadOutStartPos();
      if (!lead) return false;
      next = *lead;
      return true;
    }
    if (const TocData::_Data* d = sessions[index + 1].GetTrackData(track + 1)) {
      next = d->GetStartPos();
      return true;
    }
  } else if (const TocData::_Data* d = sess.GetTrackData(track + 1)) {
    next = d->GetStartPos();
    return true;
  }
  // A track whose successor is missing from the TOC still ends where its
  // session's lead-out starts.
  const std::optional<std::int32_t> lead = sess.FindLeadOutStartPos();
  if (!lead) return false;
  next = *lead;
  return true;
}

}  // namespace

void BuildFullTocRows(const unsigned char* toc, int length, const std::function<int(int)>& dataMode,
                      std::vector<TocRow>& rows) {
  if (!toc || length < static_cast<int>(mmc::kTocHeaderSize)) return;
  // The descriptors run for the TOC data length less the two session bytes;
  // a length that claims more than was received is held to what was.
  const std::size_t run = mmc::TocDescriptorBytes(toc, static_cast<std::size_t>(length));
  SessionInfo sessions(toc + mmc::kTocHeaderSize, static_cast<int>(run));
  for (int i = 0; i < sessions.GetSessionNum(); ++i) {
    const TocData& sess = sessions[i];
    const int first = sess.GetFirstTrackNo(), last = sess.GetLastTrackNo();
    for (int t = first; t <= last; ++t) {
      const TocData::_Data* d = sess.GetTrackData(t);
      if (!d) continue;
      TocRow row;
      row.fromFullToc = true;
      row.trackNo = t;
      row.session = "Session " + Dec(i + 1);
      row.track = Dec(t);
      row.data = d->is_data_track();
      if (row.data) {
        row.type = "DATA";
        const int mode = dataMode ? dataMode(t) : -1;
        if (mode == 1) row.type += "(Mode1)";
        if (mode == 2) row.type += "(Mode2)";
      } else {
        row.type = "AUDIO";
      }
      row.startLba = d->GetStartPos();
      row.start = Dec(row.startLba);
      std::int64_t next = 0;
      if (NextStart(sessions, i, t, next)) {
        row.end = Dec(next - 1);
        row.hasRange = next > row.startLba && next != kNoPosition;
        row.copyStart = row.startLba;
        row.copyEnd = next;
        // The column shows the next session's first track, but between it and
        // this track lie the session's lead-out and the next lead-in, which
        // are no part of the track: a save stops at the session's own lead-out.
        const std::optional<std::int32_t> leadOut = sess.FindLeadOutStartPos();
        if (t == last && i + 1 < sessions.GetSessionNum() && leadOut && *leadOut > row.startLba && *leadOut < next)
          row.copyEnd = *leadOut;
      }
      rows.push_back(std::move(row));
    }
  }
}

TocListResult BuildTocRows(CDevCmdROM* device, std::vector<TocRow>& rows) {
  rows.clear();
  if (!device) return TocListResult::NoDevice;
  if (device->TestUnitReady() != 0) return TocListResult::NotReady;

  unsigned char toc[kTocBufferSize];
  std::memset(toc, 0, sizeof toc);
  if (device->ReadToc(toc, kTocBufferSize, 2, 0) == 0) {
    BuildFullTocRows(toc, kTocBufferSize,
                     [device](int t) {
                       TRACK_INFO ti;
                       std::memset(&ti, 0, sizeof ti);
                       if (device->ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, t) != 0) return -1;
                       return mmc::TrackInfoFields(ti).DataMode();
                     },
                     rows);
    return TocListResult::FullToc;
  }

  DISC_INFO di;
  std::memset(&di, 0, sizeof di);
  if (device->ReadDiscInfo(di) != 0) return TocListResult::NoDiscInfo;
  const mmc::DiscInfoFields info(di);
  for (int t = info.FirstTrack(); t <= info.LastTrackInLastSession(); ++t) {
    TRACK_INFO ti;
    std::memset(&ti, 0, sizeof ti);
    if (device->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const mmc::TrackInfoFields track(ti);
    const std::uint32_t start = track.Start(), size = track.Size();
    TocRow row;
    row.trackNo = t;
    row.session = Dec(track.SessionNumber());
    row.track = Dec(t);
    row.type = "DATA";
    row.data = true;
    row.startLba = start;
    row.start = Dec(start);
    // Track Start Address + Track Size, as the drive gives them (32 bits).
    const std::uint32_t after = start + size;
    row.end = Dec(after);
    row.hasRange = size > 0;
    row.copyStart = start;
    row.copyEnd = static_cast<std::int64_t>(start) + size;
    rows.push_back(std::move(row));
  }
  return TocListResult::Fallback;
}
