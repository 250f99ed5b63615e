// The panels made from their dialog templates inside a host window, as the
// main window makes them, and the scan dialog run modally.
#include <gtest/gtest.h>

#include <thread>

#include "platform/ui/HeadlessUi.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgDevInfo.h"
#include "views/CDlgScanDisc.h"
#include "views/CDlgSector.h"
#include "views/CDlgTOC.h"
#include "views/CDlgVol.h"

using paneltest::MakeTestDevice;
using paneltest::PanelTestDrive;

namespace {

struct Host {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  ui::Window window;
  Host() : prev(ui::Ui::Install(&hui)) { window.CreateWindowAt(nullptr, ui::Rect(0, 0, 640, 400), 0, false); }
  ~Host() {
    window.DestroyWindow();
    ui::Ui::Install(prev);
  }
};

}  // namespace

TEST(PanelTemplate, ListPanelsFillTheirParent) {
  Host host;
  CDlgTOC toc;
  ASSERT_TRUE(toc.Create(CDlgTOC::kTemplateId, &host.window));
  EXPECT_TRUE(toc.List().IsWindow());
  EXPECT_EQ(toc.GetRect(), ui::Rect(0, 0, 640, 400));
  EXPECT_EQ(toc.List().GetRect(), ui::Rect(0, 0, 640, 400));
  EXPECT_TRUE(toc.List().GetFullRowSel());
  ASSERT_NE(toc.List().GetImageList(), nullptr);
  EXPECT_EQ(toc.List().GetImageList()->GetImageCount(), 1);

  CDlgVol vol;
  ASSERT_TRUE(vol.Create(CDlgVol::kTemplateId, &host.window));
  ASSERT_EQ(vol.List().GetColumnCount(), 2);
  EXPECT_EQ(vol.List().GetColumn(0)->heading, "Volume Descriptor");
  EXPECT_EQ(vol.List().GetColumn(0)->width, 200);
  EXPECT_TRUE(vol.List().GetFullRowSel());

  CDlgDevInfo dev;
  ASSERT_TRUE(dev.Create(CDlgDevInfo::kTemplateId, &host.window));
  ASSERT_EQ(dev.List().GetColumnCount(), 2);
  EXPECT_EQ(dev.List().GetColumn(1)->heading, "Device Parameter");
  EXPECT_EQ(dev.List().GetRect(), ui::Rect(0, 0, 640, 400));

  // Filled once made, as the main window fills them.
  auto t = MakeTestDevice();
  t.drive->fullToc = PanelTestDrive::FullToc({{1, 0x14, 0xA0, 1, 0, 0}, {1, 0x14, 0xA1, 1, 0, 0},
                                              {1, 0x14, 0xA2, 1, 0, 0}, {1, 0x14, 1, 0, 2, 0}});
  toc.SetDevice(t.device.get());
  EXPECT_EQ(toc.List().GetItemCount(), 1);
  EXPECT_EQ(toc.List().GetItemText(0, 4), "4349");
}

TEST(PanelTemplate, SectorPanelPlacesItsDumpBelowTheEditBox) {
  Host host;
  CDlgSector sec;
  ASSERT_TRUE(sec.Create(CDlgSector::kTemplateId, &host.window));
  EXPECT_TRUE(sec.SectorEdit().IsWindow());
  EXPECT_TRUE(sec.Stepper().IsWindow());
  EXPECT_TRUE(sec.AllMode().IsWindow());
  EXPECT_EQ(sec.Dump().GetRect(), ui::Rect(0, 30, 640, 400));
  EXPECT_TRUE(sec.AllMode().GetSelect());
  auto t = MakeTestDevice();
  sec.SetDevice(t.device.get(), 1);
  EXPECT_EQ(sec.Dump().GetCount(), 149);
  // The check box's click reaches the panel through its window.
  sec.AllMode().Click();
  EXPECT_FALSE(sec.AllMode().GetSelect());
  EXPECT_EQ(sec.Dump().GetCount(), 130);
  // Enter in the edit box shows the sector typed; Escape leaves the panel be.
  sec.SectorEdit().SetWindowText("3");
  host.hui.SetFocusWindow(&sec.SectorEdit());
  EXPECT_TRUE(host.hui.PressKey(&sec.SectorEdit(), ui::VK_RETURN));
  EXPECT_EQ(t.drive->Reads().back().lba, 3u);
  host.hui.PressKey(&sec.SectorEdit(), ui::VK_ESCAPE);
  EXPECT_TRUE(sec.IsWindow());
}

TEST(PanelTemplate, ScanDialogRunsModallyAndEscapeJoinsItsWorker) {
  Host host;
  auto t = MakeTestDevice();
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 1);
  t.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 4, 1, 0, 500000);
  t.drive->capacity = 500000;
  std::atomic<int> reads{0};
  t.drive->onRead = [&](const paneltest::Read&) {
    ++reads;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  };
  CDlgScanDisc dlg(&host.window);
  dlg.SetDevice(t.device.get());
  bool sawScanning = false;
  host.hui.QueueModalAction([&](ui::Dialog& d) {
    auto& scan = static_cast<CDlgScanDisc&>(d);
    EXPECT_EQ(scan.List().GetColumnCount(), 4);
    EXPECT_FALSE(scan.Progress().GetVisibleFlag());
    scan.StartButton().Click();
    sawScanning = !scan.IsIdle() && !scan.CancelButton().IsWindowEnabled();
    scan.CancelButton().Click();  // disabled: nothing
    EXPECT_FALSE(scan.IsEnding());
    while (reads < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    host.hui.PressKey(&scan, ui::VK_ESCAPE);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(sawScanning);
  EXPECT_FALSE(dlg.HasWorker());
  const int after = reads;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(reads, after);
  EXPECT_LT(after, 500000 / 16);
}
