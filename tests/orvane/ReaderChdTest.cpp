// CHD images made by chdman (Debian's mame-tools) from discs the tests build,
// read back and compared sector by sector with the source and with what
// chdman itself extracts; damaged and unsupported CHDs are refused or read
// with their damage served as unreadable sectors.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/orvane/ChdContainer.h"
#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CueSheet.h"

namespace {

using namespace formattest;
using testsupport::ScratchDir;

bool HaveChdman() { return std::system("command -v chdman >/dev/null 2>&1") == 0; }
#define REQUIRE_CHDMAN() \
  if (HaveChdman()) {                                                   \
  } else                                                                \
    GTEST_SKIP() << "chdman (Debian's mame-tools) is not installed"

void Chdman(const std::string& args) {
  const std::string cmd = "timeout 300 chdman " + args + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Data, audio with a pregap, audio without: every stored sector 2352 bytes.
FixtureDisc MixedDisc() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 300));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 200, 75));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 150));
  return d;
}
FixtureDisc Mode2Disc() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode2Xa, 2352, 210));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 101, 150));
  return d;
}
FixtureDisc CookedDisc() {
  FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2048, 333));
  return d;
}

// Both images served: the same TOC, and every sector the same raw and as
// user data, or failing the same way.
void ExpectSameSectors(const std::string& want, const std::string& got) {
  SCOPED_TRACE(got + " against " + want);
  const orvane::DiscLayout a = MustOpen(want), b = MustOpen(got);
  ASSERT_EQ(a.tracks.size(), b.tracks.size());
  for (std::size_t i = 0; i < a.tracks.size(); ++i) {
    EXPECT_EQ(a.tracks[i].mode, b.tracks[i].mode) << "track " << i + 1;
    EXPECT_EQ(a.tracks[i].start, b.tracks[i].start) << "track " << i + 1;
    EXPECT_EQ(a.tracks[i].length, b.tracks[i].length) << "track " << i + 1;
  }
  auto da = Serve(a), db = Serve(b);
  unsigned char ta[2048] = {}, tb[2048] = {};
  ASSERT_EQ(da->ReadToc(ta, sizeof ta, 0, 0), 0);
  ASSERT_EQ(db->ReadToc(tb, sizeof tb, 0, 0), 0);
  EXPECT_EQ(0, std::memcmp(ta, tb, sizeof ta)) << "TOC differs";
  const std::int32_t end = a.sessions.back().leadOut;
  int differing = 0;
  for (std::int32_t lba = 0; lba < end && differing < 5; ++lba) {
    unsigned char ua[2048] = {}, ub[2048] = {};
    const int sa = da->ReadCD_10(ua, sizeof ua, 1, static_cast<std::uint32_t>(lba));
    const int sb = db->ReadCD_10(ub, sizeof ub, 1, static_cast<std::uint32_t>(lba));
    const bool same = ReadCdRaw(*da, lba) == ReadCdRaw(*db, lba) && (sa == 0) == (sb == 0) &&
                      (sa != 0 || std::memcmp(ua, ub, sizeof ua) == 0);
    if (!same) ADD_FAILURE() << "sector " << lba << " differs";
    differing += !same;
  }
}

// The hunk map of a CHD as our container parser reads it.
std::vector<orvane::chd::HunkEntry> MapOf(const std::string& path, orvane::chd::Header& h) {
  std::string err;
  auto f = orvane::OpenImageFile(path, err);
  std::vector<orvane::chd::HunkEntry> map;
  if (!f || orvane::chd::ParseHeader(*f, h, err) != orvane::chd::HeaderStatus::Ok) return map;
  EXPECT_EQ(orvane::chd::ReadMap(*f, h, map), orvane::chd::MapStatus::Ok);
  return map;
}

TEST(ReaderChd, CdsFromCueSheetsMatchTheirSourceAndChdmansOwnExtraction) {
  REQUIRE_CHDMAN();
  ScratchDir dir;
  const std::vector<std::pair<std::string, FixtureDisc>> discs = {
      {"mixed", MixedDisc()}, {"mode2", Mode2Disc()}, {"cooked", CookedDisc()}};
  for (const auto& [name, disc] : discs) {
    SCOPED_TRACE(name);
    const std::string cue = testsupport::WriteCueSheet(disc, dir, name);
    const std::string chd = dir.File(name + ".chd");
    Chdman("createcd -i " + cue + " -o " + chd);
    ExpectServes(disc, chd);
    ExpectSameSectors(cue, chd);
    EXPECT_EQ(MustOpen(chd).format, "CHD");
    Chdman("extractcd -i " + chd + " -o " + dir.File(name + "-back.cue") + " -ob " + dir.File(name + "-back.bin"));
    ExpectSameSectors(dir.File(name + "-back.cue"), chd);
  }
}

TEST(ReaderChd, EveryCdCodecAndHunkSizeReadsTheSameSectors) {
  REQUIRE_CHDMAN();
  ScratchDir dir;
  const std::string cue = testsupport::WriteCueSheet(MixedDisc(), dir, "disc");
  for (const char* codec : {"cdzl", "cdlz", "cdfl", "none"}) {
    for (int frames : {1, 8, 13}) {
      SCOPED_TRACE(std::string(codec) + " with hunks of " + std::to_string(frames) + " frames");
      const std::string chd = dir.File(std::string(codec) + std::to_string(frames) + ".chd");
      Chdman("createcd -c " + std::string(codec) + " -hs " + std::to_string(frames * 2448) + " -i " + cue + " -o " + chd);
      orvane::chd::Header h;
      const auto map = MapOf(chd, h);
      EXPECT_EQ(h.compressors[0], std::string(codec) == "none" ? 0u : orvane::chd::Tag(codec));
      EXPECT_EQ(h.hunkBytes, static_cast<std::uint32_t>(frames * 2448));
      ExpectSameSectors(cue, chd);
    }
  }
}

