#include "platform/ui/qt/QtPeers.h"

#include <unordered_map>

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "platform/ui/Ui.h"
#include "platform/ui/qt/QtCanvas.h"
#include "res/Resources.h"

namespace ui::qt {

namespace {

constexpr char kModelProperty[] = "tessalModel";

unsigned MouseFlags(const QMouseEvent* e) {
  unsigned f = 0;
  if (e->buttons() & Qt::LeftButton) f |= MK_LBUTTON;
  if (e->buttons() & Qt::RightButton) f |= MK_RBUTTON;
  if (e->modifiers() & Qt::ShiftModifier) f |= MK_SHIFT;
  if (e->modifiers() & Qt::ControlModifier) f |= MK_CONTROL;
  return f;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPixmap PixmapOf(const res::Image* img) {
  if (!img || img->Empty()) return {};
  return QPixmap::fromImage(ToQImage(*img));
}

// The local files among what is dragged, in the file system's own bytes.
std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  return files;
}

// Hands mouse, focus, dropped files and top-level geometry changes of one
// widget to its model. The widget's own handling goes on afterwards.
class InputFilter : public QObject {
 public:
  InputFilter(QtPeer& peer) : peer_(peer) {}
  bool eventFilter(QObject* obj, QEvent* ev) override {
    QWidget* w = peer_.Widget();
    if (obj != w || !w) return false;
    Window& m = peer_.Model();
    WindowRef alive = m.Ref();
    switch (ev->type()) {
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(ev);
        m.OnMouseMove(MouseFlags(me), Point{me->position().toPoint().x(), me->position().toPoint().y()});
        break;
      }
      case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(ev);
        const Point p{me->position().toPoint().x(), me->position().toPoint().y()};
        if (me->button() == Qt::LeftButton) m.OnLButtonDown(MouseFlags(me), p);
        if (me->button() == Qt::RightButton) m.OnRButtonDown(MouseFlags(me), p);
        break;
      }
      case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(ev);
        if (me->button() == Qt::LeftButton)
          m.OnLButtonUp(MouseFlags(me), Point{me->position().toPoint().x(), me->position().toPoint().y()});
        break;
      }
      case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(ev);
        if (me->button() == Qt::LeftButton)
          m.OnLButtonDblClk(MouseFlags(me), Point{me->position().toPoint().x(), me->position().toPoint().y()});
        break;
      }
      case QEvent::FocusIn:
        if (Ui::Get().Focus() != &m) Ui::Get().SetFocusWindow(&m);
        break;
      case QEvent::Move:
      case QEvent::Resize:
        if (w->isWindow() && !peer_.Applying()) {
          const QRect g = w->geometry();
          m.PeerMoved(Rect::FromSize(g.x(), g.y(), g.width(), g.height()));
        }
        break;
      case QEvent::WindowStateChange:
        m.PeerShowState(w->isMinimized());
        break;
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* de = static_cast<QDragMoveEvent*>(ev);
        if (!m.AcceptsDroppedFiles() || LocalFiles(de->mimeData()).empty()) return false;
        de->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        auto* de = static_cast<QDropEvent*>(ev);
        std::vector<std::string> files = LocalFiles(de->mimeData());
        if (!m.AcceptsDroppedFiles() || files.empty()) return false;
        de->acceptProposedAction();
        // Handed on once the drop is over: opening a file may run a message
        // box, and a modal loop inside the drop would hold the file manager's
        // drag until it closed.
        Ui::Get().Post([alive, files = std::move(files)] {
          if (Window* target = alive.get()) target->OnDropFiles(files);
        });
        return true;
      }
      default:
        break;
    }
    // A handler may have destroyed the window (and this filter with it).
    if (!alive) return true;
    return false;
  }

 private:
  QtPeer& peer_;
};

// ---- plain windows and dialogs: painted by the model ----
class ModelWidget : public QWidget {
 public:
  ModelWidget(Window& m, QWidget* parent) : QWidget(parent), m_(m) {}
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font());
    QtCanvas c(p);
    m_.PaintTo(c);
  }
  // Closing a dialog from the window manager cancels it, as a close box
  // does; otherwise a modal run would go on with its window hidden.
  void closeEvent(QCloseEvent* e) override {
    auto* dlg = dynamic_cast<Dialog*>(&m_);
    if (!dlg || !isWindow()) {
      QWidget::closeEvent(e);
      return;
    }
    e->ignore();
    dlg->OnCancel();
  }

 private:
  Window& m_;
};

