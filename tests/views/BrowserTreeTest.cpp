// The browser's disc tree over a drive that answers from tables: the TOC made
// from disc and track information on DVD media, blank and unready drives,
// the split, the focus memory, the file system of a node's track, the data
// mode, and the hand-over to the player.
#include <gtest/gtest.h>

#include "platform/audio/NullWaveDevice.h"
#include "skin/BtnSplit.h"
#include "tests/views/BrowserTestUtil.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgAudioPlay.h"

using namespace browsertest;
using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;
using paneltest::MakeTestDevice;
using paneltest::PanelTestDrive;

namespace {

constexpr int kDvdRom = 0x10;
constexpr int kDvdR = 0x11;

// A DVD whose disc information names tracks first..last and whose track
// information gives each its start and size.
paneltest::TestDevice DvdDrive(int first, int last, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& runs,
                               int status = 1, bool sessionPerTrack = false) {
  auto t = MakeTestDevice();
  t.drive->profile = kDvdR;
  t.drive->capacity = 3000000;
  t.drive->discInfo = PanelTestDrive::DiscInfo(status, first, last);
  for (int n = first; n <= last && n - first < static_cast<int>(runs.size()); ++n)
    t.drive->trackInfo[n] =
        PanelTestDrive::TrackInfo(sessionPerTrack ? n : 1, n, 4, 1, runs[n - first].first, runs[n - first].second);
  return t;
}

}  // namespace

