// CloneCD images written from a fixture disc.
#include <cstdio>
#include <stdexcept>

#include "tests/support/FormatImages.h"

namespace testsupport {

using orvane::TrackMode;

namespace {

struct Descriptor {
  int session, adr, control, point, pmin, psec, pframe;
};

std::vector<Descriptor> Descriptors(const FixtureDisc& disc) {
  const Placement p = Place(disc);
  std::vector<Descriptor> out;
  const int sessions = disc.tracks.back().session;
  for (int s = 1; s <= sessions; ++s) {
    std::vector<std::size_t> in;
    for (std::size_t i = 0; i < disc.tracks.size(); ++i)
      if (disc.tracks[i].session == s) in.push_back(i);
    bool xa = false;
    for (std::size_t i : in) xa |= disc.tracks[i].mode == TrackMode::Mode2Xa || disc.tracks[i].mode == TrackMode::Mode2Formless;
    const int firstCtl = ControlOf(disc.tracks[in.front()]), lastCtl = ControlOf(disc.tracks[in.back()]);
    auto msf = [](std::int32_t lba, int& m, int& sec, int& f) {
      const std::int32_t v = lba + 150;
      m = v / 4500, sec = v / 75 % 60, f = v % 75;
    };
    out.push_back({s, 1, firstCtl, 0xA0, p.tracks[in.front()].number, xa ? 0x20 : 0x00, 0});
    out.push_back({s, 1, lastCtl, 0xA1, p.tracks[in.back()].number, 0, 0});
    Descriptor a2{s, 1, lastCtl, 0xA2, 0, 0, 0};
    msf(p.leadOuts[static_cast<std::size_t>(s - 1)], a2.pmin, a2.psec, a2.pframe);
    out.push_back(a2);
    if (s < sessions) {
      Descriptor b0{s, 5, lastCtl, 0xB0, 79, 59, 74};
      out.push_back(b0);
    }
    for (std::size_t i : in) {
      Descriptor d{s, 1, ControlOf(disc.tracks[i]), p.tracks[i].number, 0, 0, 0};
      msf(p.tracks[i].start, d.pmin, d.psec, d.pframe);
      out.push_back(d);
    }
  }
  return out;
}

// Interleaved sub-channel (bit 7 P ... bit 0 W of each byte) to one channel after another.
void Linearise(const std::uint8_t* in, std::uint8_t* out) {
  std::fill(out, out + 96, 0);
  for (int b = 0; b < 96; ++b)
    for (int ch = 0; ch < 8; ++ch)
      if (in[b] & (0x80 >> ch)) out[ch * 12 + b / 8] |= static_cast<std::uint8_t>(0x80 >> (b % 8));
}

}  // namespace

Bytes CloneCdTocEntries(const FixtureDisc& disc) {
  Bytes b;
  for (const Descriptor& d : Descriptors(disc))
    b.insert(b.end(), {static_cast<std::uint8_t>(d.session), static_cast<std::uint8_t>(d.adr << 4 | d.control), 0,
                       static_cast<std::uint8_t>(d.point), 0, 0, 0, 0, static_cast<std::uint8_t>(d.pmin),
                       static_cast<std::uint8_t>(d.psec), static_cast<std::uint8_t>(d.pframe)});
  return b;
}

void WriteCloneCd(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name) {
  const Placement p = Place(disc);
  if (disc.tracks.front().pregap) throw std::invalid_argument("CloneCD keeps no sectors before LBA 0");
  bool withSub = false;
  for (const auto& t : disc.tracks) {
    if (t.sectorSize != 2352 && t.sectorSize != 2448) throw std::invalid_argument("CloneCD stores raw sectors only");
    withSub |= t.sectorSize == 2448;
  }
  const std::int32_t end = p.leadOuts.back();
  Bytes img(std::size_t(end) * 2352, 0), sub(withSub ? std::size_t(end) * 96 : 0, 0);
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const PlacedTrack& pt = p.tracks[i];
    FixtureTrack t = disc.tracks[i];
    t.sectorSize = 2448;  // sector and sub-channel, split below
    for (std::int32_t lba = pt.pregapStart; lba < pt.start + static_cast<std::int32_t>(pt.length); ++lba) {
      Bytes s = StoredSectorBytes(t, pt.number, pt.start, lba);
      std::copy(s.begin(), s.begin() + 2352, img.begin() + std::ptrdiff_t(lba) * 2352);
      if (withSub) Linearise(s.data() + 2352, sub.data() + std::size_t(lba) * 96);
    }
  }
  dir.Write(name + ".img", img);
  if (withSub) dir.Write(name + ".sub", sub);

  const auto descriptors = Descriptors(disc);
  std::string c = "[CloneCD]\r\nVersion=3\r\n\r\n[Disc]\r\n";
  c += "TocEntries=" + std::to_string(descriptors.size()) + "\r\n";
  c += "Sessions=" + std::to_string(disc.tracks.back().session) + "\r\nDataTracksScrambled=0\r\n";
  const auto packs = disc.HasText() ? FixtureCdTextPacks(disc) : std::vector<std::uint8_t>{};
  c += "CDTextLength=" + std::to_string(packs.size()) + "\r\n";
  if (!disc.catalog.empty()) c += "CATALOG=" + disc.catalog + "\r\n";
  if (!packs.empty()) {
    c += "\r\n[CDText]\r\nEntries=" + std::to_string(packs.size() / 18) + "\r\n";
    for (std::size_t k = 0; k < packs.size() / 18; ++k) {
      c += "Entry " + std::to_string(k) + "=";
      for (int b = 0; b < 16; ++b) {  // CloneCD leaves out each pack's CRC
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", packs[k * 18 + b]);
        c += std::string(b ? " " : "") + hex;
      }
      c += "\r\n";
    }
  }
  for (int s = 1; s <= disc.tracks.back().session; ++s) c += "\r\n[Session " + std::to_string(s) + "]\r\nPreGapMode=1\r\nPreGapSubC=0\r\n";
  for (std::size_t k = 0; k < descriptors.size(); ++k) {
    const Descriptor& d = descriptors[k];
    char buf[400];
    const int plba = (d.pmin * 60 + d.psec) * 75 + d.pframe - 150;
    std::snprintf(buf, sizeof buf,
                  "\r\n[Entry %zu]\r\nSession=%d\r\nPoint=0x%02x\r\nADR=0x%02x\r\nControl=0x%02x\r\nTrackNo=0\r\n"
                  "AMin=0\r\nASec=0\r\nAFrame=0\r\nALBA=-150\r\nZero=0\r\nPMin=%d\r\nPSec=%d\r\nPFrame=%d\r\nPLBA=%d\r\n",
                  k, d.session, d.point, d.adr, d.control, d.pmin, d.psec, d.pframe, plba);
    c += buf;
  }
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& t = disc.tracks[i];
    const int mode = t.mode == TrackMode::Audio ? 0 : t.mode == TrackMode::Mode1 ? 1 : 2;
    c += "\r\n[TRACK " + std::to_string(i + 1) + "]\r\nMODE=" + std::to_string(mode) + "\r\n";
    if (!t.isrc.empty()) c += "ISRC=" + t.isrc + "\r\n";
    if (t.pregap) c += "INDEX 0=" + std::to_string(p.tracks[i].pregapStart) + "\r\n";
    c += "INDEX 1=" + std::to_string(p.tracks[i].start) + "\r\n";
  }
  dir.Write(name + ".ccd", c);
}

}  // namespace testsupport
