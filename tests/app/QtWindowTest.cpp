// The main window on the real Qt layer (offscreen): the start timer's device
// dialog and the image file dialog, clicks on the skinned buttons, hints,
// keys, the splitter, the popup menus and the window's shape.
#if __has_include(<QApplication>)
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>
#include <QWidgetAction>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/CTessalApp.h"
#include "app/CTessalDlg.h"
#include "app/dialogs/CDlgDev.h"
#include "platform/ui/qt/QtCanvas.h"
#include "platform/ui/qt/QtPeers.h"
#include "platform/ui/qt/QtUi.h"
#include "res/Resources.h"
#include "tests/app/AppTestUtil.h"
#include "tests/support/AppendedSessions.h"
#include "tests/support/BootIso.h"
#include "tests/support/CdInfo.h"
#include "tests/support/QtModalAnswer.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Never destroyed: Qt's own statics go first at exit.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The Qt services, except that opening a file only writes it down.
struct WatchedQtUi : ui::qt::QtUi {
  std::vector<std::filesystem::path> opened;
  bool OpenWithDefaultHandler(const std::filesystem::path& file) override {
    opened.push_back(file);
    return true;
  }
};

QWidget* W(const ui::Window& w) { return ui::qt::QtUi::WidgetOf(w); }

// Runs the event loop until `done` or a timeout.
bool Until(const std::function<bool()>& done, int ms = 10000) { return testsupport::SpinUntil(done, ms); }

template <class T>
T* TopLevel(const std::function<bool(T*)>& match = {}) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    if (auto* t = qobject_cast<T*>(w); t && (!match || match(t))) return t;
  }
  return nullptr;
}

