#include "tests/support/FormatImages.h"

#include <cstring>
#include <stdexcept>

#include "platform/orvane/CdSector.h"
#include "platform/orvane/CdText.h"

namespace testsupport {

using orvane::TrackMode;

bool FixtureDisc::HasText() const {
  if (!title.empty() || !performer.empty()) return true;
  for (const auto& t : tracks)
    if (!t.title.empty() || !t.performer.empty()) return true;
  return false;
}

FixtureTrack Track(TrackMode mode, std::uint32_t sectorSize, std::uint32_t length, std::uint32_t pregap, int session) {
  FixtureTrack t;
  t.mode = mode;
  t.sectorSize = sectorSize;
  t.length = length;
  t.pregap = pregap;
  t.session = session;
  return t;
}

Placement Place(const FixtureDisc& disc) {
  Placement p;
  std::int64_t lba = 0;
  int session = 1;
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& t = disc.tracks[i];
    if (i == 0) {
      lba = -static_cast<std::int64_t>(t.pregap);
    } else if (t.session != session) {
      p.leadOuts.push_back(static_cast<std::int32_t>(lba));
      lba += p.leadOuts.size() == 1 ? 11250 : 6750;
      session = t.session;
    }
    PlacedTrack pt;
    pt.number = static_cast<int>(i) + 1;
    pt.pregapStart = static_cast<std::int32_t>(lba);
    pt.start = static_cast<std::int32_t>(lba + t.pregap);
    pt.length = t.length;
    lba = pt.start + std::int64_t(t.length);
    p.tracks.push_back(pt);
  }
  p.leadOuts.push_back(static_cast<std::int32_t>(lba));
  return p;
}

std::uint8_t ControlOf(const FixtureTrack& t) {
  return static_cast<std::uint8_t>((t.mode == TrackMode::Audio ? 0x00 : 0x04) | t.flags);
}

Bytes UserDataOf(std::int32_t lba) { return PatternSectors(static_cast<std::uint32_t>(lba), 1, 2048); }

Bytes StoredSectorBytes(const FixtureTrack& t, int number, std::int32_t trackStart, std::int32_t lba) {
  Bytes s;
  const Bytes user = UserDataOf(lba);
  switch (t.mode) {
    case TrackMode::Audio:
      s = PatternSectors(static_cast<std::uint32_t>(lba), 1, 2352, 0xA5);
      break;
    case TrackMode::Mode1:
      s = t.sectorSize == 2048 ? user : RawSector(lba, RawMode::Mode1, user.data(), user.size());
      break;
    case TrackMode::Mode2Xa:
      s = t.sectorSize == 2048 ? user : RawSector(lba, RawMode::Mode2Form1, user.data(), user.size());
      if (t.sectorSize == 2336) s.erase(s.begin(), s.begin() + 16);
      break;
    case TrackMode::Mode2Formless: {
      const Bytes body = PatternSectors(static_cast<std::uint32_t>(lba), 1, 2336, 0x5A);
      s = RawSector(lba, RawMode::Mode2Formless, body.data(), body.size());
      if (t.sectorSize == 2336) s.erase(s.begin(), s.begin() + 16);
      break;
    }
  }
  if (t.sectorSize == 2448) {
    std::uint8_t sub[96];
    orvane::BuildSubchannelPQ(sub, lba, ControlOf(t), number, lba < trackStart ? 0 : 1, trackStart);
    for (int b = 0; b < 96; ++b) sub[b] = static_cast<std::uint8_t>((sub[b] & 0xC0) | ((lba + b) & 0x3F));
    s.insert(s.end(), sub, sub + 96);
  }
  if (s.size() != t.sectorSize) throw std::invalid_argument("no such sector size for the track's mode");
  return s;
}

