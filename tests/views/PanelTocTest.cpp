// The track list: full-TOC rows, the fallback rows of discs without a CD TOC,
// and what a save asks for.
#include <gtest/gtest.h>

#include "platform/orvane/VirtualDrive.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/support/MemoryImage.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgTOC.h"

using paneltest::MakeTestDevice;
using paneltest::PanelTestDrive;

namespace {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

std::vector<std::vector<std::string>> Texts(const CDlgTOC& dlg) {
  std::vector<std::vector<std::string>> out;
  auto& list = const_cast<CDlgTOC&>(dlg).List();
  for (int r = 0; r < list.GetItemCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < 5; ++c) row.push_back(list.GetItemText(r, c));
    out.push_back(row);
  }
  return out;
}

// Audio CD: tracks at 00:02:00 and 04:12:30, lead-out 07:00:00.
std::vector<PanelTestDrive::Desc> AudioCd() {
  return {{1, 0x10, 0xA0, 1, 0, 0}, {1, 0x10, 0xA1, 2, 0, 0}, {1, 0x10, 0xA2, 7, 0, 0},
          {1, 0x10, 1, 0, 2, 0},    {1, 0x10, 2, 4, 12, 30}};
}

}  // namespace

TEST(PanelToc, AudioCdRowsEndOneSectorBeforeTheNextStart) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc(AudioCd());
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  ASSERT_EQ(dlg.LastResult(), TocListResult::FullToc);
  const auto rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Session 1", "1", "AUDIO", "0", "18779"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"Session 1", "2", "AUDIO", "18780", "31349"}));
  // Columns as the list shows them.
  ASSERT_EQ(dlg.List().GetColumnCount(), 5);
  EXPECT_EQ(dlg.List().GetColumn(0)->heading, "Session Index");
  EXPECT_EQ(dlg.List().GetColumn(4)->heading, "End pos");
  EXPECT_EQ(dlg.List().GetColumn(2)->width, 150);
  EXPECT_EQ(dlg.List().GetItemImage(1), 0);
  // Built again on the next SetDevice, not appended.
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 2);
  EXPECT_EQ(dlg.List().GetColumnCount(), 5);
}

TEST(PanelToc, DataTracksCarryTheirModeFromTrackInformation) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x14, 0xA0, 1, 0, 0}, {1, 0x14, 0xA1, 3, 0, 0},
                                              {1, 0x14, 0xA2, 10, 0, 0}, {1, 0x14, 1, 0, 2, 0},
                                              {1, 0x14, 2, 2, 0, 0},     {1, 0x16, 3, 4, 0, 0}});
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 8850);
  t.drive->trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 4, 2, 8850, 9000);
  // Track 3 has no readable track information.
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  const auto rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][2], "DATA(Mode1)");
  EXPECT_EQ(rows[1][2], "DATA(Mode2)");
  EXPECT_EQ(rows[2][2], "DATA");
  // Data Mode 0x0F (unknown) leaves DATA alone too.
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 0x0F, 0, 8850);
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(Texts(dlg)[0][2], "DATA");
}

