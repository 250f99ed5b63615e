#include "disc/UdfTag.h"

#include "disc/ByteOrder.h"

std::uint8_t UdfTagChecksum(const std::uint8_t* tag) {
  unsigned sum = 0;
  for (int i = 0; i < kUdfTagSize; ++i)
    if (i != kUdfTagChecksumAt) sum += tag[i];
  return static_cast<std::uint8_t>(sum);
}

bool UdfTagChecksumValid(const std::uint8_t* tag) { return UdfTagChecksum(tag) == tag[kUdfTagChecksumAt]; }

bool IsUdfTag(const std::uint8_t* tag, std::uint16_t id) { return GetLE16(tag) == id && UdfTagChecksumValid(tag); }
