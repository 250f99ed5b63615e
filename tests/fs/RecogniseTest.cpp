// The recogniser read through the sector source alone: real ISO 9660 and
// UDF volume structures held in memory, a source that counts what it is
// asked for, and the damaged shapes an image can take.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "fs/Recognise.h"
#include "tests/support/CdImages.h"
#include "tests/support/UdfBuilder.h"

namespace {

using testsupport::Bytes;

// A volume of whole sectors; reads past its end fail. LastSector answers the
// last sector it holds unless told not to know it.
struct MemorySource : fs::SectorSource {
  Bytes bytes;
  bool knowsEnd = true;
  int reads = 0;
  explicit MemorySource(Bytes b) : bytes(std::move(b)) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    ++reads;
    const std::uint64_t end = (std::uint64_t(lba) + count) * fs::kSectorBytes;
    if (end > bytes.size()) return fs::SectorRead::Failed;
    std::memcpy(out, bytes.data() + std::size_t(lba) * fs::kSectorBytes, std::size_t(count) * fs::kSectorBytes);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    if (!knowsEnd || bytes.size() < fs::kSectorBytes) return std::nullopt;
    return static_cast<std::uint32_t>(bytes.size() / fs::kSectorBytes - 1);
  }
};

void PutDescriptor(Bytes& img, std::uint32_t sector, std::uint8_t type, const char* id) {
  std::uint8_t* s = img.data() + std::size_t(sector) * fs::kSectorBytes;
  std::memset(s, 0, fs::kSectorBytes);
  s[0] = type;
  std::memcpy(s + 1, id, 5);
  s[6] = 1;
}

void PutSector(Bytes& img, std::uint32_t sector, const Bytes& s) {
  std::copy(s.begin(), s.end(), img.begin() + std::ptrdiff_t(sector) * fs::kSectorBytes);
}

// An extended area naming UDF from sector start + 16, its anchor at start + anchorAt.
Bytes UdfOnly(std::uint32_t sectors, std::uint32_t anchorAt) {
  Bytes img(std::size_t(sectors) * fs::kSectorBytes, 0);
  PutDescriptor(img, 16, 0, "BEA01");
  PutDescriptor(img, 17, 0, "NSR03");
  PutDescriptor(img, 18, 0, "TEA01");
  PutSector(img, anchorAt, testsupport::UdfTagSector(fs::kTagAnchor, anchorAt));
  return img;
}

TEST(Recognise, IsoUdfBothAndNone) {
  MemorySource iso(testsupport::IsoVolume(300));
  EXPECT_EQ(fs::Recognise(iso, 0).Code(), 1);

  MemorySource udf(UdfOnly(300, 256));
  const fs::Recognition r = fs::Recognise(udf, 0);
  EXPECT_EQ(r.Code(), 2);
  EXPECT_EQ(r.anchor, 256u);

  // A whole volume from the UDF builder, starting past sector 0 as an
  // appended session's does: found from its own start only.
  testsupport::UdfBuildOptions o;
  o.volumeStart = 32;
  testsupport::UdfImage built = testsupport::BuildUdfImage(testsupport::UdfNode::Dir("", {}), o);
  MemorySource appended(built.bytes);
  EXPECT_EQ(fs::Recognise(appended, 32).anchor, 32u + 256);
  EXPECT_EQ(fs::Recognise(appended, 0).Code(), 0);

  Bytes both = testsupport::IsoVolume(300);
  PutDescriptor(both, 18, 0, "BEA01");
  PutDescriptor(both, 19, 0, "NSR02");
  PutDescriptor(both, 20, 0, "TEA01");
  PutSector(both, 256, testsupport::UdfTagSector(fs::kTagAnchor, 256));
  MemorySource bothSource(both);
  EXPECT_EQ(fs::Recognise(bothSource, 0).Code(), 3);

  MemorySource blank(Bytes(300 * fs::kSectorBytes, 0));
  EXPECT_EQ(fs::Recognise(blank, 0).Code(), 0);
  MemorySource tiny(Bytes(4 * fs::kSectorBytes, 0));  // too short to hold sector 16
  EXPECT_EQ(fs::Recognise(tiny, 0).Code(), 0);
}

