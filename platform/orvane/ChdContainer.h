#pragma once
// The CHD container, version 5: its header, its hunk map and its metadata
// list. What the hunks hold (a CD, a DVD, a hard disk) is the reader's
// business; this part only says where each hunk's bytes are and how they
// were compressed.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/orvane/DiscImage.h"

namespace orvane::chd {

constexpr std::uint32_t Tag(const char* s) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
std::string TagText(std::uint32_t tag);  // "cdzl", or the number when it is not printable

// Limits that keep a hostile file finite.
constexpr std::uint32_t kMaxHunkBytes = 16u << 20;        // chdman writes 4 KiB (DVD) to 19584 bytes (CD)
constexpr std::uint64_t kMaxHunks = 1u << 22;             // a dual-layer DVD in 4 KiB hunks is 2.1 million
constexpr std::size_t kMaxMetadataEntries = 4096;         // a CD has a track entry each, at most 99
constexpr std::size_t kMaxMetadataBytes = 4u << 20;       // all entries together

constexpr std::size_t kHeaderSize = 124;

struct Header {
  std::uint32_t version = 0;
  std::array<std::uint32_t, 4> compressors{};  // FourCC per codec slot; 0 none
  std::uint64_t logicalBytes = 0;
  std::uint64_t mapOffset = 0;
  std::uint64_t metaOffset = 0;
  std::uint32_t hunkBytes = 0;
  std::uint32_t unitBytes = 0;
  std::array<std::uint8_t, 20> parentSha1{};
  std::uint64_t hunkCount = 0;
  bool Compressed() const { return compressors[0] != 0; }
  bool HasParent() const;
};

enum class HeaderStatus { Ok, NotChd, OldVersion, Damaged };
// Parses the header; on anything but Ok, why says it in words.
HeaderStatus ParseHeader(ImageFile& file, Header& h, std::string& why);

// Where one hunk's data is and how to get it back.
enum class HunkKind : std::uint8_t {
  Codec,         // compressed with compressors[codec]
  Uncompressed,  // hunkBytes stored as they are
  Self,          // the same as hunk `offset` of this file
  Parent,        // a hunk of the parent CHD
  Zero,          // not stored; reads as zeros
};
struct HunkEntry {
  HunkKind kind = HunkKind::Zero;
  std::uint8_t codec = 0;
  bool hasCrc = false;
  std::uint16_t crc = 0;   // CRC-16 of the decompressed hunk
  std::uint32_t length = 0;
  std::uint64_t offset = 0;  // file offset, or the hunk a Self entry repeats
};

enum class MapStatus { Ok, Truncated, BadCodes, BadCrc, OutsideFile };
MapStatus ReadMap(ImageFile& file, const Header& h, std::vector<HunkEntry>& map);
const char* MapStatusText(MapStatus s);

struct MetadataEntry {
  std::uint32_t tag = 0;
  std::vector<std::uint8_t> data;
};
// The metadata list in file order; false when it runs outside the file or past the limits.
bool ReadMetadata(ImageFile& file, const Header& h, std::vector<MetadataEntry>& entries);

// CRC-16 of hunks and the map: CCITT polynomial, initial value FFFF.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::chd
