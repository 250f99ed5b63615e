#pragma once
// A written image checked against the disc it was written from, through the
// virtual drive: the layout, READ TOC formats 0, 1 and 2, READ TRACK
// INFORMATION, sectors of every track (first, last, pregap) read as user data
// and raw, stored sub-channel, and CD-TEXT.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/orvane/ReaderTestUtil.h"
#include "tests/support/FormatImages.h"

namespace formattest {

using orvane::TrackMode;
using readertest::MustOpen;
using readertest::Refused;
using testsupport::Bytes;
using testsupport::FixtureDisc;
using testsupport::FixtureTrack;
using testsupport::Track;

inline std::unique_ptr<CDevCmdROM> Serve(const orvane::DiscLayout& l) {
  return std::make_unique<CDevCmdROM>(1, orvane::CreateVirtualDrive(l, "image"));
}

// READ CD of one whole sector with the given sub-channel selection (0 none, 1 raw P-W).
inline Bytes ReadCdRaw(CDevCmdROM& d, std::int32_t lba, int sub = 0) {
  ScsiCommand c;
  Bytes out(2352 + 96);
  c.cdb[0] = 0xBE;
  PutBE32(c.cdb + 2, static_cast<std::uint32_t>(lba));
  c.cdb[8] = 1;
  c.cdb[9] = 0xF8;  // sync, headers, user data, EDC/ECC
  c.cdb[10] = static_cast<std::uint8_t>(sub);
  c.cdbLength = 12;
  c.direction = DataDirection::FromDevice;
  c.data = out.data();
  c.dataLength = out.size();
  if (d.Send(c) != 0) return {};
  out.resize(sub ? 2352 + 96 : 2352);
  return out;
}

// Texts compared as block 0 gives them: tracks past the last one with text
// may be left out.
inline bool CdTextMatches(const FixtureDisc& disc, const std::vector<orvane::CdTextEntry>& got) {
  auto at = [&](std::size_t i) { return i < got.size() ? got[i] : orvane::CdTextEntry{}; };
  if (got.size() > disc.tracks.size() + 1) return false;
  if (at(0).title != disc.title || at(0).performer != disc.performer) return false;
  for (std::size_t i = 0; i < disc.tracks.size(); ++i)
    if (at(i + 1).title != disc.tracks[i].title || at(i + 1).performer != disc.tracks[i].performer) return false;
  return true;
}

// pregapsStored: the image keeps each track's INDEX 00 sectors (track-at-once images do not).
inline void ExpectServes(const FixtureDisc& disc, const std::string& path, bool pregapsStored = true) {
  SCOPED_TRACE(path);
  orvane::DiscLayout l;
  std::string error;
  ASSERT_TRUE(orvane::OpenImage(path, l, error)) << error;
  const auto placed = testsupport::Place(disc);
  ASSERT_EQ(l.tracks.size(), disc.tracks.size());
  const int sessions = disc.tracks.back().session;
  ASSERT_EQ(static_cast<int>(l.sessions.size()), sessions);
  for (int s = 0; s < sessions; ++s) EXPECT_EQ(l.sessions[s].leadOut, placed.leadOuts[s]) << "session " << s + 1;
  EXPECT_EQ(l.catalog, disc.catalog);
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const auto& t = l.tracks[i];
    const auto& f = disc.tracks[i];
    SCOPED_TRACE("track " + std::to_string(i + 1));
    EXPECT_EQ(t.number, static_cast<int>(i) + 1);
    EXPECT_EQ(t.session, f.session);
    EXPECT_EQ(t.mode, f.mode);
    EXPECT_EQ(t.start, placed.tracks[i].start);
    EXPECT_EQ(t.length, f.length);
    EXPECT_EQ(t.control & 0x0F, testsupport::ControlOf(f));
    if (pregapsStored) {
      EXPECT_EQ(t.pregapStart, placed.tracks[i].pregapStart);
    }
    EXPECT_EQ(t.isrc, f.isrc);
  }