void Move(QWidget* w, QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
  QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Press(QWidget* w, QPoint at, QEvent::Type type) {
  QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Key(QWidget* top, int key) {
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : top;
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &e);
}

struct QtWindow : ::testing::Test {
  WatchedQtUi* qtui = nullptr;
  ui::Ui* previous = nullptr;
  audio::NullWaveDevice sound;
  apptest::MixedModeDisc disc;
  std::unique_ptr<CTessalDlg> dlg;

  void SetUp() override {
    App();
    qtui = new WatchedQtUi();
    previous = ui::Ui::Install(qtui);
  }
  void TearDown() override {
    dlg.reset();
    ui::Ui::Install(previous);
    delete qtui;
  }
  // A window over one drive that holds the disc, made current at once.
  void OpenWithDrive() {
    std::vector<apptest::Drive> drives;
    drives.push_back(apptest::MakeDrive(1, disc.cue));
    dlg = std::make_unique<CTessalDlg>(apptest::DevicesOf(drives), &sound);
    dlg->SetStartAction([] {});
    ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
    dlg->UseDevice(dlg->Devices().GetDequeItem(0), "/dev/sr0: TESSAL Test Drive 1.00");
  }
  QAbstractButton* ButtonWidget(int id) { return qobject_cast<QAbstractButton*>(W(*dlg->GetDlgItem(id))); }
  int ShownViewCount() {
    int n = 0;
    for (int k = 0; k < CTessalDlg::kViewCount; ++k)
      if (dlg->IsViewCreated(k) && W(*dlg->View(k)) && W(*dlg->View(k))->isVisible()) ++n;
    return n;
  }
};

TEST_F(QtWindow, TheStartTimerOpensTheDeviceDialogAndAnImageLoadsTheBrowser) {
  dlg = std::make_unique<CTessalDlg>(std::make_unique<DevDeque>(std::vector<std::unique_ptr<CDevCmdROM>>{}), &sound);
  ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  QWidget* top = W(*dlg);
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_EQ(top->size(), QSize(626, 442));
  EXPECT_EQ(top->mask(), ui::qt::ToQRegion(*dlg->GetWindowRgn()));
  EXPECT_TRUE(top->windowFlags() & Qt::FramelessWindowHint);

  // The user: picks "[Image File]" in the device dialog, then the disc in the
  // file dialog. Each answer is given again until its dialog has closed.
  bool sawDevice = false, sawFiles = false, clickQueued = false;
  testsupport::ModalAnswer user("the device and file dialogs", [&] {
    if (auto* files = TopLevel<QFileDialog>()) {
      sawFiles = true;
      testsupport::ChooseFile(files, QString::fromStdString(disc.cue));
      return false;
    }
    auto* dev = TopLevel<QWidget>([](QWidget* w) { return dynamic_cast<CDlgDev*>(ui::qt::ModelOf(w)) != nullptr; });
    if (!dev) return sawFiles;  // both have come and gone
    auto* model = dynamic_cast<CDlgDev*>(ui::qt::ModelOf(dev));
    auto* list = qobject_cast<QListWidget*>(W(model->List()));
    if (!list || list->count() != 1 || model->IsEnding() || clickQueued) return false;
    if (!sawDevice) {
      EXPECT_EQ(list->item(0)->text(), "[Image File]");
    }
    sawDevice = true;
    list->setCurrentRow(0);
    // Queued: the click runs the file dialog's loop, inside which this
    // answer must go on.
    QPointer<QAbstractButton> ok = qobject_cast<QAbstractButton*>(W(*model->GetDlgItem(CDlgDev::kOkId)));
    clickQueued = true;
    QMetaObject::invokeMethod(
        ok, [ok, &clickQueued] {
          clickQueued = false;
          if (ok) ok->click();
        },
        Qt::QueuedConnection);
    return false;
  });
  ASSERT_TRUE(Until([&] { return dlg->CurrentDevice() != nullptr; }));
  EXPECT_TRUE(sawDevice && sawFiles);
  EXPECT_TRUE(Until([&] { return user.Done(); }, 2000)) << "a dialog stayed open";
  auto* tree = qobject_cast<QTreeWidget*>(W(dlg->Browser().Tree()));
  ASSERT_NE(tree, nullptr);
  ASSERT_GE(tree->topLevelItemCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Session 1");
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "[Image File]");
}

TEST_F(QtWindow, ClicksReachTheCommandsAndExactlyOnePanelShows) {
  OpenWithDrive();
  EXPECT_EQ(ShownViewCount(), 1);
  for (int id : {IDC_BTN_SECTOR, IDC_BTN_TOC, IDC_BTN_VOLUME, IDC_BTN_DEVINFO, IDC_BTN_SELDEVICE}) {
    QAbstractButton* b = ButtonWidget(id);
    ASSERT_NE(b, nullptr) << id;
    b->click();
    QApplication::processEvents();
    EXPECT_EQ(ShownViewCount(), 1) << id;
  }
  EXPECT_EQ(dlg->CurrentView(), CTessalDlg::kViewBrowser);
  // Round and masked buttons answer only inside their shape.
  QAbstractButton* round = ButtonWidget(IDC_BTN_TOC);
  ASSERT_FALSE(round->mask().isEmpty());
  EXPECT_FALSE(round->mask().contains(QPoint(0, 0)));
  Press(round, QPoint(0, 0), QEvent::MouseButtonPress);
  Press(round, QPoint(0, 0), QEvent::MouseButtonRelease);
  QApplication::processEvents();
  EXPECT_EQ(dlg->CurrentView(), CTessalDlg::kViewBrowser);
  const QPoint centre(round->width() / 2, round->height() / 2);
  Press(round, centre, QEvent::MouseButtonPress);
  Press(round, centre, QEvent::MouseButtonRelease);
  QApplication::processEvents();
  EXPECT_EQ(dlg->CurrentView(), CTessalDlg::kViewToc);
  EXPECT_EQ(round->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(QtWindow, HintsFollowTheMouseAndStayWhileItIsOverTheButton) {
  OpenWithDrive();
  QAbstractButton* toc = ButtonWidget(IDC_BTN_TOC);
  Move(toc, QPoint(toc->width() / 2, toc->height() / 2));
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "Show TOC");
  Move(W(*dlg), QPoint(300, 15));
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "/dev/sr0: TESSAL Test Drive 1.00");
  QAbstractButton* eject = ButtonWidget(IDC_BTN_EJECT);
  Move(eject, QPoint(eject->width() / 2, eject->height() / 2));
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "Eject the Device");
}

