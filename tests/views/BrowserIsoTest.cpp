// The browser's ISO 9660 / Joliet reading on volumes built in memory: names,
// times, sizes, multi-sector directories, CD-ROM XA sectors, and damaged
// volumes that must give a bounded tree.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/views/BrowserTestUtil.h"
#include "views/IsoReader.h"

using namespace browsertest;
using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;

namespace {

IsoBuilder Sample(bool joliet) {
  IsoBuilder b;
  b.joliet = joliet;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  docs.jolietName = "Documents été";
  b.File(docs, "README.TXT;1", Bytes(5000, 'r')).jolietName = "Read me.txt;1";
  b.Folder(docs, "A");
  b.File(b.Root(), "NOVERS", Bytes(10, 'n'));
  b.Folder(b.Root(), "BIN");
  return b;
}

}  // namespace

TEST(BrowserIso, PlainVolumeTreeListTimesAndVersionRule) {
  UiScope ui;
  IsoBuilder b = Sample(false);
  const Bytes img = b.Build();
  auto dev = IsoDevice(img);
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(dev.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n"
                                   "  DATA TRACK 1(ISO)\t" + std::to_string(b.Root().extent) + "\n"
                                   "    DOCS\t" + std::to_string(b.Find("/DOCS")->extent) + "\n"
                                   "      A\t" + std::to_string(b.Find("/DOCS/A")->extent) + "\n"
                                   "    BIN\t" + std::to_string(b.Find("/BIN")->extent) + "\n"
                                   "(Lead Out) " + std::to_string(img.size() / 2048) + "\t0\n");
  EXPECT_EQ(view.GetFsType(), 1);
  EXPECT_FALSE(view.IsJoliet());
  EXPECT_EQ(vd[0], 1) << "the primary descriptor is the volume's";
  EXPECT_EQ(std::memcmp(vd + 1, "CD001", 5), 0);

  // The first track is selected: its root lists folders first, then files.
  const auto rows = Rows(view.List());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], "BIN");
  EXPECT_EQ(rows[1][0], "DOCS");
  EXPECT_EQ(rows[1][1], "2009-3-7 14:5:9");
  EXPECT_EQ(rows[1][2], "Folder");
  EXPECT_EQ(rows[1][3], "");
  EXPECT_EQ(rows[2], (std::vector<std::string>{"NOVERS", "2009-3-7 14:5:9", "File", "10",
                                               std::to_string(b.Find("/NOVERS")->extent), ""}));
  // Numbers in reading order: DOCS folder 0, NOVERS file 5000, BIN folder 1.
  EXPECT_EQ(view.List().GetItemData(1), 0u);
  EXPECT_EQ(view.List().GetItemData(0), 1u);
  EXPECT_EQ(view.List().GetItemData(2), 5000u);
  EXPECT_EQ(view.List().GetColumn(5)->heading, "Len");
  EXPECT_EQ(view.List().GetColumn(5)->width, 0);

  // A file's ";1" goes, a folder's name is never cut.
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"A", "README.TXT"}));
  EXPECT_EQ(view.List().GetItemText(1, 3), "5000");

  // A double click on a folder row selects its node; on a file nothing.
  view.List().SetSelected(1, true);
  view.OnListDoubleClick();
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "DOCS");
  view.List().SetSelected(0, true);
  view.OnListDoubleClick();
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "A");
  EXPECT_EQ(view.List().GetItemCount(), 0) << "an empty folder lists nothing";

  // Session and lead-out nodes empty the list.
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  ASSERT_GT(view.List().GetItemCount(), 0);
  view.SelectNode(Path(view.Tree(), "Session 1"));
  EXPECT_EQ(view.List().GetItemCount(), 0);
}

TEST(BrowserIso, JolietNamesAndDescriptorOfTheVolume) {
  UiScope ui;
  IsoBuilder b = Sample(true);
  auto dev = IsoDevice(b.Build());
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(dev.get());
  EXPECT_TRUE(view.IsJoliet());
  EXPECT_EQ(vd[0], 2) << "the window's buffer holds the supplementary descriptor";
  ui::HTREEITEM docs = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/Documents été");
  ASSERT_NE(docs, nullptr) << TreeText(view.Tree());
  EXPECT_EQ(view.Tree().GetItemData(docs), b.Find("/DOCS")->jExtent);
  view.SelectNode(docs);
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"A", "Read me.txt"}));
}

TEST(BrowserIso, SupplementaryDescriptorWithoutEscapesIsIgnored) {
  UiScope ui;
  IsoBuilder b = Sample(true);
  Bytes img = b.Build();
  std::memset(img.data() + 17 * 2048 + 88, 0, 3);
  auto dev = IsoDevice(img);
  unsigned char vd[2048] = {};
  CDlgMain view;
  view.SetVdBuffer(vd);
  view.LoadDisc(dev.get());
  EXPECT_FALSE(view.IsJoliet());
  EXPECT_EQ(vd[0], 1);
  EXPECT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"), nullptr);
}

