// Decoding CHD hunks. The generic codecs hold a hunk as one stream; the CD
// codecs split it: each 2448-byte frame is 2352 sector bytes and 96
// sub-channel bytes, and all frames' sector bytes are compressed as one
// stream and their sub-channel bytes as another.
//
// cdzl and cdlz, before the streams:
//   a bit per frame (LSB first) set when the writer removed that sector's sync
//   and ECC because they were what the sector's header and data give;
//   then the sector stream's length, 2 bytes (3 when a hunk is 64 KiB or more).
// cdfl: FLAC frames of the sector bytes as big-endian samples, and the
// sub-channel stream where they end.
#include "platform/orvane/ChdHunks.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "platform/codec/Codec.h"
#include "platform/orvane/CdSector.h"
#include "platform/orvane/ChdHuffman.h"

namespace orvane::chd {
namespace {

constexpr std::size_t kFrameBytes = 2448, kSectorBytes = 2352, kSubBytes = 96;
constexpr std::size_t kCacheBytes = 2u << 20;    // the cache's budget
constexpr std::size_t kMostCachedHunks = 16;     // a READ of 256 CD sectors spans 32 default hunks; sequential reads need only the last
constexpr int kMostSelfSteps = 16;               // a hunk that repeats a hunk that repeats ...
constexpr std::size_t kMostPackedBytes = 4096;   // a compressed hunk is never much larger than the hunk
constexpr unsigned kHuffSymbols = 256, kHuffCodeBits = 16;

const std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};

bool Filled(const codec::Decoded& d, std::size_t want) {
  return (d.outcome == codec::Outcome::Complete || d.outcome == codec::Outcome::OutputFull) && d.written == want;
}

codec::LzmaProperties LzmaFor(std::size_t bytes) {
  codec::LzmaProperties p;  // the writer's settings: lc 3, lp 0, pb 2, a dictionary no larger than the hunk
  p.dictionarySize = static_cast<std::uint32_t>(std::max<std::size_t>(bytes, 4096));
  return p;
}

// FLAC block sizes the writer picks: a quarter of the bytes, halved down to the limit.
unsigned FlacBlock(std::size_t bytes, std::size_t limit) {
  std::size_t b = bytes / 4;
  while (b > limit) b /= 2;
  return static_cast<unsigned>(std::max<std::size_t>(b, 16));
}

HunkStatus DecodeHuffman(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  BitReader bits(in);
  HuffmanDecoder huff(kHuffSymbols, kHuffCodeBits);
  if (huff.ImportHuffman(bits) != HuffmanStatus::Ok) return HunkStatus::Damaged;
  for (std::uint8_t& b : out) b = static_cast<std::uint8_t>(huff.Decode(bits));
  return bits.Overrun() ? HunkStatus::Damaged : HunkStatus::Ok;
}

HunkStatus DecodeFlac(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  // The first byte says which byte order the samples are to be put back in.
  if (in.empty() || (in[0] != 'L' && in[0] != 'B') || out.size() % 4) return HunkStatus::Damaged;
  codec::FlacFormat f{44100, 2, FlacBlock(out.size(), 2048), in[0] == 'B'};
  return Filled(codec::DecodeFlacFrames(in.subspan(1), out, f), out.size()) ? HunkStatus::Ok : HunkStatus::Damaged;
}

// Puts sync and ECC back into the sectors the writer stripped them from
// (Mode 1, and Mode 2 Form 1, whose ECC counts the header as zeros).
void RestoreEcc(std::span<const std::uint8_t> flags, std::span<std::uint8_t> sectors, std::size_t frames) {
  for (std::size_t i = 0; i < frames; ++i) {
    if (!(flags[i / 8] & (1u << (i % 8)))) continue;
    std::uint8_t* s = &sectors[i * kSectorBytes];
    std::memcpy(s, kSync, sizeof kSync);
    ComputeEcc(s, s[15] == 2);
  }
}

HunkStatus DecodeCd(std::uint32_t codec, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (out.size() % kFrameBytes) return HunkStatus::Damaged;
  const std::size_t frames = out.size() / kFrameBytes;
  std::vector<std::uint8_t> sectors(frames * kSectorBytes), subs(frames * kSubBytes);
  std::span<const std::uint8_t> subStream;
  if (codec == Tag("cdfl")) {
    codec::FlacFormat f{44100, 2, FlacBlock(sectors.size(), kSectorBytes), true};
    const codec::Decoded d = codec::DecodeFlacFrames(in, sectors, f);
    if (!Filled(d, sectors.size())) return HunkStatus::Damaged;
    subStream = in.subspan(d.consumed);
  } else {
    const std::size_t flagBytes = (frames + 7) / 8, lengthBytes = out.size() < 65536 ? 2 : 3;
    if (in.size() < flagBytes + lengthBytes) return HunkStatus::Damaged;
    std::size_t baseLength = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i) baseLength = (baseLength << 8) | in[flagBytes + i];
    const std::size_t baseAt = flagBytes + lengthBytes;
    if (baseLength > in.size() - baseAt) return HunkStatus::Damaged;
    const auto base = in.subspan(baseAt, baseLength);
    const codec::Decoded d = codec == Tag("cdlz") ? codec::DecodeLzma1(base, sectors, LzmaFor(sectors.size()))
                                                  : codec::Inflate(base, sectors);
    if (!Filled(d, sectors.size())) return HunkStatus::Damaged;
    RestoreEcc(in.first(flagBytes), sectors, frames);
    subStream = in.subspan(baseAt + baseLength);
  }
  if (!Filled(codec::Inflate(subStream, subs), subs.size())) return HunkStatus::Damaged;
  for (std::size_t i = 0; i < frames; ++i) {
    std::memcpy(&out[i * kFrameBytes], &sectors[i * kSectorBytes], kSectorBytes);
    std::memcpy(&out[i * kFrameBytes + kSectorBytes], &subs[i * kSubBytes], kSubBytes);
  }
  return HunkStatus::Ok;
}

}  // namespace