TEST(BrowserTree, HmsfOfAddressesAcrossTheRanges) {
  auto hmsf = [](std::int64_t x) {
    const Hmsf r = AddressToHmsf(x);
    return std::vector<int>{r.h, r.m, r.s, r.f};
  };
  EXPECT_EQ(hmsf(-150), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(hmsf(0), (std::vector<int>{0, 0, 2, 0}));
  EXPECT_EQ(hmsf(404849), (std::vector<int>{0, 89, 59, 74}));
  EXPECT_EQ(hmsf(404850), (std::vector<int>{1, 0, 0, 0}));
  EXPECT_EQ(hmsf(500000), (std::vector<int>{1, 21, 8, 50}));
  EXPECT_EQ(hmsf(2147438497), (std::vector<int>{5302, 28, 35, 22}));
  // Lead-in addresses take the 90-minute-and-over form; beyond both ranges
  // every part is zero.
  EXPECT_EQ(hmsf(-151), (std::vector<int>{0, 99, 59, 74}));
  EXPECT_EQ(hmsf(-45150), (std::vector<int>{0, 90, 0, 0}));
  EXPECT_EQ(hmsf(-45151), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(hmsf(2147438498), (std::vector<int>{0, 0, 0, 0}));
}

TEST(BrowserTree, RecordableDvdTocLeavesTheOpenTrackOut) {
  UiScope ui;
  auto t = DvdDrive(1, 2, {{0, 1000}, {1000, 500}});
  CDlgMain view;
  view.LoadDisc(t.device.get());
  // The full TOC is never asked of a DVD: it is made from track information.
  EXPECT_TRUE(view.IsTocSynthesized());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n  DATA TRACK 1\t0\n(Lead Out) 1000\t0\n");
  EXPECT_EQ(view.GetDataMode(), 1);

  unsigned char toc[4 + 44 * 256];
  ASSERT_EQ(view.SynthesizeToc(toc, sizeof toc), 0);
  // The header counts both blocks; only track 1's is written.
  EXPECT_EQ(toc[0] * 256 + toc[1], 90);
  EXPECT_EQ(toc[2], 1);
  EXPECT_EQ(toc[3], 2);
  const unsigned char block1[44] = {1, 0x14, 0, 0xA0, 0, 0, 0, 0, 1,  0, 0,  //
                                    1, 0x14, 0, 0xA1, 0, 0, 0, 0, 1,  0, 0,  //
                                    1, 0x14, 0, 0xA2, 0, 0, 0, 0, 0, 15, 25,  //
                                    1, 0x14, 0, 1,    0, 0, 0, 0, 0,  2, 0};
  EXPECT_EQ(std::vector<unsigned char>(toc + 4, toc + 48), std::vector<unsigned char>(block1, block1 + 44));
  EXPECT_EQ(std::vector<unsigned char>(toc + 48, toc + 92), std::vector<unsigned char>(44, 0));

  // A closed disc has no open track: each track it names is shown.
  auto closed = DvdDrive(1, 2, {{0, 1000}, {1000, 500}}, 2);
  view.LoadDisc(closed.device.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n  DATA TRACK 1\t0\n  DATA TRACK 2\t0\n(Lead Out) 1500\t0\n");
}

TEST(BrowserTree, SynthesisedAddressesPastNinetyMinutesStayWhole) {
  UiScope ui;
  // A three-track session: the last track is left out as the open one; the
  // second starts and the lead-out ends past 404850. Both tracks and the
  // session's end are shown, not only what the first track's block names.
  auto t = DvdDrive(1, 3, {{0, 600000}, {600000, 1400000}, {2000000, 10}});
  CDlgMain view;
  view.LoadDisc(t.device.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n  DATA TRACK 1\t0\n  DATA TRACK 2\t0\n(Lead Out) 2000000\t0\n");
  const TocData::_Data* d2 = view.Sessions()[0].GetTrackData(2);
  ASSERT_NE(d2, nullptr);
  EXPECT_EQ((*d2)[6], 1);
  EXPECT_EQ(view.TrackStart(*d2), 600000);

  // The second track's file system is asked at its real start.
  t.drive->ClearReads();
  view.SelectNode(Path(view.Tree(), "Session 1/DATA TRACK 2"));
  const auto reads = t.drive->Reads();
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.front().lba, 600016u);

  // Each track a session of its own (DVD+R): a session node each.
  auto multi = DvdDrive(1, 3, {{0, 600000}, {610000, 5000}, {700000, 10}}, 1, true);
  view.LoadDisc(multi.device.get());
  EXPECT_EQ(TreeText(view.Tree()),
            "Session 1\t0\n  DATA TRACK 1\t0\nSession 2\t0\n  DATA TRACK 2\t0\n(Lead Out) 615000\t0\n");
}

TEST(BrowserTree, UnreadableTrackInformationOrDiscInformationIsABlankDisc) {
  UiScope ui;
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    auto t = DvdDrive(1, 2, {{0, 1000}});
    if (variant == 1) t.drive->trackInfo.clear();  // track 1 cannot be read
    if (variant == 2) {                            // a CD whose TOC and disc information both fail
      t.drive->profile = 0x09;
      t.drive->discInfo.reset();
    }
    if (variant == 0) t.drive->discInfo.reset();  // DVD: no disc information, no TOC either
    CDlgMain view;
    view.List().InsertItem(0, "stale");
    view.LoadDisc(t.device.get());
    EXPECT_EQ(TreeText(view.Tree()), "Blank Disc\t0\n");
    EXPECT_EQ(view.Sessions().GetSessionNum(), 0);
    // Nothing is selected by loading; selecting the node lists nothing.
    view.SelectNode(view.Tree().GetRootItem());
    EXPECT_EQ(view.List().GetItemCount(), 0);
    EXPECT_EQ(view.GetTrackFsType(view.Tree().GetRootItem()), 0);
  }
}

TEST(BrowserTree, EmptyRecordableDiscIsABlankDisc) {
  UiScope ui;
  // A blank CD-R answers no TOC; a blank DVD-R is never asked for one. Both
  // name track 1, the blank track a recorder would write.
  for (int profile : {0x09, kDvdR}) {
    SCOPED_TRACE(profile);
    auto t = DvdDrive(1, 1, {{0, 359847}}, 0);
    t.drive->profile = static_cast<std::uint16_t>(profile);
    CDlgMain view;
    view.LoadDisc(t.device.get());
    EXPECT_EQ(TreeText(view.Tree()), "Blank Disc\t0\n");
    unsigned char toc[2048];
    EXPECT_EQ(view.SynthesizeToc(toc, sizeof toc), CDlgMain::kEmptyDisc);
  }
}

TEST(BrowserTree, DriveNotReadyLeavesTheTreeEmptyAndTheListAsItWas) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x10, 0xA0, 1, 0, 0},
                                              {1, 0x10, 0xA1, 2, 0, 0},
                                              {1, 0x10, 0xA2, 0, 12, 0},
                                              {1, 0x10, 1, 0, 2, 0},
                                              {1, 0x10, 2, 0, 7, 0}});
  CDlgMain view;
  view.LoadDisc(t.device.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n  AUDIO TRACK 1\t0\n  AUDIO TRACK 2\t0\n(Lead Out) 750\t0\n");
  ASSERT_EQ(view.List().GetItemCount(), 6);

  t.drive->ready = false;
  view.LoadDisc(t.device.get());
  EXPECT_EQ(view.Tree().GetCount(), 0);
  EXPECT_EQ(view.List().GetItemCount(), 6) << "the list keeps its rows";
  EXPECT_EQ(view.Sessions().GetSessionNum(), 0);
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "Device not Ready,Please try again!");
  EXPECT_EQ(ui.hui.Messages()[0].Icon(), static_cast<unsigned>(ui::MB_ICONINFORMATION));
  EXPECT_EQ(ui.hui.Messages()[0].Buttons(), static_cast<unsigned>(ui::MB_OK));

  // No device at all: the tree is emptied, nothing is asked or shown.
  t.drive->ready = true;
  view.LoadDisc(t.device.get());
  ASSERT_GT(view.Tree().GetCount(), 0);
  view.LoadDisc(nullptr);
  EXPECT_EQ(view.Tree().GetCount(), 0);
  EXPECT_EQ(ui.hui.Messages().size(), 1u);
}

