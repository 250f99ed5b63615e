#include "platform/ui/Dialog.h"

#include <algorithm>
#include <map>

#include "platform/ui/Controls.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace ui {

namespace {
std::map<int, const res::DialogTemplate*>& Registered() {
  static std::map<int, const res::DialogTemplate*> m;
  return m;
}

// Windows' MulDiv: the product over the divisor, rounded half away from zero.
int MulDiv(int v, int mul, int div) {
  const long long p = static_cast<long long>(v) * mul;
  return static_cast<int>(p >= 0 ? (p + div / 2) / div : (p - div / 2) / div);
}
}  // namespace

const res::DialogTemplate* FindDialogTemplate(int id) {
  auto it = Registered().find(id);
  if (it != Registered().end()) return it->second;
  return res::FindDialog(id);
}

void RegisterDialogTemplate(const res::DialogTemplate* tpl) {
  if (tpl) Registered()[tpl->id] = tpl;
}

void UnregisterDialogTemplate(int id) { Registered().erase(id); }

Dialog::Dialog(int templateId, Window* parent) : templateId_(templateId), parentHint_(parent) {}

Dialog::~Dialog() {
  if (IsWindow()) Dialog::DestroyWindow();
}

void Dialog::MapDialogRect(Rect* r) const {
  *r = Rect(MulDiv(r->left, base_.cx, 4), MulDiv(r->top, base_.cy, 8), MulDiv(r->right, base_.cx, 4),
            MulDiv(r->bottom, base_.cy, 8));
}

std::unique_ptr<Control> Dialog::MakeControl(const res::ControlTemplate& ct) {
  using K = res::ControlKind;
  switch (ct.kind) {
    case K::Static:
    case K::Picture:
      return std::make_unique<StaticText>();
    case K::GroupBox:
      return std::make_unique<GroupBox>();
    case K::Button:
      return std::make_unique<Button>();
    case K::CheckBox:
      return std::make_unique<CheckBox>();
    case K::Edit:
      return std::make_unique<Edit>();
    case K::ListBox:
      return std::make_unique<ListBox>();
    case K::Tree:
      return std::make_unique<TreeCtrl>();
    case K::ReportList:
      return std::make_unique<ListCtrl>();
    case K::Progress:
      return std::make_unique<ProgressCtrl>();
    case K::Slider:
      return std::make_unique<SliderCtrl>();
    case K::ScrollBar:
      return std::make_unique<ScrollBar>();
  }
  return std::make_unique<StaticText>();
}

void Dialog::Place(Control& c, const res::ControlTemplate& ct) {
  Rect r = Rect::FromSize(ct.x, ct.y, std::max(0, ct.cx), std::max(0, ct.cy));
  MapDialogRect(&r);
  c.child_ = true;
  c.Adopt(this, r, ct.id, ct.style, ct.text ? ct.text : "");
  c.SetFont(GetFont());
  c.SetTemplateKind(static_cast<int>(ct.kind));
  if (ct.kind == res::ControlKind::Picture)
    if (auto* pic = dynamic_cast<StaticText*>(&c)) pic->SetBitmap(ct.bitmap);
  c.SetCreated();
}

