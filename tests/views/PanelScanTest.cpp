// The disc scan: which reads it issues, which sectors it lists, progress,
// stopping, and the dialog's states with its worker thread.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <thread>

#include "platform/ui/HeadlessUi.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgScanDisc.h"

using paneltest::MakeTestDevice;
using paneltest::PanelTestDrive;
using paneltest::Read;

namespace {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

struct Found {
  std::vector<std::uint32_t> lbas;
  std::vector<SenseData_tag> senses;
  std::vector<int> progress;
  int begun = 0;
  ScanHooks Hooks() {
    ScanHooks h;
    h.begin = [this] { ++begun; };
    h.badSector = [this](std::uint32_t lba, const SenseData_tag& s) {
      lbas.push_back(lba);
      senses.push_back(s);
    };
    h.progress = [this](int p) { progress.push_back(p); };
    return h;
  }
};

// One data track of `size` sectors at `start` (and an audio track after it
// when audioSize is not 0).
void OneTrackDisc(PanelTestDrive& d, std::uint32_t start, std::uint32_t size, std::uint32_t audioSize = 0) {
  d.discInfo = PanelTestDrive::DiscInfo(2, 1, audioSize ? 2 : 1);
  d.trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, start, size);
  if (audioSize) d.trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 0, 0, start + size, audioSize);
  d.capacity = start + size + audioSize;
}

// Pumps the dialog's posted work until it is idle again (or time runs out).
bool PumpUntilIdle(UiScope& ui, CDlgScanDisc& dlg) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    ui.hui.WaitForPosted(std::chrono::milliseconds(20));
    ui.hui.RunPosted();
    if (dlg.IsIdle() && !dlg.HasWorker()) return true;
    if (dlg.IsIdle()) {
      dlg.StopAndJoin();
      ui.hui.RunPosted();
      return true;
    }
  }
  return false;
}

}  // namespace

TEST(PanelScan, ReadsRunsOfSixteenNeverPastTheTrackEnd) {
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 100, 37, 20);
  std::atomic<bool> stop{false};
  DiscScanner scanner(*t.device, stop);
  Found f;
  EXPECT_EQ(scanner.Run(f.Hooks()), ScanOutcome::Completed);
  EXPECT_EQ(t.drive->Reads(), (std::vector<Read>{{0x28, 100, 16}, {0x28, 116, 16}, {0x28, 132, 5},
                                                 {0xBE, 137, 16}, {0xBE, 153, 4}}));
  EXPECT_TRUE(f.lbas.empty());
  EXPECT_EQ(f.begun, 1);
  EXPECT_EQ(scanner.DiscEnd(), 157u);
  // 100 x cursor / disc end after each run, only when it changes.
  EXPECT_EQ(f.progress, (std::vector<int>{0, 73, 84, 87, 97, 100}));
}

// A pregap that the drive counts in neither track (an image's INDEX 00 run)
// is read raw between them, and its bad sectors are listed; a session's gap
// is not.
TEST(PanelScan, APregapBetweenTracksIsReadRawAndItsBadSectorsListed) {
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 30);
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 3);
  t.drive->trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 0, 0, 40, 10);
  t.drive->trackInfo[3] = PanelTestDrive::TrackInfo(2, 3, 4, 1, 100, 5);
  t.drive->capacity = 105;
  t.drive->bad[35] = {3, 0x11, 5};
  std::atomic<bool> stop{false};
  DiscScanner scanner(*t.device, stop);
  Found f;
  EXPECT_EQ(scanner.Run(f.Hooks()), ScanOutcome::Completed);
  EXPECT_EQ(f.lbas, (std::vector<std::uint32_t>{35}));
  const auto reads = t.drive->Reads();
  ASSERT_GE(reads.size(), 4u);
  EXPECT_EQ(reads[2], (Read{0xBE, 30, 10}));
  EXPECT_EQ(reads.back(), (Read{0x28, 100, 5}));
}

