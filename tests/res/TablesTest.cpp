// String table, menu and dialog templates.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "res/Resources.h"

namespace {

TEST(StringTable, EveryMessageExactly) {
  const std::map<int, std::string> expected = {
      {1, "Select the Device"},
      {2, "Refresh"},
      {3, "Show Sector Data"},
      {4, "Show TOC"},
      {5, "Save the Data"},
      {6, "Show Volumn Information"},
      {7, "Show Device Support Information"},
      {8, "Exit"},
      {9, "Eject the Device"},
      {10, "About the Program"},
      {11, "Help"},
      {12, "Close the Device"},
      {13, "Blank Disc"},
      {14, "Device not Ready,Please try again!"},
      {15, "Please Select CDROM Device!"},
      {17, "File or Directory already Existed, OverWrite it?"},
      {20, "No Wave Device!"},
      {21, "Not find appropriate Device!"},
      {22, "Open wave device error!"},
      {23, "This is not the first track, the ISO file may be incorrect, Continue?"},
      {24, "This is not valid image File!"},
  };
  for (int id = -2; id < 40; ++id) {
    SCOPED_TRACE(id);
    const auto it = expected.find(id);
    if (it == expected.end()) {
      EXPECT_EQ(res::String(id), nullptr);
    } else {
      ASSERT_NE(res::String(id), nullptr);
      EXPECT_EQ(res::String(id), it->second);
    }
  }
  EXPECT_STREQ(res::String(IDS_NOT_READY), "Device not Ready,Please try again!");
}

struct Expect {
  int id;  // 0 = separator
  const char* text;
};
void ExpectPopup(const res::MenuItem& popup, const char* text, std::vector<Expect> items) {
  SCOPED_TRACE(text);
  EXPECT_EQ(popup.text, text);
  EXPECT_EQ(popup.id, 0);
  ASSERT_EQ(popup.popup.size(), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const res::MenuItem& m = popup.popup[i];
    EXPECT_EQ(m.separator, items[i].id == 0) << i;
    EXPECT_EQ(m.id, items[i].id) << i;
    EXPECT_EQ(m.text, items[i].text) << i;
    EXPECT_TRUE(m.popup.empty()) << i;
  }
}

TEST(Menu, MainMenuHasFourPopupsInOrder) {
  EXPECT_EQ(res::FindMenu(0), nullptr);
  EXPECT_EQ(res::FindMenu(231), nullptr);
  const res::Menu* m = res::FindMenu(232);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->id, 232);
  ASSERT_EQ(m->items.size(), 4u);
  ExpectPopup(m->items[0], "File",
              {{32771, "Select Device"}, {32772, "Show Sector Data"}, {0, ""}, {32773, "Eject Device"},
               {32774, "Close Device"}, {0, ""}, {32775, "Exit"}});
  ExpectPopup(m->items[1], "View", {{32776, "Refresh"}, {32777, "Save Data"}});
  ExpectPopup(m->items[2], "Tools",
              {{32778, "Show TOC"}, {32779, "Volumn Information"}, {32780, "Device Support Information"}, {0, ""},
               {32781, "Disc Scan"}});
  ExpectPopup(m->items[3], "Help", {{32783, "Help Topic"}, {0, ""}, {32784, "About"}});
  EXPECT_EQ(res::FindMenu(232), m) << "the menu is one shared object";
}

const res::ControlTemplate* Control(const res::DialogTemplate& d, int id) {
  for (const res::ControlTemplate& c : d.controls)
    if (c.id == id) return &c;
  return nullptr;
}

struct Placed {
  int id;
  int x, y, cx, cy;
};
void ExpectPlaced(const res::DialogTemplate& d, std::vector<Placed> controls) {
  for (const Placed& p : controls) {
    SCOPED_TRACE(p.id);
    const res::ControlTemplate* c = Control(d, p.id);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->x, p.x);
    EXPECT_EQ(c->y, p.y);
    EXPECT_EQ(c->cx, p.cx);
    EXPECT_EQ(c->cy, p.cy);
  }
}
void ExpectDialog(const res::DialogTemplate* d, const char* font, int points, int cx, int cy) {
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->font, font);
  EXPECT_EQ(d->pointSize, points);
  EXPECT_EQ(d->cx, cx);
  EXPECT_EQ(d->cy, cy);
}

