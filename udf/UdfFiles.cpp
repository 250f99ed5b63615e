// File entries, their data extents, directories and names.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/TextCodec.h"
#include "udf/Analy_UDF.h"

using namespace udf;

namespace {

// ICB file types whose entry has the File Entry layout with descriptors.
bool IsFileEntryType(std::uint8_t t) { return t == 0 || (t >= 4 && t <= 10); }

constexpr std::size_t kAedHeader = 24;  // tag, previous location, L_AD
constexpr std::size_t kUnallocatedSpaceAds = 40;

}  // namespace

bool CAnaly_UDF::ExtentFits(std::uint32_t block, std::uint64_t length) const {
  if (m_nPartLength == 0) return true;
  std::uint64_t blocks = (length + kSectorSize - 1) / kSectorSize;
  return std::uint64_t(block) + std::max<std::uint64_t>(blocks, 1) <= m_nPartLength;
}

bool CAnaly_UDF::BlockToSector(std::uint32_t block, int partitionRef, bool shortIsVirtual, std::uint32_t& sector) {
  bool isVirtual = m_nPartMapKind == 1 && m_nVirtualRef >= 0 &&
                   (partitionRef < 0 ? shortIsVirtual : partitionRef == m_nVirtualRef);
  if (isVirtual && VatLookup(block, block) != 0) return false;
  if (block > 0xFFFFFFFFu - m_nPartStart) return false;
  sector = m_nPartStart + block;
  return true;
}

// One extent of the partition as runs of sectors on the medium: a spared
// packet inside it is read where it went, so the extent breaks around it.
bool CAnaly_UDF::AppendPhysicalRuns(std::uint32_t block, std::uint64_t length, std::uint64_t fileOffset,
                                    UdfFileData& out, std::size_t& budget) {
  const std::uint64_t blocks = (length + kSectorSize - 1) / kSectorSize;
  const bool sparing = m_nSparableRef >= 0 && m_nPacketLength && !m_Sparing.empty();
  const std::uint32_t L = m_nPacketLength;
  std::uint64_t b = 0, left = length;
  while (b < blocks) {
    if (budget-- == 0) return false;
    std::uint64_t n = blocks - b;
    std::uint32_t at = block + static_cast<std::uint32_t>(b);
    if (sparing) {
      std::uint32_t packet = at - at % L;
      auto it = std::lower_bound(m_Sparing.begin(), m_Sparing.end(), packet,
                                 [](const SparingEntry& e, std::uint32_t v) { return e.original < v; });
      if (it != m_Sparing.end() && it->original == packet)
        n = std::min<std::uint64_t>(n, std::uint64_t(packet) + L - at);  // to the end of the spared packet
      else if (it != m_Sparing.end())
        n = std::min<std::uint64_t>(n, std::uint64_t(it->original) - at);  // to the next spared one
    }
    UdfExtent run;
    run.fileOffset = fileOffset + b * kSectorSize;
    run.length = std::min<std::uint64_t>(left, n * kSectorSize);
    run.sector = RemapSector(m_nPartStart + at);
    left -= run.length;
    b += n;
    UdfExtent* last = out.extents.empty() ? nullptr : &out.extents.back();
    if (last && last->recorded && last->length % kSectorSize == 0 && last->fileOffset + last->length == run.fileOffset &&
        std::uint64_t(last->sector) + last->length / kSectorSize == run.sector) {
      last->length += run.length;
      continue;
    }
    if (out.extents.size() >= kMaxExtentsPerFile) return false;
    out.extents.push_back(run);
  }
  return true;
}

