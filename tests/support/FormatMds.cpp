// Alcohol 120% descriptors and data files written from a fixture disc.
#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "tests/support/FormatImages.h"

namespace testsupport {

using orvane::TrackMode;

namespace {

std::uint8_t MdsMode(const FixtureTrack& t) {
  switch (t.mode) {
    case TrackMode::Audio: return 0xA9;
    case TrackMode::Mode1: return 0xAA;
    case TrackMode::Mode2Formless: return 0xAB;
    case TrackMode::Mode2Xa: return 0xAC;
  }
  return 0;
}

void PutMsfOf(std::uint8_t* e, std::int32_t lba) {
  const std::int32_t v = lba + 150;
  e[9] = static_cast<std::uint8_t>(v / 4500);
  e[10] = static_cast<std::uint8_t>(v / 75 % 60);
  e[11] = static_cast<std::uint8_t>(v % 75);
}

}  // namespace

void WriteMds(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name, unsigned mediumType) {
  const Placement p = Place(disc);
  const int sessions = disc.tracks.back().session;
  // Where everything goes: header, session blocks, entries, extra blocks, footer, name.
  std::vector<std::vector<std::size_t>> in(static_cast<std::size_t>(sessions));
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) in[static_cast<std::size_t>(disc.tracks[i].session - 1)].push_back(i);
  const std::size_t sessionsAt = 88;
  std::size_t entriesAt = sessionsAt + 24 * static_cast<std::size_t>(sessions);
  std::size_t totalEntries = 0;
  for (const auto& s : in) totalEntries += 3 + s.size();
  const std::size_t extrasAt = entriesAt + 80 * totalEntries;
  const std::size_t footerAt = extrasAt + 8 * disc.tracks.size();
  const std::size_t nameAt = footerAt + 16;
  Bytes d(nameAt + 6, 0);
  std::memcpy(d.data(), "MEDIA DESCRIPTOR", 16);
  d[16] = 1, d[17] = 3;
  PutLE16(&d[18], mediumType);
  PutLE16(&d[20], static_cast<std::uint32_t>(sessions));
  PutLE32(&d[80], static_cast<std::uint32_t>(sessionsAt));
  PutLE32(&d[footerAt], static_cast<std::uint32_t>(nameAt));
  std::memcpy(&d[nameAt], "*.mdf", 6);

  Bytes mdf;
  for (int s = 0; s < sessions; ++s) {
    const auto& tracks = in[static_cast<std::size_t>(s)];
    std::uint8_t* sb = &d[sessionsAt + 24 * static_cast<std::size_t>(s)];
    PutLE32(sb, static_cast<std::uint32_t>(p.tracks[tracks.front()].pregapStart));
    PutLE32(sb + 4, static_cast<std::uint32_t>(p.leadOuts[static_cast<std::size_t>(s)]));
    PutLE16(sb + 8, static_cast<std::uint32_t>(s + 1));
    sb[10] = static_cast<std::uint8_t>(3 + tracks.size());
    sb[11] = 3;
    PutLE16(sb + 12, static_cast<std::uint32_t>(tracks.front() + 1));
    PutLE16(sb + 14, static_cast<std::uint32_t>(tracks.back() + 1));
    PutLE32(sb + 20, static_cast<std::uint32_t>(entriesAt));
    bool xa = false;
    for (std::size_t i : tracks) xa |= disc.tracks[i].mode == TrackMode::Mode2Xa || disc.tracks[i].mode == TrackMode::Mode2Formless;
    // A0, A1, A2, then the tracks.
    for (int point : {0xA0, 0xA1, 0xA2}) {
      std::uint8_t* e = &d[entriesAt];
      e[2] = static_cast<std::uint8_t>(0x10 | ControlOf(disc.tracks[point == 0xA0 ? tracks.front() : tracks.back()]));
      e[4] = static_cast<std::uint8_t>(point);
      if (point == 0xA0) e[9] = static_cast<std::uint8_t>(tracks.front() + 1), e[10] = xa ? 0x20 : 0x00;
      if (point == 0xA1) e[9] = static_cast<std::uint8_t>(tracks.back() + 1);
      if (point == 0xA2) PutMsfOf(e, p.leadOuts[static_cast<std::size_t>(s)]);
      entriesAt += 80;
    }
    for (std::size_t i : tracks) {
      const FixtureTrack& t = disc.tracks[i];
      const PlacedTrack& pt = p.tracks[i];
      std::uint8_t* e = &d[entriesAt];
      e[0] = MdsMode(t);
      e[1] = t.sectorSize == 2448 ? 0x08 : 0x00;
      e[2] = static_cast<std::uint8_t>(0x10 | ControlOf(t));
      e[4] = static_cast<std::uint8_t>(pt.number);
      PutMsfOf(e, pt.start);
      const std::size_t extra = extrasAt + 8 * i;
      const bool dvd = mediumType >= 0x10;
      if (dvd) e[0] = 0x02;  // a DVD's data: no extra block, the length in its place
      PutLE32(e + 12, static_cast<std::uint32_t>(dvd ? t.length : extra));
      PutLE16(e + 16, t.sectorSize);
      PutLE32(e + 36, static_cast<std::uint32_t>(pt.start));
      PlacedTrack storedPart = pt;
      storedPart.pregapStart = std::max(pt.pregapStart, 0);
      // The offset is the track start's, after the pregap the file keeps.
      PutLE64(e + 40, mdf.size() + std::uint64_t(pt.start - storedPart.pregapStart) * t.sectorSize);
      PutLE32(e + 48, 1);
      PutLE32(e + 52, static_cast<std::uint32_t>(footerAt));
      PutLE32(&d[extra], t.pregap);
      PutLE32(&d[extra + 4], t.length);
      const Bytes data = StoredTrackBytes(t, storedPart);
      mdf.insert(mdf.end(), data.begin(), data.end());
      entriesAt += 80;
    }
  }
  dir.Write(name + ".mds", d);
  dir.Write(name + ".mdf", mdf);
}

}  // namespace testsupport