TEST(Recognise, UnterminatedOrMisplacedSequences) {
  // ISO 9660 without its terminator is no volume.
  Bytes iso = testsupport::IsoVolume(300);
  std::fill(iso.begin() + 17 * 2048, iso.begin() + 18 * 2048, 0);
  MemorySource open(iso);
  EXPECT_FALSE(fs::ReadRecognitionSequence(open, 0).iso9660);

  // A sequence that never ends stops at the bound, not at the medium's end.
  Bytes endless(400 * fs::kSectorBytes, 0);
  for (std::uint32_t s = 16; s < 400; ++s) PutDescriptor(endless, s, 1, "CD001");
  MemorySource endlessSource(endless);
  EXPECT_FALSE(fs::ReadRecognitionSequence(endlessSource, 0).iso9660);
  EXPECT_EQ(endlessSource.reads, fs::kMostRecognitionDescriptors);

  // A volume found from the start sector given, not from the medium's.
  Bytes late(300 * fs::kSectorBytes, 0);
  std::copy(iso.begin() + 16 * 2048, iso.begin() + 17 * 2048, late.begin() + 20 * 2048);
  PutDescriptor(late, 21, 255, "CD001");
  MemorySource lateSource(late);
  EXPECT_EQ(fs::Recognise(lateSource, 0).Code(), 0);
  EXPECT_EQ(fs::Recognise(lateSource, 4).Code(), 1);

  // NSR outside an extended area names no UDF, whatever the anchor.
  Bytes stray = UdfOnly(300, 256);
  PutDescriptor(stray, 16, 0, "BOOT2");
  MemorySource straySource(stray);
  EXPECT_EQ(fs::Recognise(straySource, 0).Code(), 0);
}

TEST(Recognise, AnchorPlacesAndBrokenAnchors) {
  // Only 256 before the end, then only at the end.
  MemorySource before(UdfOnly(600, 599 - 256));
  EXPECT_EQ(fs::Recognise(before, 0).anchor, 599u - 256);
  MemorySource atEnd(UdfOnly(600, 599));
  EXPECT_EQ(fs::Recognise(atEnd, 0).anchor, 599u);
  // A source that cannot tell its end has only the first place.
  atEnd.knowsEnd = false;
  EXPECT_EQ(fs::Recognise(atEnd, 0).Code(), 0);

  Bytes broken = UdfOnly(300, 256);
  broken[256 * 2048 + 13] ^= 1;  // its location no longer matches the checksum
  MemorySource brokenSource(broken);
  EXPECT_EQ(fs::Recognise(brokenSource, 0).Code(), 0);
  Bytes notAnchor = UdfOnly(300, 256);
  PutSector(notAnchor, 256, testsupport::UdfTagSector(1, 256));  // a good tag of another descriptor
  MemorySource notAnchorSource(notAnchor);
  EXPECT_EQ(fs::Recognise(notAnchorSource, 0).Code(), 0);
}

TEST(Recognise, TrailingFileEntryOfAnOpenTrack) {
  Bytes img(60 * fs::kSectorBytes, 0x33);
  PutSector(img, 50, testsupport::UdfTagSector(fs::kTagFileEntry, 50));
  std::fill(img.begin() + 51 * 2048, img.end(), 0);  // nine blank sectors after it: too many
  MemorySource source(img);
  EXPECT_FALSE(fs::FindTrailingUdfFileEntry(source, 0, 59));
  EXPECT_EQ(fs::FindTrailingUdfFileEntry(source, 0, 57), 50u);  // seven: the run-out and link blocks
  EXPECT_FALSE(fs::FindTrailingUdfFileEntry(source, 51, 57));    // the entry lies before the track
  PutSector(img, 50, testsupport::UdfTagSector(fs::kTagExtendedFileEntry, 50));
  source.bytes = img;
  EXPECT_EQ(fs::FindTrailingUdfFileEntry(source, 0, 50), 50u);
  source.bytes[50 * 2048 + 4] ^= 1;
  EXPECT_FALSE(fs::FindTrailingUdfFileEntry(source, 0, 50));
  EXPECT_FALSE(fs::FindTrailingUdfFileEntry(source, 0, 49));  // the data before it is no entry
}

}  // namespace

