#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <thread>

#include "platform/ui/Controls.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "platform/ui/qt/QtCanvas.h"
#include "platform/ui/qt/QtPeers.h"
#include "platform/ui/qt/QtUi.h"
#include "res/Resources.h"
#include "tests/support/QtModalAnswer.h"
#include "tests/ui/ToolsMenu.h"

namespace {

namespace S = res::Style;
constexpr std::uint32_t kVis = S::Visible | S::Child;

const res::ControlTemplate kControls[] = {
    {1001, res::ControlKind::Button, "", 10, 10, 22, 22, kVis | S::OwnerDraw},
    {1002, res::ControlKind::Button, "Go", 40, 10, 40, 14, kVis | S::TabStop},
    {1008, res::ControlKind::Tree, "", 10, 40, 100, 80, kVis | S::HasButtons | S::TabStop},
    {1010, res::ControlKind::ReportList, "", 120, 40, 120, 80, kVis | S::SortAscending},
    {1011, res::ControlKind::ListBox, "", 250, 40, 60, 80, kVis | S::Notify},
    {1013, res::ControlKind::Edit, "16", 10, 130, 50, 12, kVis | S::Border | S::TabStop},
    {1014, res::ControlKind::ScrollBar, "", 62, 130, 8, 12, kVis},
    {1015, res::ControlKind::CheckBox, "all mode", 80, 130, 50, 12, kVis},
    {1018, res::ControlKind::Progress, "", 10, 150, 150, 8, kVis | S::Border},
    {1044, res::ControlKind::Slider, "", 170, 150, 100, 12, kVis},
    {1036, res::ControlKind::Static, "Version 3.03", 10, 165, 100, 9, kVis},
    {1029, res::ControlKind::Button, "", 200, 160, 100, 18, kVis},
};
const res::DialogTemplate kTpl = {9300, "Qt layer", "MS Sans Serif", 8, 320, 180, S::Popup | S::Visible, kControls};

const res::ControlTemplate kChildControls[] = {
    {1050, res::ControlKind::Static, "inside", 0, 0, 40, 9, kVis},
};
const res::DialogTemplate kChild = {9301, "", "MS Sans Serif", 8, 60, 12, S::Child | S::Visible, kChildControls};

QApplication& App() {
  static int argc = 1;
  static char name[] = "test_ui_qt";
  static char* argv[] = {name, nullptr};
  // Never destroyed: Qt's own statics go first at exit, and a QApplication
  // outliving them crashes on the way out.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A button whose mouse moves ask its parent to show a hint, as the skinned
// buttons do.
struct HintButton : ui::Button {
  void OnMouseMove(unsigned, ui::Point) override { GetParent()->SendMessage(1234, 0, 7); }
};

struct Panel : ui::Dialog {
  HintButton round;
  ui::TreeCtrl tree;
  ui::ListCtrl list;
  ui::ListBox box;
  ui::Edit edit;
  ui::CheckBox all;
  ui::ProgressCtrl bar;
  ui::SliderCtrl slider;
  ui::CheckBox host;  // a check button that its template made a plain button
  std::vector<std::string> log;
  bool swallowKeys = false;
  unsigned timerToEnd = 0;

  Panel() : Dialog(9300) {}
  void DoDataExchange() override {
    BindControl(1001, round);
    BindControl(1008, tree);
    BindControl(1010, list);
    BindControl(1011, box);
    BindControl(1013, edit);
    BindControl(1015, all);
    BindControl(1018, bar);
    BindControl(1044, slider);
    BindControl(1029, host);
  }
  bool OnInitDialog() override {
    list.InsertColumn(0, "Name", ui::LVCFMT_LEFT, 100);
    list.InsertColumn(1, "Type", ui::LVCFMT_LEFT, 60);
    if (timerToEnd) SetTimer(3, timerToEnd);
    return true;
  }
  void OnCommand(int id) override { log.push_back("command " + std::to_string(id)); }
  ui::LRESULT OnNotify(int id, int code) override {
    log.push_back("notify " + std::to_string(id) + " " + std::to_string(code));
    return 0;
  }
  void OnVScroll(int code, int, ui::Window*) override { log.push_back("vscroll " + std::to_string(code)); }
  ui::LRESULT OnMessage(unsigned msg, ui::WPARAM, ui::LPARAM l) override {
    log.push_back("message " + std::to_string(msg) + " " + std::to_string(l));
    return 0;
  }
  void OnTimer(unsigned id) override {
    KillTimer(id);
    EndDialog(IDOK);
  }
  bool PreTranslateMessage(ui::MSG* m) override {
    return swallowKeys && (m->wParam == ui::VK_RETURN || m->wParam == ui::VK_ESCAPE);
  }
  void OnDrawItem(int id, ui::Canvas& c, const ui::DrawItemInfo& info) override {
    c.FillRect(info.rect, info.selected ? ui::RGB(0, 0, 255) : ui::RGB(255, 0, 0));
  }
  bool Has(const std::string& s) const { return std::find(log.begin(), log.end(), s) != log.end(); }
};

struct QtLayer : ::testing::Test {
  std::unique_ptr<ui::qt::QtUi> qtui;
  ui::Ui* previous = nullptr;
  void SetUp() override {
    App();
    qtui = std::make_unique<ui::qt::QtUi>();
    previous = ui::Ui::Install(qtui.get());
    ui::RegisterDialogTemplate(&kTpl);
    ui::RegisterDialogTemplate(&kChild);
  }
  void TearDown() override {
    ui::UnregisterDialogTemplate(kTpl.id);
    ui::UnregisterDialogTemplate(kChild.id);
    ui::Ui::Install(previous);
    qtui.reset();
    QApplication::processEvents();
  }
  template <class W>
  W* WidgetOf(const ui::Window& w) {
    return qobject_cast<W*>(ui::qt::QtUi::WidgetOf(w));
  }
};

TEST_F(QtLayer, TemplateOpensAsARealWindowWithAWidgetPerControl) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  QWidget* top = ui::qt::QtUi::WidgetOf(p);
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isWindow());
  EXPECT_TRUE(top->isVisible());
  // Dialog units follow the template font's metrics on this machine.
  const ui::DialogBaseUnits u = qtui->BaseUnits("MS Sans Serif", 8);
  EXPECT_EQ(top->width(), (320 * u.cx + 2) / 4);
  EXPECT_EQ(top->height(), (180 * u.cy + 4) / 8);
  EXPECT_EQ(p.tree.GetRect().left, (10 * u.cx + 2) / 4);

