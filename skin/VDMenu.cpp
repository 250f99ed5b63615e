#include "skin/VDMenu.h"

#include <algorithm>

#include "platform/ui/Canvas.h"

bool CVDMenu::LoadMenu(int id) {
  const res::Menu* menu = res::FindMenu(id);
  if (!menu) return false;
  return LoadItems(menu->items);
}

bool CVDMenu::LoadItems(const std::vector<res::MenuItem>& items) {
  for (auto& c : m_Children) c.reset();
  m_pRoot = this;
  return Convert(items, this);
}

bool CVDMenu::Convert(const std::vector<res::MenuItem>& items, const CVDMenu* root) {
  m_Items.clear();
  m_Ids.clear();
  m_Texts.clear();
  m_pRoot = root;
  if (items.size() > static_cast<std::size_t>(kMaxItems)) return false;
  m_Items = items;
  for (const res::MenuItem& item : items) {
    m_Ids.push_back(item.separator ? 0 : item.id);
    m_Texts.push_back(item.separator ? std::string() : item.text);
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].popup.empty()) continue;
    auto child = std::make_unique<CVDMenu>();
    if (!child->Convert(items[i].popup, root)) return false;
    m_Children[i] = std::move(child);
  }
  return true;
}

CVDMenu* CVDMenu::GetSubMenu(int index) const {
  if (index < 0 || index >= kMaxItems) return nullptr;
  return m_Children[static_cast<std::size_t>(index)].get();
}

int CVDMenu::GetMenuItemID(int pos) const {
  if (pos < 0 || pos >= GetMenuItemCount()) return 0;
  return m_Ids[static_cast<std::size_t>(pos)];
}

std::string CVDMenu::GetItemTextAt(int pos) const {
  if (pos < 0 || pos >= GetMenuItemCount()) return {};
  return m_Texts[static_cast<std::size_t>(pos)];
}

const CVDMenu* CVDMenu::FindLevelFrom(int id) const {
  if (id == 0) return nullptr;
  if (std::find(m_Ids.begin(), m_Ids.end(), id) != m_Ids.end()) return this;
  for (const auto& child : m_Children)
    if (child)
      if (const CVDMenu* found = child->FindLevelFrom(id)) return found;
  return nullptr;
}

const CVDMenu* CVDMenu::FindLevel(int id) const { return m_pRoot->FindLevelFrom(id); }

std::string CVDMenu::GetItemText(int id) const {
  const CVDMenu* level = FindLevel(id);
  if (!level) return {};
  const auto it = std::find(level->m_Ids.begin(), level->m_Ids.end(), id);
  const std::string& text = level->m_Texts[static_cast<std::size_t>(it - level->m_Ids.begin())];
  return text.size() < kTextBuffer ? text : std::string();
}

ui::Size CVDMenu::MeasureItem(int id) const {
  ui::Ui& u = ui::Ui::Get();
  const ui::Size ts = u.MeasureText(GetItemText(id), u.MenuFont());
  return ui::Size{std::max(ts.cx + 19, kMinItemWidth), std::max(ts.cy, kMinItemHeight) + 4};
}

void CVDMenu::DrawItem(int id, ui::Canvas& canvas, const ui::Rect& rect, bool selected) const {
  ui::Ui& u = ui::Ui::Get();
  std::string text = GetItemText(id);
  if (selected) {
    canvas.FillRect(rect, kSelectedFill);
    canvas.FrameRect(rect, kSelectedFrame);
  } else {
    canvas.FillRect(rect, u.GetSysColor(ui::COLOR_MENU));
  }
  const ui::Rect box(rect.left + 15 + 2, rect.top + 2, rect.right - 4 - 2, rect.bottom - 2);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  canvas.SetFont(u.MenuFont());
  canvas.DrawText(text, box, u.GetSysColor(ui::COLOR_MENUTEXT),
                  ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_LEFT | ui::DT_END_ELLIPSIS);
}

int CVDMenu::TrackPopupMenu(ui::Point screen, ui::Window* owner) {
  return ui::Ui::Get().TrackPopupMenu(m_Items, screen, owner, this);
}