TEST(BrowserTree, AnEmptyOrRefusedImageShowsNoDisc) {
  UiScope ui;
  testsupport::ScratchDir dir;
  CDevCmdROM image(0, nullptr);
  EXPECT_FALSE(image.SetImageFile(dir.Write("empty.iso", testsupport::Bytes{})));
  CDlgMain view;
  view.LoadDisc(&image);
  EXPECT_EQ(view.Tree().GetCount(), 0);
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "Device not Ready,Please try again!");
}

TEST(BrowserTree, SplitMovesOnlyWithMoreThanAHundredPixelsEachSide) {
  UiScope ui;
  ui::Window host;
  ASSERT_TRUE(host.CreateWindowAt(nullptr, ui::Rect(50, 20, 650, 420), 0, false));
  CDlgMain view;
  ASSERT_TRUE(view.Create(CDlgMain::kTemplateId, &host));
  EXPECT_EQ(view.GetRect(), ui::Rect(0, 0, 600, 400));
  EXPECT_EQ(view.Tree().GetRect(), ui::Rect(0, 0, 297, 400));
  EXPECT_EQ(view.GetDlgItem(CDlgMain::kSplitterId)->GetRect(), ui::Rect(297, 0, 303, 402));
  EXPECT_EQ(view.List().GetRect(), ui::Rect(303, 0, 600, 400));
  ASSERT_EQ(view.List().GetColumnCount(), 6);
  ASSERT_NE(view.Tree().GetImageList(), nullptr);
  EXPECT_EQ(view.Tree().GetImageList()->GetImageCount(), 5);

  const ui::Rect tree = view.Tree().GetRect(), list = view.List().GetRect();
  auto unchanged = [&] { return view.Tree().GetRect() == tree && view.List().GetRect() == list; };
  // Screen x is the window's left (50) plus the split's x.
  view.OnMessage(CDlgMain::kSplitMessage, 0, 50 + 100);
  EXPECT_TRUE(unchanged()) << "x = 100";
  view.OnMessage(CDlgMain::kSplitMessage, 0, 50 + 500);
  EXPECT_TRUE(unchanged()) << "100 pixels left for the list";
  view.OnMessage(CDlgMain::kSplitMessage, 0, 0);
  EXPECT_TRUE(unchanged()) << "lParam 0";

  view.OnMessage(CDlgMain::kSplitMessage, 0, 50 + 101);
  EXPECT_EQ(view.Tree().GetRect(), ui::Rect(0, 0, 98, 400));
  EXPECT_EQ(view.GetDlgItem(CDlgMain::kSplitterId)->GetRect(), ui::Rect(98, 0, 104, 400));
  EXPECT_EQ(view.List().GetRect(), ui::Rect(104, 0, 600, 400));
  view.OnMessage(CDlgMain::kSplitMessage, 0, 50 + 499);
  EXPECT_EQ(view.Tree().GetRect(), ui::Rect(0, 0, 496, 400));
  EXPECT_EQ(view.List().GetRect(), ui::Rect(502, 0, 600, 400));

  // Dragging the bar itself: it stands at 496..502, the mouse 2 pixels into it.
  auto* bar = view.GetDlgItemAs<CBtnSplit>(CDlgMain::kSplitterId);
  ASSERT_NE(bar, nullptr);
  bar->OnLButtonDown(0, ui::Point{2, 10});
  bar->OnMouseMove(0, ui::Point{2 - 296, 10});  // to x = 202
  bar->OnLButtonUp(0, ui::Point{2 - 296, 10});
  EXPECT_EQ(view.Tree().GetRect(), ui::Rect(0, 0, 199, 400));
  EXPECT_EQ(view.List().GetRect(), ui::Rect(205, 0, 600, 400));
  bar->OnMouseMove(0, ui::Point{100, 10});  // no longer dragged
  EXPECT_EQ(view.Tree().GetRect(), ui::Rect(0, 0, 199, 400));

  // Enter and Escape never end the view.
  ui::MSG enter{};
  enter.message = ui::WM_KEYDOWN;
  enter.wParam = ui::VK_RETURN;
  EXPECT_TRUE(view.PreTranslateMessage(&enter));
  enter.wParam = 'A';
  EXPECT_FALSE(view.PreTranslateMessage(&enter));
  view.DestroyWindow();
  host.DestroyWindow();
}

