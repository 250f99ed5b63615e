// Deflate through the system's zlib.
#include <zlib.h>

#include <climits>

#include "platform/codec/Codec.h"

namespace codec {

Decoded Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DeflateWrapper wrapper) {
  Decoded d;
  if (in.size() > UINT_MAX || out.size() > UINT_MAX) return d;
  z_stream z{};
  if (inflateInit2(&z, wrapper == DeflateWrapper::Raw ? -MAX_WBITS : MAX_WBITS) != Z_OK) return d;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  d.written = out.size() - z.avail_out;
  d.consumed = in.size() - z.avail_in;
  if (rc == Z_STREAM_END)
    d.outcome = Outcome::Complete;
  else if (rc == Z_BUF_ERROR || rc == Z_OK)
    d.outcome = z.avail_out == 0 ? Outcome::OutputFull : Outcome::Truncated;
  else
    d.outcome = Outcome::Damaged;  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR
  inflateEnd(&z);
  return d;
}

}  // namespace codec
