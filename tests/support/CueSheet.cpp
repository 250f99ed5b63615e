#include "tests/support/CueSheet.h"

#include <cstdio>

namespace testsupport {
namespace {

std::string Msf(std::uint64_t sectors) {
  char b[16];
  std::snprintf(b, sizeof b, "%02u:%02u:%02u", unsigned(sectors / 4500), unsigned(sectors / 75 % 60),
                unsigned(sectors % 75));
  return b;
}

std::string CueType(const FixtureTrack& t) {
  if (t.mode == orvane::TrackMode::Audio) return "AUDIO";
  const std::string mode = t.mode == orvane::TrackMode::Mode1 ? "MODE1/" : "MODE2/";
  return mode + std::to_string(t.sectorSize);
}

}  // namespace

std::string WriteCueSheet(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name) {
  const Placement placed = Place(disc);
  Bytes bin;
  std::uint64_t at = 0;  // sectors from the file's start, as INDEX times count them
  std::string cue = "FILE \"" + name + ".bin\" BINARY\n";
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& t = disc.tracks[i];
    const PlacedTrack& p = placed.tracks[i];
    char head[64];
    std::snprintf(head, sizeof head, "  TRACK %02zu %s\n", i + 1, CueType(t).c_str());
    cue += head;
    if (p.start > p.pregapStart) {
      cue += "    INDEX 00 " + Msf(at) + "\n";
      at += static_cast<std::uint64_t>(p.start - p.pregapStart);
    }
    cue += "    INDEX 01 " + Msf(at) + "\n";
    at += p.length;
    const Bytes data = StoredTrackBytes(t, p);
    bin.insert(bin.end(), data.begin(), data.end());
  }
  dir.Write(name + ".bin", bin);
  return dir.Write(name + ".cue", cue);
}

}  // namespace testsupport
