// The browser's disc tree on whole discs: a mixed-mode CUE/BIN, an audio CD
// with CD-TEXT, two-session discs (plain and Joliet ISO 9660, ISO 9660 and a
// UDF bridge), and a DVD-sized image file whose TOC is made from track
// information.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/CdInfo.h"
#include "tests/support/UdfBuilder.h"
#include "tests/views/BrowserTestUtil.h"

using namespace browsertest;
using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;
using testsupport::ScratchDir;

namespace {

std::string Msf(std::uint32_t lba) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", lba / 4500, lba / 75 % 60, lba % 75);
  return buf;
}

Bytes RawMode1(const Bytes& user, std::int32_t firstLba = 0) {
  Bytes raw;
  for (std::size_t i = 0; i * 2048 < user.size(); ++i) {
    auto s = testsupport::RawSector(firstLba + static_cast<std::int32_t>(i), testsupport::RawMode::Mode1,
                                    user.data() + i * 2048, 2048);
    raw.insert(raw.end(), s.begin(), s.end());
  }
  return raw;
}

IsoBuilder Sample() {
  IsoBuilder b;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  b.File(docs, "b.txt;1", Bytes(300, 'b')).jolietName = "Bee.txt;1";
  b.File(docs, "A.TXT;1", Bytes(200, 'a'));
  b.Folder(docs, "zeta");
  b.Folder(docs, "Alpha");
  b.File(b.Root(), "TOP.BIN;1", Bytes(9000, 't'));
  return b;
}

std::shared_ptr<testsupport::MemoryImageFile> Audio(std::uint32_t sectors) {
  return std::make_shared<testsupport::MemoryImageFile>(testsupport::AudioSectors(sectors));
}

}  // namespace

TEST(BrowserTreeDiscs, MixedModeCueBinShowsDataTrackOneThenAudio) {
  UiScope ui;
  ScratchDir dir;
  IsoBuilder b = Sample();
  const Bytes iso = b.Build();
  const std::uint32_t dataSectors = static_cast<std::uint32_t>(iso.size() / 2048);
  Bytes bin = RawMode1(iso);
  const Bytes pcm = testsupport::AudioSectors(2 * 300);
  bin.insert(bin.end(), pcm.begin(), pcm.end());
  // A second data track after the audio: no file system is looked for there.
  const Bytes tail = RawMode1(b.Build(), static_cast<std::int32_t>(dataSectors + 600));
  bin.insert(bin.end(), tail.begin(), tail.end());
  dir.Write("mixed.bin", bin);
  const std::string cue = dir.Write(
      "mixed.cue", "FILE \"mixed.bin\" BINARY\n"
                   "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n    INDEX 01 " + Msf(dataSectors) + "\n"
                   "  TRACK 03 AUDIO\n    INDEX 01 " + Msf(dataSectors + 300) + "\n"
                   "  TRACK 04 MODE1/2352\n    INDEX 01 " + Msf(dataSectors + 600) + "\n");
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(cue)) << dev.GetLastError();
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(&dev);
  const std::string root = std::to_string(b.Root().extent), docs = std::to_string(b.Find("/DOCS")->extent);
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n"
                                   "  DATA TRACK 1(ISO)\t" + root + "\n"
                                   "    DOCS\t" + docs + "\n"
                                   "      zeta\t" + std::to_string(b.Find("/DOCS/zeta")->extent) + "\n"
                                   "      Alpha\t" + std::to_string(b.Find("/DOCS/Alpha")->extent) + "\n"
                                   "  AUDIO TRACK 2\t0\n"
                                   "  AUDIO TRACK 3\t0\n"
                                   "  DATA TRACK 4\t0\n"
                                   "(Lead Out) " + std::to_string(2 * dataSectors + 600) + "\t0\n");
  EXPECT_EQ(view.GetFsType(), 1);
  EXPECT_EQ(view.GetDataMode(), 1);
  EXPECT_EQ(vd[0], 1);

  // Track 1 is selected: folders first, then files, each alphabetically
  // whatever the case.
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "DATA TRACK 1(ISO)");
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"DOCS", "TOP.BIN"}));
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  EXPECT_EQ(Rows(view.List()),
            (std::vector<std::vector<std::string>>{
                {"Alpha", "2009-3-7 14:5:9", "Folder", "", std::to_string(b.Find("/DOCS/Alpha")->extent), ""},
                {"zeta", "2009-3-7 14:5:9", "Folder", "", std::to_string(b.Find("/DOCS/zeta")->extent), ""},
                {"A.TXT", "2009-3-7 14:5:9", "File", "200", std::to_string(b.Find("/DOCS/A.TXT;1")->extent), ""},
                {"b.txt", "2009-3-7 14:5:9", "File", "300", std::to_string(b.Find("/DOCS/b.txt;1")->extent), ""}}));
  // Folders are numbered from 0 and files from 5000 in the order they were read.
  std::vector<ui::DWORD_PTR> numbers;
  for (int r = 0; r < view.List().GetItemCount(); ++r) numbers.push_back(view.List().GetItemData(r));
  std::vector<ui::DWORD_PTR> expected(4);
  expected[0] = b.Find("/DOCS/Alpha")->record < b.Find("/DOCS/zeta")->record ? 0 : 1;
  expected[1] = 1 - expected[0];
  expected[2] = b.Find("/DOCS/A.TXT;1")->record < b.Find("/DOCS/b.txt;1")->record ? 5000 : 5001;
  expected[3] = 10001 - expected[2];
  EXPECT_EQ(numbers, expected);

  // A double click on a folder row goes into it; on a file row nothing.
  view.List().SetSelected(2, true);
  view.OnListDoubleClick();
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "DOCS");
  view.List().SetSelected(2, false);
  view.List().SetSelected(1, true);
  view.OnListDoubleClick();
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "zeta");
  EXPECT_EQ(view.List().GetItemCount(), 0);
  view.OnListDoubleClick();  // no row is selected any more
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "zeta");

  // An audio track shows its (empty) CD-TEXT; the data track after the
  // audio and the lead-out list nothing.
  view.SelectNode(Path(view.Tree(), "Session 1/AUDIO TRACK 3"));
  ASSERT_EQ(view.List().GetColumnCount(), 2);
  EXPECT_EQ(Rows(view.List()), (std::vector<std::vector<std::string>>{
                                   {"ARTIST", ""}, {"ISRC", ""}, {"szComposer", ""},
                                   {"szSongster", ""}, {"szSpecialTitle", ""}, {"TITLE", ""}}));
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 4"));
  EXPECT_EQ(view.List().GetItemCount(), 0);
  EXPECT_EQ(view.List().GetColumnCount(), 6);
  view.SelectNode(Path(view.Tree(), "(Lead Out) " + std::to_string(2 * dataSectors + 600)));
  EXPECT_EQ(view.List().GetItemCount(), 0);
}

