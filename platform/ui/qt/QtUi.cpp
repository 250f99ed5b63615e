#include "platform/ui/qt/QtUi.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidgetAction>

#include "platform/ui/qt/QtCanvas.h"
#include "platform/ui/qt/QtPeers.h"
#include "res/Resources.h"

namespace ui::qt {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A popup-menu item painted by the program's own menu drawing.
class OwnerDrawnItem : public QWidget {
 public:
  static constexpr int kCheckColumn = 15;
  OwnerDrawnItem(const res::MenuItem& item, MenuOwnerDraw& draw, int& chosen, QMenu& menu)
      : item_(item), draw_(draw), chosen_(chosen), menu_(menu) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, true);
    const Size s = draw_.MeasureItem(item_);
    // As the platform the menus come from does, an owner-drawn item gets the
    // check-mark column on top of the width it asked for, and every item of
    // a popup is as wide as the widest.
    setMinimumSize(std::max(1, s.cx + kCheckColumn), std::max(1, s.cy));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
  void SetAction(QAction* action) { action_ = action; }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QtCanvas c(p);
    // Selected under the mouse, or as the keyboard's current item.
    auto* menu = qobject_cast<QMenu*>(parentWidget());
    const bool current = menu && action_ && menu->activeAction() == action_;
    draw_.DrawItem(item_, c, Rect(0, 0, width(), height()), underMouse() || current);
  }
  void enterEvent(QEnterEvent*) override { update(); }
  void leaveEvent(QEvent*) override { update(); }
  void mouseReleaseEvent(QMouseEvent*) override {
    chosen_ = item_.id;
    menu_.close();
  }

 private:
  const res::MenuItem& item_;
  MenuOwnerDraw& draw_;
  int& chosen_;
  QMenu& menu_;
  QAction* action_ = nullptr;
};

void Fill(QMenu& menu, QMenu& root, const std::vector<res::MenuItem>& items, MenuOwnerDraw* draw, int& chosen) {
  for (const res::MenuItem& m : items) {
    if (m.separator) {
      menu.addSeparator();
    } else if (!m.popup.empty()) {
      QMenu* sub = menu.addMenu(Q(m.text));
      Fill(*sub, root, m.popup, draw, chosen);
    } else if (draw) {
      auto* act = new QWidgetAction(&menu);
      auto* item = new OwnerDrawnItem(m, *draw, chosen, root);
      item->SetAction(act);
      act->setDefaultWidget(item);
      menu.addAction(act);
      // Enter on the keyboard's current item chooses it as a click does.
      const int id = m.id;
      QObject::connect(act, &QAction::triggered, &root, [&chosen, &root, id] {
        chosen = id;
        root.close();
      });
      QObject::connect(&menu, &QMenu::hovered, item, [item] { item->update(); });
    } else {
      QAction* act = menu.addAction(Q(m.text));
      const int id = m.id;
      QObject::connect(act, &QAction::triggered, [&chosen, id] { chosen = id; });
    }
  }
}

struct ClassicUnits {
  const char* face;
  int pointSize, cx, cy;
};
constexpr ClassicUnits kClassicUnits[] = {
    {"MS Sans Serif", 8, 6, 13},
    {"System", 10, 8, 16},
    {"Courier New", 9, 7, 15},
    {"Courier New", 10, 8, 16},
};

QString FilterString(const FileFilter& f) {
  QStringList pats;
  for (const std::string& p : f.patterns) pats << Q(p);
  const QString name = Q(f.name);
  // Names that already carry their patterns in brackets are taken as they
  // are; Qt reads the patterns from there.
  if (name.endsWith("(" + pats.join(';') + ")") || name.endsWith("(" + pats.join(' ') + ")")) return name;
  return name + " (" + pats.join(' ') + ")";
}

}  // namespace

// Sends every key press of the program's windows along the key route of the
// window models before the widget sees it.
class QtUi::KeyFilter : public QObject {
 public:
  explicit KeyFilter(QtUi& ui) : ui_(ui) {}
  bool eventFilter(QObject* obj, QEvent* ev) override {
    if (ev->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w) return false;
    // Only the first delivery counts: a key the focus widget ignores
    // travels on to its parents and must not be routed twice.
    QWidget* focus = QApplication::focusWidget();
    if (focus ? w != focus : !w->isWindow()) return false;
    Window* model = ModelOf(w);
    if (!model) return false;
    const int vk = VirtualKeyOf(static_cast<QKeyEvent*>(ev)->key());
    if (!vk) return false;
    return ui_.DispatchKeyDown(model, vk);
  }

