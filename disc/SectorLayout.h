#pragma once
// The raw CD sector as a drive returns it (ECMA-130): a 12-byte sync, a
// 4-byte header (BCD minute, second, frame and the mode byte), then for Mode 1
// 2048 bytes of user data, for Mode 2 the 2336 bytes of its body: an 8-byte
// sub-header (file, channel, sub-mode, coding, stored twice) and 2048 (Form 1)
// or 2324 (Form 2) bytes of user data. Audio sectors are 2352 bytes of PCM.
#include <cstddef>
#include <cstdint>

namespace disc {

constexpr std::size_t kRawSectorSize = 2352;
constexpr std::size_t kUserDataSize = 2048;      // Mode 1 and Form 1 user data
constexpr std::size_t kMode2BodySize = 2336;     // what follows a Mode 2 header
constexpr std::size_t kForm2PayloadSize = 2324;  // Form 2 user data
constexpr std::size_t kSubchannelSize = 96;      // interleaved P-W after a raw sector

constexpr std::size_t kSyncSize = 12;
inline constexpr std::uint8_t kSyncPattern[kSyncSize] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                         0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kHeaderOffset = 12;        // minute, second, frame (BCD), mode
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kHeaderModeOffset = 15;
constexpr std::size_t kMode1UserOffset = 16;
constexpr std::size_t kMode2BodyOffset = 16;     // the sub-header starts the body
constexpr std::size_t kSubHeaderOffset = 16;
constexpr std::size_t kSubHeaderSize = 8;        // four bytes, stored twice
constexpr std::size_t kSubModeOffset = 18;
constexpr std::uint8_t kSubModeForm2 = 0x20;
constexpr std::size_t kMode2UserOffset = 24;     // Form 1 and Form 2 alike

// The full 12-byte sync pattern starts the bytes.
bool HasSync(const std::uint8_t* sector);

// Where the user data of a sector lies in the bytes a raw read returned.
struct SectorShape {
  bool synced = false;  // a raw sector: sync, header and (Mode 2) sub-header are there
  int mode = 1;         // 1 or 2
  bool form2 = false;   // Mode 2 Form 2 by the sub-header's form bit
  std::size_t offset = 0;
  std::size_t size = kUserDataSize;
};

// The one rule, for bytes known to be laid out as a raw sector (an image's
// stored sector): the full sync and the header's mode byte (1 or 2) decide;
// where the sync is missing or the mode byte is neither, dataMode (1 or 2,
// the disc's or the track's data mode) stands in. A Mode 2 sector is Form 2
// by its sub-header's form bit. Reads the first kMode2UserOffset bytes.
SectorShape ClassifyRawSector(const std::uint8_t* sector, int dataMode);

// The same rule for what a raw read returned: without a sync the drive sent
// user data instead of a raw sector, which starts at offset 0.
SectorShape ClassifySector(const std::uint8_t* sector, int dataMode);

}  // namespace disc