TEST(PanelScan, ListsExactlyTheSectorsThatFailAloneWithTheirSense) {
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 64);
  t.drive->bad[20] = {3, 0x11, 5};
  t.drive->bad[21] = {3, 0x02, 0x00};
  t.drive->failInRuns[40] = {3, 0x11, 0};  // the run fails, the sector alone reads
  std::atomic<bool> stop{false};
  DiscScanner scanner(*t.device, stop);
  Found f;
  EXPECT_EQ(scanner.Run(f.Hooks()), ScanOutcome::Completed);
  ASSERT_EQ(f.lbas, (std::vector<std::uint32_t>{20, 21}));
  EXPECT_EQ(f.senses[0].key, 3);
  EXPECT_EQ(f.senses[0].asc, 0x11);
  EXPECT_EQ(f.senses[0].ascq, 5);
  EXPECT_EQ(f.senses[1].asc, 0x02);
  // Runs 16-31 and 32-47 failed: each re-read one sector at a time.
  const auto reads = t.drive->Reads();
  EXPECT_EQ(reads.size(), 4u + 16 + 16);
  EXPECT_EQ(reads[1], (Read{0x28, 16, 16}));
  EXPECT_EQ(reads[2], (Read{0x28, 16, 1}));
  EXPECT_EQ(reads[17], (Read{0x28, 31, 1}));
  EXPECT_EQ(reads[18], (Read{0x28, 32, 16}));
}

TEST(PanelScan, FormTwoSectorsReadWholeAreNotListed) {
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 32);
  for (std::uint32_t s = 8; s < 12; ++s) t.drive->form2.insert(s);
  t.drive->bad[10] = {3, 0x11, 5};  // a Form 2 sector that does not read at all
  std::atomic<bool> stop{false};
  DiscScanner scanner(*t.device, stop);
  Found f;
  EXPECT_EQ(scanner.Run(f.Hooks()), ScanOutcome::Completed);
  ASSERT_EQ(f.lbas, (std::vector<std::uint32_t>{10}));
  EXPECT_EQ(f.senses[0].asc, 0x11);
  // The failed run re-read alone; each illegal-mode refusal read again raw.
  const auto reads = t.drive->Reads();
  ASSERT_EQ(reads.size(), 1u + 16 + 3 + 1);
  EXPECT_EQ(reads[9], (Read{0x28, 8, 1}));
  EXPECT_EQ(reads[10], (Read{0xBE, 8, 1}));
  EXPECT_EQ(reads[13], (Read{0x28, 10, 1}));  // a medium error is not retried raw
  EXPECT_EQ(reads[14], (Read{0x28, 11, 1}));
  EXPECT_EQ(reads[20], (Read{0x28, 16, 16}));
}

TEST(PanelScan, EndsAtOnceWhenThereIsNothingToScan) {
  auto t = MakeTestDevice();
  std::atomic<bool> stop{false};
  Found f;
  // Empty disc.
  t.drive->discInfo = PanelTestDrive::DiscInfo(0, 1, 1);
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::NoDisc);
  // Neither disc information nor a TOC.
  t.drive->discInfo.reset();
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::NoTracks);
  // The TOC's header gives the tracks, but the last one cannot be read.
  t.drive->formattedToc = std::vector<std::uint8_t>{0, 10, 1, 2, 0, 0x14, 1, 0, 0, 0, 0, 0};
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 10);
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::NoLastTrack);
  EXPECT_EQ(f.begun, 0);
  EXPECT_TRUE(f.progress.empty());
  EXPECT_TRUE(t.drive->Reads().empty());
  // With track 2 readable the TOC path scans both.
  t.drive->trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 4, 1, 10, 10);
  t.drive->capacity = 20;
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::Completed);
  EXPECT_EQ(t.drive->Reads(), (std::vector<Read>{{0x28, 0, 10}, {0x28, 10, 10}}));
}

TEST(PanelScan, DiscEndOfZeroLeavesProgressAlone) {
  auto t = MakeTestDevice();
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 2);
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 40);
  t.drive->trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 4, 1, 0, 0);
  std::atomic<bool> stop{false};
  Found f;
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::Completed);
  EXPECT_EQ(f.progress, (std::vector<int>{0}));
  EXPECT_EQ(t.drive->Reads().size(), 3u);
  EXPECT_EQ(ScanPercent(5, 0), -1);
  // A disc far larger than 32 bits of 100 x sectors still reads right.
  EXPECT_EQ(ScanPercent(50000000, 100000000), 50);
}

TEST(PanelScan, StopEndsBeforeTheNextRead) {
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 1000);
  std::atomic<bool> stop{false};
  int reads = 0;
  t.drive->onRead = [&](const Read&) {
    if (++reads == 3) stop = true;
  };
  Found f;
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(f.Hooks()), ScanOutcome::Stopped);
  EXPECT_EQ(t.drive->Reads().size(), 3u);
  // Inside a failed run the check comes before each single read as well.
  t.drive->ClearReads();
  t.drive->bad[0] = {3, 0x11, 5};
  reads = 0;
  stop = false;
  t.drive->onRead = [&](const Read&) {
    if (++reads == 3) stop = true;
  };
  Found g;
  EXPECT_EQ(DiscScanner(*t.device, stop).Run(g.Hooks()), ScanOutcome::Stopped);
  EXPECT_EQ(t.drive->Reads(), (std::vector<Read>{{0x28, 0, 16}, {0x28, 0, 1}, {0x28, 1, 1}}));
  EXPECT_EQ(g.lbas, (std::vector<std::uint32_t>{0}));
}

