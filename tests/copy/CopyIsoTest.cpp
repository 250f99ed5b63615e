// ISO 9660 file and folder copies from volumes the test support builds:
// byte-exact files, Form 2 payloads, names, destinations, holes, cancelling.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "tests/support/CdImages.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/MemoryImage.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

Bytes Filled(std::size_t n, std::uint8_t salt) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + salt) ^ (i >> 11));
  return b;
}

orvane::DiscLayout CookedDisc(const Bytes& user) {
  auto file = std::make_shared<MemoryImageFile>(user);
  return MemoryDisc({MemoryTrack(1, orvane::TrackMode::Mode1, 0, static_cast<std::uint32_t>(user.size() / 2048), file,
                                 orvane::StoredFormat::UserData2048, 2048)});
}

struct Volume {
  IsoBuilder b;
  Bytes user;
  std::unique_ptr<CDevCmdROM> dev;
  RecordingTransport* rec = nullptr;
  std::uint32_t Root() const { return const_cast<IsoBuilder&>(b).Root().extent; }
  void Make() {
    user = b.Build();
    dev = RecordedDevice(CookedDisc(user), &rec);
  }
};

void Finish(CGetCDData& e) {
  e.Wait();
  ASSERT_TRUE(e.IsStopped());
}

}  // namespace

TEST(CopyIso, AFolderTreeIsRecreatedWithByteExactFiles) {
  for (bool joliet : {false, true}) {
    SCOPED_TRACE(joliet ? "joliet" : "primary");
    ScratchDir dir;
    Volume v;
    v.b.joliet = joliet;
    IsoNode& docs = v.b.Folder(v.b.Root(), "DOCS");
    v.b.File(docs, "README.TXT;1", Filled(100, 1));
    v.b.File(docs, "EMPTY.BIN;1", {});
    IsoNode& deep = v.b.Folder(docs, "DEEP");
    v.b.File(deep, "BIG.DAT;1", Filled(5 * 2048 + 17, 2));
    v.b.File(v.b.Root(), "TOP.TXT;2", Filled(2048, 3));  // only ";1" is dropped
    v.b.Folder(v.b.Root(), "EMPTYDIR");
    // Enough records that the root takes several sectors.
    for (int i = 0; i < 60; ++i) v.b.File(v.b.Root(), "F" + std::to_string(i) + ".TXT;1", Filled(10 + i, i));
    v.Make();

    CGetCDData e;
    e.SetDevice(v.dev.get());
    const std::string out = dir.File("out");
    ASSERT_TRUE(e.StartFolderCopy(1, joliet ? v.b.Root().jExtent : v.Root(), out, 1, joliet));
    Finish(e);
    CopyResult r = e.GetResult();
    EXPECT_TRUE(r.finished) << r.error;
    std::map<std::string, std::string> want{{"DOCS/", ""},
                                            {"DOCS/README.TXT", Str(Filled(100, 1))},
                                            {"DOCS/EMPTY.BIN", ""},
                                            {"DOCS/DEEP/", ""},
                                            {"DOCS/DEEP/BIG.DAT", Str(Filled(5 * 2048 + 17, 2))},
                                            {"TOP.TXT;2", Str(Filled(2048, 3))},
                                            {"EMPTYDIR/", ""}};
    for (int i = 0; i < 60; ++i) want["F" + std::to_string(i) + ".TXT"] = Str(Filled(10 + i, i));
    {
    const auto got = ReadTree(out);
    EXPECT_TRUE(got == want) << TreeSummary(got);
  }
    EXPECT_EQ(r.files, 64u);
    EXPECT_EQ(r.folders, 4u);  // the target and its three folders
    EXPECT_EQ(r.unreadable, 0u);
  }
}

