// The main window driven headless: the start timer, device selection, every
// command of the buttons and menus, view switching, hints, keys and the
// splitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app/CDlgAbout.h"
#include "app/CTessalApp.h"
#include "app/CTessalDlg.h"
#include "app/dialogs/CDlgDev.h"
#include "platform/ui/Canvas.h"
#include "res/Resources.h"
#include "skin/BtnSplit.h"
#include "skin/SkinMessages.h"
#include "tests/app/AppTestUtil.h"
#include "copy/CDlgProgress.h"
#include "views/CDlgScanDisc.h"

namespace {

using apptest::kPreventAllow;
using apptest::kReadToc;
using apptest::kStartStop;
using apptest::kTestUnitReady;

struct MainWindow : ::testing::Test {
  apptest::HeadlessScope scope;
  ui::HeadlessUi& hui = scope.ui;
  apptest::MixedModeDisc disc;
  apptest::WatchedDrive* drive = nullptr;  // /dev/sr0, holding the disc
  std::unique_ptr<CTessalDlg> dlg;

  void SetUp() override {
    std::vector<apptest::Drive> drives;
    drives.push_back(apptest::MakeDrive(1, disc.cue));
    drive = drives[0].transport;
    dlg = std::make_unique<CTessalDlg>(apptest::DevicesOf(drives), &scope.sound);
    ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  }
  void TearDown() override { dlg.reset(); }

