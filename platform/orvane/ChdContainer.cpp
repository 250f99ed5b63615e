// CHD version 5 container. All numbers are big-endian.
//
// Header (124 bytes):
//    0 "MComprHD"            8 header length (124)   12 version (5)
//   16 compressors, 4 FourCCs                         32 logical bytes (8)
//   40 map offset (8)        48 metadata offset (8)   56 hunk bytes (4)
//   60 unit bytes (4)        64 raw data SHA-1        84 SHA-1 of all
//  104 parent SHA-1 (zero when there is none)
#include "platform/orvane/ChdContainer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "platform/orvane/ChdHuffman.h"

namespace orvane::chd {
namespace {

std::uint64_t GetBE48(const std::uint8_t* p) { return (std::uint64_t(GetBE16(p)) << 32) | GetBE32(p + 2); }
std::uint64_t GetBE64(const std::uint8_t* p) { return (std::uint64_t(GetBE32(p)) << 32) | GetBE32(p + 4); }

// The compressed map's symbols: slots 0-3 name a codec, the rest say how the
// entry relates to earlier ones.
enum MapSymbol : unsigned {
  kCodec0 = 0, kCodec3 = 3, kNone = 4, kSelf = 5, kParent = 6, kRepeatShort = 7, kRepeatLong = 8,
  kSelfSame = 9, kSelfNext = 10, kParentSelf = 11, kParentSame = 12, kParentNext = 13,
};
constexpr unsigned kMapSymbols = 16, kMapCodeBits = 8;
constexpr std::size_t kMapHeaderSize = 16;

MapStatus ReadRawMap(ImageFile& file, const Header& h, std::vector<HunkEntry>& map) {
  // Uncompressed files: a 4-byte hunk number per hunk, 0 for a hunk never written.
  std::vector<std::uint8_t> raw(h.hunkCount * 4);
  if (file.ReadAt(h.mapOffset, raw.data(), raw.size()) != raw.size()) return MapStatus::Truncated;
  map.assign(h.hunkCount, HunkEntry{});
  for (std::size_t i = 0; i < map.size(); ++i) {
    const std::uint64_t at = std::uint64_t(GetBE32(&raw[i * 4])) * h.hunkBytes;
    if (at == 0) continue;
    if (at + h.hunkBytes > file.Size()) return MapStatus::OutsideFile;
    map[i].kind = HunkKind::Uncompressed;
    map[i].offset = at;
    map[i].length = h.hunkBytes;
  }
  return MapStatus::Ok;
}

// Pass one: the symbols, run-length coded through the Huffman code.
MapStatus DecodeSymbols(BitReader& bits, std::uint64_t count, std::vector<std::uint8_t>& symbols) {
  HuffmanDecoder huff(kMapSymbols, kMapCodeBits);
  if (huff.ImportRle(bits) != HuffmanStatus::Ok) return MapStatus::BadCodes;
  symbols.assign(count, 0);
  unsigned last = 0;
  std::uint64_t repeat = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (repeat > 0) {
      symbols[i] = static_cast<std::uint8_t>(last);
      --repeat;
      continue;
    }
    const unsigned v = huff.Decode(bits);
    if (v == kRepeatShort) {
      symbols[i] = static_cast<std::uint8_t>(last);
      repeat = 2 + huff.Decode(bits);
    } else if (v == kRepeatLong) {
      symbols[i] = static_cast<std::uint8_t>(last);
      repeat = 2 + 16 + (huff.Decode(bits) << 4);
      repeat += huff.Decode(bits);
    } else {
      symbols[i] = static_cast<std::uint8_t>(last = v);
    }
    if (bits.Overrun()) return MapStatus::Truncated;
  }
  return MapStatus::Ok;
}

struct MapFields {
  std::uint64_t firstOffset;
  unsigned lengthBits, selfBits, parentBits;
};

// Pass two: each symbol's fields, and the file offsets they add up to.
MapStatus DecodeEntries(BitReader& bits, const Header& h, const MapFields& f, const std::vector<std::uint8_t>& symbols,
                        std::vector<HunkEntry>& map) {
  map.assign(symbols.size(), HunkEntry{});
  std::uint64_t next = f.firstOffset, lastSelf = 0, lastParent = 0;
  const std::uint64_t unitsPerHunk = h.unitBytes ? h.hunkBytes / h.unitBytes : 0;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    HunkEntry& e = map[i];
    const unsigned s = symbols[i];
    if (s <= kCodec3 || s == kNone) {
      e.kind = s == kNone ? HunkKind::Uncompressed : HunkKind::Codec;
      e.codec = static_cast<std::uint8_t>(s <= kCodec3 ? s : 0);
      e.length = s == kNone ? h.hunkBytes : bits.Read(f.lengthBits);
      e.offset = next;
      next += e.length;
      e.crc = static_cast<std::uint16_t>(bits.Read(16));
      e.hasCrc = true;
    } else if (s == kSelf || s == kSelfSame || s == kSelfNext) {
      if (s == kSelf) lastSelf = bits.Read(f.selfBits);
      if (s == kSelfNext) ++lastSelf;
      e.kind = HunkKind::Self;
      e.offset = lastSelf;
    } else if (s == kParent || s == kParentSelf || s == kParentSame || s == kParentNext) {
      if (s == kParent) lastParent = bits.Read(f.parentBits);
      if (s == kParentSelf) lastParent = i * unitsPerHunk;
      if (s == kParentNext) lastParent += unitsPerHunk;
      e.kind = HunkKind::Parent;
      e.offset = lastParent;
    } else {
      return MapStatus::BadCodes;
    }
    if (bits.Overrun()) return MapStatus::Truncated;
  }
  return MapStatus::Ok;
}

