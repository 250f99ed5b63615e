#include "copy/CueSheetWriter.h"

#include <algorithm>
#include <cstdio>

#include "disc/Msf.h"

namespace imaging {

namespace {

// What a recorder leaves between sessions, and the pregap every session's
// first track has before it; the CUE reader assumes the same.
constexpr std::int64_t kFirstLeadOut = 6750;
constexpr std::int64_t kLaterLeadOut = 2250;
constexpr std::int64_t kLeadIn = 4500;
constexpr std::int64_t kSessionPregap = 150;

std::string Msf(std::int64_t frames) {
  const disc::Msf msf = disc::FramesToMsf(frames);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", msf.m, msf.s, msf.f);
  return buf;
}

std::string Two(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

const char* ModeName(TrackKind k) {
  switch (k) {
    case TrackKind::Audio: return "AUDIO";
    case TrackKind::Mode2: return "MODE2/2352";
    default: return "MODE1/2352";
  }
}

// Where an address lies in the .bin, in sectors; -1 when no span holds it.
std::int64_t FramesInBin(const std::vector<ImageSpan>& spans, std::int64_t lba) {
  std::int64_t before = 0;
  for (const ImageSpan& s : spans) {
    if (lba >= s.firstLba && lba < s.firstLba + static_cast<std::int64_t>(s.count)) return before + lba - s.firstLba;
    before += static_cast<std::int64_t>(s.count);
  }
  return -1;
}

std::string TrackLines(const MediumTrack& t, const std::vector<ImageSpan>& spans) {
  std::string out = "  TRACK " + Two(t.number) + " " + ModeName(t.kind) + "\n";
  std::string flags;
  if (t.control & 0x02) flags += " DCP";
  if (t.control & 0x08) flags += " 4CH";
  if (t.control & 0x01) flags += " PRE";
  if (!flags.empty()) out += "    FLAGS" + flags + "\n";
  if (!t.isrc.empty()) out += "    ISRC " + t.isrc + "\n";
  const std::int64_t start = FramesInBin(spans, t.start);
  const std::int64_t pregap = FramesInBin(spans, t.pregapStart);
  if (t.pregapStart < t.start && pregap >= 0) out += "    INDEX 00 " + Msf(pregap) + "\n";
  out += "    INDEX 01 " + Msf(start) + "\n";
  return out;
}

}  // namespace

CueBuild BuildCueSheet(const MediumLayout& m, const std::vector<ImageSpan>& spans, const std::string& binName,
                       const std::string& cdtName, std::string& sheet) {
  const bool sessions = m.sessions.size() > 1;
  sheet.clear();
  if (!m.catalog.empty()) sheet += "CATALOG " + m.catalog + "\n";
  if (!cdtName.empty()) sheet += "CDTEXTFILE \"" + cdtName + "\"\n";
  sheet += "FILE \"" + binName + "\" BINARY\n";
  for (std::size_t s = 0; s < m.sessions.size(); ++s) {
    const MediumSession& ss = m.sessions[s];
    std::string leadIn;
    if (s > 0) {
      const MediumTrack* first = nullptr;
      for (const MediumTrack& t : m.tracks)
        if (t.session == ss.number && !first) first = &t;
      const std::int64_t gap = first ? first->start - m.sessions[s - 1].leadOut - kSessionPregap : 0;
      if (gap < 0) return CueBuild::GapTooShort;
      const std::int64_t standardOut = s == 1 ? kFirstLeadOut : kLaterLeadOut;
      if (gap != standardOut + kLeadIn) {
        const std::int64_t in = std::min(gap, kLeadIn);
        sheet += "REM LEAD-OUT " + Msf(gap - in) + "\n";
        leadIn = "REM LEAD-IN " + Msf(in) + "\n";
      }
    }
    if (sessions) sheet += "REM SESSION " + Two(ss.number) + "\n" + leadIn;
    for (const MediumTrack& t : m.tracks)
      if (t.session == ss.number) sheet += TrackLines(t, spans);
  }
  return CueBuild::Ok;
}

}  // namespace imaging
