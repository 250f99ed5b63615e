#pragma once
// The bit reader and canonical Huffman decoder of CHD files: the v5 hunk map
// and the "huff" codec are coded with it. The code lengths come first in the
// stream, either run-length coded or themselves Huffman coded.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane::chd {

// Reads bits most significant first; reading past the end yields zeros and
// marks the reader overrun, so damaged input ends as a named failure.
class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> data) : m_data(data) {}
  std::uint32_t Peek(unsigned bits);
  void Skip(unsigned bits) { m_bitPos += bits; }
  std::uint32_t Read(unsigned bits) {
    std::uint32_t v = Peek(bits);
    Skip(bits);
    return v;
  }
  bool Overrun() const { return m_bitPos > m_data.size() * 8; }
  // Whole bytes consumed, counting a partly read byte.
  std::size_t BytesUsed() const { return (m_bitPos + 7) / 8; }

 private:
  std::span<const std::uint8_t> m_data;
  std::size_t m_bitPos = 0;
};

enum class HuffmanStatus { Ok, BadLengths, Overrun };

class HuffmanDecoder {
 public:
  // numCodes symbols, no code longer than maxBits (at most 16).
  HuffmanDecoder(unsigned numCodes, unsigned maxBits);
  // The code lengths as a run-length list (the map's form).
  HuffmanStatus ImportRle(BitReader& bits);
  // The code lengths coded by a small Huffman tree of their own (the "huff" codec's form).
  HuffmanStatus ImportHuffman(BitReader& bits);
  // Sets the lengths directly (what both imports end in).
  HuffmanStatus SetLengths(const std::vector<std::uint8_t>& lengths);
  unsigned Decode(BitReader& bits) const;

 private:
  unsigned m_numCodes, m_maxBits;
  std::vector<std::uint8_t> m_lengths;
  std::vector<std::uint32_t> m_lookup;  // symbol << 5 | length, indexed by the next maxBits bits
};

}  // namespace orvane::chd
