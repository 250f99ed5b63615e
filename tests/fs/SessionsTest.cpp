// The session search on volumes built in memory, laid one after another as
// recorders append them: found at every place a recorder puts a session and
// nowhere else; a volume stored as a file's data is never taken for one.
#include <gtest/gtest.h>

#include <cstring>

#include "disc/ByteOrder.h"
#include "fs/Sessions.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/UdfBuilder.h"

namespace {

using testsupport::Bytes;
constexpr std::uint32_t kS = fs::kSectorBytes;

struct FlatImage : fs::SectorSource {
  Bytes bytes;
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    if ((std::uint64_t(lba) + count) * kS > bytes.size()) return fs::SectorRead::Failed;
    std::memcpy(out, bytes.data() + std::size_t(lba) * kS, std::size_t(count) * kS);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override { return Sectors() - 1; }
  std::uint32_t Sectors() const { return static_cast<std::uint32_t>(bytes.size() / kS); }
  // Writes sectors at lba, growing the image with zeros as needed.
  void Put(std::uint32_t lba, const Bytes& sectors) {
    if (bytes.size() < std::size_t(lba) * kS + sectors.size()) bytes.resize(std::size_t(lba) * kS + sectors.size());
    std::copy(sectors.begin(), sectors.end(), bytes.begin() + std::ptrdiff_t(lba) * kS);
  }
  std::vector<fs::VolumeSession> Sessions() { return fs::FindAppendedSessions(*this, Sectors()); }
};

// An ISO 9660 session for sector first holding one file; its descriptor
// counts its sectors from sector 0, as the builder writes it.
Bytes IsoSession(std::uint32_t first, const std::string& file, std::size_t bytes = 5000) {
  testsupport::IsoBuilder b;
  b.firstLba = first;
  b.File(b.Root(), file, Bytes(bytes, static_cast<std::uint8_t>(first)));
  return b.Build();
}

std::uint32_t RoundUp(std::uint32_t v, std::uint32_t to) { return (v + to - 1) / to * to; }

std::vector<std::uint32_t> Starts(const std::vector<fs::VolumeSession>& s) {
  std::vector<std::uint32_t> out;
  for (const auto& x : s) out.push_back(x.start);
  return out;
}

TEST(Sessions, FoundRightAfterRoundedAndBehindEitherGap) {
  FlatImage img;
  img.Put(0, IsoSession(0, "ONE.TXT"));
  const std::uint32_t end1 = img.Sectors();
  // Rounded to 32 and past a first session's gap, as -msinfo says.
  const std::uint32_t s2 = RoundUp(end1, 32) + fs::kFirstSessionGap;
  img.Put(s2, IsoSession(s2, "TWO.TXT"));
  const std::uint32_t end2 = img.Sectors();
  const std::uint32_t s3 = end2 + fs::kLaterSessionGap;
  img.Put(s3, IsoSession(s3, "THREE.TXT"));
  const std::uint32_t s4 = RoundUp(img.Sectors(), 16);
  img.Put(s4, IsoSession(s4, "FOUR.TXT"));
  img.bytes.resize(img.bytes.size() + 40 * kS);  // a tail past the last volume

  const auto sessions = img.Sessions();
  EXPECT_EQ(Starts(sessions), (std::vector<std::uint32_t>{0, s2, s3, s4}));
  ASSERT_EQ(sessions.size(), 4u);
  EXPECT_EQ(sessions[0].end, end1);
  EXPECT_EQ(sessions[1].end, end2);
  EXPECT_EQ(sessions[3].end, img.Sectors() - 40);
  for (const auto& s : sessions) EXPECT_EQ(s.volume, fs::SessionVolume::Iso9660);
}

TEST(Sessions, SessionSizeCountedFromItsOwnStart) {
  // genisoimage writes a later session's own size: the next one follows at
  // its start plus that size.
  FlatImage img;
  img.Put(0, IsoSession(0, "ONE.TXT"));
  const std::uint32_t s2 = img.Sectors();
  Bytes second = IsoSession(s2, "TWO.TXT", 300 * kS);
  const std::uint32_t own = static_cast<std::uint32_t>(second.size() / kS);
  PutLE32(second.data() + 16 * kS + 80, own);
  img.Put(s2, second);
  const std::uint32_t s3 = RoundUp(img.Sectors(), 16) + fs::kLaterSessionGap;
  img.Put(s3, IsoSession(s3, "THREE.TXT"));
  const auto sessions = img.Sessions();
  EXPECT_EQ(Starts(sessions), (std::vector<std::uint32_t>{0, s2, s3}));
  ASSERT_EQ(sessions.size(), 3u);
  EXPECT_EQ(sessions[1].end, s2 + own);
}

TEST(Sessions, NothingBetweenCandidatesAndNoStoredVolumeIsTaken) {
  FlatImage img;
  img.Put(0, IsoSession(0, "ONE.TXT"));
  const std::uint32_t end1 = img.Sectors();
  // A volume made for sector 0 stored right where a session could start: its
  // root lies before that place, so it is a file's data, not a session.
  img.Put(end1, IsoSession(0, "STORED.TXT"));
  EXPECT_EQ(Starts(img.Sessions()), (std::vector<std::uint32_t>{0}));
  // The same volume made for its place is one.
  img.Put(end1, IsoSession(end1, "STORED.TXT"));
  EXPECT_EQ(Starts(img.Sessions()), (std::vector<std::uint32_t>{0, end1}));

  // A complete set made for its place but written where no recorder starts a
  // session (5 sectors past the end) is not looked at.
  FlatImage odd;
  odd.Put(0, IsoSession(0, "ONE.TXT"));
  odd.Put(end1 + 5, IsoSession(end1 + 5, "ODD.TXT"));
  EXPECT_EQ(Starts(odd.Sessions()), (std::vector<std::uint32_t>{0}));
}

TEST(Sessions, FakeDescriptorSetsInsideAFileAreNotSessions) {
  // A file of the second session full of descriptor pairs (a primary
  // descriptor and its terminator, over and over): every candidate inside it
  // sees a complete set, whose root points back to sector 20.
  Bytes pair(2 * kS, 0);
  pair[0] = 1;
  std::memcpy(&pair[1], "CD001", 5);
  PutLE32(&pair[80], 16);
  PutLE32(&pair[158], 20);
  pair[kS] = 255;
  std::memcpy(&pair[kS + 1], "CD001", 5);
  Bytes fakes;
  for (int i = 0; i < 3000; ++i) fakes.insert(fakes.end(), pair.begin(), pair.end());

  FlatImage img;
  img.Put(0, IsoSession(0, "ONE.TXT"));
  const std::uint32_t s2 = img.Sectors();
  testsupport::IsoBuilder b;
  b.firstLba = s2;
  b.File(b.Root(), "FAKES.BIN", fakes);
  Bytes second = b.Build();
  // Its size counted from its own start is smaller than where it starts, and
  // counted from 0 it lies inside the fakes.
  const std::uint32_t own = static_cast<std::uint32_t>(second.size() / kS);
  PutLE32(second.data() + 16 * kS + 80, own);
  img.Put(s2, second);
  ASSERT_GT(own, s2 + 16);  // so "from sector 0" lands inside FAKES.BIN
  EXPECT_EQ(Starts(img.Sessions()), (std::vector<std::uint32_t>{0, s2}));

  // Nor when the fakes' roots point past the medium.
  for (std::size_t at = 0; at < fakes.size(); at += 2 * kS) PutLE32(&fakes[at + 158], 0x7FFFFFF0);
  ASSERT_NE(b.Find("/FAKES.BIN"), nullptr);
  img.Put(b.Find("/FAKES.BIN")->extent, fakes);
  EXPECT_EQ(Starts(img.Sessions()), (std::vector<std::uint32_t>{0, s2}));
}

TEST(Sessions, OneVolumeCoveringTheMediumIsOneSession) {
  // xorriso's emulation of overwritable media: the newest session's
  // descriptors copied to sector 16, counting every sector of the file, while
  // the older sessions' descriptors still lie further on.
  FlatImage img;
  img.Put(0, IsoSession(0, "OLD.TXT"));
  const std::uint32_t s2 = RoundUp(img.Sectors(), 32);
  img.Put(s2, IsoSession(s2, "NEW.TXT"));
  Bytes head(img.bytes.begin() + (s2 + 16) * kS, img.bytes.begin() + (s2 + 18) * kS);
  PutLE32(head.data() + 80, img.Sectors());
  img.Put(16, head);
  EXPECT_EQ(Starts(img.Sessions()), (std::vector<std::uint32_t>{0}));
  // No volume at the start: no sessions at all.
  FlatImage none;
  none.Put(0, Bytes(100 * kS, 0));
  EXPECT_TRUE(none.Sessions().empty());
}

TEST(Sessions, UdfSessionsEndAtPartitionOrAllocationTable) {
  using testsupport::UdfNode;
  // A plain partition: the next session follows the partition's end.
  testsupport::UdfBuildOptions o;
  testsupport::UdfImage one = testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::File("a", "first")}), o);
  FlatImage img;
  img.Put(0, one.bytes);
  const std::uint32_t end1 = std::max(one.partitionStart + one.partitionLength, img.Sectors());
  o.volumeStart = RoundUp(end1, 32);
  testsupport::UdfImage two = testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::File("b", "second")}), o);
  img.Put(o.volumeStart, Bytes(two.bytes.begin() + std::ptrdiff_t(o.volumeStart) * kS, two.bytes.end()));
  auto sessions = img.Sessions();
  EXPECT_EQ(Starts(sessions), (std::vector<std::uint32_t>{0, o.volumeStart}));
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions[1].volume, fs::SessionVolume::Udf);

  // Write-once media: each session ends after its allocation table, in
  // UDF 1.50 (a file of unknown type named by its tail) and 2.01 (type 248).
  for (std::uint32_t gap : {0u, fs::kFirstSessionGap})
  for (std::uint16_t revision : {0x0150, 0x0201}) {
    SCOPED_TRACE(std::to_string(revision) + " gap " + std::to_string(gap));
    testsupport::UdfBuildOptions v;
    v.partition = testsupport::UdfPartitionKind::Virtual;
    v.revision = revision;
    testsupport::UdfImage w1 = testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::File("a", "first")}), v);
    FlatImage worm;
    worm.Put(0, Bytes(w1.bytes.begin(), w1.bytes.begin() + std::ptrdiff_t(w1.vatSector + 1) * kS));
    v.volumeStart = w1.vatSector + 1 + gap;
    testsupport::UdfImage w2 = testsupport::BuildUdfImage(UdfNode::Dir("", {UdfNode::File("b", "second")}), v);
    worm.Put(v.volumeStart, Bytes(w2.bytes.begin() + std::ptrdiff_t(v.volumeStart) * kS,
                                  w2.bytes.begin() + std::ptrdiff_t(w2.vatSector + 1) * kS));
    sessions = worm.Sessions();
    EXPECT_EQ(Starts(sessions), (std::vector<std::uint32_t>{0, v.volumeStart}));
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].end, w1.vatSector + 1);
    EXPECT_EQ(sessions[1].end, w2.vatSector + 1);
  }
}

}  // namespace