TEST_F(QtWindow, EscapeAndEnterLeaveTheWindowOpenAndF1OpensTheHelp) {
  CTessalApp app;
  OpenWithDrive();
  QWidget* top = W(*dlg);
  top->activateWindow();
  W(dlg->Browser().Tree())->setFocus();
  QApplication::processEvents();
  Key(top, Qt::Key_Escape);
  Key(top, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_FALSE(dlg->IsEnding());
  EXPECT_TRUE(top->isVisible());
  EXPECT_TRUE(qtui->opened.empty());
  Key(top, Qt::Key_F1);
  ASSERT_EQ(qtui->opened.size(), 1u);
  EXPECT_EQ(qtui->opened[0], CTessalDlg::HelpPath());
}

TEST_F(QtWindow, DraggingTheSplitterMovesThePanes) {
  OpenWithDrive();
  QWidget* bar = W(*dlg->Browser().GetDlgItem(CDlgMain::kSplitterId));
  QWidget* tree = W(dlg->Browser().Tree());
  ASSERT_TRUE(bar && tree);
  EXPECT_EQ(bar->cursor().shape(), Qt::SizeHorCursor);
  // The bar centres itself on the mouse: the tree ends 3 pixels left of it.
  const int mouseX = bar->x() + 2 - 60;
  Press(bar, QPoint(2, 20), QEvent::MouseButtonPress);
  Move(bar, QPoint(2 - 60, 20), Qt::LeftButton);
  Press(bar, QPoint(2 - 60, 20), QEvent::MouseButtonRelease);
  QApplication::processEvents();
  EXPECT_EQ(tree->width(), mouseX - 3);
  EXPECT_EQ(bar->x(), tree->width());
  // Without the button held the bar stays.
  Move(bar, QPoint(-100, 20));
  EXPECT_EQ(tree->width(), mouseX - 3);
}

TEST_F(QtWindow, ACaptionButtonPopsUpItsMenuBelowItAndTheChoiceArrives) {
  OpenWithDrive();
  QAbstractButton* tools = ButtonWidget(IDC_MENU_TOOLS);
  const QPoint corner = tools->mapToGlobal(QPoint(0, tools->height()));
  QPoint shownAt;
  QStringList texts;
  // Released on the first item until the menu has closed.
  testsupport::ModalAnswer pick("the Tools menu", testsupport::WhileShown<QMenu>(testsupport::ActivePopup<QMenu>, [&](QMenu* menu) {
    shownAt = menu->geometry().topLeft();
    texts.clear();
    QWidget* toc = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) {
        texts << "-";
        continue;
      }
      auto* wa = qobject_cast<QWidgetAction*>(a);
      texts << (wa ? "item" : a->text());
      if (wa && !toc) toc = wa->defaultWidget();
    }
    if (toc) Press(toc, QPoint(5, 5), QEvent::MouseButtonRelease);
  }));
  tools->click();
  ASSERT_TRUE(Until([&] { return dlg->CurrentView() == CTessalDlg::kViewToc; }));
  EXPECT_EQ(shownAt, corner);
  EXPECT_EQ(texts, QStringList({"item", "item", "item", "-", "item"}));

  // The keyboard: Down twice to the second item, Enter chooses it.
  // Keys are sent once: a second round would move on from where the first
  // left the selection; the menu is closed after them in any case.
  bool keyed = false;
  testsupport::ModalAnswer keys("the Tools menu by keys", testsupport::WhileShown<QMenu>(testsupport::ActivePopup<QMenu>, [&](QMenu* menu) {
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
      QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(menu, &e);
    }
    keyed = true;
    if (menu->isVisible()) menu->close();
  }));
  ButtonWidget(IDC_MENU_TOOLS)->click();
  EXPECT_TRUE(keyed);
  EXPECT_TRUE(Until([&] { return dlg->CurrentView() == CTessalDlg::kViewVolume; }, 2000));
}

