#pragma once
// Unaligned reads of on-disc (little-endian) and MMC (big-endian) fields.
#include <cstdint>

inline std::uint16_t GetLE16(const void* p) {
  auto b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint16_t GetBE16(const void* p) {
  auto b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}
inline std::uint32_t GetLE32(const void* p) {
  auto b = static_cast<const std::uint8_t*>(p);
  return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
         (std::uint32_t(b[3]) << 24);
}
inline std::uint32_t GetBE32(const void* p) {
  auto b = static_cast<const std::uint8_t*>(p);
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
         std::uint32_t(b[3]);
}
inline std::uint64_t GetLE64(const void* p) {
  auto b = static_cast<const std::uint8_t*>(p);
  return std::uint64_t(GetLE32(b)) | (std::uint64_t(GetLE32(b + 4)) << 32);
}
// Stores the low 16 bits of v high byte first.
inline void PutBE16(void* p, std::uint32_t v) {
  auto b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(v >> 8);
  b[1] = static_cast<std::uint8_t>(v);
}
inline void PutBE32(void* p, std::uint32_t v) {
  auto b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(v >> 24);
  b[1] = static_cast<std::uint8_t>(v >> 16);
  b[2] = static_cast<std::uint8_t>(v >> 8);
  b[3] = static_cast<std::uint8_t>(v);
}
inline void PutLE16(void* p, std::uint32_t v) {
  auto b = static_cast<std::uint8_t*>(p);
  b[0] = static_cast<std::uint8_t>(v);
  b[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLE32(void* p, std::uint32_t v) {
  auto b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutLE64(void* p, std::uint64_t v) {
  auto b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
