// The volume information view: ISO 9660 and UDF descriptor rows, the text
// rule, dates, and 16-bit identifiers.
#include <gtest/gtest.h>

#include <cstring>

#include "disc/ByteOrder.h"
#include "views/CDlgVol.h"
#include "views/CDlgVolRows.h"

namespace {

using Buf = std::vector<unsigned char>;

void Put(Buf& b, int off, const std::string& s) { std::memcpy(b.data() + off, s.data(), s.size()); }

Buf IsoPvd() {
  Buf b(2048, 0);
  b[0] = 1;
  Put(b, 1, "CD001");
  b[6] = 1;
  std::string id = "MY_DISC";
  id.resize(32, ' ');
  Put(b, 40, id);
  PutLE32(b.data() + 80, 332800);
  PutBE32(b.data() + 84, 332800);
  PutLE16(b.data() + 120, 1);
  PutLE32(b.data() + 132, 1234);
  std::string app = "MKISOFS ISO9660/HFS FILESYSTEM BUILDER";
  app.resize(128, ' ');
  Put(b, 574, app);
  Put(b, 813, "2009031512304500");
  b[829] = 36;  // time zone
  Put(b, 830, "0000000000000000");
  return b;
}

// The UCS-2 big-endian form of an ASCII text, padded with 16-bit spaces.
void PutUcs2(Buf& b, int off, const std::string& s, int bytes) {
  for (int i = 0; i < bytes / 2; ++i) {
    const char c = i < static_cast<int>(s.size()) ? s[i] : ' ';
    b[off + 2 * i] = 0;
    b[off + 2 * i + 1] = static_cast<unsigned char>(c);
  }
}

Buf UdfPvd() {
  Buf b(2048, 0);
  PutLE16(b.data(), 1);  // tag: primary volume descriptor
  // 8-bit dstring: compression 8, "LinuxUDF", length byte 9.
  b[24] = 8;
  Put(b, 25, "LinuxUDF");
  b[55] = 9;
  b[72] = 8;
  Put(b, 73, "1234567890ABCDEFLinuxUDF");
  b[199] = 25;
  b[200] = 0;
  Put(b, 201, "OSTA Compressed Unicode");
  b[264] = 0;
  Put(b, 265, "OSTA Compressed Unicode");
  Put(b, 345, "*mkudffs");  // entity identifier: flags, then "*mkudffs"
  // 15 March 2009, 12:30:45.
  PutLE16(b.data() + 376, 0x1000 | 60);
  PutLE16(b.data() + 378, 2009);
  b[380] = 3;
  b[381] = 15;
  b[382] = 12;
  b[383] = 30;
  b[384] = 45;
  Put(b, 420, "\x01*Linux UDFFS");
  return b;
}

std::string Row(const std::vector<VolRow>& rows, std::size_t i) { return i < rows.size() ? rows[i].second : "<none>"; }

}  // namespace

TEST(PanelVol, IsoRows) {
  const Buf b = IsoPvd();
  const auto rows = BuildVolRows(b.data(), 2048, 1);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0], VolRow("Standard Identifier", "CD001"));
  EXPECT_EQ(rows[1].first, "ISO Volume Identifier");
  EXPECT_EQ(rows[1].second, "MY_DISC" + std::string(25, ' '));  // trailing spaces stay
  EXPECT_EQ(rows[2], VolRow("Volume Space Size", "332800"));
  EXPECT_EQ(rows[3], VolRow("Volume Set Size", "1"));
  EXPECT_EQ(rows[4], VolRow("Path Table Size", "1234"));
  EXPECT_EQ(rows[5].first, "Application Identifier");
  EXPECT_EQ(rows[5].second.substr(0, 38), "MKISOFS ISO9660/HFS FILESYSTEM BUILDER");
  EXPECT_EQ(rows[6], VolRow("Volume Creation Date and Time", "2009-3-15 12:30:45"));
  EXPECT_EQ(rows[7], VolRow("Volume Modification Date and Time", "0-0-0 0:0:0"));
}

