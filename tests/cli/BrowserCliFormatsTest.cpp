// tessal-cli tree and ls give the same tree and lists whichever image format
// holds the volume: a plain ISO, the same sectors raw in a BIN alone, behind
// cue sheets of each data mode, as CD-ROM XA Mode 2 sectors, and in the
// formats of other burning and dumping tools (Nero, CloneCD, cdrdao, Alcohol,
// images with a header of their own).
#include <gtest/gtest.h>

#include <algorithm>

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
