// Raw sectors checked against a second, deliberately plain reading of the
// CD-ROM error codes: a bit-by-bit CRC whose polynomial is multiplied out
// here, and the P/Q Reed-Solomon codewords checked by their syndromes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/orvane/CdSector.h"

namespace {

using Sector = std::vector<std::uint8_t>;

// (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), multiplied without carries.
std::uint64_t EdcPolynomial() {
  const std::uint64_t a = (1ull << 16) | (1ull << 15) | (1ull << 2) | 1, b = (1ull << 16) | (1ull << 2) | 2 | 1;
  std::uint64_t p = 0;
  for (int i = 0; i < 17; ++i)
    if (b & (1ull << i)) p ^= a << i;
  return p;
}

// Bit by bit, least significant bit of each byte first: the register is
// the remainder of the message polynomial, bit k holding x^(31-k).
std::uint32_t BitwiseEdc(const std::uint8_t* d, std::size_t n) {
  const std::uint64_t poly = EdcPolynomial();
  std::uint32_t reflected = 0;  // x^(31-k) at bit k
  for (int k = 0; k < 32; ++k)
    if (poly & (1ull << (31 - k))) reflected |= 1u << k;
  std::uint32_t r = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (int bit = 0; bit < 8; ++bit) {
      const bool in = ((d[i] >> bit) & 1) != 0;
      const bool top = (r & 1) != 0;
      r >>= 1;
      if (in != top) r ^= reflected;
    }
  return r;
}

std::uint32_t StoredEdc(const Sector& s, std::size_t at) {
  return std::uint32_t(s[at]) | (std::uint32_t(s[at + 1]) << 8) | (std::uint32_t(s[at + 2]) << 16) |
         (std::uint32_t(s[at + 3]) << 24);
}

std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1D : 0));
    b >>= 1;
  }
  return r;
}
std::uint8_t AlphaPow(int n) {
  std::uint8_t r = 1;
  for (int i = 0; i < n; ++i) r = GfMul(r, 2);
  return r;
}

