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

constexpr std::size_t kBlock = 2048;
constexpr std::uint32_t kMaxAdLength = 0x3FFFF800;  // largest block-multiple extent length

// Sectors relative to the volume start.
constexpr std::uint32_t kVrs = 16;
constexpr std::uint32_t kMainVds = 32;
constexpr std::uint32_t kReserveVds = 48;
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

class Builder {
 public:
  Builder(const UdfNode& root, const UdfBuildOptions& o) : m_root(root), m_o(o) {
    m_img.volumeStart = o.volumeStart;
    m_virtual = o.partition == UdfPartitionKind::Virtual;
    m_tagVersion = o.revision >= 0x0200 ? 3 : 2;
  }

  UdfImage Build() {
    const std::uint32_t V = m_o.volumeStart;
    m_P = V + kPartition;
    m_img.partitionStart = m_P;

    // Partition block 0 holds the file set, 1 its terminator; the root and
    // every other entry follow.
    std::uint32_t fsd = Alloc(1);
    Alloc(1);
    std::uint32_t fsdAddr = m_virtual ? NewVirtual(fsd) : fsd;
    AssignEntries(m_root, "");
    WriteNode(m_root, "", m_root);
    m_img.rootBlock = m_entry[""];
    m_img.fsdSector = m_P + fsd;
    WriteFileSet(fsd, fsdAddr);
    if (m_virtual) WriteVat();

    std::uint32_t partLen = m_used;
    if (m_o.partition == UdfPartitionKind::Sparable) {
      partLen = std::max<std::uint32_t>((m_used + m_o.packetLength - 1) / m_o.packetLength, 8) * m_o.packetLength;
    } else if (!m_virtual) {
      partLen = m_used + 16;
    }
    if (m_virtual) {
      m_img.nextWritable = m_img.vatSector + 1 + m_o.vatLinkBlocks;
      for (std::uint32_t s = m_img.vatSector + 1; s < *m_img.nextWritable; ++s) m_img.unreadable.insert(s);
      Ensure(*m_img.nextWritable);
      partLen = m_img.vatSector + 1 + 1024 - m_P;  // the open track's reserved space
      m_img.trackSize = *m_img.nextWritable + 1024;
    }
    m_img.partitionLength = partLen;
    if (!m_virtual) Ensure(m_P + partLen);

    if (m_o.partition == UdfPartitionKind::Sparable) Spare(partLen);
    WriteVolumeStructure(V, fsdAddr);
    if (!m_virtual) {
      // The closing anchor at the last sector, as mastering tools write it.
      std::uint32_t last = m_img.SectorCount();
      Ensure(last + 1);
      WriteAnchor(last);
      m_img.trackSize = m_img.SectorCount();
    }
    return std::move(m_img);
  }

 private:
  std::uint32_t Alloc(std::uint32_t n) {
    std::uint32_t b = m_used;
    m_used += n;
    Ensure(m_P + m_used);
    return b;
  }
  void Ensure(std::uint32_t sectors) {
    if (m_img.bytes.size() < std::size_t(sectors) * kBlock) m_img.bytes.resize(std::size_t(sectors) * kBlock, 0);
  }
  std::uint8_t* Block(std::uint32_t b) { return m_img.Sector(m_P + b); }
  std::uint32_t NewVirtual(std::uint32_t phys) {
    m_vat.push_back(phys);
    return static_cast<std::uint32_t>(m_vat.size() - 1);
  }

  void Tag(std::uint8_t* d, std::uint16_t id, std::uint32_t location, std::size_t length) {
    PutLE16(d, id);
    PutLE16(d + 2, m_tagVersion);
    PutLE16(d + 6, 1);  // serial
    std::size_t crcLen = length > 16 ? std::min<std::size_t>(length, kBlock) - 16 : 0;
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
    if (m_virtual) return {m_virtualOf[path], 1};
    return {m_entry[path], 0};
  }

