#include "tests/support/UdfBuilder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "disc/ByteOrder.h"
#include "disc/UdfTag.h"

namespace testsupport {

namespace {

// Blocks relative to the volume start.
constexpr std::uint32_t kMainVds = 32;
constexpr std::uint32_t kMainVdsSmallBlocks = 96;  // blocks under 2048 bytes: behind the recognition sequence
constexpr std::uint32_t kVdsLength = 16;
constexpr std::uint32_t kAnchor = 256;
constexpr std::uint32_t kSparingTables[2] = {260, 264};
constexpr std::uint32_t kPartition = 272;

void PutStr(std::uint8_t* p, const char* s) { std::memcpy(p, s, std::strlen(s)); }

// An entity identifier: flags, identifier, suffix.
void PutRegid(std::uint8_t* p, const char* id, std::uint16_t suffixRevision = 0, std::uint8_t extra = 0) {
  std::memset(p, 0, 32);
  PutStr(p + 1, id);
  if (suffixRevision) {
    PutLE16(p + 24, suffixRevision);
    p[26] = extra;
  }
}

void PutCharspec(std::uint8_t* p) {
  std::memset(p, 0, 64);
  PutStr(p + 1, "OSTA Compressed Unicode");
}

// A fixed-size dstring of 8-bit characters.
void PutDstring(std::uint8_t* p, std::size_t field, const std::string& s) {
  std::memset(p, 0, field);
  if (s.empty()) return;
  std::size_t n = std::min(s.size(), field - 2);
  p[0] = 8;
  std::memcpy(p + 1, s.data(), n);
  p[field - 1] = static_cast<std::uint8_t>(n + 1);
}

void PutTime(std::uint8_t* p, const UdfTime& t) {
  PutLE16(p, 0x1000);  // local time, offset 0
  PutLE16(p + 2, static_cast<std::uint32_t>(t.year));
  p[4] = static_cast<std::uint8_t>(t.month);
  p[5] = static_cast<std::uint8_t>(t.day);
  p[6] = static_cast<std::uint8_t>(t.hour);
  p[7] = static_cast<std::uint8_t>(t.minute);
  p[8] = static_cast<std::uint8_t>(t.second);
}

// Code points of a UTF-8 string (test input is well formed).
std::vector<char32_t> CodePoints(const std::string& s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t v = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (int k = 1; k < n && i + k < s.size(); ++k) v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(v);
    i += n;
  }
  return out;
}

// OSTA compressed unicode: compression id 8 or 16, then the characters.
std::vector<std::uint8_t> EncodeName(const std::string& name, bool wide) {
  std::vector<char32_t> cps = CodePoints(name);
  bool narrow = !wide && std::all_of(cps.begin(), cps.end(), [](char32_t c) { return c < 0x100; });
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(narrow ? 8 : 16)};
  for (char32_t c : cps) {
    if (narrow) {
      out.push_back(static_cast<std::uint8_t>(c));
    } else if (c >= 0x10000) {
      char32_t v = c - 0x10000;
      std::uint16_t hi = static_cast<std::uint16_t>(0xD800 + (v >> 10)), lo = static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF));
      out.insert(out.end(), {static_cast<std::uint8_t>(hi >> 8), static_cast<std::uint8_t>(hi),
                             static_cast<std::uint8_t>(lo >> 8), static_cast<std::uint8_t>(lo)});
    } else {
      out.push_back(static_cast<std::uint8_t>(c >> 8));
      out.push_back(static_cast<std::uint8_t>(c));
    }
  }
  return out;
}

struct Ad {
  std::uint32_t length = 0;
  std::uint8_t type = 0;  // extent type
  std::uint32_t block = 0;
  std::uint16_t ref = 0;
};

// Where a block was allocated: the partition itself or the metadata partition
// (the content of the metadata file).
enum class Space { Partition, Metadata };

// The metadata file's content starts this many blocks into the partition;
// blocks 0 and 1 hold the entries of the metadata file and its mirror.
constexpr std::uint32_t kMetadataContent = 32;
constexpr std::uint32_t kMetadataUnit = 32;  // allocation and alignment unit, in blocks

class Builder {
 public:
  Builder(const UdfNode& root, const UdfBuildOptions& o, std::uint32_t metadataBlocks = 0)
      : m_root(root), m_o(o), m_B(o.blockSize) {
    if (m_B != 512 && m_B != 1024 && m_B != 2048 && m_B != 4096) throw std::invalid_argument("block size");
    m_img.blockSize = m_B;
    m_img.volumeStart = o.volumeStart;
    m_img.sessionStarts = {o.volumeStart};
    m_img.revision = o.revision;
    m_virtual = o.partition == UdfPartitionKind::Virtual;
    m_metadata = o.metadataPartition && o.revision >= 0x0250;
    if (m_metadata && o.partition != UdfPartitionKind::Plain && m_B < 1024)
      throw std::invalid_argument("two 64-byte partition maps need blocks of 1024 bytes or more");
    m_tagVersion = o.revision >= 0x0200 ? 3 : 2;
    m_metaBlocks = metadataBlocks;
    // With a metadata partition, file data follows the metadata file's content.
    if (m_metadata) m_used = kMetadataContent + m_metaBlocks;
    m_metaRef = m_virtual ? 2 : 1;
  }

