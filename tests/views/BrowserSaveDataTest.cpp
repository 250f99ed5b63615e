// The browser's "Save Data": audio tracks to WAV, list rows and tree folders
// extracted, the focus rule, the progress poll, cancelling, what the user is
// told when a copy stops short.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "disc/ByteOrder.h"
#include "tests/support/CdImages.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/views/BrowserTestUtil.h"

using namespace browsertest;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

Bytes Filled(std::size_t n, std::uint8_t salt) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 5 + salt) ^ (i >> 10));
  return b;
}
std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

orvane::TrackLayout AudioTrack(int number, std::int32_t start, const Bytes& pcm) {
  auto file = std::make_shared<MemoryImageFile>(pcm);
  return MemoryTrack(number, orvane::TrackMode::Audio, start, static_cast<std::uint32_t>(pcm.size() / 2352), file,
                     orvane::StoredFormat::Audio2352, 2352);
}

struct Fixture {
  UiScope ui;
  ScratchDir dir;
  IsoBuilder b;
  Bytes user;
  std::unique_ptr<CDevCmdROM> dev;
  RecordingTransport* rec = nullptr;
  CDlgMain view;
  Fixture() { ui.hui.SetRealTimeTimers(true); }
  void Load(orvane::DiscLayout l) {
    dev = RecordedDevice(std::move(l), &rec);
    view.LoadDisc(dev.get());
  }
  void LoadIso() {
    user = b.Build();
    Load(MemoryDisc({DataTrack(1, user)}));
  }
  int Row(const std::string& name) {
    for (int r = 0; r < view.List().GetItemCount(); ++r)
      if (view.List().GetItemText(r, 0) == name) return r;
    return -1;
  }
  void FocusTree() { view.OnNotify(CDlgMain::kTreeId, ui::NM_SETFOCUS); }
  void FocusList() { view.OnNotify(CDlgMain::kListId, ui::NM_SETFOCUS); }
};

}  // namespace

TEST(BrowserSaveData, AnAudioTrackIsSavedWholeAsAWavFileWhicheverControlHadTheFocus) {
  Fixture f;
  const Bytes a1 = AudioSectors(300, 1), a2 = AudioSectors(200, 2), a3 = AudioSectors(100, 3);
  f.Load(MemoryDisc({AudioTrack(1, 0, a1), AudioTrack(2, 300, a2), AudioTrack(3, 500, a3)}));
  for (const auto& [node, pcm] : {std::pair{"Session 1/AUDIO TRACK 2", &a2}, std::pair{"Session 1/AUDIO TRACK 3", &a3}}) {
    SCOPED_TRACE(node);
    f.view.SelectNode(Path(f.view.Tree(), node));
    const std::string out = f.dir.File(std::string(node).substr(10) + ".wav");
    f.ui.hui.QueueFileChoice(out);
    f.view.OnSaveData();
    ASSERT_FALSE(f.ui.hui.FileDialogs().empty());
    EXPECT_EQ(f.ui.hui.FileDialogs().back().fileName, "TRACK.wav");
    EXPECT_EQ(f.ui.hui.FileDialogs().back().defaultExt, "wav");
    EXPECT_EQ(f.ui.hui.FileDialogs().back().filter, "Wav Files(*.wav)|*.wav||");
    // The whole track, its last sector included: the next track's start (or
    // the lead-out) is the end of the run.
    const std::string wav = ReadWholeFile(out);
    ASSERT_EQ(wav.size(), 44 + pcm->size());
    EXPECT_EQ(GetLE32(wav.data() + 40), pcm->size());
    EXPECT_TRUE(wav.compare(44, std::string::npos, Str(*pcm)) == 0);
    EXPECT_EQ(f.ui.hui.ModalRuns().back(), CDlgProgress::kTemplateId);
    EXPECT_TRUE(f.ui.hui.Messages().empty());
    EXPECT_FALSE(f.ui.hui.HasTimer(f.view, CDlgMain::kCopyTimer));
    EXPECT_FALSE(f.view.Copier().IsRunning());
  }
  // A session node saves nothing.
  f.ui.hui.ClearRecords();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1"));
  f.FocusTree();
  f.view.OnSaveData();
  EXPECT_TRUE(f.ui.hui.FileDialogs().empty());
  EXPECT_TRUE(f.ui.hui.FolderDialogs().empty());
}

