#pragma once
// Shared by the image-reader tests: open an image, read what its layout
// stores for a sector, and check a refusal's reason.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/orvane/Readers.h"
#include "tests/support/CdImages.h"

namespace readertest {

using testsupport::Bytes;

// The stored bytes of one sector exactly as the image file holds them.
inline Bytes StoredSector(const orvane::DiscLayout& l, std::int32_t lba) {
  for (const auto& t : l.tracks)
    for (const auto& e : t.extents)
      if (lba >= e.firstLba && lba < e.firstLba + static_cast<std::int64_t>(e.count)) {
        if (!e.file) return {};
        Bytes b(e.stride);
        b.resize(e.file->ReadAt(e.offset + std::uint64_t(lba - e.firstLba) * e.stride, b.data(), b.size()));
        return b;
      }
  return {};
}

inline const orvane::Extent* ExtentAt(const orvane::DiscLayout& l, std::int32_t lba) {
  for (const auto& t : l.tracks)
    for (const auto& e : t.extents)
      if (lba >= e.firstLba && lba < e.firstLba + static_cast<std::int64_t>(e.count)) return &e;
  return nullptr;
}

// The address PatternSectors wrote into the first four bytes of a sector's user data.
inline std::uint32_t PatternLba(const std::uint8_t* user) {
  std::uint32_t v;
  std::memcpy(&v, user, 4);
  return v;
}

inline std::uint32_t UserDataLba(const orvane::DiscLayout& l, std::int32_t lba) {
  std::uint8_t buf[2048];
  if (!orvane::ReadUserData(l, lba, buf)) return 0xFFFFFFFF;
  return PatternLba(buf);
}

// Opening must fail, leave no tracks behind, and say why in one line that holds `why`.
inline ::testing::AssertionResult Refused(const std::string& path, const std::string& why) {
  orvane::DiscLayout l;
  std::string error;
  if (orvane::OpenImage(path, l, error)) return ::testing::AssertionFailure() << path << " was accepted";
  if (!l.tracks.empty()) return ::testing::AssertionFailure() << "a refused image left tracks";
  if (error.find('\n') != std::string::npos) return ::testing::AssertionFailure() << "multi-line reason: " << error;
  if (error.find(why) == std::string::npos)
    return ::testing::AssertionFailure() << "reason \"" << error << "\" lacks \"" << why << "\"";
  return ::testing::AssertionSuccess();
}

inline orvane::DiscLayout MustOpen(const std::string& path) {
  orvane::DiscLayout l;
  std::string error;
  EXPECT_TRUE(orvane::OpenImage(path, l, error)) << error;
  return l;
}

}  // namespace readertest
