// What an image's surroundings add to it: a ddrescue mapfile's holes and the
// open track of an incrementally written UDF disc.
#include <random>

#include "tests/orvane/ReaderTestUtil.h"
#include "tests/support/UdfBuilder.h"

using namespace readertest;
using testsupport::Bytes;
using testsupport::RawMode;
using testsupport::ScratchDir;

namespace {
std::vector<std::pair<std::int32_t, std::uint32_t>> Bad(const orvane::DiscLayout& l) {
  std::vector<std::pair<std::int32_t, std::uint32_t>> out;
  for (const auto& b : l.badSectors) out.emplace_back(b.first, b.count);
  return out;
}
using Ranges = std::vector<std::pair<std::int32_t, std::uint32_t>>;
}  // namespace

TEST(ReaderRescue, MapfileHolesBecomeBadSectorsRoundedOutward) {
  ScratchDir dir;
  std::string iso = dir.Write("disc.iso", testsupport::IsoVolume(100));
  dir.Write("disc.iso.map",
            "# Mapfile. Created by GNU ddrescue\n"
            "# current_pos  current_status  current_pass\n"
            "0x00007000     +               1\n"
            "#      pos        size  status\n"
            "0x00000000  0x00005000  +\n"
            "0x00005000  0x00001800  -\n"   // sectors 10-12
            "0x00006800  0x00000800  *\n"   // 13, joins the above
            "0x00007000  0x00000900  +\n"
            "0x00007900  0x00000010  ?\n"   // inside sector 15: the whole sector
            "0x00007910  0x00028000  +\n"
            "0x0002F910  0x00002000  /\n"   // 95.x - 99.x: up to the end
            "0x00031910  0x00000100  +\n");
  auto l = MustOpen(iso);
  EXPECT_EQ(Bad(l), (Ranges{{10, 4}, {15, 1}, {95, 5}}));
}

TEST(ReaderRescue, MapBesideARawImageCountsRawSectorsAndAShortMapLeavesTheRestUnread) {
  ScratchDir dir;
  std::string bin = dir.Write("rescued.bin", testsupport::RawTrack(0, 50, RawMode::Mode1));
  // Named by replacing the extension; covers only the first 30 sectors.
  dir.Write("rescued.map", "0 +\n0 " + std::to_string(2352 * 20) + " +\n" + std::to_string(2352 * 20) + " " +
                               std::to_string(2352 * 10 - 1) + " +\n");
  auto l = MustOpen(bin);
  EXPECT_EQ(Bad(l), (Ranges{{29, 21}}));  // the last byte of sector 29 and all after it
}

