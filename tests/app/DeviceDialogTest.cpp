// The device dialog and the About box, headless.
#include <gtest/gtest.h>

#include <cstring>

#include "app/CDlgAbout.h"
#include "app/dialogs/CDlgDev.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Paths.h"
#include "res/Resources.h"
#include "tests/app/AppTestUtil.h"

namespace {

struct DeviceDialog : ::testing::Test {
  apptest::HeadlessScope scope;
  ui::HeadlessUi& hui = scope.ui;
  apptest::MixedModeDisc disc;
  std::vector<apptest::Drive> drives;
  std::unique_ptr<DevDeque> devices;

  // Two drives, D (sr0, with the disc) and E (sr1, empty), then the image item.
  void SetUp() override {
    drives.push_back(apptest::MakeDrive(1, disc.cue));
    drives.push_back(apptest::MakeDrive(2));
    drives[1].transport->identification = "OTHER   Writer          2.10";
  }
  DevDeque& Devices() {
    if (!devices) devices = apptest::DevicesOf(drives);
    return *devices;
  }
  // Runs the dialog; `act` plays the user.
  int Run(CDlgDev& dlg, std::function<void(CDlgDev&)> act) {
    dlg.SetDeviceList(&Devices());
    hui.QueueModalAction([act](ui::Dialog& d) {
      act(dynamic_cast<CDlgDev&>(d));
      if (!d.IsEnding()) d.EndDialog(IDCANCEL);
    });
    return dlg.DoModal();
  }
  std::vector<std::string> messageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : hui.Messages()) out.push_back(m.text);
    return out;
  }
};

TEST_F(DeviceDialog, ListsTheDrivesByNodeThenTheImageEntryWithTheFirstSelected) {
  CDlgDev dlg;
  std::vector<std::string> entries;
  int selected = -1;
  ui::Rect rect;
  bool shaped = false;
  Run(dlg, [&](CDlgDev& d) {
    for (int i = 0; i < d.List().GetCount(); ++i) entries.push_back(d.List().GetText(i));
    selected = d.List().GetCurSel();
    rect = d.GetRect();
    shaped = d.GetWindowRgn().has_value() &&
             *d.GetWindowRgn() == ui::Region::FromMask(res::LoadBitmap(CDlgDev::kMaskBitmap), 291, 186);
  });
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "/dev/sr0: TESSAL  Test Drive      1.00");
  EXPECT_EQ(entries[1], "/dev/sr1: OTHER   Writer          2.10");
  EXPECT_EQ(entries[2], "[Image File]");
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(rect, ui::Rect::FromSize(1920 / 2 - 291 / 2, 1080 / 2 - 186 / 2, 291, 186));
  EXPECT_TRUE(shaped);
}

TEST_F(DeviceDialog, AReadyDriveIsHandedOverWithItsEntryAsName) {
  CDlgDev dlg;
  EXPECT_EQ(Run(dlg, [](CDlgDev& d) { d.OnCommand(CDlgDev::kOkId); }), IDOK);
  EXPECT_EQ(dlg.GetSelectedDevice(), Devices().GetDequeItem(0));
  char name[256];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(dlg.GetDeviceName(name, 256), 256);
  EXPECT_STREQ(name, "/dev/sr0: TESSAL  Test Drive      1.00");
  // A smaller buffer still gets a terminated text.
  char small[8];
  EXPECT_EQ(dlg.GetDeviceName(small, 8), 8);
  EXPECT_STREQ(small, "/dev/sr");
  EXPECT_EQ(dlg.GetDeviceName(small, 0), 0);
  EXPECT_TRUE(hui.Messages().empty());
}

TEST_F(DeviceDialog, RefusedChoicesKeepTheDialogOpenWithTheirMessage) {
  // An empty drive is not ready.
  {
    CDlgDev dlg;
    bool open = false;
    EXPECT_EQ(Run(dlg,
                  [&](CDlgDev& d) {
                    d.List().SetCurSel(1);
                    d.Accept();
                    open = !d.IsEnding();
                  }),
              IDCANCEL);
    EXPECT_TRUE(open);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Device not Ready,Please try again!"});
    EXPECT_EQ(hui.Messages()[0].Icon(), ui::MB_ICONINFORMATION);
  }
  hui.ClearRecords();
  // Cancelling the file dialog changes nothing; a file that is no image is refused.
  const std::string junk = disc.dir.Write("notes.txt", std::string("not a disc"));
  {
    CDlgDev dlg;
    hui.QueueFileChoice(std::nullopt);
    hui.QueueFileChoice(junk);
    bool open = false;
    Run(dlg, [&](CDlgDev& d) {
      d.List().SetCurSel(2);
      d.Accept();
      EXPECT_TRUE(hui.Messages().empty());
      d.Accept();
      open = !d.IsEnding();
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"This is not valid image File!"});
    EXPECT_EQ(dlg.GetSelectedDevice(), nullptr);
    ASSERT_EQ(hui.FileDialogs().size(), 2u);
  }
  hui.ClearRecords();
  // With no devices at all the list is empty and OK only asks for one.
  {
    CDlgDev dlg;
    dlg.SetDeviceList(nullptr);
    hui.QueueModalAction([](ui::Dialog& d) {
      auto& dev = dynamic_cast<CDlgDev&>(d);
      EXPECT_EQ(dev.List().GetCount(), 0);
      dev.Accept();
      EXPECT_FALSE(dev.IsEnding());
      dev.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"Please Select CDROM Device!"});
  }
}

