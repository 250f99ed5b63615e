// Images with a header before their sectors: the stream is found by its ISO
// 9660 volume descriptor, cooked or raw, whatever the header holds.
#include <random>

#include "tests/orvane/FormatTestUtil.h"

using namespace formattest;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {

Bytes Header(std::size_t n, unsigned seed) {
  Bytes h(n);
  std::mt19937 rng(seed);
  for (auto& b : h) b = static_cast<std::uint8_t>(rng());
  return h;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A raw track whose user data is an ISO volume of count sectors.
Bytes RawVolume(std::uint32_t count, RawMode mode) {
  const Bytes iso = testsupport::IsoVolume(count, mode != RawMode::Mode1);
  Bytes out;
  for (std::uint32_t i = 0; i < count; ++i) {
    Bytes s = testsupport::RawSector(static_cast<std::int32_t>(i), mode, iso.data() + std::size_t(i) * 2048, 2048);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

}  // namespace

TEST(FormatVcd, CookedAndRawStreamsBehindHeaders) {
  ScratchDir dir;
  const Bytes iso = testsupport::IsoVolume(60), xaIso = testsupport::IsoVolume(60, true);
  struct Case {
    const char* name;
    Bytes image;
    TrackMode mode;
  } cases[] = {
      {"a.vcd", Cat(Header(0x5000, 1), iso), TrackMode::Mode1},
      {"odd.vcd", Cat(Header(1234, 2), iso), TrackMode::Mode1},
      {"raw.vcd", Cat(Header(4096, 3), RawVolume(60, RawMode::Mode1)), TrackMode::Mode1},
      {"xa.img", Cat(Header(777, 4), RawVolume(60, RawMode::Mode2Form1)), TrackMode::Mode2Xa},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto l = MustOpen(dir.Write(c.name, c.image));
    EXPECT_EQ(l.format, "VCD");
    ASSERT_EQ(l.tracks.size(), 1u);
    EXPECT_EQ(l.tracks[0].mode, c.mode);
    EXPECT_EQ(l.tracks[0].length, 60u);
    EXPECT_EQ(l.profile, 0x08);
    auto d = Serve(l);
    EXPECT_EQ(d->JudgeFileSystem(0), 1);  // ISO 9660 at the track's start
    unsigned char user[2048];
    for (std::uint32_t lba : {0u, 16u, 30u, 59u}) {
      ASSERT_EQ(d->ReadCD_10(user, sizeof user, 1, lba), 0);
      const Bytes& want = c.mode == TrackMode::Mode2Xa ? xaIso : iso;
      EXPECT_EQ(Bytes(user, user + 2048), Bytes(want.begin() + lba * 2048, want.begin() + (lba + 1) * 2048)) << lba;
    }
    EXPECT_NE(d->ReadCD_10(user, sizeof user, 1, 60), 0);
  }
}

TEST(FormatVcd, PlainImagesStayWithTheirReaders) {
  ScratchDir dir;
  // Without a header an ISO is an ISO and a raw image a BIN, whatever the name.
  EXPECT_EQ(MustOpen(dir.Write("plain.vcd", testsupport::IsoVolume(40))).format, "ISO");
  EXPECT_EQ(MustOpen(dir.Write("raw.vcd", RawVolume(40, RawMode::Mode1))).format, "BIN");
}

TEST(FormatVcd, TruncatedAndForeignFilesAreRefused) {
  ScratchDir dir;
  Bytes img = Cat(Header(3000, 5), testsupport::IsoVolume(60));
  img.resize(img.size() - 10 * 2048);
  EXPECT_TRUE(Refused(dir.Write("cut.vcd", img), "truncated: its volume has 60 sectors"));
  // A descriptor signature alone, without the descriptor after it, is no volume.
  Bytes junk = Header(200000, 6);
  std::memcpy(&junk[100000], "\x01" "CD001\x01", 7);
  EXPECT_TRUE(Refused(dir.Write("junk.vcd", junk), "not a disc image"));
}

TEST(FormatVcd, MutatedHeadersNeverCrash) {
  ScratchDir dir;
  const Bytes good = Cat(Header(2500, 7), RawVolume(40, RawMode::Mode1));
  std::vector<std::size_t> cuts;
  for (std::size_t at = 2500 + 15 * 2352; at < 2500 + 19 * 2352; at += 97) cuts.push_back(at);
  ExpectDamageRefusedOrSafe(dir, "m.vcd", good, cuts, 2500 + 15 * 2352, 2500 + 19 * 2352, 200);
}