  EXPECT_NE(WidgetOf<QTreeWidget>(p.tree), nullptr);
  EXPECT_NE(WidgetOf<QTreeWidget>(p.list), nullptr);
  EXPECT_NE(WidgetOf<QListWidget>(p.box), nullptr);
  EXPECT_NE(WidgetOf<QLineEdit>(p.edit), nullptr);
  EXPECT_NE(WidgetOf<QCheckBox>(p.all), nullptr);
  EXPECT_NE(WidgetOf<QProgressBar>(p.bar), nullptr);
  EXPECT_NE(WidgetOf<QSlider>(p.slider), nullptr);
  auto* version = qobject_cast<QLabel*>(ui::qt::QtUi::WidgetOf(*p.GetDlgItem(1036)));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), "Version 3.03");
  EXPECT_EQ(WidgetOf<QLineEdit>(p.edit)->text(), "16");
  QWidget* treeW = ui::qt::QtUi::WidgetOf(p.tree);
  EXPECT_EQ(treeW->geometry(), QRect(p.tree.GetRect().left, p.tree.GetRect().top, p.tree.GetRect().Width(),
                                     p.tree.GetRect().Height()));
}

TEST_F(QtLayer, ClickingBoundButtonsReachesOnCommand) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  auto* go = qobject_cast<QAbstractButton*>(ui::qt::QtUi::WidgetOf(*p.GetDlgItem(1002)));
  ASSERT_NE(go, nullptr);
  EXPECT_EQ(go->text(), "Go");
  go->click();
  EXPECT_TRUE(p.Has("command 1002"));
  // A real press and release of the mouse on the owner-drawn button.
  QWidget* round = ui::qt::QtUi::WidgetOf(p.round);
  const QPointF c(round->width() / 2.0, round->height() / 2.0);
  QMouseEvent press(QEvent::MouseButtonPress, c, round->mapToGlobal(c), Qt::LeftButton, Qt::LeftButton, {});
  QMouseEvent release(QEvent::MouseButtonRelease, c, round->mapToGlobal(c), Qt::LeftButton, {}, {});
  QApplication::sendEvent(round, &press);
  QApplication::sendEvent(round, &release);
  EXPECT_TRUE(p.Has("command 1001"));
  // Disabled in the model: the widget is disabled and a click does nothing.
  p.log.clear();
  p.GetDlgItem(1002)->EnableWindow(false);
  EXPECT_FALSE(go->isEnabled());
  go->click();
  EXPECT_TRUE(p.log.empty());

  // The check box: the user's click toggles the model and tells the dialog.
  auto* check = WidgetOf<QCheckBox>(p.all);
  check->click();
  EXPECT_EQ(p.all.GetCheck(), 1);
  EXPECT_TRUE(check->isChecked());
  EXPECT_TRUE(p.Has("command 1015"));
  p.all.SetCheck(0);
  EXPECT_FALSE(check->isChecked());
}