  // The next device dialog picks `entry` and presses OK; `then` looks at it
  // afterwards (a refused choice leaves it open, so it is cancelled then).
  void NextDeviceDialog(int entry, std::function<void(CDlgDev&)> then = {}) {
    hui.QueueModalAction([entry, then](ui::Dialog& d) {
      auto& dev = dynamic_cast<CDlgDev&>(d);
      dev.List().SetCurSel(entry);
      dev.Accept();
      if (then) then(dev);
      if (!dev.IsEnding()) dev.EndDialog(IDCANCEL);
    });
  }
  void SelectDrive() {
    NextDeviceDialog(0);
    dlg->OnCommand(IDC_BTN_SELDEVICE);
    ASSERT_NE(dlg->CurrentDevice(), nullptr);
  }
  void Click(int id) {
    auto* b = dlg->GetDlgItemAs<ui::Button>(id);
    ASSERT_NE(b, nullptr) << id;
    b->Click();
    hui.RunPosted();
  }
  // The views whose windows are shown.
  std::vector<int> ShownViews() {
    std::vector<int> shown;
    for (int k = 0; k < CTessalDlg::kViewCount; ++k)
      if (dlg->IsViewCreated(k) && dlg->View(k)->IsWindowVisible()) shown.push_back(k);
    return shown;
  }
  int ModalRunsOf(int templateId) const {
    return static_cast<int>(std::count(hui.ModalRuns().begin(), hui.ModalRuns().end(), templateId));
  }
};

TEST_F(MainWindow, OpensShapedAtTheSkinsSizeWithTheBrowserInTheViewArea) {
  const res::Image& shape = res::LoadBitmap(CTessalDlg::kShapeMask);
  EXPECT_EQ(dlg->GetRect().Width(), 626);
  EXPECT_EQ(dlg->GetRect().Height(), 442);
  EXPECT_EQ(dlg->GetRect().left, 1920 / 2 - 626 / 2);
  ASSERT_TRUE(dlg->GetWindowRgn().has_value());
  EXPECT_EQ(*dlg->GetWindowRgn(), ui::Region::FromMask(shape, 626, 442));
  EXPECT_EQ(CTessalDlg::ViewArea(), ui::Rect(64, 103, 600, 397));
  EXPECT_EQ(dlg->ViewHost().GetRect(), ui::Rect(64, 103, 600, 397));
  EXPECT_EQ(dlg->StatusLine().GetRect(), ui::Rect(54, 417, 374, 437));
  const ui::Rect audio = dlg->AudioHost().GetRect();
  EXPECT_EQ(audio.right, 600 - 10);
  EXPECT_EQ(audio.top, 397 + 20);
  EXPECT_EQ(dlg->GetWindowText(), "Tessal");
  EXPECT_EQ(dlg->GetIcon(), 128);
  EXPECT_EQ(ShownViews(), std::vector<int>{CTessalDlg::kViewBrowser});
  EXPECT_EQ(dlg->Browser().GetParent(), &dlg->ViewHost());
  EXPECT_EQ(dlg->Player().GetParent(), &dlg->AudioHost());
  EXPECT_TRUE(dlg->Player().IsWindowVisible());
  for (int k = 1; k < CTessalDlg::kViewCount; ++k) EXPECT_FALSE(dlg->IsViewCreated(k));

  // The background picture, or the icon while minimized.
  ui::RecordingCanvas c;
  dlg->PaintTo(c);
  ASSERT_EQ(c.CallsOf(ui::RecordingCanvas::Op::Bitmap).size(), 1u);
  EXPECT_EQ(c.CallsOf(ui::RecordingCanvas::Op::Bitmap)[0].id, 217);
  Click(IDC_BTN_MINIMIZE);
  EXPECT_TRUE(dlg->IsIconic());
  c.Clear();
  dlg->PaintTo(c);
  const auto icons = c.CallsOf(ui::RecordingCanvas::Op::Icon);
  ASSERT_EQ(icons.size(), 1u);
  const res::Image icon = res::LoadIcon(128);
  EXPECT_EQ(icons[0].rect.left, (626 - icon.width + 1) / 2);
  EXPECT_EQ(icons[0].rect.top, (442 - icon.height + 1) / 2);
}

TEST_F(MainWindow, TheStartTimerOpensTheDeviceDialogOnceAndCancellingLeavesNoDevice) {
  EXPECT_EQ(hui.TimerPeriod(*dlg, CTessalDlg::kStartTimer), 300u);
  hui.QueueModalAction([](ui::Dialog& d) { d.EndDialog(IDCANCEL); });
  hui.Advance(299);
  EXPECT_EQ(ModalRunsOf(CDlgDev::kTemplateId), 0);
  hui.Advance(1);
  EXPECT_EQ(ModalRunsOf(CDlgDev::kTemplateId), 1);
  EXPECT_FALSE(hui.HasTimer(*dlg, CTessalDlg::kStartTimer));
  hui.Advance(5000);
  EXPECT_EQ(ModalRunsOf(CDlgDev::kTemplateId), 1);
  EXPECT_EQ(dlg->CurrentDevice(), nullptr);

  // Without a device every device command does nothing and shows nothing.
  drive->Clear();
  for (int id : {IDC_BTN_SECTOR, IDC_BTN_REFRESH, IDC_BTN_TOC, IDC_BTN_VOLUME, IDC_BTN_DEVINFO, IDC_BTN_SAVE,
                 IDC_BTN_EJECT, IDC_BTN_CLOSETRAY})
    Click(id);
  dlg->OnCommand(ID_TOOLS_DISCSCAN);
  EXPECT_TRUE(hui.Messages().empty());
  EXPECT_TRUE(hui.FileDialogs().empty());
  EXPECT_EQ(drive->Count(kTestUnitReady) + drive->Count(kStartStop), 0);
  EXPECT_EQ(ShownViews(), std::vector<int>{CTessalDlg::kViewBrowser});
  EXPECT_EQ(ModalRunsOf(CDlgScanDisc::kTemplateId), 0);
}

TEST_F(MainWindow, ChoosingAnImageLoadsTheBrowserAndNamesTheEntry) {
  hui.QueueFileChoice(disc.cue);
  NextDeviceDialog(1);  // after /dev/sr0
  hui.Advance(300);
  ASSERT_NE(dlg->CurrentDevice(), nullptr);
  EXPECT_EQ(dlg->CurrentDevice(), dlg->Devices().GetDequeItem(1));
  EXPECT_STREQ(dlg->DeviceName(), "[Image File]");
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "[Image File]");
  EXPECT_EQ(dlg->FsType(), 1);
  EXPECT_EQ(dlg->DataMode(), 1);

  ui::TreeCtrl& tree = dlg->Browser().Tree();
  ui::HTREEITEM session = tree.GetRootItem();
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(tree.GetItemText(session), "Session 1");
  std::vector<std::string> tracks;
  for (ui::HTREEITEM t = tree.GetChildItem(session); t; t = tree.GetNextSiblingItem(t)) tracks.push_back(tree.GetItemText(t));
  ASSERT_GE(tracks.size(), 3u);
  EXPECT_EQ(tracks[0], "DATA TRACK 1(ISO)");
  EXPECT_EQ(tracks[1], "AUDIO TRACK 2");
  EXPECT_EQ(tracks[2], "AUDIO TRACK 3");
  // The volume descriptor the browser read is the main window's.
  EXPECT_EQ(std::memcmp(dlg->VdBuffer() + 1, "CD001", 5), 0);
  // The file dialog offered the formats the device library reads.
  ASSERT_EQ(hui.FileDialogs().size(), 1u);
  EXPECT_NE(hui.FileDialogs()[0].filter.find("*.cue"), std::string::npos);
  EXPECT_TRUE(hui.FileDialogs()[0].flags & ui::OFN_FILEMUSTEXIST);
}

