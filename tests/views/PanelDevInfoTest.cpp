// The device capability rows from mode page 2Ah and GET CONFIGURATION.
#include <gtest/gtest.h>

#include "disc/ByteOrder.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgDevInfo.h"
#include "views/CDlgDevInfoRows.h"

using paneltest::MakeTestDevice;

namespace {

std::vector<std::uint8_t> Page(std::uint8_t b2, std::uint8_t b3, std::uint8_t b4 = 0, std::uint8_t b5 = 0) {
  std::vector<std::uint8_t> p(28, 0);
  p[0] = 0x2A;
  p[1] = 26;
  p[2] = b2;
  p[3] = b3;
  p[4] = b4;
  p[5] = b5;
  return p;
}

std::vector<std::string> Support(CDlgDevInfo& dlg) {
  std::vector<std::string> s;
  for (int r = 0; r < dlg.List().GetItemCount(); ++r) s.push_back(dlg.List().GetItemText(r, 0));
  return s;
}

}  // namespace

TEST(PanelDevInfo, ReadAndWriteRowsFollowThePageBits) {
  auto t = MakeTestDevice();
  t.drive->capabilities = Page(0x3B, 0x33);
  CDlgDevInfo dlg;
  dlg.SetDevice(t.device.get());
  ASSERT_EQ(dlg.List().GetItemCount(), 29);
  const auto s = Support(dlg);
  auto name = [&](int r) { return dlg.List().GetItemText(r, 1); };
  // Reads: CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM.
  for (int r : {12, 13, 16, 18, 19}) EXPECT_EQ(s[r], "Yes") << name(r);
  for (int r : {14, 15, 17}) EXPECT_EQ(s[r], "No") << name(r);
  // Writes: CD-R, CD-RW, DVD-R, DVD-RAM.
  for (int r : {22, 23, 26, 28}) EXPECT_EQ(s[r], "Yes") << name(r);
  for (int r : {24, 25, 27}) EXPECT_EQ(s[r], "No") << name(r);
  for (int r = 1; r <= 9; ++r) EXPECT_EQ(s[r], "No") << name(r);
  // Headings and blank rows.
  for (int r : {0, 10, 11, 20, 21}) EXPECT_EQ(s[r], "");
  EXPECT_EQ(name(0), "<General Features>");
  EXPECT_EQ(name(11), "<Read Features>");
  EXPECT_EQ(name(21), "<Write Features>");
  EXPECT_EQ(name(10), "");
  EXPECT_EQ(name(20), "");
  EXPECT_EQ(name(28), "DVD_RAM WRITESupport");
  EXPECT_EQ(dlg.List().GetColumn(0)->heading, "Support");
  EXPECT_EQ(dlg.List().GetColumn(1)->width, 350);
}

TEST(PanelDevInfo, EachGeneralBitHasItsRow) {
  // bit of byte 4 or 5 -> row
  const struct {
    int byte, bit, row;
  } cases[] = {{5, 4, 1}, {5, 1, 2}, {5, 0, 3}, {5, 5, 4}, {4, 4, 5}, {4, 5, 6}, {5, 3, 7}, {5, 2, 8}, {5, 6, 9}};
  for (const auto& c : cases) {
    std::uint8_t page[32] = {0x2A};
    page[c.byte] = static_cast<std::uint8_t>(1u << c.bit);
    const auto rows = BuildDevInfoRows(page, false, false);
    for (int r = 1; r <= 9; ++r) EXPECT_EQ(rows[r].first, r == c.row ? "Yes" : "No") << c.byte << "/" << c.bit;
  }
}

TEST(PanelDevInfo, FeaturesDecideTheDvdPlusAndDvdMinusRwRows) {
  auto t = MakeTestDevice();
  t.drive->capabilities = Page(0, 0);
  t.drive->features = {0x0000, 0x0001, 0x002A};
  CDlgDevInfo dlg;
  dlg.SetDevice(t.device.get());
  auto s = Support(dlg);
  for (int r : {14, 15, 24, 25}) EXPECT_EQ(s[r], "Yes");
  for (int r : {17, 27}) EXPECT_EQ(s[r], "No");
  t.drive->features = {0x002F};
  dlg.SetDevice(t.device.get());
  s = Support(dlg);
  for (int r : {17, 27}) EXPECT_EQ(s[r], "Yes");
  for (int r : {14, 15, 16, 24, 25, 26}) EXPECT_EQ(s[r], "No");
}

TEST(PanelDevInfo, FeatureWalkStaysInsideTheData) {
  std::vector<std::uint8_t> c(2048, 0);
  PutBE32(c.data(), 0xFFFFFFF0);  // claims far more than was received
  // Descriptors of length 4 + 0 fill the buffer; the feature sought is nowhere.
  for (std::size_t off = 8; off + 4 <= c.size(); off += 4) PutBE16(c.data() + off, 0x0001);
  EXPECT_FALSE(ConfigHasFeature(c.data(), 2048, 0x002A));
  // The last whole descriptor is still found.
  PutBE16(c.data() + 2044, 0x002A);
  EXPECT_TRUE(ConfigHasFeature(c.data(), 2048, 0x002A));
  // A Data Length that ends before a descriptor hides it.
  PutBE32(c.data(), 8);
  EXPECT_FALSE(ConfigHasFeature(c.data(), 2048, 0x002A));
  PutBE16(c.data() + 8, 0x002F);
  EXPECT_TRUE(ConfigHasFeature(c.data(), 2048, 0x002F));
  EXPECT_FALSE(ConfigHasFeature(c.data(), 4, 0x002F));
}

TEST(PanelDevInfo, NoModePageMeansNoRows) {
  auto t = MakeTestDevice();
  t.drive->features = {0x002A};
  CDlgDevInfo dlg;
  t.drive->capabilities = Page(1, 1);
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 29);
  t.drive->capabilities.reset();
  dlg.SetDevice(t.device.get());
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  EXPECT_EQ(dlg.List().GetColumnCount(), 2);
}