namespace {

// An anchor of blockSize-byte blocks at absolute block `block`, recording `location`.
void PutAnchor(Bytes& img, std::uint64_t block, std::uint32_t blockSize, std::uint32_t location) {
  const Bytes tag = testsupport::UdfTagSector(fs::kTagAnchor, location);
  std::copy(tag.begin(), tag.begin() + 512, img.begin() + std::ptrdiff_t(block * blockSize));
}

}  // namespace

TEST(Recognise, BlockSizeIsWhereAnAnchorRecordsItsOwnBlock) {
  for (std::uint32_t size : {512u, 1024u, 4096u}) {
    Bytes img = UdfOnly(1200, 0);
    std::fill(img.begin(), img.begin() + 2048, 0);  // no anchor of 2048-byte blocks
    if (size == 4096) {
      // One descriptor a block: sectors 16, 18 and 20.
      for (std::uint32_t s : {16u, 17u, 18u}) std::fill_n(img.begin() + std::ptrdiff_t(s) * 2048, 2048, 0);
      PutDescriptor(img, 16, 0, "BEA01");
      PutDescriptor(img, 18, 0, "NSR03");
      PutDescriptor(img, 20, 0, "TEA01");
    }
    const std::uint64_t last = 1200ull * 2048 / size - 1;
    PutAnchor(img, 256, size, 256);
    PutAnchor(img, last, size, static_cast<std::uint32_t>(last));
    MemorySource source(img);
    const fs::Recognition r = fs::Recognise(source, 0);
    EXPECT_TRUE(r.udf) << size;
    EXPECT_EQ(r.blockSize, size);
    EXPECT_EQ(r.anchor, 256u) << size;
    const auto every = fs::FindUdfAnchors(source, 0, true, fs::ReadRecognitionSequence(source, 0).step);
    ASSERT_TRUE(every) << size;
    EXPECT_EQ(every->anchors, (std::vector<std::uint32_t>{256, static_cast<std::uint32_t>(last)})) << size;
  }
  // An anchor at sector 512 that records 256: of 4096-byte blocks when the
  // sequence steps 4096 bytes, else the late anchor of 2048-byte blocks.
  Bytes img = UdfOnly(600, 0);
  std::fill(img.begin(), img.begin() + 2048, 0);
  PutAnchor(img, 256, 4096, 256);
  MemorySource narrow(img);
  EXPECT_EQ(fs::Recognise(narrow, 0).blockSize, 2048u);
  EXPECT_EQ(fs::Recognise(narrow, 0).anchor, 512u);
  for (std::uint32_t s : {16u, 17u, 18u}) std::fill_n(img.begin() + std::ptrdiff_t(s) * 2048, 2048, 0);
  PutDescriptor(img, 16, 0, "BEA01");
  PutDescriptor(img, 18, 0, "NSR03");
  PutDescriptor(img, 20, 0, "TEA01");
  MemorySource wide(img);
  EXPECT_EQ(fs::Recognise(wide, 0).blockSize, 4096u);
  EXPECT_EQ(fs::Recognise(wide, 0).anchor, 256u);
  // An anchor that records another block is still taken at 2048 bytes, as before.
  Bytes lax = UdfOnly(600, 0);
  PutAnchor(lax, 256, 2048, 9);
  MemorySource laxSource(lax);
  const fs::Recognition r = fs::Recognise(laxSource, 0);
  EXPECT_EQ(r.blockSize, 2048u);
  EXPECT_EQ(r.anchor, 256u);
}

TEST(Recognise, TheLateAnchorAt512IsFoundLast) {
  Bytes img = UdfOnly(2000, 0);
  std::fill(img.begin(), img.begin() + 2048, 0);
  PutAnchor(img, 512, 2048, 512);
  MemorySource source(img);
  const fs::Recognition r = fs::Recognise(source, 0);
  EXPECT_EQ(r.anchor, 512u);
  EXPECT_EQ(r.anchors, std::vector<std::uint32_t>{512});
}