int CAnaly_UDF::CollectExtents(const std::vector<std::uint8_t>& fe, std::uint32_t feSector, bool shortIsVirtual,
                               UdfFileData& out) {
  out = UdfFileData{};
  FileEntry e = FileEntry::Parse(fe);
  out.size = e.infoLength;
  out.fileType = e.fileType;
  out.extended = e.extended;
  if (e.clipped) return 1;  // L_EA or L_AD past the sector
  if (e.adType == 3) {
    out.embedded = true;
    out.inlineData.assign(fe.begin() + e.adOffset, fe.begin() + e.adOffset + e.adBytes);
    return 0;
  }
  if (e.adType > 2) return 1;

  // The descriptors of the entry, then of each allocation extent that
  // continues the list.
  std::vector<AllocDesc> ads;
  AllocDesc next;
  bool hasNext = false;
  if (!ParseAllocDescs(std::span(fe).subspan(e.adOffset, e.adBytes), e.adType, ads, &next, &hasNext)) return 1;
  std::vector<std::uint8_t> aed(kSectorSize);
  std::vector<std::uint32_t> chainSectors;
  for (int chain = 0; hasNext; ++chain) {
    if (chain >= kMaxAllocExtentChain) return 1;
    std::uint32_t s;
    if (!BlockToSector(next.block, next.partitionRef, shortIsVirtual, s) || !ExtentFits(next.block, kSectorSize))
      return 1;
    // A list that continues into a descriptor already read would never end.
    if (s == feSector || std::find(chainSectors.begin(), chainSectors.end(), s) != chainSectors.end()) return 1;
    chainSectors.push_back(s);
    if (ReadSector(s, aed.data()) != 0) return 1;
    if (TagIdentifier(aed.data()) != kTagAllocExtent) return 1;
    std::uint32_t lAd = GetLE32(&aed[20]);
    if (lAd > kSectorSize - kAedHeader) return 1;
    if (!ParseAllocDescs(std::span(aed).subspan(kAedHeader, lAd), e.adType, ads, &next, &hasNext)) return 1;
  }

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
    bool isVirtual = m_nPartMapKind == 1 && m_nVirtualRef >= 0 &&
                     (a.partitionRef < 0 ? shortIsVirtual : a.partitionRef == m_nVirtualRef);
    std::uint32_t blocks = static_cast<std::uint32_t>((std::uint64_t(a.length) + kSectorSize - 1) / kSectorSize);
    if (!isVirtual) {
      if (!ExtentFits(a.block, a.length) || !AppendPhysicalRuns(a.block, a.length, x.fileOffset, out, budget))
        return 1;
      continue;
    }
    // Each virtual block has its own entry; consecutive ones become one run.
    translated += blocks;
    if (translated > kMaxVatBytes / 4) return 1;
    std::vector<std::uint32_t> phys;
    if (VatLookupRange(a.block, blocks, phys) != 0) return 1;
    std::uint64_t left = a.length;
    for (std::uint32_t i = 0; i < blocks;) {
      if (!ExtentFits(phys[i], kSectorSize)) return 1;
      std::uint32_t first = m_nPartStart + phys[i];
      std::uint32_t n = 1;
      while (i + n < blocks && ExtentFits(phys[i + n], kSectorSize) && m_nPartStart + phys[i + n] == first + n) ++n;
      UdfExtent run;
      run.fileOffset = x.fileOffset + std::uint64_t(i) * kSectorSize;
      run.length = std::min<std::uint64_t>(left, std::uint64_t(n) * kSectorSize);
      run.sector = first;
      left -= run.length;
      if (out.extents.size() >= kMaxExtentsPerFile) return 1;
      out.extents.push_back(run);
      i += n;
    }
  }
  return 0;
}

int CAnaly_UDF::GetFileExtents(std::uint32_t feSector, UdfFileData& out) {
  std::vector<std::uint8_t> fe(kSectorSize);
  if (ReadSector(feSector, fe.data()) != 0) return 1;
  std::uint8_t t = fe[27];
  if (!IsFileEntryType(t) && t != kFileTypeVat20) return 1;
  // Entries reached through a virtual partition address their short
  // descriptors in it too.
  return CollectExtents(fe, feSector, m_nPartMapKind == 1, out);
}

bool CAnaly_UDF::GetFileSize(std::uint32_t feSector, std::uint64_t& size) {
  unsigned char buf[kSectorSize];
  if (ReadSector(feSector, buf) != 0 || !IsFileEntryType(buf[27])) return false;
  size = GetLE64(&buf[56]);
  return true;
}