TEST(BrowserIso, NamesDecodeToUtf8WhateverTheBytes) {
  // Odd length: the last byte is dropped; an unpaired surrogate shows as
  // U+FFFD and the rest still shows; a NUL ends the name.
  const unsigned char odd[] = {0x00, 'A', 0x00, 'B', 0x00};
  EXPECT_EQ(iso::DecodeName(odd, sizeof odd, true), "AB");
  const unsigned char lone[] = {0xD8, 0x01, 0x00, 'x'};
  EXPECT_EQ(iso::DecodeName(lone, sizeof lone, true), "\xEF\xBF\xBDx");
  const unsigned char pair[] = {0xD8, 0x3D, 0xDE, 0x00};
  EXPECT_EQ(iso::DecodeName(pair, sizeof pair, true), "\xF0\x9F\x98\x80");
  const unsigned char nul[] = {0x00, 'A', 0x00, 0x00, 0x00, 'B'};
  EXPECT_EQ(iso::DecodeName(nul, sizeof nul, true), "A");
  // Plain names: UTF-8 stays, anything else is Latin-1.
  const unsigned char utf8[] = {'c', 0xC3, 0xA9};
  EXPECT_EQ(iso::DecodeName(utf8, sizeof utf8, false), "c\xC3\xA9");
  const unsigned char latin1[] = {'c', 0xE9, 0xFF};
  EXPECT_EQ(iso::DecodeName(latin1, sizeof latin1, false), "c\xC3\xA9\xC3\xBF");
  // 255 bytes at most, never cut inside a character.
  Bytes longName;
  for (int i = 0; i < 127; ++i) longName.insert(longName.end(), {0x20, 0xAC});  // euro signs
  const std::string s = iso::DecodeName(longName.data(), longName.size(), true);
  EXPECT_EQ(s.size(), 255u);
  EXPECT_EQ(s.substr(252), "\xE2\x82\xAC");

  EXPECT_EQ(iso::DropVersion("README.TXT;1"), "README.TXT");
  EXPECT_EQ(iso::DropVersion("A;2"), "A;2");
  EXPECT_EQ(iso::DropVersion(";1"), "");
  const unsigned char t[6] = {109, 3, 7, 14, 5, 9};
  EXPECT_EQ(iso::FormatTime(t), "2009-3-7 14:5:9");
}

TEST(BrowserIso, MultiSectorDirectoriesAreWalkedToTheirEnd) {
  UiScope ui;
  IsoBuilder b;
  // 45 records of 44 bytes fill the first sector exactly after "." and "..";
  // the rest go on in two more sectors.
  IsoNode& wide = b.Folder(b.Root(), "WIDE");
  for (int i = 0; i < 120; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%06d.T;1", i);
    b.File(wide, name, Bytes(1, 1));
  }
  for (int i = 0; i < 80; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "SUB%03d", i);
    b.Folder(wide, name);
  }
  auto dev = IsoDevice(b.Build());
  // The first sector's records end exactly at its end.
  ASSERT_EQ(b.Find("/WIDE")->size, 5u * 2048);
  ASSERT_EQ(b.Find("/WIDE/F000044.T;1")->record % 2048, 2004u);
  CDlgMain view;
  view.LoadDisc(dev.get());
  ui::HTREEITEM node = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/WIDE");
  ASSERT_NE(node, nullptr);
  int subs = 0;
  for (ui::HTREEITEM c = view.Tree().GetChildItem(node); c; c = view.Tree().GetNextSiblingItem(c)) ++subs;
  EXPECT_EQ(subs, 80);
  view.SelectNode(node);
  ASSERT_EQ(view.List().GetItemCount(), 200);
  EXPECT_EQ(view.List().GetItemText(0, 0), "SUB000");
  EXPECT_EQ(view.List().GetItemText(79, 0), "SUB079");
  EXPECT_EQ(view.List().GetItemText(80, 0), "F000000.T");
  EXPECT_EQ(view.List().GetItemText(199, 0), "F000119.T");

  // A directory that claims one payload is read from its first sector only.
  Bytes img = b.Build();
  for (std::size_t at : {b.Find("/WIDE")->record + 10}) {
    img[at] = 0x00;
    img[at + 1] = 0x08;
    img[at + 2] = img[at + 3] = 0;
  }
  auto dev2 = IsoDevice(img);
  CDlgMain v2;
  v2.LoadDisc(dev2.get());
  node = Path(v2.Tree(), "Session 1/DATA TRACK 1(ISO)/WIDE");
  ASSERT_NE(node, nullptr);
  EXPECT_FALSE(v2.Tree().ItemHasChildren(node)) << "the first sector holds only files";
}