// The map as the CRC covers it: 12 bytes a hunk, as the writer kept it.
std::uint16_t MapCrc(const std::vector<std::uint8_t>& symbols, const std::vector<HunkEntry>& map) {
  std::vector<std::uint8_t> flat(map.size() * 12, 0);
  for (std::size_t i = 0; i < map.size(); ++i) {
    std::uint8_t* p = &flat[i * 12];
    const HunkEntry& e = map[i];
    p[0] = e.kind == HunkKind::Self ? kSelf : e.kind == HunkKind::Parent ? kParent : symbols[i];
    p[1] = static_cast<std::uint8_t>(e.length >> 16);
    p[2] = static_cast<std::uint8_t>(e.length >> 8);
    p[3] = static_cast<std::uint8_t>(e.length);
    for (int b = 0; b < 6; ++b) p[4 + b] = static_cast<std::uint8_t>(e.offset >> (40 - 8 * b));
    p[10] = static_cast<std::uint8_t>(e.crc >> 8);
    p[11] = static_cast<std::uint8_t>(e.crc);
  }
  return Crc16(flat.data(), flat.size());
}

}  // namespace

std::string TagText(std::uint32_t tag) {
  std::string s;
  for (int i = 3; i >= 0; --i) {
    const char c = static_cast<char>(tag >> (8 * i));
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(tag));
      return hex;
    }
    s += c;
  }
  return s;
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int b = 0; b < 8; ++b) crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

bool Header::HasParent() const {
  return std::any_of(parentSha1.begin(), parentSha1.end(), [](std::uint8_t b) { return b != 0; });
}

HeaderStatus ParseHeader(ImageFile& file, Header& h, std::string& why) {
  std::uint8_t b[kHeaderSize];
  const std::size_t got = file.ReadAt(0, b, sizeof b);
  if (got < 16 || std::memcmp(b, "MComprHD", 8) != 0) {
    why = "it does not start with a CHD header";
    return HeaderStatus::NotChd;
  }
  h.version = GetBE32(b + 12);
  if (h.version != 5) {
    why = "it is CHD version " + std::to_string(h.version) + "; only version 5 is read";
    return HeaderStatus::OldVersion;
  }
  if (got < kHeaderSize || GetBE32(b + 8) != kHeaderSize) {
    why = "its header is cut short";
    return HeaderStatus::Damaged;
  }
  for (int i = 0; i < 4; ++i) h.compressors[i] = GetBE32(b + 16 + 4 * i);
  h.logicalBytes = GetBE64(b + 32);
  h.mapOffset = GetBE64(b + 40);
  h.metaOffset = GetBE64(b + 48);
  h.hunkBytes = GetBE32(b + 56);
  h.unitBytes = GetBE32(b + 60);
  std::memcpy(h.parentSha1.data(), b + 104, 20);
  if (h.hunkBytes == 0 || h.hunkBytes > kMaxHunkBytes || h.unitBytes == 0 || h.hunkBytes % h.unitBytes != 0) {
    why = "its hunk size (" + std::to_string(h.hunkBytes) + ") or unit size (" + std::to_string(h.unitBytes) +
          ") is not possible";
    return HeaderStatus::Damaged;
  }
  h.hunkCount = (h.logicalBytes + h.hunkBytes - 1) / h.hunkBytes;
  if (h.hunkCount > kMaxHunks) {
    why = "it holds more hunks (" + std::to_string(h.hunkCount) + ") than a disc needs";
    return HeaderStatus::Damaged;
  }
  if (h.mapOffset < kHeaderSize || h.mapOffset >= file.Size()) {
    why = "its hunk map lies outside the file";
    return HeaderStatus::Damaged;
  }
  return HeaderStatus::Ok;
}

