// FLAC frames through the system's libFLAC. Containers that keep only the
// frames (their header would repeat on every block) get a stream header made
// up here from what the container knows, fed to the decoder before the frames.
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/codec/Codec.h"

namespace codec {
namespace {

constexpr std::size_t kHeaderSize = 42;  // "fLaC" + block header + STREAMINFO
constexpr unsigned kSampleBits = 16;

// "fLaC", then the last metadata block: STREAMINFO, 34 bytes.
std::array<std::uint8_t, kHeaderSize> StreamHeader(const FlacFormat& f) {
  std::array<std::uint8_t, kHeaderSize> h{};
  std::memcpy(h.data(), "fLaC", 4);
  h[4] = 0x80;  // last block, type 0
  h[7] = 34;
  h[8] = h[10] = static_cast<std::uint8_t>(f.blockSize >> 8);  // minimum and maximum block size
  h[9] = h[11] = static_cast<std::uint8_t>(f.blockSize);
  // 18: sample rate (20 bits), channels - 1 (3), bits per sample - 1 (5), total samples (36: unknown)
  h[18] = static_cast<std::uint8_t>(f.sampleRate >> 12);
  h[19] = static_cast<std::uint8_t>(f.sampleRate >> 4);
  h[20] = static_cast<std::uint8_t>(((f.sampleRate & 0x0F) << 4) | (((f.channels - 1) & 7) << 1) | ((kSampleBits - 1) >> 4));
  h[21] = static_cast<std::uint8_t>(((kSampleBits - 1) & 0x0F) << 4);
  return h;
}

struct Session {
  std::array<std::uint8_t, kHeaderSize> header;
  std::span<const std::uint8_t> in;
  std::span<std::uint8_t> out;
  const FlacFormat* format = nullptr;
  std::size_t fed = 0;  // bytes handed to the decoder: header first, then in
  std::size_t written = 0;
  bool damaged = false;
};

FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* data) {
  auto& s = *static_cast<Session*>(data);
  const std::size_t total = kHeaderSize + s.in.size();
  if (s.fed >= total) {
    *bytes = 0;
    return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }
  std::size_t n = std::min(*bytes, total - s.fed);
  for (std::size_t i = 0; i < n; ++i, ++s.fed)
    buffer[i] = s.fed < kHeaderSize ? s.header[s.fed] : s.in[s.fed - kHeaderSize];
  *bytes = n;
  return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderTellStatus Tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data) {
  *offset = static_cast<const Session*>(data)->fed;
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                     const FLAC__int32* const buffer[], void* data) {
  auto& s = *static_cast<Session*>(data);
  if (frame->header.channels != s.format->channels || frame->header.bits_per_sample != kSampleBits) {
    s.damaged = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  const bool be = s.format->bigEndianOutput;
  for (unsigned i = 0; i < frame->header.blocksize; ++i) {
    for (unsigned c = 0; c < frame->header.channels; ++c) {
      if (s.written + 2 > s.out.size()) return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
      const auto v = static_cast<std::uint16_t>(buffer[c][i]);
      s.out[s.written++] = static_cast<std::uint8_t>(be ? v >> 8 : v);
      s.out[s.written++] = static_cast<std::uint8_t>(be ? v : v >> 8);
    }
  }
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
  static_cast<Session*>(data)->damaged = true;
}

}  // namespace

Decoded DecodeFlacFrames(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const FlacFormat& format) {
  Decoded d;
  if (format.channels < 1 || format.channels > 8 || format.blockSize < 16 || format.blockSize > 65535 ||
      format.sampleRate == 0 || format.sampleRate >= (1u << 20))
    return d;
  Session s{StreamHeader(format), in, out, &format};
  FLAC__StreamDecoder* dec = FLAC__stream_decoder_new();
  if (!dec) return d;
  if (FLAC__stream_decoder_init_stream(dec, Read, nullptr, Tell, nullptr, nullptr, Write, nullptr, Error, &s) !=
      FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    FLAC__stream_decoder_delete(dec);
    return d;
  }
  // Every step either decodes a frame or consumes input, so the input's size bounds the loop.
  for (std::size_t step = 0; step <= in.size() + 2 && s.written < out.size() && !s.damaged; ++step) {
    if (!FLAC__stream_decoder_process_single(dec)) break;
    const auto state = FLAC__stream_decoder_get_state(dec);
    if (state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED) break;
  }
  FLAC__uint64 position = 0;
  const bool known = FLAC__stream_decoder_get_decode_position(dec, &position);
  FLAC__stream_decoder_delete(dec);
  d.written = s.written;
  d.consumed = known && position >= kHeaderSize ? std::min<std::size_t>(position - kHeaderSize, in.size()) : in.size();
  if (s.damaged)
    d.outcome = Outcome::Damaged;
  else
    d.outcome = s.written == out.size() ? Outcome::Complete : Outcome::Truncated;
  return d;
}

}  // namespace codec