TEST_F(QtLayer, TreeAndListFollowTheirModelsAndReportSelections) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  auto* tw = WidgetOf<QTreeWidget>(p.tree);
  ui::HTREEITEM s = p.tree.InsertItem("Session 1", 0, 1);
  ui::HTREEITEM t1 = p.tree.InsertItem("AUDIO TRACK 1", 3, 3, s);
  ui::HTREEITEM t2 = p.tree.InsertItem("AUDIO TRACK 2", 3, 3, s);
  p.tree.InsertItem("(Lead Out) 20000", 0, 1);
  p.tree.Expand(s, ui::TVE_EXPAND);
  ASSERT_EQ(tw->topLevelItemCount(), 2);
  ASSERT_EQ(tw->topLevelItem(0)->childCount(), 2);
  EXPECT_EQ(tw->topLevelItem(0)->child(1)->text(0), "AUDIO TRACK 2");
  EXPECT_TRUE(tw->topLevelItem(0)->isExpanded());

  // The program selects: the widget follows and the owner hears of it.
  p.tree.SelectItem(t1);
  EXPECT_EQ(tw->currentItem(), tw->topLevelItem(0)->child(0));
  EXPECT_TRUE(p.Has("notify 1008 -402"));
  // The user selects: the model follows and the owner hears of it.
  p.log.clear();
  tw->setCurrentItem(tw->topLevelItem(0)->child(1));
  EXPECT_EQ(p.tree.GetSelectedItem(), t2);
  EXPECT_EQ(std::count(p.log.begin(), p.log.end(), "notify 1008 -402"), 1);
  p.tree.DeleteItem(t1);
  EXPECT_EQ(tw->topLevelItem(0)->childCount(), 1);
  p.tree.DeleteAllItems();
  EXPECT_EQ(tw->topLevelItemCount(), 0);

  auto* lw = WidgetOf<QTreeWidget>(p.list);
  EXPECT_EQ(lw->columnCount(), 2);
  EXPECT_EQ(lw->headerItem()->text(1), "Type");
  for (const char* n : {"b.txt", "Adir", "a.txt"}) {
    const int r = p.list.InsertItem(p.list.GetItemCount(), n);
    p.list.SetItemText(r, 1, n[1] == 'd' ? "Folder" : "File");
  }
  ASSERT_EQ(lw->topLevelItemCount(), 3);
  EXPECT_EQ(lw->topLevelItem(0)->text(0), "a.txt");
  EXPECT_EQ(lw->topLevelItem(1)->text(0), "Adir");
  p.list.SortItems([](const ui::ListRow& a, const ui::ListRow& b) {
    return -ui::ListCtrl::CompareNoCase(a.Text(1), b.Text(1));
  });
  EXPECT_EQ(lw->topLevelItem(0)->text(0), "Adir");
  EXPECT_EQ(lw->topLevelItem(0)->text(1), "Folder");
  emit lw->itemDoubleClicked(lw->topLevelItem(2), 0);
  EXPECT_EQ(p.list.GetFirstSelected(), 2);
  EXPECT_TRUE(p.Has("notify 1010 -3"));

  auto* bw = WidgetOf<QListWidget>(p.box);
  p.box.InsertString(0, "D: DRIVE");
  p.box.InsertString(1, "[Image File]");
  p.box.SetCurSel(0);
  ASSERT_EQ(bw->count(), 2);
  EXPECT_EQ(bw->currentRow(), 0);
  emit bw->itemDoubleClicked(bw->item(1));
  EXPECT_EQ(p.box.GetCurSel(), 1);
  EXPECT_TRUE(p.Has("notify 1011 2"));
  p.box.ResetContent();
  EXPECT_EQ(bw->count(), 0);
}

