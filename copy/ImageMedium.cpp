#include "copy/ImageMedium.h"

#include <algorithm>
#include <cstdio>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"
#include "disc/SectorLayout.h"

namespace imaging {

namespace {

constexpr int kFullTocBytes = 4 + 11 * (99 + 3 * 99);  // every track and every session's A0-A2
constexpr int kCdTextBytes = 4 + 8 * 256 * 18;         // eight blocks of at most 256 packs
constexpr int kMaxPregapSectors = 4500;                // a minute of pregap is already far beyond any pressed disc
constexpr int kQChunk = 16;                            // sectors of Q asked per command
constexpr int kMostUnreadQ = 64;                       // unreadable frames in a row the pregap search reads
constexpr std::uint8_t kMediumError = 0x03;            // sense key

int FromBcd(std::uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

std::string TrackIsrc(CDevCmdROM& dev, int track) {
  std::string isrc;
  dev.GetTrackIsrc(track, isrc);
  return isrc;
}

// The data mode a data track's first sector carries in its header; the track
// information's data mode when the sector cannot be read raw.
TrackKind DataKind(CDevCmdROM& dev, std::int32_t start, int number) {
  std::uint8_t raw[disc::kRawSectorSize] = {};
  int dataMode = 1;
  TRACK_INFO ti{};
  if (dev.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, number) == 0 && mmc::TrackInfoFields(ti).DataMode() == 2)
    dataMode = 2;
  if (dev.ReadCD_All(raw, sizeof raw, 1, static_cast<std::uint32_t>(start)) == 0)
    dataMode = disc::ClassifySector(raw, dataMode).mode;
  return dataMode == 2 ? TrackKind::Mode2 : TrackKind::Mode1;
}

enum class QFrame { Pregap, Other, Unreadable, Refused };

// Q of frames [from, from + n) of track `number`: one command for them all,
// then one a frame where a medium error fails it, so that an unreadable frame
// costs only itself. Any other failure (a drive that gives no Q) refuses all.
void ReadQFrames(CDevCmdROM& dev, int number, std::int32_t from, int n, QFrame* out) {
  std::uint8_t q[kQChunk * 16];
  auto kind = [number](const std::uint8_t* f) {
    return (f[0] & 0x0F) == 1 && FromBcd(f[1]) == number && f[2] == 0 ? QFrame::Pregap : QFrame::Other;
  };
  const bool ok = dev.ReadCD_SubQ(q, sizeof q, n, static_cast<std::uint32_t>(from)) == 0;
  const bool medium = !ok && dev.GetSenseData().key == kMediumError;
  for (int i = 0; i < n; ++i) {
    if (ok) out[i] = kind(q + i * 16);
    else if (!medium) out[i] = QFrame::Refused;
    else if (dev.ReadCD_SubQ(q, 16, 1, static_cast<std::uint32_t>(from + i)) == 0) out[i] = kind(q);
    else out[i] = dev.GetSenseData().key == kMediumError ? QFrame::Unreadable : QFrame::Refused;
  }
}

struct PregapSearch {
  std::int32_t start;          // the lowest frame known to be index 00
  std::int32_t undecidedFrom;  // the first of the unreadable frames below it that nothing places
};

// Where index 00 of a track begins: walking back from its start over frames
// whose Q says "this track, index 00". An unreadable frame is stepped over:
// with an index 00 frame below it, it lies in the pregap, as indexes only
// rise within a track. Those below the lowest index 00 frame may belong to
// either track. Past kMostUnreadQ of them in a row the search gives up, and
// everything down to where a pregap could begin is undecided. A drive that
// gives no Q leaves the track without a pregap, which keeps every address
// right anyway.
PregapSearch FindPregap(CDevCmdROM& dev, const MediumTrack& t, std::int32_t floor) {
  const std::int32_t lowest = std::max(floor, t.start - kMaxPregapSectors);
  PregapSearch found{t.start, t.start};
  int unread = 0;
  QFrame q[kQChunk];
  for (std::int32_t at = t.start; at > lowest;) {
    const int n = static_cast<int>(std::min<std::int32_t>(kQChunk, at - lowest));
    at -= n;
    ReadQFrames(dev, t.number, at, n, q);
    for (int i = n - 1; i >= 0; --i) {
      if (q[i] == QFrame::Pregap) {
        found.start = at + i;
        unread = 0;
      } else if (q[i] != QFrame::Unreadable) {
        found.undecidedFrom = at + i + 1;  // the track before, or a drive without Q
        return found;
      } else if (++unread > kMostUnreadQ) {
        found.undecidedFrom = lowest;
        return found;
      }
    }
  }
  found.undecidedFrom = unread ? lowest : found.start;
  return found;
}

// The pregap of track t, which follows `before` in its session, and the
// undecided sectors below it. Where the drive's track information ends the
// track before short of t's start, nothing below that end is undecided.
void PlacePregap(CDevCmdROM& dev, const MediumTrack& before, MediumTrack& t) {
  const PregapSearch found = FindPregap(dev, t, before.start + 1);
  t.pregapStart = found.start;
  std::int32_t from = found.undecidedFrom;
  TRACK_INFO ti{};
  if (from < found.start && dev.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, before.number) == 0) {
    const std::uint64_t end = mmc::TrackInfoFields(ti).End();
    if (end > static_cast<std::uint64_t>(from) && end < static_cast<std::uint64_t>(t.start))
      from = static_cast<std::int32_t>(std::min<std::uint64_t>(end, static_cast<std::uint64_t>(found.start)));
  }
  t.undecided = found.start - from;
}

MediumRead ReadCdLayout(CDevCmdROM& dev, MediumLayout& out) {
  std::vector<std::uint8_t> toc(kFullTocBytes, 0);
  if (dev.ReadToc(toc.data(), static_cast<int>(toc.size()), 2) != 0) return MediumRead::NoToc;
  const int length = std::min<int>(GetBE16(toc.data()) + 2, static_cast<int>(toc.size())) - 4;
  const SessionInfo sessions(toc.data() + 4, std::max(0, length));
  for (int s = 0; s < sessions.GetSessionNum(); ++s) {
    const TocData& sess = sessions[s];
    const auto leadOut = sess.FindLeadOutStartPos();
    if (!leadOut) return MediumRead::NoToc;
    out.sessions.push_back({sess.GetSessNo(), *leadOut, static_cast<std::uint8_t>(sess.GetDiscType())});
    for (int i = 0; i < sess.size(); ++i) {
      const int point = sess[i].GetTrackIndex();
      if (point < 1 || point > 99) continue;
      MediumTrack t;
      t.number = point;
      t.session = sess.GetSessNo();
      t.control = static_cast<std::uint8_t>(sess[i].GetControl());
      t.start = t.pregapStart = sess[i].GetStartPos();
      out.tracks.push_back(t);
    }
  }
  std::sort(out.tracks.begin(), out.tracks.end(), [](const MediumTrack& a, const MediumTrack& b) { return a.start < b.start; });
  if (out.tracks.empty() || out.sessions.empty()) return MediumRead::Empty;
  out.capacity = out.sessions.back().leadOut;
  for (std::size_t i = 0; i < out.tracks.size(); ++i) {
    MediumTrack& t = out.tracks[i];
    t.kind = (t.control & 0x04) ? DataKind(dev, t.start, t.number) : TrackKind::Audio;
    t.isrc = t.kind == TrackKind::Audio ? TrackIsrc(dev, t.number) : std::string{};
    if (i == 0) t.pregapStart = 0;  // sectors before the first track belong to its pregap
    else if (out.tracks[i - 1].session == t.session) PlacePregap(dev, out.tracks[i - 1], t);
  }
  dev.GetMediaCatalog(out.catalog);
  std::vector<std::uint8_t> text(kCdTextBytes, 0);
  if (dev.ReadToc(text.data(), static_cast<int>(text.size()), 5) == 0) {
    const std::size_t n = std::min<std::size_t>(GetBE16(text.data()) + 2u, text.size());
    if (n > 4) out.cdTextPacks.assign(text.begin() + 4, text.begin() + static_cast<std::ptrdiff_t>(4 + (n - 4) / 18 * 18));
  }
  return MediumRead::Ok;
}

// A DVD or BD: one run of 2048-byte sectors up to the end of the last track.
MediumRead ReadBlockLayout(CDevCmdROM& dev, MediumLayout& out) {
  DISC_INFO di{};
  if (dev.ReadDiscInfo(di) != 0) return MediumRead::NoCapacity;
  const int last = mmc::DiscInfoFields(di).LastTrackInLastSession();
  TRACK_INFO ti{};
  if (dev.ReadTrackInfoEx(ti, READ_TRACK_INFO_TRACK, last) != 0) return MediumRead::NoCapacity;
  out.cd = false;
  out.capacity = static_cast<std::int64_t>(mmc::TrackInfoFields(ti).End());
  if (out.capacity <= 0) return MediumRead::Empty;
  MediumTrack t;
  out.tracks.push_back(t);
  out.sessions.push_back({1, static_cast<std::int32_t>(out.capacity), 0});
  return MediumRead::Ok;
}

}  // namespace

