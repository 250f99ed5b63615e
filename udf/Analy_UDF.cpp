#include "udf/Analy_UDF.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"

using namespace udf;

namespace {

// Where the volume recognition looks, relative to its own anchors.
constexpr std::uint32_t kAnchorFirst = 256;
constexpr std::uint32_t kAnchorSecond = 512;
constexpr std::uint32_t kVdsScan = 11;        // sectors of a sequence searched for PD and LVD
constexpr std::uint32_t kIntegrityScan = 17;  // sectors searched for the integrity descriptor
constexpr std::uint32_t kIntegrityExtentMax = 16;

int RevisionClass(std::uint16_t rev) {
  switch (rev) {
    case 0x0150: return 0;
    case 0x0200: return 1;
    case 0x0201: return 2;
    default: return -1;
  }
}

}  // namespace

CAnaly_UDF::CAnaly_UDF() = default;

CAnaly_UDF::~CAnaly_UDF() { RemoveVatFile(); }

bool CAnaly_UDF::Analyse(CDevCmdROM* device, unsigned char* pvdBuffer, std::uint32_t volumeStart) {
  m_pDevice = device;
  if (!device || device->TestUnitReady() != 0) return false;
  m_pPvdCopy = pvdBuffer;
  return ReadVolumeStructure(volumeStart) == 0;
}

int CAnaly_UDF::ReadSector(std::uint32_t sector, unsigned char* buffer) {
  return ReadRawSector(RemapSector(sector), buffer);
}

int CAnaly_UDF::ReadRawSector(std::uint32_t sector, unsigned char* buffer) {
  std::memset(buffer, 0, kSectorSize);
  if (!m_pDevice) return 1;
  return m_pDevice->ReadCD_10(buffer, static_cast<int>(kSectorSize), 1, sector);
}

// A sparable partition keeps a table of packets that were moved to spare
// space; a block of such a packet is read where it went.
std::uint32_t CAnaly_UDF::RemapSector(std::uint32_t sector) const {
  if (m_nSparableRef < 0 || m_Sparing.empty() || m_nPacketLength == 0 || sector < m_nPartStart) return sector;
  std::uint32_t block = sector - m_nPartStart;
  if (m_nPartLength && block >= m_nPartLength) return sector;
  std::uint32_t packet = block - block % m_nPacketLength;
  auto it = std::lower_bound(m_Sparing.begin(), m_Sparing.end(), packet,
                             [](const SparingEntry& e, std::uint32_t v) { return e.original < v; });
  if (it != m_Sparing.end() && it->original == packet) return it->mapped + (block - packet);
  return sector;
}

bool CAnaly_UDF::ReadSparingTables(const PartitionMap& map) {
  m_nPacketLength = map.packetLength;
  std::uint64_t bytes = std::min<std::uint64_t>(map.sparingTableSize ? map.sparingTableSize : kSectorSize,
                                                kMaxSparingTableBytes);
  std::uint32_t sectors = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
  unsigned char buf[kSectorSize];
  // The tables are copies of each other; the first one that reads whole wins.
  for (std::uint32_t loc : map.sparingTables) {
    std::vector<std::uint8_t> table;
    bool ok = true;
    for (std::uint32_t i = 0; i < sectors && ok; ++i) {
      std::memset(buf, 0, sizeof buf);
      ok = m_pDevice->ReadCD_10(buf, static_cast<int>(kSectorSize), 1, loc + i) == 0;
      table.insert(table.end(), buf, buf + kSectorSize);
    }
    std::vector<SparingEntry> entries;
    if (ok && ParseSparingTable(table, entries)) {
      std::sort(entries.begin(), entries.end(),
                [](const SparingEntry& x, const SparingEntry& y) { return x.original < y.original; });
      m_Sparing = std::move(entries);
      return true;
    }
  }
  return false;
}