class WindowPeerQt : public QtPeer {
 public:
  using QtPeer::QtPeer;
  void ApplyText() override {
    if (widget_->isWindow()) widget_->setWindowTitle(Q(model_.GetWindowText()));
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    ApplyIcon();
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Image) ApplyIcon();
  }

 private:
  void ApplyIcon() {
    if (!widget_->isWindow() || !model_.GetIcon()) return;
    const QPixmap pm = PixmapOf(&CachedIcon(model_.GetIcon()));
    if (!pm.isNull()) widget_->setWindowIcon(QIcon(pm));
  }
};

// ---- buttons: owner-drawn through DrawItem, else the style's push button ----
class ButtonWidget : public QAbstractButton {
 public:
  ButtonWidget(Button& m, QWidget* parent) : QAbstractButton(parent), m_(m) {}
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font());
    if (m_.IsOwnerDraw()) {
      QtCanvas c(p);
      DrawItemInfo info;
      info.ctlId = m_.GetDlgCtrlID();
      info.rect = Rect(0, 0, width(), height());
      info.selected = isDown() || m_.GetState();
      info.focus = hasFocus();
      info.disabled = !isEnabled();
      info.checked = m_.GetCheck() != 0;
      m_.DrawItem(c, info);
      return;
    }
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.text = text();
    if (isDown() || m_.GetState()) opt.state |= QStyle::State_Sunken;
    else opt.state |= QStyle::State_Raised;
    style()->drawControl(QStyle::CE_PushButton, &opt, &p, this);
  }
  QSize sizeHint() const override { return QSize(75, 23); }
  // A move over a button is the button's own: it must not travel on to the
  // window beneath, whose handler would take back the hint the button has
  // just asked for.
  void mouseMoveEvent(QMouseEvent* e) override {
    QAbstractButton::mouseMoveEvent(e);
    e->accept();
  }
  // Only the shape's pixels are the button (round and masked buttons).
  bool hitButton(const QPoint& pos) const override {
    const auto& shape = m_.GetWindowRgn();
    return shape ? shape->Contains(pos.x(), pos.y()) : QAbstractButton::hitButton(pos);
  }

 private:
  Button& m_;
};

class ButtonPeer : public QtPeer {
 public:
  ButtonPeer(Button& m, QWidget* parent) : QtPeer(m, new ButtonWidget(m, parent)), b_(m) {
    auto* w = static_cast<QAbstractButton*>(widget_.data());
    QObject::connect(w, &QAbstractButton::clicked, [this] {
      if (!Applying()) b_.Click();
    });
    // Repaint as the press starts and ends, so owner-drawn buttons show
    // their pressed picture.
    QObject::connect(w, &QAbstractButton::pressed, w, [w] { w->update(); });
    QObject::connect(w, &QAbstractButton::released, w, [w] { w->update(); });
  }
  void ApplyText() override { static_cast<QAbstractButton*>(widget_.data())->setText(Q(model_.GetWindowText())); }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Check || e.what == Change::Style) widget_->update();
  }

 private:
  Button& b_;
};

// A check button that its template made a plain button: a transparent line
// of text that can also hold a panel.
class TextLineWidget : public QWidget {
 public:
  TextLineWidget(Window& m, QWidget* parent) : QWidget(parent), m_(m) {}
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect().adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               Q(m_.GetWindowText()));
  }

 private:
  Window& m_;
};

class CheckPeer : public QtPeer {
 public:
  CheckPeer(CheckBox& m, QWidget* parent, bool textLine)
      : QtPeer(m, textLine ? static_cast<QWidget*>(new TextLineWidget(m, parent)) : new QCheckBox(parent)),
        c_(m),
        box_(textLine ? nullptr : static_cast<QCheckBox*>(widget_.data())) {
    if (box_)
      QObject::connect(box_, &QCheckBox::clicked, [this] {
        if (Applying()) return;
        c_.Click();
        ApplyCheck();  // the model decides; a disabled or refusing model wins
      });
  }
  void ApplyText() override {
    if (box_)
      box_->setText(Q(model_.GetWindowText()));
    else
      widget_->update();
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    ApplyCheck();
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Check) ApplyCheck();
  }

 private:
  void ApplyCheck() {
    if (!box_) return;
    QSignalBlocker block(box_);
    box_->setChecked(c_.GetCheck() != 0);
  }
  CheckBox& c_;
  QCheckBox* box_;
};

