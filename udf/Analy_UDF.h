#pragma once
// The UDF analyser: recognises a UDF volume from 2048-byte sectors of a disc or
// image, resolves its partition (plain, virtual with a VAT, or sparable), and
// reads its directories and file entries for the browser and the copy engine.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "udf/UdfStructures.h"

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
  std::uint32_t sector = 0;  // absolute first sector (recorded extents)
  bool recorded = true;
};

// Where a file's bytes are. Either embedded in its file entry (inlineData) or
// the extents, which cover [0, size); anything past the last extent is zero.
struct UdfFileData {
  std::uint64_t size = 0;     // Information Length
  std::uint8_t fileType = 0;
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
  std::uint32_t feSector = 0;      // absolute sector of its file entry
};

class CAnaly_UDF {
 public:
  CAnaly_UDF();
  virtual ~CAnaly_UDF();
  CAnaly_UDF(const CAnaly_UDF&) = delete;
  CAnaly_UDF& operator=(const CAnaly_UDF&) = delete;

  int m_nPartMapKind = 0;            // 0 plain, 1 virtual (VAT), 2 sparable
  int m_nUdfRevision = 0;            // 0 UDF 1.50, 1 UDF 2.00, 2 UDF 2.01
  CDevCmdROM* m_pDevice = nullptr;   // not owned
  std::uint32_t m_nPartStart = 0;    // absolute sector of partition block 0
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

  // File entries and directories. Sectors are absolute.
  int GetFileExtent(std::uint32_t feSector, std::uint32_t& dataPos, std::uint32_t& dataLen);
  void DecodeName(int compressionId, char* out, int outSize, const unsigned char* src, int count);
  void GetFileInfo(std::uint32_t feSector, std::string& time, std::string& size);
  // Every extent of a file (across allocation extent descriptors), or its
  // embedded bytes: 0 on success, 1 on a read error or an unusable entry.
  int GetFileExtents(std::uint32_t feSector, UdfFileData& out);
  // The 64-bit Information Length of an entry; false when it cannot be read.
  bool GetFileSize(std::uint32_t feSector, std::uint64_t& size);
  // A directory's whole data (all extents, unrecorded ones as zeros).
  int ReadDirectoryData(std::uint32_t feSector, std::vector<std::uint8_t>& data);
  // The named entries of a directory in directory order (the parent entry
  // left out): 0 on success; 1 on a read error or a failed VAT lookup, with
  // the entries read before it kept.
  int ReadDirectory(std::uint32_t feSector, std::vector<UdfDirEntry>& entries);

  // The browser's folder tree and file list.
  int FillFolderTree(ui::TreeCtrl* tree, ui::TreeItemTag* item);
  int AddSubFolders(ui::TreeCtrl* tree, ui::TreeItemTag* parent, std::uint32_t feSector);
  int FillFileList(ui::ListCtrl* list, std::uint32_t feSector);

  // Partition length in blocks (0 when the descriptor gave none).
  std::uint32_t PartitionLength() const { return m_nPartLength; }
  // Sector of the VAT's file entry on a virtual partition (0 before one is found).
  std::uint32_t VatSector() const { return m_nVatSector; }

 private:
  int ReadSector(std::uint32_t sector, unsigned char* buffer);     // through the sparing table
  int ReadRawSector(std::uint32_t sector, unsigned char* buffer);  // as addressed
  std::uint32_t RemapSector(std::uint32_t sector) const;
  bool ReadSparingTables(const udf::PartitionMap& map);
  bool FindVatEntry(std::uint32_t& feSector, std::vector<unsigned char>& fe);
  bool NextWritableAddress(std::uint32_t partStart, std::uint32_t& nwa);
  int CopyVat(const std::vector<UdfExtent>& extents, const std::vector<std::uint8_t>* inlineData,
              std::uint64_t length, bool header20, std::FILE* out);
  int CollectExtents(const std::vector<std::uint8_t>& fe, std::uint32_t feSector, bool shortIsVirtual,
                     UdfFileData& out);
  bool AppendPhysicalRuns(std::uint32_t block, std::uint64_t length, std::uint64_t fileOffset, UdfFileData& out,
                          std::size_t& budget);
  bool BlockToSector(std::uint32_t block, int partitionRef, bool shortIsVirtual, std::uint32_t& sector);
  bool ExtentFits(std::uint32_t block, std::uint64_t length) const;
  void RemoveVatFile();
  int AddSubFoldersBelow(ui::TreeCtrl* tree, ui::TreeItemTag* parent, std::uint32_t feSector, int depth,
                         std::vector<std::uint32_t>& ancestors, std::size_t& folders);

  std::uint32_t m_nPartLength = 0;
  std::uint32_t m_nVatSector = 0;
  int m_nVirtualRef = -1;   // index of the virtual partition map
  int m_nSparableRef = -1;  // index of the sparable partition map
  std::uint16_t m_nPacketLength = 0;
  std::vector<udf::SparingEntry> m_Sparing;
};