// Two sessions appended in a plain image, each volume named for its session:
// the volume panel follows the session the user clicks into in the browser.
TEST_F(QtWindow, TheVolumePanelShowsTheSessionSelectedInTheBrowser) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
  testsupport::ScratchDir dir;
  testsupport::AppendedIso iso(dir.File("two.iso"), dir);
  std::string error;
  for (const std::string s : {"ONE", "TWO"}) {
    std::filesystem::create_directories(dir.File(s));
    std::ofstream(dir.File(s + "/" + s + ".TXT")) << s;
    ASSERT_TRUE(iso.Append(dir.File(s), false, error, "-R -V SESSION_" + s)) << error;
  }
  std::vector<apptest::Drive> drives;
  drives.push_back(apptest::MakeDrive(1, iso.Path()));
  dlg = std::make_unique<CTessalDlg>(apptest::DevicesOf(drives), &sound);
  dlg->SetStartAction([] {});
  ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  dlg->UseDevice(dlg->Devices().GetDequeItem(0), "/dev/sr0");
  auto* tree = qobject_cast<QTreeWidget*>(W(dlg->Browser().Tree()));
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 3);  // two sessions, the lead-out
  ASSERT_EQ(tree->topLevelItem(1)->child(0)->text(0), "DATA TRACK 2(ISO)");

  // Opens the volume panel, reads the identifier row, goes back to the browser.
  auto shownIdentifier = [&] {
    ButtonWidget(IDC_BTN_VOLUME)->click();
    QApplication::processEvents();
    EXPECT_EQ(dlg->CurrentView(), CTessalDlg::kViewVolume);
    QString id = "(none)";
    auto* list = qobject_cast<QTreeWidget*>(W(dlg->VolumeView().List()));
    for (int r = 0; list && r < list->topLevelItemCount(); ++r)
      if (list->topLevelItem(r)->text(0) == "ISO Volume Identifier") id = list->topLevelItem(r)->text(1).trimmed();
    ButtonWidget(IDC_BTN_SELDEVICE)->click();
    QApplication::processEvents();
    return id.toStdString();
  };
  // Loading selected session 1's track; then session 2's track, then the
  // node of session 1 itself.
  EXPECT_EQ(shownIdentifier(), "SESSION_ONE");
  tree->setCurrentItem(tree->topLevelItem(1)->child(0));
  EXPECT_EQ(shownIdentifier(), "SESSION_TWO");
  tree->setCurrentItem(tree->topLevelItem(0));
  EXPECT_EQ(shownIdentifier(), "SESSION_ONE");
}

TEST_F(QtWindow, ClickingABootFolderListsTheImagesOfItsCatalog) {
  testsupport::ScratchDir dir;
  const auto boot = testsupport::MakeBootIso(dir);
  if (!boot) GTEST_SKIP() << "xorriso or mkfs.vfat missing";
  ASSERT_TRUE(boot->error.empty()) << boot->error;
  std::vector<apptest::Drive> drives;
  drives.push_back(apptest::MakeDrive(1, boot->iso));
  dlg = std::make_unique<CTessalDlg>(apptest::DevicesOf(drives), &sound);
  dlg->SetStartAction([] {});
  ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  dlg->UseDevice(dlg->Devices().GetDequeItem(0), "/dev/sr0: TESSAL Test Drive 1.00");
  auto* tree = qobject_cast<QTreeWidget*>(W(dlg->Browser().Tree()));
  auto* list = qobject_cast<QTreeWidget*>(W(dlg->Browser().List()));
  ASSERT_TRUE(tree && list);
  const auto found = tree->findItems("[BOOT]", Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found[0]->parent()->text(0), "DATA TRACK 1(ISO)");
  tree->scrollToItem(found[0]);
  const QPoint at = tree->visualItemRect(found[0]).center();
  Press(tree->viewport(), at, QEvent::MouseButtonPress);
  Press(tree->viewport(), at, QEvent::MouseButtonRelease);
  ASSERT_TRUE(Until([&] { return list->topLevelItemCount() == static_cast<int>(boot->images.size()); }, 2000));
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    EXPECT_EQ(list->topLevelItem(i)->text(0).toStdString(), boot->images[i].name);
    EXPECT_EQ(list->topLevelItem(i)->text(2), "File");
  }
}

}  // namespace
#endif
