// zisofs files as xorriso compresses them, at each block size, read back by
// range and compared with what went in; then the same stored bytes bent:
// absurd sizes, pointers past the file or backwards, damaged streams and
// unreadable sectors, each served as zeros and listed, never a short file.
#include <gtest/gtest.h>

#include <random>

#include "fs/iso9660/RockRidge.h"
#include "fs/iso9660/Zisofs.h"
#include "tests/fs/IsoProbe.h"

namespace {

using fs::iso9660::ZisofsBlockFault;
using fs::iso9660::ZisofsFile;
using fs::iso9660::ZisofsOpen;
using isoprobe::Bytes;
using isoprobe::MemorySource;
using isoprobe::Q;

// Text-like runs, a stretch of zeros (stored as empty blocks) and noise.
Bytes Content() {
  std::mt19937 rng(7);
  Bytes b;
  while (b.size() < 700000) b.insert(b.end(), 1 + rng() % 60, std::uint8_t('A' + rng() % 4));
  b.resize(b.size() + 300000, 0);
  for (int i = 0; i < 90000; ++i) b.push_back(std::uint8_t(rng()));
  return b;
}

fs::iso9660::StoredBytesReader StoredReader(MemorySource& src, std::uint32_t extent) {
  return [&src, extent](std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t at = std::uint64_t(extent) * 2048 + offset;
    if (at + out.size() > src.bytes.size()) return false;
    for (std::uint64_t s = at / 2048; s <= (at + out.size() - 1) / 2048 && !out.empty(); ++s)
      if (src.unreadable.count(static_cast<std::uint32_t>(s))) return false;
    std::copy_n(src.bytes.begin() + static_cast<std::ptrdiff_t>(at), out.size(), out.begin());
    return true;
  };
}

// Reads the whole file in odd-sized steps, so ranges straddle blocks.
Bytes ReadAll(ZisofsFile& z, std::size_t step = 10007) {
  Bytes out(z.Size());
  for (std::size_t at = 0; at < out.size(); at += step)
    EXPECT_EQ(z.Read(at, std::span(out).subspan(at, std::min(step, out.size() - at))), std::min(step, out.size() - at));
  return out;
}

struct Compressed {
  MemorySource img{Bytes{}};
  isoprobe::Record rec;
  fs::iso9660::RockRidgeInfo rr;
  fs::NodeInfo node;
};

// An image holding the content as "big", zisofs-compressed with xorriso.
bool Make(const testsupport::ScratchDir& dir, const std::string& zisofsOptions, Compressed& c) {
  dir.Write("src/big", Content());
  const std::string iso = dir.File("z.iso");
  if (isoprobe::Run("rm -f " + Q(iso) + " && xorriso -outdev " + Q(iso) + " -zisofs " + zisofsOptions + " -map " +
                        Q(dir.File("src")) + " / -set_filter_r --zisofs / -- >/dev/null 2>&1",
                    dir) != 0)
    return false;
  c.img = MemorySource(isoprobe::ReadFile(iso));
  for (const auto& r : isoprobe::Records(c.img, isoprobe::Root(c.img))) {
    if (r.isoName.rfind("BIG", 0) != 0) continue;
    c.rec = r;
    c.node.size = r.size;
    fs::iso9660::ReadRockRidge(fs::iso9660::SystemUseOf(r.Span()), 0, &c.img, c.node, c.rr);
    return true;
  }
  return false;
}

TEST(ZisofsImage, EachBlockSizeReadsBackWhatWentIn) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  const Bytes want = Content();
  for (const auto& [option, log2] : {std::pair{"block_size=32k", 15}, {"block_size=64k", 16}, {"block_size=128k", 17}}) {
    testsupport::ScratchDir dir;
    Compressed c;
    ASSERT_TRUE(Make(dir, option, c)) << option;
    ASSERT_TRUE(c.rr.zisofs) << option;
    EXPECT_EQ(c.rr.zisofs->blockSizeLog2, log2);
    EXPECT_EQ(c.node.size, want.size());  // the uncompressed size, from ZF
    EXPECT_LT(c.rec.size, want.size() / 2);
    ZisofsFile z(StoredReader(c.img, c.rec.extent), c.rec.size);
    ASSERT_EQ(z.Open(c.rr.zisofs), ZisofsOpen::Ok);
    EXPECT_FALSE(z.SizeDisagrees());
    EXPECT_EQ(z.BlockSize(), 1u << log2);
    EXPECT_EQ(ReadAll(z), want) << option;
    EXPECT_TRUE(z.BadRanges().empty());
    // Backwards and past-the-end ranges.
    Bytes tail(5000, 0xEE);
    EXPECT_EQ(z.Read(want.size() - 100, tail), 100u);
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 100, want.end() - 100));
    EXPECT_EQ(tail[100], 0xEE);
    EXPECT_EQ(z.Read(want.size(), tail), 0u);
  }
}