TEST_F(QtLayer, ImageListsGiveTreeAndListTheirIcons) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  auto square = [](std::uint32_t rgb) {
    res::Image img;
    img.width = img.height = 16;
    img.rgb.assign(256, rgb);
    return img;
  };
  ui::ImageList images;
  images.Create(16, 16);
  EXPECT_EQ(images.Add(square(0xFF0000)), 0);  // folder
  EXPECT_EQ(images.Add(square(0x00FF00)), 1);  // folder, selected
  EXPECT_EQ(images.Add(res::Image{}), -1);     // nothing to add
  p.tree.SetImageList(&images);
  p.list.SetImageList(&images);
  ui::HTREEITEM f = p.tree.InsertItem("DOCS", 0, 1);
  p.list.InsertItem(0, "DOCS", 0);
  auto* tw = WidgetOf<QTreeWidget>(p.tree);
  const QIcon icon = tw->topLevelItem(0)->icon(0);
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(16, 16, QIcon::Normal).toImage().pixelColor(8, 8), QColor(255, 0, 0));
  EXPECT_EQ(icon.pixmap(16, 16, QIcon::Selected).toImage().pixelColor(8, 8), QColor(0, 255, 0));
  EXPECT_FALSE(WidgetOf<QTreeWidget>(p.list)->topLevelItem(0)->icon(0).isNull());
  // An image index the list does not hold shows no icon instead of failing.
  p.tree.SetItemImage(f, 7, 9);
  EXPECT_TRUE(tw->topLevelItem(0)->icon(0).isNull());
}

TEST_F(QtLayer, RangesTextAndArrowsTravelBothWays) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  p.bar.SetRange(0, 100);
  p.bar.SetPos(140);
  EXPECT_EQ(WidgetOf<QProgressBar>(p.bar)->value(), 100);

  auto* sl = WidgetOf<QSlider>(p.slider);
  p.slider.SetRange(0, 100);
  p.slider.SetPos(10);
  EXPECT_EQ(sl->value(), 10);
  sl->setSliderDown(true);
  sl->setSliderPosition(40);
  sl->setSliderDown(false);
  EXPECT_EQ(p.slider.GetPos(), 40);
  EXPECT_TRUE(p.Has("notify 1044 -16"));

  // Typing into the edit goes through the key route and into the model.
  QLineEdit* le = WidgetOf<QLineEdit>(p.edit);
  le->setFocus();
  le->setCursorPosition(2);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, "7");
  QApplication::sendEvent(le, &key);
  EXPECT_EQ(p.edit.GetWindowText(), "167");
  EXPECT_TRUE(p.Has("notify 1013 768"));
  p.edit.SetWindowText("200");
  EXPECT_EQ(le->text(), "200");

  auto* bar = ui::qt::QtUi::WidgetOf(*p.GetDlgItem(1014));
  ASSERT_NE(bar, nullptr);
  auto* up = bar->findChild<QToolButton*>("lineUp");
  auto* down = bar->findChild<QToolButton*>("lineDown");
  ASSERT_TRUE(up && down);
  up->click();
  down->click();
  EXPECT_TRUE(p.Has("vscroll 0"));
  EXPECT_TRUE(p.Has("vscroll 1"));

  // Mouse moves over a control reach the control's model.
  QWidget* round = ui::qt::QtUi::WidgetOf(p.round);
  QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), round->mapToGlobal(QPointF(3, 3)), Qt::NoButton, {}, {});
  QApplication::sendEvent(round, &move);
  EXPECT_TRUE(p.Has("message 1234 7"));

  p.GetDlgItem(1036)->ShowWindow(ui::SW_HIDE);
  EXPECT_FALSE(ui::qt::QtUi::WidgetOf(*p.GetDlgItem(1036))->isVisible());
  p.GetDlgItem(1036)->SetWindowText("Version 4");
  EXPECT_EQ(qobject_cast<QLabel*>(ui::qt::QtUi::WidgetOf(*p.GetDlgItem(1036)))->text(), "Version 4");
}

