// tessal-cli tree and ls give the same tree and lists whichever image format
// holds the volume: a plain ISO, the same sectors raw in a BIN alone, behind
// cue sheets of each data mode, as CD-ROM XA Mode 2 sectors, and in the
// formats of other burning and dumping tools (Nero, CloneCD, cdrdao, Alcohol,
// images with a header of their own).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "disc/ByteOrder.h"
#include "platform/orvane/Readers.h"

#include "tests/cli/BrowserCliUtil.h"
#include "tests/support/FormatImages.h"
#include "tests/support/IsoBuilder.h"

using namespace browsercli;
using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;
using testsupport::ScratchDir;

namespace {

IsoBuilder Volume() {
  IsoBuilder b;
  b.joliet = true;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  docs.jolietName = "Documents";
  b.File(docs, "README.TXT;1", Bytes(5000, 'r')).jolietName = "Read me.txt;1";
  IsoNode& deep = b.Folder(docs, "DEEP");
  b.File(deep, "LEAF.DAT;1", Bytes(3, 'x'));
  IsoNode& wide = b.Folder(b.Root(), "WIDE");
  for (int i = 0; i < 90; ++i) b.File(wide, "F" + std::to_string(100 + i) + ".BIN;1", Bytes(static_cast<std::size_t>(i) * 11, 'w'));
  return b;
}

// A disc of one Mode 1 data track of `sectors` sectors stored `sectorSize`
// bytes a sector, in the fixtures' layout.
testsupport::FixtureDisc OneDataTrack(std::uint32_t sectors, std::uint32_t sectorSize) {
  testsupport::FixtureDisc d;
  testsupport::FixtureTrack t;
  t.sectorSize = sectorSize;
  t.length = sectors;
  d.tracks.push_back(t);
  return d;
}

// Puts the volume's sectors where an image file keeps the fixture track's
// sectors: found by the user data of sector 0, each sector checked before it
// is replaced (raw sectors are made anew with their EDC and ECC).
bool PutVolume(const std::string& path, const Bytes& volume, std::uint32_t sectorSize) {
  Bytes file = ReadWhole(path);
  const Bytes first = testsupport::UserDataOf(0);
  auto at = std::search(file.begin(), file.end(), first.begin(), first.end());
  if (at == file.end()) return false;
  const std::size_t userAt = static_cast<std::size_t>(at - file.begin());
  const std::size_t skip = sectorSize == 2048 ? 0 : 16;
  if (userAt < skip) return false;
  const std::size_t base = userAt - skip;
  const std::size_t count = volume.size() / 2048;
  if (base + count * sectorSize > file.size()) return false;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* s = file.data() + base + i * sectorSize;
    const Bytes expected = testsupport::UserDataOf(static_cast<std::int32_t>(i));
    if (!std::equal(expected.begin(), expected.end(), s + skip)) return false;
    const std::uint8_t* user = volume.data() + i * 2048;
    if (sectorSize == 2048) {
      std::copy(user, user + 2048, s);
    } else {
      const Bytes raw = testsupport::RawSector(static_cast<std::int32_t>(i), testsupport::RawMode::Mode1, user, 2048);
      std::copy(raw.begin(), raw.end(), s);
    }
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(file.data()),
                                                                 static_cast<std::streamsize>(file.size()));
  return true;
}

// "tree SOURCE" or "ls SOURCE PATH" for every source prints what it prints
// for the reference.
void ExpectSameOutputs(const std::string& reference, const std::vector<std::string>& sources,
                       const std::vector<std::string>& lsPaths, const ScratchDir& dir) {
  auto run = [&](const std::string& source, const std::string* path) {
    return Tessal(path ? "ls " + Q(source) + " " + Q(*path) : "tree " + Q(source), dir);
  };
  std::vector<const std::string*> commands{nullptr};
  for (const std::string& p : lsPaths) commands.push_back(&p);
  for (const std::string* path : commands) {
    SCOPED_TRACE(path ? *path : "tree");
    const auto ref = run(reference, path);
    ASSERT_EQ(ref.status, 0) << ref.err;
    ASSERT_GE(Lines(ref.out).size(), 2u) << "a header and at least one row";
    for (const std::string& source : sources) {
      SCOPED_TRACE(source);
      const auto got = run(source, path);
      ASSERT_EQ(got.status, 0) << got.err;
      EXPECT_EQ(got.out, ref.out);
    }
  }
}

}  // namespace

