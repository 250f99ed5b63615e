// Rock Ridge as xorriso and genisoimage write it, read back through the
// System Use walk, and hand-made entries that break it in each way an image
// can: continuation loops and areas past the medium, names and links longer
// than their record, link components that make "..", "/" and absolute paths.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <map>

#include "fs/iso9660/RockRidge.h"
#include "tests/fs/IsoProbe.h"
#include "tests/support/SuspBytes.h"

namespace {

using fs::NodeInfo;
using fs::NodeType;
using fs::iso9660::RockRidgeFault;
using fs::iso9660::RockRidgeInfo;
using isoprobe::Bytes;
using isoprobe::MemorySource;
using isoprobe::Q;

struct Item {
  NodeInfo node;
  RockRidgeInfo rr;
  isoprobe::Record rec;
};

// Every record of dir (not "." or ".."), keyed by the name Rock Ridge gives it.
std::map<std::string, Item> List(MemorySource& src, const isoprobe::Record& dir, std::uint32_t skip = 0) {
  std::map<std::string, Item> out;
  for (const auto& rec : isoprobe::Records(src, dir)) {
    if (rec.isoName.size() == 1 && (rec.isoName[0] == 0 || rec.isoName[0] == 1)) continue;
    Item it;
    it.rec = rec;
    it.node.name = rec.isoName;
    it.node.type = rec.folder ? NodeType::Folder : NodeType::File;
    it.node.size = rec.size;
    fs::iso9660::ReadRockRidge(fs::iso9660::SystemUseOf(rec.Span()), skip, &src, it.node, it.rr);
    EXPECT_TRUE(it.rr.faults.empty()) << it.node.name;
    out[it.node.name] = it;
  }
  return out;
}

TEST(RockRidgeImage, XorrisoNamesTypesLinksTimesAndDevices) {
  if (!testsupport::HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
  testsupport::ScratchDir dir;
  const std::string src = dir.File("src");
  const std::string longName(200, 'L');
  std::string deepTarget = "..";
  for (int i = 0; i < 150; ++i) deepTarget += "/d" + std::to_string(i);  // ~600 bytes: SL over several entries and a CE
  ASSERT_EQ(isoprobe::Run("mkdir -p " + Q(src + "/Sub") + " && echo hello > " + Q(src + "/MixedCase.txt") +
                              " && ln -s /etc " + Q(src + "/abs") + " && ln -s ../x " + Q(src + "/Sub/rel") +
                              " && ln -s " + Q(deepTarget) + " " + Q(src + "/deep") + " && ln " +
                              Q(src + "/MixedCase.txt") + " " + Q(src + "/hard") + " && mkfifo " + Q(src + "/fifo") +
                              " && touch " + Q(src + "/" + longName) + " && chmod 640 " + Q(src + "/MixedCase.txt") +
                              " && touch -d '2005-03-05 15:25:51 UTC' " + Q(src + "/MixedCase.txt"),
                          dir),
            0);
  ASSERT_EQ(isoprobe::Run("xorriso -outdev " + Q(dir.File("rr.iso")) + " -hardlinks on -map " + Q(src) +
                              " / -map /dev/null /null >/dev/null 2>&1",
                          dir),
            0);
  MemorySource img(isoprobe::ReadFile(dir.File("rr.iso")));
  const auto root = isoprobe::Root(img);
  const auto vol = fs::iso9660::DetectSusp(fs::iso9660::SystemUseOf(isoprobe::Records(img, root)[0].Span()), &img);
  ASSERT_TRUE(vol.sp);
  EXPECT_NE(vol.rockRidge, fs::iso9660::RockRidgeVersion::None);
  EXPECT_EQ(vol.skip, 0);

  auto items = List(img, root, vol.skip);
  ASSERT_TRUE(items.count("MixedCase.txt"));
  const auto& file = items["MixedCase.txt"];
  EXPECT_EQ(file.node.type, NodeType::File);
  EXPECT_EQ(file.node.mode, 0640u);
  EXPECT_EQ(file.node.mtime, 1110036351);  // 2005-03-05T15:25:51Z
  EXPECT_EQ(file.node.size, 6u);
  EXPECT_EQ(file.rr.links, 2u);
  ASSERT_TRUE(items.count("hard"));
  EXPECT_EQ(items["hard"].rr.serial, file.rr.serial);
  EXPECT_EQ(items["hard"].rec.extent, file.rec.extent);
  EXPECT_TRUE(items.count(longName));
  EXPECT_EQ(items["abs"].node.type, NodeType::Link);
  EXPECT_EQ(items["abs"].node.linkTarget, "/etc");
  EXPECT_EQ(items["deep"].node.linkTarget, deepTarget);
  EXPECT_EQ(items["fifo"].node.type, NodeType::Fifo);
  struct stat st {};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  ASSERT_EQ(items["null"].node.type, NodeType::CharDevice);
  ASSERT_TRUE(items["null"].node.device);
  EXPECT_EQ(items["null"].node.device, std::uint64_t(st.st_rdev));
  ASSERT_EQ(items["Sub"].node.type, NodeType::Folder);
  auto sub = List(img, items["Sub"].rec, vol.skip);
  EXPECT_EQ(sub["rel"].node.linkTarget, "../x");
}

TEST(RockRidgeImage, GenisoimageRelocatesDeepFolders) {
  if (!testsupport::HaveProgram("genisoimage")) GTEST_SKIP() << "genisoimage missing";
  testsupport::ScratchDir dir;
  const std::string deep = "src/l1/l2/l3/l4/l5/l6/l7/l8/l9/l10";
  ASSERT_EQ(isoprobe::Run("mkdir -p " + Q(dir.File(deep)) + " && echo bottom > " + Q(dir.File(deep + "/f")), dir), 0);
  ASSERT_EQ(isoprobe::Run("genisoimage -quiet -R -o " + Q(dir.File("deep.iso")) + " " + Q(dir.File("src")), dir), 0);
  MemorySource img(isoprobe::ReadFile(dir.File("deep.iso")));
  const auto root = isoprobe::Root(img);
  auto level = List(img, root);
  ASSERT_TRUE(level.count("rr_moved"));
  auto moved = List(img, level["rr_moved"].rec);
  ASSERT_TRUE(moved.count("l8"));
  EXPECT_TRUE(moved["l8"].rr.relocated);  // RE: shown at its stand-in, hidden here
  isoprobe::Record parentOfStandIn;
  for (int i = 1; i <= 7; ++i) {
    parentOfStandIn = level["l" + std::to_string(i)].rec;
    level = List(img, parentOfStandIn);
  }
  ASSERT_TRUE(level.count("l8"));
  const auto& standIn = level["l8"];
  ASSERT_TRUE(standIn.rr.childLink);  // CL: the folder's real extent
  EXPECT_EQ(*standIn.rr.childLink, moved["l8"].rec.extent);
  EXPECT_EQ(standIn.node.type, NodeType::File);  // the record is a file; the reader shows the CL folder
  // The relocated folder's ".." names its true parent by PL.
  const auto dots = isoprobe::Records(img, moved["l8"].rec);
  ASSERT_GE(dots.size(), 2u);
  NodeInfo n;
  RockRidgeInfo rr;
  fs::iso9660::ReadRockRidge(fs::iso9660::SystemUseOf(dots[1].Span()), 0, &img, n, rr);
  ASSERT_TRUE(rr.parentLink);
  EXPECT_EQ(*rr.parentLink, parentOfStandIn.extent);
}

// ---- hand-made System Use fields ----

Bytes Entry(const char* sig, const Bytes& body) { return testsupport::SuspEntry(sig, body); }
Bytes Both32(std::uint32_t v) { return testsupport::BothEndian32(v); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Nm(std::uint8_t flags, const std::string& s) {
  Bytes b{flags};
  b.insert(b.end(), s.begin(), s.end());
  return Entry("NM", b);
}
Bytes Ce(std::uint32_t block, std::uint32_t offset, std::uint32_t length) {
  return Entry("CE", Cat({Both32(block), Both32(offset), Both32(length)}));
}
struct Component {
  std::uint8_t flags;
  std::string text;
};
Bytes Sl(std::uint8_t flags, std::initializer_list<Component> comps) {
  Bytes b{flags};
  for (const auto& c : comps) {
    b.push_back(c.flags);
    b.push_back(std::uint8_t(c.text.size()));
    b.insert(b.end(), c.text.begin(), c.text.end());
  }
  return Entry("SL", b);
}

struct Read {
  NodeInfo node;
  RockRidgeInfo rr;
};
Read ReadArea(const Bytes& area, MemorySource* src = nullptr, NodeType type = NodeType::File, std::uint32_t skip = 0) {
  Read r;
  r.node.name = "ISO.;1";
  r.node.type = type;
  fs::iso9660::ReadRockRidge(area, skip, src, r.node, r.rr);
  return r;
}

TEST(RockRidgeHostile, ContinuationAreasFollowedBoundedAndLoopSafe) {
  MemorySource src(Bytes(30 * 2048, 0));
  // A name continued into a CE area whose own CE points back at itself.
  const Bytes area2 = Cat({Nm(0, "cd"), Ce(20, 100, 40)});
  std::copy(area2.begin(), area2.end(), src.Sector(20) + 100);
  auto r = ReadArea(Cat({Nm(1, "ab"), Ce(20, 100, 40)}), &src);
  EXPECT_EQ(r.node.name, "abcd");
  EXPECT_EQ(r.rr.faults, std::vector{RockRidgeFault::ContinuationLoop});

  // Two areas naming each other.
  const Bytes a = Ce(21, 0, 28), b = Ce(20, 0, 28);
  std::copy(a.begin(), a.end(), src.Sector(20));
  std::copy(b.begin(), b.end(), src.Sector(21));
  EXPECT_EQ(ReadArea(Ce(20, 0, 28), &src).rr.faults, std::vector{RockRidgeFault::ContinuationLoop});

  // Past the medium, unreadable: a name waiting for its rest keeps the ISO 9660 name.
  r = ReadArea(Cat({Nm(1, "ab"), Ce(5000, 0, 40)}), &src);
  EXPECT_EQ(r.node.name, "ISO.;1");
  EXPECT_EQ(r.rr.faults, std::vector{RockRidgeFault::ContinuationPastMedium});
  EXPECT_EQ(ReadArea(Ce(0xFFFFFFFF, 2047, 4000), &src).rr.faults, std::vector{RockRidgeFault::ContinuationPastMedium});
  src.unreadable.insert(22);
  EXPECT_EQ(ReadArea(Ce(22, 0, 40), &src).rr.faults, std::vector{RockRidgeFault::ContinuationUnreadable});

  // A chain of more areas than allowed, each a fresh place; an area too long.
  for (std::uint32_t i = 0; i < 60; ++i) {
    const Bytes next = Ce(23, (i + 1) * 30, 28);
    std::copy(next.begin(), next.end(), src.Sector(23) + i * 30);
  }
  EXPECT_EQ(ReadArea(Ce(23, 0, 28), &src).rr.faults, std::vector{RockRidgeFault::TooManyContinuations});
  EXPECT_EQ(ReadArea(Ce(24, 0, 20000), &src).rr.faults, std::vector{RockRidgeFault::ContinuationTooLong});
  // No source: the CE is not followed, and that is no fault.
  EXPECT_TRUE(ReadArea(Cat({Nm(0, "x"), Ce(20, 0, 28)})).rr.faults.empty());
}

TEST(RockRidgeHostile, NamesAndLinksLongerThanTheirRecord) {
  Bytes nm = Nm(0, "name");
  nm[2] = 40;  // claims more than the area holds
  auto r = ReadArea(nm);
  EXPECT_EQ(r.node.name, "ISO.;1");
  EXPECT_EQ(r.rr.faults, std::vector{RockRidgeFault::NameLongerThanRecord});

  Bytes sl = Sl(0, {{0, "target"}});
  sl[2] = 60;
  r = ReadArea(sl);
  EXPECT_TRUE(r.node.linkTarget.empty());
  EXPECT_EQ(r.node.type, NodeType::File);
  EXPECT_EQ(r.rr.faults, std::vector{RockRidgeFault::LinkLongerThanRecord});

  Bytes comp = Sl(0, {{0, "abc"}});
  comp[6] = 30;  // a component longer than its entry
  EXPECT_EQ(ReadArea(comp).rr.faults, std::vector{RockRidgeFault::LinkLongerThanRecord});

  Bytes shortEntry = Nm(0, "x");
  shortEntry[2] = 2;
  EXPECT_EQ(ReadArea(shortEntry).rr.faults, std::vector{RockRidgeFault::EntryTooShort});

  // Parts that add up past the limits.
  Bytes manyNames, manyLinks;
  for (int i = 0; i < 6; ++i) manyNames = Cat({manyNames, Nm(1, std::string(200, 'n'))});
  for (int i = 0; i < 20; ++i) manyLinks = Cat({manyLinks, Sl(1, {{0, std::string(240, 'c')}})});
  EXPECT_EQ(ReadArea(manyNames).rr.faults, std::vector{RockRidgeFault::NameTooLong});
  EXPECT_EQ(ReadArea(manyLinks).rr.faults, std::vector{RockRidgeFault::LinkTooLong});
  EXPECT_EQ(ReadArea(Nm(1, "half")).rr.faults, std::vector{RockRidgeFault::NameUnfinished});
  EXPECT_EQ(ReadArea(Sl(1, {{0, "half"}})).rr.faults, std::vector{RockRidgeFault::LinkUnfinished});
}

TEST(RockRidgeHostile, LinkComponentsGiveTheRecordedText) {
  constexpr std::uint8_t C = 1, Cur = 2, Par = 4, Root = 8;
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {Sl(0, {{Root, ""}, {0, "etc"}}), "/etc"},
      {Sl(0, {{Par, ""}, {0, "x"}}), "../x"},
      {Sl(0, {{Root, ""}}), "/"},
      {Sl(0, {{Par, ""}}), ".."},
      {Sl(0, {{Par, ""}, {Par, ""}, {Root, ""}, {0, "etc"}}), "../../etc"},
      {Sl(0, {{Cur, ""}, {0, "a"}}), "./a"},
      {Cat({Sl(1, {{0, "us"}, {C, "ab"}}), Sl(0, {{0, "cd"}, {0, "e"}})}), "us/abcd/e"},
      {Sl(0, {{0, "a/../../b"}}), "a/../../b"},  // recorded text, never resolved
  };
  for (const auto& [area, want] : cases) {
    const auto r = ReadArea(area);
    EXPECT_TRUE(r.rr.faults.empty()) << want;
    EXPECT_EQ(r.node.type, NodeType::Link) << want;
    EXPECT_EQ(r.node.linkTarget, want);
  }
  EXPECT_EQ(ReadArea(Sl(0, {{0, std::string("a\0b", 3)}})).rr.faults, std::vector{RockRidgeFault::LinkInvalid});
  EXPECT_EQ(ReadArea(Sl(0, {{Cur | Par, ""}})).rr.faults, std::vector{RockRidgeFault::LinkInvalid});
  // A folder record is never made a link.
  EXPECT_EQ(ReadArea(Sl(0, {{Root, ""}}), nullptr, NodeType::Folder).node.type, NodeType::Folder);
  for (const char* bad : {"..", ".", "a/b"}) {
    const auto r = ReadArea(Nm(0, bad));
    EXPECT_EQ(r.node.name, "ISO.;1") << bad;
    EXPECT_EQ(r.rr.faults, std::vector{RockRidgeFault::NameInvalid});
  }
  EXPECT_TRUE(ReadArea(Nm(2, "")).rr.nameCurrent);
  EXPECT_TRUE(ReadArea(Nm(4, "")).rr.nameParent);
}

Bytes Px(std::uint32_t mode, bool withSerial) {
  Bytes b = Cat({Both32(mode), Both32(1), Both32(1000), Both32(100)});
  if (withSerial) b = Cat({b, Both32(77)});
  return Entry("PX", b);
}

TEST(RockRidgeEntries, ModesTimesDevicesAndCompression) {
  const std::vector<std::pair<std::uint32_t, NodeType>> modes = {
      {0100644, NodeType::File}, {0120777, NodeType::Link}, {060600, NodeType::BlockDevice},
      {020666, NodeType::CharDevice}, {010644, NodeType::Fifo}, {0140755, NodeType::Socket}};
  for (const auto& [mode, type] : modes) {
    for (bool serial : {false, true}) {
      const auto r = ReadArea(Px(mode | 07000, serial));
      EXPECT_EQ(r.node.type, type) << std::oct << mode;
      EXPECT_EQ(r.node.mode, (mode & 0777) | 07000);
      EXPECT_EQ(r.rr.serial.has_value(), serial);
      EXPECT_EQ(r.rr.uid, 1000u);
    }
  }
  EXPECT_EQ(ReadArea(Px(020666, false), nullptr, NodeType::Folder).node.type, NodeType::Folder);
  EXPECT_EQ(ReadArea(Entry("PX", Both32(0100644))).rr.faults, std::vector{RockRidgeFault::BadEntry});

  // Short form: 2005-03-05 23:25:51 at UTC+8 (32 quarter hours); modify and access.
  const Bytes shortTime{105, 3, 5, 23, 25, 51, 32};
  auto r = ReadArea(Entry("TF", Cat({Bytes{0x06}, shortTime, shortTime})));
  EXPECT_EQ(r.node.mtime, 1110036351);
  EXPECT_EQ(r.rr.times.access, 1110036351);
  EXPECT_FALSE(r.rr.times.creation);
  // Long form: creation and modify, UTC-5 (-20).
  const std::string longText = "2005030510255100";
  Bytes longTime(longText.begin(), longText.end());
  longTime.push_back(std::uint8_t(-20));
  r = ReadArea(Entry("TF", Cat({Bytes{0x83}, longTime, longTime})));
  EXPECT_EQ(r.rr.times.creation, 1110036351);
  EXPECT_EQ(r.node.mtime, 1110036351);
  EXPECT_EQ(ReadArea(Entry("TF", Cat({Bytes{0x07}, shortTime}))).rr.faults, std::vector{RockRidgeFault::BadEntry});

  r = ReadArea(Cat({Px(060600, false), Entry("PN", Cat({Both32(0), Both32(0x0803)}))}));
  EXPECT_EQ(r.node.device, 0x0803u);

  Bytes zf{'p', 'z', 4, 16};
  zf = Cat({zf, Both32(12345678)});
  r = ReadArea(Entry("ZF", zf));
  ASSERT_TRUE(r.rr.zisofs);
  EXPECT_EQ(r.rr.zisofs->blockSizeLog2, 16);
  EXPECT_EQ(r.node.size, 12345678u);
  EXPECT_FALSE(r.rr.zisofsUnread);
  zf[0] = 'P', zf[1] = 'Z';
  r = ReadArea(Entry("ZF", zf));
  EXPECT_TRUE(r.rr.zisofsUnread);
  EXPECT_EQ(r.node.size, 0u);
  EXPECT_TRUE(ReadArea(Entry("Z2", zf)).rr.zisofsUnread);

  r = ReadArea(Cat({Entry("CL", Both32(99)), Entry("PL", Both32(42)), Entry("RE", {}), Entry("ST", {}), Nm(0, "after")}));
  EXPECT_EQ(r.rr.childLink, 99u);
  EXPECT_EQ(r.rr.parentLink, 42u);
  EXPECT_TRUE(r.rr.relocated);
  EXPECT_EQ(r.node.name, "ISO.;1");  // nothing after ST is read
}

TEST(RockRidgeEntries, DetectionHonoursSpAndItsSkip) {
  const Bytes sp = Entry("SP", {0xBE, 0xEF, 3});
  const std::string id = "IEEE_1282";
  Bytes er{std::uint8_t(id.size()), 0, 0, 1};  // LEN_ID, LEN_DES, LEN_SRC, EXT_VER
  er.insert(er.end(), id.begin(), id.end());
  auto v = fs::iso9660::DetectSusp(Cat({sp, Entry("ER", er)}), nullptr);
  EXPECT_TRUE(v.sp);
  EXPECT_EQ(v.skip, 3);
  EXPECT_EQ(v.rockRidge, fs::iso9660::RockRidgeVersion::Rrip112);
  EXPECT_EQ(v.extensions, std::vector<std::string>{id});

  v = fs::iso9660::DetectSusp(Cat({Entry("SP", {0xBE, 0xEE, 0}), Entry("ER", er)}), nullptr);
  EXPECT_FALSE(v.sp);
  EXPECT_EQ(v.rockRidge, fs::iso9660::RockRidgeVersion::None);
  v = fs::iso9660::DetectSusp(Cat({Entry("SP", {0xBE, 0xEF, 0}), Px(040755, false)}), nullptr);
  EXPECT_EQ(v.rockRidge, fs::iso9660::RockRidgeVersion::Unmarked);

  // Every other record's field starts with LEN_SKP bytes that are not entries.
  const auto r = ReadArea(Cat({Bytes{'N', 'M', 200}, Nm(0, "skipped")}), nullptr, NodeType::File, 3);
  EXPECT_EQ(r.node.name, "skipped");
  EXPECT_TRUE(r.rr.faults.empty());
}

}  // namespace
