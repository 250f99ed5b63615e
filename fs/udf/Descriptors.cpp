#include "fs/udf/Descriptors.h"

#include <array>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/TextCodec.h"
#include "disc/UdfTag.h"

namespace udf {

std::uint16_t TagIdentifier(const std::uint8_t* d) { return GetLE16(d); }

bool IsBlockSize(std::uint32_t b) { return b == 512 || b == 1024 || b == 2048 || b == 4096; }

bool IsFileEntryType(std::uint8_t t) {
  return t == kFileTypeUnspecified || (t >= kFileTypeDirectory && t <= kFileTypeSocket) || t == kFileTypeSymlink ||
         t == kFileTypeRealTime;
}

Tag Tag::Parse(std::span<const std::uint8_t> s) {
  Tag t;
  if (s.size() < 16) return t;
  t.identifier = GetLE16(&s[0]);
  t.version = GetLE16(&s[2]);
  t.checksum = s[4];
  t.crc = GetLE16(&s[8]);
  t.crcLength = GetLE16(&s[10]);
  t.location = GetLE32(&s[12]);
  return t;
}

std::uint16_t DescriptorCrc(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc ^= static_cast<std::uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

TagCheck CheckTag(std::span<const std::uint8_t> s, std::uint16_t id, std::optional<std::uint32_t> location) {
  if (s.size() < 16 || GetLE16(&s[0]) != id) return TagCheck::WrongIdentifier;
  if (!UdfTagChecksumValid(s.data())) return TagCheck::BadChecksum;
  const Tag t = Tag::Parse(s);
  // A CRC length past the bytes at hand (a descriptor longer than the block
  // read) is checked as far as they go only when it fits whole.
  if (16 + std::size_t(t.crcLength) <= s.size() && DescriptorCrc(s.subspan(16, t.crcLength)) != t.crc)
    return TagCheck::BadCrc;
  if (location && t.location != *location) return TagCheck::WrongLocation;
  return TagCheck::Ok;
}

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

const char* MapKindText(MapKind k) {
  switch (k) {
    case MapKind::Physical: return "physical";
    case MapKind::Virtual: return "virtual";
    case MapKind::Sparable: return "sparable";
    case MapKind::Metadata: return "metadata";
    case MapKind::Other: break;
  }
  return "other";
}

namespace {

constexpr std::size_t kMapTableOffset = 440;

void ParseType2Map(const std::uint8_t* p, std::uint8_t len, PartitionMap& m);

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
      ParseType2Map(p, len, m);
    }
    d.maps.push_back(std::move(m));
    off += len;
  }
  return d;
}

int LogicalVolumeDescriptor::FirstMap(MapKind kind) const {
  for (std::size_t i = 0; i < maps.size(); ++i)
    if (maps[i].kind == kind) return static_cast<int>(i);
  return -1;
}

int LogicalVolumeDescriptor::MapOfPartition(std::uint16_t number) const {
  for (std::size_t i = 0; i < maps.size(); ++i)
    if ((maps[i].kind == MapKind::Physical || maps[i].kind == MapKind::Sparable) && maps[i].partitionNumber == number)
      return static_cast<int>(i);
  return -1;
}

namespace {

// A type-2 map, told by its entity identifier (4, 32 bytes).
void ParseType2Map(const std::uint8_t* p, std::uint8_t len, PartitionMap& m) {
  m.partitionNumber = GetLE16(p + 38);
  if (Contains(p + 4, 32, "Virtual")) {
    m.kind = MapKind::Virtual;
  } else if (Contains(p + 4, 32, "Sparable")) {
    m.kind = MapKind::Sparable;
    if (len < 48) return;
    m.packetLength = GetLE16(p + 40);
    std::uint8_t count = p[42];
    m.sparingTableSize = GetLE32(p + 44);
    for (std::size_t i = 0; i < count && 48 + 4 * i + 4 <= len; ++i) m.sparingTables.push_back(GetLE32(p + 48 + 4 * i));
  } else if (Contains(p + 4, 32, "Metadata")) {
    m.kind = MapKind::Metadata;
    if (len < 59) return;
    m.metadataFile = GetLE32(p + 40);
    m.metadataMirror = GetLE32(p + 44);
    m.metadataBitmap = GetLE32(p + 48);
    m.allocationUnit = GetLE32(p + 52);
    m.alignmentUnit = GetLE16(p + 56);
    m.metadataFlags = p[58];
  }
}

}  // namespace