TEST_F(QtLayer, OwnerDrawingAndWindowShapesUseTheModelsPixels) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  QWidget* round = ui::qt::QtUi::WidgetOf(p.round);
  const QImage normal = round->grab().toImage();
  EXPECT_EQ(normal.pixelColor(2, 2), QColor(255, 0, 0));
  p.round.SetState(true);
  EXPECT_EQ(round->grab().toImage().pixelColor(2, 2), QColor(0, 0, 255));

  const ui::Rect r = p.round.GetClientRect();
  p.round.SetWindowRgn(ui::Region::Ellipse(r.Width(), r.Height()));
  const QRegion mask = round->mask();
  EXPECT_TRUE(mask.contains(QPoint(r.Width() / 2, r.Height() / 2)));
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  // A shape without any pixel (an all-white mask) shows and takes nothing.
  res::Image white;
  white.width = r.Width();
  white.height = r.Height();
  white.rgb.assign(static_cast<std::size_t>(r.Width()) * r.Height(), res::kWhite);
  p.round.SetWindowRgn(ui::Region::FromMask(white));
  ASSERT_FALSE(round->mask().isEmpty());
  for (int y = 0; y < r.Height(); ++y)
    for (int x = 0; x < r.Width(); ++x) ASSERT_FALSE(round->mask().contains(QPoint(x, y)));
  p.round.SetWindowRgn(std::nullopt);
  EXPECT_TRUE(round->mask().isEmpty());

  // The whole window shaped by a mask.
  res::Image m;
  m.width = 50;
  m.height = 40;
  m.rgb.assign(2000, res::kWhite);
  for (int y = 10; y < 30; ++y)
    for (int x = 5; x < 45; ++x) m.rgb[static_cast<std::size_t>(y) * 50 + x] = 0;
  p.SetWindowRgn(ui::Region::FromMask(m, p.GetRect().Width(), p.GetRect().Height()));
  const QRegion shape = ui::qt::QtUi::WidgetOf(p)->mask();
  EXPECT_TRUE(shape.contains(QPoint(5, 10)));
  EXPECT_FALSE(shape.contains(QPoint(4, 10)));
  EXPECT_TRUE(shape.contains(QPoint(100, 100))) << "beyond the bitmap the window stays";
}

TEST_F(QtLayer, PanelsLiveInsideAHostControl) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  QWidget* hostW = ui::qt::QtUi::WidgetOf(p.host);
  ASSERT_NE(hostW, nullptr);
  EXPECT_EQ(qobject_cast<QCheckBox*>(hostW), nullptr) << "a text line, not a check box";
  p.host.SetTransparent(true);
  EXPECT_FALSE(hostW->autoFillBackground());
  p.host.SetTextColor(ui::RGB(255, 255, 255));
  EXPECT_EQ(hostW->palette().color(QPalette::WindowText), QColor(255, 255, 255));

  ui::Dialog inner(9301);
  ASSERT_TRUE(inner.Create(9301, &p.host));
  QWidget* innerW = ui::qt::QtUi::WidgetOf(inner);
  ASSERT_NE(innerW, nullptr);
  EXPECT_EQ(innerW->parentWidget(), hostW);
  EXPECT_FALSE(innerW->isWindow());
  inner.MoveWindow(p.host.GetClientRect());
  EXPECT_EQ(innerW->geometry(), QRect(0, 0, hostW->width(), hostW->height()));
  EXPECT_TRUE(innerW->isVisible());
  p.host.ShowWindow(ui::SW_HIDE);
  EXPECT_FALSE(innerW->isVisible());
  EXPECT_FALSE(inner.IsWindowVisible());
  p.host.ShowWindow(ui::SW_SHOW);
  EXPECT_TRUE(innerW->isVisible());
  // The panel's screen rectangle runs through the host and the dialog.
  EXPECT_EQ(inner.GetWindowRect().left, p.GetRect().left + p.host.GetRect().left);
  // Destroying the outer window takes the panel's window with it.
  p.DestroyWindow();
  EXPECT_FALSE(inner.IsWindow());
  EXPECT_EQ(ui::qt::QtUi::WidgetOf(inner), nullptr);
}

TEST_F(QtLayer, ModalRunEndedByATimer) {
  Panel p;
  p.timerToEnd = 50;
  testsupport::ModalAnswer guard("the timed run", [] { return false; });  // ends it only past the limit
  EXPECT_EQ(p.DoModal(), IDOK);
  EXPECT_FALSE(p.IsWindow());
  EXPECT_EQ(ui::qt::QtUi::WidgetOf(p), nullptr);
}