TEST(ZisofsImage, Zisofs2IsRecognisedAndNotRead) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  for (const char* option : {"version_2=on:susp_z2=off", "version_2=on:susp_z2=on"}) {
    testsupport::ScratchDir dir;
    Compressed c;
    ASSERT_TRUE(Make(dir, option, c)) << option;
    EXPECT_TRUE(c.rr.zisofsUnread) << option;
    EXPECT_EQ(c.node.size, c.rec.size);  // never the size of data not read
    ZisofsFile z(StoredReader(c.img, c.rec.extent), c.rec.size);
    EXPECT_EQ(z.Open(), ZisofsOpen::NotZisofs);
  }
}

TEST(ZisofsHostile, BentHeadersPointersAndStreams) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  testsupport::ScratchDir dir;
  Compressed c;
  ASSERT_TRUE(Make(dir, "block_size=32k", c));
  const Bytes want = Content();
  const Bytes pristine = c.img.bytes;
  std::uint8_t* stored = c.img.Sector(c.rec.extent);
  auto open = [&] {
    auto z = std::make_unique<ZisofsFile>(StoredReader(c.img, c.rec.extent), c.rec.size);
    return std::pair{z->Open(), std::move(z)};
  };
  // Header fields: an uncompressed size whose table cannot fit, block sizes outside 15..17, header sizes.
  PutLE32(stored + 8, 0xFFFFFFFF);
  EXPECT_EQ(open().first, ZisofsOpen::TableExceedsFile);
  c.img.bytes = pristine;
  for (std::uint8_t log2 : {0, 14, 18, 255}) {
    stored[13] = log2;
    EXPECT_EQ(open().first, ZisofsOpen::BadBlockSize);
  }
  c.img.bytes = pristine;
  for (std::uint8_t h : {0, 3}) {
    stored[12] = h;
    EXPECT_EQ(open().first, ZisofsOpen::BadHeaderSize) << int(h);
  }
  c.img.bytes = pristine;
  c.img.unreadable.insert(c.rec.extent);
  EXPECT_EQ(open().first, ZisofsOpen::Unreadable);
  c.img.unreadable.clear();

  // Block 1's end pointer past the file, block 3's running backwards, block 5's stream damaged.
  const std::uint32_t table = 16;
  PutLE32(stored + table + 2 * 4, 0x7FFFFFF0);
  PutLE32(stored + table + 4 * 4, GetLE32(stored + table + 3 * 4) - 10);
  const std::uint32_t block5 = GetLE32(stored + table + 5 * 4);
  stored[block5 + 10] ^= 0xFF;
  stored[block5 + 11] ^= 0xFF;
  auto [status, z] = open();
  ASSERT_EQ(status, ZisofsOpen::Ok);
  const Bytes got = ReadAll(*z, 65536 + 3);
  ASSERT_EQ(got.size(), want.size());  // never short
  std::vector<std::pair<std::uint64_t, ZisofsBlockFault>> bad;
  for (const auto& r : z->BadRanges()) {
    EXPECT_EQ(r.length, 32768u);
    EXPECT_TRUE(std::all_of(got.begin() + r.offset, got.begin() + r.offset + r.length, [](auto b) { return b == 0; }));
    bad.push_back({r.offset / 32768, r.fault});
  }
  const std::vector<std::pair<std::uint64_t, ZisofsBlockFault>> expected = {
      {1, ZisofsBlockFault::PointersPastFile}, {2, ZisofsBlockFault::PointersBackwards},
      {3, ZisofsBlockFault::PointersBackwards}, {4, ZisofsBlockFault::InflateFailed},
      {5, ZisofsBlockFault::InflateFailed}};
  EXPECT_EQ(std::vector(bad.begin(), bad.begin() + std::min<std::size_t>(bad.size(), 5)), expected);
  // Blocks nobody bent read as they were.
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 32768, want.begin()));
  EXPECT_TRUE(std::equal(got.begin() + 6 * 32768, got.end(), want.begin() + 6 * 32768));
  // A block listed once however often it is read.
  Bytes again(100);
  z->Read(32768, again);
  EXPECT_EQ(z->BadRanges().size(), bad.size());
}

}  // namespace
