#pragma once
// Minute:second:frame addresses of a CD and the logical block addresses the
// program works in. A second holds 75 frames (sectors); MSF 00:02:00 is LBA 0,
// the 150 sectors before it being the first track's pregap; minutes 90 to 99
// address the lead-in, whose LBAs are negative.
#include <cstdint>

namespace disc {

constexpr int kFramesPerSecond = 75;
constexpr int kSecondsPerMinute = 60;
constexpr int kFramesPerMinute = kFramesPerSecond * kSecondsPerMinute;
constexpr std::int32_t kLbaOffset = 150;         // frames before LBA 0
constexpr int kLeadInMinute = 90;                 // the first minute that lies in the lead-in
constexpr std::int32_t kLeadInOffset = 450150;    // frames to take off a lead-in address
constexpr std::int64_t kFramesPer90Minutes = 405000;

// "No position", as a descriptor's FF:FF:FF reads.
constexpr std::int32_t kNoPosition = 0xFFFFFF;

struct Msf {
  int m = 0, s = 0, f = 0;
};

// Frames counted from 00:00:00, without any offset.
constexpr std::int64_t MsfToFrames(std::int64_t m, std::int64_t s, std::int64_t f) {
  return (m * kSecondsPerMinute + s) * kFramesPerSecond + f;
}

// The frame count split into minutes (not wrapped at 100), seconds and
// frames. A count below 0 lies in the lead-in, which counts from minute 90.
constexpr Msf FramesToMsf(std::int64_t frames) {
  if (frames < 0) frames += kLeadInOffset - kLbaOffset;
  if (frames < 0) return {};
  return {static_cast<int>(frames / kFramesPerMinute), static_cast<int>(frames / kFramesPerSecond % kSecondsPerMinute),
          static_cast<int>(frames % kFramesPerSecond)};
}

// The address of a TOC position: FF:FF:FF is no position; minutes of 90 and
// more are the negative addresses of the lead-in.
constexpr std::int32_t MsfToLba(unsigned m, unsigned s, unsigned f) {
  if (m == 0xFF && s == 0xFF && f == 0xFF) return kNoPosition;
  const auto v = static_cast<std::int32_t>(MsfToFrames(m, s, f));
  return m < static_cast<unsigned>(kLeadInMinute) ? v - kLbaOffset : v - kLeadInOffset;
}

// The time of an address as a TOC or a sector header gives it: the program
// area from 00:00:00 at LBA -150, the lead-in below that from minute 90 on.
constexpr Msf LbaToMsf(std::int64_t lba) { return FramesToMsf(lba + kLbaOffset); }

}  // namespace disc
