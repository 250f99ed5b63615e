// The CHD hunk decoders on arbitrary streams: the canonical Huffman decoder
// with both ways of importing its code lengths, and every codec (with the
// codec wrappers beneath) into a hunk of a size the input picks. A stream
// that is not valid must come back as a named failure, never a read outside
// the input or the hunk.
//
// Input: a 4-byte codec tag, a 2-byte hunk size in 2448-byte frames or
// 256-byte units (its top bit picks which), then the compressed stream.
#include <cstdint>
#include <vector>

#include "disc/ByteOrder.h"
#include "platform/orvane/ChdHuffman.h"
#include "platform/orvane/ChdHunks.h"

namespace {

constexpr std::size_t kMostHunkBytes = 64 * 2448;

void Huffman(std::span<const std::uint8_t> in) {
  orvane::chd::BitReader rle(in);
  orvane::chd::HuffmanDecoder map(16, 8);
  if (map.ImportRle(rle) == orvane::chd::HuffmanStatus::Ok)
    for (int i = 0; i < 512 && !rle.Overrun(); ++i) map.Decode(rle);
  orvane::chd::BitReader tree(in);
  orvane::chd::HuffmanDecoder bytes(256, 16);
  if (bytes.ImportHuffman(tree) == orvane::chd::HuffmanStatus::Ok)
    for (int i = 0; i < 4096 && !tree.Overrun(); ++i) bytes.Decode(tree);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint32_t tag = GetBE32(data);
  const std::uint16_t units = GetBE16(data + 4);
  const std::size_t hunk = units & 0x8000 ? std::size_t(units & 0x3F) * 2448 : std::size_t(units & 0x3FF) * 256;
  const std::span<const std::uint8_t> stream(data + 6, size - 6);
  Huffman(stream);
  if (hunk == 0 || hunk > kMostHunkBytes) return 0;
  std::vector<std::uint8_t> out(hunk);
  orvane::chd::DecodeHunk(tag, stream, out);
  return 0;
}