class StaticPeer : public QtPeer {
 public:
  StaticPeer(StaticText& m, QWidget* parent)
      : QtPeer(m, m.Kind() == WindowKind::GroupBox ? static_cast<QWidget*>(new QGroupBox(parent))
                                                   : new QLabel(parent)),
        s_(m) {
    if (auto* l = qobject_cast<QLabel*>(widget_.data())) {
      l->setWordWrap(true);
      // Static controls let clicks through to the dialog beneath, as the
      // program's dialogs expect (a click on the About box's logo closes it).
      l->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    }
  }
  void ApplyText() override {
    if (auto* g = qobject_cast<QGroupBox*>(widget_.data())) {
      g->setTitle(Q(model_.GetWindowText()));
      return;
    }
    auto* l = static_cast<QLabel*>(widget_.data());
    if (s_.GetBitmap()) {
      l->setPixmap(PixmapOf(&CachedBitmap(s_.GetBitmap())));
    } else {
      l->setText(Q(model_.GetWindowText()));
    }
    Qt::Alignment a = Qt::AlignTop;
    const std::uint32_t st = model_.GetStyle();
    if (st & res::Style::CenterText) a |= Qt::AlignHCenter;
    else if (st & res::Style::RightText) a |= Qt::AlignRight;
    else a |= Qt::AlignLeft;
    if (s_.GetBitmap()) a = Qt::AlignLeft | Qt::AlignTop;
    l->setAlignment(a);
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Image || e.what == Change::Style) ApplyText();
  }

 private:
  StaticText& s_;
};

class EditPeer : public QtPeer {
 public:
  EditPeer(Edit& m, QWidget* parent)
      : QtPeer(m, (m.GetStyle() & res::Style::MultiLine) ? static_cast<QWidget*>(new QPlainTextEdit(parent))
                                                           : new QLineEdit(parent)),
        e_(m) {
    if (auto* le = qobject_cast<QLineEdit*>(widget_.data())) {
      QObject::connect(le, &QLineEdit::textEdited, [this](const QString& t) {
        if (!Applying()) e_.UserSetText(t.toStdString());
      });
    } else if (auto* pe = qobject_cast<QPlainTextEdit*>(widget_.data())) {
      QObject::connect(pe, &QPlainTextEdit::textChanged, [this, pe] {
        if (!Applying()) e_.UserSetText(pe->toPlainText().toStdString());
      });
    }
  }
  void ApplyText() override {
    ++applying_;
    const QString t = Q(model_.GetWindowText());
    if (auto* le = qobject_cast<QLineEdit*>(widget_.data())) {
      if (le->text() != t) le->setText(t);
    } else if (auto* pe = qobject_cast<QPlainTextEdit*>(widget_.data())) {
      if (pe->toPlainText() != t) pe->setPlainText(t);
    }
    --applying_;
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    ApplyStyle();
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Style) ApplyStyle();
  }

 private:
  void ApplyStyle() {
    const bool ro = e_.IsReadOnly();
    if (auto* le = qobject_cast<QLineEdit*>(widget_.data())) {
      le->setReadOnly(ro);
      le->setFrame((model_.GetStyle() & res::Style::Border) != 0);
    } else if (auto* pe = qobject_cast<QPlainTextEdit*>(widget_.data())) {
      pe->setReadOnly(ro);
    }
  }
  Edit& e_;
};

class ListBoxPeer : public QtPeer {
 public:
  ListBoxPeer(ListBox& m, QWidget* parent) : QtPeer(m, new QListWidget(parent)), l_(m), w_(static_cast<QListWidget*>(widget_.data())) {
    QObject::connect(w_, &QListWidget::currentRowChanged, [this](int row) {
      if (!Applying() && row >= 0) l_.UserSelect(row);
    });
    QObject::connect(w_, &QListWidget::itemDoubleClicked, [this](QListWidgetItem* it) {
      if (!Applying()) l_.UserDoubleClick(w_->row(it));
    });
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    Refill();
  }
  void ApplyKind(const ChangeEvent& e) override {
    ++applying_;
    QSignalBlocker block(w_);
    switch (e.what) {
      case Change::ItemInserted:
        w_->insertItem(e.index, Q(l_.GetText(e.index)));
        break;
      case Change::ItemRemoved:
        delete w_->takeItem(e.index);
        break;
      case Change::ItemsReset:
        w_->clear();
        break;
      case Change::Selection:
        SyncSelection();
        break;
      default:
        break;
    }
    --applying_;
  }

 private:
  void Refill() {
    ++applying_;
    QSignalBlocker block(w_);
    w_->clear();
    for (int i = 0; i < l_.GetCount(); ++i) w_->addItem(Q(l_.GetText(i)));
    SyncSelection();
    --applying_;
  }
  void SyncSelection() {
    const int s = l_.GetCurSel();
    if (s >= 0 && s < w_->count())
      w_->setCurrentRow(s);
    else
      w_->setCurrentRow(-1);
  }
  ListBox& l_;
  QListWidget* w_;
};