TEST(CopyIso, SingleFilesAreWrittenToTheirRecordedSize) {
  ScratchDir dir;
  Volume v;
  IsoNode& a = v.b.File(v.b.Root(), "A.TXT;1", Filled(100, 9));
  IsoNode& z = v.b.File(v.b.Root(), "Z.TXT;1", {});
  v.Make();
  CGetCDData e;
  e.SetDevice(v.dev.get());
  ASSERT_TRUE(e.StartFileCopy(1, a.extent, a.size, dir.File("a.txt"), 1, false));
  Finish(e);
  EXPECT_EQ(ReadWholeFile(dir.File("a.txt")), Str(Filled(100, 9)));
  EXPECT_EQ(e.GetCurrentName(), dir.File("a.txt"));
  EXPECT_EQ(e.GetPercent(), 100);
  // An empty file's extent may be 0 or any sector: nothing is read for it.
  ASSERT_TRUE(e.StartFileCopy(1, z.extent ? z.extent : 1, 0, dir.File("z.txt"), 1, false));
  Finish(e);
  EXPECT_TRUE(fs::exists(dir.File("z.txt")));
  EXPECT_EQ(fs::file_size(dir.File("z.txt")), 0u);
}

TEST(CopyIso, AForm2FileKeepsItsWhole2324BytePayloads) {
  ScratchDir dir;
  IsoBuilder b;
  IsoNode& mpeg = b.Folder(b.Root(), "MPEGAV");
  IsoNode& av = b.File(mpeg, "AVSEQ01.DAT;1", Bytes(3 * 2048, 0));
  av.form2 = true;
  IsoNode& txt = b.File(mpeg, "INFO.TXT;1", Filled(3000, 4));
  const Bytes user = b.Build();
  Bytes raw = RawXaSectors(user, b.Form2Sectors());
  // Payloads that use all 2324 bytes, different in every sector.
  std::string want;
  for (int k = 0; k < 3; ++k) {
    const Bytes payload = Filled(2324, static_cast<std::uint8_t>(40 + k));
    const std::uint32_t lba = av.extent + k;
    const Bytes s = RawSector(static_cast<std::int32_t>(lba), RawMode::Mode2Form2, payload.data(), payload.size());
    std::memcpy(raw.data() + lba * 2352, s.data(), 2352);
    want += Str(payload);
  }
  auto file = std::make_shared<MemoryImageFile>(raw);
  auto disc = [&] {
    return MemoryDisc({MemoryTrack(1, orvane::TrackMode::Mode2Xa, 0, static_cast<std::uint32_t>(user.size() / 2048),
                                   file, orvane::StoredFormat::Raw2352, 2352)});
  };
  auto dev = RecordedDevice(disc(), nullptr);
  CGetCDData e;
  e.SetDevice(dev.get());
  ASSERT_TRUE(e.StartFolderCopy(2, b.Root().extent, dir.File("vcd"), 1, false));
  Finish(e);
  EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
  EXPECT_EQ(ReadWholeFile(dir.File("vcd/MPEGAV/AVSEQ01.DAT")).size(), 3u * 2324);
  EXPECT_TRUE(ReadWholeFile(dir.File("vcd/MPEGAV/AVSEQ01.DAT")) == want);
  // Form 1 files of the same disc end at their recorded size.
  EXPECT_EQ(ReadWholeFile(dir.File("vcd/MPEGAV/INFO.TXT")), Str(Filled(3000, 4)));
  // Even when the caller takes the disc for Mode 1, the sectors' own headers cut them.
  ASSERT_TRUE(e.StartFileCopy(1, av.extent, av.size, dir.File("av.dat"), 1, false));
  Finish(e);
  EXPECT_TRUE(ReadWholeFile(dir.File("av.dat")) == want);
  (void)txt;

  // An unreadable sector in the middle is a whole payload of zeros: the
  // sector after it keeps its place.
  orvane::DiscLayout holed = disc();
  holed.badSectors.push_back({static_cast<std::int32_t>(av.extent + 1), 1});
  auto dev2 = RecordedDevice(holed, nullptr);
  e.SetDevice(dev2.get());
  ASSERT_TRUE(e.StartFileCopy(2, av.extent, av.size, dir.File("holed.dat"), 1, false));
  Finish(e);
  std::string holedWant = want;
  std::fill(holedWant.begin() + 2324, holedWant.begin() + 2 * 2324, '\0');
  EXPECT_TRUE(ReadWholeFile(dir.File("holed.dat")) == holedWant);
  EXPECT_EQ(e.GetResult().unreadable, 1u);
}