int CAnaly_UDF::ReadVolumeStructure(std::uint32_t V) {
  m_nPartLength = 0;
  m_nVirtualRef = -1;
  m_nSparableRef = -1;
  m_nPacketLength = 0;
  m_Sparing.clear();

  unsigned char buf[kSectorSize];
  // 1. Anchor at V + 256, else V + 512 taken as it is: unchecked on purpose,
  // a sector that is no anchor then fails at the sequence below.
  if (ReadSector(V + kAnchorFirst, buf) != 0 || buf[0] != kTagAnchor) {
    if (ReadSector(V + kAnchorSecond, buf) != 0) return 1;
  }
  AnchorPointer anchor = AnchorPointer::Parse(buf);
  // Absolute sectors: V is deliberately not added, the anchor records them so.
  std::uint32_t M = anchor.mainLocation, R = anchor.reserveLocation;
  if (M == 0) return 1;

  // 3. The revision; not finding it does not stop the analysis.
  int revisionFound = ReadUdfRevision(M, R);

  // 4-5. The first Partition Descriptor of the main sequence, copying PVDs on the way.
  PartitionDescriptor pd;
  bool havePd = false;
  for (std::uint32_t i = 0; i < kVdsScan && !havePd; ++i) {
    if (ReadSector(M + i, buf) != 0) return 1;
    // Descriptors are told by the tag identifier's low byte alone, on purpose.
    if (buf[0] == kTagPrimaryVolume && m_pPvdCopy) std::memcpy(m_pPvdCopy, buf, kSectorSize);
    if (buf[0] == kTagPartition) {
      pd = PartitionDescriptor::Parse(buf);
      havePd = true;
    }
  }
  if (!havePd || pd.start == 0) return 1;
  m_nPartStart = pd.start;
  m_nPartLength = pd.length;

  // 6. The Logical Volume Descriptor.
  unsigned char lvdBytes[kSectorSize];
  bool haveLvd = false;
  for (std::uint32_t i = 0; i < kVdsScan && !haveLvd; ++i) {
    if (ReadSector(M + i, lvdBytes) != 0) return 1;
    haveLvd = lvdBytes[0] == kTagLogicalVolume;
  }
  if (!haveLvd) return 1;
  LogicalVolumeDescriptor lvd = LogicalVolumeDescriptor::Parse(lvdBytes);
  // Every read below is of 2048-byte sectors; other block sizes would be misread.
  if (lvd.blockSize != 0 && lvd.blockSize != kSectorSize) return 1;

  // Writers put the integrity descriptor where the logical volume says, not
  // necessarily inside the volume descriptor sequence; the domain identifier
  // names the revision when there is none.
  if (revisionFound != 0) {
    int rev = -1;
    std::uint32_t n = std::min<std::uint32_t>(lvd.integrityLength / kSectorSize, kIntegrityExtentMax);
    for (std::uint32_t i = 0; i < n && lvd.integrityLocation; ++i) {
      if (ReadSector(lvd.integrityLocation + i, buf) != 0 || buf[0] != kTagIntegrity) break;
      rev = RevisionClass(IntegrityWriteRevision(buf));  // the last one is current
    }
    if (rev < 0) rev = RevisionClass(lvd.domainRevision);
    if (rev >= 0) m_nUdfRevision = rev;
  }

  // 7. Which kind of partition.
  m_nPartMapKind = GetPartitionMapKind(lvdBytes, static_cast<int>(kSectorSize));
  for (std::size_t i = 0; i < lvd.maps.size(); ++i) {
    if (lvd.maps[i].kind == MapKind::Virtual && m_nVirtualRef < 0) m_nVirtualRef = static_cast<int>(i);
    if (lvd.maps[i].kind == MapKind::Sparable && m_nSparableRef < 0) m_nSparableRef = static_cast<int>(i);
  }
  if (m_nPartMapKind == 1 && m_nVirtualRef < 0) m_nVirtualRef = 1;
  if (m_nPartMapKind == 2 && m_nSparableRef >= 0) ReadSparingTables(lvd.maps[m_nSparableRef]);

  std::uint32_t F = lvd.fileSet.block;
  if (m_nPartMapKind != 1) {
    // 8. File Set Descriptor, then the root directory's ICB.
    if (ReadSector(m_nPartStart + F, buf) != 0) return 1;
    m_nRootIcb = GetLE32(&buf[404]);
    return 0;
  }

  // 9. Virtual partition: the table first, then the file set through it.
  if (LoadVat(m_nPartStart) != 0) return 1;
  std::uint32_t fsdBlock = F;
  bool fsdOk = lvd.fileSet.partitionRef != m_nVirtualRef || VatLookup(F, fsdBlock) == 0;
  if (fsdOk && ExtentFits(fsdBlock, 1) && ReadSector(m_nPartStart + fsdBlock, buf) == 0 &&
      TagIdentifier(buf) == kTagFileSet) {
    LongAd root = LongAd::Parse(&buf[400]);
    std::uint32_t rootBlock = root.block;
    if (root.partitionRef != m_nVirtualRef || VatLookup(root.block, rootBlock) == 0) {
      m_nRootIcb = rootBlock;
      return 0;
    }
  }
  // A file set that cannot be followed: the root is virtual block 1, as
  // packet-writing software records it.
  std::uint32_t rootBlock = 0;
  if (VatLookup(1, rootBlock) != 0) return 1;
  m_nRootIcb = rootBlock;
  return 0;
}

int CAnaly_UDF::ReadUdfRevision(std::uint32_t M, std::uint32_t R) {
  unsigned char buf[kSectorSize];
  for (std::uint32_t base : {M, R}) {
    for (std::uint32_t i = 0; i < kIntegrityScan; ++i) {
      if (ReadSector(base + i, buf) != 0) continue;
      if (buf[0] != kTagIntegrity) continue;
      int rev = RevisionClass(IntegrityWriteRevision(buf));
      // An unknown revision deliberately keeps the class found before.
      if (rev >= 0) m_nUdfRevision = rev;
      return 0;
    }
  }
  return 1;
}

int CAnaly_UDF::GetPartitionMapKind(const unsigned char* d, int count) {
  if (!d || count <= 0) return 0;
  constexpr int kMaps = 440;
  if (count < kMaps) return 0;
  std::uint32_t L = GetLE32(d + 264);
  int off = kMaps;
  while (static_cast<std::uint32_t>(off - kMaps) < L && off + 2 <= count) {
    int type = d[off];
    int len = d[off + 1];
    if (type == 1) {
      if (len == 0) return 0;  // would never advance
      off += len;
      continue;
    }
    if (type != 2) return 0;
    // A type-2 map's identifier; the first type-2 map ends the walk.
    if (off + 36 > count) return 0;
    unsigned char id[32];
    std::memcpy(id, d + off + 4, sizeof id);
    if (FindBytes(id, 32, reinterpret_cast<const unsigned char*>("Virtual"), 7) >= 0) return 1;
    if (FindBytes(id, 32, reinterpret_cast<const unsigned char*>("Sparable"), 8) >= 0) return 2;
    return 0;
  }
  return 0;
}

int CAnaly_UDF::FindBytes(const unsigned char* data, int n, const unsigned char* pattern, int m) {
  return FindPattern(data, n, pattern, m);
}