TEST(Dialogs, MainWindowLayout) {
  const res::DialogTemplate* d = res::FindDialog(102);
  ExpectDialog(d, "MS Sans Serif", 8, 413, 293);
  EXPECT_TRUE(d->style & res::Style::Popup);
  EXPECT_TRUE(d->style & res::Style::AppWindow);
  EXPECT_FALSE(d->style & res::Style::Caption);
  EXPECT_EQ(d->controls.size(), 21u);
  ExpectPlaced(*d, {{1023, 14, 15, 21, 22}, {1025, 37, 15, 21, 22}, {1024, 14, 38, 21, 24}, {1026, 37, 38, 21, 24},
                    {1045, 79, 22, 31, 12},  {1046, 115, 22, 30, 12}, {1047, 150, 22, 30, 12}, {1048, 185, 22, 30, 12},
                    {1030, 375, 23, 8, 9},   {1031, 390, 23, 8, 9},  {1001, 85, 36, 22, 22},  {1003, 114, 36, 22, 22},
                    {1002, 142, 36, 21, 22}, {1004, 170, 36, 21, 22}, {1008, 199, 36, 21, 22}, {1005, 227, 36, 21, 22},
                    {1009, 256, 36, 21, 22}, {1006, 284, 36, 21, 22}, {1029, 42, 70, 358, 197}, {1037, 237, 277, 161, 13},
                    {1049, 36, 270, 124, 16}});
  EXPECT_STREQ(Control(*d, 1045)->text, "File");
  EXPECT_STREQ(Control(*d, 1046)->text, "View");
  EXPECT_STREQ(Control(*d, 1047)->text, "Tools");
  EXPECT_STREQ(Control(*d, 1048)->text, "Help");
  // Every skinned button draws itself.
  for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1008, 1009, 1023, 1024, 1025, 1026, 1030, 1031, 1045, 1046, 1047, 1048})
    EXPECT_TRUE(Control(*d, id)->style & res::Style::OwnerDraw) << id;
}

TEST(Dialogs, DeviceProgressAndAboutLayouts) {
  const res::DialogTemplate* dev = res::FindDialog(165);
  ExpectDialog(dev, "System", 10, 148, 98);
  ExpectPlaced(*dev, {{1010, 4, 4, 133, 65}, {1012, 90, 73, 16, 16}, {1013, 113, 73, 16, 16}});
  const res::ControlTemplate* list = Control(*dev, 1010);
  EXPECT_EQ(list->kind, res::ControlKind::ListBox);
  EXPECT_EQ(list->style & (res::Style::VScroll | res::Style::Notify | res::Style::NoIntegralHeight),
            res::Style::VScroll | res::Style::Notify | res::Style::NoIntegralHeight);
  EXPECT_TRUE(Control(*dev, 1012)->style & res::Style::OwnerDraw);
  EXPECT_TRUE(Control(*dev, 1013)->style & res::Style::OwnerDraw);

  const res::DialogTemplate* prog = res::FindDialog(172);
  ExpectDialog(prog, "Courier New", 9, 190, 55);
  EXPECT_EQ(prog->style & (res::Style::Popup | res::Style::Caption | res::Style::ThinFrame), res::Style::Popup);
  ExpectPlaced(*prog, {{1018, 6, 24, 179, 6}, {1013, 169, 33, 16, 16}, {1020, 5, 4, 180, 14}});
  EXPECT_EQ(Control(*prog, 1018)->kind, res::ControlKind::Progress);
  EXPECT_TRUE(Control(*prog, 1018)->style & res::Style::Border);
  const res::ControlTemplate* caption = Control(*prog, 1020);
  EXPECT_EQ(caption->kind, res::ControlKind::Edit);
  EXPECT_EQ(caption->style & (res::Style::Disabled | res::Style::Border | res::Style::AutoHScroll),
            res::Style::Disabled | res::Style::Border | res::Style::AutoHScroll);

  const res::DialogTemplate* about = res::FindDialog(208);
  ExpectDialog(about, "Courier New", 10, 187, 125);
  EXPECT_TRUE(about->style & res::Style::ThinFrame);
  EXPECT_FALSE(about->style & res::Style::Caption);
  // Template order: name, corner picture, text, logo.
  ASSERT_EQ(about->controls.size(), 4u);
  const res::ControlTemplate& name = about->controls[0];
  EXPECT_EQ(name.id, 1033);
  EXPECT_STREQ(name.text, "Tessal");
  EXPECT_EQ(name.kind, res::ControlKind::Static);
  ExpectPlaced(*about, {{1033, 0, 52, 64, 9}, {1036, 1, 68, 184, 50}});
  EXPECT_EQ(about->controls[1].kind, res::ControlKind::Picture);
  EXPECT_EQ(about->controls[1].bitmap, 215);
  EXPECT_EQ((std::vector<int>{about->controls[1].x, about->controls[1].y, about->controls[1].cx, about->controls[1].cy}),
            (std::vector<int>{175, 0, 13, 13}));
  EXPECT_EQ(about->controls[3].kind, res::ControlKind::Picture);
  EXPECT_EQ(about->controls[3].bitmap, 216);
  EXPECT_EQ((std::vector<int>{about->controls[3].x, about->controls[3].y, about->controls[3].cx, about->controls[3].cy}),
            (std::vector<int>{1, 0, 100, 50}));
  const std::string version = about->controls[2].text;
  EXPECT_EQ(version.rfind("Version 3.03\n\n", 0), 0u) << version;
}

