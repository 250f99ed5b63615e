#pragma once
// The window base of every dialog, panel and control. A Window is a plain C++
// object owned by whoever declares it; the toolkit only renders it through a
// peer (see Peer.h). Geometry is in pixels: a child's rectangle is relative to
// its parent's client area, a top-level window's is in screen coordinates.
// Everything here runs on the user-interface thread, except PostMessage and
// Post, which any thread may call.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Canvas.h"
#include "platform/ui/Region.h"
#include "platform/ui/Types.h"

namespace ui {

class WindowPeer;
class Dialog;

enum class WindowKind {
  Window,      // a plain window (custom paint)
  Dialog,
  Static,      // static text or picture
  GroupBox,
  Button,
  CheckBox,
  Edit,
  ListBox,
  Tree,
  ReportList,
  Progress,
  Slider,
  ScrollBar,
};

// What changed in a window's model, sent to its peer.
enum class Change {
  Created,        // the peer has just been made; nothing else to read
  Text,
  Visible,
  Enabled,
  Geometry,
  Style,
  Region,         // window shape set or removed
  Cursor,
  Colours,        // text / background colour or transparency
  Font,
  Redraw,         // Invalidate: repaint from the model / paint handler
  ShowState,      // minimized or restored
  Focus,          // the program moved the keyboard focus here
  Check,          // button check state or pushed state
  Range,          // progress / slider / scroll bar range
  Pos,            // progress / slider / scroll bar position
  Image,          // a static picture's bitmap, or an image list attached
  ItemInserted,   // index: row / string index; item: tree item handle
  ItemRemoved,    // as above (tree: the removed subtree's root, before removal)
  ItemChanged,    // index (and sub: column); tree: item
  ItemsReset,     // every item removed
  ItemsReordered, // rows sorted
  Columns,        // report list columns changed
  Selection,      // index or item: the newly selected one (-1 / 0 none)
  Expanded,       // tree: item expanded or collapsed
  Scroll,         // make index / item visible
  MoveDrag,       // the user grabbed the window's background: move it with the mouse
  AcceptFiles,    // whether files may be dropped on the window
};

struct ChangeEvent {
  Change what = Change::Redraw;
  int index = -1;
  int sub = -1;
  std::uintptr_t item = 0;
};

enum class CursorShape { Arrow, SizeWE, Hand, IBeam, Resource };

// A key or other input message on its way to a window, as a PreTranslate
// filter sees it.
struct MSG {
  class Window* hwnd = nullptr;  // the window the input is for (the focus)
  unsigned message = 0;           // WM_KEYDOWN, WM_KEYUP, WM_CHAR
  WPARAM wParam = 0;              // the virtual key
  LPARAM lParam = 0;
};

// The state an owner-drawn control is painted in.
struct DrawItemInfo {
  int ctlId = 0;
  Rect rect;               // the control's client rectangle
  bool selected = false;   // pressed
  bool focus = false;
  bool disabled = false;
  bool checked = false;
};

// A handle that stays valid to test after its window has gone; workers keep
// one to post to a window they do not own.
class WindowRef {
 public:
  WindowRef() = default;
  class Window* get() const { return cell_ ? *cell_ : nullptr; }
  explicit operator bool() const { return get() != nullptr; }

 private:
  friend class Window;
  explicit WindowRef(std::shared_ptr<class Window*> c) : cell_(std::move(c)) {}
  std::shared_ptr<class Window*> cell_;
};

// SetWindowPos flags.
constexpr unsigned SWP_NOSIZE = 0x0001;
constexpr unsigned SWP_NOMOVE = 0x0002;
constexpr unsigned SWP_NOZORDER = 0x0004;
constexpr unsigned SWP_SHOWWINDOW = 0x0040;
constexpr unsigned SWP_HIDEWINDOW = 0x0080;

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  virtual WindowKind Kind() const { return WindowKind::Window; }

  // ---- life ----
  // Makes this a live window: a child of `parent` at `rect` (or a top-level
  // window owned by `parent` when `child` is false, rect then in screen
  // coordinates). Realised by the renderer when there is one.
  bool CreateWindowAt(Window* parent, const Rect& rect, int id = 0, bool child = true,
                      std::uint32_t style = 0);
  bool IsWindow() const { return created_; }      // created and not destroyed
  // Destroys the window's children and then the window (their objects stay;
  // only the windows go). Runs OnDestroy.
  virtual void DestroyWindow();
  WindowRef Ref() const { return WindowRef(cell_); }

