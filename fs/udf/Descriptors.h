#pragma once
// The on-disc structures of a UDF volume (ECMA-167 with the UDF rules), one
// small parser each. The parsers take the bytes they were handed (a logical
// block, a directory buffer) and check every offset and length against them;
// nothing here touches a device.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace udf {

constexpr std::size_t kSectorSize = 2048;
// Logical block sizes writers use: hard disks and USB sticks 512, optical
// media 2048, some macOS and large-sector media 4096.
constexpr std::uint32_t kMinBlockSize = 512;
constexpr std::uint32_t kMaxBlockSize = 4096;
bool IsBlockSize(std::uint32_t bytes);

// Limits that keep a hostile volume finite.
constexpr std::uint64_t kMaxDirectoryBytes = 64ull << 20;  // one directory's data
constexpr std::uint64_t kMaxVatBytes = 256ull << 20;       // a VAT file (BD-R sized)
constexpr std::size_t kMaxExtentsPerFile = 1u << 16;       // allocation descriptors of one file
constexpr int kMaxAllocExtentChain = 4096;                 // AED sectors continuing one list
constexpr int kMaxFolderDepth = 128;                       // nesting of the folder tree
constexpr std::size_t kMaxFolders = 200000;                // folders put into one tree
constexpr int kMaxSparingEntries = 65535;                  // entries of one sparing table
constexpr std::size_t kMaxSparingTableBytes = 64 * 1024;  // bytes read of one sparing table
constexpr std::size_t kMaxMetadataRuns = 1u << 16;         // extents of one metadata file
constexpr std::size_t kMaxLinkTargetBytes = 4096;          // a symbolic link's path components

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

// ICB file types.
enum : std::uint8_t {
  kFileTypeUnspecified = 0,  // also the UDF 1.50 VAT
  kFileTypeIndirect = 3,
  kFileTypeDirectory = 4,
  kFileTypeRegular = 5,
  kFileTypeBlockDevice = 6,
  kFileTypeCharDevice = 7,
  kFileTypeFifo = 9,
  kFileTypeSocket = 10,
  kFileTypeSymlink = 12,
  kFileTypeVat20 = 248,
  kFileTypeRealTime = 249,
  kFileTypeMetadata = 250,
  kFileTypeMetadataMirror = 251,
  kFileTypeMetadataBitmap = 252,
};
// Types whose entry has the File Entry layout with descriptors: the
// unspecified type, directories, files, devices, FIFOs, sockets, links and
// real-time files.
bool IsFileEntryType(std::uint8_t fileType);

std::uint16_t TagIdentifier(const std::uint8_t* descriptor);

// The 16-byte tag every descriptor opens with.
struct Tag {
  std::uint16_t identifier = 0;  // 0
  std::uint16_t version = 0;     // 2
  std::uint8_t checksum = 0;     // 4
  std::uint16_t crc = 0;         // 8
  std::uint16_t crcLength = 0;   // 10
  std::uint32_t location = 0;    // 12: the block the descriptor says it is in
  static Tag Parse(std::span<const std::uint8_t> bytes);
};
// CRC-ITU-T (x^16 + x^12 + x^5 + 1, initial 0) of descriptor bytes.
std::uint16_t DescriptorCrc(std::span<const std::uint8_t> bytes);
enum class TagCheck {
  Ok,
  WrongIdentifier,
  BadChecksum,
  BadCrc,          // the CRC over the bytes after the tag disagrees
  WrongLocation,   // the tag names another block than the one read
};
// The descriptor in bytes carries identifier id, a valid checksum, a CRC
// that matches as far as bytes holds it, and (when location is given) its
// own block as location.
TagCheck CheckTag(std::span<const std::uint8_t> bytes, std::uint16_t id, std::optional<std::uint32_t> location = {});

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
const char* MapKindText(MapKind kind);  // "physical", "virtual", ...

