// The checksums against the published test vectors, and split input giving
// the same digests as whole input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codec/Hash.h"

namespace {

TEST(Hash, KnownVectorsAndPiecewiseInput) {
  codec::Hasher h;
  const std::string abc = "abc";
  h.Update(abc.data(), abc.size());
  codec::Digests d = h.Finish();
  EXPECT_EQ(d.Crc32Hex(), "352441c2");
  EXPECT_EQ(d.Md5Hex(), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(d.Sha1Hex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // After Finish the hasher starts again: nothing given is the empty input.
  d = h.Finish();
  EXPECT_EQ(d.Crc32Hex(), "00000000");
  EXPECT_EQ(d.Md5Hex(), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(d.Sha1Hex(), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

  std::vector<unsigned char> data(100000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
  h.Update(data.data(), data.size());
  const codec::Digests whole = h.Finish();
  h.Update(data.data(), 3);
  h.Update(data.data() + 3, 65533);
  h.Update(data.data() + 65536, data.size() - 65536);
  const codec::Digests parts = h.Finish();
  EXPECT_EQ(parts.Crc32Hex(), whole.Crc32Hex());
  EXPECT_EQ(parts.Md5Hex(), whole.Md5Hex());
  EXPECT_EQ(parts.Sha1Hex(), whole.Sha1Hex());
}

}  // namespace
