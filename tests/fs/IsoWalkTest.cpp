// The ISO 9660 reader of fs/iso9660 on volumes built in memory: the
// descriptor set, names and times, joined extents, raw CD-ROM XA sectors,
// and each kind of damage a hostile volume can hold, named as it is met.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "fs/iso9660/Walk.h"
#include "tests/support/IsoBuilder.h"

namespace {

namespace iso = fs::iso9660;
using testsupport::Bytes;
using testsupport::IsoBuilder;
using testsupport::IsoNode;

// Whole sectors in memory; raw reads answer when raw sectors are given.
struct Source : fs::SectorSource {
  Bytes user, raw;
  std::uint32_t unreadable = 0xFFFFFFFF;
  explicit Source(Bytes u, Bytes r = {}) : user(std::move(u)), raw(std::move(r)) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    if (lba <= unreadable && unreadable < lba + count) return fs::SectorRead::Failed;
    if ((std::uint64_t(lba) + count) * fs::kSectorBytes > user.size()) return fs::SectorRead::Failed;
    std::memcpy(out, user.data() + std::size_t(lba) * fs::kSectorBytes, std::size_t(count) * fs::kSectorBytes);
    return fs::SectorRead::Ok;
  }
  fs::SectorRead ReadRaw(std::uint32_t lba, std::uint8_t* out) override {
    if (lba == unreadable || (std::uint64_t(lba) + 1) * fs::kRawSectorBytes > raw.size()) return fs::SectorRead::Failed;
    std::memcpy(out, raw.data() + std::size_t(lba) * fs::kRawSectorBytes, fs::kRawSectorBytes);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    return static_cast<std::uint32_t>(user.size() / fs::kSectorBytes - 1);
  }
};

void Put32(Bytes& img, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) img[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// path -> type letter and size, as the walk met them, and its faults.
struct Walked {
  std::vector<std::string> paths;
  std::map<std::string, iso::Entry> entries;
  iso::WalkResult result;
  bool Has(iso::Fault f, const std::string& detail = {}) const {
    for (const auto& x : result.faults)
      if (x.fault == f && (detail.empty() || x.path == detail)) return true;
    return false;
  }
};

Walked Walk(Source& src, const iso::Policy& policy, iso::Names names = {}) {
  Walked w;
  const iso::DescriptorSet set = iso::ReadDescriptors(src, 0);
  iso::DirectoryReader reader(src, policy, names);
  const auto& d = names.set == iso::NameSet::Joliet ? set.supplementary : set.primary;
  if (!d) return w;
  const iso::VolumeDescriptor* vd = &*d;
  w.result = iso::WalkTree(reader, vd->rootExtent, vd->rootLength, [&](const std::string& p, const iso::Entry& e) {
    w.paths.push_back(p);
    w.entries[p] = e;
  });
  return w;
}

IsoBuilder Sample() {
  IsoBuilder b;
  b.joliet = true;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  docs.jolietName = "Documents";
  b.File(docs, "README.TXT;1", Bytes(5000, 'r')).jolietName = "Read me.txt;1";
  b.Folder(docs, "A");
  b.File(b.Root(), "B.BIN;1", Bytes(10, 'n'));
  return b;
}

}  // namespace

TEST(IsoDescriptors, JolietEnhancedBootAndTerminator) {
  IsoBuilder b = Sample();
  Bytes img = b.Build();
  Source plain(img);
  iso::DescriptorSet set = iso::ReadDescriptors(plain, 0);
  ASSERT_TRUE(set.primary && set.supplementary);
  EXPECT_TRUE(set.joliet);
  EXPECT_TRUE(set.terminator);
  EXPECT_EQ(set.Shown(), &*set.supplementary);
  EXPECT_EQ(set.primary->rootExtent, b.Root().extent);
  EXPECT_EQ(set.supplementary->rootExtent, b.Root().jExtent);

  // An ISO 9660:1999 descriptor ahead of the Joliet one is no Joliet one,
  // whatever its escape bytes; a boot record is kept as such.
  ASSERT_EQ(img[18 * 2048], 255) << "the terminator follows the two descriptors";
  Bytes moved = img;
  std::memcpy(moved.data() + 19 * 2048, img.data() + 18 * 2048, 2048);  // terminator one further
  std::memcpy(moved.data() + 18 * 2048, img.data() + 17 * 2048, 2048);  // Joliet one further
  std::uint8_t* enhanced = moved.data() + 17 * 2048;
  enhanced[6] = 2;
  enhanced[881] = 2;
  Source s2(moved);
  set = iso::ReadDescriptors(s2, 0);
  ASSERT_TRUE(set.enhanced);
  EXPECT_EQ(set.enhanced->lba, 17u);
  EXPECT_TRUE(set.joliet);
  EXPECT_EQ(set.supplementary->lba, 18u);

  moved[17 * 2048] = 0;  // now a boot record
  std::memcpy(moved.data() + 17 * 2048 + 7, "EL TORITO SPECIFICATION", 23);
  Source s3(moved);
  set = iso::ReadDescriptors(s3, 0);
  ASSERT_TRUE(set.bootRecord);
  EXPECT_FALSE(set.enhanced);
}