TEST(BrowserTreeDiscs, AudioCdWithCdTextListsItsRowsSorted) {
  UiScope ui;
  std::vector<orvane::TrackLayout> tracks;
  auto file = Audio(12 * 100);
  for (int n = 1; n <= 12; ++n) {
    auto t = testsupport::MemoryTrack(n, orvane::TrackMode::Audio, (n - 1) * 100, 100, file,
                                      orvane::StoredFormat::Audio2352, 2352);
    t.extents[0].offset = static_cast<std::uint64_t>(n - 1) * 100 * 2352;
    tracks.push_back(t);
  }
  orvane::DiscLayout l = testsupport::MemoryDisc(tracks);
  l.cdText.resize(13);
  l.cdText[0].title = "The Album";
  for (int n = 1; n <= 12; ++n) {
    auto& e = l.cdText[n];
    e.title = "Song " + std::to_string(n);
    e.performer = "Band " + std::to_string(n);
    e.songwriter = "Writer " + std::to_string(n);
    e.composer = "Composer " + std::to_string(n);
    e.message = "Live " + std::to_string(n);
    e.isrc = "USABC09000" + std::to_string(10 + n);
  }
  auto dev = Device(l);
  CDlgMain view;
  view.LoadDisc(dev.get());
  std::string expected = "Session 1\t0\n";
  for (int n = 1; n <= 12; ++n) expected += "  AUDIO TRACK " + std::to_string(n) + "\t0\n";
  expected += "(Lead Out) 1200\t0\n";
  EXPECT_EQ(TreeText(view.Tree()), expected);

  // Track 1 is selected and shows its texts, rows sorted by item name.
  EXPECT_EQ(Rows(view.List()), (std::vector<std::vector<std::string>>{{"ARTIST", "Band 1"},
                                                                      {"ISRC", "USABC0900011"},
                                                                      {"szComposer", "Composer 1"},
                                                                      {"szSongster", "Writer 1"},
                                                                      {"szSpecialTitle", "Live 1"},
                                                                      {"TITLE", "Song 1"}}));
  EXPECT_EQ(view.List().GetColumn(0)->heading, "CDTEXT Item");
  EXPECT_EQ(view.List().GetColumn(1)->heading, "CDTEXT Info");
  EXPECT_EQ(view.List().GetColumn(1)->width, 100);
  view.SelectNode(Path(view.Tree(), "Session 1/AUDIO TRACK 12"));
  EXPECT_EQ(view.List().GetItemText(5, 1), "Song 12");
  EXPECT_EQ(view.List().GetItemText(1, 1), "USABC0900022");

  // Numbers past the record's tracks show the layout without rows.
  view.ShowCdText(0);
  EXPECT_EQ(view.List().GetItemCount(), 0);
  view.ShowCdText(100);
  EXPECT_EQ(view.List().GetItemCount(), 0);
  EXPECT_EQ(view.List().GetColumnCount(), 2);
  // A session node empties the list and keeps its layout.
  view.SelectNode(Path(view.Tree(), "Session 1"));
  EXPECT_EQ(view.List().GetItemCount(), 0);

  // The next disc has no CD-TEXT: nothing of this one is left.
  l.cdText.clear();
  auto plain = Device(l);
  view.LoadDisc(plain.get());
  EXPECT_EQ(view.List().GetItemText(5, 1), "");
  EXPECT_EQ(view.List().GetItemText(0, 1), "");
}