TEST(PanelVol, DatesOfEveryShape) {
  unsigned char blank[17];
  std::memset(blank, ' ', sizeof blank);
  EXPECT_EQ(FormatIsoDate(blank), "0-0-0 0:0:0");
  unsigned char zero[17] = {};
  EXPECT_EQ(FormatIsoDate(zero), "0-0-0 0:0:0");
  const unsigned char odd[17] = {'1', '9', '9', '9', '1', '2', '3', '1', '2', '3', '5', '9', '5', '9', '9', '9', 0};
  EXPECT_EQ(FormatIsoDate(odd), "1999-12-31 23:59:59");
  // Digits that stop early are read up to the first non-digit of their part.
  const unsigned char part[17] = {'2', '0', 'x', 'x', '0', '7', '0', '4', '0', '0', '0', '5', '0', '9', 0, 0, 0};
  EXPECT_EQ(FormatIsoDate(part), "20-7-4 0:5:9");
  unsigned char ts[12] = {};
  PutLE16(ts + 2, 2025);
  ts[4] = 1;
  ts[5] = 2;
  ts[6] = 3;
  ts[7] = 4;
  ts[8] = 5;
  EXPECT_EQ(FormatUdfDate(ts), "2025-1-2 3:4:5");
}

TEST(PanelVol, TextRuleDropsLeadingNulsControlAndHighBytes) {
  const unsigned char a[] = {0, 0, 0x08, ' ', '*', 'A', 'B', ' ', 0, 'C'};
  EXPECT_EQ(TrimDescriptorText(a, sizeof a), "AB ");
  const unsigned char high[] = {0x80, 0xE9, 0xFF, 'X', 'y', 0xE9};
  // The high byte inside the text stays; as Latin-1 it becomes UTF-8.
  EXPECT_EQ(TrimDescriptorText(high, sizeof high), "Xy\xC3\xA9");
  const unsigned char none[8] = {};
  EXPECT_EQ(TrimDescriptorText(none, sizeof none), "");
  const unsigned char digits[] = {'0', '1'};
  EXPECT_EQ(TrimDescriptorText(digits, sizeof digits), "01");  // '0' itself is kept
  // A field of 300 bytes without NUL is read to the 255 the buffer holds.
  std::vector<unsigned char> longField(300, 'Z');
  EXPECT_EQ(TrimDescriptorText(longField.data(), longField.size()).size(), 255u);
}