  // Lays out the entries alone and answers how many blocks the metadata
  // partition takes (the layout of the real build depends on it).
  std::uint32_t MeasureMetadata() {
    m_P = m_o.volumeStart + kPartition;
    Alloc(2, MetaSpace());
    AssignEntries(m_root, "");
    WriteNode(m_root, "", m_root);
    return m_metaUsed;
  }

  UdfImage Build() {
    const std::uint32_t V = m_o.volumeStart;
    m_P = V + kPartition;
    m_img.partitionStart = m_P;
    Ensure(m_P + m_used);

    // Partition block 0 holds the file set, 1 its terminator; the root and
    // every other entry follow.
    std::uint32_t fsd = Alloc(1, MetaSpace());
    Alloc(1, MetaSpace());
    std::uint32_t fsdAddr = m_virtual && !m_metadata ? NewVirtual(fsd) : fsd;
    AssignEntries(m_root, "");
    WriteNode(m_root, "", m_root);
    m_img.rootBlock = m_entry[""];
    m_img.fsdSector = Abs(fsd, MetaSpace());
    WriteFileSet(fsd, fsdAddr);
    if (m_metadata) WriteMetadataFiles();
    if (m_virtual) WriteVat();

    std::uint32_t partLen = m_used;
    if (m_o.partition == UdfPartitionKind::Sparable) {
      partLen = std::max<std::uint32_t>((m_used + m_o.packetLength - 1) / m_o.packetLength, 8) * m_o.packetLength;
    } else if (!m_virtual) {
      partLen = m_used + 16;
    }
    if (m_virtual) {
      std::uint32_t nextBlock = m_img.vatSector + 1 + m_o.vatLinkBlocks;
      m_img.nextWritable = SectorOf(nextBlock + m_perSectorMinus1());
      for (std::uint32_t s = SectorOf(m_img.vatSector + 1 + m_perSectorMinus1()); s < *m_img.nextWritable; ++s)
        m_img.unreadable.insert(s);
      Ensure(nextBlock);
      partLen = m_img.vatSector + 1 + 1024 - m_P;  // the open track's reserved space
      m_img.trackSize = *m_img.nextWritable + 1024;
    }
    m_img.partitionLength = partLen;
    if (!m_virtual) Ensure(m_P + partLen);

    if (m_o.partition == UdfPartitionKind::Sparable) Spare(partLen);
    WriteVolumeStructure(V, fsdAddr);
    if (!m_virtual) {
      // The closing anchor at the last block, as mastering tools write it.
      std::uint32_t perSector = std::max<std::uint32_t>(1, 2048 / m_B);
      std::uint32_t last = (m_img.BlockCount() + perSector) / perSector * perSector - 1;
      Ensure(last + 1);
      WriteAnchor(last);
      m_img.trackSize = m_img.SectorCount();
    }
    return std::move(m_img);
  }

 private:
  Space MetaSpace() const { return m_metadata ? Space::Metadata : Space::Partition; }
  std::uint32_t m_perSectorMinus1() const { return m_B < 2048 ? 2048 / m_B - 1 : 0; }
  // The device sector holding a block's first byte.
  std::uint32_t SectorOf(std::uint32_t block) const {
    return static_cast<std::uint32_t>(std::uint64_t(block) * m_B / 2048);
  }
  // The absolute block of a block of either space (metadata: its main copy).
  std::uint32_t Abs(std::uint32_t b, Space sp) const {
    return sp == Space::Metadata ? m_P + kMetadataContent + b : m_P + b;
  }
  std::uint16_t RefOf(Space sp) const { return sp == Space::Metadata ? m_metaRef : 0; }

  std::uint32_t Alloc(std::uint32_t n, Space sp = Space::Partition) {
    if (sp == Space::Metadata) {
      std::uint32_t b = m_metaUsed;
      m_metaUsed += n;
      if (m_meta.size() < std::size_t(m_metaUsed) * m_B) m_meta.resize(std::size_t(m_metaUsed) * m_B, 0);
      return b;
    }
    std::uint32_t b = m_used;
    m_used += n;
    Ensure(m_P + m_used);
    return b;
  }
  // Grows the image to hold `blocks` blocks, in whole 2048-byte sectors.
  void Ensure(std::uint32_t blocks) {
    std::size_t want = (std::size_t(blocks) * m_B + 2047) / 2048 * 2048;
    if (m_img.bytes.size() < want) m_img.bytes.resize(want, 0);
  }
  std::uint8_t* At(std::uint32_t absBlock) { return m_img.bytes.data() + std::size_t(absBlock) * m_B; }
  std::uint8_t* Block(std::uint32_t b, Space sp = Space::Partition) {
    return sp == Space::Metadata ? m_meta.data() + std::size_t(b) * m_B : At(m_P + b);
  }
  std::uint32_t NewVirtual(std::uint32_t phys) {
    m_vat.push_back(phys);
    return static_cast<std::uint32_t>(m_vat.size() - 1);
  }

  void Tag(std::uint8_t* d, std::uint16_t id, std::uint32_t location, std::size_t length) {
    PutLE16(d, id);
    PutLE16(d + 2, m_tagVersion);
    PutLE16(d + 6, 1);  // serial
    std::size_t crcLen = length > 16 ? std::min<std::size_t>(length, m_B) - 16 : 0;
    PutLE16(d + 10, static_cast<std::uint32_t>(crcLen));
    PutLE32(d + 12, location);
    PutLE16(d + 8, UdfCrc(d + 16, crcLen));
    d[kUdfTagChecksumAt] = UdfTagChecksum(d);
  }