TEST_F(DeviceDialog, AnImageIsOpenedThroughTheImageItemAndNamedByItsEntry) {
  CDlgDev dlg;
  hui.QueueFileChoice(disc.cue);
  EXPECT_EQ(Run(dlg,
                [](CDlgDev& d) {
                  d.List().SetCurSel(2);
                  d.OnNotify(CDlgDev::kListId, ui::LBN_DBLCLK);  // a double click acts as OK
                }),
            IDOK);
  EXPECT_EQ(dlg.GetSelectedDevice(), Devices().GetDequeItem(2));
  EXPECT_EQ(dlg.GetDeviceName(), "[Image File]");
  ASSERT_EQ(hui.FileDialogs().size(), 1u);
  EXPECT_EQ(hui.FileDialogs()[0].filter.rfind("All image files(*.*)|*.*|", 0), 0u);
  EXPECT_EQ(hui.FileDialogs()[0].initialDir, ui::SamplesFolder());
}

TEST_F(DeviceDialog, EnterAcceptsAndEscapeCancels) {
  {
    CDlgDev dlg;
    EXPECT_EQ(Run(dlg, [this](CDlgDev& d) { hui.PressKey(&d.List(), ui::VK_RETURN); }), IDOK);
    EXPECT_EQ(dlg.GetSelectedDevice(), Devices().GetDequeItem(0));
  }
  {
    CDlgDev dlg;
    EXPECT_EQ(Run(dlg, [this](CDlgDev& d) { hui.PressKey(&d.List(), ui::VK_ESCAPE); }), IDCANCEL);
    EXPECT_EQ(dlg.GetSelectedDevice(), nullptr);
  }
  {
    CDlgDev dlg;
    EXPECT_EQ(Run(dlg, [](CDlgDev& d) { d.OnCommand(CDlgDev::kCancelId); }), IDCANCEL);
  }
}

TEST_F(DeviceDialog, ADriveThatCannotBeAskedIsListedAndTheOthersKeepTheirDevices) {
  // sr0 cannot be opened: it is listed with the reason, and choosing sr1
  // still picks sr1, not the item after it.
  drives[0].transport->inquiryFails = true;
  drives[1].transport->ready = true;
  CDlgDev dlg;
  std::string first;
  Run(dlg, [&](CDlgDev& d) {
    first = d.List().GetText(0);
    d.List().SetCurSel(1);
    d.Accept();  // sr1 has no disc
  });
  EXPECT_EQ(first, "/dev/sr0: (Permission denied)");
  EXPECT_EQ(messageTexts(), std::vector<std::string>{"Device not Ready,Please try again!"});
  EXPECT_EQ(dlg.GetSelectedDevice(), Devices().GetDequeItem(1));
}

TEST_F(DeviceDialog, DriveEntriesStopAtTheRecordsEnd) {
  // An identification without any zero byte runs to the end of the record
  // and no further.
  drives[0].transport->identification = std::string(28, 'A');
  auto& dev = *drives[0].device;
  const std::string entry = CDlgDev::DriveEntry(dev);
  EXPECT_EQ(entry, "/dev/sr0: " + std::string(28, 'A'));
}

TEST(AboutBox, ShowsTheVersionInWhiteOnBlueGreyAndAnyClickCloses) {
  apptest::HeadlessScope scope;
  CDlgAbout about;
  bool checked = false;
  scope.ui.QueueModalAction([&](ui::Dialog& d) {
    ui::Window* version = d.GetDlgItem(CDlgAbout::kVersionId);
    ui::Window* product = d.GetDlgItem(CDlgAbout::kProductId);
    ASSERT_TRUE(version && product);
    EXPECT_EQ(version->GetWindowText().rfind("Version 3.03\n\n", 0), 0u);
    EXPECT_EQ(product->GetWindowText(), "Tessal");
    for (ui::Window* w : {version, product}) {
      EXPECT_EQ(w->GetTextColor(), ui::RGB(255, 255, 255));
      EXPECT_TRUE(w->IsTransparent());
    }
    ui::ImageCanvas img(d.GetRect().Width(), d.GetRect().Height());
    d.PaintTo(img);
    EXPECT_EQ(img.PixelAt(d.GetRect().Width() / 2, d.GetRect().Height() / 2), ui::RGB(100, 125, 142));
    checked = true;
    d.OnLButtonDown(0, {3, 90});
  });
  EXPECT_EQ(about.DoModal(), IDOK);
  EXPECT_TRUE(checked);
  scope.ui.QueueModalAction([&](ui::Dialog& d) { scope.ui.PressKey(&d, ui::VK_ESCAPE); });
  EXPECT_EQ(about.DoModal(), IDCANCEL);
}

}  // namespace
