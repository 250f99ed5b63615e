// The codec wrappers tell a stream that ended from one that was cut, one that
// did not fit and one that is not a stream of that kind at all: the image
// readers serve a hunk only when it came out whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codec/Codec.h"

namespace {

using codec::Outcome;
using Bytes = std::vector<std::uint8_t>;

const std::string kText = [] {
  std::string s;
  for (int i = 0; i < 20; ++i) s += "Tessal reads what the disc holds. ";
  return s;
}();

// kText deflated (zlib's level 9), with its two-byte zlib header and four-byte checksum around it.
const Bytes kZlib = {0x78, 0xda, 0x0b, 0x49, 0x2d, 0x2e, 0x4e, 0xcc, 0x51, 0x28, 0x4a, 0x4d, 0x4c, 0x29, 0x56, 0x28, 0xcf,
                     0x48, 0x2c, 0x51, 0x28, 0xc9, 0x48, 0x55, 0x48, 0xc9, 0x2c, 0x4e, 0x56, 0xc8, 0xc8, 0xcf, 0x49, 0x29,
                     0xd6, 0x53, 0x08, 0x19, 0x55, 0x31, 0xaa, 0x62, 0xc0, 0x55, 0x00, 0x00, 0xa6, 0x3e, 0xf2, 0x1d};
// kText as headerless LZMA1 (lc 3, lp 0, pb 2) ending in an end marker.
const Bytes kLzma = {0x00, 0x2a, 0x19, 0x4a, 0x78, 0x61, 0x36, 0xed, 0x05, 0x52, 0x2f, 0x95, 0x4c, 0x6c, 0xf1, 0xcf, 0xa2,
                     0x30, 0xa6, 0x86, 0xa1, 0xcb, 0xa2, 0xf2, 0xfc, 0x1f, 0x87, 0x0b, 0xf9, 0x20, 0x9b, 0x50, 0x99, 0xfd,
                     0xf9, 0x99, 0xb2, 0x63, 0xb0, 0x67, 0xb1, 0xe8, 0xce, 0xb1, 0x4b, 0xff, 0xff, 0x99, 0x04, 0x00, 0x00};

Bytes Raw() { return Bytes(kZlib.begin() + 2, kZlib.end() - 4); }

TEST(Codec, InflateTellsCompleteFromFullCutAndDamaged) {
  Bytes out(kText.size());
  // The raw stream and the same with its zlib wrapper: whole, every input byte used.
  codec::Decoded d = codec::Inflate(Raw(), out);
  EXPECT_EQ(d.outcome, Outcome::Complete);
  EXPECT_EQ(d.written, kText.size());
  EXPECT_EQ(d.consumed, Raw().size());
  EXPECT_EQ(std::string(out.begin(), out.end()), kText);
  std::fill(out.begin(), out.end(), 0);
  d = codec::Inflate(kZlib, out, codec::DeflateWrapper::Zlib);
  EXPECT_EQ(d.outcome, Outcome::Complete);
  EXPECT_EQ(std::string(out.begin(), out.end()), kText);
  // A raw stream is not a zlib stream.
  EXPECT_EQ(codec::Inflate(Raw(), out, codec::DeflateWrapper::Zlib).outcome, Outcome::Damaged);
  // A buffer too small fills and says so; a cut stream says it ran out.
  Bytes small(100);
  d = codec::Inflate(Raw(), small);
  EXPECT_EQ(d.outcome, Outcome::OutputFull);
  EXPECT_EQ(d.written, small.size());
  const Bytes cut(kZlib.begin() + 2, kZlib.begin() + 20);
  EXPECT_EQ(codec::Inflate(cut, out).outcome, Outcome::Truncated);
  const Bytes garbage(40, 0xFF);
  EXPECT_EQ(codec::Inflate(garbage, out).outcome, Outcome::Damaged);
}

TEST(Codec, Lzma1StopsAtTheSizeAskedWithOrWithoutEndMarker) {
  Bytes out(kText.size());
  codec::Decoded d = codec::DecodeLzma1(kLzma, out, {});
  EXPECT_EQ(d.outcome, Outcome::Complete);
  EXPECT_EQ(std::string(out.begin(), out.end()), kText);
  // Asking for fewer bytes stops there (the end marker is never reached).
  Bytes fewer(300);
  d = codec::DecodeLzma1(kLzma, fewer, {});
  EXPECT_EQ(d.written, fewer.size());
  EXPECT_EQ(std::string(fewer.begin(), fewer.end()), kText.substr(0, 300));
  // Cut input, or more asked than the stream holds, is no complete hunk.
  const Bytes cut(kLzma.begin(), kLzma.begin() + 20);
  EXPECT_NE(codec::DecodeLzma1(cut, out, {}).outcome, Outcome::Complete);
  Bytes more(kText.size() + 10);
  EXPECT_NE(codec::DecodeLzma1(kLzma, more, {}).outcome, Outcome::Complete);
}

TEST(Codec, FlacRefusesWhatIsNotFlacFrames) {
  Bytes out(4 * 588);
  const Bytes garbage(200, 0x5A);
  const codec::Decoded d = codec::DecodeFlacFrames(garbage, out, {});
  EXPECT_NE(d.outcome, Outcome::Complete);
  EXPECT_LE(d.written, out.size());
  // A format the header cannot carry is refused before decoding.
  codec::FlacFormat bad;
  bad.blockSize = 8;
  EXPECT_EQ(codec::DecodeFlacFrames(garbage, out, bad).outcome, Outcome::Damaged);
}

}  // namespace
