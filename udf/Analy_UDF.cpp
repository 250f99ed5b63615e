#include "udf/Analy_UDF.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "fs/Recognise.h"
#include "fs/udf/BlockReader.h"
#include "platform/orvane/DeviceSource.h"

using namespace udf;

namespace {

// Where the volume recognition looks, relative to its own anchors.
constexpr std::uint32_t kAnchorFirst = 256;
constexpr std::uint32_t kAnchorSecond = 512;
constexpr std::uint32_t kVdsScan = 11;        // blocks of a sequence searched for PD and LVD
constexpr std::uint32_t kIntegrityScan = 17;  // blocks searched for the integrity descriptor
constexpr std::uint32_t kIntegrityExtentMax = 16;

// 1.50, 2.00 and 2.01 keep the classes they always had; 2.50 and 2.60 follow.
int RevisionClass(std::uint16_t rev) {
  switch (rev) {
    case 0x0150: return 0;
    case 0x0200: return 1;
    case 0x0201: return 2;
    case 0x0250: return 3;
    case 0x0260: return 4;
    default: return -1;
  }
}

const char* RevisionText(int revisionClass) {
  static constexpr const char* kTexts[] = {"1.50", "2.00", "2.01", "2.50", "2.60"};
  return revisionClass >= 0 && revisionClass < 5 ? kTexts[revisionClass] : "";
}

// A revision as the volume records it (BCD-like 0x0102 is "1.02").
std::string RevisionText(std::uint16_t recorded) {
  char text[8];
  std::snprintf(text, sizeof text, "%x.%02x", recorded >> 8, recorded & 0xFF);
  return text;
}

using Block = std::array<unsigned char, kMaxBlockSize>;

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
  std::memset(buffer, 0, m_nBlockSize);
  if (!m_pDevice) return 1;
  if (m_nBlockSize == kSectorSize) return m_pDevice->ReadCD_10(buffer, static_cast<int>(kSectorSize), 1, sector);
  orvane::DeviceSectorSource source(*m_pDevice);
  return BlockReader(source, m_nBlockSize).Read(sector, buffer) ? 0 : 1;
}

// A sparable partition keeps a table of packets that were moved to spare
// space; a block of such a packet is read where it went.
std::uint32_t CAnaly_UDF::RemapSector(std::uint32_t sector) const {
  if (m_nSparableRef < 0 || m_Sparing.Empty() || sector < m_nPartStart) return sector;
  std::uint32_t block = sector - m_nPartStart;
  if (m_nPartLength && block >= m_nPartLength) return sector;
  return m_Sparing.Moved(block).value_or(sector);
}

bool CAnaly_UDF::ReadSparingTables(const PartitionMap& map) {
  std::uint64_t bytes = std::min<std::uint64_t>(map.sparingTableSize ? map.sparingTableSize : m_nBlockSize,
                                                kMaxSparingTableBytes);
  std::uint32_t blocks = static_cast<std::uint32_t>((bytes + m_nBlockSize - 1) / m_nBlockSize);
  Block buf;
  // The tables are copies of each other; the first one that reads whole wins.
  for (std::uint32_t loc : map.sparingTables) {
    std::vector<std::uint8_t> table;
    bool ok = true;
    for (std::uint32_t i = 0; i < blocks && ok; ++i) {
      ok = ReadRawSector(loc + i, buf.data()) == 0;
      table.insert(table.end(), buf.data(), buf.data() + m_nBlockSize);
    }
    std::vector<SparingEntry> entries;
    if (ok && ParseSparingTable(table, entries)) {
      m_Sparing.Reset(map.packetLength, std::move(entries));
      return true;
    }
  }
  return false;
}

// The anchor and the block size it tells: where the recognition sequence
// names UDF, the places fs/Recognise looks at; else (and failing those) V +
// 256 by its first byte, else V + 512 taken as it is. Unchecked on purpose: a
// block that is no anchor then fails at the sequence. The track's end is
// only believed for a volume whose sequence is here: another volume's closing
// anchor may end the same track.
bool CAnaly_UDF::FindAnchor(std::uint32_t V, unsigned char* buf) {
  orvane::DeviceSectorSource source(*m_pDevice);
  const fs::RecognitionSequence seq = fs::ReadRecognitionSequence(source, V);
  std::optional<fs::AnchorSearch> found;
  if (seq.nsr) found = fs::FindUdfAnchors(source, V, true, seq.step);
  if (found) {
    m_nBlockSize = found->blockSize;
    m_Anchors = found->anchors;
    return ReadSector(found->anchors.front(), buf) == 0;
  }
  if (ReadSector(V + kAnchorFirst, buf) == 0 && buf[0] == kTagAnchor) {
    m_Anchors = {V + kAnchorFirst};
    return true;
  }
  if (ReadSector(V + kAnchorSecond, buf) != 0) return false;
  m_Anchors = {V + kAnchorSecond};
  return true;
}

