// CD-TEXT files beside a CUE sheet (CDTEXTFILE): their packs are the disc's
// CD-TEXT, served as recorded, whichever way the file stores them.
#include "tests/orvane/FormatTestUtil.h"

using namespace formattest;
using testsupport::ScratchDir;

namespace {

FixtureDisc Album() {
  FixtureDisc d;
  d.title = "Album from file";
  d.performer = "Band";
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 100));
  d.tracks.back().title = "One";
  d.tracks.push_back(Track(TrackMode::Audio, 2352, 100));
  d.tracks.back().title = "Two";
  d.tracks.back().performer = "Guest";
  return d;
}

const std::string kSheet =
    "TITLE \"Sheet title\"\nFILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nTITLE \"sheet one\"\nINDEX 01 00:00:00\n"
    "TRACK 02 AUDIO\nINDEX 01 00:01:25\n";

}  // namespace

TEST(FormatCdt, PacksInEveryStoredShapeAreServedAsRecorded) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(200));
  const std::vector<std::uint8_t> packs = testsupport::FixtureCdTextPacks(Album());
  Bytes withHeader(4, 0);
  PutBE16(withHeader.data(), static_cast<std::uint32_t>(packs.size() + 2));
  withHeader.insert(withHeader.end(), packs.begin(), packs.end());
  Bytes withNul(packs.begin(), packs.end());
  withNul.push_back(0);
  Bytes headerAndNul = withHeader;
  headerAndNul.push_back(0);
  for (const Bytes& file : {Bytes(packs.begin(), packs.end()), withHeader, withNul, headerAndNul}) {
    dir.Write("a.cdt", file);
    auto l = MustOpen(dir.Write("a.cue", "CDTEXTFILE \"a.cdt\"\n" + kSheet));
    EXPECT_EQ(l.cdTextPacks, packs);
    EXPECT_TRUE(CdTextMatches(Album(), l.cdText));  // the file's texts, not the sheet's
    auto d = Serve(l);
    std::vector<unsigned char> toc(4 + packs.size() + 100);
    ASSERT_EQ(d->ReadToc(toc.data(), static_cast<int>(toc.size()), 5, 0), 0);
    ASSERT_EQ(GetBE16(toc.data()), packs.size() + 2);
    EXPECT_TRUE(std::equal(packs.begin(), packs.end(), toc.begin() + 4));
  }
  // The name is found whatever its case, as the sheet's data files are.
  dir.Write("A.CDT", Bytes(packs.begin(), packs.end()));
  std::remove(dir.File("a.cdt").c_str());
  EXPECT_EQ(MustOpen(dir.Write("a.cue", "CDTEXTFILE a.cdt\n" + kSheet)).cdTextPacks, packs);
}

// What a file manager does when the user opens the .cdt: the disc is the
// sheet of the same name beside it.
TEST(FormatCdt, OpeningTheCdTextFileItselfOpensTheSheetBesideIt) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(200));
  const std::vector<std::uint8_t> packs = testsupport::FixtureCdTextPacks(Album());
  dir.Write("a.cdt", Bytes(packs.begin(), packs.end()));
  dir.Write("a.cue", "CDTEXTFILE \"a.cdt\"\n" + kSheet);
  auto l = MustOpen(dir.File("a.cdt"));
  EXPECT_EQ(l.tracks.size(), 2u);
  EXPECT_EQ(l.cdTextPacks, packs);
  // Alone, or beside something that is no sheet, a .cdt is no disc.
  dir.Write("lonely.cdt", Bytes(packs.begin(), packs.end()));
  EXPECT_TRUE(Refused(dir.File("lonely.cdt"), "is not a disc image"));
  dir.Write("b.cdt", Bytes(packs.begin(), packs.end()));
  dir.Write("b.cue", Bytes(600, 0));
  EXPECT_TRUE(Refused(dir.File("b.cdt"), "is not a disc image"));
}

TEST(FormatCdt, MissingAndDamagedFilesAreRefused) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(200));
  auto sheet = [&](const std::string& name) { return dir.Write("a.cue", "CDTEXTFILE \"" + name + "\"\n" + kSheet); };
  EXPECT_TRUE(Refused(sheet("gone.cdt"), "line 1: names a missing file: gone.cdt"));
  dir.Write("junk.cdt", Bytes(36, 0x41));
  EXPECT_TRUE(Refused(sheet("junk.cdt"), "junk.cdt is not a CD-TEXT file"));
  const auto packs = testsupport::FixtureCdTextPacks(Album());
  Bytes badCrc(packs.begin(), packs.end());
  for (std::size_t i = 16; i < badCrc.size(); i += 18) badCrc[i] ^= 0xFF;
  dir.Write("crc.cdt", badCrc);
  EXPECT_TRUE(Refused(sheet("crc.cdt"), "holds no whole CD-TEXT pack"));
  dir.Write("short.cdt", Bytes(10, 0x80));
  EXPECT_TRUE(Refused(sheet("short.cdt"), "holds no whole CD-TEXT pack"));
  dir.Write("huge.cdt", Bytes(100000, 0x80));
  EXPECT_TRUE(Refused(sheet("huge.cdt"), "too large"));
}

TEST(FormatCdt, MutatedFilesNeverCrash) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(200));
  dir.Write("m.cue", "CDTEXTFILE \"m.cdt\"\n" + kSheet);
  const auto packs = testsupport::FixtureCdTextPacks(Album());
  const Bytes good(packs.begin(), packs.end());
  std::mt19937 rng(5);
  int opened = 0;
  for (int round = 0; round < 300; ++round) {
    Bytes b = good;
    for (int e = 0, n = 1 + static_cast<int>(rng() % 8); e < n; ++e) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
    b.resize(b.size() - rng() % 40);
    dir.Write("m.cdt", b);
    orvane::DiscLayout l;
    std::string error;
    if (orvane::OpenImage(dir.File("m.cue"), l, error)) {
      ++opened;
      auto d = Serve(l);
      std::vector<unsigned char> toc(4096);
      d->ReadToc(toc.data(), static_cast<int>(toc.size()), 5, 0);
      FS_CDTEXT_INFO info{};
      d->GetCDText(info);
    } else {
      EXPECT_EQ(error.find('\n'), std::string::npos);
    }
  }
  EXPECT_GT(opened, 0);
}