TEST(BrowserTree, FocusIsRememberedPerControl) {
  UiScope ui;
  CDlgMain view;
  EXPECT_EQ(view.GetLastFocus(), 0);
  EXPECT_EQ(view.OnNotify(CDlgMain::kListId, ui::NM_SETFOCUS), 0);
  EXPECT_EQ(view.GetLastFocus(), 2);
  EXPECT_EQ(view.OnNotify(CDlgMain::kTreeId, ui::NM_SETFOCUS), 0);
  EXPECT_EQ(view.GetLastFocus(), 1);
  // Other notifications and other controls leave it.
  view.OnNotify(CDlgMain::kListId, ui::NM_DBLCLK);
  view.OnNotify(CDlgMain::kSplitterId, ui::NM_SETFOCUS);
  EXPECT_EQ(view.GetLastFocus(), 1);
}

TEST(BrowserTree, LiveViewFollowsItsControls) {
  UiScope ui;
  ui::Window host;
  ASSERT_TRUE(host.CreateWindowAt(nullptr, ui::Rect(0, 0, 640, 400), 0, false));
  CDlgMain view;
  ASSERT_TRUE(view.Create(CDlgMain::kTemplateId, &host));
  IsoBuilder b;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  b.File(docs, "A.TXT;1", Bytes(10, 'a'));
  b.File(b.Root(), "B.TXT;1", Bytes(20, 'b'));
  auto dev = IsoDevice(b.Build());
  view.LoadDisc(dev.get());
  // The tree's own selection change fills the list.
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"DOCS", "B.TXT"}));
  view.List().SetFocus();
  EXPECT_EQ(view.GetLastFocus(), 2);
  // The user's double click on the folder row opens it in the tree.
  view.List().UserDoubleClick(0);
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "DOCS");
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"A.TXT"}));
  view.List().UserDoubleClick(0);  // a file: nothing
  EXPECT_EQ(view.Tree().GetItemText(view.Tree().GetSelectedItem()), "DOCS");
  view.Tree().SetFocus();
  EXPECT_EQ(view.GetLastFocus(), 1);
  view.Tree().UserSelect(view.Tree().GetRootItem());
  EXPECT_EQ(view.List().GetItemCount(), 0);
  view.DestroyWindow();
  host.DestroyWindow();
}

