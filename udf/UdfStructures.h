#pragma once
// The on-disc structures of a UDF volume, one small parser each. The parsers
// take the bytes they were handed (a sector, a directory buffer) and check
// every offset and length against them; nothing here touches a device.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace udf {

constexpr std::size_t kSectorSize = 2048;

// Limits that keep a hostile volume finite.
constexpr std::uint64_t kMaxDirectoryBytes = 64ull << 20;  // one directory's data
constexpr std::uint64_t kMaxVatBytes = 256ull << 20;       // a VAT file (BD-R sized)
constexpr std::size_t kMaxExtentsPerFile = 1u << 16;       // allocation descriptors of one file
constexpr int kMaxAllocExtentChain = 4096;                 // AED sectors continuing one list
constexpr int kMaxFolderDepth = 128;                       // nesting of the folder tree
constexpr std::size_t kMaxFolders = 200000;                // folders put into one tree
constexpr int kMaxSparingEntries = 65535;                  // entries of one sparing table
constexpr std::size_t kMaxSparingTableBytes = 64 * 1024;  // bytes read of one sparing table

// Descriptor tag identifiers.
enum : std::uint16_t {
  kTagPrimaryVolume = 1,
  kTagAnchor = 2,
  kTagPartition = 5,
  kTagLogicalVolume = 6,
  kTagTerminating = 8,
  kTagIntegrity = 9,
  kTagFileSet = 256,
  kTagFileIdentifier = 257,
  kTagAllocExtent = 258,
  kTagIndirectEntry = 259,
  kTagFileEntry = 261,
  kTagExtendedFileEntry = 266,
};

// ICB file types that matter here.
enum : std::uint8_t {
  kFileTypeUnspecified = 0,  // also the UDF 1.50 VAT
  kFileTypeDirectory = 4,
  kFileTypeRegular = 5,
  kFileTypeVat20 = 248,
};

std::uint16_t TagIdentifier(const std::uint8_t* descriptor);

// Logical block address with its partition reference (lb_addr), and the long
// allocation descriptor that carries it.
struct LongAd {
  std::uint32_t length = 0;      // low 30 bits of the length field
  std::uint8_t extentType = 0;   // top 2 bits
  std::uint32_t block = 0;
  std::uint16_t partitionRef = 0;
  static LongAd Parse(const std::uint8_t* p);
};

struct AnchorPointer {
  std::uint32_t mainLength = 0, mainLocation = 0;        // 16, 20
  std::uint32_t reserveLength = 0, reserveLocation = 0;  // 24, 28
  static AnchorPointer Parse(std::span<const std::uint8_t> sector);
};

struct PartitionDescriptor {
  std::uint16_t number = 0;  // 22
  std::uint32_t start = 0;   // 188
  std::uint32_t length = 0;  // 192
  static PartitionDescriptor Parse(std::span<const std::uint8_t> sector);
};

enum class MapKind { Physical, Virtual, Sparable, Metadata, Other };

struct PartitionMap {
  std::uint8_t type = 0;
  MapKind kind = MapKind::Other;
  std::uint16_t partitionNumber = 0;
  // Sparable maps only.
  std::uint16_t packetLength = 0;
  std::uint32_t sparingTableSize = 0;
  std::vector<std::uint32_t> sparingTables;  // absolute sectors
};

struct LogicalVolumeDescriptor {
  std::uint32_t blockSize = 0;        // 212
  std::uint16_t domainRevision = 0;   // UDF revision in the domain identifier suffix (216 + 24)
  LongAd fileSet;                     // 248
  std::uint32_t mapTableLength = 0;   // 264
  std::uint32_t integrityLength = 0;  // 432
  std::uint32_t integrityLocation = 0;  // 436
  std::vector<PartitionMap> maps;     // from 440, as far as they are whole
  static LogicalVolumeDescriptor Parse(std::span<const std::uint8_t> sector);
};