TEST_F(QtLayer, ModalRunEndedByWorkPostedFromAThreadAndByKeys) {
  Panel p;
  std::thread worker;
  testsupport::ModalAnswer guard("the runs ended by posted work and by keys", [] { return false; });
  QTimer::singleShot(0, [&] {
    worker = std::thread([&] { p.Post([&] { p.EndDialog(42); }); });
  });
  EXPECT_EQ(p.DoModal(), 42);
  worker.join();

  // Escape cancels, unless the dialog's key filter swallows it.
  Panel k;
  k.swallowKeys = true;
  QTimer::singleShot(0, [&] {
    QWidget* edit = ui::qt::QtUi::WidgetOf(k.edit);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    edit->setFocus();
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : edit, &esc);
    k.log.push_back(k.IsEnding() ? "ended" : "still open");
    k.swallowKeys = false;
    QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : edit, &esc);
  });
  QTimer::singleShot(2000, [&] { k.EndDialog(-5); });  // a safety net, never the answer
  EXPECT_EQ(k.DoModal(), IDCANCEL);
  EXPECT_TRUE(k.Has("still open"));
}

// A dialog that ignores its first accepts, as a file dialog does before it
// has loaded its folder.
struct SlowToAccept : QDialog {
  int ignored = 0;
  void accept() override {
    if (ignored < 2) {
      ++ignored;
      return;
    }
    QDialog::accept();
  }
};

