#pragma once
// A popup menu whose items the program paints itself, in the skin's colours.
// One object stands for one level of a menu resource; the root (the object the
// resource was loaded into) owns a child per item that opens a popup. Items
// are found by command id: the root's own items first, then each child's,
// depth first in item order.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Ui.h"
#include "res/Resources.h"

class CVDMenu : public ui::MenuOwnerDraw {
 public:
  static constexpr int kMaxItems = 256;           // a longer level is not converted
  static constexpr std::size_t kTextBuffer = 260; // a text must fit with its NUL to be drawn
  static constexpr int kMinItemHeight = 15;
  static constexpr int kMinItemWidth = 30;
  static constexpr ui::COLORREF kSelectedFill = ui::RGB(169, 184, 202);
  static constexpr ui::COLORREF kSelectedFrame = ui::RGB(0, 0, 100);

  CVDMenu() = default;
  ~CVDMenu() override = default;
  CVDMenu(const CVDMenu&) = delete;
  CVDMenu& operator=(const CVDMenu&) = delete;

  // Loads menu resource id and converts its tree; false when there is no
  // such menu or a level cannot be converted.
  bool LoadMenu(int id);
  // The same for items given as data.
  bool LoadItems(const std::vector<res::MenuItem>& items);

  // The child level at item position index, or null (outside 0-255, or an
  // item that opens no popup).
  CVDMenu* GetSubMenu(int index) const;
  int GetMenuItemCount() const { return static_cast<int>(m_Ids.size()); }
  int GetMenuItemID(int pos) const;            // 0 for separators, popups, out of range
  std::string GetItemTextAt(int pos) const;    // empty for separators
  const std::vector<res::MenuItem>& Items() const { return m_Items; }
  const CVDMenu* GetRoot() const { return m_pRoot; }

  // The level of this tree that holds command id, or null.
  const CVDMenu* FindLevel(int id) const;
  // The text of command id as drawn: empty when no level holds it or when it
  // does not fit the drawing buffer.
  std::string GetItemText(int id) const;

  // Owner drawing of the item with command id.
  ui::Size MeasureItem(int id) const;
  void DrawItem(int id, ui::Canvas& canvas, const ui::Rect& rect, bool selected) const;
  ui::Size MeasureItem(const res::MenuItem& item) override { return MeasureItem(item.id); }
  void DrawItem(const res::MenuItem& item, ui::Canvas& canvas, const ui::Rect& rect, bool selected) override {
    DrawItem(item.id, canvas, rect, selected);
  }

  // Shows this level as a popup with its top-left corner at `screen`; the
  // chosen command goes to owner's OnCommand. Returns the chosen id, 0 none.
  int TrackPopupMenu(ui::Point screen, ui::Window* owner);

 private:
  bool Convert(const std::vector<res::MenuItem>& items, const CVDMenu* root);
  const CVDMenu* FindLevelFrom(int id) const;

  std::vector<res::MenuItem> m_Items;
  std::vector<int> m_Ids;
  std::vector<std::string> m_Texts;
  std::array<std::unique_ptr<CVDMenu>, kMaxItems> m_Children;
  const CVDMenu* m_pRoot = this;
};