TEST(PanelToc, TwoSessionsAndUnusualPositions) {
  UiScope ui;
  auto t = MakeTestDevice();
  // Session 1: tracks 1-2, session 2: track 3 at 20:00:00, lead-out 30:00:00.
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x10, 0xA0, 1, 0, 0}, {1, 0x10, 0xA1, 2, 0, 0},
                                              {1, 0x10, 0xA2, 15, 0, 0}, {1, 0x10, 1, 0, 2, 0},
                                              {1, 0x10, 2, 5, 0, 0},     {2, 0x14, 0xA0, 3, 0x20, 0},
                                              {2, 0x14, 0xA1, 3, 0, 0},  {2, 0x14, 0xA2, 30, 0, 0},
                                              {2, 0x14, 3, 20, 0, 0}});
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  auto rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"Session 1", "2", "AUDIO", "22350", "89849"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"Session 2", "3", "DATA", "89850", "134849"}));

  // A lead-out given as FF:FF:FF ends the last track at 16777214; a track
  // whose successor is missing ends at its session's lead-out.
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x10, 0xA0, 1, 0, 0}, {1, 0x10, 0xA1, 3, 0, 0},
                                              {1, 0x10, 0xA2, 0xFF, 0xFF, 0xFF}, {1, 0x10, 1, 0, 2, 0},
                                              {1, 0x10, 3, 5, 0, 0}});
  dlg.SetDevice(t.device.get());
  rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 2u);  // track 2 has no descriptor: no row
  EXPECT_EQ(rows[0][1], "1");
  EXPECT_EQ(rows[0][4], "16777214");
  EXPECT_EQ(rows[1][4], "16777214");
  EXPECT_FALSE(dlg.Rows()[1].hasRange);
}

TEST(PanelToc, HostileTocLengthsStayInsideTheBuffer) {
  UiScope ui;
  auto t = MakeTestDevice();
  auto toc = PanelTestDrive::FullToc(AudioCd());
  toc[0] = 0xFF;  // claims 65000 bytes
  toc[1] = 0xF0;
  t.drive->fullToc = toc;
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 2);
  // A length below 2 names no descriptor at all.
  toc[0] = 0;
  toc[1] = 1;
  t.drive->fullToc = toc;
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  // First and last track far apart with nothing between: bounded, no rows.
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x10, 0xA0, 0, 0, 0}, {1, 0x10, 0xA1, 255, 0, 0}});
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
}

TEST(PanelToc, DvdFallbackRowsFromTrackInformation) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->profile = 0x10;
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 3);
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 100000);
  t.drive->trackInfo[3] = PanelTestDrive::TrackInfo(2, 3, 4, 1, 200000, 5000);
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  ASSERT_EQ(dlg.LastResult(), TocListResult::Fallback);
  const auto rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 2u);  // track 2 unreadable: skipped
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "1", "DATA", "0", "100000"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "3", "DATA", "200000", "205000"}));

  // No disc information either: the columns alone.
  t.drive->discInfo.reset();
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.LastResult(), TocListResult::NoDiscInfo);
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  EXPECT_EQ(dlg.List().GetColumnCount(), 5);
}

TEST(PanelToc, BdRFallbackListsTracksAndSessionsPast255) {
  // 300 sessions of one track each: the low bytes alone would list 44 rows
  // and call track 300's session 44.
  UiScope ui;
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(testsupport::ManyTrackDisc(300, true), "memory"));
  CDlgTOC dlg;
  dlg.SetDevice(&dev);
  ASSERT_EQ(dlg.LastResult(), TocListResult::Fallback);
  const auto rows = Texts(dlg);
  ASSERT_EQ(rows.size(), 300u);
  EXPECT_EQ(rows[255], (std::vector<std::string>{"256", "256", "DATA", "510", "512"}));
  EXPECT_EQ(rows[299], (std::vector<std::string>{"300", "300", "DATA", "598", "600"}));
}

TEST(PanelToc, NotReadyShowsTheMessageAndLeavesTheListEmpty) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc(AudioCd());
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  t.drive->ready = false;
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "Device not Ready,Please try again!");
  EXPECT_EQ(ui.hui.Messages()[0].Icon(), ui::MB_ICONINFORMATION);
  dlg.SetDevice(nullptr);  // no device: nothing, no message
  EXPECT_EQ(ui.hui.Messages().size(), 1u);
}

