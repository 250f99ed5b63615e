#pragma once
// The UDF analyser: recognises a UDF volume of 512- to 4096-byte logical
// blocks from 2048-byte sectors of a disc or image, resolves its partitions
// (plain, virtual with a VAT, sparable, and the metadata partition of UDF
// 2.50 and later on any of them), and reads its directories and file entries
// for the browser, the copy engine and the command line. The parsing of each
// structure is fs/udf's; this is the policy over it.
//
// Addresses: an "entry sector", a tree item's data, the list's Pos and an
// extent's `sector` are absolute logical blocks of the volume's block size,
// after virtual, sparable and metadata addresses were translated. With
// 2048-byte blocks they are the medium's sectors.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "fs/udf/Damage.h"
#include "fs/udf/Descriptors.h"
#include "fs/udf/Partitions.h"

class CDevCmdROM;
namespace ui {
class TreeCtrl;
class ListCtrl;
struct TreeItemTag;
}  // namespace ui

// One extent of a file's data, in file order. A recorded extent lies at
// sector, sector + 1, ...; an unrecorded one reads as zeros.
struct UdfExtent {
  std::uint64_t fileOffset = 0;
  std::uint64_t length = 0;  // bytes
  std::uint32_t sector = 0;  // absolute first block (recorded extents)
  bool recorded = true;
};

// Where a file's bytes are. Either embedded in its file entry (inlineData) or
// the extents, which cover [0, size); anything past the last extent is zero.
struct UdfFileData {
  std::uint64_t size = 0;     // Information Length
  std::uint8_t fileType = 0;
  std::uint32_t mode = 0;     // rwx permission bits of the entry (0777 at most)
  std::optional<std::int64_t> mtime;  // its modification time, seconds since 1970 UTC
  bool extended = false;      // Extended File Entry
  bool embedded = false;
  std::vector<std::uint8_t> inlineData;
  std::vector<UdfExtent> extents;
};

// One entry of a directory, with its file entry resolved (through the VAT on a
// virtual partition).
struct UdfDirEntry {
  std::string name;                // UTF-8
  std::uint8_t characteristics = 0;
  bool isDirectory = false;
  std::uint32_t block = 0;         // partition-relative block of its file entry
  std::uint32_t feSector = 0;      // absolute block of its file entry
};

// What the volume view and `vol` show of a UDF volume beyond its descriptor.
struct UdfVolumeSummary {
  std::string revision;                // as recorded: "1.02", "2.60"
  std::uint32_t blockSize = 0;
  std::vector<std::string> maps;       // "physical", "sparable", "virtual", "metadata", in that order
  std::vector<std::uint32_t> anchors;  // absolute blocks, lowest first
  bool metadataMirror = false;         // the main metadata file failed; its mirror is read
  std::string metadataProblem;         // why the main one was not used
};

// A structure of the volume itself and the blocks it lies in (absolute
// blocks of the volume's block size), for naming what a sector belongs to.
struct UdfStructureExtent {
  std::string what;  // "anchor volume descriptor pointer", "VAT", "metadata file", ...
  std::uint32_t block = 0;
  std::uint64_t bytes = 0;
};

class CAnaly_UDF {
 public:
  CAnaly_UDF();
  virtual ~CAnaly_UDF();
  CAnaly_UDF(const CAnaly_UDF&) = delete;
  CAnaly_UDF& operator=(const CAnaly_UDF&) = delete;

  int m_nPartMapKind = 0;            // 0 plain, 1 virtual (VAT), 2 sparable, 3 metadata (2.50+)
  int m_nUdfRevision = 0;            // 0 UDF 1.50, 1 UDF 2.00, 2 UDF 2.01, 3 UDF 2.50, 4 UDF 2.60
  CDevCmdROM* m_pDevice = nullptr;   // not owned
  std::uint32_t m_nPartStart = 0;    // absolute block of partition block 0
  std::uint32_t m_nRootIcb = 0;      // root directory's file entry, partition-relative
  char m_szVatFile[256] = {};        // temporary VAT copy, empty until a VAT is loaded
  unsigned char* m_pPvdCopy = nullptr;  // caller's 2048-byte buffer for the PVD, may be null