  void AssignEntries(const UdfNode& n, const std::string& path) {
    std::uint32_t b = Alloc(1);
    m_entry[path] = b;
    m_img.entrySector[path.empty() ? "/" : path] = m_P + b;
    if (m_virtual) {
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
    PutLE32(&f[20], kBlock);
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
    for (const UdfNode& c : n.children) {
      Icb icb = c.linkToRoot ? IcbOf("") : IcbOf(path + "/" + c.name);
      std::vector<std::uint8_t> f = Fid(c.directory ? 0x02 : 0x00, EncodeName(c.name, c.wideName), icb, c.fidImplUse);
      d.insert(d.end(), f.begin(), f.end());
    }
    return d;
  }

  // Places bytes in `pieces` separate extents (a gap block between them, so
  // that a reader following only the first extent reads the wrong data).
  std::vector<Ad> PlaceData(const std::vector<std::uint8_t>& bytes, int pieces, std::string key) {
    std::vector<Ad> ads;
    std::uint32_t blocks = static_cast<std::uint32_t>((bytes.size() + kBlock - 1) / kBlock);
    pieces = std::max(1, std::min<int>(pieces, std::max<std::uint32_t>(blocks, 1)));
    std::size_t off = 0;
    for (int i = 0; i < pieces; ++i) {
      std::uint32_t share = blocks / pieces + (static_cast<std::uint32_t>(i) < blocks % pieces ? 1 : 0);
      if (share == 0) continue;
      std::uint32_t b = Alloc(share);
      std::size_t n = std::min(bytes.size() - off, std::size_t(share) * kBlock);
      std::memcpy(Block(b), bytes.data() + off, n);
      if (i == 0) m_img.dataSector[key] = m_P + b;
      Ad a{static_cast<std::uint32_t>(n), 0, b, 0};
      if (m_virtual && m_o.ad == UdfAdKind::Short) {
        // Short descriptors on a virtual partition address virtual blocks.
        a.block = NewVirtual(b);
        for (std::uint32_t k = 1; k < share; ++k) NewVirtual(b + k);
      }
      ads.push_back(a);
      off += n;
      if (i + 1 < pieces) std::memset(Block(Alloc(1)), 0xDD, kBlock);
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

  bool LongAds() const { return m_o.ad == UdfAdKind::Long; }

  void WriteEntry(std::uint32_t block, std::uint32_t location, std::uint8_t fileType, std::uint64_t infoLength,
                  const UdfTime& time, int adType, const std::vector<std::uint8_t>& area, std::uint64_t blocksRecorded,
                  std::uint16_t links) {
    std::uint8_t* s = Block(block);
    std::memset(s, 0, kBlock);
    bool efe = m_o.extendedEntries;
    std::size_t head = efe ? 216 : 176;
    if (head + area.size() > kBlock) throw std::runtime_error("entry area does not fit");
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
    std::uint32_t b = Alloc(1);
    m_img.aedSector[key] = m_P + b;
    std::vector<Ad> rest(ads.begin() + 1, ads.end());
    std::vector<std::uint8_t> list = EncodeAds(rest, LongAds());
    std::uint8_t* s = Block(b);
    PutLE32(s + 20, static_cast<std::uint32_t>(list.size()));
    std::copy(list.begin(), list.end(), s + 24);
    Tag(s, 258, b, 24 + list.size());
    Ad cont{kBlock, 3, m_virtual && !LongAds() ? NewVirtual(b) : b, 0};
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
    if (n.embedded && head + content.size() <= kBlock && infoLength == content.size()) {
      WriteEntry(block, self.block, type, infoLength, n.time, 3, content, 0, links);
    } else {
      std::vector<Ad> ads = PlaceData(content, n.extents, key);
      std::uint64_t recorded = (content.size() + kBlock - 1) / kBlock;
      // What lies past the recorded bytes is an unrecorded (sparse) extent.
      std::uint64_t rest = infoLength - content.size();
      if (rest && !ads.empty() && ads.back().length % kBlock) {
        std::uint32_t pad = static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, kBlock - ads.back().length % kBlock));
        // Bytes up to the block end are part of the recorded extent (zeros).
        ads.back().length += pad;
        rest -= pad;
      }
      while (rest) {
        std::uint32_t n32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(rest, kMaxAdLength));
        ads.push_back(Ad{n32, 2, 0, 0});
        rest -= n32;
      }
      WriteEntry(block, self.block, type, infoLength, n.time, LongAds() ? 1 : 0,
                 DescriptorArea(ads, n.aed, key), recorded, links);
    }
    for (const UdfNode& c : n.children)
      if (!c.linkToRoot) WriteNode(c, path + "/" + c.name, root);
  }