TEST(CopyIso, HostileNamesStayInsideTheChosenFolder) {
  ScratchDir dir;
  Volume v;
  IsoNode& up = v.b.Folder(v.b.Root(), "..");
  v.b.File(up, "ESCAPE.TXT;1", Filled(10, 1));
  v.b.File(v.b.Root(), "a/../../b;1", Filled(11, 2));
  v.b.File(v.b.Root(), ".;1", Filled(12, 3));
  v.b.File(v.b.Root(), "back\\slash;1", Filled(13, 4));
  v.Make();
  CGetCDData e;
  e.SetDevice(v.dev.get());
  const std::string out = dir.File("sub/out");
  fs::create_directory(dir.File("sub"));
  ASSERT_TRUE(e.StartFolderCopy(1, v.Root(), out, 1, false));
  Finish(e);
  EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
  std::map<std::string, std::string> want{{"_../", ""},
                                          {"_../ESCAPE.TXT", Str(Filled(10, 1))},
                                          {"a_.._.._b", Str(Filled(11, 2))},
                                          {"_.", Str(Filled(12, 3))},
                                          {"back_slash", Str(Filled(13, 4))}};
  {
    const auto got = ReadTree(out);
    EXPECT_TRUE(got == want) << TreeSummary(got);
  }
  EXPECT_EQ(ReadTree(dir.Path()).size(), want.size() + 2);  // sub/ and sub/out/ and nothing else
  EXPECT_EQ(CGetCDData::SafeName(""), "_");
  EXPECT_EQ(CGetCDData::SafeName(std::string("a\0b", 3)), "a_b");
}

TEST(CopyIso, ATargetThatExistsOrCannotBeMadeEndsTheJobAndSaysWhy) {
  ScratchDir dir;
  Volume v;
  v.b.File(v.b.Root(), "A.TXT;1", Filled(100, 9));
  v.Make();
  CGetCDData e;
  e.SetDevice(v.dev.get());
  fs::create_directory(dir.File("there"));
  ASSERT_TRUE(e.StartFolderCopy(1, v.Root(), dir.File("there"), 1, false));
  Finish(e);
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.error.find(dir.File("there")), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("exists"), std::string::npos) << r.error;
  EXPECT_TRUE(fs::is_empty(dir.File("there")));

  ASSERT_TRUE(e.StartFolderCopy(1, v.Root(), dir.File("no/such/place"), 1, false));
  Finish(e);
  r = e.GetResult();
  EXPECT_TRUE(r.failed);
  EXPECT_NE(r.error.find(dir.File("no/such/place")), std::string::npos) << r.error;
}

TEST(CopyIso, AFolderThatHoldsItselfIsMadeButNotEnteredAgain) {
  ScratchDir dir;
  Volume v;
  IsoNode& loop = v.b.Folder(v.b.Root(), "LOOP");
  v.b.File(loop, "X.TXT;1", Filled(5, 5));
  v.b.Folder(loop, "BACK");
  v.user = v.b.Build();
  // LOOP's sub-folder record points back at the root.
  IsoNode* back = v.b.Find("/LOOP/BACK");
  ASSERT_NE(back, nullptr);
  unsigned char* rec = v.user.data() + back->record;
  const std::uint32_t root = v.b.Root().extent;
  for (int i = 0; i < 4; ++i) rec[2 + i] = static_cast<unsigned char>(root >> (8 * i));
  v.dev = RecordedDevice(CookedDisc(v.user), &v.rec);
  CGetCDData e;
  e.SetDevice(v.dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, root, dir.File("out"), 1, false));
  Finish(e);
  EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
  const auto tree = ReadTree(dir.File("out"));
  EXPECT_EQ(tree.count("LOOP/BACK/"), 1u);
  EXPECT_EQ(tree.count("LOOP/BACK/LOOP/"), 0u);
  EXPECT_EQ(tree.at("LOOP/X.TXT"), Str(Filled(5, 5)));
}

