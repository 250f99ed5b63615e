#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "disc/ByteOrder.h"
#include "disc/TextCodec.h"

TEST(ByteOrder, ReadsUnalignedInBothOrders) {
  const unsigned char b[] = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  EXPECT_EQ(GetLE16(b + 1), 0x0201);
  EXPECT_EQ(GetBE16(b + 1), 0x0102);
  EXPECT_EQ(GetLE32(b + 1), 0x04030201u);
  EXPECT_EQ(GetBE32(b + 1), 0x01020304u);
  EXPECT_EQ(GetLE64(b + 1), 0x0807060504030201ull);
  unsigned char out[3] = {0, 0, 0x77};
  PutBE16(out, 0x12345678);
  EXPECT_EQ(out[0], 0x56);
  EXPECT_EQ(out[1], 0x78);
  EXPECT_EQ(out[2], 0x77);
  const unsigned char hi[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(GetBE32(hi), 0xFFFFFFFFu);
}

TEST(WideText, Utf16ToUtf8WithSurrogatesAndDamage) {
  const char16_t text[] = {u'A', 0x00E9, 0x20AC, 0xD83D, 0xDCBF, 0xD800, u'B', 0xDC00};
  EXPECT_EQ(WideToAnsi(text, 8), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x92\xBF\xEF\xBF\xBD" "B\xEF\xBF\xBD");
  EXPECT_EQ(WideToAnsi(text, 0), "");
  EXPECT_EQ(WideToAnsi(nullptr, 5), "");
  // A high surrogate at the very end is not paired with what lies past count.
  EXPECT_EQ(WideToAnsi(text + 3, 1), "\xEF\xBF\xBD");
}

TEST(WideText, BoundedOutputNeverCutsACharacter) {
  const char16_t text[] = {u'a', 0x20AC, u'b'};  // "a€b": 1 + 3 + 1 bytes
  char buf[8];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(WideToAnsi(text, 3, buf, 4), 1u);  // room for 3 bytes: the euro sign does not fit
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(WideToAnsi(text, 3, buf, 5), 4u);
  EXPECT_STREQ(buf, "a\xE2\x82\xAC");
  EXPECT_EQ(WideToAnsi(text, 3, buf, sizeof buf), 5u);
  EXPECT_EQ(WideToAnsi(text, 3, nullptr, 0), 5u);
  EXPECT_EQ(WideToAnsi(text, 3, buf, 0), 0u);
}

TEST(WideText, BigEndianAndLatin1Sources) {
  const unsigned char joliet[] = {0x00, 'R', 0x00, 0xE9, 0x04, 0x14, 0x00};  // odd trailing byte dropped
  EXPECT_EQ(Utf16BeToUtf8(joliet, sizeof joliet), "R\xC3\xA9\xD0\x94");
  const unsigned char latin[] = {'C', 'a', 'f', 0xE9};
  EXPECT_EQ(Latin1ToUtf8(latin, 4), "Caf\xC3\xA9");
  char small[4];
  EXPECT_EQ(CopyUtf8Bounded("\xF0\x9F\x92\xBF", small, sizeof small), 0u);
  EXPECT_STREQ(small, "");
}

// Text files of other tools are UTF-8 only when every sequence is whole;
// a Latin-1 byte above 0x7F, or a sequence cut by the end, says Latin-1.
TEST(WideText, Utf8OrLatin1) {
  EXPECT_TRUE(IsUtf8(""));
  EXPECT_TRUE(IsUtf8("plain ASCII"));
  EXPECT_TRUE(IsUtf8("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xBF"));
  EXPECT_FALSE(IsUtf8("Caf\xE9"));              // Latin-1 e acute
  EXPECT_FALSE(IsUtf8("\xE2\x82"));             // cut by the end
  EXPECT_FALSE(IsUtf8("\xC3(x"));               // a lead byte without its continuation
  EXPECT_FALSE(IsUtf8("\x80"));                 // a continuation byte alone
  EXPECT_EQ(Latin1ToUtf8(std::string_view("\xE9t\xE9")), "\xC3\xA9t\xC3\xA9");
}