  void WriteFileSet(std::uint32_t fsd, std::uint32_t fsdAddr) {
    std::uint8_t* s = Block(fsd);
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
    PutLE32(s + 400, kBlock);
    PutLE32(s + 404, root.block);
    PutLE16(s + 408, root.ref);
    PutRegid(s + 416, "*OSTA UDF Compliant", m_o.revision, 0);
    Tag(s, 256, fsdAddr, 512);
    std::uint8_t* td = Block(fsd + 1);
    Tag(td, 8, fsd + 1, 512);
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
      PutLE16(&file[144], m_o.revision);
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
    if (m_o.vatEmbedded && head + file.size() <= kBlock) {
      std::uint32_t b = Alloc(1);
      WriteEntry(b, b, type, file.size(), UdfTime{}, 3, file, 0, 1);
      m_img.vatSector = m_P + b;
      return;
    }
    // Extents of whole blocks except the last, apart from each other.
    std::uint32_t blocks = static_cast<std::uint32_t>((file.size() + kBlock - 1) / kBlock);
    int pieces = std::max(1, std::min<int>(m_o.vatExtents, blocks));
    std::vector<Ad> ads;
    std::size_t off = 0;
    for (int i = 0; i < pieces; ++i) {
      std::uint32_t share = blocks / pieces + (static_cast<std::uint32_t>(i) < blocks % pieces ? 1 : 0);
      std::uint32_t b = Alloc(share);
      std::size_t n = std::min(file.size() - off, std::size_t(share) * kBlock);
      std::memcpy(Block(b), file.data() + off, n);
      ads.push_back(Ad{static_cast<std::uint32_t>(n), 0, b, 0});
      m_img.vatExtentSectors.push_back(m_P + b);
      off += n;
      if (i + 1 < pieces) std::memset(Block(Alloc(1)), 0xDD, kBlock);
    }
    std::uint32_t b = Alloc(1);
    WriteEntry(b, b, type, file.size(), UdfTime{}, LongAds() ? 1 : 0, EncodeAds(ads, LongAds()), blocks, 1);
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
        std::memcpy(m_img.Sector(mapped), m_img.Sector(m_P + orig), std::size_t(L) * kBlock);
        std::memset(m_img.Sector(m_P + orig), 0xEE, std::size_t(L) * kBlock);
      }
      PutLE32(&table[56 + 8 * i], orig);
      PutLE32(&table[60 + 8 * i], mapped);
    }
    m_sparingTableSize = static_cast<std::uint32_t>(table.size());
    for (std::uint32_t loc : kSparingTables) {
      std::uint32_t s = m_o.volumeStart + loc;
      Ensure(s + 2);
      std::uint8_t* d = m_img.Sector(s);
      std::vector<std::uint8_t> t = table;
      Tag(t.data(), 0, s, std::min<std::size_t>(t.size(), 2 * kBlock));
      std::memcpy(d, t.data(), std::min<std::size_t>(t.size(), 2 * kBlock));
    }
  }

  void WriteAnchor(std::uint32_t s) {
    std::uint8_t* d = m_img.Sector(s);
    std::memset(d, 0, kBlock);
    PutLE32(d + 16, kVdsLength * kBlock);
    PutLE32(d + 20, m_img.mainVds);
    PutLE32(d + 24, kVdsLength * kBlock);
    PutLE32(d + 28, m_img.reserveVds);
    Tag(d, 2, s, 512);
  }

  void WriteSequence(std::uint32_t M, std::uint32_t fsdAddr, bool main) {
    const std::uint16_t rev = m_o.revision;
    // Primary Volume Descriptor.
    std::uint8_t* s = m_img.Sector(M);
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
    s = m_img.Sector(M + 1);
    PutLE32(s + 16, 2);
    PutLE16(s + 20, 1);
    PutLE16(s + 22, 0);
    PutRegid(s + 24, rev >= 0x0200 ? "+NSR03" : "+NSR02");
    std::uint32_t access = m_virtual ? 2 : m_o.partition == UdfPartitionKind::Sparable ? 3 : 1;
    PutLE32(s + 184, access);
    PutLE32(s + 188, m_P);
    PutLE32(s + 192, m_img.partitionLength);
    PutRegid(s + 196, "*Tessal test builder");
    Tag(s, 5, M + 1, 512);
    // Logical Volume Descriptor.
    s = m_img.Sector(M + 2);
    PutLE32(s + 16, 3);
    PutCharspec(s + 20);
    PutDstring(s + 84, 128, m_o.volumeId);
    PutLE32(s + 212, kBlock);
    PutRegid(s + 216, "*OSTA UDF Compliant", rev, 0);
    PutLE32(s + 248, kBlock);
    PutLE32(s + 252, fsdAddr);
    PutLE16(s + 256, m_virtual ? 1 : 0);
    PutRegid(s + 272, "*Tessal test builder");
    if (m_o.writeIntegrity) {
      PutLE32(s + 432, 2 * kBlock);
      PutLE32(s + 436, m_img.lvidSector);
    }
    std::uint8_t* map = s + 440;
    map[0] = 1;
    map[1] = 6;
    PutLE16(map + 2, 1);
    PutLE16(map + 4, 0);
    std::uint32_t mapLen = 6, maps = 1;
    if (m_o.partition != UdfPartitionKind::Plain) {
      std::uint8_t* m2 = map + 6;
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
      mapLen += 64;
      maps = 2;
    }
    if (m_o.partition == UdfPartitionKind::Sparable) {
      // A sparable volume has only the sparable map: its physical map is replaced.
      std::memmove(map, map + 6, 64);
      std::memset(map + 64, 0, 6);
      mapLen = 64;
      maps = 1;
    }
    PutLE32(s + 264, mapLen);
    PutLE32(s + 268, maps);
    Tag(s, 6, M + 2, 440 + mapLen);
    m_maps = maps;
    // Unallocated Space Descriptor and Terminating Descriptor.
    s = m_img.Sector(M + 3);
    PutLE32(s + 16, 4);
    Tag(s, 7, M + 3, 24);
    Tag(m_img.Sector(M + 4), 8, M + 4, 512);
    (void)main;
  }

  void WriteVolumeStructure(std::uint32_t V, std::uint32_t fsdAddr) {
    const char* nsr = m_o.revision >= 0x0200 ? "NSR03" : "NSR02";
    const char* ids[3] = {"BEA01", nsr, "TEA01"};
    for (int i = 0; i < 3; ++i) {
      std::uint8_t* s = m_img.Sector(V + kVrs + i);
      s[0] = 0;
      PutStr(s + 1, ids[i]);
      s[6] = 1;
    }
    m_img.mainVds = V + kMainVds;
    m_img.reserveVds = V + kReserveVds;
    m_img.pvdSector = m_img.mainVds;
    m_img.pdSector = m_img.mainVds + 1;
    m_img.lvdSector = m_img.mainVds + 2;
    m_img.lvidSector = m_o.writeIntegrity ? V + m_o.integrityOffset : 0;
    WriteSequence(m_img.mainVds, fsdAddr, true);
    WriteSequence(m_img.reserveVds, fsdAddr, false);
    if (m_o.writeIntegrity) WriteIntegrity(m_img.lvidSector);
    WriteAnchor(V + kAnchor);
  }

  void WriteIntegrity(std::uint32_t at) {
    std::uint8_t* s = m_img.Sector(at);
    std::memset(s, 0, kBlock);
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
    PutLE16(iu + 40, std::min<std::uint16_t>(m_o.revision, 0x0201));
    PutLE16(iu + 42, m_o.revision);
    PutLE16(iu + 44, m_o.revision);
    Tag(s, 9, at, 80 + 8 * np + 46);
    Tag(m_img.Sector(at + 1), 8, at + 1, 512);
  }

  const UdfNode& m_root;
  UdfBuildOptions m_o;
  UdfImage m_img;
  bool m_virtual = false;
  std::uint16_t m_tagVersion = 3;
  std::uint32_t m_P = 0;
  std::uint32_t m_used = 0;
  std::uint32_t m_maps = 1;
  std::uint32_t m_sparingTableSize = 0;
  std::uint64_t m_uniqueId = 15;
  std::vector<std::uint32_t> m_vat;
  std::map<std::string, std::uint32_t> m_entry;
  std::map<std::string, std::uint32_t> m_virtualOf;
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

void UdfImage::Retag(std::uint32_t lba, std::size_t length) {
  std::uint8_t* d = Sector(lba);
  std::size_t crcLen = std::min<std::size_t>(GetLE16(d + 10), std::min<std::size_t>(length, 2048) - 16);
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
  return Builder(root, options).Build();
}

}  // namespace testsupport