TEST(CopyIso, HolesOfADdrescueMapAreZerosAndReportedPerFile) {
  ScratchDir dir;
  IsoBuilder b;
  IsoNode& good = b.File(b.Root(), "GOOD.BIN;1", Filled(4 * 2048, 1));
  IsoNode& hurt = b.File(b.Root(), "HURT.BIN;1", Filled(6 * 2048 + 100, 2));
  const Bytes user = b.Build();
  const std::string iso = dir.Write("disc.iso", user);
  // Sectors 2 and 3 of HURT.BIN were never rescued.
  const std::uint64_t holeAt = std::uint64_t(hurt.extent + 2) * 2048;
  dir.Write("disc.iso.map", "# Mapfile. Created by GNU ddrescue\n0 +\n0x0 " + std::to_string(holeAt) + " +\n" +
                                std::to_string(holeAt) + " 4096 -\n" + std::to_string(holeAt + 4096) + " " +
                                std::to_string(user.size() - holeAt - 4096) + " +\n");
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(iso)) << dev.GetLastError();
  CGetCDData e;
  e.SetDevice(&dev);
  const std::string out = dir.File("out");
  ASSERT_TRUE(e.StartFolderCopy(1, b.Root().extent, out, 1, false));
  Finish(e);
  CopyResult r = e.GetResult();
  EXPECT_TRUE(r.finished) << r.error;
  Bytes want = Filled(6 * 2048 + 100, 2);
  std::memset(want.data() + 2 * 2048, 0, 4096);
  EXPECT_TRUE(ReadWholeFile(out + "/HURT.BIN") == Str(want));
  EXPECT_TRUE(ReadWholeFile(out + "/GOOD.BIN") == Str(Filled(4 * 2048, 1)));
  EXPECT_EQ(r.unreadable, 2u);
  ASSERT_EQ(r.damaged.size(), 1u);
  EXPECT_EQ(r.damaged[0].path, out + "/HURT.BIN");
  EXPECT_EQ(r.damaged[0].sectors, 2u);
  (void)good;
}

TEST(CopyIso, CancelInAFolderDeletesOnlyTheFileBeingWritten) {
  ScratchDir dir;
  Volume v;
  v.b.File(v.b.Root(), "A.BIN;1", Filled(40 * 2048, 1));
  v.b.File(v.b.Root(), "B.BIN;1", Filled(80 * 2048, 2));
  v.b.File(v.b.Root(), "C.BIN;1", Filled(40 * 2048, 3));
  v.Make();
  CGetCDData e;
  e.SetDevice(v.dev.get());
  // Reads: the root's sector (raw, then 2048) , A in 3 runs, then B's second run.
  v.rec->HoldAtRead(1 + 3 + 1);
  const std::string out = dir.File("out");
  ASSERT_TRUE(e.StartFolderCopy(1, v.Root(), out, 1, false));
  v.rec->WaitHeld();
  EXPECT_EQ(e.GetCurrentName(), out + "/B.BIN");
  e.Cancel();
  v.rec->Release();
  e.Wait();
  EXPECT_TRUE(e.IsStopped());
  EXPECT_TRUE(e.GetResult().cancelled);
  const auto got = ReadTree(out);
  EXPECT_TRUE(got == (std::map<std::string, std::string>{{"A.BIN", Str(Filled(40 * 2048, 1))}})) << TreeSummary(got);
}

