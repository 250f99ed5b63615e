#pragma once
// Checking a disc image against itself: every stored raw data sector's sync,
// header, EDC and ECC, the Q sub-channel's CRC where the image keeps
// sub-channel, and each track's checksums over the bytes a per-track .bin
// of the disc would hold (the form disc databases list).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/codec/Hash.h"
#include "platform/orvane/DiscImage.h"

namespace orvane {

struct SectorFailure {
  std::int32_t lba = 0;
  int track = 0;
  unsigned faults = 0;  // SectorFault bits
};

struct TrackCheck {
  int number = 0;
  int session = 0;
  TrackMode mode = TrackMode::Mode1;
  std::int32_t first = 0;       // first stored sector hashed (index 00 where stored)
  std::uint32_t sectors = 0;    // stored sectors hashed
  std::uint32_t sectorBytes = 0;  // 2352, or 2048 where the image keeps only user data
  std::uint64_t bytes = 0;
  std::uint64_t checked = 0;    // raw data sectors whose EDC/ECC or header could be checked
  codec::Digests digests;
};

enum class VerifyOutcome {
  Done,     // every stored sector was looked at (one a file could not give is a failure)
  Stopped,  // the stop flag was raised; the figures cover what was read
};

// Failures listed one by one; past this many (a damaged or cut image of a
// whole disc) they are only counted, so a hostile layout cannot fill memory.
constexpr std::size_t kMostListedFailures = 100000;

struct VerifyReport {
  VerifyOutcome outcome = VerifyOutcome::Done;
  std::uint64_t failed = 0;  // every failing sector, listed or not
  std::vector<TrackCheck> tracks;
  std::vector<SectorFailure> failures;  // the first kMostListedFailures, in sector order
};

// Walks every track's stored sectors in order. progress (may be empty) gets
// the sectors done and the total now and then.
VerifyReport VerifyImage(const DiscLayout& layout, const std::atomic<bool>& stop,
                         const std::function<void(std::uint64_t, std::uint64_t)>& progress = {});

}  // namespace orvane