Bytes StoredTrackBytes(const FixtureTrack& t, const PlacedTrack& p) {
  Bytes out;
  out.reserve(std::size_t(p.start - p.pregapStart + p.length) * t.sectorSize);
  for (std::int32_t lba = p.pregapStart; lba < p.start + static_cast<std::int32_t>(p.length); ++lba) {
    Bytes s = StoredSectorBytes(t, p.number, p.start, lba);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

std::vector<std::uint8_t> FixtureCdTextPacks(const FixtureDisc& disc) {
  std::vector<orvane::CdTextEntry> e(disc.tracks.size() + 1);
  e[0].title = disc.title;
  e[0].performer = disc.performer;
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    e[i + 1].title = disc.tracks[i].title;
    e[i + 1].performer = disc.tracks[i].performer;
  }
  return orvane::BuildCdTextPacks(e);
}

namespace {

void BE32(Bytes& b, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void BE64(Bytes& b, std::uint64_t v) {
  BE32(b, static_cast<std::uint32_t>(v >> 32));
  BE32(b, static_cast<std::uint32_t>(v));
}
void Chunk(Bytes& chain, const char* id, const Bytes& body) {
  chain.insert(chain.end(), id, id + 4);
  BE32(chain, static_cast<std::uint32_t>(body.size()));
  chain.insert(chain.end(), body.begin(), body.end());
}
std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); }

unsigned NeroMode(const FixtureTrack& t) {
  switch (t.mode) {
    case TrackMode::Audio: return t.sectorSize == 2448 ? 0x10 : 0x07;
    case TrackMode::Mode1: return t.sectorSize == 2048 ? 0x00 : t.sectorSize == 2352 ? 0x05 : 0x0F;
    case TrackMode::Mode2Xa:
    case TrackMode::Mode2Formless:
      return t.sectorSize == 2048 ? 0x02 : t.sectorSize == 2336 ? 0x03 : t.sectorSize == 2352 ? 0x06 : 0x11;
  }
  return 0;
}

void CueEntry(Bytes& b, const NrgOptions& o, std::uint8_t ctlAdr, int track, int index, std::int32_t lba) {
  b.push_back(ctlAdr);
  b.push_back(track == 0xAA ? 0xAA : Bcd(track));
  b.push_back(Bcd(index));
  b.push_back(0);
  if (o.version == 2) {
    BE32(b, static_cast<std::uint32_t>(lba));
  } else {
    const std::int32_t v = lba + 150;
    b.push_back(0);
    b.push_back(Bcd(v / 4500));
    b.push_back(Bcd(v / 75 % 60));
    b.push_back(Bcd(v % 75));
  }
}

}  // namespace