TEST(CopyIso, AFileOfSeveralExtentsIsJoinedAndADirectoryNamedTwiceIsWalkedOnce) {
  ScratchDir dir;
  Volume v;
  IsoNode& first = v.b.File(v.b.Root(), "BIG.BIN;1", Filled(3 * 2048, 1));
  IsoNode& second = v.b.File(v.b.Root(), "BIG.BIN;1", Filled(1000, 2));
  IsoNode& a = v.b.Folder(v.b.Root(), "A");
  v.b.File(a, "IN.TXT;1", Filled(7, 3));
  IsoNode& b = v.b.Folder(v.b.Root(), "B");
  v.user = v.b.Build();
  // The first record goes on in the next one (a file of 4 GiB or more is
  // recorded so); B's record names A's directory.
  v.user[first.record + 25] |= 0x80;
  for (int i = 0; i < 4; ++i) v.user[b.record + 2 + i] = static_cast<std::uint8_t>(a.extent >> (8 * i));
  v.dev = RecordedDevice(CookedDisc(v.user), &v.rec);
  CGetCDData e;
  e.SetDevice(v.dev.get());
  ASSERT_TRUE(e.StartFolderCopy(1, v.Root(), dir.File("out"), 1, false));
  Finish(e);
  EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
  const auto got = ReadTree(dir.File("out"));
  const std::map<std::string, std::string> want{{"BIG.BIN", Str(Filled(3 * 2048, 1)) + Str(Filled(1000, 2))},
                                                {"A/", ""},
                                                {"A/IN.TXT", Str(Filled(7, 3))},
                                                {"B/", ""}};
  EXPECT_TRUE(got == want) << TreeSummary(got);

  // Saved as a single file from either of its list rows, with the folder
  // that lists it, the file is just as whole; without the folder only the
  // row's own extent is known.
  for (const IsoNode* row : {&first, &second}) {
    const std::string one = dir.File("one" + std::to_string(row->extent));
    ASSERT_TRUE(e.StartFileCopy(1, row->extent, row->size, one, 1, false, 0, v.Root()));
    Finish(e);
    EXPECT_TRUE(ReadWholeFile(one) == want.at("BIG.BIN")) << one;
  }
  ASSERT_TRUE(e.StartFileCopy(1, second.extent, second.size, dir.File("part"), 1, false));
  Finish(e);
  EXPECT_TRUE(ReadWholeFile(dir.File("part")) == Str(Filled(1000, 2)));
}

// Files of an image stored as plain 2048-byte sectors are copied by the
// kernel; only where the device vouches for the bytes: not across a hole of
// the mapfile, not from raw sectors. An image that shrinks under the copy
// still gives what it holds, the rest as zeros reported.
TEST(CopyIso, PlainImageExtentsAreCopiedWithoutReadsOnlyWhereTheyAreWhole) {
  ScratchDir dir;
  IsoBuilder b;
  b.File(b.Root(), "A.BIN;1", Filled(3 * 2048 + 5, 1));
  IsoNode& big = b.File(b.Root(), "BIG.BIN;1", Filled(40 * 2048, 2));
  const Bytes user = b.Build();
  const std::string iso = dir.Write("disc.iso", user);
  {
    CDevCmdROM plain(0, nullptr), mapped(0, nullptr), raw(0, nullptr);
    ASSERT_TRUE(plain.SetImageFile(iso));
    const auto at = plain.PlainUserData(big.extent, 40);
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(at->offset, std::uint64_t(big.extent) * 2048);
    const std::string holed = dir.Write("holed.iso", user);
    const std::uint64_t hole = std::uint64_t(big.extent + 5) * 2048;
    dir.Write("holed.iso.map", "0 +\n0 " + std::to_string(hole) + " +\n" + std::to_string(hole) + " 2048 -\n" +
                                   std::to_string(hole + 2048) + " " + std::to_string(user.size() - hole - 2048) + " +\n");
    ASSERT_TRUE(mapped.SetImageFile(holed));
    EXPECT_TRUE(mapped.PlainUserData(big.extent, 5).has_value());
    EXPECT_FALSE(mapped.PlainUserData(big.extent, 6).has_value()) << "the hole is read, and reported";
    EXPECT_FALSE(plain.PlainUserData(big.extent, static_cast<std::uint32_t>(user.size() / 2048)).has_value()) << "past the end";
    ASSERT_TRUE(raw.SetImageFile(dir.Write("raw.bin", RawTrack(0, 30, RawMode::Mode1))));
    EXPECT_FALSE(raw.PlainUserData(0, 1).has_value());
  }

  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(iso));
  fs::resize_file(iso, std::uint64_t(big.extent + 30) * 2048);
  CGetCDData e;
  e.SetDevice(&dev);
  const std::string out = dir.File("out");
  ASSERT_TRUE(e.StartFolderCopy(1, b.Root().extent, out, 1, false));
  Finish(e);
  const CopyResult r = e.GetResult();
  EXPECT_TRUE(r.finished) << r.error;
  EXPECT_TRUE(ReadWholeFile(out + "/A.BIN") == Str(Filled(3 * 2048 + 5, 1)));
  Bytes want = Filled(40 * 2048, 2);
  std::memset(want.data() + 30 * 2048, 0, 10 * 2048);
  EXPECT_TRUE(ReadWholeFile(out + "/BIG.BIN") == Str(want));
  EXPECT_EQ(r.unreadable, 10u);
}

