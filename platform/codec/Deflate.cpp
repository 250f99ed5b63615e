// Deflate compression through the system's zlib: what test fixtures and seed
// corpora need to make compressed files (zisofs blocks) the readers decode.
#include <zlib.h>

#include "platform/codec/Codec.h"

namespace codec {

std::vector<std::uint8_t> DeflateZlib(std::span<const std::uint8_t> in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), Z_BEST_COMPRESSION) != Z_OK) return {};
  out.resize(size);
  return out;
}

}  // namespace codec