TEST(IsoWalk, NamesTimesOrderAndJoinedExtents) {
  IsoBuilder b = Sample();
  b.time = {105, 3, 5, 16, 25, 51};
  IsoNode& big1 = b.File(b.Root(), "BIG.BIN;1", Bytes(3 * 2048, 1));
  b.File(b.Root(), "BIG.BIN;1", Bytes(1000, 2));
  Bytes img = b.Build();
  img[big1.record + 25] |= 0x80;  // the first record goes on in the next
  img[b.Find("/DOCS")->record + 24] = 4;  // recorded an hour east of UTC
  Source src(img);

  // Plain names: versions gone, siblings in bytewise order, a file's extents joined.
  Walked w = Walk(src, iso::CopyPolicy(1), iso::Names{iso::NameSet::Plain, nullptr});
  EXPECT_EQ(w.paths, (std::vector<std::string>{"/B.BIN", "/BIG.BIN", "/DOCS", "/DOCS/A", "/DOCS/README.TXT"}));
  const iso::Entry& big = w.entries["/BIG.BIN"];
  EXPECT_EQ(big.info.size, 3u * 2048 + 1000);
  ASSERT_EQ(big.extents.size(), 2u);
  EXPECT_EQ(*big.info.lba, big1.extent);
  EXPECT_EQ(w.entries["/DOCS"].info.type, fs::NodeType::Folder);
  EXPECT_EQ(*w.entries["/B.BIN"].info.mtime, 1110039951);      // 2005-03-05T16:25:51Z
  EXPECT_EQ(*w.entries["/DOCS"].info.mtime, 1110039951 - 3600);  // 15:25:51Z
  EXPECT_EQ(w.entries["/DOCS"].shown.hour, 16) << "the browser shows the time as recorded";
  EXPECT_TRUE(w.result.faults.empty());

  // The browser's policy: one entry per record.
  iso::DirectoryReader rows(src, iso::BrowserPolicy(1), iso::Names{});
  const iso::Listing root = rows.Read(b.Root().extent, 0);
  EXPECT_EQ(std::count_if(root.entries.begin(), root.entries.end(),
                          [](const iso::Entry& e) { return e.info.name == "BIG.BIN"; }),
            2);

  // Joliet names through the supplementary descriptor.
  w = Walk(src, iso::CopyPolicy(1), iso::Names{iso::NameSet::Joliet, nullptr});
  EXPECT_EQ(w.paths.back(), "/Documents/Read me.txt");
}

TEST(IsoWalk, RawXaSectorsAreCutByTheirOwnHeader) {
  IsoBuilder b;
  IsoNode& v = b.Folder(b.Root(), "MPEGAV");
  b.File(v, "AVSEQ01.DAT;1", Bytes(3 * 2048, 7)).form2 = true;
  const Bytes user = b.Build();
  Source src(user, testsupport::RawXaSectors(user, b.Form2Sectors()));
  Walked w = Walk(src, iso::BrowserPolicy(2));
  EXPECT_EQ(w.paths, (std::vector<std::string>{"/MPEGAV", "/MPEGAV/AVSEQ01.DAT"}));
  EXPECT_TRUE(w.result.faults.empty());
  // No raw sectors at all (a DVD): the same from user data.
  Source dvd(user);
  EXPECT_EQ(Walk(dvd, iso::BrowserPolicy(2)).paths, w.paths);
}