TEST(PanelScan, DialogListsRowsFromTheUserInterfaceThread) {
  UiScope ui;
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 2000);
  t.drive->bad[1234] = {3, 0x11, 5};
  CDlgScanDisc dlg;
  dlg.SetDevice(t.device.get());
  dlg.OnInitDialog();
  ASSERT_EQ(dlg.List().GetColumnCount(), 4);
  EXPECT_EQ(dlg.List().GetColumn(1)->heading, "SenseKey");
  EXPECT_FALSE(dlg.Progress().GetVisibleFlag());

  const std::thread::id uiThread = std::this_thread::get_id();
  t.drive->onRead = [&](const Read&) { EXPECT_NE(std::this_thread::get_id(), uiThread); };
  dlg.OnCommand(CDlgScanDisc::kStartId);
  EXPECT_FALSE(dlg.IsIdle());
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Stop");
  EXPECT_FALSE(dlg.CancelButton().IsWindowEnabled());
  // Nothing reaches the list until the user-interface thread runs the posts.
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  ASSERT_EQ(dlg.List().GetItemCount(), 1);
  EXPECT_EQ(dlg.List().GetItemText(0, 0), "1234");
  EXPECT_EQ(dlg.List().GetItemText(0, 1), "0x03");
  EXPECT_EQ(dlg.List().GetItemText(0, 2), "0x11");
  EXPECT_EQ(dlg.List().GetItemText(0, 3), "0x05");
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Start");
  EXPECT_TRUE(dlg.CancelButton().IsWindowEnabled());
  EXPECT_FALSE(dlg.Progress().GetVisibleFlag());
  EXPECT_EQ(dlg.Progress().GetPos(), 100);

  // A second scan inserts its rows above the first one's.
  t.drive->bad.clear();
  t.drive->bad[7] = {4, 0x44, 0};
  t.drive->bad[8] = {4, 0x44, 1};
  dlg.OnCommand(CDlgScanDisc::kStartId);
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  ASSERT_EQ(dlg.List().GetItemCount(), 3);
  EXPECT_EQ(dlg.List().GetItemText(0, 0), "7");
  EXPECT_EQ(dlg.List().GetItemText(1, 0), "8");
  EXPECT_EQ(dlg.List().GetItemText(1, 3), "0x01");
  EXPECT_EQ(dlg.List().GetItemText(2, 0), "1234");
}

TEST(PanelScan, DialogStartWhenNotReadyAndOnAnEmptyDisc) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->discInfo = PanelTestDrive::DiscInfo(0, 1, 1);
  CDlgScanDisc dlg;
  dlg.SetDevice(t.device.get());
  dlg.OnInitDialog();
  t.drive->ready = false;
  dlg.OnCommand(CDlgScanDisc::kStartId);
  EXPECT_TRUE(dlg.IsIdle());
  EXPECT_FALSE(dlg.HasWorker());
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "Device not Ready,Please try again!");
  t.drive->ready = true;
  dlg.OnCommand(CDlgScanDisc::kStartId);
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  EXPECT_FALSE(dlg.Progress().GetVisibleFlag());
  EXPECT_TRUE(dlg.CancelButton().IsWindowEnabled());
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Start");
}

// A latch a reading thread waits on until the test opens it.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  std::atomic<int> waiting{0};
  void Wait() {
    std::unique_lock<std::mutex> l(m);
    ++waiting;
    cv.wait(l, [this] { return open; });
    --waiting;
  }
  void Open() {
    std::lock_guard<std::mutex> l(m);
    open = true;
    cv.notify_all();
  }
};

