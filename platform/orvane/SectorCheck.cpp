#include "platform/orvane/SectorCheck.h"

#include <cstring>

#include "disc/ByteOrder.h"
#include "platform/orvane/CdSector.h"

namespace orvane {
namespace {

// Layout of a raw sector.
constexpr std::size_t kSyncAndAddress = 15;  // sync (12) and MSF (3)
constexpr std::size_t kModeAt = 15;
constexpr std::size_t kSubHeaderAt = 16;
constexpr std::size_t kSubModeAt = 18;       // first copy of the sub-header's submode
constexpr std::uint8_t kForm2Bit = 0x20;
constexpr std::size_t kMode1EdcAt = 2064;    // EDC over bytes 0-2063
constexpr std::size_t kForm1EdcAt = 2072;    // EDC over the sub-header and data, 16-2071
constexpr std::size_t kForm2EdcAt = 2348;    // EDC over 16-2347
constexpr std::size_t kEccAt = 2076;         // P then Q parity to the sector's end
constexpr std::size_t kBodyAt = 16;
constexpr std::size_t kBodySize = 2336;
// The sub-channel: Q is bit 6 of each interleaved byte, or bytes 12-23 when linear.
constexpr std::size_t kSubchannelSize = 96;
constexpr std::size_t kQSize = 12;
constexpr std::size_t kQCrcAt = 10;

bool EdcMatches(const std::uint8_t* s, std::size_t from, std::size_t at, bool zeroAllowed) {
  const std::uint32_t stored = GetLE32(s + at);
  if (zeroAllowed && stored == 0) return true;
  return ComputeEdc(s + from, at - from) == stored;
}

bool EccMatches(const std::uint8_t* s, bool zeroAddress) {
  std::uint8_t copy[kRawSectorSize];
  std::memcpy(copy, s, kRawSectorSize);
  ComputeEcc(copy, zeroAddress);
  return std::memcmp(copy + kEccAt, s + kEccAt, kRawSectorSize - kEccAt) == 0;
}

// EDC and ECC by the header's mode; the header itself is checked apart.
unsigned CheckPayload(const std::uint8_t* s, TrackMode mode) {
  unsigned faults = 0;
  switch (s[kModeAt]) {
    case 1:
      if (!EdcMatches(s, 0, kMode1EdcAt, false)) faults |= kFaultEdc;
      if (!EccMatches(s, false)) faults |= kFaultEcc;
      break;
    case 2:
      if (mode != TrackMode::Mode2Xa) break;  // formless Mode 2 carries neither
      if (s[kSubModeAt] & kForm2Bit) {
        // Form 2's EDC is optional: 0 says none was recorded.
        if (!EdcMatches(s, kSubHeaderAt, kForm2EdcAt, true)) faults |= kFaultEdc;
      } else {
        if (!EdcMatches(s, kSubHeaderAt, kForm1EdcAt, false)) faults |= kFaultEdc;
        if (!EccMatches(s, true)) faults |= kFaultEcc;
      }
      break;
    default:
      break;  // Mode 0 holds zeros and no check bytes
  }
  return faults;
}

std::uint8_t TrackModeByte(TrackMode mode) { return mode == TrackMode::Mode1 ? 1 : 2; }

}  // namespace

unsigned CheckRawSector(const std::uint8_t* s, std::int32_t lba, TrackMode mode) {
  std::uint8_t expected[kSyncAndAddress + 1];
  WriteSyncAndHeader(expected, lba, TrackModeByte(mode));
  unsigned faults = 0;
  if (std::memcmp(s, expected, 12) != 0) faults |= kFaultSync;
  if (std::memcmp(s + 12, expected + 12, 3) != 0) faults |= kFaultAddress;
  if (s[kModeAt] != 0 && s[kModeAt] != expected[kModeAt]) faults |= kFaultMode;
  return faults | CheckPayload(s, mode);
}

unsigned CheckMode2Body(const std::uint8_t* body, std::int32_t lba, TrackMode mode) {
  std::uint8_t s[kRawSectorSize];
  WriteSyncAndHeader(s, lba, 2);
  std::memcpy(s + kBodyAt, body, kBodySize);
  return CheckPayload(s, mode);
}

bool SubQValid(const std::uint8_t* sub, bool linear) {
  std::uint8_t q[kQSize] = {};
  if (linear) {
    std::memcpy(q, sub + kQSize, kQSize);
  } else {
    for (std::size_t i = 0; i < kSubchannelSize; ++i)
      if (sub[i] & 0x40) q[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  // The CRC is stored inverted, high byte first.
  return static_cast<std::uint16_t>(~Crc16Ccitt(q, kQCrcAt)) == GetBE16(q + kQCrcAt);
}

std::string SectorFaultNames(unsigned faults) {
  static const struct {
    unsigned bit;
    const char* name;
  } kNames[] = {{kFaultSync, "sync"}, {kFaultAddress, "address"}, {kFaultMode, "mode"},          {kFaultEdc, "edc"},
                {kFaultEcc, "ecc"},   {kFaultSubQ, "subq"},       {kFaultUnreadable, "unreadable"}};
  std::string s;
  for (const auto& n : kNames) {
    if (!(faults & n.bit)) continue;
    if (!s.empty()) s += ", ";
    s += n.name;
  }
  return s;
}

}  // namespace orvane
