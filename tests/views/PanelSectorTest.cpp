// The sector viewer: dump lines in their exact columns, which read is used on
// which medium, stepping, keys and saving.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/ui/HeadlessUi.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgSector.h"

using paneltest::MakeTestDevice;
using paneltest::PanelTestDrive;
using paneltest::Read;

namespace {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

}  // namespace

TEST(PanelSector, HeaderRuleAndLineColumns) {
  const std::string h = SectorDumpHeader();
  EXPECT_EQ(h, "    |   0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F  | ");
  ASSERT_EQ(h.size(), 58u);
  EXPECT_EQ(h[4], '|');
  EXPECT_EQ(h[56], '|');
  for (int k = 0; k < 16; ++k) EXPECT_EQ(h[8 + 3 * k], "0123456789ABCDEF"[k]);
  EXPECT_EQ(SectorDumpRule(), std::string(74, '-'));

  unsigned char b[16];
  for (int k = 0; k < 16; ++k) b[k] = static_cast<unsigned char>(0x30 + k);
  const std::string l = SectorDumpLine(0, b);
  EXPECT_EQ(l, "   0|  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  |0123456789:;<=>?");
  ASSERT_EQ(l.size(), 73u);
  // The header's digit k stands over the second digit of byte k.
  for (int k = 0; k < 16; ++k) EXPECT_EQ(l[8 + 3 * k], "0123456789ABCDEF"[k]);
  EXPECT_EQ(SectorDumpLine(0x7F0, b).substr(0, 5), " 7F0|");
  EXPECT_EQ(SectorDumpLine(0x920, b).substr(0, 5), " 920|");
}

TEST(PanelSector, CharacterColumnForEveryByteValueAndPosition) {
  for (int v = 0; v < 256; ++v) {
    for (int pos = 0; pos < 16; ++pos) {
      unsigned char b[16] = {};
      std::memset(b, 'a', sizeof b);
      b[pos] = static_cast<unsigned char>(v);
      const std::string l = SectorDumpLine(0, b);
      const char expect = (v >= 0x1F && v <= 0x7F) ? static_cast<char>(v) : ' ';
      ASSERT_EQ(l[57 + pos], expect) << "byte " << v << " at " << pos;
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", v);
      ASSERT_EQ(l.substr(7 + 3 * pos, 2), hex);
      ASSERT_EQ(l.size(), 73u);
    }
  }
}

TEST(PanelSector, LeadingDecimalReadsLikeTheEditBox) {
  EXPECT_EQ(LeadingDecimal("16"), 16);
  EXPECT_EQ(LeadingDecimal("  42abc"), 42);
  EXPECT_EQ(LeadingDecimal("abc"), 0);
  EXPECT_EQ(LeadingDecimal(""), 0);
  EXPECT_EQ(LeadingDecimal("-5"), -5);
  EXPECT_EQ(LeadingDecimal("99999999999999999999999"), 2147483647);
}

TEST(PanelSector, FirstDisplayIsSectorSixteenRawOrUserData) {
  UiScope ui;
  auto t = MakeTestDevice();
  CDlgSector dlg;
  dlg.SetDevice(t.device.get(), 1);
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "16");
  ASSERT_EQ(t.drive->Reads(), (std::vector<Read>{{0xBE, 16, 1}}));
  // All mode checked: 2352 bytes, 147 lines, the last at 920.
  ASSERT_EQ(dlg.Dump().GetCount(), 2 + 147);
  EXPECT_EQ(dlg.Dump().GetText(0), SectorDumpHeader());
  EXPECT_EQ(dlg.Dump().GetText(148).substr(0, 5), " 920|");
  EXPECT_TRUE(dlg.AllMode().IsWindowEnabled());

  // Unchecked: user data, 128 lines, the last at 7F0.
  t.drive->ClearReads();
  dlg.AllMode().SetCheck(false);
  dlg.OnCommand(CDlgSector::kAllModeId);
  ASSERT_EQ(t.drive->Reads(), (std::vector<Read>{{0xBE, 16, 1}}));
  ASSERT_EQ(dlg.Dump().GetCount(), 2 + 128);
  EXPECT_EQ(dlg.Dump().GetText(129).substr(0, 5), " 7F0|");
  // The buffer is what the drive sent for sector 16.
  EXPECT_EQ(dlg.Buffer()[1], 16 ^ 1);
}

TEST(PanelSector, UserDataFallsBackToReadTenAndAFailedReadEmptiesTheDump) {
  UiScope ui;
  auto t = MakeTestDevice();
  CDlgSector dlg;
  dlg.AllMode().SetCheck(false);
  t.drive->bad[16] = {3, 0x11, 5};  // fails with every read
  dlg.SetDevice(t.device.get(), 1);
  EXPECT_EQ(t.drive->Reads(), (std::vector<Read>{{0xBE, 16, 1}, {0x28, 16, 1}}));
  EXPECT_EQ(dlg.Dump().GetCount(), 0);
  // A good sector refills it.
  dlg.SectorEdit().SetWindowText("17");
  ui::MSG enter{&dlg.SectorEdit(), ui::WM_KEYDOWN, ui::VK_RETURN, 0};
  EXPECT_TRUE(dlg.PreTranslateMessage(&enter));
  EXPECT_EQ(dlg.Dump().GetCount(), 130);
}

