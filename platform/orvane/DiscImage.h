#pragma once
// What an image reader makes of a file: the disc's layout (sessions, tracks,
// modes, where each sector's bytes lie in which file) without any MMC. The
// virtual drive answers MMC commands from this. Readers may add fields; they
// never remove or reinterpret one.
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What a stored sector holds, byte for byte, in the image file.
enum class StoredFormat {
  UserData2048,   // Mode 1 or Mode 2 Form 1 user data only (ISO, MODE1/2048)
  Mode2_2336,     // Mode 2 sector without sync and header (sub-header + 2328/2336)
  Raw2352,        // whole sector: sync, header, data, EDC/ECC (MODE1/2352, MODE2/2352)
  Audio2352,      // 2352 bytes of PCM, 16-bit little-endian stereo
  Audio2352BE,    // PCM stored big-endian (CUE MOTOROLA); swapped when read
};

// The sector type a drive reports for the track (READ CD expected sector type,
// READ TRACK INFORMATION data mode).
enum class TrackMode {
  Audio,
  Mode1,
  Mode2Formless,  // Mode 2 without XA sub-header
  Mode2Xa,        // CD-ROM XA: each sector Form 1 or Form 2 by its sub-header
};

// A file an image is made of, opened once and shared by its extents.
class ImageFile {
 public:
  virtual ~ImageFile() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads length bytes at offset; returns the bytes read (short at the end).
  virtual std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t length) = 0;
  virtual const std::string& Path() const = 0;
  // The open file for copying its bytes without reading them (-1: none).
  virtual int Descriptor() const { return -1; }
};
std::shared_ptr<ImageFile> OpenImageFile(const std::string& path, std::string& error);

// A run of a track's sectors stored contiguously in one file.
struct Extent {
  std::int32_t firstLba = 0;        // first sector of the run
  std::uint32_t count = 0;          // sectors in the run
  std::shared_ptr<ImageFile> file;  // null: not stored (pregap silence, zeros)
  std::uint64_t offset = 0;         // byte offset of the first sector in file
  StoredFormat format = StoredFormat::UserData2048;
  std::uint32_t stride = 2048;      // bytes from one stored sector to the next (incl. sub-channel)
  std::uint32_t subchannelOffset = 0;  // when hasSubchannel: offset of the 96 bytes within the stride
  bool hasSubchannel = false;
  // The 96 bytes hold the channels one after another (P 12 bytes, Q 12, R ... W)
  // rather than interleaved as a drive returns them (bit 7 P, bit 6 Q, ...).
  bool subchannelLinear = false;
  // Sub-channel kept in a file of its own (CloneCD .sub): 96 bytes a sector
  // from subOffset, for the same sectors as the run; it wins over hasSubchannel.
  std::shared_ptr<ImageFile> subFile;
  std::uint64_t subOffset = 0;
};

struct CdTextEntry {  // one track's texts (0 = the disc); UTF-8
  std::string title, performer, songwriter, composer, arranger, message, isrc;
};

struct TrackLayout {
  int number = 1;                   // 1-99
  int session = 1;
  TrackMode mode = TrackMode::Mode1;
  std::uint8_t control = 0x04;      // Q CONTROL nibble: 0x04 data, 0x00 audio, 0x02 copy, 0x01 pre-emphasis
  std::int32_t pregapStart = 0;     // LBA of index 00 (== start when there is no pregap)
  std::int32_t start = 0;           // LBA of index 01: the track start the TOC gives
  std::uint32_t length = 0;         // sectors from start to the track's end (next track's pregap excluded)
  std::vector<Extent> extents;      // where pregap and track sectors are stored, in LBA order
  std::vector<std::int32_t> furtherIndexes;  // LBAs of INDEX 02, 03, ... when the image gives them
  std::string isrc;
  // An open (incomplete) track of a recordable disc: READ TRACK INFORMATION
  // then reports NWA_V with this next writable address.
  std::optional<std::uint32_t> nextWritable;
  // Sectors right after the track's end that a flat dump of a multi-session
  // disc stores (its session's lead-out, the next lead-in and pregap): no
  // track holds them, but they are read as the image holds them. The track's
  // extents cover them.
  std::uint32_t storedAfterEnd = 0;
};

struct SessionLayout {
  int number = 1;
  std::uint8_t discType = 0x00;     // 0x00 CD-DA/CD-ROM, 0x10 CD-i, 0x20 CD-ROM XA
  std::int32_t leadOut = 0;         // LBA of the session's lead-out
};

struct BadRange {                   // sectors a drive would fail to read (ddrescue holes, marked errors)
  std::int32_t first = 0;
  std::uint32_t count = 0;
};

struct DiscLayout {
  std::string format;               // "ISO", "BIN", "CUE", "NRG", ...: which reader made it
  int profile = 0x08;               // MMC current profile: 0x08 CD-ROM, 0x09 CD-R, 0x0A CD-RW, 0x10 DVD-ROM, 0x40 BD-ROM...
  int discStatus = 2;               // READ DISC INFORMATION: 0 empty, 1 incomplete, 2 complete
  std::vector<SessionLayout> sessions;
  std::vector<TrackLayout> tracks;  // in track-number order
  std::string catalog;              // MCN, 13 digits, empty when none
  std::vector<CdTextEntry> cdText;  // index 0 disc, i track i; empty when none
  std::vector<std::uint8_t> cdTextPacks;  // raw 18-byte packs as recorded, when the image holds them
  std::vector<std::uint8_t> rawFullToc;   // READ TOC format 2 descriptors as recorded (CloneCD), else empty
  std::vector<BadRange> badSectors;
};

// An image format: recognises a file by content (then by name) and lays it out.
class ImageReader {
 public:
  virtual ~ImageReader() = default;
  virtual const char* Name() const = 0;
  // 0: not this format; higher: more certain. head holds the file's first bytes.
  virtual int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const = 0;
  // The highest score Probe can give. A reader whose probe reads far into the
  // file says so, and is not asked where another reader already wins.
  virtual int MostScore() const { return std::numeric_limits<int>::max(); }
  // Fills layout; on refusal returns false with a one-line reason in error.
  virtual bool Open(const std::string& path, DiscLayout& layout, std::string& error) const = 0;
};

}  // namespace orvane