TEST(BrowserCliFormats, EveryFormatShowsTheSameTreeAndLists) {
  ScratchDir dir;
  IsoBuilder b = Volume();
  const Bytes user = b.Build();
  const auto sectors = static_cast<std::uint32_t>(user.size() / 2048);
  const std::string iso = dir.Write("v.iso", user);
  auto ref = Tessal("tree " + Q(iso), dir);
  ASSERT_EQ(ref.status, 0) << ref.err;
  EXPECT_EQ(ref.out, "Session 1\t0\n"
                     "  DATA TRACK 1(ISO)\t" + std::to_string(b.Root().jExtent) + "\n"
                     "    Documents\t" + std::to_string(b.Find("/DOCS")->jExtent) + "\n"
                     "      DEEP\t" + std::to_string(b.Find("/DOCS/DEEP")->jExtent) + "\n"
                     "    WIDE\t" + std::to_string(b.Find("/WIDE")->jExtent) + "\n"
                     "(Lead Out) " + std::to_string(sectors) + "\t0\n");
  auto refWide = Tessal("ls " + Q(iso) + " " + Q("Session 1/DATA TRACK 1(ISO)/WIDE"), dir);
  ASSERT_EQ(refWide.status, 0) << refWide.err;
  EXPECT_EQ(Lines(refWide.out).size(), 91u);

  // The same sectors raw in a BIN alone, cooked under another name, behind
  // cue sheets of both Mode 1 layouts.
  std::vector<std::string> sources{dir.Write("raw.bin", RawMode1Sectors(user)), dir.Write("cooked.img", user)};
  sources.push_back(dir.Write("raw.cue", std::string("FILE \"raw.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n")));
  sources.push_back(
      dir.Write("cooked.cue", std::string("FILE \"cooked.img\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n")));
  // Other tools' formats, their track's sectors replaced by the volume's.
  const std::string nrg = dir.Write("v.nrg", testsupport::NrgImage(OneDataTrack(sectors, 2048)));
  ASSERT_TRUE(PutVolume(nrg, user, 2048));
  sources.push_back(nrg);
  testsupport::WriteCloneCd(OneDataTrack(sectors, 2352), dir, "clone");
  ASSERT_TRUE(PutVolume(dir.File("clone.img"), user, 2352));
  sources.push_back(dir.File("clone.ccd"));
  testsupport::WriteCdrdaoToc(OneDataTrack(sectors, 2048), dir, "cdrdao");
  ASSERT_TRUE(PutVolume(dir.File("cdrdao.bin"), user, 2048));
  sources.push_back(dir.File("cdrdao.toc"));
  testsupport::WriteMds(OneDataTrack(sectors, 2048), dir, "alcohol");
  ASSERT_TRUE(PutVolume(dir.File("alcohol.mdf"), user, 2048));
  sources.push_back(dir.File("alcohol.mds"));
  Bytes vcd(12288, 0);  // a header of another program's own
  std::copy_n("VIRTUALCD", 9, vcd.begin());
  vcd.insert(vcd.end(), user.begin(), user.end());
  sources.push_back(dir.Write("v.vcd", vcd));

  ExpectSameOutputs(iso, sources,
                    {"/Documents", "Session 1/DATA TRACK 1(ISO)/WIDE", "Session 1/DATA TRACK 1(ISO)/Documents/DEEP"},
                    dir);
}