int CAnaly_UDF::GetFileExtent(std::uint32_t S, std::uint32_t& dataPos, std::uint32_t& dataLen) {
  unsigned char buf[kSectorSize];
  if (ReadSector(S, buf) != 0) return 1;
  std::uint8_t T = buf[27];
  std::uint8_t A = buf[34] & 7;
  FileEntry e = FileEntry::Parse(buf);
  if (T <= 10 && A == 3) {
    dataPos = S;
    dataLen = e.adBytes;  // never beyond the end of the sector
    return 0;
  }
  const unsigned char* ad = nullptr;
  std::size_t room = 0;
  if (IsFileEntryType(T)) {
    ad = buf + e.adOffset;
    room = e.adBytes;
  } else if (T == 1) {
    ad = buf + kUnallocatedSpaceAds;
    room = std::min<std::size_t>(GetLE32(&buf[36]), kSectorSize - kUnallocatedSpaceAds);
  } else if (T == 3) {
    dataLen = GetLE32(&buf[36]) & 0x3FFFFFFF;
    dataPos = GetLE32(&buf[40]);
    return 0;
  } else {
    return 0;
  }
  std::size_t size = AllocDescSize(A);
  if (size == 0 || room < size) return 0;
  std::uint32_t len = GetLE32(ad) & 0x3FFFFFFF;
  std::uint32_t block = GetLE32(ad + (A == 2 ? 12 : 4));
  int ref = A == 0 ? -1 : GetLE16(ad + (A == 2 ? 16 : 8));
  // On a virtual partition the position is where the block really lies.
  bool isVirtual = m_nPartMapKind == 1 && m_nVirtualRef >= 0 && (ref < 0 || ref == m_nVirtualRef);
  if (isVirtual && VatLookup(block, block) != 0) return 0;
  dataPos = block;
  dataLen = len;
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
  unsigned char buf[kSectorSize];
  if (ReadSector(S, buf) != 0) return;
  if (!IsFileEntryType(buf[27])) return;
  FileEntry e = FileEntry::Parse(buf);
  size = std::to_string(e.infoLength);
  char text[64];
  const Timestamp& t = e.attributeTime;
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  time = text;
}

int CAnaly_UDF::ReadDirectoryData(std::uint32_t S, std::vector<std::uint8_t>& data) {
  data.clear();
  UdfFileData f;
  if (GetFileExtents(S, f) != 0) return 1;
  if (f.embedded) {
    std::size_t n = f.size ? std::min<std::uint64_t>(f.size, f.inlineData.size()) : f.inlineData.size();
    data.assign(f.inlineData.begin(), f.inlineData.begin() + n);
    return 0;
  }
  if (f.size > kMaxDirectoryBytes) return 1;
  data.assign(static_cast<std::size_t>(f.size), 0);
  unsigned char buf[kSectorSize];
  for (const UdfExtent& x : f.extents) {
    if (!x.recorded) continue;  // reads as zeros
    for (std::uint64_t off = 0; off < x.length && x.fileOffset + off < data.size(); off += kSectorSize) {
      if (ReadRawSector(x.sector + static_cast<std::uint32_t>(off / kSectorSize), buf) != 0) return 1;
      std::size_t at = static_cast<std::size_t>(x.fileOffset + off);
      std::size_t n = std::min<std::size_t>({kSectorSize, data.size() - at, static_cast<std::size_t>(x.length - off)});
      std::memcpy(data.data() + at, buf, n);
    }
  }
  return 0;
}

int CAnaly_UDF::ReadDirectory(std::uint32_t S, std::vector<UdfDirEntry>& entries) {
  entries.clear();
  std::vector<std::uint8_t> data;
  if (ReadDirectoryData(S, data) != 0) return 1;
  FidIterator it(data);
  FileIdentifier fid;
  while (it.Next(fid) == FidStatus::Ok) {
    if (fid.lFi == 0) continue;  // the parent entry
    UdfDirEntry d;
    char name[256] = {};
    DecodeName(data[fid.nameOffset], name, sizeof name, data.data() + fid.nameOffset + 1, fid.lFi - 1);
    d.name = name;
    d.characteristics = fid.characteristics;
    d.isDirectory = (fid.characteristics & kFidDirectory) != 0;
    std::uint32_t sector;
    if (!BlockToSector(fid.icb.block, fid.icb.partitionRef, true, sector)) return 1;
    d.feSector = sector;
    d.block = sector - m_nPartStart;
    entries.push_back(std::move(d));
  }
  return 0;
}