TEST(BrowserTreeDiscs, TwoSessionsOfPlainAndJolietNamesListEachWithItsOwn) {
  UiScope ui;
  IsoBuilder first = Sample();
  const Bytes img1 = first.Build();
  IsoBuilder second = Sample();
  second.joliet = true;
  second.firstLba = 12000;
  second.Folder(second.Root(), "NEWDIR").jolietName = "New folder";
  const Bytes img2 = second.Build();
  orvane::DiscLayout l = testsupport::MemoryDisc({DataTrack(1, img1, 0, 1), DataTrack(2, img2, 12000, 2)});
  l.sessions = {{1, 0x00, static_cast<std::int32_t>(img1.size() / 2048)},
                {2, 0x00, static_cast<std::int32_t>(12000 + img2.size() / 2048)}};
  auto dev = Device(l);
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(dev.get());
  ASSERT_NE(Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)/New folder"), nullptr) << TreeText(view.Tree());
  EXPECT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"), nullptr);
  EXPECT_EQ(view.Tree().GetItemData(Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)")), second.Root().jExtent);
  EXPECT_EQ(TreeText(view.Tree()).substr(TreeText(view.Tree()).rfind('\n', TreeText(view.Tree()).size() - 2) + 1),
            "(Lead Out) " + std::to_string(12000 + img2.size() / 2048) + "\t0\n");
  // The view's flag is what the last volume left; the window's buffer holds
  // the descriptor of the session browsed: the selected track's, plain.
  EXPECT_TRUE(view.IsJoliet());
  EXPECT_EQ(vd[0], 1);

  // Each folder lists with the names of its own volume and brings its
  // volume's descriptor (session 2's the Joliet one) into the buffer.
  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)/DOCS"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"Alpha", "zeta", "A.TXT", "Bee.txt"}));
  EXPECT_EQ(vd[0], 2);
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"Alpha", "zeta", "A.TXT", "b.txt"}));
  EXPECT_EQ(vd[0], 1);
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"DOCS", "TOP.BIN"}));
  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"DOCS", "New folder", "TOP.BIN"}));
}