TEST(PanelScan, StartAfterStopWaitsForTheStoppedWorker) {
  UiScope ui;
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 320);
  t.drive->bad[3] = {3, 0x11, 5};
  Gate first, second;
  std::atomic<int> inside{0}, most{0}, scans{0};
  std::atomic<bool> firstScan{true};
  t.drive->onRead = [&](const Read& r) {
    const int n = ++inside;
    most = std::max(most.load(), n);
    if (r.lba == 0 && r.count == 16) ++scans;
    if (r.lba == 16 && r.count == 16) (scans == 1 ? first : second).Wait();
    --inside;
  };
  // No command of the dialog's own (its readiness question) while a worker reads.
  std::atomic<int> overlaps{0};
  t.drive->onCommand = [&](std::uint8_t opcode) {
    if (opcode == 0x00 && inside > 0) ++overlaps;
  };
  CDlgScanDisc dlg;
  dlg.SetDevice(t.device.get());
  dlg.OnInitDialog();
  dlg.OnCommand(CDlgScanDisc::kStartId);
  while (first.waiting == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  dlg.OnCommand(CDlgScanDisc::kStartId);  // Stop: the caption reads Start at once
  EXPECT_TRUE(dlg.IsIdle());
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Start");
  EXPECT_TRUE(dlg.HasWorker());
  // Start again while the stopped worker is still inside its read.
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    first.Open();
  });
  dlg.OnCommand(CDlgScanDisc::kStartId);
  opener.join();
  EXPECT_FALSE(dlg.IsIdle());
  while (second.waiting == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // The stopped scan's late posts (its row, its end) do not end the new scan.
  ui.hui.RunPosted();
  EXPECT_FALSE(dlg.IsIdle());
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Stop");
  EXPECT_FALSE(dlg.CancelButton().IsWindowEnabled());
  second.Open();
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  EXPECT_EQ(most.load(), 1);  // never two workers on the device
  EXPECT_EQ(overlaps.load(), 0);
  // Sector 3 from each scan: the new scan's row on top, the old one below.
  ASSERT_EQ(dlg.List().GetItemCount(), 2);
  EXPECT_EQ(dlg.List().GetItemText(0, 0), "3");
  EXPECT_EQ(dlg.List().GetItemText(1, 0), "3");
}

TEST(PanelScan, StopDuringARunEndsTheScanAfterThatRead) {
  UiScope ui;
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 100000);
  Gate gate;
  t.drive->onRead = [&](const Read& r) {
    if (r.lba == 32) gate.Wait();
  };
  CDlgScanDisc dlg;
  dlg.SetDevice(t.device.get());
  dlg.OnInitDialog();
  dlg.OnCommand(CDlgScanDisc::kStartId);
  while (gate.waiting == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ui.hui.RunPosted();
  EXPECT_TRUE(dlg.Progress().GetVisibleFlag());
  dlg.OnCommand(CDlgScanDisc::kStartId);
  EXPECT_EQ(dlg.StartButton().GetWindowText(), "Start");
  gate.Open();
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  EXPECT_EQ(t.drive->Reads().size(), 3u);
  EXPECT_FALSE(dlg.Progress().GetVisibleFlag());
  EXPECT_TRUE(dlg.CancelButton().IsWindowEnabled());
  // After it, one press of Start scans again.
  t.drive->onRead = nullptr;
  t.drive->ClearReads();
  OneTrackDisc(*t.drive, 0, 40);
  dlg.OnCommand(CDlgScanDisc::kStartId);
  ASSERT_TRUE(PumpUntilIdle(ui, dlg));
  EXPECT_EQ(t.drive->Reads().size(), 3u);
}

TEST(PanelScan, EscapeStopsAndJoinsTheWorker) {
  UiScope ui;
  auto t = MakeTestDevice();
  OneTrackDisc(*t.drive, 0, 100000);
  Gate gate;
  t.drive->onRead = [&](const Read& r) {
    if (r.lba == 32) gate.Wait();
  };
  auto dlg = std::make_unique<CDlgScanDisc>();
  dlg->SetDevice(t.device.get());
  dlg->OnInitDialog();
  dlg->OnCommand(CDlgScanDisc::kStartId);
  while (gate.waiting == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.Open();
  });
  dlg->OnCancel();
  opener.join();
  EXPECT_FALSE(dlg->HasWorker());
  const auto reads = t.drive->Reads().size();
  EXPECT_EQ(reads, 3u);  // the read under way completed; no further read
  dlg.reset();           // its posts are dropped with it
  ui.hui.RunPosted();
  EXPECT_EQ(t.drive->Reads().size(), reads);
}

TEST(PanelScan, SenseByteText) {
  EXPECT_EQ(SenseByteText(3), "0x03");
  EXPECT_EQ(SenseByteText(17), "0x11");
  EXPECT_EQ(SenseByteText(0xFF), "0xFF");
  EXPECT_EQ(SenseByteText(0), "0x00");
}