TEST(PanelSector, DvdReadsUserDataOnlyAndDisablesAllMode) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->profile = 0x10;
  CDlgSector dlg;
  dlg.SetDevice(t.device.get(), 1);
  EXPECT_FALSE(dlg.AllMode().IsWindowEnabled());
  EXPECT_EQ(t.drive->Reads(), (std::vector<Read>{{0x28, 16, 1}}));
  EXPECT_EQ(dlg.Dump().GetCount(), 130);
}

TEST(PanelSector, DataModeTwoChecksAllModeOnEverySetDevice) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->discInfo = PanelTestDrive::DiscInfo(2, 1, 1, 0xFF);
  CDlgSector dlg;
  dlg.AllMode().SetCheck(false);
  dlg.SetDevice(t.device.get(), 2);
  EXPECT_TRUE(dlg.AllMode().GetSelect());
  dlg.AllMode().SetCheck(false);
  dlg.SetDevice(t.device.get(), 2);
  EXPECT_TRUE(dlg.AllMode().GetSelect());
  EXPECT_EQ(dlg.Dump().GetCount(), 149);
}

TEST(PanelSector, SteppingKeysAndNumbers) {
  UiScope ui;
  auto t = MakeTestDevice();
  CDlgSector dlg;
  dlg.SetDevice(t.device.get(), 1);
  dlg.SectorEdit().SetWindowText("0");
  dlg.OnVScroll(ui::SB_LINEDOWN, 0, &dlg.Stepper());
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "0");
  dlg.OnVScroll(ui::SB_LINEUP, 0, &dlg.Stepper());
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "1");
  EXPECT_EQ(t.drive->Reads().back(), (Read{0xBE, 1, 1}));
  dlg.OnVScroll(ui::SB_PAGEDOWN, 0, &dlg.Stepper());  // other codes change nothing
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "1");
  dlg.SectorEdit().SetWindowText("");
  const auto reads = t.drive->Reads().size();
  dlg.OnVScroll(ui::SB_LINEUP, 0, &dlg.Stepper());
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "");
  EXPECT_EQ(t.drive->Reads().size(), reads);

  // Letters read as sector 0; a negative number reads nothing and keeps the dump.
  dlg.SectorEdit().SetWindowText("abc");
  dlg.ShowSector();
  EXPECT_EQ(t.drive->Reads().back(), (Read{0xBE, 0, 1}));
  const std::string line = dlg.Dump().GetText(2);
  dlg.SectorEdit().SetWindowText("-3");
  dlg.ShowSector();
  EXPECT_EQ(t.drive->Reads().size(), reads + 1);
  EXPECT_EQ(dlg.Dump().GetText(2), line);

  // Enter elsewhere does nothing; Escape is swallowed.
  ui::MSG enterList{&dlg.Dump(), ui::WM_KEYDOWN, ui::VK_RETURN, 0};
  EXPECT_TRUE(dlg.PreTranslateMessage(&enterList));
  EXPECT_EQ(t.drive->Reads().size(), reads + 1);
  ui::MSG esc{&dlg.SectorEdit(), ui::WM_KEYDOWN, ui::VK_ESCAPE, 0};
  EXPECT_TRUE(dlg.PreTranslateMessage(&esc));

  // The remembered text comes back on the next SetDevice; not ready keeps the dump.
  dlg.SectorEdit().SetWindowText("5");
  dlg.ShowSector();
  dlg.SectorEdit().SetWindowText("999");
  t.drive->ready = false;
  dlg.SetDevice(t.device.get(), 1);
  EXPECT_EQ(dlg.SectorEdit().GetWindowText(), "5");
  EXPECT_EQ(dlg.Dump().GetCount(), 149);
}

TEST(PanelSector, SaveWritesTheWholeBuffer) {
  UiScope ui;
  auto t = MakeTestDevice();
  t.drive->fill = 0x5A;
  CDlgSector dlg;
  dlg.AllMode().SetCheck(false);
  dlg.SetDevice(t.device.get(), 1);
  const auto dir = std::filesystem::temp_directory_path() / ("tessal-sector-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / "Sector.dat";
  { std::ofstream(path) << "old contents that are longer than nothing"; }
  ui.hui.QueueFileChoice(path);
  dlg.SaveSector();
  ASSERT_EQ(ui.hui.FileDialogs().size(), 1u);
  EXPECT_EQ(ui.hui.FileDialogs()[0].fileName, "Sector.dat");
  EXPECT_EQ(ui.hui.FileDialogs()[0].defaultExt, "dat");
  EXPECT_EQ(ui.hui.FileDialogs()[0].filter, "Data Files(*.dat)|*.dat||");
  std::ifstream in(path, std::ios::binary);
  std::vector<char> got((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(got.size(), 2352u);
  EXPECT_EQ(static_cast<unsigned char>(got[0]), 0x5A ^ 16);
  for (std::size_t i = 2048; i < 2352; ++i) ASSERT_EQ(got[i], 0) << i;
  // Cancel writes nothing.
  std::filesystem::remove(path);
  dlg.SaveSector();
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::remove_all(dir);
}
