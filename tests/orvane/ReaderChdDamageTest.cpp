// Damaged CHDs: cut short at each of their structures, a map that points
// outside the file, hunks whose bytes were changed. Each is refused with a
// reason or read with the damaged hunk's sectors unreadable (03/11/05);
// nothing damaged is ever served as data.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "disc/ByteOrder.h"
#include "platform/orvane/ChdContainer.h"
#include "tests/orvane/FormatTestUtil.h"
#include "tests/support/CueSheet.h"

namespace {

using namespace formattest;
using testsupport::ScratchDir;
namespace chd = orvane::chd;

bool HaveChdman() { return std::system("command -v chdman >/dev/null 2>&1") == 0; }

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A two-track CD (data, then audio) made by chdman with the codec given.
std::string MakeChd(const ScratchDir& dir, const std::string& codec) {
  testsupport::FixtureDisc d;
  d.tracks.push_back(Track(TrackMode::Mode1, 2352, 120));
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 80));
  const std::string cue = testsupport::WriteCueSheet(d, dir, "src-" + codec);
  const std::string chd = dir.File(codec + ".chd");
  const std::string cmd = "timeout 300 chdman createcd -c " + codec + " -i " + cue + " -o " + chd + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return chd;
}

struct Parsed {
  chd::Header h;
  std::vector<chd::HunkEntry> map;
};
Parsed Parse(const std::string& path) {
  Parsed p;
  std::string err;
  auto f = orvane::OpenImageFile(path, err);
  EXPECT_TRUE(f && chd::ParseHeader(*f, p.h, err) == chd::HeaderStatus::Ok) << err;
  if (f) EXPECT_EQ(chd::ReadMap(*f, p.h, p.map), chd::MapStatus::Ok);
  return p;
}

TEST(ReaderChdDamage, CutAtEveryStructureOrMutatedMapsAreRefusedOrReadSafely) {
  if (!HaveChdman()) {
    GTEST_SKIP() << "chdman (Debian's mame-tools) is not installed";
  }
  ScratchDir dir;
  for (const std::string codec : {"cdlz,cdzl,cdfl", "none"}) {
    SCOPED_TRACE(codec);
    const Bytes good = Slurp(MakeChd(dir, codec));
    const Parsed p = Parse(dir.File(codec + ".chd"));
    std::vector<std::size_t> cuts = {0, 8, 16, 123, 124, good.size() - 1};
    for (std::uint64_t at : {p.h.mapOffset, p.h.mapOffset + 16, p.h.metaOffset, p.h.metaOffset + 16})
      for (std::int64_t d : {-1, 0, 1}) cuts.push_back(static_cast<std::size_t>(at + d));
    for (const chd::HunkEntry& e : p.map)
      if (e.kind == chd::HunkKind::Codec || e.kind == chd::HunkKind::Uncompressed)
        for (std::uint64_t at : {e.offset, e.offset + e.length / 2, e.offset + e.length}) cuts.push_back(at);
    ExpectDamageRefusedOrSafe(dir, "damaged.chd", good, cuts, static_cast<std::size_t>(p.h.mapOffset),
                              good.size(), 150);
    // The header and the hunks' bytes changed at random too.
    ExpectDamageRefusedOrSafe(dir, "damaged.chd", good, {}, 0, static_cast<std::size_t>(p.h.mapOffset), 150);
  }
}

TEST(ReaderChdDamage, AMapPointingOutsideTheFileIsRefused) {
  if (!HaveChdman()) {
    GTEST_SKIP() << "chdman (Debian's mame-tools) is not installed";
  }
  ScratchDir dir;
  // Compressed map (its CRC covers the offsets): the hunks after the first cut
  // out and the map moved up behind it, so the map is whole but its hunks are gone.
  const Bytes whole = Slurp(MakeChd(dir, "cdzl"));
  Parsed p = Parse(dir.File("cdzl.chd"));
  const std::size_t keep = static_cast<std::size_t>(p.map[1].offset);
  Bytes b(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
  b.insert(b.end(), whole.begin() + static_cast<std::ptrdiff_t>(p.h.mapOffset), whole.end());
  PutBE32(&b[40], 0);
  PutBE32(&b[44], static_cast<std::uint32_t>(keep));
  EXPECT_TRUE(Refused(dir.Write("outside.chd", b), "hunk map points outside the file"));
  // Uncompressed map: a hunk number far past the end.
  b = Slurp(MakeChd(dir, "none"));
  p = Parse(dir.File("none.chd"));
  PutBE32(&b[p.h.mapOffset + 4], 0x00FFFFFF);
  EXPECT_TRUE(Refused(dir.Write("outside-raw.chd", b), "hunk map points outside the file"));
}

TEST(ReaderChdDamage, AHunkThatFailsIsServedAsUnreadableSectorsAndTheRestStillReads) {
  if (!HaveChdman()) {
    GTEST_SKIP() << "chdman (Debian's mame-tools) is not installed";
  }
  ScratchDir dir;
  for (const std::string codec : {"cdzl", "cdlz", "cdfl"}) {
    SCOPED_TRACE(codec);
    const std::string path = MakeChd(dir, codec);
    Bytes b = Slurp(path);
    const Parsed p = Parse(path);
    const std::uint32_t framesPerHunk = p.h.hunkBytes / 2448;
    ASSERT_GT(p.map.size(), 4u);
    ASSERT_EQ(p.map[2].kind, chd::HunkKind::Codec);
    // Bytes in the middle of hunk 2's stream changed: it no longer decompresses, or fails its CRC.
    for (std::uint32_t i = 0; i < 8; ++i) b[p.map[2].offset + p.map[2].length / 2 + i] ^= 0x5A;
    const orvane::DiscLayout l = MustOpen(dir.Write("bad-" + codec + ".chd", b));
    auto d = Serve(l);
    for (std::uint32_t lba = 0; lba < 5 * framesPerHunk; ++lba) {
      unsigned char raw[2352], user[2048];
      const bool inBadHunk = lba / framesPerHunk == 2;
      EXPECT_EQ(d->ReadCD_All(raw, sizeof raw, 1, lba) == 0, !inBadHunk) << "sector " << lba;
      EXPECT_EQ(d->ReadCD_10(user, sizeof user, 1, lba) == 0, !inBadHunk) << "sector " << lba;
      if (inBadHunk) {
        const SenseData_tag s = d->GetSenseData();
        EXPECT_EQ(s.key, 0x03);
        EXPECT_EQ(s.asc, 0x11);
        EXPECT_EQ(s.ascq, 0x05);
      } else {
        EXPECT_EQ(Bytes(user, user + 2048), testsupport::UserDataOf(static_cast<std::int32_t>(lba)));
      }
    }
    // A read that spans the damaged hunk stops before its first sector.
    std::vector<unsigned char> many(16 * 2048);
    EXPECT_NE(d->ReadCD_10(many.data(), 16 * 2048, 16, 2 * framesPerHunk - 4), 0);
  }
}

}  // namespace