TEST(IsoWalk, EachDamageIsNamedAndTheRestStillRead) {
  auto build = [](IsoBuilder& b) {
    IsoNode& w = b.Folder(b.Root(), "W");
    for (int i = 0; i < 50; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "F%06d.T;1", i);
      b.File(w, name, Bytes(1, 1));
    }
    IsoNode& a = b.Folder(b.Root(), "A");
    b.Folder(a, "BACK");
    b.Folder(b.Root(), "Z");
  };
  IsoBuilder b;
  build(b);
  const Bytes clean = b.Build();
  ASSERT_EQ(b.Find("/W/F000044.T;1")->record % 2048, 2004u);
  {  // A record running past its sector ends that directory, named.
    Bytes img = clean;
    img[b.Find("/W/F000044.T;1")->record] = 60;
    Source src(img);
    Walked w = Walk(src, iso::CopyPolicy(1));
    EXPECT_TRUE(w.Has(iso::Fault::RecordPastEnd, "/W"));
    EXPECT_EQ(w.entries.count("/W/F000043.T"), 1u);
    EXPECT_EQ(w.entries.count("/W/F000045.T"), 0u);
    EXPECT_EQ(w.entries.count("/Z"), 1u) << "the rest of the tree is still read";
  }
  {  // A length byte that cannot hold a record.
    Bytes img = clean;
    img[b.Find("/W/F000003.T;1")->record] = 20;
    Source src(img);
    EXPECT_TRUE(Walk(src, iso::CopyPolicy(1)).Has(iso::Fault::RecordTooShort, "/W"));
  }
  {  // A name longer than its record is cut there.
    Bytes img = clean;
    img[b.Find("/W/F000000.T;1")->record + 32] = 200;
    Source src(img);
    Walked w = Walk(src, iso::CopyPolicy(1));
    EXPECT_TRUE(w.Has(iso::Fault::NamePastRecord, "/W"));
    EXPECT_EQ(w.entries.count("/W/F000000.T"), 1u);
  }
  {  // A folder pointing back at the root, walked by either loop rule.
    Bytes img = clean;
    Put32(img, b.Find("/A/BACK")->record + 2, b.Root().extent);
    Source src(img);
    for (iso::Policy p : {iso::CopyPolicy(1), iso::BrowserPolicy(1)}) {
      Walked w = Walk(src, p);
      EXPECT_TRUE(w.Has(iso::Fault::Loop, "/A/BACK"));
      EXPECT_EQ(w.entries.count("/A/BACK/A"), 0u);
      EXPECT_EQ(w.entries.count("/Z"), 1u);
    }
  }
  {  // An unreadable directory sector: named, and the other sector still read.
    Source src(clean);
    src.unreadable = b.Find("/W")->extent;
    Walked w = Walk(src, iso::CopyPolicy(1));
    EXPECT_TRUE(w.Has(iso::Fault::UnreadableSector, "/W"));
    EXPECT_EQ(w.entries.count("/Z"), 1u);
    src.unreadable = b.Find("/W")->extent + 1;
    w = Walk(src, iso::CopyPolicy(1));
    EXPECT_TRUE(w.Has(iso::Fault::UnreadableSector, "/W"));
    EXPECT_EQ(w.entries.count("/W/F000044.T"), 1u);
    EXPECT_EQ(w.entries.count("/W/F000045.T"), 0u);
  }
  {  // A directory claiming more sectors than any real one has.
    Bytes img = clean;
    Put32(img, b.Find("/W")->record + 10, 0xFFFFF000u);
    Source src(img);
    EXPECT_TRUE(Walk(src, iso::CopyPolicy(1)).Has(iso::Fault::DirectoryTooLarge));
  }
}

TEST(IsoWalk, NestingAndMultiplyingFoldersAreBounded) {
  {
    IsoBuilder b;
    testsupport::DeepChain(b, 70);
    Source src(b.Build());
    Walked w = Walk(src, iso::CopyPolicy(1));
    std::string deepest;
    for (int i = 1; i <= iso::kMostDepth; ++i) deepest += "/D" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    EXPECT_EQ(w.entries.count(deepest), 1u);
    EXPECT_EQ(w.entries.count(deepest + "/D65"), 0u);
    EXPECT_TRUE(w.Has(iso::Fault::TooDeep, deepest));
  }
  {  // Each level names the next twice: a tree of 2^24 paths from 25 folders.
    // The walk that enters each once is small; the one that only refuses
    // ancestors ends at its sector budget, named, not after 16 million reads.
    IsoBuilder b;
    std::vector<IsoNode*> level{&b.Root()};
    for (int i = 0; i < 24; ++i) {
      IsoNode& x = b.Folder(*level.back(), "X");
      b.Folder(*level.back(), "Y");
      level.push_back(&x);
    }
    Bytes img = b.Build();
    for (std::size_t i = 0; i + 1 < level.size(); ++i) {
      IsoNode* y = nullptr;
      for (auto& c : level[i]->children)
        if (c->name == "Y") y = c.get();
      Put32(img, y->record + 2, level[i + 1]->extent);
    }
    Source src(img);
    Walked once = Walk(src, iso::CopyPolicy(1));
    EXPECT_TRUE(once.Has(iso::Fault::Repeated));
    EXPECT_LT(once.paths.size(), 100u);
    Walked ancestors = Walk(src, iso::BrowserPolicy(1));
    EXPECT_TRUE(ancestors.Has(iso::Fault::TooManySectors));
    EXPECT_LE(ancestors.paths.size(), 2 * iso::kMostWalkSectors + 2);
  }
}
