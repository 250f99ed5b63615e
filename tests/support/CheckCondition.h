#pragma once
// A drive's CHECK CONDITION answer with fixed-format sense, for the test
// transports that refuse commands the way a drive does.
#include <cstdint>

#include "disc/Transport.h"

namespace testsupport {

inline ScsiResult CheckCondition(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0) {
  ScsiResult r;
  r.status = 2;
  r.sense[0] = 0x70;
  r.sense[2] = key;
  r.sense[7] = 10;
  r.sense[12] = asc;
  r.sense[13] = ascq;
  r.senseLength = 18;
  return r;
}

}  // namespace testsupport