  // The address by which a node's entry is referenced in FIDs and the FSD.
  struct Icb {
    std::uint32_t block;
    std::uint16_t ref;
  };
  Icb IcbOf(const std::string& path) {
    if (m_metadata) return {m_entry[path], m_metaRef};
    if (m_virtual) return {m_virtualOf[path], 1};
    return {m_entry[path], 0};
  }

  void AssignEntries(const UdfNode& n, const std::string& path) {
    std::uint32_t b = Alloc(1, MetaSpace());
    m_entry[path] = b;
    m_img.entrySector[path.empty() ? "/" : path] = Abs(b, MetaSpace());
    if (m_virtual && !m_metadata) {
      m_virtualOf[path] = NewVirtual(b);
      m_img.virtualBlock[path.empty() ? "/" : path] = m_virtualOf[path];
    }
    for (const UdfNode& c : n.children)
      if (!c.linkToRoot) AssignEntries(c, path + "/" + c.name);
  }

  std::vector<std::uint8_t> Fid(std::uint8_t characteristics, const std::vector<std::uint8_t>& name, Icb icb,
                                std::uint16_t lIu) {
    std::size_t used = 38 + lIu + name.size();
    std::vector<std::uint8_t> f((used + 3) & ~std::size_t(3), 0);
    PutLE16(&f[16], 1);  // file version number
    f[18] = characteristics;
    f[19] = static_cast<std::uint8_t>(name.size());
    PutLE32(&f[20], m_B);
    PutLE32(&f[24], icb.block);
    PutLE16(&f[28], icb.ref);
    PutLE16(&f[36], lIu);
    if (lIu >= 32) PutRegid(&f[38], "*Tessal FID", 0);
    std::copy(name.begin(), name.end(), f.begin() + 38 + lIu);
    Tag(f.data(), 257, 0, f.size());
    return f;
  }

