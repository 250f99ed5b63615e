// The metadata partition of UDF 2.50 and later: file entries and directories
// live in the data of the metadata file, itself a file of the partition
// under it (its virtual partition on write-once media). The mirror file is
// a copy of it, read when the main one is damaged.
#include <array>

#include "udf/Analy_UDF.h"

using namespace udf;

ExtentStatus CAnaly_UDF::LoadMetadataFile(std::uint32_t block) {
  m_Metadata.Clear();
  std::uint32_t at = block;
  if (m_bMetadataOnVat && VatLookup(block, at) != 0) return ExtentStatus::LookupFailed;
  if (!ExtentFits(at, m_nBlockSize) || at > 0xFFFFFFFFu - m_nPartStart) return ExtentStatus::ExtentOutsidePartition;
  const std::uint32_t feSector = m_nPartStart + at;
  std::vector<std::uint8_t> fe(m_nBlockSize);
  if (ReadSector(feSector, fe.data()) != 0) return ExtentStatus::EntryUnreadable;
  // Here the tags are checked whole (checksum and CRC): a damaged main file
  // must send the reader to the mirror, not into garbage.
  if (CheckTag(fe, kTagFileEntry) != TagCheck::Ok && CheckTag(fe, kTagExtendedFileEntry) != TagCheck::Ok)
    return ExtentStatus::EntryUnreadable;
  const FileEntry e = FileEntry::Parse(fe);
  if (e.fileType != kFileTypeMetadata && e.fileType != kFileTypeMetadataMirror) return ExtentStatus::NotAFileEntry;
  if (e.clipped) return ExtentStatus::LengthsPastEntry;
  if (e.adType > 2) return ExtentStatus::UnknownDescriptorType;
  std::vector<AllocDesc> ads;
  const int under = m_bMetadataOnVat ? m_nVirtualRef : -1;
  if (ExtentStatus s = CollectDescriptors(fe, e, feSector, under, ads); s != ExtentStatus::Ok) return s;
  for (const AllocDesc& a : ads)
    if (a.extentType == kExtentRecorded && !m_bMetadataOnVat && !ExtentFits(a.block, a.length))
      return ExtentStatus::ExtentOutsidePartition;
  switch (m_Metadata.Assign(ads, m_nBlockSize)) {
    case MetadataMap::Build::Ok: return ExtentStatus::Ok;
    case MetadataMap::Build::TooManyRuns: return ExtentStatus::TooManyExtents;
    default: return ExtentStatus::BrokenDescriptorList;
  }
}

// The file set read through the metadata file just loaded passes its tag:
// the copy holds what it should, not only a good entry of its own.
bool CAnaly_UDF::FileSetReadable(const LongAd& fileSet) {
  std::uint32_t block = 0;
  std::vector<std::uint8_t> fsd(m_nBlockSize);
  return Translate(fileSet.block, fileSet.partitionRef, block) && ExtentFits(block, m_nBlockSize) &&
         ReadSector(m_nPartStart + block, fsd.data()) == 0 && CheckTag(fsd, kTagFileSet) == TagCheck::Ok;
}

bool CAnaly_UDF::LoadMetadata(const PartitionMap& map, const LongAd& fileSet) {
  // On write-once media the metadata file is a file of the virtual partition.
  m_bMetadataOnVat = m_nVirtualRef >= 0 && m_nVatSector != 0;
  const ExtentStatus main = LoadMetadataFile(map.metadataFile);
  if (main == ExtentStatus::Ok && FileSetReadable(fileSet)) return true;
  m_Summary.metadataProblem =
      main != ExtentStatus::Ok ? ExtentStatusText(main) : "the file set read through it is damaged or unreadable";
  if (map.metadataMirror == map.metadataFile) return false;
  if (LoadMetadataFile(map.metadataMirror) != ExtentStatus::Ok || !FileSetReadable(fileSet)) return false;
  m_Summary.metadataMirror = true;
  return true;
}
