// cdrdao TOC files written from a fixture disc.
#include <stdexcept>

#include "tests/support/FormatImages.h"

namespace testsupport {

using orvane::TrackMode;

namespace {

std::string Msf(std::uint32_t sectors) {
  char b[16];
  std::snprintf(b, sizeof b, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60, sectors % 75);
  return b;
}

const char* TocMode(const FixtureTrack& t) {
  switch (t.mode) {
    case TrackMode::Audio: return "AUDIO";
    case TrackMode::Mode1: return t.sectorSize == 2048 ? "MODE1" : "MODE1_RAW";
    case TrackMode::Mode2Xa: return t.sectorSize == 2048 ? "MODE2_FORM1" : t.sectorSize == 2336 ? "MODE2_FORM_MIX" : "MODE2_RAW";
    case TrackMode::Mode2Formless: return t.sectorSize == 2336 ? "MODE2" : "MODE2_RAW";
  }
  return "";
}

std::string Texts(const std::string& title, const std::string& performer) {
  std::string s = "CD_TEXT {\n";
  s += "  LANGUAGE 0 {\n";
  if (!title.empty()) s += "    TITLE \"" + title + "\"\n";
  if (!performer.empty()) s += "    PERFORMER \"" + performer + "\"\n";
  return s + "  }\n}\n";
}

}  // namespace

void WriteCdrdaoToc(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name) {
  const Placement p = Place(disc);
  if (disc.tracks.front().pregap) throw std::invalid_argument("a TOC starts track 1 at LBA 0");
  bool xa = false;
  for (const auto& t : disc.tracks) {
    if (t.session != 1) throw std::invalid_argument("a TOC file holds one session");
    if (t.sectorSize == 2448) throw std::invalid_argument("no sub-channel in these fixtures");
    xa |= t.mode == TrackMode::Mode2Xa || t.mode == TrackMode::Mode2Formless;
  }
  bool audioOnly = true;
  for (const auto& t : disc.tracks) audioOnly &= t.mode == TrackMode::Audio;
  std::string toc = std::string("// written by the tests\n") + (xa ? "CD_ROM_XA" : audioOnly ? "CD_DA" : "CD_ROM") + "\n\n";
  if (!disc.catalog.empty()) toc += "CATALOG \"" + disc.catalog + "\"\n";
  if (disc.HasText()) toc += "CD_TEXT {\n  LANGUAGE_MAP {\n    0 : EN\n  }\n" + Texts(disc.title, disc.performer).substr(10);
  Bytes bin;
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& t = disc.tracks[i];
    const PlacedTrack& pt = p.tracks[i];
    toc += "\n// Track " + std::to_string(i + 1) + "\nTRACK " + TocMode(t) + "\n";
    toc += t.flags & 0x02 ? "COPY\n" : "NO COPY\n";
    if (t.mode == TrackMode::Audio) toc += t.flags & 0x01 ? "PRE_EMPHASIS\n" : "NO PRE_EMPHASIS\nTWO_CHANNEL_AUDIO\n";
    if (!t.isrc.empty()) toc += "ISRC \"" + t.isrc + "\"\n";
    if (!t.title.empty() || !t.performer.empty()) toc += Texts(t.title, t.performer);
    const std::uint64_t offset = bin.size();
    Bytes data = StoredTrackBytes(t, pt);
    if (t.mode == TrackMode::Audio) data = SwapBytePairs(data);  // raw audio files are big-endian
    bin.insert(bin.end(), data.begin(), data.end());
    const std::uint32_t sectors = t.pregap + t.length;
    // As cdrdao read-cd writes them: audio by its position in the file where
    // that is a whole number of sectors, else by byte offset.
    if (t.mode == TrackMode::Audio && offset % 2352 == 0)
      toc += "FILE \"" + name + ".bin\" " + Msf(static_cast<std::uint32_t>(offset / 2352)) + " " + Msf(sectors) + "\n";
    else if (t.mode == TrackMode::Audio)
      toc += "FILE \"" + name + ".bin\" #" + std::to_string(offset) + " 0 " + Msf(sectors) + "\n";
    else
      toc += "DATAFILE \"" + name + ".bin\" " + (offset ? "#" + std::to_string(offset) + " " : "") + Msf(sectors) +
             " // length in bytes: " + std::to_string(data.size()) + "\n";
    if (t.pregap) toc += "START " + Msf(t.pregap) + "\n";
  }
  dir.Write(name + ".bin", bin);
  dir.Write(name + ".toc", toc);
}

}  // namespace testsupport