bool Dialog::Build(const res::DialogTemplate* tpl, Window* parent) {
  if (!tpl || IsWindow()) return false;
  tpl_ = tpl;
  templateId_ = tpl->id;
  ending_ = false;
  result_ = 0;
  base_ = Ui::Get().BaseUnits(tpl->font ? tpl->font : "", tpl->pointSize);
  Rect r = Rect::FromSize(0, 0, std::max(0, tpl->cx), std::max(0, tpl->cy));
  MapDialogRect(&r);
  const bool child = !modal_ && (tpl->style & res::Style::Child) && parent;
  child_ = child;
  if (!child) {
    // A top-level dialog opens centred on the screen; OnInitDialog may move it.
    const Size s = Ui::Get().ScreenSize();
    r = r.Offset(s.cx / 2 - r.Width() / 2, s.cy / 2 - r.Height() / 2);
  }
  // A visible template is shown once OnInitDialog has run, not before.
  Adopt(parent, r, GetDlgCtrlID(), tpl->style & ~res::Style::Visible, tpl->caption ? tpl->caption : "");
  Window::SetFont(FontSpec{tpl->font ? tpl->font : "", tpl->pointSize});

  owned_.clear();
  for (const res::ControlTemplate& ct : tpl->controls) {
    Control* c = nullptr;
    if (ct.id != IDC_STATIC) {
      auto it = bound_.find(ct.id);
      if (it != bound_.end()) c = it->second;
    }
    if (!c) {
      owned_.push_back(MakeControl(ct));
      c = owned_.back().get();
    }
    Place(*c, ct);
    if (bound_.count(ct.id)) c->PreSubclassWindow();
  }
  SetCreated();
  DoDataExchange();
  RealizeIfPossible();
  const bool focusFirst = OnInitDialog();
  if (ending_) return true;
  if (focusFirst) {
    for (Window* c : Children())
      if ((c->GetStyle() & res::Style::TabStop) && c->IsWindowEnabled()) {
        c->SetFocus();
        break;
      }
  }
  if (!modal_ && (tpl->style & res::Style::Visible)) ShowWindow(SW_SHOW);
  return true;
}

bool Dialog::Create(int templateId, Window* parent) {
  modal_ = false;
  parentHint_ = parent;
  return Build(FindDialogTemplate(templateId), parent);
}

int Dialog::DoModal() {
  if (IsWindow()) return -1;
  const res::DialogTemplate* tpl = FindDialogTemplate(templateId_);
  if (!tpl) return -1;
  Window* owner = parentHint_ ? parentHint_->GetTopLevel() : nullptr;
  modal_ = true;
  if (!Build(tpl, owner)) {
    modal_ = false;
    return -1;
  }
  int result = result_;
  if (!ending_) {
    ShowWindow(SW_SHOW);
    result = ending_ ? result_ : Ui::Get().RunModal(*this);
  }
  if (ending_) result = result_;
  Dialog::DestroyWindow();
  modal_ = false;
  return result;
}

void Dialog::EndDialog(int result) {
  result_ = result;
  ending_ = true;
  if (modal_) {
    Ui::Get().EndModal(*this);
  } else if (IsWindow()) {
    ShowWindow(SW_HIDE);
  }
}

void Dialog::BindControl(int id, Control& member) {
  bound_[id] = &member;
  if (!IsWindow()) return;
  Window* current = GetDlgItem(id);
  if (!current || current == &member) return;
  // Take the place of the control the template made, keeping its spot among
  // the children so the tab and paint order stay those of the template.
  auto& kids = children_;
  const auto pos = std::find(kids.begin(), kids.end(), current) - kids.begin();
  const Rect r = current->GetRect();
  const std::uint32_t style = current->GetStyle();
  const std::string text = current->GetWindowText();
  const bool visible = current->GetVisibleFlag();
  const bool enabled = current->IsWindowEnabled();
  auto* currentControl = dynamic_cast<Control*>(current);
  const int templateKind = currentControl ? currentControl->TemplateKind() : -1;
  current->DestroyWindow();
  current->Detach();
  auto ownedIt = std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == current; });
  if (ownedIt != owned_.end()) owned_.erase(ownedIt);
  member.child_ = true;
  member.Adopt(this, r, id, style, text);
  member.visible_ = visible;
  member.enabled_ = enabled;
  member.SetFont(GetFont());
  member.SetTemplateKind(templateKind);
  // Keep the template's place in the children.
  kids.erase(std::remove(kids.begin(), kids.end(), &member), kids.end());
  kids.insert(kids.begin() + std::min<std::ptrdiff_t>(pos, static_cast<std::ptrdiff_t>(kids.size())), &member);
  member.SetCreated();
  member.PreSubclassWindow();
  member.RealizeIfPossible();
}

void Dialog::DestroyWindow() {
  Window::DestroyWindow();
  owned_.clear();
}

}  // namespace ui
