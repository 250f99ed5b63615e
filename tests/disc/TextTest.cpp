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

TEST(StrictUtf8, RefusesOverlongSurrogateTooHighAndCutCharacters) {
  auto valid = [](const char* s) { return IsValidUtf8(std::string_view(s)); };
  EXPECT_TRUE(valid(""));
  EXPECT_TRUE(valid("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x92\xBF"));  // 1, 2, 3 and 4 bytes
  EXPECT_TRUE(valid("\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF"));  // U+D7FF, U+E000, U+10FFFF
  // Overlong forms of '/', U+07FF and U+FFFF.
  EXPECT_FALSE(valid("\xC0\xAF"));
  EXPECT_FALSE(valid("\xE0\x9F\xBF"));
  EXPECT_FALSE(valid("\xF0\x8F\xBF\xBF"));
  // Surrogates, and the first value past U+10FFFF.
  EXPECT_FALSE(valid("\xED\xA0\x80"));
  EXPECT_FALSE(valid("\xED\xBF\xBF"));
  EXPECT_FALSE(valid("\xF4\x90\x80\x80"));
  // A character cut off at the end, a stray continuation byte, a lead byte
  // followed by another lead.
  EXPECT_FALSE(valid("ab\xE2\x82"));
  EXPECT_FALSE(valid("\xF0\x9F\x92"));
  EXPECT_FALSE(valid("\x80"));
  EXPECT_FALSE(valid("\xC3\xC3\xA9"));
  EXPECT_FALSE(valid("\xF8\x88\x80\x80\x80"));
  // The length given is the end: the bytes past it are never looked at.
  const unsigned char euro[] = {0xE2, 0x82, 0xAC};
  EXPECT_FALSE(IsValidUtf8(euro, 2));
  EXPECT_TRUE(IsValidUtf8(euro, 3));
}

TEST(StrictUtf8, MediumTextIsKeptOrReadAsLatin1) {
  EXPECT_EQ(Utf8OrLatin1("Caf\xC3\xA9"), "Caf\xC3\xA9");
  EXPECT_EQ(Utf8OrLatin1("Caf\xE9"), "Caf\xC3\xA9");
  EXPECT_EQ(Utf8OrLatin1("\xC0\xAF"), "\xC3\x80\xC2\xAF");
  EXPECT_TRUE(IsValidUtf8(Utf8OrLatin1("\xED\xA0\x80\xFF")));
}
