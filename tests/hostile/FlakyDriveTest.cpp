// A drive that fails, times out or returns short or garbage data at random
// points while a disc is loaded and browsed, copied, scanned and played: the
// program stays responsive (every call returns, within a bounded number of
// commands), says what failed, keeps what it already wrote, and is itself
// again once the drive behaves.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>

#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "platform/audio/NullWaveDevice.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/VirtualDrive.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/hostile/FlakyTransport.h"
#include "tests/support/CdImages.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/IsoBuilder.h"
#include "tests/support/MemoryImage.h"
#include "tests/support/UdfBuilder.h"
#include "views/CDlgAudioPlayReader.h"
#include "views/CDlgMain.h"
#include "views/CDlgScanDiscWorker.h"

namespace {

using namespace testsupport;
using hostile::FlakyTransport;
using orvane::StoredFormat;
using orvane::TrackMode;

constexpr int kSeeds = 24;
constexpr std::uint64_t kMostCommands = 200000;  // what a load of these small discs may ever take

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) {}
  ~UiScope() { ui::Ui::Install(prev); }
};

// The data track of MixedDisc starts here; its volume's addresses are the disc's.
constexpr std::uint32_t kDataStart = 450;

IsoBuilder SampleIso() {
  IsoBuilder b;
  b.joliet = true;
  b.firstLba = kDataStart;
  IsoNode& docs = b.Folder(b.Root(), "DOCS");
  b.File(docs, "README.TXT;1", PatternSectors(0, 3, 2048, 7));
  IsoNode& deep = b.Folder(docs, "DEEP");
  b.File(deep, "LEAF.BIN;1", PatternSectors(0, 20, 2048, 9));
  for (int i = 0; i < 40; ++i) b.File(b.Root(), "F" + std::to_string(i) + ".DAT;1", Bytes(100 + i, 'a' + i % 26));
  return b;
}

// Audio tracks with CD-TEXT, then a data track holding the given volume.
orvane::DiscLayout MixedDisc(const Bytes& volume) {
  auto audio = std::make_shared<MemoryImageFile>(AudioSectors(300, 3));
  auto data = std::make_shared<MemoryImageFile>(volume);
  auto l = MemoryDisc({MemoryTrack(1, TrackMode::Audio, 0, 150, audio, StoredFormat::Audio2352, 2352),
                       MemoryTrack(2, TrackMode::Audio, 150, 150, audio, StoredFormat::Audio2352, 2352),
                       MemoryTrack(3, TrackMode::Mode1, kDataStart, static_cast<std::uint32_t>(volume.size() / 2048),
                                   data, StoredFormat::UserData2048, 2048, 150)});
  l.tracks[1].extents[0].offset = 150 * 2352;
  for (const char* title : {"Disc", "One", "Two"}) {
    orvane::CdTextEntry e;
    e.title = title;
    e.performer = "Band";
    l.cdText.push_back(e);
  }
  l.cdTextPacks = orvane::BuildCdTextPacks(l.cdText);
  return l;
}

struct Drive {
  FlakyTransport* flaky = nullptr;
  std::unique_ptr<CDevCmdROM> device;
};
Drive FlakyDevice(orvane::DiscLayout layout, std::uint32_t seed, int oneIn, bool garbage) {
  auto t = std::make_unique<FlakyTransport>(orvane::CreateVirtualDrive(std::move(layout), "memory"), seed, oneIn, garbage);
  Drive d;
  d.flaky = t.get();
  d.device = std::make_unique<CDevCmdROM>(1, std::move(t));
  return d;
}

std::string TreeText(ui::TreeCtrl& t, ui::HTREEITEM parent = ui::TVI_ROOT, int depth = 0) {
  std::string out;
  for (ui::HTREEITEM c = t.GetChildItem(parent); c; c = t.GetNextSiblingItem(c)) {
    out += std::string(2 * depth, ' ') + t.GetItemText(c) + "\t" + std::to_string(t.GetItemData(c)) + "\n";
    out += TreeText(t, c, depth + 1);
  }
  return out;
}
void SelectEveryNode(CDlgMain& view, ui::HTREEITEM parent = ui::TVI_ROOT) {
  for (ui::HTREEITEM c = view.Tree().GetChildItem(parent); c; c = view.Tree().GetNextSiblingItem(c)) {
    view.SelectNode(c);
    SelectEveryNode(view, c);
  }
}
std::string Listing(CDlgMain& view) {
  std::string out;
  for (int r = 0; r < view.List().GetItemCount(); ++r)
    for (int c = 0; c < view.List().GetColumnCount(); ++c) out += view.List().GetItemText(r, c) + (c + 1 < view.List().GetColumnCount() ? "|" : "\n");
  return out;
}

}  // namespace