// A track-at-once disc of three data tracks that hold one ISO 9660 volume:
// the recorder left 150 sectors before tracks 2 and 3, which the volume's
// extents count and the Nero image does not store (its tracks lie back to
// back). Every file comes out whole, and libcdio places the tracks where we do.
TEST(BrowserCliFormats, TrackAtOnceNeroFilesAfterTheGapsExtractWhole) {
  ScratchDir dir;
  IsoBuilder b;
  const Bytes first(3000, 'a'), second = testsupport::PatternSectors(9000, 40, 2048, 3),
              third = testsupport::PatternSectors(7000, 5, 2048, 9);
  b.File(b.Root(), "A.TXT;1", first);
  b.File(b.Root(), "B.DAT;1", second);
  b.File(b.Root(), "C.DAT;1", third);
  Bytes volume = b.Build();
  IsoNode& nb = *b.Find("/B.DAT;1");
  IsoNode& nc = *b.Find("/C.DAT;1");
  const std::uint32_t track2 = nb.extent, track3 = nc.extent, end = static_cast<std::uint32_t>(volume.size() / 2048);
  ASSERT_LT(track2, track3);
  // The extents and the volume's size as the disc holds them: B after one gap, C after two.
  auto both32 = [&](std::size_t at, std::uint32_t v) {
    PutLE32(&volume[at], v);
    PutBE32(&volume[at + 4], v);
  };
  both32(nb.record + 2, track2 + 150);
  both32(nc.record + 2, track3 + 300);
  both32(16 * 2048 + 80, end + 300);

  testsupport::FixtureDisc disc;
  disc.tracks.push_back(testsupport::Track(orvane::TrackMode::Mode1, 2048, track2));
  disc.tracks.push_back(testsupport::Track(orvane::TrackMode::Mode1, 2048, track3 - track2, 150));
  disc.tracks.push_back(testsupport::Track(orvane::TrackMode::Mode1, 2048, end - track3, 150));
  for (int version : {1, 2}) {
    SCOPED_TRACE("version " + std::to_string(version));
    testsupport::NrgOptions o;
    o.version = version;
    o.trackAtOnce = true;
    Bytes nrg = testsupport::NrgImage(disc, o);
    std::copy(volume.begin(), volume.end(), nrg.begin());
    const std::string path = dir.Write("tao" + std::to_string(version) + ".nrg", nrg);
    const std::string out = dir.File("out" + std::to_string(version));
    std::filesystem::create_directory(out);
    const auto run = Tessal("extract " + Q(path) + " / " + Q(out), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("unreadable\t0"), std::string::npos) << run.out;
    const std::string track = out + "/DATA TRACK 1(ISO)";
    EXPECT_TRUE(ReadWhole(track + "/A.TXT") == first) << run.out;
    EXPECT_TRUE(ReadWhole(track + "/B.DAT") == second);
    EXPECT_TRUE(ReadWhole(track + "/C.DAT") == third);

    orvane::DiscLayout l;
    std::string error;
    ASSERT_TRUE(orvane::OpenImage(path, l, error)) << error;
    ASSERT_EQ(l.tracks.size(), 3u);
    EXPECT_EQ(l.tracks[1].start, static_cast<std::int32_t>(track2 + 150));
    EXPECT_EQ(l.tracks[2].start, static_cast<std::int32_t>(track3 + 300));
    EXPECT_EQ(l.tracks[2].pregapStart, static_cast<std::int32_t>(track3 + 150));
    if (!testsupport::HaveProgram("cd-info")) continue;
    auto ref = testsupport::CdInfoTracks("--nrg-file=" + Q(path), dir);
    ASSERT_EQ(ref.size(), 4u) << "three tracks and the lead-out";
    for (const auto& t : l.tracks) EXPECT_EQ(ref[t.number].start, t.start) << "track " << t.number;
    EXPECT_EQ(ref[170].start, l.sessions.back().leadOut);
  }
}