  auto d = Serve(l);
  // READ TOC format 0: every track's start and the lead-out.
  unsigned char toc[2048] = {};
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 0, 0), 0);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], disc.tracks.size());
  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const unsigned char* e = toc + 4 + 8 * i;
    EXPECT_EQ(e[2], i + 1);
    EXPECT_EQ(e[1] & 0x0F, testsupport::ControlOf(disc.tracks[i]));
    EXPECT_EQ(static_cast<std::int32_t>(GetBE32(e + 4)), placed.tracks[i].start);
  }
  EXPECT_EQ(toc[4 + 8 * disc.tracks.size() + 2], 0xAA);
  EXPECT_EQ(static_cast<std::int32_t>(GetBE32(toc + 4 + 8 * disc.tracks.size() + 4)), placed.leadOuts.back());

  // READ TOC format 2: A0, A1, A2 and the tracks of each session.
  std::memset(toc, 0, sizeof toc);
  ASSERT_EQ(d->ReadToc(toc, sizeof toc, 2, 0), 0);
  EXPECT_EQ(toc[3], sessions);
  const std::size_t n = (GetBE16(toc) - 2) / 11;
  int pointsSeen = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const unsigned char* e = toc + 4 + 11 * k;
    const int point = e[3];
    if (point >= 1 && point <= 99) {
      ++pointsSeen;
      EXPECT_EQ(e[0], disc.tracks[point - 1].session);
      EXPECT_EQ((e[8] * 60 + e[9]) * 75 + e[10] - 150, placed.tracks[point - 1].start);
    } else if (point == 0xA2) {
      EXPECT_EQ((e[8] * 60 + e[9]) * 75 + e[10] - 150, placed.leadOuts[e[0] - 1]);
    } else if (point == 0xA0) {
      int first = 0;
      for (std::size_t i = 0; i < disc.tracks.size() && !first; ++i)
        if (disc.tracks[i].session == e[0]) first = static_cast<int>(i) + 1;
      EXPECT_EQ(e[8], first);
    }
  }
  EXPECT_EQ(pointsSeen, static_cast<int>(disc.tracks.size()));

  for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
    const FixtureTrack& f = disc.tracks[i];
    const auto& pt = placed.tracks[i];
    SCOPED_TRACE("track " + std::to_string(i + 1));
    TRACK_INFO ti{};
    ASSERT_EQ(d->ReadTrackInfo(ti, 1, static_cast<int>(i) + 1), 0);
    EXPECT_EQ(ti.data[6] & 0x0F, f.mode == TrackMode::Audio ? 0x0F : f.mode == TrackMode::Mode1 ? 1 : 2);
    EXPECT_EQ(GetBE32(ti.data + 8), static_cast<std::uint32_t>(pt.start));
    EXPECT_EQ(GetBE32(ti.data + 24), f.length);

    std::vector<std::int32_t> lbas = {pt.start, pt.start + static_cast<std::int32_t>(f.length) - 1,
                                      pt.start + static_cast<std::int32_t>(f.length / 2)};
    if (pregapsStored && pt.pregapStart < pt.start && pt.pregapStart >= 0) lbas.push_back(pt.pregapStart);
    for (std::int32_t lba : lbas) {
      SCOPED_TRACE("sector " + std::to_string(lba));
      const Bytes stored = testsupport::StoredSectorBytes(f, pt.number, pt.start, lba);
      if (f.mode == TrackMode::Mode1 || f.mode == TrackMode::Mode2Xa) {
        unsigned char user[2048];
        ASSERT_EQ(d->ReadCD_10(user, sizeof user, 1, static_cast<std::uint32_t>(lba)), 0);
        EXPECT_EQ(Bytes(user, user + 2048), testsupport::UserDataOf(lba));
      }
      if (f.sectorSize >= 2336) {
        Bytes raw = ReadCdRaw(*d, lba, f.sectorSize == 2448 ? 1 : 0);
        ASSERT_FALSE(raw.empty());
        const std::size_t skip = f.sectorSize == 2336 ? 16 : 0;
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), raw.begin() + skip)) << "raw sector differs";
      }
    }
  }
  // One past the end is out of range.
  unsigned char one[2048];
  EXPECT_NE(d->ReadCD_10(one, sizeof one, 1, static_cast<std::uint32_t>(placed.leadOuts.back())), 0);

  if (disc.HasText()) {
    std::memset(toc, 0, sizeof toc);
    std::vector<unsigned char> text(4 + 18 * 256);
    ASSERT_EQ(d->ReadToc(text.data(), static_cast<int>(text.size()), 5, 0), 0);
    const std::size_t bytes = GetBE16(text.data()) - 2;
    EXPECT_TRUE(CdTextMatches(disc, orvane::ParseCdTextPacks(text.data() + 4, bytes)));
    EXPECT_TRUE(CdTextMatches(disc, l.cdText));
  }
}

// Cut at every boundary given, and bytes flipped at random in the region
// given: each either opens into a layout whose runs lie inside the file, or is
// refused with a one-line reason. Never a crash, never a half layout.
inline void ExpectDamageRefusedOrSafe(const testsupport::ScratchDir& dir, const std::string& name, const Bytes& good,
                                      const std::vector<std::size_t>& cuts, std::size_t mutateFrom, std::size_t mutateTo,
                                      int rounds = 300, std::vector<std::pair<std::string, Bytes>> siblings = {}) {
  for (const auto& [sib, bytes] : siblings) dir.Write(sib, bytes);
  auto check = [&](const Bytes& img, const std::string& what) {
    std::string path = dir.Write(name, img);
    orvane::DiscLayout l;
    std::string error;
    if (orvane::OpenImage(path, l, error)) {
      for (const auto& t : l.tracks) {
        ASSERT_GT(t.length, 0u) << what;
        for (const auto& x : t.extents) {
          if (x.file) {
            ASSERT_LE(x.offset + std::uint64_t(x.count) * x.stride, x.file->Size()) << what;
          }
        }
      }
      auto d = Serve(l);
      unsigned char toc[2048];
      d->ReadToc(toc, sizeof toc, 2, 0);
      d->ReadToc(toc, sizeof toc, 5, 0);
      for (const auto& t : l.tracks) {
        unsigned char buf[2352];
        d->ReadCD_All(buf, sizeof buf, 1, static_cast<std::uint32_t>(t.start));
        d->ReadCD_All(buf, sizeof buf, 1, static_cast<std::uint32_t>(t.start + t.length - 1));
      }
    } else {
      ASSERT_FALSE(error.empty()) << what;
      ASSERT_EQ(error.find('\n'), std::string::npos) << what;
      ASSERT_TRUE(l.tracks.empty()) << what;
    }
  };
  for (std::size_t cut : cuts) {
    if (cut > good.size()) continue;
    check(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)), "cut at " + std::to_string(cut));
  }
  std::mt19937 rng(2024);
  mutateTo = std::min(mutateTo, good.size());
  if (mutateTo <= mutateFrom) return;
  for (int r = 0; r < rounds; ++r) {
    Bytes img = good;
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = mutateFrom + rng() % (mutateTo - mutateFrom);
      img[at] = rng() % 3 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(img[at] ^ (1u << (rng() % 8)));
    }
    check(img, "mutation round " + std::to_string(r));
  }
}

}  // namespace formattest