// Loading, then every node selected and listed, with one command in five or
// seven going wrong; then the same view on the same drive once it behaves
// shows exactly the clean disc: nothing of the bad load stays behind.
TEST(FlakyDrive, LoadingAndListingEndAndLeaveNothingBehind) {
  UiScope ui;
  UdfNode udfRoot = UdfNode::Dir("", {UdfNode::Dir("sub", {UdfNode::File("deep.txt", "deep")}),
                                      UdfNode::File("a.txt", "hello")});
  UdfBuildOptions at;
  at.volumeStart = kDataStart;
  Bytes udf = BuildUdfImage(udfRoot, at).bytes;
  udf.erase(udf.begin(), udf.begin() + std::size_t{kDataStart} * 2048);  // the track holds the volume only
  const Bytes volumes[] = {SampleIso().Build(), udf};
  std::uint64_t faults = 0;
  for (const Bytes& volume : volumes) {
    std::string cleanTree, cleanList;
    {
      Drive d = FlakyDevice(MixedDisc(volume), 0, 1 << 30, true);
      CDlgMain view;
      view.LoadDisc(d.device.get());
      cleanTree = TreeText(view.Tree());
      view.SelectNode(view.Tree().GetChildItem(view.Tree().GetNextSiblingItem(view.Tree().GetChildItem(
          view.Tree().GetChildItem(ui::TVI_ROOT)))));
      cleanList = Listing(view);
      ASSERT_NE(cleanTree.find("DATA TRACK 3"), std::string::npos) << cleanTree;
    }
    for (std::uint32_t seed = 1; seed <= kSeeds; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      Drive d = FlakyDevice(MixedDisc(volume), seed, seed % 2 ? 5 : 7, true);
      CDlgMain view;
      view.LoadDisc(d.device.get());
      SelectEveryNode(view);
      faults += d.flaky->Faults();
      EXPECT_LT(d.flaky->Commands(), kMostCommands);

      d.flaky->Enable(false);
      ui.hui.ClearRecords();
      view.LoadDisc(d.device.get());
      EXPECT_EQ(TreeText(view.Tree()), cleanTree);
      view.SelectNode(view.Tree().GetChildItem(view.Tree().GetNextSiblingItem(view.Tree().GetChildItem(
          view.Tree().GetChildItem(ui::TVI_ROOT)))));
      EXPECT_EQ(Listing(view), cleanList);
      EXPECT_TRUE(ui.hui.Messages().empty());
    }
  }
  EXPECT_GT(faults, std::uint64_t{kSeeds});  // the drive did go bad, often
}

// A read of whole sectors that brings only part of them is a failed read:
// the rest of the buffer is not the medium's.
TEST(FlakyDrive, APartialTransferOfWholeSectorsIsAFailedRead) {
  Drive d = FlakyDevice(MixedDisc(IsoVolume(30)), 5, 1, false);
  d.flaky->Force(hostile::Fault::Short);
  std::vector<unsigned char> buf(4 * 2352);
  EXPECT_NE(d.device->ReadCD_10(buf.data(), 4 * 2048, 4, kDataStart), 0);
  EXPECT_EQ(d.device->GetSenseData().key, 0x03);
  EXPECT_EQ(d.device->GetSenseData().asc, 0x11);
  EXPECT_NE(d.device->ReadCD_All(buf.data(), 4 * 2352, 4, 0), 0);
  d.flaky->Enable(false);
  EXPECT_EQ(d.device->ReadCD_10(buf.data(), 4 * 2048, 4, kDataStart), 0);
  EXPECT_EQ(d.device->ReadCD_All(buf.data(), 4 * 2352, 4, 0), 0);
}

// A drive that is not ready when the disc is loaded is said so, once.
TEST(FlakyDrive, ANotReadyDriveIsReported) {
  UiScope ui;
  Drive d = FlakyDevice(MixedDisc(SampleIso().Build()), 3, 1, false);
  d.flaky->Force(hostile::Fault::NotReady);
  CDlgMain view;
  view.LoadDisc(d.device.get());
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_EQ(ui.hui.Messages()[0].text, "Device not Ready,Please try again!");
  EXPECT_EQ(view.Tree().GetCount(), 0);
}