TEST(BrowserTreeDiscs, SecondSessionWithAUdfBridgeShowsItsUdfFolders) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is not installed";
  UiScope ui;
  ScratchDir dir;
  dir.Write("src/docs/a.txt", std::string(1234, 'a'));
  dir.Write("src/docs/inner/b.txt", std::string(5, 'b'));
  dir.Write("src/top.bin", std::string(70000, 't'));
  constexpr std::uint32_t kSecond = 6000;
  const std::string s2 = dir.File("s2.iso");
  ASSERT_EQ(std::system(("genisoimage -quiet -udf -J -C 0," + std::to_string(kSecond) + " -o " +
                         testsupport::ShellQuote(s2) + " " + testsupport::ShellQuote(dir.File("src")) + " 2>/dev/null")
                            .c_str()),
            0);
  Bytes img2;
  {
    std::ifstream in(s2, std::ios::binary);
    img2.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_EQ(img2.size() % 2048, 0u);
  IsoBuilder first = Sample();
  const Bytes img1 = first.Build();
  orvane::DiscLayout l = testsupport::MemoryDisc({DataTrack(1, img1, 0, 1), DataTrack(2, img2, kSecond, 2)});
  l.sessions = {{1, 0x00, static_cast<std::int32_t>(img1.size() / 2048)},
                {2, 0x00, static_cast<std::int32_t>(kSecond + img2.size() / 2048)}};
  auto dev = Device(l);
  CDlgMain view;
  view.LoadDisc(dev.get());
  EXPECT_EQ(view.GetFsType(), 3);
  ui::HTREEITEM track = Path(view.Tree(), "Session 2/DATA TRACK 2(UDF&ISO)");
  ASSERT_NE(track, nullptr) << TreeText(view.Tree());
  // UDF folders carry their file entries' sectors, inside the session.
  ui::HTREEITEM inner = Path(view.Tree(), "Session 2/DATA TRACK 2(UDF&ISO)/docs/inner");
  ASSERT_NE(inner, nullptr) << TreeText(view.Tree());
  EXPECT_GT(view.Tree().GetItemData(track), kSecond);
  EXPECT_GT(view.Tree().GetItemData(inner), kSecond);

  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(UDF&ISO)/docs"));
  const auto rows = Rows(view.List());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], "inner");
  EXPECT_EQ(rows[0][2], "Folder");
  EXPECT_EQ(rows[1][0], "a.txt");
  EXPECT_EQ(rows[1][3], "1234");
  EXPECT_GT(std::stoul(rows[1][4]), kSecond);
  // Session 1 still lists through ISO 9660 after the analyser took session 2.
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"Alpha", "zeta", "A.TXT", "b.txt"}));
  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(UDF&ISO)"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"docs", "top.bin"}));
}

TEST(BrowserTreeDiscs, DvdSizedImageFileTakesTheSynthesisedToc) {
  UiScope ui;
  ScratchDir dir;
  IsoBuilder b = Sample();
  const std::string path = dir.Write("dvd.iso", b.Build());
  // 4.4 GiB, almost all of it a hole in the file.
  constexpr std::uint64_t kSectors = 2295104;
  std::error_code ec;
  std::filesystem::resize_file(path, kSectors * 2048, ec);
  ASSERT_FALSE(ec) << ec.message();
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(path)) << dev.GetLastError();
  ASSERT_EQ(dev.GetMediumType(), 0x10);
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(&dev);
  EXPECT_TRUE(view.IsTocSynthesized());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n"
                                   "  DATA TRACK 1(ISO)\t" + std::to_string(b.Root().extent) + "\n"
                                   "    DOCS\t" + std::to_string(b.Find("/DOCS")->extent) + "\n"
                                   "      zeta\t" + std::to_string(b.Find("/DOCS/zeta")->extent) + "\n"
                                   "      Alpha\t" + std::to_string(b.Find("/DOCS/Alpha")->extent) + "\n"
                                   "(Lead Out) " + std::to_string(kSectors) + "\t0\n");
  EXPECT_EQ(vd[0], 1) << "the descriptor came through 2048-byte reads";
  EXPECT_EQ(view.GetDataMode(), 1);
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"DOCS", "TOP.BIN"}));
  EXPECT_EQ(view.List().GetItemText(1, 3), "9000");
}

TEST(BrowserTreeDiscs, BdRPastTrack255ShowsTheTracksATocCanName) {
  // 300 tracks in one session: the disc information's last track is 0x012C.
  // Read whole, the synthesised TOC names tracks 1 to 99 and ends where 99
  // does; its low byte alone (44) would hide 55 tracks a TOC can hold.
  UiScope ui;
  auto dev = Device(testsupport::ManyTrackDisc(300, false));
  CDlgMain view;
  view.LoadDisc(dev.get());
  ASSERT_TRUE(view.IsTocSynthesized());
  ui::HTREEITEM session = view.Tree().GetRootItem();
  ASSERT_NE(session, nullptr);
  int tracks = 0;
  std::string last;
  for (ui::HTREEITEM t = view.Tree().GetChildItem(session); t; t = view.Tree().GetNextSiblingItem(t)) {
    ++tracks;
    last = view.Tree().GetItemText(t);
  }
  EXPECT_EQ(tracks, 99);
  EXPECT_EQ(last, "DATA TRACK 99");
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetNextSiblingItem(session)), "(Lead Out) 198");
}