// Both syndromes of every P and Q codeword are zero. The 2340 bytes from the
// header on are 1170 16-bit words, each byte plane its own code; P runs down
// the 43 columns of 24 words plus 2, Q along the 26 diagonals of 43 plus 2.
bool RspcHolds(const Sector& s, bool zeroAddress) {
  Sector v(s.begin() + 12, s.end());
  if (zeroAddress) std::fill(v.begin(), v.begin() + 4, 0);
  for (int plane = 0; plane < 2; ++plane) {
    for (int np = 0; np < 43; ++np) {
      std::uint8_t s0 = 0, s1 = 0;
      for (int mp = 0; mp < 26; ++mp) {
        const std::uint8_t x = v[2 * (43 * mp + np) + plane];
        s0 ^= x;
        s1 ^= GfMul(AlphaPow(25 - mp), x);
      }
      if (s0 || s1) return false;
    }
    for (int nq = 0; nq < 26; ++nq) {
      std::uint8_t s0 = 0, s1 = 0;
      for (int mq = 0; mq < 45; ++mq) {
        const int word = mq < 43 ? (44 * mq + 43 * nq) % 1118 : 1118 + nq + 26 * (mq - 43);
        const std::uint8_t x = v[2 * word + plane];
        s0 ^= x;
        s1 ^= GfMul(AlphaPow(44 - mq), x);
      }
      if (s0 || s1) return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> Data(std::size_t n, int salt) {
  std::vector<std::uint8_t> d(n);
  for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(i * 7 + salt * 31 + (i >> 8));
  return d;
}

TEST(CdSector, EdcAgreesWithBitwiseCrc) {
  EXPECT_EQ(EdcPolynomial(), (1ull << 32) | (1ull << 31) | (1ull << 16) | (1ull << 15) | (1ull << 4) | (1ull << 3) | 2 | 1);
  for (std::size_t n : {std::size_t{1}, std::size_t{2064}, std::size_t{2056}, std::size_t{2332}}) {
    auto d = Data(n, static_cast<int>(n));
    EXPECT_EQ(orvane::ComputeEdc(d.data(), n), BitwiseEdc(d.data(), n)) << n;
  }
}

TEST(CdSector, Mode1SectorLayoutEdcAndEcc) {
  auto user = Data(2048, 1);
  Sector s(2352);
  orvane::BuildMode1Sector(s.data(), 16, user.data());
  const std::uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_TRUE(std::equal(sync, sync + 12, s.begin()));
  // LBA 16 is 00:02:16 once the 2-second lead-in offset is added; BCD.
  EXPECT_EQ(s[12], 0x00);
  EXPECT_EQ(s[13], 0x02);
  EXPECT_EQ(s[14], 0x16);
  EXPECT_EQ(s[15], 0x01);
  EXPECT_TRUE(std::equal(user.begin(), user.end(), s.begin() + 16));
  EXPECT_EQ(StoredEdc(s, 2064), BitwiseEdc(s.data(), 2064));
  for (int i = 2068; i < 2076; ++i) EXPECT_EQ(s[i], 0) << i;
  EXPECT_TRUE(RspcHolds(s, false));

  Sector damaged = s;
  damaged[1000] ^= 0x01;
  EXPECT_FALSE(RspcHolds(damaged, false));
  EXPECT_NE(StoredEdc(damaged, 2064), BitwiseEdc(damaged.data(), 2064));
  damaged = s;
  damaged[2300] ^= 0x80;  // in the Q parity itself
  EXPECT_FALSE(RspcHolds(damaged, false));
}

TEST(CdSector, Mode2FormsSubheaderEdcAndEcc) {
  const std::uint8_t sub[4] = {1, 2, 0x08, 0};
  auto user = Data(2324, 2);
  Sector f1(2352);
  orvane::BuildMode2Form1Sector(f1.data(), 1234, sub, user.data());
  EXPECT_EQ(f1[15], 0x02);
  EXPECT_EQ(f1[16], 1);
  EXPECT_EQ(f1[18] & 0x20, 0);
  EXPECT_TRUE(std::equal(f1.begin() + 16, f1.begin() + 20, f1.begin() + 20));
  EXPECT_EQ(StoredEdc(f1, 2072), BitwiseEdc(f1.data() + 16, 2056));
  // The parity of Form 1 is computed as if the header were zero, so the
  // header itself may differ without breaking the codewords.
  EXPECT_TRUE(RspcHolds(f1, true));
  EXPECT_FALSE(RspcHolds(f1, false));
  Sector bad = f1;
  bad[40] ^= 0x10;
  EXPECT_FALSE(RspcHolds(bad, true));

  Sector f2(2352);
  orvane::BuildMode2Form2Sector(f2.data(), 1234, sub, user.data());
  EXPECT_EQ(f2[18] & 0x20, 0x20);
  EXPECT_EQ(f2[22] & 0x20, 0x20);
  EXPECT_TRUE(std::equal(user.begin(), user.end(), f2.begin() + 24));
  EXPECT_EQ(StoredEdc(f2, 2348), BitwiseEdc(f2.data() + 16, 2332));
}

TEST(CdSector, HeaderAddressesAndBcd) {
  Sector s(2352);
  orvane::WriteSyncAndHeader(s.data(), 449849, 1);  // 99:59:74, the last address there is
  EXPECT_EQ(s[12], 0x99);
  EXPECT_EQ(s[13], 0x59);
  EXPECT_EQ(s[14], 0x74);
  orvane::WriteSyncAndHeader(s.data(), -151, 1);  // one sector before 00:00:00 wraps to 99:59:74
  EXPECT_EQ(s[12], 0x99);
  EXPECT_EQ(s[13], 0x59);
  EXPECT_EQ(s[14], 0x74);
  for (int v : {0, 9, 10, 59, 99}) EXPECT_EQ(orvane::FromBcd(orvane::ToBcd(v)), v);
  EXPECT_EQ(orvane::ToBcd(42), 0x42);
}

}  // namespace
