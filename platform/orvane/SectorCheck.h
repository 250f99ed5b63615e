#pragma once
// Whether a stored raw CD sector is intact: its sync, its header's address
// and mode, the EDC and ECC its mode carries, and the CRC of its Q
// sub-channel. Only what the sector itself can prove is checked.
#include <cstdint>
#include <string>

#include "platform/orvane/DiscImage.h"

namespace orvane {

// What failed in a sector, as bits.
enum SectorFault : unsigned {
  kFaultSync = 1u << 0,        // the 12-byte sync pattern
  kFaultAddress = 1u << 1,     // the header's MSF is not the sector's
  kFaultMode = 1u << 2,        // the header's mode is not the track's (nor Mode 0)
  kFaultEdc = 1u << 3,
  kFaultEcc = 1u << 4,         // P or Q parity
  kFaultSubQ = 1u << 5,        // the Q sub-channel's CRC
  kFaultUnreadable = 1u << 6,  // the image marks the sector unread, or its file ends before it
};

// A whole 2352-byte sector of a data track of the given mode at lba. Mode 1
// sectors carry EDC and ECC; Mode 2 sectors of a CD-ROM XA track carry them
// as their sub-header's form says (Form 2 only an EDC, which may be 0);
// Mode 0 sectors and formless Mode 2 ones are checked for sync and header only.
unsigned CheckRawSector(const std::uint8_t* sector, std::int32_t lba, TrackMode mode);

// A Mode 2 sector stored without sync and header (2336 bytes from the
// sub-header on): the EDC and ECC its form carries.
unsigned CheckMode2Body(const std::uint8_t* body2336, std::int32_t lba, TrackMode mode);

// The 96 sub-channel bytes of a sector, interleaved as a drive returns them
// or one channel after another: whether Q's CRC matches its ten bytes.
bool SubQValid(const std::uint8_t* sub96, bool linear);

// "sync, edc" and so on, in the bits' order.
std::string SectorFaultNames(unsigned faults);

}  // namespace orvane
