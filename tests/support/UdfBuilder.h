#pragma once
// Builds UDF volumes in memory for tests: plain, virtual (with a VAT behind an
// open track) and sparable partitions in UDF 1.50, 2.00, 2.01, 2.50 and 2.60,
// with File or Extended File Entries, embedded or extent data, directories of
// several blocks and extents (continued in allocation extent descriptors),
// 8-bit and 16-bit names and FIDs with implementation use; logical blocks of
// 512, 1024, 2048 or 4096 bytes; the metadata partition of 2.50 and later
// (main and mirror file, either damaged on request); corrupt FIDs; sessions
// appended behind an earlier volume. Tags carry valid checksums and CRCs, so
// independent tools read what this writes.
//
// Addresses in UdfImage (…Sector fields, volumeStart) count logical blocks of
// blockSize bytes from the start of the image; with 2048-byte blocks they are
// device sectors. The image is always a whole number of 2048-byte sectors.
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
  int damagedFid = -1;            // a directory: the tag of children[i]'s FID is overwritten with
                                  // junk (the FIDs before it stay good, and so do those after it)
  UdfTime time;
  std::vector<UdfNode> children;

  static UdfNode Dir(std::string name, std::vector<UdfNode> children = {});
  static UdfNode File(std::string name, std::vector<std::uint8_t> data);
  static UdfNode File(std::string name, const std::string& text);
};

enum class UdfPartitionKind { Plain, Virtual, Sparable };
enum class UdfAdKind { Short, Long };
// What goes wrong with the main metadata file, so that a reader must use the mirror.
enum class UdfMetadataDamage {
  None,
  MainEntry,       // the main file's entry fails its tag checksum
  MainContent,     // every descriptor in the main copy fails its tag checksum
  MainUnreadable,  // the main copy's sectors cannot be read (UdfImage::unreadable)
};

struct UdfBuildOptions {
  std::uint16_t revision = 0x0201;          // 0x0150, 0x0200, 0x0201, 0x0250, 0x0260
  std::uint32_t blockSize = 2048;           // 512, 1024, 2048 or 4096
  // From 2.50 on: entries, directories and the file set live in a metadata
  // partition (map type 2, "*UDF Metadata Partition") over the physical or
  // virtual one, recorded twice (metadata file and mirror). File data then
  // takes long descriptors into the partition below. On a virtual partition
  // the metadata files' entries and extents are virtual blocks.
  bool metadataPartition = true;
  UdfMetadataDamage metadataDamage = UdfMetadataDamage::None;
  UdfPartitionKind partition = UdfPartitionKind::Plain;
  bool extendedEntries = false;             // EFE (tag 266) instead of FE
  UdfAdKind ad = UdfAdKind::Short;
  std::uint32_t volumeStart = 0;            // first block of the volume
  bool writeIntegrity = true;
  std::uint32_t integrityOffset = 80;       // LVID sector relative to the volume start
  // Virtual partitions.
  bool vatEmbedded = false;
  int vatExtents = 1;
  std::uint16_t vatImplUse = 0;             // L_IU of a 2.x VAT header
  std::uint32_t vatLinkBlocks = 7;
  std::uint32_t vatSpareEntries = 0;        // unused entries (0xFFFFFFFF) that make the table larger
  // Sparable partitions.
  std::uint16_t packetLength = 32;
  std::vector<std::uint32_t> sparedPackets; // partition blocks (packet starts) moved to spare space
  std::string volumeId = "TESSALTEST";
};

struct UdfImage {
  std::vector<std::uint8_t> bytes;          // sectors from LBA 0
  std::set<std::uint32_t> unreadable;       // (2048-byte) sectors a drive fails to read
  std::uint32_t blockSize = 2048;
  std::uint32_t volumeStart = 0;
  std::vector<std::uint32_t> sessionStarts; // first block of each volume, oldest first
  std::vector<std::uint32_t> anchors;       // blocks holding an anchor, in order, every session
  std::uint16_t revision = 0;
  std::uint32_t mainVds = 0, reserveVds = 0;
  std::uint32_t pvdSector = 0, pdSector = 0, lvdSector = 0, lvidSector = 0;
  std::uint32_t partitionStart = 0, partitionLength = 0;
  std::uint32_t fsdSector = 0;
  std::uint32_t rootBlock = 0;              // physical, partition-relative
  // Metadata partitions: the files' entries and their copies (absolute blocks).
  std::uint32_t metadataFileSector = 0, mirrorFileSector = 0;
  std::uint32_t metadataStart = 0, mirrorStart = 0, metadataBlocks = 0;
  std::vector<std::string> partitionMaps;   // kinds in map order: "physical", "sparable", "virtual", "metadata"
  std::uint32_t vatSector = 0;              // virtual partitions
  std::uint32_t vatEntries = 0;             // entries in the table
  std::vector<std::uint32_t> vatExtentSectors;  // first sector of each extent of the table
  std::optional<std::uint32_t> nextWritable;  // a (2048-byte) sector
  std::uint32_t trackSize = 0;              // sectors of track 1 as a drive reports it
  std::map<std::string, std::uint32_t> entrySector;  // "/a/b" -> absolute block of its file entry (main copy)
  std::map<std::string, std::uint32_t> dataSector;   // first data block of a file or directory
  std::map<std::string, std::uint32_t> aedSector;    // its allocation extent descriptor
  std::map<std::string, std::uint32_t> virtualBlock; // its ICB's virtual block (virtual partitions)

  std::uint32_t SectorCount() const { return static_cast<std::uint32_t>(bytes.size() / 2048); }
  std::uint32_t BlockCount() const { return static_cast<std::uint32_t>(bytes.size() / blockSize); }
  std::uint8_t* Sector(std::uint32_t lba) { return bytes.data() + std::size_t(lba) * 2048; }
  const std::uint8_t* Sector(std::uint32_t lba) const { return bytes.data() + std::size_t(lba) * 2048; }
  std::uint8_t* Block(std::uint32_t b) { return bytes.data() + std::size_t(b) * blockSize; }
  const std::uint8_t* Block(std::uint32_t b) const { return bytes.data() + std::size_t(b) * blockSize; }
  // Recomputes the tag checksum and CRC of the descriptor at a block after a
  // test patched it.
  void Retag(std::uint32_t block, std::size_t descriptorLength = 2048);
  bool WriteTo(const std::string& path) const;
};

UdfImage BuildUdfImage(const UdfNode& root, const UdfBuildOptions& options = {});

// A further volume written behind `earlier` in the same flat image, as
// mkudffs --startblock does on a file that already holds one: it starts at
// the earlier image's end rounded up to 32 sectors, `gapSectors` (a
// recorder's gap between sessions) after that, with its own anchors. The result's fields describe the new
// volume; sessionStarts and anchors list every volume's. Block sizes must match.
UdfImage AppendUdfSession(const UdfImage& earlier, const UdfNode& root, UdfBuildOptions options = {},
                          std::uint32_t gapSectors = 0);

// CRC-ITU-T of descriptor tags.
std::uint16_t UdfCrc(const std::uint8_t* data, std::size_t n);

}  // namespace testsupport