TEST(BrowserTreeDiscs, UdfVolumeTheAnalyserRefusesEndsItsSession) {
  UiScope ui;
  CDlgMain view;
  auto iso = IsoDevice(Sample().Build());
  view.LoadDisc(iso.get());
  ASSERT_EQ(view.GetFsType(), 1);

  // A UDF volume whose partition starts nowhere, then an audio track.
  testsupport::UdfNode root = testsupport::UdfNode::Dir("", {testsupport::UdfNode::Dir("docs")});
  testsupport::UdfImage img = testsupport::BuildUdfImage(root);
  for (int i = 0; i < 4; ++i) img.Sector(img.pdSector)[188 + i] = 0;
  img.Retag(img.pdSector, 512);
  const auto sectors = img.SectorCount();
  auto data = DataTrack(1, img.bytes);
  auto audio = testsupport::MemoryTrack(2, orvane::TrackMode::Audio, static_cast<std::int32_t>(sectors), 300, Audio(300),
                                        orvane::StoredFormat::Audio2352, 2352);
  auto dev = Device(testsupport::MemoryDisc({data, audio}));
  view.LoadDisc(dev.get());
  // The track shows without folders; the session's later tracks are not
  // shown and the file-system code stays the one before.
  EXPECT_EQ(TreeText(view.Tree()),
            "Session 1\t0\n  DATA TRACK 1(UDF)\t0\n(Lead Out) " + std::to_string(sectors + 300) + "\t0\n");
  EXPECT_EQ(view.GetFsType(), 1);
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(UDF)"));
  EXPECT_EQ(view.List().GetItemCount(), 0);
  EXPECT_EQ(view.List().GetColumnCount(), 6);
}

TEST(BrowserTreeDiscs, TwoUdfSessionsListEachFromItsOwnVolume) {
  UiScope ui;
  using testsupport::UdfNode;
  const testsupport::UdfImage one =
      testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::Dir("first"), UdfNode::File("one.txt", "1")}));
  constexpr std::uint32_t kSecond = 20000;
  testsupport::UdfBuildOptions o;
  o.volumeStart = kSecond;
  const testsupport::UdfImage two = testsupport::BuildUdfImage(
      UdfNode::Dir("", {UdfNode::Dir("second"), UdfNode::File("two.txt", "22")}), o);
  ASSERT_GT(two.SectorCount(), kSecond);
  auto file2 = std::make_shared<testsupport::MemoryImageFile>(two.bytes);
  auto t2 = testsupport::MemoryTrack(2, orvane::TrackMode::Mode1, kSecond, two.SectorCount() - kSecond, file2,
                                     orvane::StoredFormat::UserData2048, 2048, 0, 2);
  t2.extents[0].offset = std::uint64_t{kSecond} * 2048;
  orvane::DiscLayout l = testsupport::MemoryDisc({DataTrack(1, one.bytes), t2});
  l.sessions = {{1, 0x00, static_cast<std::int32_t>(one.SectorCount())},
                {2, 0x00, static_cast<std::int32_t>(two.SectorCount())}};
  auto dev = Device(l);
  CDlgMain view;
  view.LoadDisc(dev.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n"
                                   "  DATA TRACK 1(UDF)\t" + std::to_string(one.entrySector.at("/")) + "\n"
                                   "    first\t" + std::to_string(one.entrySector.at("/first")) + "\n"
                                   "Session 2\t0\n"
                                   "  DATA TRACK 2(UDF)\t" + std::to_string(two.entrySector.at("/")) + "\n"
                                   "    second\t" + std::to_string(two.entrySector.at("/second")) + "\n"
                                   "(Lead Out) " + std::to_string(two.SectorCount()) + "\t0\n");
  // The analyser last read session 2; session 1 still lists its own entries.
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(UDF)"));
  EXPECT_EQ(Rows(view.List()),
            (std::vector<std::vector<std::string>>{
                {"first", "2024-5-17 13:45:30", "Folder", "", std::to_string(one.entrySector.at("/first")), ""},
                {"one.txt", "2024-5-17 13:45:30", "File", "1", std::to_string(one.entrySector.at("/one.txt")), ""}}));
  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(UDF)"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"second", "two.txt"}));
  EXPECT_EQ(view.List().GetItemText(1, 3), "2");
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(UDF)/first"));
  EXPECT_EQ(view.List().GetItemCount(), 0);
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(UDF)"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"first", "one.txt"}));
}
