#pragma once
// Decoders for the compressed streams some image formats hold: deflate (raw or
// with a zlib header), LZMA1 without a container, and FLAC frames without their
// stream header. Each decodes from memory into a buffer the caller owns and
// says how it ended; none allocates more than its library's own state.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace codec {

enum class Outcome {
  Complete,    // the stream ended where it should and filled what was asked
  OutputFull,  // the buffer filled before the stream said it ended
  Truncated,   // the input ran out before the stream ended
  Damaged,     // the stream is not valid for this codec
};

struct Decoded {
  Outcome outcome = Outcome::Damaged;
  std::size_t written = 0;   // bytes put into the output
  std::size_t consumed = 0;  // input bytes the stream used
};

enum class DeflateWrapper { Raw, Zlib };

// Inflates one deflate stream into out.
Decoded Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                DeflateWrapper wrapper = DeflateWrapper::Raw);

// Compresses in into one zlib stream (header and Adler-32 included), as
// zisofs stores each block; empty when zlib refuses.
std::vector<std::uint8_t> DeflateZlib(std::span<const std::uint8_t> in);

// The properties a headerless LZMA1 stream was made with.
struct LzmaProperties {
  unsigned literalContextBits = 3, literalPosBits = 0, posBits = 2;
  std::uint32_t dictionarySize = 1u << 20;
};

// Decodes a headerless LZMA1 stream of exactly out.size() bytes (an end marker
// is allowed but not needed).
Decoded DecodeLzma1(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const LzmaProperties& props);

// The stream information FLAC frames need when their header was left out.
struct FlacFormat {
  std::uint32_t sampleRate = 44100;
  unsigned channels = 2;
  unsigned blockSize = 2048;  // the encoder's block size (a hint; frames carry their own)
  bool bigEndianOutput = false;
};

// Decodes 16-bit FLAC frames (no "fLaC" header) until out holds out.size()
// bytes of interleaved samples; consumed tells where the FLAC data ended.
Decoded DecodeFlacFrames(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, const FlacFormat& format);

}  // namespace codec