TEST(BrowserTree, TrackOfANodeIsFoundByPositionNotByName) {
  UiScope ui;
  // Session 2 holds a plain ISO track whose folders are named like tree
  // nodes of their own; the first session an audio track.
  IsoBuilder b;
  b.firstLba = 20000;
  IsoNode& s = b.Folder(b.Root(), "Session 1");
  b.Folder(s, "AUDIO TRACK 1");
  const Bytes img = b.Build();
  auto file = std::make_shared<testsupport::MemoryImageFile>(testsupport::AudioSectors(300));
  auto audio = testsupport::MemoryTrack(1, orvane::TrackMode::Audio, 0, 300, file, orvane::StoredFormat::Audio2352, 2352);
  orvane::DiscLayout l = testsupport::MemoryDisc({audio, DataTrack(2, img, 20000, 2)});
  l.sessions = {{1, 0x00, 300}, {2, 0x00, static_cast<std::int32_t>(20000 + img.size() / 2048)}};
  auto dev = Device(l);
  CDlgMain view;
  view.LoadDisc(dev.get());
  ui::HTREEITEM inner = Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)/Session 1/AUDIO TRACK 1");
  ASSERT_NE(inner, nullptr) << TreeText(view.Tree());
  EXPECT_EQ(view.GetTrackFsType(inner), 1);
  EXPECT_EQ(view.GetTrackFsType(Path(view.Tree(), "Session 1/AUDIO TRACK 1")), 0);
  EXPECT_EQ(view.GetTrackFsType(Path(view.Tree(), "Session 2")), 0);
  EXPECT_EQ(view.GetTrackFsType(nullptr), 0);
  // A folder that only looks like an audio track lists as a folder.
  view.SelectNode(Path(view.Tree(), "Session 2/DATA TRACK 2(ISO)/Session 1"));
  EXPECT_EQ(Names(view.List()), (std::vector<std::string>{"AUDIO TRACK 1"}));
  EXPECT_EQ(view.List().GetColumnCount(), 6);
}