TEST_F(QtLayer, AScriptedAnswerIsGivenAgainUntilTheDialogHasReallyClosed) {
  SlowToAccept dlg;
  int answers = 0;
  testsupport::ModalAnswer answer("the slow dialog", testsupport::WhileShown<QDialog>(testsupport::ActiveModal<QDialog>, [&](QDialog* d) {
    ++answers;
    d->accept();
  }));
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_EQ(answers, 3);
  EXPECT_EQ(dlg.ignored, 2);
  QElapsedTimer waited;
  waited.start();
  while (!answer.Done() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(answer.Done());
  EXPECT_FALSE(answer.GaveUp());
}

// The program's own modal dialog with a QDialog opened inside it, and nothing
// that answers either: both end, innermost first.
void RunUnansweredNestedDialogs() {
  Panel p;
  int inner = -1;
  QTimer::singleShot(0, [&] {
    QDialog d;
    inner = d.exec();
  });
  testsupport::ModalAnswer never("the unanswered dialogs", [] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(p.DoModal(), IDCANCEL);
  EXPECT_EQ(inner, QDialog::Rejected);
  EXPECT_TRUE(never.GaveUp());
}

TEST_F(QtLayer, AnAnswerThatNeverComesFailsTheTestInsteadOfHangingIt) {
  EXPECT_NONFATAL_FAILURE(RunUnansweredNestedDialogs(), "the unanswered dialogs: the modal window did not close");
}

TEST_F(QtLayer, MessageBoxAnswersWithThePressedButton) {
  Panel owner;
  ASSERT_TRUE(owner.Create(9300, nullptr));
  owner.swallowKeys = true;
  testsupport::ModalAnswer cancel("the message box", testsupport::WhileShown<QMessageBox>(testsupport::ActiveModal<QMessageBox>, [&](QMessageBox* box) {
    // The box belongs to no window model, so the owner's key filter (which
    // swallows Enter and Escape) never sees its keys.
    EXPECT_EQ(ui::qt::ModelOf(box), nullptr);
    EXPECT_EQ(ui::qt::ModelOf(box->button(QMessageBox::Cancel)), nullptr);
    EXPECT_EQ(ui::qt::ModelOf(ui::qt::QtUi::WidgetOf(owner.edit)), &owner.edit);
    EXPECT_EQ(box->text(), "File or Directory already Existed, OverWrite it?");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    box->button(QMessageBox::Cancel)->click();
  }));
  EXPECT_EQ(qtui->MessageBox("File or Directory already Existed, OverWrite it?", "tessal",
                             ui::MB_OKCANCEL | ui::MB_ICONQUESTION, &owner),
            IDCANCEL);
}

struct MenuPainter : ui::MenuOwnerDraw {
  ui::Size MeasureItem(const res::MenuItem& m) override {
    return {std::max(30, static_cast<int>(m.text.size()) * 6 + 19), 19};
  }
  void DrawItem(const res::MenuItem&, ui::Canvas& c, const ui::Rect& r, bool selected) override {
    c.FillRect(r, selected ? ui::RGB(169, 184, 202) : ui::RGB(212, 208, 200));
  }
};

TEST(QtCanvas, DamagedImagesAreDrawnAsFarAsTheirPixelsGo) {
  App();
  res::Image shortImg;
  shortImg.width = 4;
  shortImg.height = 4;
  shortImg.rgb.assign(6, 0x0000FF);  // claims 16 pixels, holds 6
  const QImage q = ui::qt::ToQImage(shortImg);
  ASSERT_FALSE(q.isNull());
  EXPECT_EQ(q.pixelColor(1, 1), QColor(0, 0, 255));
  EXPECT_EQ(q.pixelColor(3, 3), QColor(0, 0, 0));
  res::Image huge;
  huge.width = 1 << 20;
  huge.height = 1 << 20;
  EXPECT_TRUE(ui::qt::ToQImage(huge).isNull());
  QImage target(8, 8, QImage::Format_RGB32);
  target.fill(Qt::white);
  QPainter p(&target);
  ui::qt::QtCanvas canvas(p);
  canvas.DrawImage(huge, 0, 0);  // nothing, and no failure
  canvas.Rectangle(ui::Rect(0, 0, 4, 4), ui::RGB(0, 0, 0), ui::RGB(0, 255, 0));
  p.end();
  EXPECT_EQ(target.pixelColor(0, 0), QColor(0, 0, 0));
  EXPECT_EQ(target.pixelColor(3, 3), QColor(0, 0, 0));
  EXPECT_EQ(target.pixelColor(1, 1), QColor(0, 255, 0));
  EXPECT_EQ(target.pixelColor(4, 4), QColor(255, 255, 255));
  EXPECT_EQ(ui::qt::ToQRegion(ui::Region::Ellipse(10, 10)).boundingRect(), QRect(0, 0, 10, 10));
}

TEST_F(QtLayer, TextIsMeasuredInTheGivenFont) {
  const ui::FontSpec menu = qtui->MenuFont();
  EXPECT_FALSE(menu.face.empty());
  const ui::Size one = qtui->MeasureText("Disc Scan", menu);
  const ui::Size two = qtui->MeasureText("Disc Scan Disc Scan", menu);
  EXPECT_GT(one.cx, 0);
  EXPECT_GT(two.cx, one.cx);
  EXPECT_EQ(one.cy, two.cy);
  ui::FontSpec big = menu;
  big.pointSize = menu.pointSize * 3;
  EXPECT_GT(qtui->MeasureText("Disc Scan", big).cy, one.cy);
  // Menu text stands out from the menu's own colour.
  EXPECT_NE(qtui->GetSysColor(ui::COLOR_MENU), qtui->GetSysColor(ui::COLOR_MENUTEXT));
}

TEST_F(QtLayer, PopupMenusSendTheChosenCommandToTheOwner) {
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  const auto tools = ToolsMenu();
  // A plain menu: the user picks the second item.
  testsupport::ModalAnswer plain("the plain menu", testsupport::WhileShown<QMenu>(testsupport::ActivePopup<QMenu>, [](QMenu* menu) {
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_TRUE(menu->actions()[2]->isSeparator());
    menu->actions()[1]->trigger();
    menu->close();
  }));
  EXPECT_EQ(qtui->TrackPopupMenu(tools, {30, 40}, &p, nullptr), 32779);
  EXPECT_FALSE(p.Has("command 32779")) << "the command comes after the menu has closed";
  QApplication::processEvents();
  EXPECT_TRUE(p.Has("command 32779"));

  // Owner-drawn items take their size and pixels from the program's drawing.
  MenuPainter painter;
  std::vector<QSize> sizes;
  QColor idle;
  testsupport::ModalAnswer drawn("the owner-drawn menu", testsupport::WhileShown<QMenu>(testsupport::ActivePopup<QMenu>, [&](QMenu* menu) {
    sizes.clear();
    QWidget* discScan = nullptr;
    for (QWidget* w : menu->findChildren<QWidget*>()) {
      if (w->parentWidget() != menu) continue;
      sizes.push_back(w->size());
      if (!discScan || w->y() > discScan->y()) discScan = w;  // the last item
    }
    ASSERT_NE(discScan, nullptr);
    idle = discScan->grab().toImage().pixelColor(1, 1);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), discScan->mapToGlobal(QPointF(5, 5)),
                        Qt::LeftButton, {}, {});
    QApplication::sendEvent(discScan, &release);
  }));
  EXPECT_EQ(qtui->TrackPopupMenu(tools, {30, 40}, &p, &painter, true), 32781);
  EXPECT_EQ(sizes.size(), 3u);
  for (const QSize& s : sizes) {
    EXPECT_GE(s.width(), 30);
    EXPECT_EQ(s.height(), 19);
    // Items share the popup's width, with the check-mark column added.
    EXPECT_EQ(s.width(), sizes[0].width());
    EXPECT_GE(s.width(), 18 * 6 + 19 + 15);  // "Volumn Information"
  }
  EXPECT_EQ(idle, QColor(212, 208, 200));
  QApplication::processEvents();
  EXPECT_FALSE(p.Has("command 32781")) << "only returned, not sent";
}

