// Opening an image the ways a desktop offers, on the real window (Qt,
// offscreen): a FILE on the command line as a file manager passes it, a file
// no reader takes, and files dropped on the window.
#if __has_include(<QApplication>)
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <functional>
#include <sstream>

#include "app/CTessalDlg.h"
#include "app/CommandLine.h"
#include "app/dialogs/CDlgDev.h"
#include "platform/audio/NullWaveDevice.h"
#include "platform/ui/qt/QtPeers.h"
#include "platform/ui/qt/QtUi.h"
#include "tests/desktop/DesktopTestUtil.h"
#include "tests/support/CdImages.h"
#include "tests/support/QtModalAnswer.h"

using namespace desktoptest;

namespace {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "test_desktop";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!QApplication::instance()) new QApplication(argc, argv);  // kept to the end: Qt's statics go first
}

QWidget* WidgetOf(const ui::Window& w) { return ui::qt::QtUi::WidgetOf(w); }

using testsupport::SpinUntil;

// What the user sees on top, one of each kind at a time.
QMessageBox* ShownMessageBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}
CDlgDev* ShownDeviceDialog() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dev = dynamic_cast<CDlgDev*>(ui::qt::ModelOf(w)); dev && w->isVisible()) return dev;
  return nullptr;
}

// The user's side while the program runs its modal loops: answers each
// message box with OK and cancels each device dialog, writing down what came
// in which order. A step is taken again until its window has really gone.
struct User {
  std::vector<std::string> seen;  // "box: <text>" or "device dialog"
  QTimer timer;
  User() {
    QObject::connect(&timer, &QTimer::timeout, [this] { Step(); });
    timer.start(20);
  }
  void Step() {
    if (QMessageBox* box = ShownMessageBox()) {
      const std::string text = "box: " + box->text().toStdString();
      if (seen.empty() || seen.back() != text) seen.push_back(text);
      QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
    } else if (CDlgDev* dev = ShownDeviceDialog()) {
      if (seen.empty() || seen.back() != "device dialog") seen.push_back("device dialog");
      QMetaObject::invokeMethod(qobject_cast<QAbstractButton*>(WidgetOf(*dev->GetDlgItem(CDlgDev::kCancelId))),
                                "click", Qt::QueuedConnection);
    }
  }
};

struct OpenFile : ::testing::Test {
  ui::qt::QtUi* qtui = nullptr;
  ui::Ui* previous = nullptr;
  audio::NullWaveDevice sound;
  std::unique_ptr<CTessalDlg> dlg;
  testsupport::ScratchDir dir;