FileSetDescriptor FileSetDescriptor::Parse(std::span<const std::uint8_t> s) {
  FileSetDescriptor f;
  if (s.size() >= 416) f.root = LongAd::Parse(&s[400]);
  return f;
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
  const std::uint16_t typeAndZone = GetLE16(p);
  // Type 1 is local time with a signed 12-bit offset; -2047 says "not known".
  int zone = typeAndZone & 0x0FFF;
  if (zone & 0x0800) zone -= 0x1000;
  t.zoneKnown = (typeAndZone >> 12) == 1 && zone != -2047 && zone >= -1440 && zone <= 1440;
  t.zoneMinutes = t.zoneKnown ? zone : 0;
  t.year = GetLE16(p + 2);
  t.month = p[4];
  t.day = p[5];
  t.hour = p[6];
  t.minute = p[7];
  t.second = p[8];
  return t;
}

std::optional<std::int64_t> Timestamp::ToUnix() const {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  // Days from 1970-01-01 to the date (the proleptic Gregorian calendar).
  const std::int64_t y = year - (month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = era * 146097 + doe - 719468;
  return days * 86400 + hour * 3600 + minute * 60 + second - std::int64_t(zoneMinutes) * 60;
}

FileEntry FileEntry::Parse(std::span<const std::uint8_t> s) {
  FileEntry e;
  if (s.size() < 176) return e;
  e.extended = TagIdentifier(s.data()) == kTagExtendedFileEntry;
  e.fileType = s[27];
  e.icbFlags = GetLE16(&s[34]);
  e.adType = s[34] & 7;
  e.permissions = GetLE32(&s[44]);
  e.infoLength = GetLE64(&s[56]);
  std::size_t head;
  if (e.extended && s.size() >= 216) {
    e.modificationTime = Timestamp::Parse(&s[92]);
    e.attributeTime = Timestamp::Parse(&s[116]);
    e.lEa = GetLE32(&s[208]);
    e.lAd = GetLE32(&s[212]);
    head = 216;
  } else {
    e.modificationTime = Timestamp::Parse(&s[84]);
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

std::uint32_t FileEntry::Mode() const {
  const std::uint32_t p = permissions;
  return (p & 7) | (((p >> 5) & 7) << 3) | (((p >> 10) & 7) << 6);
}

std::string DecodeIdentifier(std::span<const std::uint8_t> b) {
  if (b.empty()) return {};
  if (b[0] == 8) return Latin1ToUtf8(b.data() + 1, b.size() - 1);
  if (b[0] == 16) return Utf16BeToUtf8(b.data() + 1, b.size() - 1);
  return {};
}

bool ParseLinkTarget(std::span<const std::uint8_t> d, std::string& target) {
  // Path component: 0 type, 1 L_CI, 2 version, 4 identifier.
  enum : std::uint8_t { kRootAgain = 1, kRoot = 2, kParent = 3, kCurrent = 4, kNamed = 5 };
  target.clear();
  if (d.size() > kMaxLinkTargetBytes) return false;
  std::size_t off = 0;
  bool needSlash = false;
  while (off + 4 <= d.size()) {
    const std::uint8_t type = d[off];
    const std::size_t lci = d[off + 1];
    if (off + 4 + lci > d.size()) return false;
    std::string part;
    switch (type) {
      case kRootAgain:
      case kRoot:
        target = "/";
        needSlash = false;
        off += 4 + lci;
        continue;
      case kParent: part = ".."; break;
      case kCurrent: part = "."; break;
      case kNamed: part = DecodeIdentifier(d.subspan(off + 4, lci)); break;
      default: return false;
    }
    if (needSlash) target += '/';
    target += part;
    needSlash = true;
    off += 4 + lci;
  }
  return off == d.size();
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

const char* FidStatusText(FidStatus s) {
  switch (s) {
    case FidStatus::Ok: return "ok";
    case FidStatus::End: return "end";
    case FidStatus::HeaderStraddles: return "file identifier that straddles the directory's end";
    case FidStatus::NotAnIdentifier: return "place that holds no file identifier";
    case FidStatus::NamePastEnd: return "file identifier whose name runs past the directory";
  }
  return "damaged file identifier";
}

Vat20Header Vat20Header::Parse(std::span<const std::uint8_t> b) {
  Vat20Header h;
  if (b.size() < 4) return h;
  h.headerLength = GetLE16(&b[0]);
  h.implUseLength = GetLE16(&b[2]);
  if (b.size() >= 144) {
    h.previousVat = GetLE32(&b[132]);
    h.files = GetLE32(&b[136]);
    h.folders = GetLE32(&b[140]);
  }
  return h;
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