 private:
  QtUi& ui_;
};

QtUi::QtUi() : context_(std::make_unique<QObject>()), keys_(std::make_unique<KeyFilter>(*this)) {
  if (qApp) qApp->installEventFilter(keys_.get());
}

QtUi::~QtUi() {
  if (qApp) qApp->removeEventFilter(keys_.get());
  for (auto& [key, loop] : loops_) loop->quit();
  timers_.clear();  // the timers are children of context_
}

QWidget* QtUi::WidgetOf(const Window& w) {
  auto* p = static_cast<QtPeer*>(w.Peer());
  return p ? p->Widget() : nullptr;
}

void QtUi::Realize(Window& w) {
  if (auto peer = MakePeer(w)) w.SetPeer(std::move(peer));
}

int QtUi::MessageBox(const std::string& text, const std::string& caption, unsigned type, Window* owner) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      icon = QMessageBox::Critical;
      break;
    case MB_ICONQUESTION:
      icon = QMessageBox::Question;
      break;
    case MB_ICONEXCLAMATION:
      icon = QMessageBox::Warning;
      break;
    case MB_ICONASTERISK:
      icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  using B = QMessageBox::StandardButton;
  QMessageBox::StandardButtons buttons = B::Ok;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      buttons = B::Ok | B::Cancel;
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = B::Abort | B::Retry | B::Ignore;
      break;
    case MB_YESNOCANCEL:
      buttons = B::Yes | B::No | B::Cancel;
      break;
    case MB_YESNO:
      buttons = B::Yes | B::No;
      break;
    case MB_RETRYCANCEL:
      buttons = B::Retry | B::Cancel;
      break;
    default:
      break;
  }
  QMessageBox box(icon, Q(caption), Q(text), buttons, owner ? WidgetOf(*owner->GetTopLevel()) : nullptr);
  box.setWindowModality(Qt::ApplicationModal);
  switch (box.exec()) {
    case B::Ok:
      return IDOK;
    case B::Cancel:
      return IDCANCEL;
    case B::Abort:
      return IDABORT;
    case B::Retry:
      return IDRETRY;
    case B::Ignore:
      return IDIGNORE;
    case B::Yes:
      return IDYES;
    case B::No:
      return IDNO;
    default:
      // Closed by the window manager: the escape answer of its buttons.
      return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : (type & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
  }
}