  void SetUp() override {
    EnsureApplication();
    qtui = new ui::qt::QtUi();
    previous = ui::Ui::Install(qtui);
  }
  void TearDown() override {
    dlg.reset();
    ui::Ui::Install(previous);
    delete qtui;
  }
  // The window as `tessal ARGS...` opens it, with no drives but the image item.
  void Start(std::vector<const char*> args) {
    args.insert(args.begin(), "tessal");
    static CommandLine line;  // outlives the start action that refers to it
    line = CommandLine{};
    std::string error;
    ASSERT_EQ(line.Parse(static_cast<int>(args.size()), args.data(), error), CommandLine::Parsed::Run) << error;
    dlg = std::make_unique<CTessalDlg>(std::make_unique<DevDeque>(std::vector<std::unique_ptr<CDevCmdROM>>{}), &sound);
    ASSERT_TRUE(line.HasStartAction());
    dlg->SetStartAction([this] { line.Start(*dlg); });
    ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  }
  std::string FirstTreeEntry() {
    auto* tree = qobject_cast<QTreeWidget*>(WidgetOf(dlg->Browser().Tree()));
    return tree && tree->topLevelItemCount() ? tree->topLevelItem(0)->text(0).toStdString() : std::string();
  }
  // Drags `files` from a file manager onto the window and lets go.
  bool Drop(const std::vector<std::string>& files) {
    QWidget* top = WidgetOf(*dlg);
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& f : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
    data.setUrls(urls);
    const QPointF at(300, 20);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(top, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(top, &drop);
    return drop.isAccepted();
  }
};

TEST_F(OpenFile, AFileOnTheCommandLineOpensAsTheCurrentDisc) {
  const std::string cue = Sample("mixed-mode.cue");
  Start({cue.c_str()});
  ASSERT_TRUE(SpinUntil([&] { return dlg->CurrentDevice() != nullptr; }));
  EXPECT_EQ(dlg->CurrentDevice()->GetNodePath(), cue);
  EXPECT_EQ(dlg->StatusLine().GetWindowText(), "[Image File]");
  EXPECT_EQ(FirstTreeEntry(), "Session 1");
  EXPECT_EQ(ShownDeviceDialog(), nullptr);  // nothing asked
}

TEST_F(OpenFile, AFileNoReaderTakesIsToldInABoxThenTheDeviceDialogAsks) {
  const std::string junk = dir.Write("holiday.cue", std::string("this is no sheet\n"));
  User user;
  Start({junk.c_str()});
  ASSERT_TRUE(SpinUntil([&] { return user.seen.size() >= 2 && !ShownDeviceDialog() && !ShownMessageBox(); }))
      << user.seen.size();
  ASSERT_EQ(user.seen.size(), 2u);
  EXPECT_EQ(user.seen[0].rfind("box: This is not valid image File!", 0), 0u) << user.seen[0];
  EXPECT_NE(user.seen[0].find("holiday.cue"), std::string::npos) << user.seen[0];  // which file, and why
  EXPECT_EQ(user.seen[1], "device dialog");
  EXPECT_EQ(dlg->CurrentDevice(), nullptr);
}

TEST_F(OpenFile, AnImageDroppedOnTheWindowOpensAndAFileNoReaderTakesChangesNothing) {
  const std::string junk = dir.Write("notes.txt", std::string("not a disc\n"));
  User user;
  dlg = std::make_unique<CTessalDlg>(std::make_unique<DevDeque>(std::vector<std::unique_ptr<CDevCmdROM>>{}), &sound);
  dlg->SetStartAction([] {});  // no device dialog at start
  ASSERT_TRUE(dlg->Create(CTessalDlg::kTemplateId, nullptr));
  ASSERT_TRUE(Drop({Sample("mixed-mode.cue")}));
  ASSERT_TRUE(SpinUntil([&] { return dlg->CurrentDevice() != nullptr; }));
  EXPECT_EQ(FirstTreeEntry(), "Session 1");
  CDevCmdROM* opened = dlg->CurrentDevice();

  ASSERT_TRUE(Drop({junk, Sample("mixed-mode.cue")}));  // the first file is the one opened
  ASSERT_TRUE(SpinUntil([&] { return !user.seen.empty() && !ShownMessageBox(); }));
  EXPECT_EQ(user.seen.back().rfind("box: This is not valid image File!", 0), 0u) << user.seen.back();
  EXPECT_EQ(dlg->CurrentDevice(), opened);
  EXPECT_EQ(opened->GetNodePath(), Sample("mixed-mode.cue"));  // the image item still reads the disc
  EXPECT_EQ(opened->TestUnitReady(), 0);
  EXPECT_EQ(FirstTreeEntry(), "Session 1");
  // Only files are taken: a dragged web address is refused at the door.
  QMimeData web;
  web.setUrls({QUrl("https://example.org/disc.iso")});
  QDragEnterEvent enter(QPoint(300, 20), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(WidgetOf(*dlg), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST(CommandLineParse, FileAndImageOptionAreOneAndTheSame) {
  auto parse = [](std::vector<const char*> args, CommandLine& line) {
    args.insert(args.begin(), "tessal");
    std::string error;
    return line.Parse(static_cast<int>(args.size()), args.data(), error);
  };
  CommandLine a, b, c, d, e;
  EXPECT_EQ(parse({"disc.cue", "--view", "2"}, a), CommandLine::Parsed::Run);
  EXPECT_EQ(a.image, "disc.cue");
  EXPECT_EQ(a.view, 2);
  EXPECT_EQ(parse({"--image", "disc.cue"}, b), CommandLine::Parsed::Run);
  EXPECT_EQ(b.image, "disc.cue");
  EXPECT_EQ(parse({"one.iso", "two.iso"}, c), CommandLine::Parsed::Usage);
  EXPECT_EQ(parse({"--", "-odd name.iso"}, d), CommandLine::Parsed::Run);
  EXPECT_EQ(d.image, "-odd name.iso");
  EXPECT_EQ(parse({"--frobnicate"}, e), CommandLine::Parsed::Usage);
  EXPECT_EQ(parse({"x.iso", "--version"}, e), CommandLine::Parsed::Version);
  // Every example the help and the manual give is a command line it takes.
  for (const help::Item& example : TessalHelp().examples) {
    std::istringstream words(example.term);
    std::vector<std::string> held;
    for (std::string w; words >> w;) held.push_back(w);
    std::vector<const char*> args;
    for (std::size_t i = 1; i < held.size(); ++i) args.push_back(held[i].c_str());
    CommandLine line;
    EXPECT_EQ(parse(args, line), CommandLine::Parsed::Run) << example.term;
  }
}

}  // namespace
#endif
