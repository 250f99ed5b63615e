#pragma once
// The browser's ISO 9660 / Joliet reading: finding a data track's volume
// descriptor, walking directory extents sector by sector (raw first, so that
// CD-ROM XA Form 1 and Form 2 sectors are cut right, 2048-byte reads when the
// raw read fails) and turning directory records into tree nodes and list rows.
//
// Everything that comes from the medium is distrusted: record lengths are
// checked against the sector payload, directory sizes and the number of
// sectors read are bounded, and a directory that contains itself or one of
// its ancestors is shown but not entered again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disc/SectorLayout.h"

class CDevCmdROM;
namespace ui {
class TreeCtrl;
class ListCtrl;
struct TreeItemTag;
}  // namespace ui

namespace iso {

// Limits that keep a hostile volume finite.
constexpr int kMaxFolderDepth = 64;                  // nesting of the folder tree below the track
constexpr std::size_t kMaxFolders = 200000;          // folder nodes put into one tree
constexpr std::uint32_t kMaxDirectorySectors = 8192; // sectors of one directory (16 MiB of records)
constexpr std::uint64_t kMaxTreeSectors = 400000;    // directory sectors read for one tree
constexpr int kDescriptorSectors = 10;               // descriptors looked at from start + 16

using disc::kForm2PayloadSize;
using disc::kRawSectorSize;
constexpr std::size_t kUserSectorSize = disc::kUserDataSize;
constexpr std::size_t kMinRecordLength = 34;         // 33 fixed bytes and a 1-byte identifier
constexpr std::size_t kNameBufferSize = 256;         // 255 bytes of name and a NUL

// Where the records of one sector lie in the bytes a read returned.
struct Payload {
  std::size_t start = 0;
  std::size_t size = kUserSectorSize;
};
// The payload of a raw read, by the one sector rule of disc/SectorLayout.h.
Payload RawPayload(const unsigned char* sector2352, int dataMode);

// One directory record as the browser uses it.
struct Record {
  std::string name;        // UTF-8, at most 255 bytes; files keep their ";1"
  bool directory = false;
  std::uint32_t extent = 0;
  std::uint32_t length = 0;
  unsigned char time[6] = {};  // years since 1900, month, day, hour, minute, second
};

// The identifier bytes of a record as UTF-8: Joliet names are big-endian
// UCS-2 (an odd last byte is dropped, an unpaired surrogate shows as U+FFFD),
// plain names are taken as UTF-8 when they are valid and as Latin-1 otherwise.
// Either ends at its first NUL and is cut to whole characters within 255 bytes.
std::string DecodeName(const unsigned char* id, std::size_t length, bool joliet);

// "README.TXT;1" -> "README.TXT"; other names unchanged.
std::string DropVersion(const std::string& name);

// "%d-%d-%d %d:%d:%d" of a record's recording time, no leading zeros.
std::string FormatTime(const unsigned char time[6]);

// The volume a data track holds, as its descriptors say.
struct Volume {
  bool found = false;        // a Joliet or a primary descriptor was there
  bool joliet = false;
  std::uint32_t rootExtent = 0;
  std::uint32_t rootLength = 0;
};

// Looks at the ten sectors from start + 16: a supplementary descriptor with an
// escape sequence makes the volume Joliet, else the primary one is used. The
// descriptor used is copied into vdBuffer (2048 bytes) when it is given.
Volume FindVolume(CDevCmdROM* device, std::uint32_t start, unsigned char* vdBuffer);

// Reads one directory extent: its records after its own and its parent's.
class DirectoryReader {
 public:
  DirectoryReader(CDevCmdROM* device, int dataMode, bool joliet) : m_pDevice(device), m_nDataMode(dataMode), m_bJoliet(joliet) {}

  // The records of the directory at lba. size is the directory's length in
  // bytes; 0 takes it from the directory's own record (as a listing does,
  // knowing only the address) or one payload when that record does not
  // point back at lba.
  std::vector<Record> Read(std::uint32_t lba, std::uint32_t size);

  // Directory sectors read so far (raw or cooked, failed ones included).
  std::uint64_t SectorsRead() const { return m_nSectorsRead; }
  // Stops reading once this many sectors have been read in all.
  void SetSectorBudget(std::uint64_t sectors) { m_nBudget = sectors; }

 private:
  bool ReadSector(std::uint32_t lba, bool raw, unsigned char* buffer, Payload& payload);
  std::vector<Record> Walk(std::uint32_t lba, std::uint32_t size, bool raw, unsigned char* buffer, Payload payload);

  CDevCmdROM* m_pDevice;
  int m_nDataMode;
  bool m_bJoliet;
  std::uint64_t m_nSectorsRead = 0;
  std::uint64_t m_nBudget = ~std::uint64_t{0};
};

// Adds a node (image 0, selected 1, item data its extent) for every
// sub-directory below parent, depth first. Returns the folders added.
std::size_t AddFolders(ui::TreeCtrl& tree, CDevCmdROM* device, int dataMode, bool joliet, ui::TreeItemTag* parent,
                       std::uint32_t lba, std::uint32_t size);

// Fills the list with one row per entry of the directory at lba, in the
// folder-listing layout (the columns are made when the list has another
// count). Returns the rows inserted.
int FillList(ui::ListCtrl& list, CDevCmdROM* device, int dataMode, bool joliet, std::uint32_t lba);

// Makes the six folder-listing columns unless the list has six already; the
// rows are always deleted.
void ResetFolderColumns(ui::ListCtrl& list);

}  // namespace iso