TEST(BrowserIso, CdRomXaForm1DirectoriesAndAForm2File) {
  UiScope ui;
  IsoBuilder b;
  IsoNode& v = b.Folder(b.Root(), "MPEGAV");
  b.File(v, "AVSEQ01.DAT;1", Bytes(3 * 2048, 7)).form2 = true;
  b.Folder(v, "INNER");
  const Bytes user = b.Build();
  const Bytes raw = testsupport::RawXaSectors(user, b.Form2Sectors());
  auto file = std::make_shared<testsupport::MemoryImageFile>(raw);
  auto track = testsupport::MemoryTrack(1, orvane::TrackMode::Mode2Xa, 0, static_cast<std::uint32_t>(user.size() / 2048),
                                        file, orvane::StoredFormat::Raw2352, 2352);
  auto dev = Device(testsupport::MemoryDisc({track}));
  CDlgMain view;
  view.LoadDisc(dev.get());
  EXPECT_EQ(view.GetDataMode(), 2);
  ASSERT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/MPEGAV/INNER"), nullptr) << TreeText(view.Tree());
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/MPEGAV"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"INNER", "AVSEQ01.DAT"}));
  EXPECT_EQ(view.List().GetItemText(1, 3), "6144");

  // The payload rule on raw sectors of each kind.
  unsigned char s[2352] = {};
  const auto f1 = testsupport::RawSector(5, testsupport::RawMode::Mode2Form1, user.data(), 2048);
  std::memcpy(s, f1.data(), 2352);
  EXPECT_EQ(iso::RawPayload(s, 2).start, 24u);
  EXPECT_EQ(iso::RawPayload(s, 2).size, 2048u);
  const Bytes zeros(2324, 0);
  const auto f2 = testsupport::RawSector(5, testsupport::RawMode::Mode2Form2, zeros.data(), zeros.size());
  std::memcpy(s, f2.data(), 2352);
  EXPECT_EQ(iso::RawPayload(s, 2).size, 2324u);
  // The sector's own header outranks the disc's data mode.
  EXPECT_EQ(iso::RawPayload(s, 1).start, 24u);
  EXPECT_EQ(iso::RawPayload(s, 1).size, 2324u);
  std::memset(s, 0, sizeof s);  // user data handed back as it is
  EXPECT_EQ(iso::RawPayload(s, 2).start, 0u);
}