TEST(BrowserSaveData, TheControlWithTheLastFocusDecidesWhatIsExtracted) {
  Fixture f;
  IsoNode& docs = f.b.Folder(f.b.Root(), "DOCS");
  f.b.File(docs, "A.TXT;1", Filled(100, 1));
  f.b.File(docs, "B.BIN;1", Filled(9000, 2));
  f.b.Folder(docs, "SUB");
  f.LoadIso();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  f.view.List().UserClick(f.Row("B.BIN"));

  // Neither control had the focus yet: nothing.
  f.view.OnSaveData();
  EXPECT_TRUE(f.ui.hui.FolderDialogs().empty());

  // The list: its selected file, into the chosen folder.
  f.FocusList();
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  EXPECT_EQ(ReadWholeFile(f.dir.File("B.BIN")), Str(Filled(9000, 2)));

  // The tree: the selected folder with everything below it.
  f.FocusTree();
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  const auto docsTree = ReadTree(f.dir.File("DOCS"));
  EXPECT_TRUE(docsTree == (std::map<std::string, std::string>{
                          {"A.TXT", Str(Filled(100, 1))}, {"B.BIN", Str(Filled(9000, 2))}, {"SUB/", ""}}))
      << TreeSummary(docsTree);
  EXPECT_TRUE(f.ui.hui.Messages().empty());

  // The data track node: a folder named after its whole text.
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  EXPECT_EQ(ReadWholeFile(f.dir.File("DATA TRACK 1(ISO)/DOCS/A.TXT")), Str(Filled(100, 1)));

  // A folder row of the list is extracted as a tree; an existing one is
  // replaced after the question.
  f.FocusList();
  f.view.List().UserClick(f.Row("DOCS"));
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.File("DATA TRACK 1(ISO)")));
  f.ui.hui.QueueMessageBoxAnswer(IDOK);
  f.view.OnSaveData();
  ASSERT_EQ(f.ui.hui.Messages().size(), 1u);
  EXPECT_EQ(f.ui.hui.Messages()[0].text, "File or Directory already Existed, OverWrite it?");
  EXPECT_EQ(ReadWholeFile(f.dir.File("DATA TRACK 1(ISO)/DOCS/B.BIN")), Str(Filled(9000, 2)));
}

TEST(BrowserSaveData, AnExistingFileIsReplacedAfterTheQuestionAndKeptOnCancel) {
  Fixture f;
  f.b.File(f.b.Root(), "A.TXT;1", Filled(100, 1));
  f.LoadIso();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  f.FocusList();
  f.view.List().UserClick(f.Row("A.TXT"));
  const std::string out = f.dir.Write("A.TXT", std::string("old"));
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.ui.hui.QueueMessageBoxAnswer(IDCANCEL);
  f.view.OnSaveData();
  EXPECT_EQ(ReadWholeFile(out), "old");
  EXPECT_TRUE(f.ui.hui.ModalRuns().empty());
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.ui.hui.QueueMessageBoxAnswer(IDOK);
  f.view.OnSaveData();
  EXPECT_EQ(ReadWholeFile(out), Str(Filled(100, 1)));
}

TEST(BrowserSaveData, ATargetThatCannotBeMadeClosesTheDialogAndSaysWhereAndWhy) {
  Fixture f;
  f.b.Folder(f.b.Root(), "DOCS");
  f.LoadIso();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)/DOCS"));
  f.FocusTree();
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.File("gone/away")));
  f.view.OnSaveData();
  ASSERT_EQ(f.ui.hui.Messages().size(), 1u);
  const std::string& text = f.ui.hui.Messages()[0].text;
  EXPECT_NE(text.find(f.dir.File("gone/away/DOCS")), std::string::npos) << text;
  EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
  EXPECT_EQ(f.ui.hui.Messages()[0].Icon(), ui::MB_ICONINFORMATION);
}