// Files of an image file are written side by side while the walk goes on.
// What they make must be what a copy one file at a time makes (the memory
// image, which has no file to copy from, is copied so): every file whole,
// the later of two records of one name kept, and every folder with its
// recorded time, which only holds if it was set after the folder's last
// file was written. The image is also put on another file system where one
// is at hand, where the kernel cannot copy between the files and the
// writers read instead.
TEST(CopyIso, FilesWrittenSideBySideMakeWhatOneAtATimeMakes) {
  ScratchDir dir;
  IsoBuilder b;
  for (int d = 0; d < 10; ++d) {
    IsoNode& folder = b.Folder(b.Root(), "D" + std::to_string(d));
    for (int i = 0; i < 30; ++i)
      b.File(folder, "F" + std::to_string(i) + ".BIN;1", Filled(std::size_t(d * 30 + i) * 997 % 30000, std::uint8_t(i)));
  }
  IsoNode& twice = *b.Find("/D3");
  b.File(twice, "SAME.BIN;1", Filled(3000, 1));
  b.File(twice, "SAME.BIN;1", Filled(5000, 2));
  const Bytes user = b.Build();

  auto copy = [&](CDevCmdROM& dev, const std::string& out) {
    CGetCDData e;
    e.SetDevice(&dev);
    EXPECT_TRUE(e.StartFolderCopy(1, b.Root().extent, out, 1, false));
    Finish(e);
    EXPECT_TRUE(e.GetResult().finished) << e.GetResult().error;
    EXPECT_EQ(e.GetResult().files, 302u);
    std::map<std::string, std::string> times;  // every item's time, and a file's bytes
    for (const auto& item : fs::recursive_directory_iterator(out))
      times[fs::relative(item.path(), out).string()] =
          std::to_string(item.last_write_time().time_since_epoch().count());
    return std::make_pair(ReadTree(out), times);
  };
  auto memory = RecordedDevice(CookedDisc(user), nullptr);
  const auto want = copy(*memory, dir.File("one"));
  EXPECT_EQ(want.first.at("D3/SAME.BIN"), Str(Filled(5000, 2)));
  EXPECT_LT(fs::last_write_time(dir.File("one/D3")), fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));

  std::vector<std::string> images{dir.Write("disc.iso", user)};
  const std::string shm = "/dev/shm/tessal-side-by-side-" + std::to_string(::getpid()) + ".iso";
  struct stat here, there;
  if (::stat(dir.Path().c_str(), &here) == 0 && ::stat("/dev/shm", &there) == 0 && here.st_dev != there.st_dev) {
    std::ofstream(shm, std::ios::binary).write(reinterpret_cast<const char*>(user.data()), std::streamsize(user.size()));
    images.push_back(shm);
  }
  for (const std::string& image : images) {
    SCOPED_TRACE(image);
    CDevCmdROM dev(0, nullptr);
    ASSERT_TRUE(dev.SetImageFile(image));
    const auto got = copy(dev, dir.File("side" + std::to_string(&image - images.data())));
    EXPECT_TRUE(got.first == want.first) << TreeSummary(got.first);
    EXPECT_TRUE(got.second == want.second);
  }
  std::remove(shm.c_str());
}