// Icons of an image list, made once per attachment.
struct IconCache {
  const ImageList* list = nullptr;
  std::vector<QIcon> icons;
  QIcon Get(const ImageList* images, int normal, int selected) {
    if (images != list) {
      list = images;
      icons.clear();
      if (images)
        for (int i = 0; i < images->GetImageCount(); ++i) icons.emplace_back(PixmapOf(images->Get(i)));
    }
    if (!images || normal < 0 || normal >= static_cast<int>(icons.size())) return {};
    if (selected < 0 || selected == normal || selected >= static_cast<int>(icons.size())) return icons[normal];
    QIcon both = icons[normal];
    for (const QSize& s : icons[selected].availableSizes())
      both.addPixmap(icons[selected].pixmap(s), QIcon::Selected);
    return both;
  }
};

class TreePeer : public QtPeer {
 public:
  TreePeer(TreeCtrl& m, QWidget* parent) : QtPeer(m, new QTreeWidget(parent)), t_(m), w_(static_cast<QTreeWidget*>(widget_.data())) {
    w_->setHeaderHidden(true);
    w_->setColumnCount(1);
    QObject::connect(w_, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* cur, QTreeWidgetItem*) {
      if (!Applying()) t_.UserSelect(HandleOf(cur));
    });
    QObject::connect(w_, &QTreeWidget::itemExpanded, [this](QTreeWidgetItem* it) {
      if (!Applying()) t_.UserExpand(HandleOf(it), true);
    });
    QObject::connect(w_, &QTreeWidget::itemCollapsed, [this](QTreeWidgetItem* it) {
      if (!Applying()) t_.UserExpand(HandleOf(it), false);
    });
    QObject::connect(w_, &QTreeWidget::itemDoubleClicked, [this](QTreeWidgetItem*, int) {
      if (!Applying()) t_.UserDoubleClick();
    });
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    Rebuild();
  }
  void ApplyKind(const ChangeEvent& e) override {
    ++applying_;
    QSignalBlocker block(w_);
    const auto h = reinterpret_cast<HTREEITEM>(e.item);
    switch (e.what) {
      case Change::ItemInserted:
        Insert(h, e.index);
        break;
      case Change::ItemRemoved:
        if (QTreeWidgetItem* it = Item(h)) {
          Forget(it);
          delete it;
        }
        break;
      case Change::ItemsReset:
        items_.clear();
        w_->clear();
        break;
      case Change::ItemChanged:
        if (QTreeWidgetItem* it = Item(h)) Dress(it, h);
        break;
      case Change::Selection:
        w_->setCurrentItem(Item(h));
        if (!h) w_->clearSelection();
        break;
      case Change::Expanded:
        if (QTreeWidgetItem* it = Item(h)) it->setExpanded(t_.GetItemState(h, TVIS_EXPANDED) != 0);
        break;
      case Change::Scroll:
        if (QTreeWidgetItem* it = Item(h)) w_->scrollToItem(it);
        break;
      case Change::Image:
        for (auto& [handle, it] : items_) Dress(it, reinterpret_cast<HTREEITEM>(handle));
        break;
      case Change::Style:
        ApplyStyle();
        break;
      default:
        break;
    }
    --applying_;
  }

 private:
  static HTREEITEM HandleOf(QTreeWidgetItem* it) {
    return it ? reinterpret_cast<HTREEITEM>(it->data(0, Qt::UserRole).value<qulonglong>()) : nullptr;
  }
  QTreeWidgetItem* Item(HTREEITEM h) const {
    auto it = items_.find(reinterpret_cast<std::uintptr_t>(h));
    return it == items_.end() ? nullptr : it->second;
  }
  void Forget(QTreeWidgetItem* it) {
    items_.erase(reinterpret_cast<std::uintptr_t>(HandleOf(it)));
    for (int i = 0; i < it->childCount(); ++i) Forget(it->child(i));
  }
  void Dress(QTreeWidgetItem* it, HTREEITEM h) {
    it->setText(0, Q(t_.GetItemText(h)));
    int img = -1, sel = -1;
    t_.GetItemImage(h, img, sel);
    it->setIcon(0, icons_.Get(t_.GetImageList(), img, sel));
  }
  QTreeWidgetItem* Make(HTREEITEM h) {
    auto* it = new QTreeWidgetItem();
    it->setData(0, Qt::UserRole, QVariant::fromValue<qulonglong>(reinterpret_cast<std::uintptr_t>(h)));
    Dress(it, h);
    items_[reinterpret_cast<std::uintptr_t>(h)] = it;
    return it;
  }
  void Insert(HTREEITEM h, int index) {
    HTREEITEM parent = t_.GetParentItem(h);
    QTreeWidgetItem* p = parent ? Item(parent) : w_->invisibleRootItem();
    if (!p) return;
    // The model gives -1 for the end, the usual case.
    p->insertChild(index < 0 ? p->childCount() : std::min(index, p->childCount()), Make(h));
  }
  void Fill(QTreeWidgetItem* into, HTREEITEM parent) {
    for (HTREEITEM c : t_.Children(parent)) {
      QTreeWidgetItem* it = Make(c);
      into->addChild(it);
      Fill(it, c);
      it->setExpanded(t_.GetItemState(c, TVIS_EXPANDED) != 0);
    }
  }
  void Rebuild() {
    ++applying_;
    QSignalBlocker block(w_);
    items_.clear();
    w_->clear();
    Fill(w_->invisibleRootItem(), TVI_ROOT);
    w_->setCurrentItem(Item(t_.GetSelectedItem()));
    ApplyStyle();
    --applying_;
  }
  void ApplyStyle() {
    const std::uint32_t s = model_.GetStyle();
    w_->setRootIsDecorated((s & res::Style::LinesAtRoot) != 0 || (s & res::Style::HasButtons) != 0);
  }
  TreeCtrl& t_;
  QTreeWidget* w_;
  std::unordered_map<std::uintptr_t, QTreeWidgetItem*> items_;
  IconCache icons_;
};

class ReportPeer : public QtPeer {
 public:
  ReportPeer(ListCtrl& m, QWidget* parent) : QtPeer(m, new QTreeWidget(parent)), l_(m), w_(static_cast<QTreeWidget*>(widget_.data())) {
    w_->setRootIsDecorated(false);
    w_->setUniformRowHeights(true);
    w_->setItemsExpandable(false);
    QObject::connect(w_, &QTreeWidget::itemSelectionChanged, [this] {
      if (Applying()) return;
      std::vector<int> rows;
      for (QTreeWidgetItem* it : w_->selectedItems()) rows.push_back(w_->indexOfTopLevelItem(it));
      l_.UserSetSelection(rows);
    });
    QObject::connect(w_, &QTreeWidget::itemDoubleClicked, [this](QTreeWidgetItem* it, int) {
      if (!Applying()) l_.UserDoubleClick(w_->indexOfTopLevelItem(it));
    });
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    Rebuild();
  }
  void ApplyKind(const ChangeEvent& e) override {
    ++applying_;
    QSignalBlocker block(w_);
    switch (e.what) {
      case Change::ItemInserted:
        w_->insertTopLevelItem(e.index, MakeRow(e.index));
        break;
      case Change::ItemRemoved:
        delete w_->takeTopLevelItem(e.index);
        break;
      case Change::ItemChanged:
        if (QTreeWidgetItem* it = w_->topLevelItem(e.index)) Dress(it, e.index);
        break;
      case Change::ItemsReset:
        w_->clear();
        break;
      case Change::Selection:
        if (QTreeWidgetItem* it = w_->topLevelItem(e.index)) it->setSelected(l_.IsSelected(e.index));
        break;
      case Change::Scroll:
        if (QTreeWidgetItem* it = w_->topLevelItem(e.index)) w_->scrollToItem(it);
        break;
      case Change::Columns:
      case Change::ItemsReordered:
      case Change::Image:
      case Change::Style:
        --applying_;
        Rebuild();
        return;
      default:
        break;
    }
    --applying_;
  }

 private:
  static Qt::Alignment AlignOf(int fmt) {
    if (fmt & LVCFMT_RIGHT) return Qt::AlignRight | Qt::AlignVCenter;
    if (fmt & LVCFMT_CENTER) return Qt::AlignHCenter | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
  }
  void Dress(QTreeWidgetItem* it, int row) {
    const ListRow* r = l_.GetRow(row);
    if (!r) return;
    for (int c = 0; c < std::max(1, l_.GetColumnCount()); ++c) {
      it->setText(c, Q(r->Text(c)));
      if (const ListColumn* col = l_.GetColumn(c)) it->setTextAlignment(c, AlignOf(col->format));
    }
    it->setIcon(0, icons_.Get(l_.GetImageList(), r->image, -1));
  }
  QTreeWidgetItem* MakeRow(int row) {
    auto* it = new QTreeWidgetItem();
    Dress(it, row);
    return it;
  }
  void Rebuild() {
    ++applying_;
    QSignalBlocker block(w_);
    w_->clear();
    const int n = std::max(1, l_.GetColumnCount());
    w_->setColumnCount(n);
    QStringList heads;
    for (int c = 0; c < n; ++c) heads << (l_.GetColumn(c) ? Q(l_.GetColumn(c)->heading) : QString());
    w_->setHeaderLabels(heads);
    w_->setHeaderHidden(l_.GetColumnCount() == 0);
    for (int c = 0; c < l_.GetColumnCount(); ++c) {
      const ListColumn* col = l_.GetColumn(c);
      w_->headerItem()->setTextAlignment(c, AlignOf(col->format));
      w_->setColumnHidden(c, col->width <= 0);
      if (col->width > 0) w_->header()->resizeSection(c, col->width);
    }
    w_->header()->setSectionsClickable((model_.GetStyle() & res::Style::NoSortHeader) == 0);
    w_->header()->setStretchLastSection(false);
    w_->setSelectionMode((model_.GetStyle() & res::Style::SingleSel) ? QAbstractItemView::SingleSelection
                                                                     : QAbstractItemView::ExtendedSelection);
    w_->setAllColumnsShowFocus((l_.GetExtendedStyle() & LVS_EX_FULLROWSELECT) != 0);
    QList<QTreeWidgetItem*> rows;
    for (int r = 0; r < l_.GetItemCount(); ++r) rows << MakeRow(r);
    w_->addTopLevelItems(rows);
    for (int r = 0; r < l_.GetItemCount(); ++r) rows[r]->setSelected(l_.IsSelected(r));
    --applying_;
  }
  ListCtrl& l_;
  QTreeWidget* w_;
  IconCache icons_;
};

class ProgressPeer : public QtPeer {
 public:
  ProgressPeer(ProgressCtrl& m, QWidget* parent) : QtPeer(m, new QProgressBar(parent)), p_(m) {
    static_cast<QProgressBar*>(widget_.data())->setTextVisible(false);
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    Sync();
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Range || e.what == Change::Pos) Sync();
  }

 private:
  void Sync() {
    auto* b = static_cast<QProgressBar*>(widget_.data());
    int lo = 0, hi = 0;
    p_.GetRange(lo, hi);
    b->setRange(std::min(lo, hi), std::max(lo, hi));
    b->setValue(p_.GetPos());
  }
  ProgressCtrl& p_;
};

class SliderPeer : public QtPeer {
 public:
  SliderPeer(SliderCtrl& m, QWidget* parent) : QtPeer(m, new QSlider(Qt::Horizontal, parent)), s_(m) {
    auto* sl = static_cast<QSlider*>(widget_.data());
    QObject::connect(sl, &QSlider::sliderMoved, [this](int v) {
      if (!Applying()) s_.UserDrag(v);
    });
    QObject::connect(sl, &QSlider::sliderReleased, [this] {
      if (!Applying()) s_.UserRelease();
    });
    // A click on the channel moves the thumb by a page: the release follows
    // once the slider has taken its new value.
    QObject::connect(sl, &QSlider::actionTriggered, [this, sl](int action) {
      if (Applying() || action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction) return;
      QPointer<QSlider> guard(sl);
      WindowRef alive = s_.Ref();
      QTimer::singleShot(0, sl, [this, guard, alive] {
        if (!guard || !alive || guard->isSliderDown()) return;
        s_.UserDrag(guard->value());
        s_.UserRelease();
      });
    });
  }
  void ApplyAll() override {
    QtPeer::ApplyAll();
    Sync();
  }
  void ApplyKind(const ChangeEvent& e) override {
    if (e.what == Change::Range || e.what == Change::Pos) Sync();
  }

 private:
  void Sync() {
    auto* sl = static_cast<QSlider*>(widget_.data());
    ++applying_;
    QSignalBlocker block(sl);
    sl->setRange(s_.GetRangeMin(), s_.GetRangeMax());
    if (!sl->isSliderDown()) sl->setValue(s_.GetPos());
    sl->setTickPosition((model_.GetStyle() & res::Style::NoTicks) ? QSlider::NoTicks : QSlider::TicksBelow);
    sl->setTickInterval(std::max(1, s_.GetTicFreq()));
    --applying_;
  }
  SliderCtrl& s_;
};

// Arrows only: the program keeps the position itself.
class ScrollPeer : public QtPeer {
 public:
  ScrollPeer(ScrollBar& m, QWidget* parent) : QtPeer(m, new QWidget(parent)), s_(m) {
    QBoxLayout* lay = m.IsHorizontal() ? static_cast<QBoxLayout*>(new QHBoxLayout(widget_))
                                       : static_cast<QBoxLayout*>(new QVBoxLayout(widget_));
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    auto make = [&](Qt::ArrowType a, bool up) {
      auto* b = new QToolButton(widget_);
      b->setArrowType(a);
      b->setAutoRepeat(true);
      b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
      b->setObjectName(up ? "lineUp" : "lineDown");
      QObject::connect(b, &QToolButton::clicked, [this, up] { up ? s_.LineUp() : s_.LineDown(); });
      lay->addWidget(b);
    };
    make(m.IsHorizontal() ? Qt::LeftArrow : Qt::UpArrow, true);
    make(m.IsHorizontal() ? Qt::RightArrow : Qt::DownArrow, false);
  }

 private:
  ScrollBar& s_;
};

QWidget* ParentWidgetOf(Window& w) {
  Window* p = w.GetParent();
  if (!p || !p->Peer()) return nullptr;
  return static_cast<QtPeer*>(p->Peer())->Widget();
}

}  // namespace

// ---- QtPeer ----
QtPeer::QtPeer(Window& model, QWidget* widget) : model_(model), widget_(widget) {
  widget->setProperty(kModelProperty, QVariant::fromValue<void*>(&model));
  widget->setMouseTracking(true);
  filter_ = std::make_unique<InputFilter>(*this);
  widget->installEventFilter(filter_.get());
}

QtPeer::~QtPeer() {
  if (QWidget* w = widget_.data()) {
    w->removeEventFilter(filter_.get());
    w->setProperty(kModelProperty, QVariant());
    // No signal of the dying widget reaches the model any more.
    w->blockSignals(true);
    w->disconnect();
    for (QObject* child : w->findChildren<QObject*>()) child->disconnect();
    w->hide();
    delete w;
  }
}

void QtPeer::Changed(const ChangeEvent& e) {
  if (!widget_) return;
  switch (e.what) {
    case Change::Created:
      ApplyAll();
      return;
    case Change::Text:
      ApplyText();
      break;
    case Change::Visible:
      ApplyVisible();
      break;
    case Change::Enabled:
      widget_->setEnabled(model_.IsWindowEnabled());
      break;
    case Change::Geometry:
      ApplyGeometry();
      break;
    case Change::Region:
      ApplyRegion();
      break;
    case Change::Cursor:
      ApplyCursor();
      break;
    case Change::Colours:
      ApplyColours();
      break;
    case Change::Font:
      widget_->setFont(ToQFont(model_.GetFont()));
      break;
    case Change::Redraw:
      widget_->update();
      break;
    case Change::ShowState:
      if (widget_->isWindow()) {
        if (model_.IsIconic())
          widget_->showMinimized();
        else if (model_.GetVisibleFlag())
          widget_->showNormal();
      }
      break;
    case Change::Focus:
      widget_->setFocus(Qt::OtherFocusReason);
      break;
    case Change::MoveDrag:
      if (QWindow* h = widget_->windowHandle()) h->startSystemMove();
      break;
    case Change::AcceptFiles:
      widget_->setAcceptDrops(model_.AcceptsDroppedFiles());
      break;
    default:
      break;
  }
  ApplyKind(e);
}

void QtPeer::ApplyAll() {
  ++applying_;
  widget_->setFont(ToQFont(model_.GetFont()));
  ApplyGeometry();
  ApplyColours();
  ApplyRegion();
  ApplyCursor();
  widget_->setEnabled(model_.IsWindowEnabled());
  if (model_.AcceptsDroppedFiles()) widget_->setAcceptDrops(true);
  ApplyText();
  --applying_;
  ApplyVisible();
}

void QtPeer::ApplyText() {}

void QtPeer::ApplyGeometry() {
  ++applying_;
  const Rect r = model_.GetRect();
  widget_->setGeometry(r.left, r.top, std::max(0, r.Width()), std::max(0, r.Height()));
  if (widget_->isWindow() && !model_.GetWindowRgn()) widget_->clearMask();
  --applying_;
}

void QtPeer::ApplyVisible() {
  ++applying_;
  if (model_.GetVisibleFlag()) {
    if (widget_->isWindow() && model_.IsIconic())
      widget_->showMinimized();
    else
      widget_->show();
  } else {
    widget_->hide();
  }
  --applying_;
}

void QtPeer::ApplyColours() {
  QPalette pal = widget_->palette();
  if (auto c = model_.GetTextColor()) {
    pal.setColor(QPalette::WindowText, ToQColor(*c));
    pal.setColor(QPalette::ButtonText, ToQColor(*c));
    pal.setColor(QPalette::Text, ToQColor(*c));
  }
  if (auto c = model_.GetBackgroundColor()) {
    pal.setColor(QPalette::Window, ToQColor(*c));
    pal.setColor(QPalette::Button, ToQColor(*c));
  }
  widget_->setPalette(pal);
  const bool paintsItself = model_.Kind() == WindowKind::Dialog || model_.Kind() == WindowKind::Window;
  if (model_.IsTransparent()) {
    widget_->setAutoFillBackground(false);
    widget_->setAttribute(Qt::WA_NoSystemBackground, true);
  } else {
    widget_->setAutoFillBackground(paintsItself || model_.GetBackgroundColor().has_value());
  }
}

void QtPeer::ApplyRegion() {
  const auto& r = model_.GetWindowRgn();
  if (!r) {
    widget_->clearMask();
    return;
  }
  QRegion mask = ToQRegion(*r);
  // Qt takes an empty mask for "no mask", which would show the whole
  // window; an empty shape is a single pixel beyond the window's corner, so
  // nothing of it shows and nothing of it can be clicked.
  if (mask.isEmpty()) mask = QRegion(std::max(r->Width(), widget_->width()) + 1, 0, 1, 1);
  widget_->setMask(mask);
}

