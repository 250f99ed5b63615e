#include "platform/orvane/CdSector.h"

#include <array>
#include <cstring>

#include "disc/Msf.h"

namespace orvane {
namespace {

struct Tables {
  std::array<std::uint8_t, 256> f{};   // multiply by alpha in GF(2^8), poly 0x11D
  std::array<std::uint8_t, 256> b{};   // divide by (alpha + 1)
  std::array<std::uint32_t, 256> edc{};
  Tables() {
    for (unsigned i = 0; i < 256; ++i) {
      unsigned j = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
      f[i] = static_cast<std::uint8_t>(j);
      b[i ^ j] = static_cast<std::uint8_t>(i);
      std::uint32_t e = i;
      for (int k = 0; k < 8; ++k) e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0);
      edc[i] = e;
    }
  }
};
const Tables& T() {
  static const Tables t;
  return t;
}

// One set of RSPC codewords over the 2340 bytes from the header on.
void EccBlock(const std::uint8_t* src, std::uint32_t majorCount, std::uint32_t minorCount, std::uint32_t majorMult,
              std::uint32_t minorInc, std::uint8_t* dest) {
  const auto& t = T();
  const std::uint32_t size = majorCount * minorCount;
  for (std::uint32_t major = 0; major < majorCount; ++major) {
    std::uint32_t index = (major >> 1) * majorMult + (major & 1);
    std::uint8_t a = 0, b = 0;
    for (std::uint32_t minor = 0; minor < minorCount; ++minor) {
      std::uint8_t v = src[index];
      index += minorInc;
      if (index >= size) index -= size;
      a ^= v;
      b ^= v;
      a = t.f[a];
    }
    a = t.b[t.f[a] ^ b];
    dest[major] = a;
    dest[major + majorCount] = static_cast<std::uint8_t>(a ^ b);
  }
}

}  // namespace

std::uint8_t ToBcd(int v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }
int FromBcd(std::uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

std::uint32_t ComputeEdc(const std::uint8_t* data, std::size_t size) {
  const auto& t = T();
  std::uint32_t edc = 0;
  for (std::size_t i = 0; i < size; ++i) edc = (edc >> 8) ^ t.edc[(edc ^ data[i]) & 0xFF];
  return edc;
}

void ComputeEcc(std::uint8_t* sector, bool zeroAddress) {
  std::uint8_t saved[4] = {};
  if (zeroAddress) {
    std::memcpy(saved, sector + 12, 4);
    std::memset(sector + 12, 0, 4);
  }
  EccBlock(sector + 12, 86, 24, 2, 86, sector + 2076);   // P
  EccBlock(sector + 12, 52, 43, 86, 88, sector + 2248);  // Q
  if (zeroAddress) std::memcpy(sector + 12, saved, 4);
}

// Three BCD bytes of a frame count; lead-in counts wrap to minute 90 and up.
static void PutBcdMsf(std::uint8_t* at, std::int64_t frames) {
  const disc::Msf msf = disc::FramesToMsf(frames);
  at[0] = ToBcd(msf.m % 100);
  at[1] = ToBcd(msf.s);
  at[2] = ToBcd(msf.f);
}

void WriteSyncAndHeader(std::uint8_t* s, std::int32_t lba, std::uint8_t mode) {
  std::memcpy(s, disc::kSyncPattern, disc::kSyncSize);
  PutBcdMsf(s + disc::kHeaderOffset, static_cast<std::int64_t>(lba) + disc::kLbaOffset);
  s[disc::kHeaderModeOffset] = mode;
}

static void PutEdc(std::uint8_t* at, std::uint32_t edc) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(edc >> (8 * i));
}

void BuildMode1Sector(std::uint8_t* s, std::int32_t lba, const std::uint8_t* user) {
  WriteSyncAndHeader(s, lba, 1);
  std::memcpy(s + 16, user, 2048);
  PutEdc(s + 2064, ComputeEdc(s, 2064));
  std::memset(s + 2068, 0, 8);
  ComputeEcc(s, false);
}

void BuildMode2Form1Sector(std::uint8_t* s, std::int32_t lba, const std::uint8_t sub[4], const std::uint8_t* user) {
  WriteSyncAndHeader(s, lba, 2);
  std::memcpy(s + 16, sub, 4);
  std::memcpy(s + 20, sub, 4);
  s[18] &= static_cast<std::uint8_t>(~0x20);
  s[22] &= static_cast<std::uint8_t>(~0x20);
  std::memcpy(s + 24, user, 2048);
  PutEdc(s + 2072, ComputeEdc(s + 16, 2056));
  ComputeEcc(s, true);
}

void BuildMode2Form2Sector(std::uint8_t* s, std::int32_t lba, const std::uint8_t sub[4], const std::uint8_t* user) {
  WriteSyncAndHeader(s, lba, 2);
  std::memcpy(s + 16, sub, 4);
  std::memcpy(s + 20, sub, 4);
  s[18] |= 0x20;
  s[22] |= 0x20;
  std::memcpy(s + 24, user, 2324);
  PutEdc(s + 2348, ComputeEdc(s + 16, 2332));
}

std::uint16_t Crc16Ccitt(const std::uint8_t* p, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ (p[i] << 8));
    for (int b = 0; b < 8; ++b)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

void BuildSubchannelPQ(std::uint8_t* out, std::int32_t lba, std::uint8_t control, int track, int index,
                       std::int32_t trackStart) {
  std::uint8_t q[12] = {};
  q[0] = static_cast<std::uint8_t>(((control & 0x0F) << 4) | 0x01);
  q[1] = ToBcd(track % 100);
  q[2] = ToBcd(index % 100);
  const bool pause = index == 0;
  // In the pregap the relative time counts down to index 01.
  PutBcdMsf(q + 3, pause ? std::int64_t(trackStart) - lba : std::int64_t(lba) - trackStart);
  PutBcdMsf(q + 7, std::int64_t(lba) + disc::kLbaOffset);
  const std::uint16_t crc = static_cast<std::uint16_t>(~Crc16Ccitt(q, 10));
  q[10] = static_cast<std::uint8_t>(crc >> 8);
  q[11] = static_cast<std::uint8_t>(crc);
  for (int i = 0; i < 96; ++i) {
    const bool qbit = (q[i / 8] >> (7 - i % 8)) & 1;
    out[i] = static_cast<std::uint8_t>((pause ? 0x80 : 0) | (qbit ? 0x40 : 0));
  }
}

void BuildMode2FromBody(std::uint8_t* s, std::int32_t lba, const std::uint8_t* body) {
  WriteSyncAndHeader(s, lba, 2);
  std::memcpy(s + 16, body, 2336);
}

}  // namespace orvane
