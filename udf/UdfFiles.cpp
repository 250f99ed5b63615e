// File entries, their data extents, directories and names.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/TextCodec.h"
#include "udf/Analy_UDF.h"

using namespace udf;

namespace {

constexpr std::size_t kAedHeader = 24;  // tag, previous location, L_AD
constexpr std::size_t kAedLength = 20;
constexpr std::size_t kUnallocatedSpaceLength = 36;
constexpr std::size_t kUnallocatedSpaceAds = 40;
constexpr std::size_t kIndirectIcb = 36;

using Block = std::array<unsigned char, kMaxBlockSize>;

}  // namespace

int CAnaly_UDF::EntryRef() const {
  if (m_nMetadataRef >= 0) return m_nMetadataRef;
  if (m_nPartMapKind == 1 && m_nVirtualRef >= 0) return m_nVirtualRef;
  return -1;  // the physical partition
}

bool CAnaly_UDF::ExtentFits(std::uint32_t block, std::uint64_t length) const {
  if (m_nPartLength == 0) return true;
  std::uint64_t blocks = (length + m_nBlockSize - 1) / m_nBlockSize;
  return std::uint64_t(block) + std::max<std::uint64_t>(blocks, 1) <= m_nPartLength;
}

bool CAnaly_UDF::Translate(std::uint32_t block, int ref, std::uint32_t& partitionBlock) {
  if (ref >= 0 && ref == m_nMetadataRef) {
    const std::optional<std::uint32_t> under = m_Metadata.Lookup(block);
    if (!under) return false;
    block = *under;
    if (m_bMetadataOnVat && VatLookup(block, block) != 0) return false;
  } else if (ref >= 0 && ref == m_nVirtualRef && (m_nPartMapKind == 1 || m_nPartMapKind == 3)) {
    if (VatLookup(block, block) != 0) return false;
  }
  partitionBlock = block;
  return true;
}

bool CAnaly_UDF::BlockToSector(std::uint32_t block, int partitionRef, int shortRef, std::uint32_t& sector) {
  if (!Translate(block, partitionRef < 0 ? shortRef : partitionRef, block)) return false;
  if (block > 0xFFFFFFFFu - m_nPartStart) return false;
  sector = m_nPartStart + block;
  return true;
}

// One extent of the partition as runs of blocks on the medium: a spared
// packet inside it is read where it went, so the extent breaks around it.
bool CAnaly_UDF::AppendPhysicalRuns(std::uint32_t block, std::uint64_t length, std::uint64_t fileOffset,
                                    UdfFileData& out, std::size_t& budget) {
  const std::uint64_t bs = m_nBlockSize;
  const std::uint64_t blocks = (length + bs - 1) / bs;
  std::uint64_t b = 0, left = length;
  while (b < blocks) {
    if (budget-- == 0) return false;
    std::uint32_t at = block + static_cast<std::uint32_t>(b);
    std::uint64_t n = m_nSparableRef >= 0 ? m_Sparing.RunFrom(at, blocks - b) : blocks - b;
    UdfExtent run;
    run.fileOffset = fileOffset + b * bs;
    run.length = std::min<std::uint64_t>(left, n * bs);
    run.sector = RemapSector(m_nPartStart + at);
    left -= run.length;
    b += n;
    UdfExtent* last = out.extents.empty() ? nullptr : &out.extents.back();
    if (last && last->recorded && last->length % bs == 0 && last->fileOffset + last->length == run.fileOffset &&
        std::uint64_t(last->sector) + last->length / bs == run.sector) {
      last->length += run.length;
      continue;
    }
    if (out.extents.size() >= kMaxExtentsPerFile) return false;
    out.extents.push_back(run);
  }
  return true;
}