namespace {

// Folders D0.. of files F0.BIN.., as many bytes as size(folder, file) says,
// in an image file: a job's files for the writers.
struct Shelves {
  IsoBuilder b;
  std::map<std::string, std::string> want;  // "D3/F7.BIN": its bytes
  Shelves(int folders, int files, std::size_t (*size)(int, int)) {
    for (int d = 0; d < folders; ++d) {
      IsoNode& folder = b.Folder(b.Root(), "D" + std::to_string(d));
      for (int i = 0; i < files; ++i) Add(folder, "D" + std::to_string(d) + "/F" + std::to_string(i) + ".BIN",
                                          Filled(size(d, i), std::uint8_t(d * 31 + i)));
    }
  }
  void Add(IsoNode& folder, const std::string& path, Bytes data) {
    want[path] = Str(data);
    b.File(folder, path.substr(path.find('/') + 1) + ";1", std::move(data));
  }
};

// What a job that ended early leaves: whole files only, each counted, and a
// folder with its recorded time only once every file of it is in.
void ExpectOnlyWholeFiles(const std::string& out, const Shelves& s, const CopyResult& r) {
  const auto got = ReadTree(out);
  std::uint64_t files = 0;
  for (const auto& [path, bytes] : got) {
    if (path.back() == '/') continue;
    ++files;
    EXPECT_TRUE(s.want.count(path) && s.want.at(path) == bytes) << path << ": " << bytes.size() << " bytes";
  }
  EXPECT_EQ(r.files, files);
  const auto recorded = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
  for (const auto& [path, bytes] : s.want) {
    const std::string folder = path.substr(0, path.find('/'));
    const bool timed = fs::exists(out + "/" + folder) && fs::last_write_time(out + "/" + folder) < recorded;
    EXPECT_TRUE(!timed || got.count(path)) << folder << " has its time without " << path;
  }
}

}  // namespace

// Cancelled while the writers fill files, whatever the moment: no file is
// left half-written, and no folder takes its time before its files are in.
TEST(CopyIso, CancelWhileFilesAreWrittenSideBySideLeavesOnlyWholeFiles) {
  ScratchDir dir;
  Shelves s(40, 50, [](int d, int i) { return std::size_t(d * 50 + i) * 4099 % 30000; });
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(dir.Write("disc.iso", s.b.Build())));
  CGetCDData e;
  e.SetDevice(&dev);
  const std::string out = dir.File("out");
  ASSERT_TRUE(e.StartFolderCopy(1, s.b.Root().extent, out, 1, false));
  // Some hundred files in (of 2000): the cancel lands while the writers run.
  while (!e.IsStopped() && !fs::exists(out + "/D2/F0.BIN")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  e.Cancel();
  e.Wait();
  const CopyResult r = e.GetResult();
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_NE(r.cancelled, r.finished);
  ExpectOnlyWholeFiles(out, s, r);
}

// A file the destination cannot take, met by a writer, ends the job with
// its path and reason; it is not left half-written, and nothing after it
// changes the error.
TEST(CopyIso, AFileTheDestinationRefusesEndsTheJobWhileWritersRun) {
  ScratchDir dir;
  Shelves s(10, 30, [](int d, int i) { return std::size_t(d * 30 + i) * 997 % 20000; });
  s.Add(*s.b.Find("/D4"), "D4/BIG.BIN", Filled(300 * 1024, 7));
  CDevCmdROM dev(0, nullptr);
  ASSERT_TRUE(dev.SetImageFile(dir.Write("disc.iso", s.b.Build())));
  CGetCDData e;
  e.SetDevice(&dev);
  const std::string out = dir.File("out");
  // No file of this process may grow past 256 KiB until the job is over.
  rlimit was{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
  const rlimit small{256 * 1024, was.rlim_max};
  const auto signal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool started = e.StartFolderCopy(1, s.b.Root().extent, out, 1, false);
  e.Wait();
  ::setrlimit(RLIMIT_FSIZE, &was);
  std::signal(SIGXFSZ, signal);
  ASSERT_TRUE(started);
  const CopyResult r = e.GetResult();
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(r.error, out + "/D4/BIG.BIN: " + std::strerror(EFBIG));
  EXPECT_FALSE(fs::exists(out + "/D4/BIG.BIN"));
  ExpectOnlyWholeFiles(out, s, r);
}