// An ISO whose second half repeats itself and ends in zeros, so the writer
// stores hunks as references to earlier ones.
Bytes RepetitiveIso() {
  Bytes iso = testsupport::IsoVolume(600);
  const Bytes again(iso.begin() + 100 * 2048, iso.begin() + 300 * 2048);
  iso.insert(iso.end(), again.begin(), again.end());
  iso.resize(iso.size() + 200 * 2048, 0);
  return iso;
}

TEST(ReaderChd, RawDvdChdsOfEveryCodecServeTheIsoAsDvdRom) {
  REQUIRE_CHDMAN();
  ScratchDir dir;
  const Bytes iso = RepetitiveIso();
  const std::string isoPath = dir.Write("dvd.iso", iso);
  for (const char* codec : {"default", "zlib", "lzma", "huff", "flac", "none"}) {
    SCOPED_TRACE(codec);
    const std::string chd = dir.File(std::string(codec) + ".chd");
    const std::string c = std::string(codec) == "default" ? "" : std::string("-c ") + codec + " ";
    Chdman("createraw " + c + "-hs 4096 -us 2048 -i " + isoPath + " -o " + chd);
    orvane::chd::Header h;
    const auto map = MapOf(chd, h);
    if (std::string(codec) != "none")
      EXPECT_TRUE(std::any_of(map.begin(), map.end(),
                              [](const auto& e) { return e.kind == orvane::chd::HunkKind::Self; }))
          << "the writer made no self references; the case is not covered";
    const orvane::DiscLayout l = MustOpen(chd);
    EXPECT_EQ(l.profile, 0x10);
    ASSERT_EQ(l.tracks.size(), 1u);
    EXPECT_EQ(l.tracks[0].length, iso.size() / 2048);
    auto d = Serve(l);
    EXPECT_EQ(d->GetMediumType(), 0x10);
    Bytes got(iso.size());
    const std::size_t sectors = iso.size() / 2048;
    for (std::size_t at = 0; at < sectors; at += 16) {
      const int n = static_cast<int>(std::min<std::size_t>(16, sectors - at));
      ASSERT_EQ(d->ReadCD_10(got.data() + at * 2048, n * 2048, n, static_cast<std::uint32_t>(at)), 0) << at;
    }
    EXPECT_TRUE(got == iso) << "user data differs from the ISO";
    Chdman("extractraw -i " + chd + " -o " + dir.File(std::string(codec) + ".raw"));
    EXPECT_TRUE(Slurp(dir.File(std::string(codec) + ".raw")) == got) << "differs from chdman's extraction";
  }
}

TEST(ReaderChd, ChdsThatAreNoCdOrDvdOrNeedWhatWeLackAreRefusedSayingWhy) {
  REQUIRE_CHDMAN();
  ScratchDir dir;
  const std::string cue = testsupport::WriteCueSheet(MixedDisc(), dir, "disc");
  const std::string parent = dir.File("parent.chd"), child = dir.File("child.chd");
  Chdman("createcd -i " + cue + " -o " + parent);
  Chdman("createcd -i " + cue + " -o " + child + " -op " + parent);
  const Bytes p = Slurp(parent);
  std::string sha;
  for (int i = 84; i < 104; ++i) {
    char b[3];
    std::snprintf(b, sizeof b, "%02x", p[i]);
    sha += b;
  }
  EXPECT_TRUE(Refused(child, "parent CHD (SHA-1 " + sha + ")"));

  // 2048-byte units without a volume descriptor at sector 16: no sign of a DVD.
  const std::string plain = dir.Write("plain.bin", testsupport::PatternSectors(0, 40));
  Chdman("createraw -hs 4096 -us 2048 -i " + plain + " -o " + dir.File("plain.chd"));
  EXPECT_TRUE(Refused(dir.File("plain.chd"), "neither a CD nor a DVD"));

  const std::string hd = dir.File("hd.chd");
  Chdman("createhd -s 1048576 -o " + hd);
  EXPECT_TRUE(Refused(hd, "hard-disk CHD"));

  // Metadata tags and codecs chdman 0.251 does not write for a CD, put in place of its own.
  auto patched = [&](const std::string& from, const std::string& to, const std::string& name) {
    Bytes b = p;
    int found = 0;
    for (auto at = b.begin(); (at = std::search(at, b.end(), from.begin(), from.end())) != b.end(); ++found)
      at = std::copy(to.begin(), to.end(), at);
    EXPECT_GT(found, 0);
    return dir.Write(name, b);
  };
  EXPECT_TRUE(Refused(patched("CHT2", "CHGD", "gd.chd"), "GD-ROM CHD"));
  EXPECT_TRUE(Refused(patched("CHT2", "AVLD", "ld.chd"), "laserdisc CHD"));
  EXPECT_TRUE(Refused(patched("cdfl", "avhu", "avhu.chd"), "codec 'avhu'"));
  EXPECT_TRUE(Refused(patched("CHT2", "XXXX", "blank.chd"), "neither a CD nor a DVD"));
}

}  // namespace