TEST(ReaderRescue, MapOfASecondFileMapsThroughTheSheet) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(100));
  dir.Write("b.bin", testsupport::RawTrack(0, 40, RawMode::Mode1));
  dir.Write("b.bin.map", "0 +\n0 " + std::to_string(2352 * 5) + " +\n" + std::to_string(2352 * 5) + " " +
                             std::to_string(2352 * 2) + " -\n" + std::to_string(2352 * 7) + " " +
                             std::to_string(2352 * 33) + " +\n");
  auto l = MustOpen(dir.Write("d.cue", "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                       "FILE b.bin BINARY\nTRACK 02 MODE1/2352\nINDEX 01 00:00:00\n"));
  EXPECT_EQ(Bad(l), (Ranges{{105, 2}}));
}

TEST(ReaderRescue, MapfilesThatCannotBeReadRefuseTheImage) {
  ScratchDir dir;
  std::string iso = dir.Write("m.iso", testsupport::IsoVolume(20));
  for (const char* map : {"", "garbage here\n", "0 +\n0 0x800 x\n", "0 +\n0x800 0x800 +\n", "0 +\n0 -5 +\n",
                          "0 +\n0 0xFFFFFFFFFFFFFFFF +\n1 0xFFFFFFFFFFFFFFFF +\n"}) {
    SCOPED_TRACE(map);
    dir.Write("m.iso.map", std::string(map));
    EXPECT_TRUE(Refused(iso, "mapfile"));
  }
  dir.Write("m.iso.map", std::string("0 +\n0 0xA000 +\n"));
  EXPECT_TRUE(MustOpen(iso).badSectors.empty());
}

TEST(ReaderRescue, VirtualUdfVolumeIsServedAsAnOpenCdrTrack) {
  testsupport::UdfBuildOptions opt;
  opt.partition = testsupport::UdfPartitionKind::Virtual;
  for (bool efe : {false, true}) {
    SCOPED_TRACE(efe);
    opt.extendedEntries = efe;
    opt.revision = efe ? 0x0201 : 0x0150;
    auto img = testsupport::BuildUdfImage(testsupport::UdfNode::Dir("", {testsupport::UdfNode::File("a.txt", "hi")}), opt);
    ScratchDir dir;
    ASSERT_TRUE(img.nextWritable);
    // As the drive serves it (blank link blocks after the table) and as a copy
    // that ends with the table's file entry.
    std::string served = dir.File("served.iso");
    ASSERT_TRUE(img.WriteTo(served));
    Bytes cut(img.bytes.begin(), img.bytes.begin() + std::size_t(img.vatSector + 1) * 2048);
    for (const std::string& path : {served, dir.Write("cut.iso", cut)}) {
      auto l = MustOpen(path);
      EXPECT_EQ(l.profile, 0x09);
      EXPECT_EQ(l.discStatus, 1);
      ASSERT_TRUE(l.tracks.at(0).nextWritable);
      EXPECT_EQ(*l.tracks[0].nextWritable, *img.nextWritable);
      EXPECT_EQ(*l.tracks[0].nextWritable, img.vatSector + 8);
    }
  }
}

TEST(ReaderRescue, OnlyAValidFileEntryAtTheVeryEndOpensTheTrack) {
  ScratchDir dir;
  auto withLast = [](Bytes last) {
    Bytes iso = testsupport::IsoVolume(40);
    std::copy(last.begin(), last.end(), iso.end() - 2048);
    return iso;
  };
  auto fe = testsupport::UdfTagSector(261, 39);
  EXPECT_TRUE(MustOpen(dir.Write("fe.iso", withLast(fe))).tracks.at(0).nextWritable);
  EXPECT_EQ(*MustOpen(dir.Write("efe.iso", withLast(testsupport::UdfTagSector(266, 39)))).tracks.at(0).nextWritable,
            47u);
  // Up to seven blank link blocks may follow the entry, not more.
  Bytes linked = testsupport::IsoVolume(40);
  std::copy(fe.begin(), fe.end(), linked.end() - 8 * 2048);
  std::fill(linked.end() - 7 * 2048, linked.end(), 0);
  EXPECT_EQ(*MustOpen(dir.Write("link.iso", linked)).tracks.at(0).nextWritable, 40u);
  std::fill(linked.end() - 8 * 2048, linked.end(), 0);
  std::copy(fe.begin(), fe.end(), linked.end() - 9 * 2048);
  EXPECT_FALSE(MustOpen(dir.Write("gap.iso", linked)).tracks.at(0).nextWritable);
  auto badSum = fe;
  badSum[4] ^= 1;
  for (const Bytes& last : {badSum, testsupport::UdfTagSector(257, 39), Bytes(2048, 0)}) {
    auto l = MustOpen(dir.Write("closed.iso", withLast(last)));
    EXPECT_FALSE(l.tracks.at(0).nextWritable);
    EXPECT_EQ(l.profile, 0x08);
    EXPECT_EQ(l.discStatus, 2);
  }
  // An audio BIN whose last bytes happen to look like a tag stays a pressed disc.
  Bytes audio = testsupport::AudioSectors(10);
  std::copy(fe.begin(), fe.begin() + 16, audio.end() - 2352);
  EXPECT_FALSE(MustOpen(dir.Write("a.bin", audio)).tracks.at(0).nextWritable);
}

// Whatever a damaged mapfile says, the image is refused with a reason or its
// bad ranges lie inside the disc.
TEST(ReaderRescue, MutatedMapfilesNeverCrash) {
  ScratchDir dir;
  std::string iso = dir.Write("f.iso", testsupport::IsoVolume(64));
  const std::string good = "# Mapfile\n0x00010000 ? 1\n0x00000000 0x00004000 +\n0x00004000 0x00000200 -\n"
                           "0x00004200 0x0001BE00 +\n0x00020000 0x00000800 /\n";
  const char alphabet[] = "0123456789abcdefx+-*/?# \n";
  std::mt19937 rng(4242);
  for (int round = 0; round < 400; ++round) {
    std::string m = good;
    for (int e = 0, n = 1 + static_cast<int>(rng() % 4); e < n; ++e) {
      std::size_t at = rng() % m.size();
      if (rng() % 2) m[at] = alphabet[rng() % (sizeof alphabet - 1)];
      else m.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]);
    }
    dir.Write("f.iso.map", m);
    orvane::DiscLayout l;
    std::string error;
    if (orvane::OpenImage(iso, l, error)) {
      for (const auto& b : l.badSectors) {
        ASSERT_GE(b.first, 0) << m;
        ASSERT_LE(std::int64_t(b.first) + b.count, 64) << m;
      }
    } else {
      ASSERT_NE(error.find("mapfile"), std::string::npos) << error;
    }
  }
}