const char* HunkStatusText(HunkStatus s) {
  switch (s) {
    case HunkStatus::Ok: return "read";
    case HunkStatus::Unreadable: return "cannot be read from the file";
    case HunkStatus::BadCodec: return "names a codec the file does not list";
    case HunkStatus::Damaged: return "does not decompress";
    case HunkStatus::BadCrc: return "fails its CRC";
    case HunkStatus::NeedsParent: return "is kept in a parent CHD";
    case HunkStatus::SelfLoop: return "repeats a hunk that does not come before it";
  }
  return "is damaged";
}

bool KnownCodec(std::uint32_t tag) {
  for (const char* t : {"zlib", "lzma", "huff", "flac", "cdzl", "cdlz", "cdfl"})
    if (tag == Tag(t)) return true;
  return false;
}

HunkStatus DecodeHunk(std::uint32_t codec, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (codec == Tag("zlib")) return Filled(codec::Inflate(in, out), out.size()) ? HunkStatus::Ok : HunkStatus::Damaged;
  if (codec == Tag("lzma"))
    return Filled(codec::DecodeLzma1(in, out, LzmaFor(out.size())), out.size()) ? HunkStatus::Ok : HunkStatus::Damaged;
  if (codec == Tag("huff")) return DecodeHuffman(in, out);
  if (codec == Tag("flac")) return DecodeFlac(in, out);
  if (codec == Tag("cdzl") || codec == Tag("cdlz") || codec == Tag("cdfl")) return DecodeCd(codec, in, out);
  return HunkStatus::BadCodec;
}

HunkFile::HunkFile(std::shared_ptr<ImageFile> chd, const Header& header, std::vector<HunkEntry> map)
    : m_chd(std::move(chd)), m_header(header), m_map(std::move(map)),
      m_cacheHunks(std::clamp<std::size_t>(kCacheBytes / header.hunkBytes, 2, kMostCachedHunks)),
      m_damaged(m_map.size(), false) {}

HunkStatus HunkFile::Load(std::uint64_t index, std::vector<std::uint8_t>& out) {
  out.assign(m_header.hunkBytes, 0);
  // The writer only ever points back to a hunk it stored, so each step goes
  // down; the bound keeps a crafted chain from costing more than a few reads.
  for (int step = 0; m_map[index].kind == HunkKind::Self; ++step) {
    const std::uint64_t target = m_map[index].offset;
    if (target >= index || step >= kMostSelfSteps) return HunkStatus::SelfLoop;
    index = target;
  }
  const HunkEntry& e = m_map[index];
  if (e.kind == HunkKind::Zero) return HunkStatus::Ok;
  if (e.kind == HunkKind::Parent) return HunkStatus::NeedsParent;
  if (e.length > kMostPackedBytes + 2 * std::size_t(m_header.hunkBytes)) return HunkStatus::Damaged;
  m_packed.resize(e.length);
  if (m_chd->ReadAt(e.offset, m_packed.data(), e.length) != e.length) return HunkStatus::Unreadable;
  HunkStatus st = HunkStatus::Ok;
  if (e.kind == HunkKind::Uncompressed) {
    if (e.length != out.size()) return HunkStatus::Damaged;
    std::memcpy(out.data(), m_packed.data(), out.size());
  } else {
    const std::uint32_t codec = m_header.compressors[e.codec];
    st = codec ? DecodeHunk(codec, m_packed, out) : HunkStatus::BadCodec;
  }
  if (st == HunkStatus::Ok && e.hasCrc && Crc16(out.data(), out.size()) != e.crc) st = HunkStatus::BadCrc;
  return st;
}

const std::vector<std::uint8_t>* HunkFile::Hunk(std::uint64_t index, HunkStatus& status) {
  for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
    if (it->index != index) continue;
    m_cache.splice(m_cache.begin(), m_cache, it);
    status = HunkStatus::Ok;
    return &m_cache.front().data;
  }
  if (index >= m_map.size() || m_damaged[index]) {
    status = HunkStatus::Unreadable;
    return nullptr;
  }
  std::vector<std::uint8_t> data;
  status = Load(index, data);
  if (status != HunkStatus::Ok) {
    m_damaged[index] = true;
    return nullptr;
  }
  if (m_cache.size() >= m_cacheHunks) m_cache.pop_back();
  m_cache.push_front({index, std::move(data)});
  return &m_cache.front().data;
}

std::size_t HunkFile::ReadAt(std::uint64_t offset, void* out, std::size_t length) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (offset >= Size()) return 0;
  length = static_cast<std::size_t>(std::min<std::uint64_t>(length, Size() - offset));
  auto* dst = static_cast<std::uint8_t*>(out);
  std::size_t done = 0;
  while (done < length) {
    const std::uint64_t at = offset + done;
    HunkStatus st;
    const std::vector<std::uint8_t>* h = Hunk(at / m_header.hunkBytes, st);
    if (!h) break;  // the caller sees a short read: the sectors from here are unreadable
    const std::size_t in = static_cast<std::size_t>(at % m_header.hunkBytes);
    const std::size_t n = std::min(length - done, h->size() - in);
    std::memcpy(dst + done, h->data() + in, n);
    done += n;
  }
  return done;
}

}  // namespace orvane::chd
