// The sector checks of verify: a clean sector of each kind passes, one
// flipped bit in each is caught, and the image walk reports what the image
// itself marks or lacks.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "platform/orvane/CdSector.h"
#include "platform/orvane/ImageVerify.h"
#include "platform/orvane/SectorCheck.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

namespace {

using orvane::TrackMode;
using testsupport::Bytes;
using testsupport::RawMode;

constexpr std::int32_t kLba = 1234;

Bytes Sector(RawMode mode) {
  const Bytes user = testsupport::PatternSectors(kLba, 1, 2336);
  return testsupport::RawSector(kLba, mode, user.data(), user.size());
}

unsigned Flipped(Bytes s, std::size_t byte, TrackMode mode) {
  s[byte] ^= 0x04;
  return orvane::CheckRawSector(s.data(), kLba, mode);
}

TEST(SectorCheck, EachKindCleanAndWithOneFlippedBit) {
  const Bytes m1 = Sector(RawMode::Mode1);
  EXPECT_EQ(orvane::CheckRawSector(m1.data(), kLba, TrackMode::Mode1), 0u);
  EXPECT_EQ(Flipped(m1, 100, TrackMode::Mode1), orvane::kFaultEdc | orvane::kFaultEcc);
  EXPECT_EQ(Flipped(m1, 2300, TrackMode::Mode1), orvane::kFaultEcc);  // in the Q parity
  EXPECT_EQ(Flipped(m1, 2070, TrackMode::Mode1), orvane::kFaultEcc);  // the zero bytes after the EDC
  EXPECT_TRUE(Flipped(m1, 5, TrackMode::Mode1) & orvane::kFaultSync);
  EXPECT_TRUE(Flipped(m1, 14, TrackMode::Mode1) & orvane::kFaultAddress);
  EXPECT_EQ(orvane::CheckRawSector(m1.data(), kLba + 1, TrackMode::Mode1), orvane::kFaultAddress);
  EXPECT_TRUE(orvane::CheckRawSector(m1.data(), kLba, TrackMode::Mode2Xa) & orvane::kFaultMode);

  const Bytes f1 = Sector(RawMode::Mode2Form1);
  EXPECT_EQ(orvane::CheckRawSector(f1.data(), kLba, TrackMode::Mode2Xa), 0u);
  EXPECT_EQ(Flipped(f1, 1000, TrackMode::Mode2Xa), orvane::kFaultEdc | orvane::kFaultEcc);
  EXPECT_EQ(Flipped(f1, 2100, TrackMode::Mode2Xa), orvane::kFaultEcc);
  // Form 1's ECC leaves the header out: a wrong address is only that.
  EXPECT_EQ(Flipped(f1, 13, TrackMode::Mode2Xa), orvane::kFaultAddress);

  const Bytes f2 = Sector(RawMode::Mode2Form2);
  EXPECT_EQ(orvane::CheckRawSector(f2.data(), kLba, TrackMode::Mode2Xa), 0u);
  EXPECT_EQ(Flipped(f2, 2000, TrackMode::Mode2Xa), orvane::kFaultEdc);
  Bytes noEdc = f2;
  std::memset(noEdc.data() + 2348, 0, 4);  // Form 2 may go without an EDC
  EXPECT_EQ(orvane::CheckRawSector(noEdc.data(), kLba, TrackMode::Mode2Xa), 0u);
  EXPECT_EQ(Flipped(noEdc, 2000, TrackMode::Mode2Xa), 0u);

  // Formless Mode 2 and Mode 0 carry no check bytes: sync and header only.
  const Bytes formless = Sector(RawMode::Mode2Formless);
  EXPECT_EQ(Flipped(formless, 1000, TrackMode::Mode2Formless), 0u);
  EXPECT_EQ(Flipped(formless, 0, TrackMode::Mode2Formless), orvane::kFaultSync);
  EXPECT_EQ(Flipped(formless, 12, TrackMode::Mode2Formless), orvane::kFaultAddress);
  Bytes mode0(2352, 0);
  orvane::WriteSyncAndHeader(mode0.data(), kLba, 0);
  EXPECT_EQ(orvane::CheckRawSector(mode0.data(), kLba, TrackMode::Mode1), 0u);
  EXPECT_EQ(Flipped(mode0, 11, TrackMode::Mode1), orvane::kFaultSync);
  EXPECT_EQ(Flipped(mode0, 14, TrackMode::Mode2Xa), orvane::kFaultAddress);

  // The same Form 1 sector kept without sync and header.
  EXPECT_EQ(orvane::CheckMode2Body(f1.data() + 16, kLba, TrackMode::Mode2Xa), 0u);
  Bytes body(f1.begin() + 16, f1.end());
  body[500] ^= 1;
  EXPECT_EQ(orvane::CheckMode2Body(body.data(), kLba, TrackMode::Mode2Xa), orvane::kFaultEdc | orvane::kFaultEcc);
}

TEST(SectorCheck, SubQCrcInBothLayouts) {
  std::uint8_t sub[96];
  orvane::BuildSubchannelPQ(sub, kLba, 0x04, 1, 1, 0);
  EXPECT_TRUE(orvane::SubQValid(sub, false));
  sub[40] ^= 0x40;  // one Q bit
  EXPECT_FALSE(orvane::SubQValid(sub, false));
  sub[40] ^= 0x40 | 0x80;  // a P bit plays no part
  EXPECT_TRUE(orvane::SubQValid(sub, false));

  std::uint8_t linear[96] = {};
  for (int i = 0; i < 96; ++i)
    if (sub[i] & 0x40) linear[12 + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  EXPECT_TRUE(orvane::SubQValid(linear, true));
  linear[15] ^= 0x01;
  EXPECT_FALSE(orvane::SubQValid(linear, true));
  const std::uint8_t blank[96] = {};
  EXPECT_FALSE(orvane::SubQValid(blank, false));  // no Q recorded is no valid Q
}

TEST(ImageVerify, MarkedShortAndDamagedSectorsAreListed) {
  // Ten Mode 1 sectors with sub-channel (2448 a sector), the file cut inside the last.
  Bytes file;
  for (std::int32_t i = 0; i < 10; ++i) {
    const Bytes user = testsupport::PatternSectors(static_cast<std::uint32_t>(i), 1, 2048);
    Bytes s = testsupport::RawSector(i, RawMode::Mode1, user.data(), user.size());
    std::uint8_t sub[96];
    orvane::BuildSubchannelPQ(sub, i, 0x04, 1, 1, 0);
    if (i == 3) sub[7] ^= 0x40;
    if (i == 6) s[500] ^= 0x80;
    file.insert(file.end(), s.begin(), s.end());
    file.insert(file.end(), sub, sub + 96);
  }
  file.resize(file.size() - 100);
  auto track = testsupport::MemoryTrack(1, TrackMode::Mode1, 0, 10,
                                        std::make_shared<testsupport::MemoryImageFile>(file),
                                        orvane::StoredFormat::Raw2352, 2448);
  track.extents[0].hasSubchannel = true;
  track.extents[0].subchannelOffset = 2352;
  auto layout = testsupport::MemoryDisc({track});
  layout.badSectors = {{8, 1}};
  std::atomic<bool> stop{false};
  const orvane::VerifyReport r = orvane::VerifyImage(layout, stop);
  ASSERT_EQ(r.failures.size(), 4u);
  EXPECT_EQ(r.failures[0].lba, 3);
  EXPECT_EQ(r.failures[0].faults, orvane::kFaultSubQ);
  EXPECT_EQ(r.failures[1].lba, 6);
  EXPECT_EQ(r.failures[1].faults, orvane::kFaultEdc | orvane::kFaultEcc);
  EXPECT_EQ(r.failures[2].lba, 8);
  EXPECT_EQ(r.failures[2].faults, orvane::kFaultUnreadable);
  EXPECT_EQ(r.failures[3].lba, 9);
  EXPECT_EQ(r.failures[3].faults, orvane::kFaultUnreadable);
  ASSERT_EQ(r.tracks.size(), 1u);
  EXPECT_EQ(r.tracks[0].sectors, 9u);  // the cut sector is not in the checksums
  EXPECT_EQ(r.tracks[0].bytes, 9u * 2352);
  EXPECT_EQ(r.tracks[0].checked, 9u);
  EXPECT_EQ(orvane::SectorFaultNames(orvane::kFaultEdc | orvane::kFaultEcc), "edc, ecc");

  // A layout claiming far more sectors than its file holds: the missing ones
  // are counted without being read or listed one by one past the limit.
  layout.tracks[0].extents[0].count = 0xFFFFFFF0u;
  const orvane::VerifyReport huge = orvane::VerifyImage(layout, stop);
  EXPECT_EQ(huge.failed, 0xFFFFFFF0u - 9 + 3);  // every sector from 9 on, and 3, 6 and 8
  EXPECT_EQ(huge.failures.size(), orvane::kMostListedFailures);
}

}  // namespace
