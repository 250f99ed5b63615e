#pragma once
// Builds UDF volumes in memory for tests: plain, virtual (with a VAT behind an
// open track) and sparable partitions in UDF 1.50, 2.00 and 2.01, with File or
// Extended File Entries, embedded or extent data, directories of several
// sectors and extents (continued in allocation extent descriptors), 8-bit and
// 16-bit names and FIDs with implementation use. Tags carry valid checksums
// and CRCs, so independent tools read what this writes.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

struct UdfTime {
  int year = 2024, month = 5, day = 17, hour = 13, minute = 45, second = 30;
};

struct UdfNode {
  std::string name;               // UTF-8
  bool directory = false;
  bool wideName = false;          // 16-bit characters even when 8 bits would do
  std::uint16_t fidImplUse = 0;   // L_IU of the FID that names this node
  std::vector<std::uint8_t> data; // a file's recorded bytes
  std::uint64_t size = 0;         // when larger than data: the rest is an unrecorded extent
  bool embedded = false;          // data or directory entries inside the entry
  int extents = 1;                // data split into this many separate extents
  bool aed = false;               // descriptors continued in an allocation extent descriptor
  bool linkToRoot = false;        // a directory entry pointing back at the root (a loop)
  UdfTime time;
  std::vector<UdfNode> children;

  static UdfNode Dir(std::string name, std::vector<UdfNode> children = {});
  static UdfNode File(std::string name, std::vector<std::uint8_t> data);
  static UdfNode File(std::string name, const std::string& text);
};

enum class UdfPartitionKind { Plain, Virtual, Sparable };
enum class UdfAdKind { Short, Long };

struct UdfBuildOptions {
  std::uint16_t revision = 0x0201;          // 0x0150, 0x0200, 0x0201
  UdfPartitionKind partition = UdfPartitionKind::Plain;
  bool extendedEntries = false;             // EFE (tag 266) instead of FE
  UdfAdKind ad = UdfAdKind::Short;
  std::uint32_t volumeStart = 0;            // first sector of the volume
  bool writeIntegrity = true;
  std::uint32_t integrityOffset = 80;       // LVID sector relative to the volume start
  // Virtual partitions.
  bool vatEmbedded = false;
  int vatExtents = 1;
  std::uint16_t vatImplUse = 0;             // L_IU of a 2.x VAT header
  std::uint32_t vatLinkBlocks = 7;
  std::uint32_t vatSpareEntries = 0;        // unused entries (0xFFFFFFFF) that make the table larger          // unreadable blocks between the VAT and the next writable address
  // Sparable partitions.
  std::uint16_t packetLength = 32;
  std::vector<std::uint32_t> sparedPackets; // partition blocks (packet starts) moved to spare space
  std::string volumeId = "TESSALTEST";
};

struct UdfImage {
  std::vector<std::uint8_t> bytes;          // sectors from LBA 0
  std::set<std::uint32_t> unreadable;       // sectors a drive fails to read
  std::uint32_t volumeStart = 0;
  std::uint32_t mainVds = 0, reserveVds = 0;
  std::uint32_t pvdSector = 0, pdSector = 0, lvdSector = 0, lvidSector = 0;
  std::uint32_t partitionStart = 0, partitionLength = 0;
  std::uint32_t fsdSector = 0;
  std::uint32_t rootBlock = 0;              // physical, partition-relative
  std::uint32_t vatSector = 0;              // virtual partitions
  std::uint32_t vatEntries = 0;             // entries in the table
  std::vector<std::uint32_t> vatExtentSectors;  // first sector of each extent of the table
  std::optional<std::uint32_t> nextWritable;
  std::uint32_t trackSize = 0;              // sectors of track 1 as a drive reports it
  std::map<std::string, std::uint32_t> entrySector;  // "/a/b" -> absolute sector of its file entry
  std::map<std::string, std::uint32_t> dataSector;   // first data sector of a file or directory
  std::map<std::string, std::uint32_t> aedSector;    // its allocation extent descriptor
  std::map<std::string, std::uint32_t> virtualBlock; // its ICB's virtual block (virtual partitions)

  std::uint32_t SectorCount() const { return static_cast<std::uint32_t>(bytes.size() / 2048); }
  std::uint8_t* Sector(std::uint32_t lba) { return bytes.data() + std::size_t(lba) * 2048; }
  const std::uint8_t* Sector(std::uint32_t lba) const { return bytes.data() + std::size_t(lba) * 2048; }
  // Recomputes a descriptor's tag checksum and CRC after a test patched it.
  void Retag(std::uint32_t lba, std::size_t descriptorLength = 2048);
  bool WriteTo(const std::string& path) const;
};

UdfImage BuildUdfImage(const UdfNode& root, const UdfBuildOptions& options = {});

// CRC-ITU-T of descriptor tags.
std::uint16_t UdfCrc(const std::uint8_t* data, std::size_t n);

}  // namespace testsupport