// Maximum UDF write revision of a Logical Volume Integrity Descriptor; 0 when
// the Implementation Use area lies past the sector.
std::uint16_t IntegrityWriteRevision(std::span<const std::uint8_t> sector);

struct Timestamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  static Timestamp Parse(const std::uint8_t* p);  // 12 bytes
};

// A File Entry (tag 261) or Extended File Entry (tag 266). Any other tag is
// read with the File Entry layout, as older writers left tags unchecked.
struct FileEntry {
  bool extended = false;
  std::uint8_t fileType = 0;     // ICB tag 16 + 11
  std::uint8_t adType = 0;       // ICB flags & 7
  std::uint64_t infoLength = 0;  // 56
  Timestamp attributeTime;       // FE 96, EFE 116
  std::uint32_t lEa = 0, lAd = 0;
  std::uint32_t adOffset = 0;    // where the descriptors or embedded data begin
  // The descriptor area, clipped to the sector: L_EA or L_AD past the end
  // leave it short or empty instead of pointing outside.
  std::uint32_t adBytes = 0;
  bool clipped = false;          // L_EA/L_AD ran past the sector
  static FileEntry Parse(std::span<const std::uint8_t> sector);
};

// One allocation descriptor of a list.
struct AllocDesc {
  std::uint32_t length = 0;    // bytes
  std::uint8_t extentType = 0;  // 0 recorded, 1 allocated not recorded, 2 not allocated, 3 continuation
  std::uint32_t block = 0;
  int partitionRef = -1;        // -1: short_ad, the partition of the entry itself
};
constexpr std::uint8_t kExtentRecorded = 0;
constexpr std::uint8_t kExtentContinuation = 3;
// Size of one descriptor of type 0 (short), 1 (long) or 2 (extended); 0 otherwise.
std::size_t AllocDescSize(std::uint8_t adType);
// Appends the descriptors in bytes; a zero length ends the list. A
// continuation (extent type 3) is not appended but returned in *next.
// Returns false when the list holds something other than whole descriptors.
bool ParseAllocDescs(std::span<const std::uint8_t> bytes, std::uint8_t adType, std::vector<AllocDesc>& out,
                     AllocDesc* next, bool* hasNext);

// A File Identifier Descriptor as the iterator hands it on.
struct FileIdentifier {
  std::uint8_t characteristics = 0;  // 18
  std::uint8_t lFi = 0;              // 19
  LongAd icb;                        // 20
  std::uint16_t lIu = 0;             // 36
  std::size_t nameOffset = 0;        // within the buffer: 38 + L_IU
  std::size_t size = 0;              // 38 + L_IU + L_FI rounded up to 4
};
constexpr std::uint8_t kFidDirectory = 0x02;
constexpr std::uint8_t kFidParent = 0x08;

enum class FidStatus {
  Ok,
  End,             // offset reached the end of the data
  HeaderStraddles, // fewer bytes left than a descriptor header
  NotAnIdentifier, // the bytes there are no File Identifier Descriptor
  NamePastEnd,     // implementation use or name runs past the data
};

// Walks the File Identifier Descriptors of a directory's data, validating
// each one before it is handed on.
class FidIterator {
 public:
  explicit FidIterator(std::span<const std::uint8_t> data) : m_data(data) {}
  FidStatus Next(FileIdentifier& out);
  std::size_t Offset() const { return m_offset; }

 private:
  std::span<const std::uint8_t> m_data;
  std::size_t m_offset = 0;
};

// Entries of a sparing table: the packet that was moved and where it went.
struct SparingEntry {
  std::uint32_t original = 0;  // partition-relative block of the packet
  std::uint32_t mapped = 0;    // absolute sector of the spare packet
};
// Parses a sparing table whose bytes (one or more sectors) are given; false
// when they do not carry the "*UDF Sparing Table" identifier.
bool ParseSparingTable(std::span<const std::uint8_t> bytes, std::vector<SparingEntry>& out);

// Index of the first occurrence of pattern in data, or -1.
int FindPattern(const unsigned char* data, int n, const unsigned char* pattern, int m);

}  // namespace udf
