#pragma once
// An image served as a drive: a Transport that answers MMC commands from a
// disc layout with the data, errors and sense codes a real drive gives.
#include <memory>
#include <string>

#include "disc/Transport.h"
#include "platform/orvane/DiscImage.h"

namespace orvane {

std::unique_ptr<Transport> CreateVirtualDrive(DiscLayout layout, std::string path);

// Sense codes the virtual drive answers with (key, ASC, ASCQ).
struct SenseCode {
  std::uint8_t key, asc, ascq;
};
constexpr SenseCode kSenseInvalidOpcode{0x05, 0x20, 0x00};
constexpr SenseCode kSenseLbaOutOfRange{0x05, 0x21, 0x00};
constexpr SenseCode kSenseInvalidField{0x05, 0x24, 0x00};
constexpr SenseCode kSenseIllegalModeForTrack{0x05, 0x64, 0x00};
constexpr SenseCode kSenseUnrecoveredRead{0x03, 0x11, 0x05};  // L-EC uncorrectable
constexpr SenseCode kSenseNoMediumTrayOpen{0x02, 0x3A, 0x02};
constexpr SenseCode kSenseRemovalPrevented{0x05, 0x53, 0x02};
constexpr SenseCode kSenseCannotReadMediumFormat{0x05, 0x30, 0x02};

}  // namespace orvane