  // ---- tree of windows ----
  int GetDlgCtrlID() const { return id_; }
  void SetDlgCtrlID(int id) { id_ = id; }
  Window* GetParent() const { return parent_; }
  Window* GetTopLevel();          // the first ancestor that is not a child (or this)
  bool IsChild() const { return child_; }
  const std::vector<Window*>& Children() const { return children_; }
  // The direct child with `id` (the first one when several share it), or null.
  Window* GetDlgItem(int id) const;
  template <class T>
  T* GetDlgItemAs(int id) const { return dynamic_cast<T*>(GetDlgItem(id)); }

  // ---- state ----
  bool ShowWindow(int cmd);                 // returns whether it was visible before
  bool IsWindowVisible() const;             // it and every ancestor visible
  bool GetVisibleFlag() const { return visible_; }
  bool EnableWindow(bool enable = true);    // returns whether it was disabled before
  bool IsWindowEnabled() const { return enabled_; }
  bool IsIconic() const { return minimized_; }

  // ---- geometry ----
  void MoveWindow(int x, int y, int cx, int cy, bool repaint = true);
  void MoveWindow(const Rect& r, bool repaint = true);
  bool SetWindowPos(int x, int y, int cx, int cy, unsigned flags);
  Rect GetRect() const { return rect_; }    // in the parent's client coordinates
  void GetClientRect(Rect* r) const { *r = GetClientRect(); }
  Rect GetClientRect() const { return Rect(0, 0, rect_.Width(), rect_.Height()); }
  void GetWindowRect(Rect* r) const { *r = GetWindowRect(); }
  Rect GetWindowRect() const;               // screen coordinates
  Point ClientToScreen(Point p) const;
  Point ScreenToClient(Point p) const;
  void ClientToScreen(Rect* r) const;
  void ScreenToClient(Rect* r) const;

  // ---- text, style, look ----
  void SetWindowText(const std::string& text);
  std::string GetWindowText() const { return text_; }
  void GetWindowText(std::string& out) const { out = text_; }
  int GetWindowTextLength() const { return static_cast<int>(text_.size()); }
  std::uint32_t GetStyle() const { return style_; }
  void ModifyStyle(std::uint32_t remove, std::uint32_t add);
  // The window's shape; pixels outside are neither painted nor hit. An
  // absent region means the whole rectangle.
  void SetWindowRgn(std::optional<Region> region, bool redraw = true);
  const std::optional<Region>& GetWindowRgn() const { return region_; }
  void SetCursor(CursorShape shape, int resourceId = 0);
  CursorShape GetCursorShape() const { return cursor_; }
  int GetCursorResource() const { return cursorRes_; }
  void SetFont(const FontSpec& font);
  const FontSpec& GetFont() const { return font_; }
  // Text colour and background (the WM_CTLCOLOR answer): a transparent window
  // lets its parent's painting show through.
  void SetTextColor(std::optional<COLORREF> c);
  void SetBackgroundColor(std::optional<COLORREF> c);
  void SetTransparent(bool transparent);
  std::optional<COLORREF> GetTextColor() const { return textColour_; }
  std::optional<COLORREF> GetBackgroundColor() const { return backColour_; }
  bool IsTransparent() const { return transparent_; }
  void SetIcon(int iconId) {
    icon_ = iconId;
    Notify(Change::Image);
  }
  int GetIcon() const { return icon_; }

  // ---- painting ----
  void Invalidate(bool erase = true);
  // Runs the paint of this window on `canvas`: erase, then OnPaint. The
  // renderer calls it from its paint event; tests call it with a recording
  // canvas.
  virtual void PaintTo(Canvas& canvas);

  // ---- focus and input ----
  void SetFocus();
  static Window* GetFocus();
  // Starts moving the window with the mouse, as a click on a caption does.
  void BeginMoveDrag();
  // Lets files dragged from a file manager be dropped on the window (and
  // its children); OnDropFiles receives their paths.
  void DragAcceptFiles(bool accept = true);
  bool AcceptsDroppedFiles() const { return acceptFiles_; }

  // ---- timers ----
  unsigned SetTimer(unsigned id, unsigned elapseMs);
  bool KillTimer(unsigned id);