// Folder copies under faults that a drive reports (errors, time-outs, short
// transfers): every job ends; every file written either holds exactly the
// medium's bytes or is named among the damaged ones; a file beside the
// target is never touched.
TEST(FlakyDrive, CopiesEndAndEveryUndamagedFileIsExact) {
  IsoBuilder b = SampleIso();
  const Bytes volume = b.Build();
  ScratchDir dir;
  const std::string beside = dir.Write("beside.txt", std::string("keep me"));
  std::map<std::string, std::string> clean;
  {
    Drive d = FlakyDevice(MixedDisc(volume), 0, 1 << 30, false);
    CGetCDData e;
    e.SetDevice(d.device.get());
    ASSERT_TRUE(e.StartFolderCopy(1, b.Root().extent, dir.File("clean"), 1, false, kDataStart));
    e.Wait();
    ASSERT_TRUE(e.GetResult().finished) << e.GetResult().error;
    clean = ReadTree(dir.File("clean"));
    ASSERT_EQ(clean.count("DOCS/DEEP/LEAF.BIN"), 1u) << TreeSummary(clean);
  }
  for (std::uint32_t seed = 1; seed <= kSeeds / 4; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Drive d = FlakyDevice(MixedDisc(volume), seed, 6, false);
    d.flaky->SetQuiet(1);  // the job starts: the readiness question is answered
    CGetCDData e;
    e.SetDevice(d.device.get());
    const std::string out = dir.File("run" + std::to_string(seed));
    if (!e.StartFolderCopy(1, b.Root().extent, out, 1, false, kDataStart)) continue;
    e.Wait();
    const CopyResult r = e.GetResult();
    EXPECT_TRUE(e.IsStopped());
    std::set<std::string> damaged;
    for (const CopyDamage& dmg : r.damaged) damaged.insert(std::filesystem::path(dmg.path).lexically_relative(out).string());
    for (const auto& [path, bytes] : ReadTree(out)) {
      if (path.back() == '/' || damaged.count(path)) continue;
      ASSERT_EQ(clean.count(path), 1u) << path << " is no file of the volume";
      EXPECT_TRUE(bytes == clean[path]) << path << " differs from the medium but is not reported damaged";
    }
    if (r.failed) {
      EXPECT_FALSE(r.error.empty());
    }
  }
  EXPECT_EQ(ReadWholeFile(beside), "keep me");
}

// The scan over a drive that fails at random reports only sectors whose own
// read failed, and always runs to an outcome.
TEST(FlakyDrive, ScansEndAndReportOnlySectorsThatFailedAlone) {
  for (std::uint32_t seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Drive d = FlakyDevice(MixedDisc(SampleIso().Build()), seed, 9, false);
    std::atomic<bool> stop{false};
    DiscScanner scan(*d.device, stop);
    std::vector<std::uint32_t> bad;
    ScanHooks hooks;
    hooks.badSector = [&](std::uint32_t lba, const SenseData_tag&) { bad.push_back(lba); };
    scan.Run(hooks);
    const auto failed = d.flaky->FailedSingleReads();
    for (std::uint32_t lba : bad) EXPECT_EQ(failed.count(lba), 1u) << "sector " << lba << " was read without error";
    EXPECT_LT(d.flaky->Commands(), kMostCommands);
  }
}

// Playing over a drive that fails at random: every start ends its reader,
// the output is closed, and a drive that behaves again plays the track.
TEST(FlakyDrive, PlayingEndsAndTheOutputIsClosed) {
  audio::NullWaveOptions o;
  o.pace = audio::NullPace::Instant;
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    audio::NullWaveDevice wave(o);
    Drive d = FlakyDevice(MixedDisc(IsoVolume(30)), seed, 4, true);
    ui::TreeCtrl tree;
    ui::HTREEITEM session = tree.InsertItem("Session 1");
    ui::HTREEITEM track = tree.InsertItem("AUDIO TRACK 1", session);
    tree.InsertItem("AUDIO TRACK 2", session);
    tree.SelectItem(track);
    {
      AudioTrackPlayer player(wave);
      player.SetDevice(d.device.get(), &tree);
      if (player.Play() == PlayStart::Started) {
        EXPECT_TRUE(player.WaitForEnd(20000));
      }
      player.PlayNext();
      player.Stop();
      EXPECT_FALSE(player.IsPlaying());
      EXPECT_EQ(wave.LiveOutputs(), 0u);

      d.flaky->Enable(false);
      tree.SelectItem(track);
      const std::size_t before = wave.BytesPlayed();
      ASSERT_EQ(player.Play(), PlayStart::Started);
      EXPECT_TRUE(player.WaitForEnd(20000));
      EXPECT_GE(wave.BytesPlayed() - before, std::size_t{150} * 2352 - AudioTrackPlayer::kSecondBytes);
    }
    EXPECT_EQ(wave.LiveOutputs(), 0u);
  }
}