Bytes NrgImage(const FixtureDisc& disc, const NrgOptions& o) {
  const Placement p = Place(disc);
  Bytes image;
  std::vector<std::uint64_t> index0(disc.tracks.size()), index1(disc.tracks.size()), end(disc.tracks.size());
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& t = disc.tracks[i];
    PlacedTrack pt = p.tracks[i];
    if (o.trackAtOnce) pt.pregapStart = pt.start;  // track-at-once images keep no pregaps
    index0[i] = image.size();
    index1[i] = image.size() + std::uint64_t(pt.start - pt.pregapStart) * t.sectorSize;
    Bytes data = StoredTrackBytes(t, pt);
    image.insert(image.end(), data.begin(), data.end());
    end[i] = image.size();
  }
  const std::uint64_t chainAt = image.size();
  Bytes chain;
  const int sessions = disc.tracks.empty() ? 0 : disc.tracks.back().session;
  if (o.trackAtOnce) {
    Bytes etn;
    std::uint32_t written = 0;  // Nero's start field counts the sectors before the track, gaps left out
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
      if (o.version == 2) {
        BE64(etn, index1[i]);
        BE64(etn, end[i] - index1[i]);
      } else {
        BE32(etn, static_cast<std::uint32_t>(index1[i]));
        BE32(etn, static_cast<std::uint32_t>(end[i] - index1[i]));
      }
      BE32(etn, NeroMode(disc.tracks[i]));
      BE32(etn, written);
      written += disc.tracks[i].length;
      if (o.version == 2) BE64(etn, 0);
      else BE32(etn, 0);
    }
    Chunk(chain, o.version == 2 ? "ETN2" : "ETNF", etn);
  }
  for (int s = 1; s <= sessions; ++s) {
    std::vector<std::size_t> in;
    for (std::size_t i = 0; i < disc.tracks.size(); ++i)
      if (disc.tracks[i].session == s) in.push_back(i);
    if (!o.trackAtOnce) {
      Bytes cue;
      const FixtureTrack& first = disc.tracks[in.front()];
      const std::uint8_t firstCtl = static_cast<std::uint8_t>(ControlOf(first) << 4 | 1);
      CueEntry(cue, o, firstCtl, 0, 0, p.tracks[in.front()].pregapStart - (s == 1 ? 150 - std::int32_t(first.pregap) : 0));
      for (std::size_t i : in) {
        const std::uint8_t ctl = static_cast<std::uint8_t>(ControlOf(disc.tracks[i]) << 4 | 1);
        CueEntry(cue, o, ctl, p.tracks[i].number, 0, p.tracks[i].pregapStart);
        CueEntry(cue, o, ctl, p.tracks[i].number, 1, p.tracks[i].start);
      }
      CueEntry(cue, o, static_cast<std::uint8_t>(ControlOf(disc.tracks[in.back()]) << 4 | 1), 0xAA, 1,
               p.leadOuts[static_cast<std::size_t>(s - 1)]);
      Chunk(chain, o.version == 2 ? "CUEX" : "CUES", cue);
      Bytes dao;
      const std::size_t per = o.version == 2 ? 42 : 30;
      BE32(dao, static_cast<std::uint32_t>(22 + per * in.size()));
      std::string mcn = disc.catalog;
      mcn.resize(14, '\0');
      dao.insert(dao.end(), mcn.begin(), mcn.end());
      dao.push_back(first.mode == TrackMode::Audio ? 0x00 : first.mode == TrackMode::Mode1 ? 0x00 : 0x20);
      dao.push_back(1);
      dao.push_back(static_cast<std::uint8_t>(p.tracks[in.front()].number));
      dao.push_back(static_cast<std::uint8_t>(p.tracks[in.back()].number));
      for (std::size_t i : in) {
        const FixtureTrack& t = disc.tracks[i];
        std::string isrc = t.isrc;
        isrc.resize(12, '\0');
        dao.insert(dao.end(), isrc.begin(), isrc.end());
        dao.push_back(static_cast<std::uint8_t>(t.sectorSize >> 8));
        dao.push_back(static_cast<std::uint8_t>(t.sectorSize));
        dao.push_back(static_cast<std::uint8_t>(NeroMode(t)));
        dao.insert(dao.end(), {0, 0, 1});
        if (o.version == 2) {
          BE64(dao, index0[i]);
          BE64(dao, index1[i]);
          BE64(dao, end[i]);
        } else {
          BE32(dao, static_cast<std::uint32_t>(index0[i]));
          BE32(dao, static_cast<std::uint32_t>(index1[i]));
          BE32(dao, static_cast<std::uint32_t>(end[i]));
        }
      }
      Chunk(chain, o.version == 2 ? "DAOX" : "DAOI", dao);
    }
    if (s == 1 && disc.HasText()) {
      auto packs = FixtureCdTextPacks(disc);
      Chunk(chain, "CDTX", Bytes(packs.begin(), packs.end()));
    }
    Bytes sinf;
    BE32(sinf, static_cast<std::uint32_t>(in.size()));
    Chunk(chain, "SINF", sinf);
  }
  Bytes mtyp;
  BE32(mtyp, o.mediaType);
  Chunk(chain, "MTYP", mtyp);
  Chunk(chain, "END!", {});
  image.insert(image.end(), chain.begin(), chain.end());
  if (o.version == 2) {
    image.insert(image.end(), {'N', 'E', 'R', '5'});
    BE64(image, chainAt);
  } else {
    image.insert(image.end(), {'N', 'E', 'R', 'O'});
    BE32(image, static_cast<std::uint32_t>(chainAt));
  }
  return image;
}

}  // namespace testsupport