// A recorded extent of a virtual or metadata partition: each block is looked
// up, and blocks that lie consecutively under it become one run.
ExtentStatus CAnaly_UDF::AppendTranslatedRuns(const AllocDesc& a, int ref, std::uint64_t fileOffset,
                                              UdfFileData& out, std::size_t& budget, std::uint64_t& translated) {
  const std::uint64_t bs = m_nBlockSize;
  const std::uint32_t blocks = static_cast<std::uint32_t>((std::uint64_t(a.length) + bs - 1) / bs);
  translated += blocks;
  if (translated > kMaxVatBytes / 4) return ExtentStatus::TooManyExtents;
  const bool metadata = ref == m_nMetadataRef;
  std::vector<std::uint32_t> phys;
  if (!metadata && VatLookupRange(a.block, blocks, phys) != 0) return ExtentStatus::LookupFailed;
  std::uint64_t left = a.length;
  for (std::uint32_t i = 0; i < blocks;) {
    std::uint32_t first = 0, n = 1;
    if (metadata) {
      if (!Translate(a.block + i, ref, first)) return ExtentStatus::LookupFailed;
      if (!m_bMetadataOnVat) n = std::min(m_Metadata.RunFrom(a.block + i), blocks - i);
    } else {
      first = phys[i];
      while (i + n < blocks && phys[i + n] == first + n) ++n;
    }
    const std::uint64_t length = std::min<std::uint64_t>(left, std::uint64_t(n) * bs);
    if (!ExtentFits(first, length)) return ExtentStatus::ExtentOutsidePartition;
    if (!AppendPhysicalRuns(first, length, fileOffset + std::uint64_t(i) * bs, out, budget))
      return ExtentStatus::TooManyExtents;
    left -= length;
    i += n;
  }
  return ExtentStatus::Ok;
}

// The descriptors of the entry, then of each allocation extent that
// continues the list.
ExtentStatus CAnaly_UDF::CollectDescriptors(const std::vector<std::uint8_t>& fe, const FileEntry& e,
                                            std::uint32_t feSector, int shortRef, std::vector<AllocDesc>& ads) {
  AllocDesc next;
  bool hasNext = false;
  if (!ParseAllocDescs(std::span(fe).subspan(e.adOffset, e.adBytes), e.adType, ads, &next, &hasNext))
    return ExtentStatus::BrokenDescriptorList;
  std::vector<std::uint8_t> aed(m_nBlockSize);
  std::vector<std::uint32_t> chainSectors;
  for (int chain = 0; hasNext; ++chain) {
    if (chain >= kMaxAllocExtentChain) return ExtentStatus::ChainTooLong;
    std::uint32_t s;
    if (!BlockToSector(next.block, next.partitionRef, shortRef, s) || !ExtentFits(s - m_nPartStart, m_nBlockSize))
      return ExtentStatus::ChainOutsidePartition;
    // A list that continues into a descriptor already read would never end.
    if (s == feSector || std::find(chainSectors.begin(), chainSectors.end(), s) != chainSectors.end())
      return ExtentStatus::ChainLoop;
    chainSectors.push_back(s);
    if (ReadSector(s, aed.data()) != 0) return ExtentStatus::ChainUnreadable;
    if (TagIdentifier(aed.data()) != kTagAllocExtent) return ExtentStatus::ChainNotAnExtent;
    std::uint32_t lAd = GetLE32(&aed[kAedLength]);
    if (lAd > m_nBlockSize - kAedHeader) return ExtentStatus::ChainLengthPastBlock;
    if (!ParseAllocDescs(std::span(aed).subspan(kAedHeader, lAd), e.adType, ads, &next, &hasNext))
      return ExtentStatus::BrokenDescriptorList;
  }
  return ExtentStatus::Ok;
}

ExtentStatus CAnaly_UDF::CollectExtents(const std::vector<std::uint8_t>& fe, std::uint32_t feSector, int shortRef,
                                        UdfFileData& out) {
  out = UdfFileData{};
  FileEntry e = FileEntry::Parse(fe);
  out.size = e.infoLength;
  out.fileType = e.fileType;
  out.mode = e.Mode();
  out.mtime = e.modificationTime.ToUnix();
  out.extended = e.extended;
  if (e.clipped) return ExtentStatus::LengthsPastEntry;
  if (e.adType == 3) {
    out.embedded = true;
    out.inlineData.assign(fe.begin() + e.adOffset, fe.begin() + e.adOffset + e.adBytes);
    return ExtentStatus::Ok;
  }
  if (e.adType > 2) return ExtentStatus::UnknownDescriptorType;
  std::vector<AllocDesc> ads;
  if (ExtentStatus s = CollectDescriptors(fe, e, feSector, shortRef, ads); s != ExtentStatus::Ok) return s;

  std::uint64_t offset = 0, translated = 0;
  std::size_t budget = 4 * kMaxExtentsPerFile;
  for (const AllocDesc& a : ads) {
    if (offset >= out.size && out.size > 0) break;
    UdfExtent x;
    x.fileOffset = offset;
    x.length = a.length;
    offset += a.length;
    if (a.extentType != kExtentRecorded) {
      x.recorded = false;
      out.extents.push_back(x);
      continue;
    }
    const int ref = a.partitionRef < 0 ? shortRef : a.partitionRef;
    const bool translatedRef = ref >= 0 && (ref == m_nMetadataRef ||
                                            (ref == m_nVirtualRef && (m_nPartMapKind == 1 || m_nPartMapKind == 3)));
    if (translatedRef) {
      if (ExtentStatus s = AppendTranslatedRuns(a, ref, x.fileOffset, out, budget, translated); s != ExtentStatus::Ok)
        return s;
      continue;
    }
    if (!ExtentFits(a.block, a.length)) return ExtentStatus::ExtentOutsidePartition;
    if (!AppendPhysicalRuns(a.block, a.length, x.fileOffset, out, budget)) return ExtentStatus::TooManyExtents;
  }
  return ExtentStatus::Ok;
}