TEST(BrowserTree, LastDataTrackDecidesTheDataModeAndAudioLeavesIt) {
  UiScope ui;
  auto toc = [](std::uint8_t ctl2, std::uint8_t type1, std::uint8_t type2) {
    auto t = MakeTestDevice();
    t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x14, 0xA0, 1, type1, 0},
                                                {1, 0x14, 0xA1, 1, 0, 0},
                                                {1, 0x14, 0xA2, 0, 12, 0},
                                                {1, 0x14, 1, 0, 2, 0},
                                                {2, 0x14, 0xA0, 2, type2, 0},
                                                {2, 0x14, 0xA1, 2, 0, 0},
                                                {2, 0x14, 0xA2, 0, 40, 0},
                                                {2, ctl2, 2, 0, 20, 0}});
    return t;
  };
  CDlgMain view;
  auto xaThenPlain = toc(0x14, 0x20, 0x00);
  view.LoadDisc(xaThenPlain.device.get());
  EXPECT_EQ(view.GetDataMode(), 1);
  auto plainThenXa = toc(0x14, 0x00, 0x20);
  view.LoadDisc(plainThenXa.device.get());
  EXPECT_EQ(view.GetDataMode(), 2);
  // Session 2 audio: session 1's plain data track decides.
  auto plainThenAudio = toc(0x10, 0x00, 0x20);
  view.LoadDisc(plainThenAudio.device.get());
  EXPECT_EQ(view.GetDataMode(), 1);
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\n  DATA TRACK 1\t0\nSession 2\t0\n  AUDIO TRACK 2\t0\n(Lead Out) 2850\t0\n");

  // A disc without data tracks keeps the mode of the one before.
  view.LoadDisc(plainThenXa.device.get());
  auto audioOnly = MakeTestDevice();
  audioOnly.drive->fullToc = PanelTestDrive::FullToc(
      {{1, 0x10, 0xA0, 1, 0x20, 0}, {1, 0x10, 0xA1, 1, 0, 0}, {1, 0x10, 0xA2, 0, 12, 0}, {1, 0x10, 1, 0, 2, 0}});
  view.LoadDisc(audioOnly.device.get());
  EXPECT_EQ(view.GetDataMode(), 2);
}

TEST(BrowserTree, PlayerGetsTheDeviceAndTheTree) {
  UiScope ui;
  auto file = std::make_shared<testsupport::MemoryImageFile>(testsupport::AudioSectors(400));
  auto t1 = testsupport::MemoryTrack(1, orvane::TrackMode::Audio, 0, 150, file, orvane::StoredFormat::Audio2352, 2352);
  auto t2 = testsupport::MemoryTrack(2, orvane::TrackMode::Audio, 150, 250, file, orvane::StoredFormat::Audio2352, 2352);
  t2.extents[0].offset = 150 * 2352;
  auto dev = Device(testsupport::MemoryDisc({t1, t2}));
  audio::NullWaveDevice out;
  CDlgAudioPlay player(nullptr, &out);
  CDlgMain view;
  view.LoadDisc(dev.get());
  view.AttachPlayer(&player);
  EXPECT_EQ(view.GetPlayer(), &player);
  view.SelectNode(Path(view.Tree(), "Session 1/AUDIO TRACK 2"));
  ASSERT_EQ(player.Player().Play(), PlayStart::Started);
  EXPECT_EQ(player.Player().Start(), 150u);
  EXPECT_EQ(player.Player().End(), 400u);
  player.Player().Stop();
}

TEST(BrowserTree, DamagedTocGivesABoundedTree) {
  UiScope ui;
  auto t = MakeTestDevice();
  // Session 1 names a last track before its first; session 3 runs from
  // track 0 to 255 and holds a track without a position, one in the lead-in,
  // a POINT 0 and no lead-out.
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x14, 0xA0, 5, 0, 0},
                                              {1, 0x14, 0xA1, 2, 0, 0},
                                              {1, 0x14, 3, 0, 2, 0},
                                              {3, 0x14, 0xA0, 0, 0, 0},
                                              {3, 0x14, 0xA1, 255, 0, 0},
                                              {3, 0x14, 1, 0xFF, 0xFF, 0xFF},
                                              {3, 0x10, 2, 95, 0, 0},
                                              {3, 0x14, 0, 0, 2, 0}});
  CDlgMain view;
  view.LoadDisc(t.device.get());
  EXPECT_EQ(TreeText(view.Tree()), "Session 1\t0\nSession 2\t0\n  DATA TRACK 1\t0\n  AUDIO TRACK 2\t0\n(Lead Out) 0\t0\n");
  for (ui::HTREEITEM s : view.Tree().Children(ui::TVI_ROOT)) {
    view.SelectNode(s);
    for (ui::HTREEITEM n : view.Tree().Children(s)) view.SelectNode(n);
  }
  EXPECT_EQ(view.GetTrackFsType(Path(view.Tree(), "Session 2/DATA TRACK 1")), 0);
}