// The first Partition Descriptor of the main sequence (copying primary
// descriptors on the way), then its Logical Volume Descriptor. Descriptors
// are told by the tag identifier's low byte alone, on purpose.
bool CAnaly_UDF::ReadVolumeDescriptors(std::uint32_t M, unsigned char* lvdBytes) {
  Block buf;
  PartitionDescriptor pd;
  bool havePd = false;
  for (std::uint32_t i = 0; i < kVdsScan && !havePd; ++i) {
    if (ReadSector(M + i, buf.data()) != 0) return false;
    if (buf[0] == kTagPrimaryVolume && m_pPvdCopy) {
      // The caller's buffer holds 2048 bytes; a smaller block leaves zeros after it.
      std::memset(m_pPvdCopy, 0, kSectorSize);
      std::memcpy(m_pPvdCopy, buf.data(), std::min<std::size_t>(m_nBlockSize, kSectorSize));
    }
    if (buf[0] == kTagPartition) {
      pd = PartitionDescriptor::Parse(std::span(buf.data(), m_nBlockSize));
      havePd = true;
    }
  }
  if (!havePd || pd.start == 0) return false;
  m_nPartStart = pd.start;
  m_nPartLength = pd.length;
  for (std::uint32_t i = 0; i < kVdsScan; ++i) {
    if (ReadSector(M + i, lvdBytes) != 0) return false;
    if (lvdBytes[0] == kTagLogicalVolume) return true;
  }
  return false;
}

// Writers put the integrity descriptor where the logical volume says, not
// necessarily inside the volume descriptor sequence; the domain identifier
// names the revision when there is none.
void CAnaly_UDF::ReadRevision(const LogicalVolumeDescriptor& lvd, int revisionFound) {
  if (revisionFound == 0) return;
  Block buf;
  int rev = -1;
  std::uint32_t n = std::min<std::uint32_t>(lvd.integrityLength / m_nBlockSize, kIntegrityExtentMax);
  for (std::uint32_t i = 0; i < n && lvd.integrityLocation; ++i) {
    if (ReadSector(lvd.integrityLocation + i, buf.data()) != 0 || buf[0] != kTagIntegrity) break;
    m_nRevisionRecorded = IntegrityWriteRevision(std::span(buf.data(), m_nBlockSize));  // the last one is current
    rev = RevisionClass(m_nRevisionRecorded);
  }
  if (rev < 0) {
    rev = RevisionClass(lvd.domainRevision);
    if (!m_nRevisionRecorded || rev >= 0) m_nRevisionRecorded = lvd.domainRevision;
  }
  if (rev >= 0) m_nUdfRevision = rev;
}

void CAnaly_UDF::ReadMaps(const LogicalVolumeDescriptor& lvd, const unsigned char* lvdBytes) {
  m_nPartMapKind = GetPartitionMapKind(lvdBytes, static_cast<int>(m_nBlockSize));
  m_nVirtualRef = lvd.FirstMap(MapKind::Virtual);
  m_nSparableRef = lvd.FirstMap(MapKind::Sparable);
  m_nMetadataRef = lvd.FirstMap(MapKind::Metadata);
  if (m_nPartMapKind == 1 && m_nVirtualRef < 0) m_nVirtualRef = 1;
  // The metadata partition decides where every entry is, whatever lies under it.
  if (m_nMetadataRef >= 0) m_nPartMapKind = 3;
  if (m_nSparableRef >= 0) ReadSparingTables(lvd.maps[m_nSparableRef]);
}