  // Volume recognition.
  bool Analyse(CDevCmdROM* device, unsigned char* pvdBuffer, std::uint32_t volumeStart);
  int ReadVolumeStructure(std::uint32_t volumeStart);
  int ReadUdfRevision(std::uint32_t mainVds, std::uint32_t reserveVds);
  int GetPartitionMapKind(const unsigned char* lvd, int count);
  int FindBytes(const unsigned char* data, int n, const unsigned char* pattern, int m);

  // Virtual allocation table.
  int MakeVatFileName();
  int LoadVat(std::uint32_t partStart);
  void SaveVatExtent(std::uint32_t sector, std::uint32_t length, const char* path);
  int VatLookup(std::uint32_t virtualBlock, std::uint32_t& partitionBlock);
  // count consecutive entries from first in one read; 0 on success.
  int VatLookupRange(std::uint32_t first, std::uint32_t count, std::vector<std::uint32_t>& partitionBlocks);

  // File entries and directories. "Sectors" are absolute logical blocks.
  int GetFileExtent(std::uint32_t feSector, std::uint32_t& dataPos, std::uint32_t& dataLen);
  void DecodeName(int compressionId, char* out, int outSize, const unsigned char* src, int count);
  void GetFileInfo(std::uint32_t feSector, std::string& time, std::string& size);
  // Every extent of a file (across allocation extent descriptors), or its
  // embedded bytes: 0 on success, 1 on a read error or an unusable entry.
  int GetFileExtents(std::uint32_t feSector, UdfFileData& out);
  // The same, naming what went wrong.
  udf::ExtentStatus ReadFileExtents(std::uint32_t feSector, UdfFileData& out);
  // The 64-bit Information Length of an entry; false when it cannot be read.
  bool GetFileSize(std::uint32_t feSector, std::uint64_t& size);
  // A directory's whole data (all extents, unrecorded ones as zeros).
  int ReadDirectoryData(std::uint32_t feSector, std::vector<std::uint8_t>& data);
  // The named entries of a directory in directory order (the parent entry
  // left out): 0 on success; 1 on a read error, a failed VAT or metadata
  // lookup or a damaged file identifier, with the entries read before it kept.
  int ReadDirectory(std::uint32_t feSector, std::vector<UdfDirEntry>& entries);
  // The same, naming how the listing ended: at its end, or at damage (a
  // damaged file identifier, an unreadable block), the entries before it kept.
  udf::DirResult ListDirectory(std::uint32_t feSector, std::vector<UdfDirEntry>& entries);
  // An entry's block as it is recorded (BlockSize() bytes); false when it
  // cannot be read. What each entry is (udf/UdfNodes.h) is read from it.
  bool ReadEntryBlock(std::uint32_t feSector, std::vector<std::uint8_t>& block);
  // A file's whole data (every extent, unrecorded ones as zeros) of at most
  // `most` bytes, naming what stopped it.
  udf::DirResult ReadFileData(std::uint32_t feSector, std::uint64_t most, std::vector<std::uint8_t>& data);
  // The root directory's entry, absolute.
  std::uint32_t RootSector() const { return m_nPartStart + m_nRootIcb; }

  // The browser's folder tree and file list.
  int FillFolderTree(ui::TreeCtrl* tree, ui::TreeItemTag* item);
  int AddSubFolders(ui::TreeCtrl* tree, ui::TreeItemTag* parent, std::uint32_t feSector);
  int FillFileList(ui::ListCtrl* list, std::uint32_t feSector);

  // Partition length in blocks (0 when the descriptor gave none).
  std::uint32_t PartitionLength() const { return m_nPartLength; }
  // Sector of the VAT's file entry on a virtual partition (0 before one is found).
  std::uint32_t VatSector() const { return m_nVatSector; }
  // Bytes of a logical block: 512, 1024, 2048 or 4096.
  std::uint32_t BlockSize() const { return m_nBlockSize; }
  const UdfVolumeSummary& Summary() const { return m_Summary; }
  // Where the volume's own structures lie, after a successful Analyse:
  // anchors, both descriptor sequences, the integrity sequence, the file set
  // descriptor, sparing tables, the VAT and the metadata files. What cannot
  // be read or located is left out.
  std::vector<UdfStructureExtent> StructureExtents();
  // Where an absolute block is really recorded (a spared packet moved it).
  std::uint32_t StoredAt(std::uint32_t block) const { return RemapSector(block); }
  // The first block past this volume's session: after the VAT on write-once
  // media, else after the partition (absolute blocks).
  std::uint64_t SessionEnd() const;