TEST(PanelVol, UdfRows) {
  Buf b = UdfPvd();
  auto rows = BuildVolRows(b.data(), 2048, 2);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0], VolRow("UDF Volume Identifier", "LinuxUDF"));
  EXPECT_EQ(rows[1], VolRow("Volume Set Identifier", "1234567890ABCDEFLinuxUDF"));
  EXPECT_EQ(rows[2], VolRow("Descriptor Character Set", "OSTA Compressed Unicode"));
  EXPECT_EQ(rows[3], VolRow("Explanatory Character Set", "OSTA Compressed Unicode"));
  EXPECT_EQ(rows[4], VolRow("Application Identifier", "mkudffs"));
  EXPECT_EQ(rows[5], VolRow("Recording Date and Time", "2009-3-15 12:30:45"));
  EXPECT_EQ(rows[6], VolRow("Implementation Use", "Linux UDFFS"));
  // File-system type 3 shows the UDF rows as well.
  EXPECT_EQ(BuildVolRows(b.data(), 2048, 3), rows);

  // A 16-bit identifier of 15 characters shows all 15.
  std::memset(b.data() + 24, 0, 32);
  b[24] = 16;
  PutUcs2(b, 25, "ABCDEFGHIJKLMNO", 30);
  b[55] = 31;
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0), "ABCDEFGHIJKLMNO");
  // Non-Latin characters fit too (3 UTF-8 bytes each), and their bytes from
  // 0x80 up are not taken for leading punctuation.
  for (int i = 0; i < 15; ++i) {
    b[25 + 2 * i] = 0x65;  // U+65E5
    b[26 + 2 * i] = 0xE5;
  }
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0).size(), 45u);
  EXPECT_EQ(Row(rows, 0).substr(0, 3), "\xE6\x97\xA5");
  // Leading 16-bit spaces and punctuation still go.
  PutUcs2(b, 25, "  *Name", 14);
  std::memset(b.data() + 39, 0, 16);
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0), "Name");

  // An 8-bit name is Latin-1, whatever it looks like as UTF-8.
  std::memset(b.data() + 24, 0, 32);
  b[24] = 8;
  b[25] = 0xC3;  // "Ã©" in Latin-1, "é" if it were taken as UTF-8
  b[26] = 0xA9;
  b[27] = 'x';
  b[55] = 4;
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0), "x");  // its leading bytes from 0x80 up are dropped
  b[25] = 'A';
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0), "A\xC2\xA9x");

  // A 16-bit volume set identifier is decoded as the volume identifier is.
  std::memset(b.data() + 72, 0, 128);
  b[72] = 16;
  PutUcs2(b, 73, "SetName", 14);
  b[199] = 15;
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 1), "SetName");

  // A full 8-bit name: the length byte is no part of it.
  std::memset(b.data() + 24, 0, 32);
  b[24] = 8;
  Put(b, 25, std::string(30, 'N'));
  b[55] = 31;
  rows = BuildVolRows(b.data(), 2048, 2);
  EXPECT_EQ(Row(rows, 0), std::string(30, 'N'));
}

TEST(PanelVol, JolietIdentifiersAreSixteenBitText) {
  Buf b = IsoPvd();
  b[0] = 2;
  Put(b, 88, "%/E");
  PutUcs2(b, 40, "Joliet Disc", 32);
  PutUcs2(b, 574, "GENISOIMAGE", 128);
  const auto rows = BuildIsoVolRows(b.data(), 2048);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[1].second, "Joliet Disc" + std::string(5, ' '));
  EXPECT_EQ(rows[5].second, "GENISOIMAGE" + std::string(53, ' '));
  EXPECT_EQ(rows[2].second, "332800");
  // Without the escape sequence a type-2 descriptor is 8-bit text.
  b[90] = 'X';
  // (read by the 8-bit rule, a Latin name shows only its first letter).
  EXPECT_EQ(BuildIsoVolRows(b.data(), 2048)[1].second, "J");
}

TEST(PanelVol, ViewKeepsOrClearsRowsAsAsked) {
  CDlgVol dlg;
  const Buf iso = IsoPvd();
  dlg.ShowDescriptor(iso.data(), 2048, 1);
  ASSERT_EQ(dlg.List().GetItemCount(), 8);
  EXPECT_EQ(dlg.List().GetItemText(2, 1), "332800");
  EXPECT_EQ(dlg.List().GetColumn(1)->heading, "Infomation");
  // A null buffer or a size of 0: the previous rows stay.
  dlg.ShowDescriptor(nullptr, 2048, 1);
  dlg.ShowDescriptor(iso.data(), 0, 1);
  EXPECT_EQ(dlg.List().GetItemCount(), 8);
  // Too large a size, or an unknown type, empties the list.
  dlg.ShowDescriptor(iso.data(), 4096, 1);
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  dlg.ShowDescriptor(iso.data(), 2048, 1);
  dlg.ShowDescriptor(iso.data(), 2048, 0);
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
  // A short buffer is read as far as it goes.
  dlg.ShowDescriptor(iso.data(), 100, 1);
  ASSERT_EQ(dlg.List().GetItemCount(), 8);
  EXPECT_EQ(dlg.List().GetItemText(2, 1), "332800");
  EXPECT_EQ(dlg.List().GetItemText(6, 1), "0-0-0 0:0:0");
}