TEST(BrowserCliFormats, CdRomXaBinListsForm2FilesWithTheirSize) {
  ScratchDir dir;
  IsoBuilder b;
  IsoNode& v = b.Folder(b.Root(), "MPEGAV");
  b.File(v, "AVSEQ01.DAT;1", Bytes(4 * 2048, 7)).form2 = true;
  b.File(v, "INFO.TXT;1", Bytes(77, 'i'));
  b.Folder(v, "EXTRA");
  const Bytes user = b.Build();
  dir.Write("xa.bin", testsupport::RawXaSectors(user, b.Form2Sectors()));
  const std::string cue = dir.Write("xa.cue", std::string("FILE \"xa.bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n"));
  auto tree = Tessal("tree " + Q(cue), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out, "Session 1\t0\n"
                      "  DATA TRACK 1(ISO)\t" + std::to_string(b.Root().extent) + "\n"
                      "    MPEGAV\t" + std::to_string(b.Find("/MPEGAV")->extent) + "\n"
                      "      EXTRA\t" + std::to_string(b.Find("/MPEGAV/EXTRA")->extent) + "\n"
                      "(Lead Out) " + std::to_string(user.size() / 2048) + "\t0\n");
  auto ls = Tessal("ls " + Q(cue) + " /MPEGAV", dir);
  ASSERT_EQ(ls.status, 0) << ls.err;
  const auto rows = Lines(ls.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][0], "EXTRA");
  EXPECT_EQ(rows[2], (std::vector<std::string>{"AVSEQ01.DAT", "2009-3-7 14:5:9", "File", "8192",
                                               std::to_string(b.Find("/MPEGAV/AVSEQ01.DAT;1")->extent), ""}));
  EXPECT_EQ(rows[3][0], "INFO.TXT");
  EXPECT_EQ(rows[3][3], "77");
}

TEST(BrowserCliFormats, EmptyRootListsOnlyTheHeader) {
  ScratchDir dir;
  IsoBuilder b;
  const std::string iso = dir.Write("empty.iso", b.Build());
  auto tree = Tessal("tree " + Q(iso), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out.rfind("Session 1\t0\n  DATA TRACK 1(ISO)\t" + std::to_string(b.Root().extent) + "\n(Lead Out) ", 0), 0u)
      << tree.out;
  auto ls = Tessal("ls " + Q(iso) + " /", dir);
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_EQ(ls.out, "Name\tTime\tType\tSize\tPos\tLen\n");
  auto json = Tessal("ls " + Q(iso) + " / --json", dir);
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out, "{\n  \"rows\": []\n}\n");

  // A source without any file system: "/" names nothing.
  const std::string blank = dir.Write("pattern.iso", testsupport::PatternSectors(0, 40));
  auto none = Tessal("ls " + Q(blank) + " /", dir);
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("no data track with a file system"), std::string::npos) << none.err;
}

TEST(BrowserCliFormats, AudioTrackOfACueSheetListsItsCdText) {
  ScratchDir dir;
  dir.Write("a.bin", testsupport::AudioSectors(2 * 200));
  const std::string cue = dir.Write("a.cue", std::string("TITLE \"The Album\"\nPERFORMER \"The Band\"\n"
                                                         "FILE \"a.bin\" BINARY\n"
                                                         "  TRACK 01 AUDIO\n    TITLE \"Opening\"\n    PERFORMER \"Singer\"\n"
                                                         "    SONGWRITER \"Writer\"\n    ISRC USABC0900001\n"
                                                         "    INDEX 01 00:00:00\n"
                                                         "  TRACK 02 AUDIO\n    TITLE \"Closing\"\n    INDEX 01 00:02:50\n"));
  auto tree = Tessal("tree " + Q(cue), dir);
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out, "Session 1\t0\n  AUDIO TRACK 1\t0\n  AUDIO TRACK 2\t0\n(Lead Out) 400\t0\n");
  auto one = Tessal("ls " + Q(cue) + " " + Q("Session 1/AUDIO TRACK 1"), dir);
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(one.out, "CDTEXT Item\tCDTEXT Info\n"
                     "ARTIST\tSinger\n"
                     "ISRC\tUSABC0900001\n"
                     "szComposer\t\n"
                     "szSongster\tWriter\n"
                     "szSpecialTitle\t\n"
                     "TITLE\tOpening\n");
  auto two = Tessal("ls " + Q(cue) + " " + Q("Session 1/AUDIO TRACK 2") + " --json", dir);
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_NE(two.out.find("{\"CDTEXT Item\": \"TITLE\", \"CDTEXT Info\": \"Closing\"}"), std::string::npos) << two.out;
}
