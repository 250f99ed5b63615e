#pragma once
// Reading one ISO 9660 directory: its sectors (raw or 2048-byte, as the
// caller's policy says), each record checked before it is used, and every
// fault met named in the listing, never a silent stop.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fs/Node.h"
#include "fs/SectorSource.h"
#include "fs/iso9660/Record.h"

namespace fs::iso9660 {

// Which read of a sector comes first. The other form is tried for a sector
// the first one cannot read.
enum class ReadOrder {
  UserFirst,  // 2048-byte user data (the copy engine: the cheap read)
  RawFirst,   // 2352-byte raw sectors cut by their own header (the browser)
};

// How a walk meets a folder it has entered before.
enum class LoopRule {
  Ancestors,  // not entered again below itself (the browser shows shared folders twice)
  Once,       // every directory is walked once (the copy engine writes each once)
};

// What differs between the program's readers of one volume.
struct Policy {
  ReadOrder order = ReadOrder::UserFirst;
  int dataMode = 1;          // 2: CD-ROM XA, raw sectors cut by their sub-header
  bool joinExtents = true;   // one entry per file; false: one per record
  LoopRule loops = LoopRule::Once;
};
// The file browser: raw first, one row per record.
inline Policy BrowserPolicy(int dataMode) { return {ReadOrder::RawFirst, dataMode, false, LoopRule::Ancestors}; }
// The copy engine and `find`: user data first, files joined from their extents.
inline Policy CopyPolicy(int dataMode) { return {ReadOrder::UserFirst, dataMode, true, LoopRule::Once}; }

// Which names a volume is read with: one set for a whole tree.
enum class NameSet { Plain, Joliet, RockRidge };

enum class Fault {
  UnreadableSector,   // a directory sector could not be read in either form
  RecordPastEnd,      // a record's length runs past the directory's data
  RecordTooShort,     // a length byte that cannot hold a record
  NamePastRecord,     // an identifier longer than its record (cut there)
  DirectoryTooLarge,  // more sectors than kMostDirectorySectors (the rest not read)
  PastMedium,         // a directory recorded to run past the medium's last sector
  TooManySectors,     // the walk's sector budget was spent
  Loop,               // a folder that holds itself or an ancestor (not entered)
  Repeated,           // a folder read before in this walk (not entered again)
  TooDeep,            // nesting past kMostDepth (not entered)
  TooManyEntries,     // past kMostEntries (the walk ends)
  SystemUse,          // a damaged System Use field or continuation area
};
const char* FaultText(Fault f);

struct FaultAt {
  Fault fault;
  std::uint32_t lba = 0;   // the directory's sector, or the sector of the fault
  std::string entry;       // the entry concerned; empty for the directory itself
  std::string note;        // what more is known (a System Use fault's kind)
  std::string path;        // the folder's path, where a walk knows it
};
// "path/entry: what (note)".
std::string Describe(const FaultAt& f);

struct Extent {
  std::uint32_t lba = 0;
  std::uint32_t bytes = 0;
  bool operator==(const Extent&) const = default;
};

// The browser's time fields: year, month, day, hour, minute, second, as the
// medium records them (local to the writer).
struct ShownTime {
  int year = 1900, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// How a file's data is stored.
enum class Compression : std::uint8_t {
  None,
  Zisofs,   // zisofs: info.size is the uncompressed size, the extents hold the compressed bytes
  NotRead,  // compressed in a form not read (zisofs2, another algorithm): info.size is the stored size
};

struct Entry {
  NodeInfo info;                  // name as shown, kind, size, mode, time, target, first sector
  ShownTime shown;
  std::uint8_t flags = 0;
  std::uint32_t extent = 0;       // the (first) record's extent and data length
  std::uint32_t length = 0;
  std::vector<Extent> extents;    // every record of a joined file, in order
  bool hidden = false;            // the relocation folder of a Rock Ridge volume
  bool relocated = false;         // a folder placed here by a CL entry
  Compression compression = Compression::None;  // a file's, from its Rock Ridge ZF entry
  bool Directory() const { return info.type == NodeType::Folder; }
};

// A directory's records after its own and its parent's.
struct Listing {
  bool read = false;                    // its first sector could be read
  std::vector<Entry> entries;
  std::vector<FaultAt> faults;
  std::uint32_t unreadable = 0;         // directory sectors that could not be read
  std::vector<std::uint8_t> selfSystemUse;  // the "." record's System Use field
};

// Fills an entry from its record's System Use field: Rock Ridge names,
// modes, times, link targets and relocations.
class SystemUseDecoder {
 public:
  virtual ~SystemUseDecoder() = default;
  // source reads the continuation areas the field chains to.
  virtual void Decode(const DirectoryRecord& record, Entry& entry, std::vector<FaultAt>& faults,
                      SectorSource& source) = 0;
};

// The names a volume is read with, and Rock Ridge's decoder when they are
// Rock Ridge's.
struct Names {
  NameSet set = NameSet::Plain;
  std::shared_ptr<SystemUseDecoder> decoder;
};
inline Names PlainOrJoliet(bool joliet) { return Names{joliet ? NameSet::Joliet : NameSet::Plain, nullptr}; }

class DirectoryReader {
 public:
  DirectoryReader(SectorSource& source, const Policy& policy, Names names)
      : m_Source(source), m_Policy(policy), m_Names(std::move(names)) {}

  // The entries of the directory at lba. size is its length in bytes; 0
  // takes it from the directory's own record (when that points back at lba)
  // or one sector's payload.
  Listing Read(std::uint32_t lba, std::uint32_t size);
  // The directory's own "." record as an entry: its recorded time and, on a
  // Rock Ridge volume, its permission bits and TF time. Null when its first
  // sector cannot be read or starts with no usable record. Damage is left to
  // Read, which reports it.
  std::optional<Entry> ReadSelf(std::uint32_t lba);

  std::uint64_t SectorsRead() const { return m_nSectorsRead; }
  void SetSectorBudget(std::uint64_t sectors) { m_nBudget = sectors; }
  const Policy& GetPolicy() const { return m_Policy; }
  const Names& GetNames() const { return m_Names; }

 private:
  struct Sector;
  bool ReadSector(std::uint32_t lba, bool raw, Sector& s);
  bool ReadEither(std::uint32_t lba, bool& raw, Sector& s);
  // Walks the records of one sector's payload; false when a fault ends the directory.
  bool WalkSector(const Sector& s, std::uint32_t lba, int& skip, Listing& out, bool& inMulti);
  void AddRecord(const DirectoryRecord& r, Listing& out, bool& inMulti);
  Entry MakeEntry(const DirectoryRecord& r, std::vector<FaultAt>& faults);

  SectorSource& m_Source;
  Policy m_Policy;
  Names m_Names;
  std::uint64_t m_nSectorsRead = 0;
  std::uint64_t m_nBudget = kMostWalkSectors;
};

}  // namespace fs::iso9660