TEST_F(QtLayer, SaveDialogAddsTheDefaultExtension) {
  const auto dir = std::filesystem::temp_directory_path() / "tessal-ui-qt-save";
  std::filesystem::create_directories(dir);
  testsupport::ModalAnswer name("the save dialog", testsupport::WhileShown<QFileDialog>(testsupport::ActiveModal<QFileDialog>, [&](QFileDialog* dlg) {
    EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(dlg->nameFilters().contains("Wave Files(*.wav)"));
    testsupport::ChooseFile(dlg, QString::fromStdString((dir / "track02").string()));
  }));
  ui::CFileDialog save(false, "wav", "track02", ui::OFN_OVERWRITEPROMPT, "Wave Files(*.wav)|*.wav||");
  ASSERT_EQ(save.DoModal(), IDOK);
  EXPECT_EQ(save.GetPathName(), (dir / "track02.wav").string());
  std::filesystem::remove_all(dir);
}

// Every dialog template of the program opens as a real window with one
// widget per control, a child panel inside a host the way the main window
// places its views.
TEST_F(QtLayer, EveryProgramTemplateOpensWithAWidgetPerControl) {
  const int ids[] = {102, 157, 165, 166, 167, 172, 176, 191, 208, 220, 235};
  int opened = 0;
  for (int id : ids) {
    const res::DialogTemplate* tpl = ui::FindDialogTemplate(id);
    if (!tpl) continue;
    SCOPED_TRACE("template " + std::to_string(id));
    ui::Window host;
    host.CreateWindowAt(nullptr, ui::Rect(0, 0, 640, 480), 0, false, S::Visible);
    ui::Dialog d(id);
    ASSERT_TRUE(d.Create(id, (tpl->style & S::Child) ? &host : nullptr));
    ASSERT_NE(ui::qt::QtUi::WidgetOf(d), nullptr);
    EXPECT_EQ(d.Children().size(), tpl->controls.size());
    for (ui::Window* c : d.Children()) {
      QWidget* w = ui::qt::QtUi::WidgetOf(*c);
      ASSERT_NE(w, nullptr) << "control " << c->GetDlgCtrlID();
      EXPECT_EQ(w->parentWidget(), ui::qt::QtUi::WidgetOf(d));
      EXPECT_EQ(w->geometry().width(), c->GetRect().Width());
    }
    ++opened;
  }
  if (opened == 0) GTEST_SKIP() << "the program's templates are not linked in";
}

}  // namespace

namespace {

// Shows a filled-in window for a while so it can be looked at (run under
// Xvfb with TESSAL_UI_HOLD_MS set); skipped otherwise.
TEST_F(QtLayer, HoldAWindowOpenToLookAt) {
  const char* hold = std::getenv("TESSAL_UI_HOLD_MS");
  if (!hold) GTEST_SKIP() << "set TESSAL_UI_HOLD_MS to look at the window";
  Panel p;
  ASSERT_TRUE(p.Create(9300, nullptr));
  p.MoveWindow(20, 20, p.GetRect().Width(), p.GetRect().Height());
  ui::HTREEITEM s = p.tree.InsertItem("Session 1", 0, 1);
  p.tree.InsertItem("DATA TRACK 1(ISO)", 4, 4, s);
  p.tree.InsertItem("AUDIO TRACK 2", 3, 3, s);
  p.tree.InsertItem("(Lead Out) 20000", 0, 1);
  p.tree.Expand(s, ui::TVE_EXPAND);
  for (const char* n : {"README.TXT", "BOOT", "DATA.BIN"}) p.list.SetItemText(p.list.InsertItem(0, n), 1, "File");
  p.box.AddString("/dev/sr0: QEMU DVD-ROM 2.5+");
  p.box.AddString("[Image File]");
  p.box.SetCurSel(0);
  p.bar.SetPos(60);
  p.slider.SetPos(30);
  p.all.SetCheck(1);
  QTimer::singleShot(std::atoi(hold), [&] { p.EndDialog(0); });
  QEventLoop loop;
  QTimer::singleShot(std::atoi(hold) + 50, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace
