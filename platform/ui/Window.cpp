#include "platform/ui/Window.h"

#include <algorithm>

#include "platform/ui/Peer.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace ui {

Window::Window() : cell_(std::make_shared<Window*>(this)) {}

Window::~Window() {
  // The derived parts are gone already, so no handler runs from here; only
  // the window's own traces are removed.
  for (Window* c : std::vector<Window*>(children_)) c->parent_ = nullptr;
  children_.clear();
  peer_.reset();
  Ui& ui = Ui::Get();
  ui.StopTimers(*this);
  ui.ForgetWindow(this);
  Detach();
  *cell_ = nullptr;
}

bool Window::CreateWindowAt(Window* parent, const Rect& rect, int id, bool child, std::uint32_t style) {
  if (created_) return false;
  child_ = child;
  Adopt(parent, rect, id, style, text_);
  visible_ = (style & res::Style::Visible) != 0;
  created_ = true;
  RealizeIfPossible();
  return true;
}

void Window::Adopt(Window* parent, const Rect& rect, int id, std::uint32_t style, const std::string& text) {
  AttachTo(parent);
  rect_ = rect;
  id_ = id;
  style_ = style;
  text_ = text;
  visible_ = (style & res::Style::Visible) != 0;
  enabled_ = (style & res::Style::Disabled) == 0;
}

void Window::AttachTo(Window* parent) {
  if (parent_ == parent) return;
  Detach();
  parent_ = parent;
  if (parent_) parent_->children_.push_back(this);
}

void Window::Detach() {
  if (!parent_) return;
  auto& sib = parent_->children_;
  sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
  parent_ = nullptr;
}

void Window::RealizeIfPossible() {
  Renderer* r = Ui::Get().GetRenderer();
  if (!r || !created_) return;
  if (!peer_) {
    if (child_ && (!parent_ || !parent_->peer_)) return;
    r->Realize(*this);
    if (!peer_) return;
  }
  for (Window* c : std::vector<Window*>(children_))
    if (c->created_ && !c->peer_) c->RealizeIfPossible();
}

void Window::DestroyWindow() {
  if (!created_) return;
  OnDestroy();
  for (Window* c : std::vector<Window*>(children_)) {
    c->DestroyWindow();
    c->Detach();
  }
  peer_.reset();
  created_ = false;
  visible_ = false;
  ResetModel();
  Ui& ui = Ui::Get();
  ui.StopTimers(*this);
  ui.ForgetWindow(this);
}

Window* Window::GetTopLevel() {
  Window* w = this;
  while (w->child_ && w->parent_) w = w->parent_;
  return w;
}

Window* Window::GetDlgItem(int id) const {
  for (Window* c : children_)
    if (c->id_ == id) return c;
  return nullptr;
}

bool Window::ShowWindow(int cmd) {
  const bool was = visible_;
  bool show = true;
  switch (cmd) {
    case SW_HIDE:
      show = false;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
      if (!minimized_) {
        minimized_ = true;
        Notify(Change::ShowState);
      }
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      if (minimized_) {
        minimized_ = false;
        Notify(Change::ShowState);
      }
      break;
    default:
      break;
  }
  visible_ = show;
  if (was != show) {
    Notify(Change::Visible);
    OnShowWindow(show);
  }
  return was;
}

bool Window::IsWindowVisible() const {
  for (const Window* w = this; w; w = w->child_ ? w->parent_ : nullptr)
    if (!w->visible_ || !w->created_) return false;
  return true;
}

bool Window::EnableWindow(bool enable) {
  const bool wasDisabled = !enabled_;
  if (enabled_ != enable) {
    enabled_ = enable;
    Notify(Change::Enabled);
  }
  return wasDisabled;
}

void Window::MoveWindow(int x, int y, int cx, int cy, bool repaint) {
  MoveWindow(Rect::FromSize(x, y, std::max(0, cx), std::max(0, cy)), repaint);
}

void Window::MoveWindow(const Rect& r, bool) {
  const bool resized = r.Width() != rect_.Width() || r.Height() != rect_.Height();
  if (r == rect_) return;
  rect_ = r;
  Notify(Change::Geometry);
  if (resized) OnSize(r.Width(), r.Height());
}

