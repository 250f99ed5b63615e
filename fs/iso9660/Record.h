#pragma once
// ISO 9660 directory records and the limits that keep a hostile volume
// finite. Every reader of the program (browser, copy engine, volume view,
// tessal-cli) takes these from here; none keeps limits of its own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace fs::iso9660 {

// ---- limits -------------------------------------------------------------
constexpr int kMostDepth = 64;                          // folder nesting below a volume's root
constexpr std::size_t kMostFolders = 200000;            // folder nodes of one browser tree
constexpr std::uint64_t kMostEntries = 2000000;         // files and folders of one walk
constexpr std::uint32_t kMostDirectorySectors = 8192;   // one directory: 16 MiB of records
constexpr std::uint64_t kMostWalkSectors = 400000;      // directory sectors read by one walk
constexpr std::size_t kMostExtentsPerFile = 4096;       // records joined into one file (16 TiB)
constexpr int kDescriptorSectors = 10;                  // descriptors looked at from start + 16
constexpr std::size_t kNameBufferSize = 256;            // 255 bytes of name and a NUL

// ---- directory record -----------------------------------------------------
constexpr std::size_t kMinRecordLength = 34;  // 33 fixed bytes and a 1-byte identifier
constexpr std::size_t kRecLength = 0;
constexpr std::size_t kRecExtAttrLength = 1;
constexpr std::size_t kRecExtent = 2;         // both-endian 32-bit, little-endian half read
constexpr std::size_t kRecDataLength = 10;
constexpr std::size_t kRecTime = 18;          // 7 bytes: years since 1900 .. second, zone
constexpr std::size_t kRecFlags = 25;
constexpr std::size_t kRecIdLength = 32;
constexpr std::size_t kRecId = 33;
constexpr std::uint8_t kFlagHidden = 0x01;
constexpr std::uint8_t kFlagDirectory = 0x02;
constexpr std::uint8_t kFlagMultiExtent = 0x80;  // not the file's last record

// The 7-byte recording time: years since 1900, month, day, hour, minute,
// second, and the offset from UTC in 15-minute units (signed).
using RecordTime = std::array<std::uint8_t, 7>;

enum class RecordStatus {
  Ok,
  NamePastRecord,  // usable: the identifier was cut to the record's end
  End,             // a length byte of 0: the rest of the sector is padding
  TooShort,        // a length that cannot hold a record
  PastEnd,         // the record runs past the sector's data
};

struct DirectoryRecord {
  std::size_t length = 0;
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  RecordTime time{};
  std::uint8_t flags = 0;
  std::span<const std::uint8_t> identifier;  // within the record
  std::span<const std::uint8_t> systemUse;   // after the identifier and its pad byte
  bool Directory() const { return (flags & kFlagDirectory) != 0; }
  bool MultiExtent() const { return (flags & kFlagMultiExtent) != 0; }
  // "." and ".." are the identifiers 0x00 and 0x01.
  bool SelfOrParent() const { return identifier.size() == 1 && identifier[0] <= 1; }
};

// Parses the record at the start of bytes (the rest of a sector's data).
RecordStatus ParseRecord(std::span<const std::uint8_t> bytes, DirectoryRecord& out);

// The identifier as UTF-8: Joliet names are big-endian UCS-2 (an odd last
// byte is dropped, an unpaired surrogate shows as U+FFFD), plain names are
// taken as UTF-8 when they are valid and as Latin-1 otherwise. Either ends
// at its first NUL and is cut to whole characters within 255 bytes.
std::string DecodeName(const std::uint8_t* id, std::size_t length, bool joliet);

// "README.TXT;1" -> "README.TXT"; other names unchanged.
std::string DropVersion(std::string name);

}  // namespace fs::iso9660