MediumRead ReadMediumLayout(CDevCmdROM& dev, MediumLayout& out) {
  out = MediumLayout{};
  out.profile = dev.GetMediumType();
  return IsCdMedium(out.profile) ? ReadCdLayout(dev, out) : ReadBlockLayout(dev, out);
}

std::string MediumLayout::Fingerprint() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "profile 0x%04X sectors %lld", profile, static_cast<long long>(capacity));
  std::string s = buf;
  for (const MediumSession& ss : sessions) {
    s += " | session " + std::to_string(ss.number);
    for (const MediumTrack& t : tracks) {
      if (t.session != ss.number) continue;
      std::snprintf(buf, sizeof buf, " %d:%X:%d", t.number, t.control, t.start);
      s += buf;
    }
    s += " lead-out " + std::to_string(ss.leadOut);
  }
  return s;
}

bool MediumLayout::HasAudio() const {
  return std::any_of(tracks.begin(), tracks.end(), [](const MediumTrack& t) { return t.kind == TrackKind::Audio; });
}

std::vector<ImageSpan> RawImageSpans(const MediumLayout& m) {
  std::vector<ImageSpan> spans;
  for (std::size_t s = 0; s < m.sessions.size(); ++s) {
    std::int64_t first = -1;
    for (const MediumTrack& t : m.tracks)
      if (t.session == m.sessions[s].number && first < 0) first = s == 0 ? 0 : t.start;
    if (first >= 0 && m.sessions[s].leadOut > first) spans.push_back({first, static_cast<std::uint64_t>(m.sessions[s].leadOut - first)});
  }
  return spans;
}

}  // namespace imaging