  std::vector<std::uint8_t> DirectoryData(const UdfNode& n, const std::string& path, const std::string& parentPath) {
    std::vector<std::uint8_t> d = Fid(0x0A, {}, IcbOf(parentPath), 0);
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      const UdfNode& c = n.children[i];
      Icb icb = c.linkToRoot ? IcbOf("") : IcbOf(path + "/" + c.name);
      std::vector<std::uint8_t> f = Fid(c.directory ? 0x02 : 0x00, EncodeName(c.name, c.wideName), icb, c.fidImplUse);
      if (static_cast<int>(i) == n.damagedFid) std::fill(f.begin(), f.begin() + 16, 0xEE);  // its tag is garbage
      d.insert(d.end(), f.begin(), f.end());
    }
    return d;
  }

  // Places bytes in `pieces` separate extents (a gap block between them, so
  // that a reader following only the first extent reads the wrong data).
  std::vector<Ad> PlaceData(const std::vector<std::uint8_t>& bytes, int pieces, std::string key, Space sp) {
    std::vector<Ad> ads;
    std::uint32_t blocks = static_cast<std::uint32_t>((bytes.size() + m_B - 1) / m_B);
    pieces = std::max(1, std::min<int>(pieces, std::max<std::uint32_t>(blocks, 1)));
    std::size_t off = 0;
    for (int i = 0; i < pieces; ++i) {
      std::uint32_t share = blocks / pieces + (static_cast<std::uint32_t>(i) < blocks % pieces ? 1 : 0);
      if (share == 0) continue;
      std::uint32_t b = Alloc(share, sp);
      std::size_t n = std::min(bytes.size() - off, std::size_t(share) * m_B);
      std::memcpy(Block(b, sp), bytes.data() + off, n);
      if (i == 0) m_img.dataSector[key] = Abs(b, sp);
      Ad a{static_cast<std::uint32_t>(n), 0, b, RefOf(sp)};
      if (m_virtual && !LongAds() && sp == Space::Partition) {
        // Short descriptors on a virtual partition address virtual blocks.
        a.block = NewVirtual(b);
        for (std::uint32_t k = 1; k < share; ++k) NewVirtual(b + k);
      }
      ads.push_back(a);
      off += n;
      if (i + 1 < pieces) std::memset(Block(Alloc(1, sp), sp), 0xDD, m_B);
    }
    return ads;
  }

  std::vector<std::uint8_t> EncodeAds(const std::vector<Ad>& ads, bool longAds) {
    std::vector<std::uint8_t> out;
    for (const Ad& a : ads) {
      std::size_t at = out.size();
      out.resize(at + (longAds ? 16 : 8), 0);
      PutLE32(&out[at], a.length | (std::uint32_t(a.type) << 30));
      PutLE32(&out[at + 4], a.block);
      if (longAds) PutLE16(&out[at + 8], a.ref);
    }
    return out;
  }

  // A metadata partition's entries point at data in the partition below, which
  // only long descriptors can name.
  bool LongAds() const { return m_o.ad == UdfAdKind::Long || m_metadata; }

  void WriteEntry(std::uint8_t* s, std::uint32_t location, std::uint8_t fileType, std::uint64_t infoLength,
                  const UdfTime& time, int adType, const std::vector<std::uint8_t>& area, std::uint64_t blocksRecorded,
                  std::uint16_t links) {
    std::memset(s, 0, m_B);
    bool efe = m_o.extendedEntries;
    std::size_t head = efe ? 216 : 176;
    if (head + area.size() > m_B) throw std::runtime_error("entry area does not fit");
    PutLE16(s + 20, 4);  // strategy 4
    PutLE16(s + 24, 1);  // one entry
    s[27] = fileType;
    PutLE16(s + 34, static_cast<std::uint32_t>(adType));
    PutLE32(s + 36, 0xFFFFFFFF);  // uid
    PutLE32(s + 40, 0xFFFFFFFF);  // gid
    PutLE32(s + 44, fileType == 4 ? 0x14A5 : 0x1084);
    PutLE16(s + 48, links);
    PutLE64(s + 56, infoLength);
    if (efe) {
      PutLE64(s + 64, infoLength);
      PutLE64(s + 72, blocksRecorded);
      for (int at : {80, 92, 104, 116}) PutTime(s + at, time);
      PutLE32(s + 128, 1);
      PutRegid(s + 168, "*Tessal test");
      PutLE64(s + 200, ++m_uniqueId);
      PutLE32(s + 212, static_cast<std::uint32_t>(area.size()));
    } else {
      PutLE64(s + 64, blocksRecorded);
      for (int at : {72, 84, 96}) PutTime(s + at, time);
      PutLE32(s + 108, 1);
      PutRegid(s + 128, "*Tessal test");
      PutLE64(s + 160, ++m_uniqueId);
      PutLE32(s + 172, static_cast<std::uint32_t>(area.size()));
    }
    std::copy(area.begin(), area.end(), s + head);
    Tag(s, efe ? 266 : 261, location, head + area.size());
  }

  // Writes the descriptors of an entry: in the entry, or (aed) the first one
  // there followed by a continuation to an allocation extent descriptor.
  std::vector<std::uint8_t> DescriptorArea(std::vector<Ad> ads, bool aed, const std::string& key) {
    if (!aed || ads.empty()) return EncodeAds(ads, LongAds());
    Space sp = MetaSpace();
    std::uint32_t b = Alloc(1, sp);
    m_img.aedSector[key] = Abs(b, sp);
    std::vector<Ad> rest(ads.begin() + 1, ads.end());
    std::vector<std::uint8_t> list = EncodeAds(rest, LongAds());
    std::uint8_t* s = Block(b, sp);
    PutLE32(s + 20, static_cast<std::uint32_t>(list.size()));
    std::copy(list.begin(), list.end(), s + 24);
    Tag(s, 258, b, 24 + list.size());
    Ad cont{m_B, 3, m_virtual && !LongAds() ? NewVirtual(b) : b, RefOf(sp)};
    std::vector<Ad> head{ads[0], cont};
    return EncodeAds(head, LongAds());
  }

  void WriteNode(const UdfNode& n, const std::string& path, const UdfNode& root) {
    std::string key = path.empty() ? "/" : path;
    std::uint32_t block = m_entry[path];
    Icb self = IcbOf(path);
    std::vector<std::uint8_t> content;
    std::uint64_t infoLength;
    if (n.directory) {
      std::string parent = path.empty() ? "" : path.substr(0, path.rfind('/'));
      content = DirectoryData(n, path, parent);
      infoLength = content.size();
    } else {
      content = n.data;
      infoLength = std::max<std::uint64_t>(n.size, n.data.size());
    }
    std::uint16_t links = 1;
    if (n.directory)
      for (const UdfNode& c : n.children) links += c.directory && !c.linkToRoot ? 1 : 0;
    std::uint8_t type = n.directory ? 4 : 5;
    std::size_t head = m_o.extendedEntries ? 216 : 176;
    std::uint8_t* entry = Block(block, MetaSpace());
    if (n.embedded && head + content.size() <= m_B && infoLength == content.size()) {
      WriteEntry(entry, self.block, type, infoLength, n.time, 3, content, 0, links);
    } else {
      // Directories live in the metadata partition when there is one.
      std::vector<Ad> ads = PlaceData(content, n.extents, key, n.directory ? MetaSpace() : Space::Partition);
      std::uint64_t recorded = (content.size() + m_B - 1) / m_B;
      // What lies past the recorded bytes is an unrecorded (sparse) extent.
      std::uint64_t rest = infoLength - content.size();
      if (rest && !ads.empty() && ads.back().length % m_B) {
        std::uint32_t pad = static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, m_B - ads.back().length % m_B));
        // Bytes up to the block end are part of the recorded extent (zeros).
        ads.back().length += pad;
        rest -= pad;
      }
      const std::uint32_t maxAd = 0x40000000 - m_B;  // largest block-multiple extent length
      while (rest) {
        std::uint32_t n32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, maxAd));
        ads.push_back(Ad{n32, 2, 0, 0});
        rest -= n32;
      }
      std::vector<std::uint8_t> area = DescriptorArea(ads, n.aed, key);
      WriteEntry(Block(block, MetaSpace()), self.block, type, infoLength, n.time, LongAds() ? 1 : 0, area, recorded,
                 links);
    }
    for (const UdfNode& c : n.children)
      if (!c.linkToRoot) WriteNode(c, path + "/" + c.name, root);
  }

  void WriteFileSet(std::uint32_t fsd, std::uint32_t fsdAddr) {
    std::uint8_t* s = Block(fsd, MetaSpace());
    PutTime(s + 16, UdfTime{});
    PutLE16(s + 28, 3);
    PutLE16(s + 30, 3);
    PutLE32(s + 32, 1);
    PutLE32(s + 36, 1);
    PutCharspec(s + 48);
    PutDstring(s + 112, 128, m_o.volumeId);
    PutCharspec(s + 240);
    PutDstring(s + 304, 32, m_o.volumeId);
    Icb root = IcbOf("");
    PutLE32(s + 400, m_B);
    PutLE32(s + 404, root.block);
    PutLE16(s + 408, root.ref);
    PutRegid(s + 416, "*OSTA UDF Compliant", m_o.revision, 0);
    Tag(s, 256, fsdAddr, 512);
    std::uint8_t* td = Block(fsd + 1, MetaSpace());
    Tag(td, 8, fsd + 1, 512);
  }

  // The metadata file (its content right after blocks 0 and 1) and its mirror
  // (a copy behind the file data), each described by one short descriptor in
  // an entry of file type 250 or 251.
  void WriteMetadataFiles() {
    if (m_metaUsed > m_metaBlocks) throw std::logic_error("metadata space not reserved");
    const std::uint32_t n = m_metaBlocks;
    m_meta.resize(std::size_t(n) * m_B, 0);
    std::memcpy(Block(kMetadataContent), m_meta.data(), m_meta.size());
    m_used = (m_used + kMetadataUnit - 1) / kMetadataUnit * kMetadataUnit;
    std::uint32_t mirror = Alloc(n);
    std::memcpy(Block(mirror), m_meta.data(), m_meta.size());
    m_img.metadataFileSector = m_P;
    m_img.mirrorFileSector = m_P + 1;
    m_img.metadataStart = m_P + kMetadataContent;
    m_img.mirrorStart = m_P + mirror;
    m_img.metadataBlocks = n;
    std::uint32_t contentAt[2] = {kMetadataContent, mirror};
    for (std::uint32_t k = 0; k < 2; ++k) {
      std::uint32_t location = m_virtual ? NewVirtual(k) : k;
      std::uint32_t first = contentAt[k];
      if (m_virtual) {
        first = NewVirtual(contentAt[k]);
        for (std::uint32_t i = 1; i < n; ++i) NewVirtual(contentAt[k] + i);
      }
      (k == 0 ? m_metaFileLoc : m_mirrorFileLoc) = location;
      std::vector<std::uint8_t> area = EncodeAds({Ad{n * m_B, 0, first, 0}}, false);
      WriteEntry(Block(k), location, static_cast<std::uint8_t>(250 + k), std::uint64_t(n) * m_B, UdfTime{}, 0, area,
                 n, 1);
    }
    DamageMainMetadata(n);
  }

  void DamageMainMetadata(std::uint32_t n) {
    switch (m_o.metadataDamage) {
      case UdfMetadataDamage::None:
        break;
      case UdfMetadataDamage::MainEntry:
        Block(0)[kUdfTagChecksumAt] ^= 0x5A;
        break;
      case UdfMetadataDamage::MainContent:
        for (std::uint32_t i = 0; i < n; ++i) {
          std::uint8_t* d = Block(kMetadataContent + i);
          if (GetLE16(d) != 0 && d[kUdfTagChecksumAt] == UdfTagChecksum(d)) d[kUdfTagChecksumAt] ^= 0x5A;
        }
        break;
      case UdfMetadataDamage::MainUnreadable:
        for (std::uint32_t s = SectorOf(m_P + kMetadataContent); s < SectorOf(m_P + kMetadataContent + n); ++s)
          m_img.unreadable.insert(s);
        break;
    }
  }

  // The VAT: entries, then (1.50) its identifier and the previous VAT, or
  // (2.x) a header in front; recorded embedded or in extents, its entry last.
  void WriteVat() {
    bool v20 = m_o.revision >= 0x0200;
    m_vat.insert(m_vat.end(), m_o.vatSpareEntries, 0xFFFFFFFF);
    m_img.vatEntries = static_cast<std::uint32_t>(m_vat.size());
    std::uint32_t entries = static_cast<std::uint32_t>(m_vat.size());
    std::vector<std::uint8_t> file;
    if (v20) {
      file.resize(152 + m_o.vatImplUse, 0);
      PutLE16(&file[0], 152 + m_o.vatImplUse);
      PutLE16(&file[2], m_o.vatImplUse);
      PutDstring(&file[4], 128, m_o.volumeId);
      PutLE32(&file[132], 0xFFFFFFFF);
      PutLE16(&file[144], std::min<std::uint16_t>(m_o.revision, 0x0250));
      PutLE16(&file[146], m_o.revision);
      PutLE16(&file[148], m_o.revision);
      if (m_o.vatImplUse) std::fill(file.begin() + 152, file.end(), 0xAB);  // never entries
    }
    for (std::uint32_t v = 0; v < entries; ++v) {
      std::size_t at = file.size();
      file.resize(at + 4);
      PutLE32(&file[at], m_vat[v]);
    }
    if (!v20) {
      std::size_t at = file.size();
      file.resize(at + 36, 0);
      PutRegid(&file[at], "*UDF Virtual Alloc Tbl", 0x0150);
      PutLE32(&file[at + 32], 0xFFFFFFFF);
    }
    std::uint8_t type = v20 ? 248 : 0;
    std::size_t head = m_o.extendedEntries ? 216 : 176;
    if (m_o.vatEmbedded && head + file.size() <= m_B) {
      std::uint32_t b = Alloc(1);
      WriteEntry(Block(b), b, type, file.size(), UdfTime{}, 3, file, 0, 1);
      m_img.vatSector = m_P + b;
      return;
    }
    // Extents of whole blocks except the last, apart from each other.
    std::uint32_t blocks = static_cast<std::uint32_t>((file.size() + m_B - 1) / m_B);
    int pieces = std::max(1, std::min<int>(m_o.vatExtents, blocks));
    std::vector<Ad> ads;
    std::size_t off = 0;
    for (int i = 0; i < pieces; ++i) {
      std::uint32_t share = blocks / pieces + (static_cast<std::uint32_t>(i) < blocks % pieces ? 1 : 0);
      std::uint32_t b = Alloc(share);
      std::size_t n = std::min(file.size() - off, std::size_t(share) * m_B);
      std::memcpy(Block(b), file.data() + off, n);
      ads.push_back(Ad{static_cast<std::uint32_t>(n), 0, b, 0});
      m_img.vatExtentSectors.push_back(m_P + b);
      off += n;
      if (i + 1 < pieces) std::memset(Block(Alloc(1)), 0xDD, m_B);
    }
    std::uint32_t b = Alloc(1);
    WriteEntry(Block(b), b, type, file.size(), UdfTime{}, m_o.ad == UdfAdKind::Long ? 1 : 0,
               EncodeAds(ads, m_o.ad == UdfAdKind::Long), blocks, 1);
    m_img.vatSector = m_P + b;
  }

  // Moves each spared packet to spare space after the partition and leaves
  // junk in its place, as a drive's defect management would read it.
  void Spare(std::uint32_t partLen) {
    std::uint32_t L = m_o.packetLength;
    std::uint32_t spare = m_P + partLen;
    Ensure(spare + L * static_cast<std::uint32_t>(m_o.sparedPackets.size()));
    std::uint32_t count = static_cast<std::uint32_t>(m_o.sparedPackets.size()) + 4;
    std::vector<std::uint8_t> table(56 + 8 * count, 0);
    PutRegid(&table[16], "*UDF Sparing Table", m_o.revision);
    PutLE16(&table[48], count);
    PutLE32(&table[52], 1);
    std::vector<std::uint32_t> packets = m_o.sparedPackets;
    std::sort(packets.begin(), packets.end());
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t orig = i < packets.size() ? packets[i] : 0xFFFFFFFF;
      std::uint32_t mapped = spare + i * L;
      if (i < packets.size()) {
        Ensure(mapped + L);
        std::memcpy(At(mapped), At(m_P + orig), std::size_t(L) * m_B);
        std::memset(At(m_P + orig), 0xEE, std::size_t(L) * m_B);
      }
      PutLE32(&table[56 + 8 * i], orig);
      PutLE32(&table[60 + 8 * i], mapped);
    }
    m_sparingTableSize = static_cast<std::uint32_t>(table.size());
    for (std::uint32_t loc : kSparingTables) {
      std::uint32_t s = m_o.volumeStart + loc;
      Ensure(s + 2);
      std::vector<std::uint8_t> t = table;
      Tag(t.data(), 0, s, std::min<std::size_t>(t.size(), 2 * m_B));
      std::memcpy(At(s), t.data(), std::min<std::size_t>(t.size(), 2 * m_B));
    }
  }

  void WriteAnchor(std::uint32_t s) {
    std::uint8_t* d = At(s);
    std::memset(d, 0, m_B);
    PutLE32(d + 16, kVdsLength * m_B);
    PutLE32(d + 20, m_img.mainVds);
    PutLE32(d + 24, kVdsLength * m_B);
    PutLE32(d + 28, m_img.reserveVds);
    Tag(d, 2, s, 512);
    m_img.anchors.push_back(s);
  }

  void WriteVolumeDescriptors(std::uint32_t M) {
    // Primary Volume Descriptor.
    std::uint8_t* s = At(M);
    PutLE32(s + 16, 1);
    PutDstring(s + 24, 32, m_o.volumeId);
    PutLE16(s + 56, 1);
    PutLE16(s + 58, 1);
    PutLE16(s + 60, 2);
    PutLE16(s + 62, 2);
    PutLE32(s + 64, 1);
    PutLE32(s + 68, 1);
    PutDstring(s + 72, 128, "0123456789ABCDEF" + m_o.volumeId);
    PutCharspec(s + 200);
    PutCharspec(s + 264);
    PutRegid(s + 344, "*Tessal test builder");
    PutTime(s + 376, UdfTime{});
    PutRegid(s + 388, "*Tessal test builder");
    Tag(s, 1, M, 512);
    // Partition Descriptor.
    s = At(M + 1);
    PutLE32(s + 16, 2);
    PutLE16(s + 20, 1);
    PutLE16(s + 22, 0);
    PutRegid(s + 24, m_o.revision >= 0x0200 ? "+NSR03" : "+NSR02");
    std::uint32_t access = m_virtual ? 2 : m_o.partition == UdfPartitionKind::Sparable ? 3 : 1;
    PutLE32(s + 184, access);
    PutLE32(s + 188, m_P);
    PutLE32(s + 192, m_img.partitionLength);
    PutRegid(s + 196, "*Tessal test builder");
    Tag(s, 5, M + 1, 512);
  }

  // The type 2 maps: virtual or sparable, then metadata.
  std::uint32_t WriteTypeTwoMaps(std::uint8_t* m2, std::vector<std::string>& kinds) {
    const std::uint16_t rev = m_o.revision;
    std::uint32_t len = 0;
    if (m_o.partition != UdfPartitionKind::Plain) {
      m2[0] = 2;
      m2[1] = 64;
      PutRegid(m2 + 4, m_virtual ? "*UDF Virtual Partition" : "*UDF Sparable Partition", rev, 0);
      PutLE16(m2 + 36, 1);
      PutLE16(m2 + 38, 0);
      if (!m_virtual) {
        PutLE16(m2 + 40, m_o.packetLength);
        m2[42] = 2;
        PutLE32(m2 + 44, m_sparingTableSize);
        PutLE32(m2 + 48, m_o.volumeStart + kSparingTables[0]);
        PutLE32(m2 + 52, m_o.volumeStart + kSparingTables[1]);
      }
      kinds.push_back(m_virtual ? "virtual" : "sparable");
      len += 64;
    }
    if (m_metadata) {
      std::uint8_t* m3 = m2 + len;
      m3[0] = 2;
      m3[1] = 64;
      PutRegid(m3 + 4, "*UDF Metadata Partition", rev, 0);
      PutLE16(m3 + 36, 1);
      PutLE16(m3 + 38, 0);
      PutLE32(m3 + 40, m_metaFileLoc);
      PutLE32(m3 + 44, m_mirrorFileLoc);
      PutLE32(m3 + 48, 0xFFFFFFFF);  // no bitmap file
      PutLE32(m3 + 52, kMetadataUnit);
      PutLE16(m3 + 56, kMetadataUnit);
      m3[58] = 1;  // the mirror is a copy of its own
      kinds.push_back("metadata");
      len += 64;
    }
    return len;
  }

  void WriteSequence(std::uint32_t M, std::uint32_t fsdAddr) {
    const std::uint16_t rev = m_o.revision;
    WriteVolumeDescriptors(M);
    // Logical Volume Descriptor.
    std::uint8_t* s = At(M + 2);
    PutLE32(s + 16, 3);
    PutCharspec(s + 20);
    PutDstring(s + 84, 128, m_o.volumeId);
    PutLE32(s + 212, m_B);
    PutRegid(s + 216, "*OSTA UDF Compliant", rev, 0);
    PutLE32(s + 248, m_B);
    PutLE32(s + 252, fsdAddr);
    PutLE16(s + 256, m_metadata ? m_metaRef : m_virtual ? 1 : 0);
    PutRegid(s + 272, "*Tessal test builder");
    if (m_o.writeIntegrity) {
      PutLE32(s + 432, 2 * m_B);
      PutLE32(s + 436, m_img.lvidSector);
    }
    std::uint8_t* map = s + 440;
    std::vector<std::string> kinds;
    std::uint32_t mapLen = 0;
    if (m_o.partition != UdfPartitionKind::Sparable) {
      // A sparable volume has only the sparable map in place of the physical one.
      map[0] = 1;
      map[1] = 6;
      PutLE16(map + 2, 1);
      PutLE16(map + 4, 0);
      kinds.push_back("physical");
      mapLen = 6;
    }
    mapLen += WriteTypeTwoMaps(map + mapLen, kinds);
    if (440 + mapLen > m_B) throw std::invalid_argument("partition maps do not fit the block");
    PutLE32(s + 264, mapLen);
    PutLE32(s + 268, static_cast<std::uint32_t>(kinds.size()));
    Tag(s, 6, M + 2, 440 + mapLen);
    m_maps = static_cast<std::uint32_t>(kinds.size());
    m_img.partitionMaps = kinds;
    // Unallocated Space Descriptor and Terminating Descriptor.
    s = At(M + 3);
    PutLE32(s + 16, 4);
    Tag(s, 7, M + 3, 24);
    Tag(At(M + 4), 8, M + 4, 512);
  }

  void WriteVolumeStructure(std::uint32_t V, std::uint32_t fsdAddr) {
    // The recognition sequence starts 32768 bytes into the volume, one
    // descriptor per 2048 bytes or per block if blocks are larger.
    const char* nsr = m_o.revision >= 0x0200 ? "NSR03" : "NSR02";
    const char* ids[3] = {"BEA01", nsr, "TEA01"};
    const std::size_t step = std::max<std::size_t>(m_B, 2048);
    for (int i = 0; i < 3; ++i) {
      std::uint8_t* s = m_img.bytes.data() + std::size_t(V) * m_B + 32768 + i * step;
      s[0] = 0;
      PutStr(s + 1, ids[i]);
      s[6] = 1;
    }
    // Smaller blocks move the descriptor sequences past the recognition sequence.
    const std::uint32_t vds = m_B < 2048 ? kMainVdsSmallBlocks : kMainVds;
    m_img.mainVds = V + vds;
    m_img.reserveVds = V + vds + kVdsLength;
    m_img.pvdSector = m_img.mainVds;
    m_img.pdSector = m_img.mainVds + 1;
    m_img.lvdSector = m_img.mainVds + 2;
    m_img.lvidSector = m_o.writeIntegrity ? V + m_o.integrityOffset : 0;
    WriteSequence(m_img.mainVds, fsdAddr);
    WriteSequence(m_img.reserveVds, fsdAddr);
    if (m_o.writeIntegrity) WriteIntegrity(m_img.lvidSector);
    WriteAnchor(V + kAnchor);
  }

  void WriteIntegrity(std::uint32_t at) {
    std::uint8_t* s = At(at);
    std::memset(s, 0, m_B);
    PutTime(s + 16, UdfTime{});
    PutLE32(s + 28, 1);  // closed
    PutLE64(s + 40, m_uniqueId + 16);
    std::uint32_t np = m_maps;
    PutLE32(s + 72, np);
    PutLE32(s + 76, 46);
    std::uint8_t* p = s + 80;
    for (std::uint32_t i = 0; i < np; ++i) PutLE32(p + 4 * i, 0);
    for (std::uint32_t i = 0; i < np; ++i) PutLE32(p + 4 * np + 4 * i, m_img.partitionLength);
    std::uint8_t* iu = p + 8 * np;
    PutRegid(iu, "*Tessal test builder");
    PutLE32(iu + 32, 0);
    PutLE32(iu + 36, 1);
    PutLE16(iu + 40, m_o.revision >= 0x0250 ? 0x0250 : std::min<std::uint16_t>(m_o.revision, 0x0201));
    PutLE16(iu + 42, m_o.revision);
    PutLE16(iu + 44, m_o.revision);
    Tag(s, 9, at, 80 + 8 * np + 46);
    Tag(At(at + 1), 8, at + 1, 512);
  }

  const UdfNode& m_root;
  UdfBuildOptions m_o;
  std::uint32_t m_B = 2048;
  UdfImage m_img;
  bool m_virtual = false;
  bool m_metadata = false;
  std::uint16_t m_tagVersion = 3;
  std::uint16_t m_metaRef = 1;
  std::uint32_t m_P = 0;
  std::uint32_t m_used = 0;
  std::uint32_t m_maps = 1;
  std::uint32_t m_sparingTableSize = 0;
  std::uint64_t m_uniqueId = 15;
  std::vector<std::uint32_t> m_vat;
  std::map<std::string, std::uint32_t> m_entry;
  std::map<std::string, std::uint32_t> m_virtualOf;
  // The metadata partition: its content, built apart and copied in at the end.
  std::vector<std::uint8_t> m_meta;
  std::uint32_t m_metaUsed = 0, m_metaBlocks = 0;
  std::uint32_t m_metaFileLoc = 0, m_mirrorFileLoc = 0;
};

}  // namespace

