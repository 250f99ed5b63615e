#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "disc/UdfTag.h"

namespace {

// An anchor tag (identifier 2, version 3, serial 0x419C, CRC 0xCDAB, length
// 0x01F0, location 256) whose checksum byte was worked out by hand: the low
// byte of the other fifteen, 0x24C, is 0x4C.
constexpr std::array<std::uint8_t, 20> kAnchorTag = {0x02, 0x00, 0x03, 0x00, 0x4C, 0x00, 0x9C, 0x41, 0xAB, 0xCD,
                                                     0xF0, 0x01, 0x00, 0x01, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44};

TEST(UdfTag, ChecksumOfAGoodTagAndEveryCorruption) {
  EXPECT_EQ(UdfTagChecksum(kAnchorTag.data()), 0x4C);
  EXPECT_TRUE(UdfTagChecksumValid(kAnchorTag.data()));
  EXPECT_TRUE(IsUdfTag(kAnchorTag.data(), 2));
  EXPECT_FALSE(IsUdfTag(kAnchorTag.data(), 1));  // a good checksum, another descriptor
  // One flipped bit anywhere in the sixteen bytes, the checksum byte too, is seen.
  for (int i = 0; i < kUdfTagSize; ++i) {
    auto bad = kAnchorTag;
    bad[i] ^= 0x10;
    EXPECT_FALSE(UdfTagChecksumValid(bad.data())) << "byte " << i;
  }
  // The descriptor past its tag plays no part.
  auto body = kAnchorTag;
  body[16] ^= 0xFF;
  EXPECT_TRUE(UdfTagChecksumValid(body.data()));
}

}  // namespace
