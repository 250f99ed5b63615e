// Saving tracks from the TOC view: whole tracks on the copy engine behind the
// progress dialog, and what happens when the file cannot be written.
#include <gtest/gtest.h>

#include <filesystem>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/support/CdImages.h"
#include "tests/support/CopyTestDrive.h"
#include "tests/support/MemoryImage.h"
#include "views/CDlgTOC.h"

using namespace testsupport;

namespace {

struct UiScope {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  UiScope() : prev(ui::Ui::Install(&hui)) { hui.SetRealTimeTimers(true); }
  ~UiScope() { ui::Ui::Install(prev); }
};

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Data track 1 (sectors 0-39) and audio track 2 (40-99).
std::unique_ptr<CDevCmdROM> MixedDisc(const Bytes& user, const Bytes& pcm) {
  auto data = MemoryTrack(1, orvane::TrackMode::Mode1, 0, 40, std::make_shared<MemoryImageFile>(user),
                          orvane::StoredFormat::UserData2048, 2048);
  auto audio = MemoryTrack(2, orvane::TrackMode::Audio, 40, 60, std::make_shared<MemoryImageFile>(pcm),
                           orvane::StoredFormat::Audio2352, 2352);
  return RecordedDevice(MemoryDisc({data, audio}), nullptr);
}

}  // namespace

TEST(PanelTocSave, EachRowIsSavedWithItsLastSector) {
  UiScope ui;
  ScratchDir dir;
  const Bytes user = PatternSectors(0, 40), pcm = AudioSectors(60, 4);
  auto dev = MixedDisc(user, pcm);
  CDlgTOC toc;
  toc.SetDevice(dev.get());
  ASSERT_EQ(toc.List().GetItemCount(), 2);
  EXPECT_EQ(toc.List().GetItemText(0, 4), "39");

  toc.List().UserClick(0);
  ui.hui.QueueFileChoice(dir.File("Track1.iso"));
  toc.SaveTrack();
  EXPECT_EQ(ReadWholeFile(dir.File("Track1.iso")), Str(user));
  EXPECT_EQ(ui.hui.ModalRuns(), std::vector<int>{CDlgProgress::kTemplateId});
  EXPECT_FALSE(ui.hui.HasTimer(toc, CDlgTOC::kProgressTimer));

  toc.List().UserClick(1);
  ui.hui.QueueFileChoice(dir.File("a.wav"));
  toc.SaveTrack();
  const std::string wav = ReadWholeFile(dir.File("a.wav"));
  ASSERT_EQ(wav.size(), 44u + 60 * 2352);
  EXPECT_EQ(GetLE32(wav.data() + 40), 60u * 2352);
  EXPECT_TRUE(wav.compare(44, std::string::npos, Str(pcm)) == 0);

  // The same audio row to a .dat file: the raw sectors without a header.
  ui.hui.QueueFileChoice(dir.File("a.dat"));
  toc.SaveTrack();
  EXPECT_TRUE(ReadWholeFile(dir.File("a.dat")) == Str(pcm));
  EXPECT_TRUE(ui.hui.Messages().empty());
  EXPECT_FALSE(toc.Copier().IsRunning());
}

TEST(PanelTocSave, AFileThatCannotBeWrittenClosesTheDialogAndSaysWhy) {
  UiScope ui;
  ScratchDir dir;
  auto dev = MixedDisc(PatternSectors(0, 40), AudioSectors(60, 4));
  CDlgTOC toc;
  toc.SetDevice(dev.get());
  toc.List().UserClick(1);
  const std::string path = dir.File("no/such/folder/a.wav");
  ui.hui.QueueFileChoice(path);
  toc.SaveTrack();
  ASSERT_EQ(ui.hui.Messages().size(), 1u);
  EXPECT_NE(ui.hui.Messages()[0].text.find(path), std::string::npos) << ui.hui.Messages()[0].text;
  EXPECT_EQ(ui.hui.ModalRuns().size(), 1u);
}

TEST(PanelTocSave, TheLastTrackOfAnEarlierSessionEndsAtItsOwnLeadOut) {
  UiScope ui;
  ScratchDir dir;
  const Bytes pcm1 = AudioSectors(20, 1), pcm2 = AudioSectors(20, 2);
  auto dev = RecordedDevice(TwoSessionDisc(pcm1, pcm2, PatternSectors(0, 30)), nullptr);

  CDlgTOC toc;
  toc.SetDevice(dev.get());
  ASSERT_EQ(toc.List().GetItemCount(), 3);
  // The column keeps the next session's first track less one ...
  EXPECT_EQ(toc.List().GetItemText(1, 4), "11459");
  toc.List().UserClick(1);
  ui.hui.QueueFileChoice(dir.File("track2.dat"));
  toc.SaveTrack();
  // ... but the file holds the track and nothing of the unreadable gap.
  EXPECT_TRUE(ReadWholeFile(dir.File("track2.dat")) == Str(pcm2));
  EXPECT_TRUE(ui.hui.Messages().empty());
}