ExtentStatus CAnaly_UDF::ReadFileExtents(std::uint32_t feSector, UdfFileData& out) {
  out = UdfFileData{};
  std::vector<std::uint8_t> fe(m_nBlockSize);
  if (ReadSector(feSector, fe.data()) != 0) return ExtentStatus::EntryUnreadable;
  std::uint8_t t = fe[27];
  if (!IsFileEntryType(t) && t != kFileTypeVat20) return ExtentStatus::NotAFileEntry;
  // Entries reached through a virtual or metadata partition address their
  // short descriptors in it too.
  return CollectExtents(fe, feSector, EntryRef(), out);
}

int CAnaly_UDF::GetFileExtents(std::uint32_t feSector, UdfFileData& out) {
  return ReadFileExtents(feSector, out) == ExtentStatus::Ok ? 0 : 1;
}

bool CAnaly_UDF::GetFileSize(std::uint32_t feSector, std::uint64_t& size) {
  Block buf;
  if (ReadSector(feSector, buf.data()) != 0 || !IsFileEntryType(buf[27])) return false;
  size = FileEntry::Parse(std::span(buf.data(), m_nBlockSize)).infoLength;
  return true;
}

int CAnaly_UDF::GetFileExtent(std::uint32_t S, std::uint32_t& dataPos, std::uint32_t& dataLen) {
  Block buf;
  if (ReadSector(S, buf.data()) != 0) return 1;
  const std::span<const std::uint8_t> entry(buf.data(), m_nBlockSize);
  const FileEntry e = FileEntry::Parse(entry);
  const std::uint8_t T = e.fileType;
  if ((T <= kFileTypeSocket || IsFileEntryType(T)) && e.adType == 3) {
    dataPos = S;
    dataLen = e.adBytes;  // never beyond the end of the block
    return 0;
  }
  std::span<const std::uint8_t> ads;
  if (IsFileEntryType(T)) {
    ads = entry.subspan(e.adOffset, e.adBytes);
  } else if (T == 1) {  // Unallocated Space Entry
    ads = entry.subspan(kUnallocatedSpaceAds, std::min<std::size_t>(GetLE32(&buf[kUnallocatedSpaceLength]),
                                                                    m_nBlockSize - kUnallocatedSpaceAds));
  } else if (T == kFileTypeIndirect) {
    const LongAd next = LongAd::Parse(&buf[kIndirectIcb]);
    dataLen = next.length;
    dataPos = next.block;
    return 0;
  } else {
    return 0;
  }
  std::vector<AllocDesc> first;
  ParseAllocDescs(ads.first(std::min(ads.size(), AllocDescSize(e.adType))), e.adType, first, nullptr, nullptr);
  if (first.empty()) return 0;
  // The position is where the block really lies.
  std::uint32_t block = first[0].block;
  if (!Translate(block, first[0].partitionRef < 0 ? EntryRef() : first[0].partitionRef, block)) return 0;
  dataPos = block;
  dataLen = first[0].length;
  return 0;
}

void CAnaly_UDF::DecodeName(int id, char* out, int n, const unsigned char* src, int count) {
  if (!out || n <= 0 || !src || count <= 0) return;
  std::string name;
  if (id == 8) {
    name = Latin1ToUtf8(src, static_cast<std::size_t>(count));
  } else if (id == 16) {
    name = Utf16BeToUtf8(src, static_cast<std::size_t>(count));
  } else {
    return;
  }
  CopyUtf8Bounded(name, out, static_cast<std::size_t>(n));
}

void CAnaly_UDF::GetFileInfo(std::uint32_t S, std::string& time, std::string& size) {
  Block buf;
  if (ReadSector(S, buf.data()) != 0) return;
  if (!IsFileEntryType(buf[27])) return;
  FileEntry e = FileEntry::Parse(std::span(buf.data(), m_nBlockSize));
  size = std::to_string(e.infoLength);
  char text[64];
  const Timestamp& t = e.attributeTime;
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  time = text;
}
