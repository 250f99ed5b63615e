#include "udf/UdfStructures.h"

#include <cstring>

#include "disc/ByteOrder.h"

namespace udf {

std::uint16_t TagIdentifier(const std::uint8_t* d) { return GetLE16(d); }

LongAd LongAd::Parse(const std::uint8_t* p) {
  LongAd a;
  std::uint32_t len = GetLE32(p + 0);
  a.length = len & 0x3FFFFFFF;
  a.extentType = static_cast<std::uint8_t>(len >> 30);
  a.block = GetLE32(p + 4);
  a.partitionRef = GetLE16(p + 8);
  return a;
}

AnchorPointer AnchorPointer::Parse(std::span<const std::uint8_t> s) {
  AnchorPointer a;
  if (s.size() < 32) return a;
  a.mainLength = GetLE32(&s[16]);
  a.mainLocation = GetLE32(&s[20]);
  a.reserveLength = GetLE32(&s[24]);
  a.reserveLocation = GetLE32(&s[28]);
  return a;
}

PartitionDescriptor PartitionDescriptor::Parse(std::span<const std::uint8_t> s) {
  PartitionDescriptor p;
  if (s.size() < 196) return p;
  p.number = GetLE16(&s[22]);
  p.start = GetLE32(&s[188]);
  p.length = GetLE32(&s[192]);
  return p;
}

namespace {

constexpr std::size_t kMapTableOffset = 440;

bool Contains(const std::uint8_t* id, std::size_t n, const char* what) {
  return FindPattern(id, static_cast<int>(n), reinterpret_cast<const unsigned char*>(what),
                     static_cast<int>(std::strlen(what))) >= 0;
}

}  // namespace

LogicalVolumeDescriptor LogicalVolumeDescriptor::Parse(std::span<const std::uint8_t> s) {
  LogicalVolumeDescriptor d;
  if (s.size() < kMapTableOffset) return d;
  d.blockSize = GetLE32(&s[212]);
  d.domainRevision = GetLE16(&s[216 + 24]);
  d.fileSet = LongAd::Parse(&s[248]);
  d.mapTableLength = GetLE32(&s[264]);
  d.integrityLength = GetLE32(&s[432]);
  d.integrityLocation = GetLE32(&s[436]);
  // The map table is walked only as far as both its stated length and the
  // sector hold whole maps.
  std::size_t end = kMapTableOffset + std::min<std::uint64_t>(d.mapTableLength, s.size() - kMapTableOffset);
  std::size_t off = kMapTableOffset;
  while (off + 2 <= end) {
    std::uint8_t type = s[off];
    std::uint8_t len = s[off + 1];
    if ((type != 1 && type != 2) || len < 2 || off + len > end) break;
    PartitionMap m;
    m.type = type;
    const std::uint8_t* p = &s[off];
    if (type == 1 && len >= 6) {
      m.kind = MapKind::Physical;
      m.partitionNumber = GetLE16(p + 4);
    } else if (type == 2 && len >= 40) {
      m.partitionNumber = GetLE16(p + 38);
      if (Contains(p + 4, 32, "Virtual")) {
        m.kind = MapKind::Virtual;
      } else if (Contains(p + 4, 32, "Sparable")) {
        m.kind = MapKind::Sparable;
        if (len >= 48) {
          m.packetLength = GetLE16(p + 40);
          std::uint8_t count = p[42];
          m.sparingTableSize = GetLE32(p + 44);
          for (std::size_t i = 0; i < count && 48 + 4 * i + 4 <= len; ++i)
            m.sparingTables.push_back(GetLE32(p + 48 + 4 * i));
        }
      } else if (Contains(p + 4, 32, "Metadata")) {
        m.kind = MapKind::Metadata;
      }
    }
    d.maps.push_back(std::move(m));
    off += len;
  }
  return d;
}

std::uint16_t IntegrityWriteRevision(std::span<const std::uint8_t> s) {
  if (s.size() < 76) return 0;
  std::uint64_t np = GetLE32(&s[72]);
  std::uint64_t at = 124 + 8 * np;
  if (at + 2 > s.size()) return 0;
  return GetLE16(&s[at]);
}

Timestamp Timestamp::Parse(const std::uint8_t* p) {
  Timestamp t;
  t.year = GetLE16(p + 2);
  t.month = p[4];
  t.day = p[5];
  t.hour = p[6];
  t.minute = p[7];
  t.second = p[8];
  return t;
}

FileEntry FileEntry::Parse(std::span<const std::uint8_t> s) {
  FileEntry e;
  if (s.size() < 176) return e;
  e.extended = TagIdentifier(s.data()) == kTagExtendedFileEntry;
  e.fileType = s[27];
  e.adType = s[34] & 7;
  e.infoLength = GetLE64(&s[56]);
  std::size_t head;
  if (e.extended && s.size() >= 216) {
    e.attributeTime = Timestamp::Parse(&s[116]);
    e.lEa = GetLE32(&s[208]);
    e.lAd = GetLE32(&s[212]);
    head = 216;
  } else {
    e.attributeTime = Timestamp::Parse(&s[96]);
    e.lEa = GetLE32(&s[168]);
    e.lAd = GetLE32(&s[172]);
    head = 176;
  }
  std::uint64_t start = head + std::uint64_t(e.lEa);
  std::uint64_t end = start + e.lAd;
  if (start > s.size()) {
    e.adOffset = static_cast<std::uint32_t>(s.size());
    e.adBytes = 0;
    e.clipped = true;
  } else {
    e.adOffset = static_cast<std::uint32_t>(start);
    e.adBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, s.size()) - start);
    e.clipped = end > s.size();
  }
  return e;
}

