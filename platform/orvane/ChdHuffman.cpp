// CHD's canonical Huffman codes. Codes are handed out from the longest length
// down: each length's first code is half the sum of the longer lengths' first
// code and count, which only a complete prefix code satisfies exactly.
#include "platform/orvane/ChdHuffman.h"

namespace orvane::chd {
namespace {

constexpr unsigned kLongestLength = 32;     // lengths a stream may name; longer than maxBits is refused
constexpr unsigned kSmallTreeCodes = 24;    // the tree that codes a "huff" tree's lengths
constexpr unsigned kSmallTreeBits = 6;

}  // namespace

std::uint32_t BitReader::Peek(unsigned bits) {
  if (bits == 0) return 0;
  std::uint32_t v = 0;
  for (unsigned i = 0; i < bits; ++i) {
    const std::size_t at = m_bitPos + i;
    const unsigned bit = at / 8 < m_data.size() ? (m_data[at / 8] >> (7 - at % 8)) & 1 : 0;
    v = (v << 1) | bit;
  }
  return v;
}

HuffmanDecoder::HuffmanDecoder(unsigned numCodes, unsigned maxBits)
    : m_numCodes(numCodes), m_maxBits(maxBits), m_lengths(numCodes, 0), m_lookup(std::size_t(1) << maxBits, 0) {}

HuffmanStatus HuffmanDecoder::SetLengths(const std::vector<std::uint8_t>& lengths) {
  if (lengths.size() != m_numCodes) return HuffmanStatus::BadLengths;
  std::uint32_t count[kLongestLength + 1] = {};
  for (std::uint8_t l : lengths) {
    if (l > m_maxBits) return HuffmanStatus::BadLengths;
    ++count[l];
  }
  std::uint32_t first[kLongestLength + 1] = {};
  std::uint32_t start = 0;
  for (unsigned len = kLongestLength; len > 0; --len) {
    const std::uint32_t next = (start + count[len]) >> 1;
    if (len != 1 && next * 2 != start + count[len]) return HuffmanStatus::BadLengths;
    first[len] = start;
    start = next;
  }
  m_lengths = lengths;
  std::fill(m_lookup.begin(), m_lookup.end(), 0);
  for (unsigned sym = 0; sym < m_numCodes; ++sym) {
    const unsigned len = m_lengths[sym];
    if (len == 0) continue;
    const std::uint32_t code = first[len]++;
    if (code >= (1u << len)) return HuffmanStatus::BadLengths;
    const unsigned shift = m_maxBits - len;
    const std::uint32_t entry = (sym << 5) | len;
    for (std::uint32_t i = 0; i < (1u << shift); ++i) m_lookup[(std::size_t(code) << shift) | i] = entry;
  }
  return HuffmanStatus::Ok;
}

unsigned HuffmanDecoder::Decode(BitReader& bits) const {
  const std::uint32_t entry = m_lookup[bits.Peek(m_maxBits)];
  // A hole in an incomplete table (one symbol, length 1) still consumes a bit.
  bits.Skip(entry & 0x1F ? entry & 0x1F : 1);
  return entry >> 5;
}

HuffmanStatus HuffmanDecoder::ImportRle(BitReader& bits) {
  const unsigned fieldBits = m_maxBits >= 16 ? 5 : m_maxBits >= 8 ? 4 : 3;
  std::vector<std::uint8_t> lengths;
  lengths.reserve(m_numCodes);
  while (lengths.size() < m_numCodes) {
    unsigned len = bits.Read(fieldBits);
    if (len != 1) {
      lengths.push_back(static_cast<std::uint8_t>(len));
      continue;
    }
    // 1 escapes: 1 again means a length of 1, anything else repeats that length.
    len = bits.Read(fieldBits);
    if (len == 1) {
      lengths.push_back(1);
      continue;
    }
    const unsigned repeat = bits.Read(fieldBits) + 3;
    if (lengths.size() + repeat > m_numCodes) return HuffmanStatus::BadLengths;
    lengths.insert(lengths.end(), repeat, static_cast<std::uint8_t>(len));
    if (bits.Overrun()) return HuffmanStatus::Overrun;
  }
  if (bits.Overrun()) return HuffmanStatus::Overrun;
  return SetLengths(lengths);
}

HuffmanStatus HuffmanDecoder::ImportHuffman(BitReader& bits) {
  // The small tree's lengths: 3 bits each from a start index, 7 ending the list.
  std::vector<std::uint8_t> smallLengths(kSmallTreeCodes, 0);
  smallLengths[0] = static_cast<std::uint8_t>(bits.Read(3));
  const unsigned start = bits.Read(3) + 1;
  unsigned last = 0;
  for (unsigned i = 1; i < kSmallTreeCodes; ++i) {
    if (i < start || last == 7) continue;
    last = bits.Read(3);
    smallLengths[i] = static_cast<std::uint8_t>(last == 7 ? 0 : last);
  }
  HuffmanDecoder small(kSmallTreeCodes, kSmallTreeBits);
  if (small.SetLengths(smallLengths) != HuffmanStatus::Ok) return HuffmanStatus::BadLengths;
  unsigned runBits = 0;  // bits of a long run's extra count
  for (unsigned t = m_numCodes - 9; t != 0; t >>= 1) ++runBits;
  std::vector<std::uint8_t> lengths;
  lengths.reserve(m_numCodes);
  std::uint8_t previous = 0;
  while (lengths.size() < m_numCodes) {
    const unsigned v = small.Decode(bits);
    if (bits.Overrun()) return HuffmanStatus::Overrun;
    if (v != 0) {
      lengths.push_back(previous = static_cast<std::uint8_t>(v - 1));
      continue;
    }
    unsigned repeat = bits.Read(3) + 2;
    if (repeat == 9) repeat += bits.Read(runBits);
    while (repeat-- && lengths.size() < m_numCodes) lengths.push_back(previous);
  }
  if (bits.Overrun()) return HuffmanStatus::Overrun;
  return SetLengths(lengths);
}

}  // namespace orvane::chd