TEST(BrowserSaveData, UnreadableSectorsAreReportedWithTheFilesThatHoldThem) {
  Fixture f;
  IsoNode& hurt = f.b.File(f.b.Root(), "HURT.BIN;1", Filled(10 * 2048, 1));
  f.b.File(f.b.Root(), "FINE.BIN;1", Filled(2048, 2));
  f.user = f.b.Build();
  orvane::DiscLayout l = MemoryDisc({DataTrack(1, f.user)});
  l.badSectors.push_back({static_cast<std::int32_t>(hurt.extent + 3), 2});
  f.Load(l);
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  f.FocusTree();
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  ASSERT_EQ(f.ui.hui.Messages().size(), 1u);
  const std::string& text = f.ui.hui.Messages()[0].text;
  EXPECT_NE(text.find("2 sectors could not be read"), std::string::npos) << text;
  EXPECT_NE(text.find(f.dir.File("DATA TRACK 1(ISO)/HURT.BIN") + ": 2"), std::string::npos) << text;
  EXPECT_EQ(text.find("FINE.BIN"), std::string::npos) << text;
}

TEST(BrowserSaveData, CancelEndsTheWorkerBeforeTheCommandReturnsAndKeepsFinishedFiles) {
  Fixture f;
  f.b.File(f.b.Root(), "A.BIN;1", Filled(40 * 2048, 1));
  IsoNode& b = f.b.File(f.b.Root(), "B.BIN;1", Filled(200 * 2048, 2));
  f.LoadIso();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  f.FocusTree();
  // Held in B's second run.
  const std::uint32_t at = b.extent + 16;
  f.rec->HoldWhen([at](const RecordingTransport::Read& r) { return r.lba == at; });
  std::thread release;
  f.ui.hui.QueueModalAction([&](ui::Dialog& d) {
    f.rec->WaitHeld();
    static_cast<CDlgProgress&>(d).CancelButton().Click();
    // Let the worker go once the command has asked it to stop.
    release = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      f.rec->Release();
    });
  });
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  release.join();
  EXPECT_FALSE(f.view.Copier().IsRunning());
  EXPECT_TRUE(f.view.Copier().GetResult().cancelled);
  const auto tree = ReadTree(f.dir.File("DATA TRACK 1(ISO)"));
  EXPECT_TRUE(tree == (std::map<std::string, std::string>{{"A.BIN", Str(Filled(40 * 2048, 1))}})) << TreeSummary(tree);
  EXPECT_TRUE(f.ui.hui.Messages().empty());
  EXPECT_FALSE(f.ui.hui.HasTimer(f.view, CDlgMain::kCopyTimer));
}

TEST(BrowserSaveData, TheTimerShowsTheItemAndThePercentageWhileTheCopyRuns) {
  Fixture f;
  IsoNode& big = f.b.File(f.b.Root(), "BIG.BIN;1", Filled(160 * 2048, 1));
  f.LoadIso();
  f.view.SelectNode(Path(f.view.Tree(), "Session 1/DATA TRACK 1(ISO)"));
  f.FocusTree();
  const std::uint32_t half = big.extent + 80;
  f.rec->HoldWhen([half](const RecordingTransport::Read& r) { return r.lba == half; });
  f.ui.hui.QueueModalAction([&](ui::Dialog&) {
    f.rec->WaitHeld();
    f.view.OnTimer(CDlgMain::kCopyTimer);
    EXPECT_EQ(f.view.ProgressDialog().Progress().GetPos(), 50);
    EXPECT_EQ(f.view.ProgressDialog().Caption().GetWindowText(), f.dir.File("DATA TRACK 1(ISO)/BIG.BIN"));
    f.rec->Release();
  });
  f.ui.hui.QueueFolderChoice(fs::path(f.dir.Path()));
  f.view.OnSaveData();
  EXPECT_EQ(f.ui.hui.ModalRuns().size(), 1u);
  EXPECT_EQ(ReadWholeFile(f.dir.File("DATA TRACK 1(ISO)/BIG.BIN")), Str(Filled(160 * 2048, 1)));
}