std::optional<std::filesystem::path> QtUi::RunFileDialog(const FileDialogRequest& req) {
  QFileDialog dlg(req.owner ? WidgetOf(*req.owner->GetTopLevel()) : nullptr, Q(req.title),
                  req.initialDir.empty() ? QString() : Q(req.initialDir.string()));
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(req.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dlg.setFileMode(req.open && (req.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& f : ParseFileFilter(req.filter)) filters << FilterString(f);
  if (!filters.isEmpty()) dlg.setNameFilters(filters);
  if (!req.defaultExt.empty()) dlg.setDefaultSuffix(Q(req.defaultExt));
  if (!req.fileName.empty()) dlg.selectFile(Q(req.fileName));
  dlg.setOption(QFileDialog::DontConfirmOverwrite, !(req.flags & OFN_OVERWRITEPROMPT));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return ApplyDefaultExtension(std::filesystem::path(dlg.selectedFiles().first().toStdString()), req.defaultExt);
}

std::optional<std::filesystem::path> QtUi::BrowseForFolder(const std::string& title, Window* owner) {
  const QString dir = QFileDialog::getExistingDirectory(
      owner ? WidgetOf(*owner->GetTopLevel()) : nullptr, Q(title), QString(),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (dir.isEmpty()) return std::nullopt;
  return std::filesystem::path(dir.toStdString());
}

int QtUi::RunModal(Dialog& dlg) {
  if (dlg.IsEnding()) return dlg.GetResult();
  QEventLoop loop;
  loops_[&dlg] = &loop;
  if (QWidget* w = WidgetOf(dlg)) {
    w->raise();
    w->activateWindow();
  }
  loop.exec(QEventLoop::DialogExec);
  loops_.erase(&dlg);
  return dlg.GetResult();
}

void QtUi::EndModal(Dialog& dlg) {
  auto it = loops_.find(&dlg);
  if (it != loops_.end()) it->second->quit();
}

void QtUi::StartTimer(Window& w, unsigned id, unsigned ms) {
  StopTimer(w, id);
  auto* t = new QTimer(context_.get());
  t->setInterval(static_cast<int>(std::max(1u, ms)));
  WindowRef ref = w.Ref();
  QObject::connect(t, &QTimer::timeout, [ref, id] {
    if (Window* win = ref.get()) win->OnTimer(id);
  });
  timers_[{&w, id}] = t;
  t->start();
}

bool QtUi::StopTimer(Window& w, unsigned id) {
  auto it = timers_.find({&w, id});
  if (it == timers_.end()) return false;
  it->second->stop();
  it->second->deleteLater();  // it may be the one whose handler is running
  timers_.erase(it);
  return true;
}

void QtUi::StopTimers(Window& w) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->first.first == &w) {
      it->second->stop();
      it->second->deleteLater();
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

void QtUi::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(context_.get(), [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

bool QtUi::OpenWithDefaultHandler(const std::filesystem::path& file) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(file.string())));
}

int QtUi::TrackPopupMenu(const std::vector<res::MenuItem>& items, Point screen, Window* owner, MenuOwnerDraw* draw,
                         bool returnOnly) {
  QMenu menu(owner ? WidgetOf(*owner->GetTopLevel()) : nullptr);
  int chosen = 0;
  Fill(menu, menu, items, draw, chosen);
  menu.exec(QPoint(screen.x, screen.y));
  if (chosen && owner && !returnOnly) {
    const int id = chosen;
    owner->Post([owner, id] { owner->OnCommand(id); });
  }
  return chosen;
}

Size QtUi::ScreenSize() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return {1024, 768};
  return {s->size().width(), s->size().height()};
}

DialogBaseUnits QtUi::BaseUnits(const std::string& face, int pointSize) {
  auto key = std::make_pair(face, pointSize);
  auto it = units_.find(key);
  if (it != units_.end()) return it->second;
  // The skin's pictures were drawn for the program's template fonts at the
  // dialog units they have on the platform the templates come from; the
  // substitute fonts here measure differently (DejaVu Sans is wider than MS
  // Sans Serif), which would move the buttons off their places on the
  // background. Those fonts keep their classic units.
  for (const auto& [f, pt, cx, cy] : kClassicUnits) {
    if (face == f && pointSize == pt) {
      units_[key] = DialogBaseUnits{cx, cy};
      return units_[key];
    }
  }
  // Any other font: the platform's rule, the average width of the 52
  // letters, rounded, and the font's height.
  const QFontMetrics fm(ToQFont(FontSpec{face, pointSize}));
  const int total = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogBaseUnits u{std::max(1, (total / 26 + 1) / 2), std::max(1, fm.height())};
  units_[key] = u;
  return u;
}

Size QtUi::MeasureText(const std::string& text, const FontSpec& font) {
  const QFontMetrics fm(ToQFont(font));
  return {fm.horizontalAdvance(Q(text)), fm.height()};
}

FontSpec QtUi::MenuFont() {
  const QFont f = QApplication::font("QMenu");
  return FontSpec{f.family().toStdString(), f.pointSize() > 0 ? f.pointSize() : 9, f.bold()};
}

COLORREF QtUi::GetSysColor(int index) {
  QPalette pal = QApplication::palette();
  QColor c;
  switch (index) {
    case COLOR_MENU:
      c = QApplication::palette("QMenu").color(QPalette::Window);
      break;
    case COLOR_MENUTEXT:
      c = QApplication::palette("QMenu").color(QPalette::WindowText);
      break;
    case COLOR_WINDOW:
      c = pal.color(QPalette::Base);
      break;
    case COLOR_WINDOWTEXT:
      c = pal.color(QPalette::Text);
      break;
    case COLOR_HIGHLIGHT:
      c = pal.color(QPalette::Highlight);
      break;
    case COLOR_HIGHLIGHTTEXT:
      c = pal.color(QPalette::HighlightedText);
      break;
    case COLOR_BTNFACE:
      c = pal.color(QPalette::Button);
      break;
    default:
      return RGB(0, 0, 0);
  }
  return RGB(c.red(), c.green(), c.blue());
}

int RunQtProgram(int argc, char** argv, const std::function<int()>& body) {
  QApplication app(argc, argv);
  int result = 0;
  {
    QtUi qtui;
    Ui* previous = Ui::Install(&qtui);
    const std::filesystem::path exe = ModuleFileName();
    std::string name = exe.stem().string();
    if (name.empty() && argc > 0 && argv[0]) name = std::filesystem::path(argv[0]).stem().string();
    if (!name.empty()) qtui.SetAppName(name);
    result = body();
    Ui::Install(previous);
  }
  return result;
}

}  // namespace ui::qt