TEST_F(MainWindow, EveryButtonAndMenuItemReachesItsAction) {
  SelectDrive();
  ASSERT_STREQ(dlg->DeviceName(), "/dev/sr0: TESSAL  Test Drive      1.00");

  // Each command by its button and by its menu item.
  struct ViewCommand {
    int button, menu, view;
  };
  for (const ViewCommand& vc : {ViewCommand{IDC_BTN_SECTOR, ID_FILE_SHOWSECTOR, 1}, ViewCommand{IDC_BTN_TOC, ID_TOOLS_SHOWTOC, 2},
                                ViewCommand{IDC_BTN_VOLUME, ID_TOOLS_VOLUMEINFO, 3},
                                ViewCommand{IDC_BTN_DEVINFO, ID_TOOLS_DEVICEINFO, 4}}) {
    Click(vc.button);
    EXPECT_EQ(dlg->CurrentView(), vc.view);
    dlg->OnCommand(ID_FILE_SELECTDEVICE);  // from another view: back to the browser only
    EXPECT_EQ(dlg->CurrentView(), 0);
    dlg->OnCommand(vc.menu);
    EXPECT_EQ(dlg->CurrentView(), vc.view);
    Click(IDC_BTN_SELDEVICE);
    ASSERT_EQ(dlg->CurrentView(), 0);
  }
  EXPECT_EQ(ModalRunsOf(CDlgDev::kTemplateId), 1);  // only the first selection ran the dialog

  // Refresh reads the disc again, by button and by menu.
  for (int id : {IDC_BTN_REFRESH, ID_VIEW_REFRESH}) {
    const int tocReads = drive->Count(kReadToc);
    dlg->OnCommand(id);
    EXPECT_GT(drive->Count(kReadToc), tocReads) << id;
  }

  // Save Data of the sector view asks where to save the sector.
  Click(IDC_BTN_SECTOR);
  hui.QueueFileChoice(std::nullopt);
  Click(IDC_BTN_SAVE);
  hui.QueueFileChoice(std::nullopt);
  dlg->OnCommand(ID_VIEW_SAVEDATA);
  ASSERT_EQ(hui.FileDialogs().size(), 2u);
  EXPECT_EQ(hui.FileDialogs()[1].defaultExt, "dat");

  // Disc scan, About and Help.
  hui.QueueModalAction([](ui::Dialog& d) { d.EndDialog(IDCANCEL); });
  dlg->OnCommand(ID_TOOLS_DISCSCAN);
  EXPECT_EQ(ModalRunsOf(CDlgScanDisc::kTemplateId), 1);
  for (int id : {IDC_BTN_ABOUT, ID_HELP_ABOUT}) {
    hui.QueueModalAction([](ui::Dialog& d) { d.OnLButtonDown(0, {5, 5}); });
    dlg->OnCommand(id);
  }
  EXPECT_EQ(ModalRunsOf(CDlgAbout::kTemplateId), 2);
  Click(IDC_BTN_HELP);
  dlg->OnCommand(ID_HELP_TOPIC);
  ASSERT_EQ(hui.OpenedFiles().size(), 2u);
  EXPECT_EQ(hui.OpenedFiles()[0], CTessalDlg::HelpPath());
  EXPECT_EQ(hui.OpenedFiles()[0].filename(), "index.html");

  // Eject allows removal, then ejects; Close tray loads.
  drive->Clear();
  Click(IDC_BTN_EJECT);
  dlg->OnCommand(ID_FILE_EJECT);
  auto lock = drive->Commands(kPreventAllow);
  auto startStop = drive->Commands(kStartStop);
  ASSERT_EQ(lock.size(), 2u);
  EXPECT_EQ(lock[0][4], 0);  // allow
  ASSERT_EQ(startStop.size(), 2u);
  EXPECT_EQ(startStop[0][4], 0x02);  // eject
  drive->Clear();
  Click(IDC_BTN_CLOSETRAY);
  dlg->OnCommand(ID_FILE_CLOSEDEVICE);
  startStop = drive->Commands(kStartStop);
  ASSERT_EQ(startStop.size(), 2u);
  EXPECT_EQ(startStop[1][4], 0x03);  // load
  EXPECT_EQ(drive->Count(kTestUnitReady), 0);  // without any check

  // The menu captions pop up their part of the menu at their lower-left corner.
  const int popups[] = {IDC_MENU_FILE, IDC_MENU_VIEW, IDC_MENU_TOOLS, IDC_MENU_HELP};
  const std::size_t sizes[] = {7, 2, 5, 3};
  for (int i = 0; i < 4; ++i) {
    Click(popups[i]);
    ASSERT_EQ(hui.Menus().size(), static_cast<std::size_t>(i + 1));
    const auto& shown = hui.Menus().back();
    EXPECT_EQ(shown.items.size(), sizes[i]);
    const ui::Rect r = dlg->GetDlgItem(popups[i])->GetWindowRect();
    EXPECT_EQ(shown.at, (ui::Point{r.left, r.bottom}));
  }
  // A chosen item arrives as the command it stands for.
  hui.QueueMenuChoice(ID_TOOLS_SHOWTOC);
  Click(IDC_MENU_TOOLS);
  EXPECT_EQ(dlg->CurrentView(), CTessalDlg::kViewToc);

  // Exit, by each of its three ways.
  for (int id : {IDC_BTN_EXIT, IDC_BTN_CLOSE, ID_FILE_EXIT}) {
    CTessalDlg other(nullptr, &scope.sound);
    ASSERT_TRUE(other.Create(CTessalDlg::kTemplateId, nullptr));
    other.OnCommand(id);
    EXPECT_TRUE(other.IsEnding()) << id;
    EXPECT_EQ(other.GetResult(), IDCANCEL);
  }
  for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1008, 1009, 1023, 1024, 1025, 1026, 1030, 1031, 1045, 1046, 1047,
                 1048, 32771, 32772, 32773, 32774, 32775, 32776, 32777, 32778, 32779, 32780, 32781, 32783, 32784})
    EXPECT_TRUE(CTessalDlg::IsCommand(id)) << id;
}

TEST_F(MainWindow, ViewsAreMadeOnFirstUseAndExactlyOneIsShown) {
  SelectDrive();
  Click(IDC_BTN_SECTOR);
  EXPECT_TRUE(dlg->IsViewCreated(1));
  EXPECT_FALSE(dlg->IsViewCreated(2));
  EXPECT_EQ(ShownViews(), std::vector<int>{1});
  EXPECT_EQ(dlg->SectorView().GetParent(), &dlg->ViewHost());
  Click(IDC_BTN_TOC);
  EXPECT_EQ(ShownViews(), std::vector<int>{2});
  const int rows = dlg->TocView().List().GetItemCount();
  EXPECT_GE(rows, 3);

  // The same view again is not reloaded; Refresh reloads it.
  dlg->TocView().List().DeleteAllItems();
  Click(IDC_BTN_TOC);
  EXPECT_EQ(dlg->TocView().List().GetItemCount(), 0);
  Click(IDC_BTN_REFRESH);
  EXPECT_EQ(dlg->TocView().List().GetItemCount(), rows);

  // Back to the browser: shown again as it was, not read again.
  ui::TreeCtrl& tree = dlg->Browser().Tree();
  const ui::HTREEITEM selected = tree.GetSelectedItem();
  const int tocReads = drive->Count(kReadToc);
  Click(IDC_BTN_SELDEVICE);
  EXPECT_EQ(ShownViews(), std::vector<int>{0});
  EXPECT_EQ(tree.GetSelectedItem(), selected);
  EXPECT_EQ(drive->Count(kReadToc), tocReads);

  Click(IDC_BTN_VOLUME);
  Click(IDC_BTN_DEVINFO);
  EXPECT_EQ(ShownViews(), std::vector<int>{4});
  EXPECT_GT(dlg->VolumeView().List().GetItemCount(), 0);
  EXPECT_GT(dlg->DevInfoView().List().GetItemCount(), 0);
  for (int k = 0; k < CTessalDlg::kViewCount; ++k) EXPECT_TRUE(dlg->IsViewCreated(k));

  // Volume and capability lists have nothing to save.
  Click(IDC_BTN_SAVE);
  Click(IDC_BTN_VOLUME);
  Click(IDC_BTN_SAVE);
  EXPECT_TRUE(hui.FileDialogs().empty());
}

TEST_F(MainWindow, ANotReadyDeviceIsReportedAndChangesNothing) {
  SelectDrive();
  drive->ready = false;
  const std::vector<int> before = ShownViews();
  for (int id : {IDC_BTN_SECTOR, IDC_BTN_REFRESH}) Click(id);
  dlg->OnCommand(ID_TOOLS_DISCSCAN);
  ASSERT_EQ(hui.Messages().size(), 3u);
  for (const auto& m : hui.Messages()) {
    EXPECT_EQ(m.text, "Device not Ready,Please try again!");
    EXPECT_EQ(m.Icon(), ui::MB_ICONINFORMATION);
    EXPECT_EQ(m.caption, hui.AppName());
  }
  EXPECT_EQ(ShownViews(), before);
  EXPECT_EQ(ModalRunsOf(CDlgScanDisc::kTemplateId), 0);

  // Eject of an empty drive says nothing and sends nothing but the check;
  // Close tray always loads.
  drive->Clear();
  Click(IDC_BTN_EJECT);
  EXPECT_EQ(drive->Count(kStartStop) + drive->Count(kPreventAllow), 0);
  Click(IDC_BTN_CLOSETRAY);
  EXPECT_EQ(drive->Count(kStartStop), 1);
  EXPECT_EQ(hui.Messages().size(), 3u);
}

TEST_F(MainWindow, HintsFollowTheMouseAndTheBackgroundBringsTheNameBack) {
  auto* tools = dlg->GetDlgItemAs<CBmpRoundBtn>(IDC_BTN_TOC);
  auto* eject = dlg->GetDlgItemAs<CBmpTriangleBtn>(IDC_BTN_EJECT);
  auto* close = dlg->GetDlgItemAs<CBmpRoundBtn>(IDC_BTN_CLOSE);
  ASSERT_TRUE(tools && eject && close);
  tools->OnMouseMove(0, {4, 4});
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "Show TOC");
  eject->OnMouseMove(0, {10, 10});
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "Eject the Device");
  close->OnMouseMove(0, {2, 2});  // no hint of its own
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "Eject the Device");
  dlg->OnMouseMove(0, {300, 20});
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "");  // no device yet
  SelectDrive();
  tools->OnMouseMove(0, {4, 4});
  dlg->OnMouseMove(0, {300, 20});
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), dlg->DeviceName());
  // A hint of 0 or of no string changes nothing.
  dlg->SendMessage(skin::WM_SHOWHINT, 0, 0);
  dlg->SendMessage(skin::WM_SHOWHINT, 0, 9999);
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), dlg->DeviceName());

  // Every button of the table names its hint.
  const std::pair<int, const char*> hints[] = {
      {1001, "Select the Device"}, {1003, "Refresh"}, {1002, "Show Sector Data"}, {1004, "Show TOC"},
      {1008, "Save the Data"}, {1005, "Show Volumn Information"}, {1009, "Show Device Support Information"},
      {1006, "Exit"}, {1023, "Eject the Device"}, {1024, "About the Program"}, {1026, "Help"},
      {1025, "Close the Device"}};
  for (const auto& [id, text] : hints) {
    auto* b = dlg->GetDlgItemAs<CHintBmpBtn>(id);
    ASSERT_NE(b, nullptr) << id;
    b->OnMouseMove(0, {1, 1});
    EXPECT_EQ(dlg->StatusLine().GetWindowText(), text) << id;
  }
}

TEST_F(MainWindow, EscapeAndEnterDoNothingAndF1OpensTheHelpEverywhere) {
  CTessalApp app;
  SelectDrive();
  ui::Window* tree = &dlg->Browser().Tree();
  for (ui::Window* target : {static_cast<ui::Window*>(dlg.get()), tree, dlg->GetDlgItem(IDC_BTN_TOC)}) {
    for (int vk : {ui::VK_ESCAPE, ui::VK_RETURN}) {
      EXPECT_TRUE(hui.PressKey(target, vk));
      EXPECT_FALSE(dlg->IsEnding());
      EXPECT_TRUE(dlg->IsWindowVisible());
    }
  }
  EXPECT_TRUE(hui.OpenedFiles().empty());
  EXPECT_TRUE(hui.PressKey(tree, ui::VK_F1));
  ASSERT_EQ(hui.OpenedFiles().size(), 1u);
  EXPECT_EQ(hui.OpenedFiles()[0], CTessalDlg::HelpPath());

  // ... and in a modal dialog of the program.
  hui.QueueModalAction([this](ui::Dialog& d) {
    auto& dev = dynamic_cast<CDlgDev&>(d);
    EXPECT_TRUE(hui.PressKey(&dev.List(), ui::VK_F1));
    EXPECT_FALSE(dev.IsEnding());
    hui.PressKey(&dev.List(), ui::VK_ESCAPE);  // closes the device dialog
  });
  Click(IDC_BTN_SELDEVICE);
  EXPECT_EQ(hui.OpenedFiles().size(), 2u);
}