void QtPeer::ApplyCursor() {
  switch (model_.GetCursorShape()) {
    case CursorShape::Arrow:
      widget_->unsetCursor();
      break;
    case CursorShape::SizeWE:
      widget_->setCursor(Qt::SizeHorCursor);
      break;
    case CursorShape::Hand:
      widget_->setCursor(Qt::PointingHandCursor);
      break;
    case CursorShape::IBeam:
      widget_->setCursor(Qt::IBeamCursor);
      break;
    case CursorShape::Resource: {
      const res::Image& img = CachedIcon(model_.GetCursorResource());
      if (img.Empty())
        widget_->setCursor(Qt::ArrowCursor);
      else
        widget_->setCursor(QCursor(QPixmap::fromImage(ToQImage(img)), 0, 0));
      break;
    }
  }
}

std::unique_ptr<QtPeer> MakePeer(Window& w) {
  QWidget* parent = w.IsChild() ? ParentWidgetOf(w) : nullptr;
  if (w.IsChild() && !parent) return nullptr;
  switch (w.Kind()) {
    case WindowKind::Button:
      if (auto* b = dynamic_cast<Button*>(&w)) return std::make_unique<ButtonPeer>(*b, parent);
      break;
    case WindowKind::CheckBox:
      if (auto* c = dynamic_cast<CheckBox*>(&w)) {
        const bool textLine = c->TemplateKind() == static_cast<int>(res::ControlKind::Button) ||
                              c->TemplateKind() == static_cast<int>(res::ControlKind::Static);
        return std::make_unique<CheckPeer>(*c, parent, textLine);
      }
      break;
    case WindowKind::Static:
    case WindowKind::GroupBox:
      if (auto* s = dynamic_cast<StaticText*>(&w)) return std::make_unique<StaticPeer>(*s, parent);
      break;
    case WindowKind::Edit:
      if (auto* e = dynamic_cast<Edit*>(&w)) return std::make_unique<EditPeer>(*e, parent);
      break;
    case WindowKind::ListBox:
      if (auto* l = dynamic_cast<ListBox*>(&w)) return std::make_unique<ListBoxPeer>(*l, parent);
      break;
    case WindowKind::Tree:
      if (auto* t = dynamic_cast<TreeCtrl*>(&w)) return std::make_unique<TreePeer>(*t, parent);
      break;
    case WindowKind::ReportList:
      if (auto* l = dynamic_cast<ListCtrl*>(&w)) return std::make_unique<ReportPeer>(*l, parent);
      break;
    case WindowKind::Progress:
      if (auto* p = dynamic_cast<ProgressCtrl*>(&w)) return std::make_unique<ProgressPeer>(*p, parent);
      break;
    case WindowKind::Slider:
      if (auto* s = dynamic_cast<SliderCtrl*>(&w)) return std::make_unique<SliderPeer>(*s, parent);
      break;
    case WindowKind::ScrollBar:
      if (auto* s = dynamic_cast<ScrollBar*>(&w)) return std::make_unique<ScrollPeer>(*s, parent);
      break;
    case WindowKind::Dialog:
    case WindowKind::Window:
      break;
  }
  // Dialogs, plain windows and anything else: painted by the model.
  QWidget* owner = nullptr;
  if (!w.IsChild() && w.GetParent() && w.GetParent()->Peer())
    owner = static_cast<QtPeer*>(w.GetParent()->Peer())->Widget();
  auto* mw = new ModelWidget(w, w.IsChild() ? parent : owner);
  if (!w.IsChild()) {
    Qt::WindowFlags f = owner ? Qt::Dialog : Qt::Window;
    if (!(w.GetStyle() & res::Style::Caption)) f |= Qt::FramelessWindowHint;
    mw->setWindowFlags(f);
    if (auto* d = dynamic_cast<Dialog*>(&w); d && d->IsModal()) mw->setWindowModality(Qt::ApplicationModal);
    mw->setFocusPolicy(Qt::StrongFocus);
  }
  return std::make_unique<WindowPeerQt>(w, mw);
}

Window* ModelOf(QWidget* widget) {
  // Only within one top-level window: a message box or file dialog owned by
  // a program window is not part of it, and its keys are its own.
  for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
    const QVariant v = w->property(kModelProperty);
    if (v.isValid()) return static_cast<Window*>(v.value<void*>());
  }
  return nullptr;
}

int VirtualKeyOf(int k) {
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return '0' + (k - Qt::Key_0);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return VK_F1 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Tab:
      return VK_TAB;
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Delete:
      return VK_DELETE;
    default:
      return 0;
  }
}

}  // namespace ui::qt