TEST(Dialogs, ViewsHoldTheirControls) {
  struct View {
    int id;
    const char* font;
    int points;
    std::vector<std::pair<int, res::ControlKind>> controls;
  };
  using K = res::ControlKind;
  const View views[] = {
      {157, "Courier New", 9, {{1008, K::Tree}, {1009, K::Button}, {1010, K::ReportList}}},
      {166, "Courier New", 9, {{1013, K::Edit}, {1014, K::ScrollBar}, {1015, K::CheckBox}, {1016, K::ListBox}}},
      {167, "Courier New", 9, {{1017, K::ReportList}}},
      {176, "Courier New", 9, {{1022, K::ReportList}}},
      {191, "Courier New", 9, {{1028, K::ReportList}}},
      {220, "System", 10, {{1038, K::Button}, {1039, K::Button}, {1040, K::Button}, {1042, K::Button}, {1043, K::Button}, {1044, K::Slider}}},
      {235, "Courier New", 10, {{1033, K::Static}, {1010, K::ReportList}, {1018, K::Progress}, {1048, K::Button}, {1013, K::Button}}},
  };
  for (const View& v : views) {
    SCOPED_TRACE(v.id);
    const res::DialogTemplate* d = res::FindDialog(v.id);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->font, v.font);
    EXPECT_EQ(d->pointSize, v.points);
    ASSERT_EQ(d->controls.size(), v.controls.size());
    for (std::size_t i = 0; i < v.controls.size(); ++i) {
      EXPECT_EQ(d->controls[i].id, v.controls[i].first);
      EXPECT_EQ(d->controls[i].kind, v.controls[i].second);
    }
  }
  const res::DialogTemplate* toc = res::FindDialog(167);
  EXPECT_EQ(toc->controls[0].style & (res::Style::SingleSel | res::Style::ShowSelAlways | res::Style::NoSortHeader),
            res::Style::SingleSel | res::Style::ShowSelAlways | res::Style::NoSortHeader);
  EXPECT_TRUE(res::FindDialog(176)->controls[0].style & res::Style::NoSortHeader);
  EXPECT_TRUE(res::FindDialog(191)->controls[0].style & res::Style::NoSortHeader);
  EXPECT_STREQ(res::FindDialog(166)->controls[2].text, "all mode");
  const res::DialogTemplate* player = res::FindDialog(220);
  const char* names[] = {"Pre", "Play", "Pause", "Stop", "Next"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(player->controls[i].text, names[i]);
  const res::DialogTemplate* scan = res::FindDialog(235);
  EXPECT_STREQ(scan->controls[0].text, "Error List");
  EXPECT_STREQ(scan->controls[3].text, "Start");
  EXPECT_STREQ(scan->controls[4].text, "Cancel");
  EXPECT_FALSE(scan->controls[2].style & res::Style::Visible) << "the progress bar shows only while scanning";
  EXPECT_FALSE(scan->style & res::Style::Caption);
}

TEST(Dialogs, EveryTemplateIsConsistent) {
  const int ids[] = {102, 157, 165, 166, 167, 172, 176, 191, 208, 220, 235};
  for (int id : ids) {
    SCOPED_TRACE(id);
    const res::DialogTemplate* d = res::FindDialog(id);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, id);
    std::set<int> seen;
    for (const res::ControlTemplate& c : d->controls) {
      SCOPED_TRACE(c.id);
      if (c.id != IDC_STATIC) {
        EXPECT_TRUE(seen.insert(c.id).second) << "control id used twice";
      }
      EXPECT_GT(c.cx, 0);
      EXPECT_GT(c.cy, 0);
      EXPECT_GE(c.x, 0);
      EXPECT_GE(c.y, 0);
      // The about box's corner picture overhangs its right edge by one unit
      // and is clipped there.
      const bool corner = id == 208 && c.kind == res::ControlKind::Picture && c.bitmap == 215;
      EXPECT_LE(c.x + c.cx, d->cx + (corner ? 1 : 0));
      EXPECT_LE(c.y + c.cy, d->cy);
      if (c.kind == res::ControlKind::Picture) {
        EXPECT_FALSE(res::LoadBitmap(c.bitmap).Empty());
      }
    }
  }
  for (int id : {0, 101, 103, 236, 1000}) EXPECT_EQ(res::FindDialog(id), nullptr) << id;
}

}  // namespace