  // ---- messages ----
  // Runs OnMessage synchronously.
  LRESULT SendMessage(unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Queues OnMessage to run on the user-interface thread; dropped when the
  // window has gone by then. Any thread.
  void PostMessage(unsigned msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Queues `work` for the user-interface thread, run only if this window is
  // still alive then. Any thread.
  void Post(std::function<void()> work);

  // ---- handlers ----
  // Sees every key message before it is processed; true swallows it.
  virtual bool PreTranslateMessage(MSG* msg) { return false; }
  virtual void OnCommand(int id) {}                 // BN_CLICKED and menu commands
  virtual LRESULT OnNotify(int id, int code) { return 0; }
  virtual LRESULT OnMessage(unsigned msg, WPARAM wParam, LPARAM lParam) { return 0; }
  virtual void OnTimer(unsigned id) {}
  virtual bool OnEraseBkgnd(Canvas& canvas) { return false; }  // true: background done
  virtual void OnPaint(Canvas& canvas) {}
  virtual void OnDrawItem(int id, Canvas& canvas, const DrawItemInfo& info) {}
  virtual void OnLButtonDown(unsigned flags, Point p) {}
  virtual void OnLButtonUp(unsigned flags, Point p) {}
  virtual void OnLButtonDblClk(unsigned flags, Point p) {}
  virtual void OnRButtonDown(unsigned flags, Point p) {}
  virtual void OnMouseMove(unsigned flags, Point p) {}
  virtual void OnKeyDown(int vk) {}
  // Local files dropped on a window that accepts them, in the order given.
  virtual void OnDropFiles(const std::vector<std::string>& paths) {}
  virtual void OnVScroll(int code, int pos, Window* bar) {}
  virtual void OnHScroll(int code, int pos, Window* bar) {}
  virtual void OnSize(int cx, int cy) {}
  virtual void OnShowWindow(bool show) {}
  virtual void OnSetFocus() {}
  virtual void OnKillFocus() {}
  virtual void OnDestroy() {}
  // Called when a dialog adopts this object for one of its template controls.
  virtual void PreSubclassWindow() {}
  // The window has gone: what it held goes with it, so the next window made
  // for this object starts empty (items, selection, check, position).
  virtual void ResetModel() {}

  // ---- renderer side ----
  WindowPeer* Peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<WindowPeer> peer);
  // The toolkit reports a change the user made (moved or resized the window,
  // restored it): update the model without echoing it back.
  void PeerMoved(const Rect& rect);
  void PeerShowState(bool minimized);

 protected:
  void Notify(const ChangeEvent& e);
  void Notify(Change what, int index = -1, int sub = -1, std::uintptr_t item = 0) {
    Notify(ChangeEvent{what, index, sub, item});
  }
  // Makes the renderer build this window's peer (and its children's) when
  // the parent is realised or it is top-level.
  void RealizeIfPossible();
  // Sets the window's identity before it is created (a dialog adopting a
  // template control).
  void Adopt(Window* parent, const Rect& rect, int id, std::uint32_t style, const std::string& text);
  void SetCreated() { created_ = true; }
  void SetModelText(const std::string& text) { text_ = text; }  // from the user; no echo

 private:
  friend class Dialog;
  void AttachTo(Window* parent);
  void Detach();

  std::shared_ptr<Window*> cell_;
  Window* parent_ = nullptr;
  std::vector<Window*> children_;
  std::unique_ptr<WindowPeer> peer_;
  int id_ = 0;
  bool created_ = false;
  bool child_ = true;
  bool visible_ = false;
  bool enabled_ = true;
  bool minimized_ = false;
  bool transparent_ = false;
  bool acceptFiles_ = false;
  Rect rect_;
  std::string text_;
  std::uint32_t style_ = 0;
  std::optional<Region> region_;
  CursorShape cursor_ = CursorShape::Arrow;
  int cursorRes_ = 0;
  FontSpec font_;
  std::optional<COLORREF> textColour_, backColour_;
  int icon_ = 0;
};

// A child control of a dialog. Every control sends its notifications to its
// parent window.
class Control : public Window {
 public:
  explicit Control(WindowKind kind) : kind_(kind) {}
  WindowKind Kind() const override { return kind_; }
  // The kind the dialog template gave this control (a res::ControlKind
  // value), or -1 when it was not made from a template. A model may stand
  // in for a control of another kind (a check button used as a text line).
  int TemplateKind() const { return templateKind_; }
  void SetTemplateKind(int kind) { templateKind_ = kind; }

 protected:
  void CommandParent();              // the parent's OnCommand(id)
  LRESULT NotifyParent(int code);    // the parent's OnNotify(id, code)

 private:
  WindowKind kind_;
  int templateKind_ = -1;
};

}  // namespace ui