std::size_t AllocDescSize(std::uint8_t adType) {
  switch (adType) {
    case 0: return 8;
    case 1: return 16;
    case 2: return 20;
    default: return 0;
  }
}

bool ParseAllocDescs(std::span<const std::uint8_t> b, std::uint8_t adType, std::vector<AllocDesc>& out,
                     AllocDesc* next, bool* hasNext) {
  if (hasNext) *hasNext = false;
  std::size_t step = AllocDescSize(adType);
  if (step == 0) return false;
  for (std::size_t off = 0; off + step <= b.size(); off += step) {
    const std::uint8_t* p = &b[off];
    AllocDesc a;
    std::uint32_t len = GetLE32(p);
    a.length = len & 0x3FFFFFFF;
    a.extentType = static_cast<std::uint8_t>(len >> 30);
    if (adType == 2) {
      a.block = GetLE32(p + 12);
      a.partitionRef = GetLE16(p + 16);
    } else {
      a.block = GetLE32(p + 4);
      if (adType == 1) a.partitionRef = GetLE16(p + 8);
    }
    if (a.length == 0) return true;  // the list ends early
    if (a.extentType == kExtentContinuation) {
      if (next) *next = a;
      if (hasNext) *hasNext = true;
      return true;
    }
    if (out.size() >= kMaxExtentsPerFile) return false;
    out.push_back(a);
  }
  return b.size() % step == 0;
}

FidStatus FidIterator::Next(FileIdentifier& f) {
  constexpr std::size_t kHeader = 38;
  if (m_offset >= m_data.size()) return FidStatus::End;
  std::size_t left = m_data.size() - m_offset;
  const std::uint8_t* p = m_data.data() + m_offset;
  if (left < kHeader) {
    // Zero padding after the last entry is not an entry.
    bool zeros = true;
    for (std::size_t i = 0; i < left; ++i) zeros = zeros && p[i] == 0;
    return zeros ? FidStatus::End : FidStatus::HeaderStraddles;
  }
  if (TagIdentifier(p) != kTagFileIdentifier) {
    bool zeros = true;
    for (std::size_t i = 0; i < kHeader; ++i) zeros = zeros && p[i] == 0;
    return zeros ? FidStatus::End : FidStatus::NotAnIdentifier;
  }
  f.characteristics = p[18];
  f.lFi = p[19];
  f.icb = LongAd::Parse(p + 20);
  f.lIu = GetLE16(p + 36);
  std::size_t used = kHeader + f.lIu + f.lFi;
  if (used > left) return FidStatus::NamePastEnd;
  f.nameOffset = m_offset + kHeader + f.lIu;
  f.size = (used + 3) & ~std::size_t(3);
  m_offset += f.size;  // may step past the end by the padding; the next call ends
  return FidStatus::Ok;
}

bool ParseSparingTable(std::span<const std::uint8_t> b, std::vector<SparingEntry>& out) {
  constexpr std::size_t kEntries = 56;
  if (b.size() < kEntries) return false;
  if (!Contains(&b[16], 32, "*UDF Sparing Table")) return false;
  std::size_t count = GetLE16(&b[48]);
  for (std::size_t i = 0; i < count && i < std::size_t(kMaxSparingEntries); ++i) {
    std::size_t at = kEntries + 8 * i;
    if (at + 8 > b.size()) break;
    SparingEntry e{GetLE32(&b[at]), GetLE32(&b[at + 4])};
    if (e.original >= 0xFFFFFFF0u) continue;  // available or defective spare
    out.push_back(e);
  }
  return true;
}

int FindPattern(const unsigned char* data, int n, const unsigned char* pattern, int m) {
  if (!data || !pattern || n <= 0 || m <= 0 || n < m) return -1;
  for (int i = 0; i + m <= n; ++i)
    if (std::memcmp(data + i, pattern, static_cast<std::size_t>(m)) == 0) return i;
  return -1;
}

}  // namespace udf