struct PartitionMap {
  std::uint8_t type = 0;
  MapKind kind = MapKind::Other;
  std::uint16_t partitionNumber = 0;  // type 1: 4; type 2: 38
  // Sparable maps only.
  std::uint16_t packetLength = 0;     // 40
  std::uint32_t sparingTableSize = 0; // 44
  std::vector<std::uint32_t> sparingTables;  // 48 on: absolute blocks
  // Metadata maps only: blocks of the partition the map's number names.
  std::uint32_t metadataFile = 0;     // 40
  std::uint32_t metadataMirror = 0;   // 44
  std::uint32_t metadataBitmap = 0;   // 48
  std::uint32_t allocationUnit = 0;   // 52, blocks
  std::uint16_t alignmentUnit = 0;    // 56, blocks
  std::uint8_t metadataFlags = 0;     // 58: bit 0, the mirror is a copy of its own
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
  // Index of the first map of a kind, or -1.
  int FirstMap(MapKind kind) const;
  // Index of the physical or sparable map of a partition number, or -1.
  int MapOfPartition(std::uint16_t partitionNumber) const;
};

// The File Set Descriptor (tag 256) names the root directory's ICB.
struct FileSetDescriptor {
  LongAd root;  // 400
  static FileSetDescriptor Parse(std::span<const std::uint8_t> block);
};

// Maximum UDF write revision of a Logical Volume Integrity Descriptor; 0 when
// the Implementation Use area lies past the sector.
std::uint16_t IntegrityWriteRevision(std::span<const std::uint8_t> sector);

struct Timestamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int zoneMinutes = 0;   // offset from UTC the time was recorded in
  bool zoneKnown = false;
  static Timestamp Parse(const std::uint8_t* p);  // 12 bytes
  // Seconds since 1970-01-01 UTC; nullopt for a date no calendar has.
  std::optional<std::int64_t> ToUnix() const;
};

// A File Entry (tag 261) or Extended File Entry (tag 266). Any other tag is
// read with the File Entry layout, as older writers left tags unchecked.
struct FileEntry {
  bool extended = false;
  std::uint8_t fileType = 0;     // ICB tag 16 + 11
  std::uint8_t adType = 0;       // ICB flags & 7
  std::uint16_t icbFlags = 0;    // ICB tag 16 + 18
  std::uint32_t permissions = 0; // 44
  std::uint64_t infoLength = 0;  // 56
  Timestamp modificationTime;    // FE 84, EFE 92
  Timestamp attributeTime;       // FE 96, EFE 116
  std::uint32_t lEa = 0, lAd = 0;
  std::uint32_t adOffset = 0;    // where the descriptors or embedded data begin
  // The descriptor area, clipped to the sector: L_EA or L_AD past the end
  // leave it short or empty instead of pointing outside.
  std::uint32_t adBytes = 0;
  bool clipped = false;          // L_EA/L_AD ran past the sector
  static FileEntry Parse(std::span<const std::uint8_t> sector);
  // The owner's, group's and others' read, write and execute bits as a
  // POSIX mode (0777 at most): the change-attribute and delete bits and
  // setuid, setgid and sticky are left out on purpose.
  std::uint32_t Mode() const;
};

// The path of a symbolic link from its path components (the link's data):
// root "/", parent "..", current "." and named components joined with "/".
// False when a component runs past the data or has an unknown type.
bool ParseLinkTarget(std::span<const std::uint8_t> data, std::string& target);
// A d-string or file identifier: compression id 8 (Latin-1) or 16 (UTF-16BE)
// in its first byte, then the characters, as UTF-8; empty for other ids.
std::string DecodeIdentifier(std::span<const std::uint8_t> bytes);

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

// What the damage is, for a report: "identifier straddles the end", ...
const char* FidStatusText(FidStatus status);

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

// The header of a UDF 2.00+ VAT (ICB file type 248): the entries follow
// 152 + L_IU bytes.
struct Vat20Header {
  std::uint16_t headerLength = 0;   // 0
  std::uint16_t implUseLength = 0;  // 2
  std::uint32_t previousVat = 0;    // 132
  std::uint32_t files = 0, folders = 0;  // 136, 140
  static Vat20Header Parse(std::span<const std::uint8_t> bytes);
  std::uint64_t EntriesOffset() const { return 152 + std::uint64_t(implUseLength); }
};
constexpr std::uint32_t kVat15Tail = 36;  // a 1.50 VAT ends with an identifier and the previous VAT's block

// Index of the first occurrence of pattern in data, or -1.
int FindPattern(const unsigned char* data, int n, const unsigned char* pattern, int m);

}  // namespace udf