TEST(PanelToc, SaveAsksForTheRightFileAndCoversTheWholeTrack) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x14, 0xA0, 1, 0, 0}, {1, 0x14, 0xA1, 3, 0, 0},
                                              {1, 0x14, 0xA2, 7, 0, 0},  {1, 0x14, 1, 0, 2, 0},
                                              {1, 0x14, 2, 4, 12, 30},   {1, 0x10, 3, 6, 0, 0}});
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  EXPECT_FALSE(dlg.PrepareTrackSave());  // nothing selected: no dialog
  EXPECT_TRUE(ui.hui.FileDialogs().empty());

  // Track 1 as an ISO: no question; the range is the whole track.
  dlg.List().UserClick(0);
  ui.hui.QueueFileChoice("/tmp/out/Track1.iso");
  auto req = dlg.PrepareTrackSave();
  ASSERT_TRUE(req);
  EXPECT_EQ(req->kind, 1);
  EXPECT_EQ(req->start, 0);
  EXPECT_EQ(req->end, 18780);  // the row shows 18779, its last sector
  EXPECT_EQ(req->path, "/tmp/out/Track1.iso");
  ASSERT_EQ(ui.hui.FileDialogs().size(), 1u);
  EXPECT_EQ(ui.hui.FileDialogs()[0].fileName, "Track1");
  EXPECT_EQ(ui.hui.FileDialogs()[0].filter, "ISO File(*.iso)|*.iso|Data File(*.dat)|*.dat||");
  EXPECT_FALSE(ui.hui.FileDialogs()[0].open);
  EXPECT_TRUE(ui.hui.Messages().empty());

  // Track 2 as an ISO asks; Cancel stops the save.
  dlg.List().UserClick(1);
  ui.hui.QueueFileChoice("/tmp/out/Track2.ISO");
  ui.hui.QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_FALSE(dlg.PrepareTrackSave());
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "This is not the first track, the ISO file may be incorrect, Continue?");
  EXPECT_EQ(ui.hui.Messages()[0].Buttons(), ui::MB_OKCANCEL);
  EXPECT_EQ(ui.hui.Messages()[0].Icon(), ui::MB_ICONQUESTION);
  // ... OK goes on; as .dat it does not ask.
  ui.hui.QueueFileChoice("/tmp/out/Track2.iso");
  ui.hui.QueueMessageBoxAnswer(IDOK);
  EXPECT_TRUE(dlg.PrepareTrackSave());
  ui.hui.QueueFileChoice("/tmp/out/Track2.dat");
  ASSERT_TRUE(dlg.PrepareTrackSave());
  EXPECT_EQ(ui.hui.Messages().size(), 2u);

  // An audio row proposes no name and offers WAV or DAT; Cancel saves nothing.
  dlg.List().UserClick(2);
  ui.hui.QueueFileChoice(std::nullopt);
  EXPECT_FALSE(dlg.PrepareTrackSave());
  EXPECT_EQ(ui.hui.FileDialogs().back().fileName, "");
  EXPECT_EQ(ui.hui.FileDialogs().back().filter, "Wav File(*.wav)|*.wav|Data File(*.dat)|*.dat||");
  ui.hui.QueueFileChoice("/tmp/out/a.wav");
  req = dlg.PrepareTrackSave();
  ASSERT_TRUE(req);
  EXPECT_EQ(req->kind, 0);
  EXPECT_EQ(req->start, 26850);
  EXPECT_EQ(req->end, 31350);

  // Not ready: the message, no dialog.
  t.drive->ready = false;
  const auto dialogs = ui.hui.FileDialogs().size();
  EXPECT_FALSE(dlg.PrepareTrackSave());
  EXPECT_EQ(ui.hui.FileDialogs().size(), dialogs);
  EXPECT_EQ(ui.hui.Messages().back().text, "Device not Ready,Please try again!");
}

TEST(PanelToc, FallbackRowSavesStartToStartPlusSize) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 1);
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 2000);
  CDlgTOC dlg;
  dlg.SetDevice(t.device.get());
  dlg.List().UserClick(0);
  ui.hui.QueueFileChoice("/tmp/out/dvd.iso");
  const auto req = dlg.PrepareTrackSave();
  ASSERT_TRUE(req);
  EXPECT_EQ(req->start, 0);
  EXPECT_EQ(req->end, 2000);
}