TEST(BrowserIso, DamagedVolumesGiveABoundedTree) {
  UiScope ui;
  auto build = [](IsoBuilder& b) {
    IsoNode& a = b.Folder(b.Root(), "A");
    b.Folder(a, "B");
    b.File(a, "F1;1", Bytes(100, 1));
    b.File(a, "F2;1", Bytes(100, 2));
    b.Folder(b.Root(), "Z");
  };
  auto patch32 = [](Bytes& img, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) img[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  auto load = [](const Bytes& img, CDlgMain& view) {
    auto dev = IsoDevice(img);
    view.LoadDisc(dev.get());
    // Every node is listed as well; nothing may read past its data.
    for (ui::HTREEITEM n : view.Tree().Children(ui::TVI_ROOT)) view.SelectNode(n);
    view.LoadDisc(nullptr);
  };

  {  // A folder pointing back at the root, one pointing at itself.
    IsoBuilder b;
    build(b);
    Bytes img = b.Build();
    patch32(img, b.Find("/A/B")->record + 2, b.Root().extent);
    auto dev = IsoDevice(img);
    CDlgMain view;
    view.LoadDisc(dev.get());
    ui::HTREEITEM loop = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/A/B");
    ASSERT_NE(loop, nullptr);
    EXPECT_FALSE(view.Tree().ItemHasChildren(loop)) << "the root is not entered again";
    EXPECT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/Z"), nullptr) << "the rest is still built";
  }
  {  // The root's "." record pointing into A makes A contain itself.
    IsoBuilder b;
    build(b);
    Bytes img = b.Build();
    patch32(img, b.Find("/A/B")->record + 2, b.Find("/A")->extent);
    auto dev = IsoDevice(img);
    CDlgMain view;
    view.LoadDisc(dev.get());
    ui::HTREEITEM self = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/A/B");
    ASSERT_NE(self, nullptr);
    EXPECT_FALSE(view.Tree().ItemHasChildren(self));
    EXPECT_EQ(view.Tree().GetCount(), 6);
  }
  {  // A record length of 0 in the middle ends the sector's records.
    IsoBuilder b;
    build(b);
    Bytes img = b.Build();
    img[b.Find("/A/F1;1")->record] = 0;
    auto dev = IsoDevice(img);
    CDlgMain view;
    view.LoadDisc(dev.get());
    view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/A"));
    EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"B"}));
  }
  {  // A length past the sector ends the walk; a name length past its record is cut.
    IsoBuilder b;
    IsoNode& w = b.Folder(b.Root(), "W");
    for (int i = 0; i < 50; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "F%06d.T;1", i);
      b.File(w, name, Bytes(1, 1));
    }
    Bytes img = b.Build();
    ASSERT_EQ(b.Find("/W/F000044.T;1")->record % 2048, 2004u);
    img[b.Find("/W/F000044.T;1")->record] = 60;
    img[b.Find("/W/F000000.T;1")->record + 32] = 200;
    CDlgMain view;
    load(img, view);
    auto dev = IsoDevice(img);  // and once more, to look at the listing
    view.LoadDisc(dev.get());
    view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/W"));
    ASSERT_EQ(view.List().GetItemCount(), 44);
    EXPECT_EQ(view.List().GetItemText(0, 0), "F000000.T") << "the name ends with its record";
  }
  {  // Sizes of 4 GiB and extents past the end.
    IsoBuilder b;
    build(b);
    Bytes img = b.Build();
    patch32(img, b.Find("/A")->record + 10, 0xFFFFFFFFu);
    patch32(img, b.Find("/A/F1;1")->record + 10, 0xFFFFFFFFu);
    patch32(img, b.Find("/Z")->record + 2, 0x7FFFFFF0u);
    patch32(img, 16 * 2048 + 156 + 10, 0xFFFFFFFFu);  // the root's own length in the descriptor
    auto dev = IsoDevice(img);
    CDlgMain view;
    view.LoadDisc(dev.get());
    EXPECT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/A/B"), nullptr);
    ui::HTREEITEM z = Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/Z");
    ASSERT_NE(z, nullptr);
    view.SelectNode(z);
    EXPECT_EQ(view.List().GetItemCount(), 0);
    view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/A"));
    EXPECT_EQ(view.List().GetItemText(1, 3), "4294967295");
  }
}

TEST(BrowserIso, NestingDeeperThanSixtyFourLevelsIsCut) {
  UiScope ui;
  IsoBuilder b;
  testsupport::DeepChain(b, 70);
  b.Folder(b.Root(), "ZLAST");
  auto dev = IsoDevice(b.Build());
  CDlgMain view;
  view.LoadDisc(dev.get());
  std::string path = "Session 1/DATA TRACK 1(ISO)";
  for (int i = 1; i <= iso::kMaxFolderDepth; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "/D%02d", i);
    path += name;
  }
  ui::HTREEITEM deepest = Path(view.Tree(), path);
  ASSERT_NE(deepest, nullptr);
  EXPECT_FALSE(view.Tree().ItemHasChildren(deepest));
  EXPECT_NE(Path(view.Tree(), "Session 1/DATA TRACK 1(ISO)/ZLAST"), nullptr);
  // The cut folder still lists its entries when selected.
  view.SelectNode(deepest);
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"D65"}));
}

TEST(BrowserIso, RandomlyDamagedVolumesStayBounded) {
  UiScope ui;
  IsoBuilder b = Sample(true);
  IsoNode& wide = b.Folder(b.Root(), "WIDE");
  for (int i = 0; i < 60; ++i) b.Folder(i % 2 ? wide : *b.Find("/DOCS"), "D" + std::to_string(i));
  const Bytes clean = b.Build();
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<std::size_t> where(16 * 2048, clean.size() - 1);
  std::uniform_int_distribution<int> value(0, 255), count(1, 24);
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE(round);
    Bytes img = clean;
    for (int n = count(rng); n > 0; --n) img[where(rng)] = static_cast<std::uint8_t>(value(rng));
    auto dev = IsoDevice(img);
    CDlgMain view;
    view.LoadDisc(dev.get());
    // Every folder node is listed too; the tree never outgrows its limits.
    ASSERT_LE(view.Tree().GetCount(), static_cast<int>(iso::kMaxFolders) + 3);
    std::vector<ui::HTREEITEM> pending{ui::TVI_ROOT};
    int listed = 0;
    while (!pending.empty() && listed < 400) {
      ui::HTREEITEM n = pending.back();
      pending.pop_back();
      for (ui::HTREEITEM c : view.Tree().Children(n)) pending.push_back(c);
      if (n == ui::TVI_ROOT) continue;
      view.SelectNode(n);
      ++listed;
      EXPECT_LE(view.List().GetItemCount(), 8192 * 2048 / 34);
    }
  }
}