bool Window::SetWindowPos(int x, int y, int cx, int cy, unsigned flags) {
  Rect r = rect_;
  if (!(flags & SWP_NOMOVE)) r = r.Offset(x - r.left, y - r.top);
  if (!(flags & SWP_NOSIZE)) r = Rect::FromSize(r.left, r.top, std::max(0, cx), std::max(0, cy));
  MoveWindow(r);
  if (flags & SWP_SHOWWINDOW) ShowWindow(SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
  return true;
}

Rect Window::GetWindowRect() const {
  const Point tl = ClientToScreen(Point{0, 0});
  return Rect::FromSize(tl.x, tl.y, rect_.Width(), rect_.Height());
}

Point Window::ClientToScreen(Point p) const {
  p.x += rect_.left;
  p.y += rect_.top;
  if (child_ && parent_) return parent_->ClientToScreen(p);
  return p;
}

Point Window::ScreenToClient(Point p) const {
  const Point o = ClientToScreen(Point{0, 0});
  return Point{p.x - o.x, p.y - o.y};
}

void Window::ClientToScreen(Rect* r) const {
  const Point o = ClientToScreen(Point{0, 0});
  *r = r->Offset(o.x, o.y);
}

void Window::ScreenToClient(Rect* r) const {
  const Point o = ClientToScreen(Point{0, 0});
  *r = r->Offset(-o.x, -o.y);
}

void Window::SetWindowText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Notify(Change::Text);
}

void Window::ModifyStyle(std::uint32_t remove, std::uint32_t add) {
  const std::uint32_t s = (style_ & ~remove) | add;
  if (s == style_) return;
  style_ = s;
  Notify(Change::Style);
}

void Window::SetWindowRgn(std::optional<Region> region, bool) {
  region_ = std::move(region);
  Notify(Change::Region);
}

void Window::SetCursor(CursorShape shape, int resourceId) {
  cursor_ = shape;
  cursorRes_ = resourceId;
  Notify(Change::Cursor);
}

void Window::DragAcceptFiles(bool accept) {
  if (accept == acceptFiles_) return;
  acceptFiles_ = accept;
  Notify(Change::AcceptFiles);
}

void Window::SetFont(const FontSpec& font) {
  if (font == font_) return;
  font_ = font;
  Notify(Change::Font);
}

void Window::SetTextColor(std::optional<COLORREF> c) {
  textColour_ = c;
  Notify(Change::Colours);
}

void Window::SetBackgroundColor(std::optional<COLORREF> c) {
  backColour_ = c;
  Notify(Change::Colours);
}

void Window::SetTransparent(bool transparent) {
  transparent_ = transparent;
  Notify(Change::Colours);
}

void Window::Invalidate(bool) { Notify(Change::Redraw); }

void Window::PaintTo(Canvas& canvas) {
  if (!OnEraseBkgnd(canvas) && backColour_ && !transparent_) canvas.FillRect(GetClientRect(), *backColour_);
  OnPaint(canvas);
}

void Window::SetFocus() {
  Ui::Get().SetFocusWindow(this);
  Notify(Change::Focus);
}

Window* Window::GetFocus() { return Ui::Get().Focus(); }

void Window::BeginMoveDrag() { GetTopLevel()->Notify(Change::MoveDrag); }

unsigned Window::SetTimer(unsigned id, unsigned elapseMs) {
  Ui::Get().StartTimer(*this, id, elapseMs);
  return id;
}

bool Window::KillTimer(unsigned id) { return Ui::Get().StopTimer(*this, id); }

LRESULT Window::SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
  return OnMessage(msg, wParam, lParam);
}

void Window::PostMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window*> cell = cell_;
  Ui::Get().Post([cell, msg, wParam, lParam] {
    if (Window* w = *cell) w->OnMessage(msg, wParam, lParam);
  });
}

void Window::Post(std::function<void()> work) {
  std::shared_ptr<Window*> cell = cell_;
  Ui::Get().Post([cell, work = std::move(work)] {
    if (*cell) work();
  });
}

void Window::SetPeer(std::unique_ptr<WindowPeer> peer) {
  peer_ = std::move(peer);
  if (peer_) peer_->Changed(ChangeEvent{Change::Created});
}

void Window::PeerMoved(const Rect& rect) {
  const bool resized = rect.Width() != rect_.Width() || rect.Height() != rect_.Height();
  rect_ = rect;
  if (resized) OnSize(rect.Width(), rect.Height());
}

void Window::PeerShowState(bool minimized) { minimized_ = minimized; }

void Window::Notify(const ChangeEvent& e) {
  if (peer_) peer_->Changed(e);
}

void Control::CommandParent() {
  if (Window* p = GetParent()) p->OnCommand(GetDlgCtrlID());
}

LRESULT Control::NotifyParent(int code) {
  if (Window* p = GetParent()) return p->OnNotify(GetDlgCtrlID(), code);
  return 0;
}

}  // namespace ui