int CAnaly_UDF::ReadVolumeStructure(std::uint32_t V) {
  m_nPartLength = 0;
  m_nVolumeStart = V;
  m_nVirtualRef = m_nSparableRef = m_nMetadataRef = -1;
  m_bMetadataOnVat = false;
  m_nBlockSize = kSectorSize;
  m_Sparing = SparingMap{};
  m_Metadata.Clear();
  m_Anchors.clear();
  m_Summary = UdfVolumeSummary{};
  m_nRevisionRecorded = 0;

  Block buf;
  if (!FindAnchor(V, buf.data())) return 1;
  AnchorPointer anchor = AnchorPointer::Parse(std::span(buf.data(), m_nBlockSize));
  // Absolute blocks: V is deliberately not added, the anchor records them so.
  std::uint32_t M = anchor.mainLocation, R = anchor.reserveLocation;
  if (M == 0) return 1;

  // The revision; not finding it does not stop the analysis.
  int revisionFound = ReadUdfRevision(M, R);
  Block lvdBytes;
  if (!ReadVolumeDescriptors(M, lvdBytes.data())) return 1;
  LogicalVolumeDescriptor lvd = LogicalVolumeDescriptor::Parse(std::span(lvdBytes.data(), m_nBlockSize));
  // The anchor told the block size; a logical volume that says otherwise is
  // not this volume's (0 is left by old writers).
  if (lvd.blockSize != 0 && lvd.blockSize != m_nBlockSize) return 1;
  ReadRevision(lvd, revisionFound);
  ReadMaps(lvd, lvdBytes.data());
  const int rc = ReadRoot(lvd);
  FillSummary(lvd);
  return rc;
}

int CAnaly_UDF::ReadRoot(const LogicalVolumeDescriptor& lvd) {
  Block buf;
  std::uint32_t F = lvd.fileSet.block;
  if (m_nVirtualRef >= 0 && (m_nPartMapKind == 1 || m_nPartMapKind == 3) && LoadVat(m_nPartStart) != 0) return 1;
  if (m_nMetadataRef >= 0 && !LoadMetadata(lvd.maps[m_nMetadataRef], lvd.fileSet)) return 1;
  if (m_nPartMapKind != 1) {
    // File Set Descriptor, then the root directory's ICB. On a plain volume
    // the set's tag is not checked, as writers were lax with it.
    std::uint32_t fsd = F;
    if (!Translate(F, lvd.fileSet.partitionRef, fsd) || ReadSector(m_nPartStart + fsd, buf.data()) != 0) return 1;
    const LongAd root = FileSetDescriptor::Parse(std::span(buf.data(), m_nBlockSize)).root;
    std::uint32_t rootBlock = root.block;
    if (m_nPartMapKind == 3 && !Translate(root.block, root.partitionRef, rootBlock)) return 1;
    m_nRootIcb = rootBlock;
    return 0;
  }

  // Virtual partition: the file set through the table.
  std::uint32_t fsdBlock = F;
  bool fsdOk = lvd.fileSet.partitionRef != m_nVirtualRef || VatLookup(F, fsdBlock) == 0;
  if (fsdOk && ExtentFits(fsdBlock, 1) && ReadSector(m_nPartStart + fsdBlock, buf.data()) == 0 &&
      TagIdentifier(buf.data()) == kTagFileSet) {
    LongAd root = FileSetDescriptor::Parse(std::span(buf.data(), m_nBlockSize)).root;
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
  Block buf;
  for (std::uint32_t base : {M, R}) {
    for (std::uint32_t i = 0; i < kIntegrityScan; ++i) {
      if (ReadSector(base + i, buf.data()) != 0) continue;
      if (buf[0] != kTagIntegrity) continue;
      m_nRevisionRecorded = IntegrityWriteRevision(std::span(buf.data(), m_nBlockSize));
      int rev = RevisionClass(m_nRevisionRecorded);
      // An unknown revision deliberately keeps the class found before.
      if (rev >= 0) m_nUdfRevision = rev;
      return 0;
    }
  }
  return 1;
}

void CAnaly_UDF::FillSummary(const LogicalVolumeDescriptor& lvd) {
  // The revision as recorded, also one the classes do not name (1.02).
  m_Summary.revision = m_nRevisionRecorded ? RevisionText(m_nRevisionRecorded) : RevisionText(m_nUdfRevision);
  m_Summary.blockSize = m_nBlockSize;
  m_Summary.anchors = m_Anchors;
  std::sort(m_Summary.anchors.begin(), m_Summary.anchors.end());
  for (MapKind k : {MapKind::Physical, MapKind::Sparable, MapKind::Virtual, MapKind::Metadata})
    for (const PartitionMap& m : lvd.maps)
      if (m.kind == k) m_Summary.maps.push_back(MapKindText(k));
}

std::uint64_t CAnaly_UDF::SessionEnd() const {
  return SessionEndBlock(m_nPartStart, m_nPartLength, m_nVatSector ? std::optional(m_nVatSector) : std::nullopt);
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
    if (FindBytes(id, 32, reinterpret_cast<const unsigned char*>("Metadata"), 8) >= 0) return 3;
    return 0;
  }
  return 0;
}

int CAnaly_UDF::FindBytes(const unsigned char* data, int n, const unsigned char* pattern, int m) {
  return FindPattern(data, n, pattern, m);
}