TEST_F(MainWindow, TheSplitterMovesThePanesButKeepsEachAHundredPixelsWide) {
  SelectDrive();
  CDlgMain& browser = dlg->Browser();
  auto* split = browser.GetDlgItemAs<CBtnSplit>(CDlgMain::kSplitterId);
  ASSERT_NE(split, nullptr);
  EXPECT_TRUE(split->IsOwnerDraw());
  const int hostLeft = dlg->ViewHost().GetWindowRect().left;
  const int width = dlg->ViewHost().GetRect().Width();  // 536
  auto dragTo = [&](int x) {
    // x within the view host; the bar reports where the mouse is on screen.
    split->OnLButtonDown(ui::MK_LBUTTON, {1, 5});
    split->OnMouseMove(ui::MK_LBUTTON, {hostLeft + x - split->GetWindowRect().left, 5});
    split->OnLButtonUp(0, {1, 5});
  };
  dragTo(200);
  EXPECT_EQ(browser.Tree().GetRect().Width(), 197);
  EXPECT_EQ(browser.List().GetRect().left, 203);
  EXPECT_EQ(browser.List().GetRect().right, width);
  dragTo(100);  // the tree would be too narrow
  EXPECT_EQ(browser.Tree().GetRect().Width(), 197);
  dragTo(width - 100);  // the list would be
  EXPECT_EQ(browser.Tree().GetRect().Width(), 197);
  dragTo(101);
  EXPECT_EQ(browser.Tree().GetRect().Width(), 98);
  dragTo(width - 101);
  EXPECT_EQ(browser.List().GetRect().Width(), 98);
  // Moves without the button held do nothing.
  split->OnMouseMove(0, {-200, 5});
  EXPECT_EQ(browser.List().GetRect().Width(), 98);
}

TEST_F(MainWindow, SaveDataCopiesBehindTheProgressDialogWhichCancels) {
  SelectDrive();
  ui::TreeCtrl& tree = dlg->Browser().Tree();
  ui::HTREEITEM audio = nullptr;
  for (ui::HTREEITEM t = tree.GetChildItem(tree.GetRootItem()); t; t = tree.GetNextSiblingItem(t))
    if (tree.GetItemText(t) == "AUDIO TRACK 2") audio = t;
  ASSERT_NE(audio, nullptr);
  dlg->Browser().SelectNode(audio);

  // From the browser: the audio track becomes a WAV file; Cancel stops it.
  bool shown = false;
  auto cancel = [&](ui::Dialog& d) {
    EXPECT_EQ(d.GetTemplateId(), CDlgProgress::kTemplateId);
    shown = d.IsWindowVisible();
    auto* button = d.GetDlgItemAs<ui::Button>(CDlgProgress::kCancelId);
    ASSERT_NE(button, nullptr);
    button->Click();
  };
  const std::string wav = disc.dir.File("track.wav");
  hui.QueueFileChoice(wav);
  hui.QueueModalAction(cancel);
  Click(IDC_BTN_SAVE);
  EXPECT_EQ(ModalRunsOf(CDlgProgress::kTemplateId), 1);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(dlg->Browser().ProgressDialog().IsWindow());

  // From the track list, by the menu: the same dialog, the same way out.
  Click(IDC_BTN_TOC);
  dlg->TocView().List().SetItemState(1, ui::LVIS_SELECTED, ui::LVIS_SELECTED);
  hui.QueueFileChoice(disc.dir.File("track2.wav"));
  shown = false;
  hui.QueueModalAction(cancel);
  dlg->OnCommand(ID_VIEW_SAVEDATA);
  EXPECT_EQ(ModalRunsOf(CDlgProgress::kTemplateId), 2);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(dlg->TocView().ProgressDialog().IsWindow());
}

}  // namespace