 private:
  // One logical block (BlockSize() bytes) into buffer; 0 or 1.
  int ReadSector(std::uint32_t sector, unsigned char* buffer);     // through the sparing table
  int ReadRawSector(std::uint32_t sector, unsigned char* buffer);  // as addressed
  std::uint32_t RemapSector(std::uint32_t sector) const;
  bool ReadSparingTables(const udf::PartitionMap& map);
  bool FindAnchor(std::uint32_t volumeStart, unsigned char* buffer);
  bool ReadVolumeDescriptors(std::uint32_t mainVds, unsigned char* lvdBytes);
  void ReadRevision(const udf::LogicalVolumeDescriptor& lvd, int revisionFound);
  void ReadMaps(const udf::LogicalVolumeDescriptor& lvd, const unsigned char* lvdBytes);
  int ReadRoot(const udf::LogicalVolumeDescriptor& lvd);
  bool LoadMetadata(const udf::PartitionMap& map, const udf::LongAd& fileSet);
  bool FileSetReadable(const udf::LongAd& fileSet);
  udf::ExtentStatus LoadMetadataFile(std::uint32_t block);
  void FillSummary(const udf::LogicalVolumeDescriptor& lvd);
  bool ReadLogicalVolume(udf::AnchorPointer& anchor, udf::LogicalVolumeDescriptor& lvd);
  void AddMetadataExtents(const udf::PartitionMap& map, std::vector<UdfStructureExtent>& out);
  void AddVatExtents(std::vector<UdfStructureExtent>& out);
  // A block of partition reference ref as a block of the physical partition.
  bool Translate(std::uint32_t block, int ref, std::uint32_t& partitionBlock);
  udf::ExtentStatus CollectDescriptors(const std::vector<std::uint8_t>& fe, const udf::FileEntry& e,
                                       std::uint32_t feSector, int shortRef, std::vector<udf::AllocDesc>& ads);
  udf::ExtentStatus AppendTranslatedRuns(const udf::AllocDesc& a, int ref, std::uint64_t fileOffset,
                                         UdfFileData& out, std::size_t& budget, std::uint64_t& translated);
  int EntryRef() const;  // the partition the entries' short descriptors address
  bool FindVatEntry(std::uint32_t& feSector, std::vector<unsigned char>& fe);
  bool NextWritableAddress(std::uint32_t partStart, std::uint32_t& nwa);
  bool SessionTrackEnd(std::uint32_t& end);
  int CopyVat(const std::vector<UdfExtent>& extents, const std::vector<std::uint8_t>* inlineData,
              std::uint64_t length, bool header20, std::FILE* out);
  udf::ExtentStatus CollectExtents(const std::vector<std::uint8_t>& fe, std::uint32_t feSector, int shortRef,
                                   UdfFileData& out);
  bool AppendPhysicalRuns(std::uint32_t block, std::uint64_t length, std::uint64_t fileOffset, UdfFileData& out,
                          std::size_t& budget);
  bool BlockToSector(std::uint32_t block, int partitionRef, int shortRef, std::uint32_t& sector);
  bool ExtentFits(std::uint32_t block, std::uint64_t length) const;
  void RemoveVatFile();
  int AddSubFoldersBelow(ui::TreeCtrl* tree, ui::TreeItemTag* parent, std::uint32_t feSector, int depth,
                         std::vector<std::uint32_t>& ancestors, std::size_t& folders);

  std::uint32_t m_nPartLength = 0;
  std::uint32_t m_nVolumeStart = 0;  // the sector the volume was analysed from
  std::uint32_t m_nVatSector = 0;
  int m_nVirtualRef = -1;   // index of the virtual partition map
  int m_nSparableRef = -1;  // index of the sparable partition map
  int m_nMetadataRef = -1;  // index of the metadata partition map
  bool m_bMetadataOnVat = false;  // the metadata file lies in the virtual partition
  std::uint32_t m_nBlockSize = udf::kSectorSize;
  std::uint16_t m_nRevisionRecorded = 0;  // the revision as the volume records it; 0 before one is read
  udf::SparingMap m_Sparing;
  udf::MetadataMap m_Metadata;
  std::vector<std::uint32_t> m_Anchors;
  UdfVolumeSummary m_Summary;
};
