// Headerless LZMA1 through the system's liblzma. The uncompressed size is
// known to the caller, so the decoder is told it and stops there, with or
// without an end marker.
#include <lzma.h>

#include "platform/codec/Codec.h"

namespace codec {

Decoded DecodeLzma1(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const LzmaProperties& props) {
  Decoded d;
  lzma_options_lzma opt{};
  opt.dict_size = props.dictionarySize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : props.dictionarySize;
  opt.lc = props.literalContextBits;
  opt.lp = props.literalPosBits;
  opt.pb = props.posBits;
  opt.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
  opt.ext_size_low = static_cast<std::uint32_t>(out.size());
  opt.ext_size_high = static_cast<std::uint32_t>(std::uint64_t(out.size()) >> 32);
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&s, filters) != LZMA_OK) return d;
  s.next_in = in.data();
  s.avail_in = in.size();
  s.next_out = out.data();
  s.avail_out = out.size();
  const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
  d.written = out.size() - s.avail_out;
  d.consumed = in.size() - s.avail_in;
  if (rc == LZMA_STREAM_END)
    d.outcome = Outcome::Complete;
  else if (rc == LZMA_OK || rc == LZMA_BUF_ERROR)
    d.outcome = s.avail_out == 0 ? Outcome::OutputFull : Outcome::Truncated;
  else
    d.outcome = Outcome::Damaged;
  lzma_end(&s);
  return d;
}

}  // namespace codec