UdfNode UdfNode::Dir(std::string name, std::vector<UdfNode> children) {
  UdfNode n;
  n.name = std::move(name);
  n.directory = true;
  n.children = std::move(children);
  return n;
}

UdfNode UdfNode::File(std::string name, std::vector<std::uint8_t> data) {
  UdfNode n;
  n.name = std::move(name);
  n.data = std::move(data);
  return n;
}

UdfNode UdfNode::File(std::string name, const std::string& text) {
  return File(std::move(name), std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::uint16_t UdfCrc(const std::uint8_t* data, std::size_t n) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int k = 0; k < 8; ++k) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

void UdfImage::Retag(std::uint32_t block, std::size_t length) {
  std::uint8_t* d = Block(block);
  std::size_t crcLen = std::min<std::size_t>(GetLE16(d + 10), std::min<std::size_t>(length, blockSize) - 16);
  PutLE16(d + 10, static_cast<std::uint32_t>(crcLen));
  PutLE16(d + 8, UdfCrc(d + 16, crcLen));
  d[kUdfTagChecksumAt] = UdfTagChecksum(d);
}

bool UdfImage::WriteTo(const std::string& path) const {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

UdfImage BuildUdfImage(const UdfNode& root, const UdfBuildOptions& options) {
  std::uint32_t metadataBlocks = 0;
  if (options.metadataPartition && options.revision >= 0x0250) {
    std::uint32_t used = Builder(root, options).MeasureMetadata();
    metadataBlocks = std::max<std::uint32_t>(1, (used + kMetadataUnit - 1) / kMetadataUnit) * kMetadataUnit;
  }
  return Builder(root, options, metadataBlocks).Build();
}

UdfImage AppendUdfSession(const UdfImage& earlier, const UdfNode& root, UdfBuildOptions options,
                          std::uint32_t gapSectors) {
  if (options.blockSize != earlier.blockSize) throw std::invalid_argument("sessions of one image share a block size");
  const std::uint32_t startSector = (earlier.SectorCount() + 31) / 32 * 32 + gapSectors;
  options.volumeStart = static_cast<std::uint32_t>(std::uint64_t(startSector) * 2048 / options.blockSize);
  UdfImage img = BuildUdfImage(root, options);
  std::copy(earlier.bytes.begin(), earlier.bytes.end(), img.bytes.begin());
  img.unreadable.insert(earlier.unreadable.begin(), earlier.unreadable.end());
  img.sessionStarts.insert(img.sessionStarts.begin(), earlier.sessionStarts.begin(), earlier.sessionStarts.end());
  img.anchors.insert(img.anchors.begin(), earlier.anchors.begin(), earlier.anchors.end());
  return img;
}

}  // namespace testsupport