MapStatus ReadMap(ImageFile& file, const Header& h, std::vector<HunkEntry>& map) {
  if (!h.Compressed()) return ReadRawMap(file, h, map);
  //  0 compressed map bytes (4)   4 first hunk's offset (6)   10 map CRC (2)
  // 12 bits of a length           13 bits of a self hunk      14 bits of a parent unit
  std::uint8_t mh[kMapHeaderSize];
  if (file.ReadAt(h.mapOffset, mh, sizeof mh) != sizeof mh) return MapStatus::Truncated;
  const std::uint32_t mapBytes = GetBE32(mh);
  const MapFields f{GetBE48(mh + 4), mh[12], mh[13], mh[14]};
  const std::uint16_t crc = GetBE16(mh + 10);
  if (f.lengthBits > 32 || f.selfBits > 32 || f.parentBits > 32) return MapStatus::BadCodes;
  if (mapBytes > file.Size() - h.mapOffset - kMapHeaderSize) return MapStatus::Truncated;
  std::vector<std::uint8_t> packed(mapBytes);
  if (file.ReadAt(h.mapOffset + kMapHeaderSize, packed.data(), packed.size()) != packed.size())
    return MapStatus::Truncated;
  BitReader bits(packed);
  std::vector<std::uint8_t> symbols;
  MapStatus st = DecodeSymbols(bits, h.hunkCount, symbols);
  if (st == MapStatus::Ok) st = DecodeEntries(bits, h, f, symbols, map);
  if (st != MapStatus::Ok) return st;
  if (MapCrc(symbols, map) != crc) return MapStatus::BadCrc;
  for (std::size_t i = 0; i < map.size(); ++i) {
    const HunkEntry& e = map[i];
    if ((e.kind == HunkKind::Codec || e.kind == HunkKind::Uncompressed) &&
        (e.offset > file.Size() || e.length > file.Size() - e.offset))
      return MapStatus::OutsideFile;
  }
  return MapStatus::Ok;
}

const char* MapStatusText(MapStatus s) {
  switch (s) {
    case MapStatus::Ok: return "is whole";
    case MapStatus::Truncated: return "is cut short";
    case MapStatus::BadCodes: return "is not a valid code";
    case MapStatus::BadCrc: return "fails its CRC";
    case MapStatus::OutsideFile: return "points outside the file";
  }
  return "is damaged";
}

bool ReadMetadata(ImageFile& file, const Header& h, std::vector<MetadataEntry>& entries) {
  //  0 tag (4)   4 flags (1)   5 length (3)   8 next entry's offset (8, 0 at the end)   16 data
  std::uint64_t at = h.metaOffset;
  std::size_t total = 0;
  while (at != 0) {
    if (entries.size() >= kMaxMetadataEntries) return false;
    std::uint8_t eh[16];
    if (file.ReadAt(at, eh, sizeof eh) != sizeof eh) return false;
    MetadataEntry e;
    e.tag = GetBE32(eh);
    const std::uint32_t length = GetBE32(eh + 4) & 0xFFFFFF;
    total += length;
    if (total > kMaxMetadataBytes) return false;
    e.data.resize(length);
    if (file.ReadAt(at + 16, e.data.data(), length) != length) return false;
    entries.push_back(std::move(e));
    at = GetBE64(eh + 8);
  }
  return true;
}

}  // namespace orvane::chd
