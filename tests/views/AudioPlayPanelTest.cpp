// The player bar made from its template: the buttons and the slider drive the
// player, the device messages are shown, and the slider follows the reader.
#include <gtest/gtest.h>

#include <thread>

#include "platform/audio/NullWaveDevice.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgAudioPlay.h"

namespace {

using namespace std::chrono_literals;
using paneltest::PanelTestDrive;

struct BarHost {
  ui::HeadlessUi hui;
  ui::Ui* prev;
  ui::Window window;
  paneltest::TestDevice td = paneltest::MakeTestDevice();
  ui::TreeCtrl tree;
  ui::HTREEITEM track[3] = {};
  BarHost() : prev(ui::Ui::Install(&hui)) {
    window.CreateWindowAt(nullptr, ui::Rect(0, 0, 241, 21), 0, false);
    td.drive->capacity = 1000;
    td.drive->trackInfo[1] = PanelTestDrive::TrackInfo(1, 1, 0, 0, 0, 40);
    td.drive->trackInfo[2] = PanelTestDrive::TrackInfo(1, 2, 0, 0, 40, 160);
    const auto session = tree.InsertItem("Session 1");
    track[1] = tree.InsertItem("AUDIO TRACK 1", session);
    track[2] = tree.InsertItem("AUDIO TRACK 2", session);
  }
  ~BarHost() {
    window.DestroyWindow();
    ui::Ui::Install(prev);
  }
  // Makes the bar in the host, hands it the device and tree, selects track n.
  void Open(CDlgAudioPlay& bar, int n) {
    ASSERT_TRUE(bar.Create(CDlgAudioPlay::kTemplateId, &window));
    bar.SetDevice(td.device.get(), &tree);
    tree.SelectItem(track[n]);
  }
  // Runs posted work until the player has ended (or time runs out).
  bool PumpUntilEnd(CDlgAudioPlay& bar) {
    for (int i = 0; i < 500; ++i) {
      hui.WaitForPosted(10ms);
      hui.RunPosted();
      if (!bar.Player().IsPlaying()) {
        hui.RunPosted();
        return true;
      }
    }
    return false;
  }
};

audio::NullWaveOptions Paced(audio::NullPace pace) {
  audio::NullWaveOptions o;
  o.pace = pace;
  return o;
}
audio::NullWaveOptions Instant() { return Paced(audio::NullPace::Instant); }
audio::NullWaveOptions Manual() { return Paced(audio::NullPace::Manual); }

TEST(AudioPlayPanel, FillsItsHostAndSetsUpTheSlider) {
  BarHost host;
  audio::NullWaveDevice wave(Instant());
  CDlgAudioPlay bar(nullptr, &wave);
  ASSERT_TRUE(bar.Create(CDlgAudioPlay::kTemplateId, &host.window));
  EXPECT_EQ(bar.GetRect(), ui::Rect(0, 0, 241, 21));
  EXPECT_EQ(bar.Slider().GetRangeMin(), 0);
  EXPECT_EQ(bar.Slider().GetRangeMax(), 100);
  EXPECT_EQ(bar.Slider().GetBackgroundColor(), ui::RGB(100, 125, 142));
  for (int id : {CDlgAudioPlay::kPreId, CDlgAudioPlay::kPlayId, CDlgAudioPlay::kPauseId, CDlgAudioPlay::kStopId,
                 CDlgAudioPlay::kNextId})
    EXPECT_EQ(bar.GetDlgItem(id), &bar.ButtonOf(id)) << id;
  EXPECT_EQ(bar.GetDlgItem(CDlgAudioPlay::kSliderId), &bar.Slider());
}

TEST(AudioPlayPanel, PlayButtonPlaysTheSelectedTrackAndTheSliderReachesTheEnd) {
  BarHost host;
  audio::NullWaveDevice wave(Instant());
  CDlgAudioPlay bar(nullptr, &wave);
  host.Open(bar, 2);
  bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
  ASSERT_TRUE(host.PumpUntilEnd(bar));
  EXPECT_EQ(bar.Slider().GetPos(), 100);
  EXPECT_EQ(wave.BytesPlayed(), 160u * 2352);
  EXPECT_TRUE(host.hui.Messages().empty());

  bar.ButtonOf(CDlgAudioPlay::kPreId).Click();
  EXPECT_EQ(host.tree.GetSelectedItem(), host.track[1]);
  ASSERT_TRUE(host.PumpUntilEnd(bar));
  EXPECT_EQ(wave.BytesPlayed(), 200u * 2352);
  bar.ButtonOf(CDlgAudioPlay::kNextId).Click();
  EXPECT_EQ(host.tree.GetSelectedItem(), host.track[2]);
  bar.ButtonOf(CDlgAudioPlay::kStopId).Click();
  EXPECT_FALSE(bar.Player().IsPlaying());
  EXPECT_EQ(wave.LiveOutputs(), 0u);
}

TEST(AudioPlayPanel, PauseButtonHoldsAndPlayResumes) {
  BarHost host;
  audio::NullWaveDevice wave(Manual());
  CDlgAudioPlay bar(nullptr, &wave);
  host.Open(bar, 2);
  bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
  bar.ButtonOf(CDlgAudioPlay::kPauseId).Click();
  EXPECT_TRUE(bar.Player().IsPaused());
  wave.Grant(1000000);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(wave.BytesPlayed(), 0u);
  bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
  ASSERT_TRUE(host.PumpUntilEnd(bar));
  EXPECT_EQ(wave.BytesPlayed(), 160u * 2352);
  EXPECT_EQ(wave.OpenCount(), 1u);
}

TEST(AudioPlayPanel, SliderReleaseSeeks) {
  BarHost host;
  audio::NullWaveDevice wave(Manual());
  CDlgAudioPlay bar(nullptr, &wave);
  host.Open(bar, 2);  // 160 sectors from 40
  bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
  bar.Slider().UserDrag(50);
  EXPECT_EQ(bar.Slider().GetPos(), 50);
  bar.Slider().UserRelease();
  EXPECT_EQ(bar.Player().Cursor(), 120u);
}

TEST(AudioPlayPanel, DeviceProblemsShowTheirMessages) {
  struct Case {
    audio::NullWaveOptions options;
    const char* text;
  };
  audio::NullWaveOptions none;
  none.devices = 0;
  audio::NullWaveOptions mono;
  mono.caps = {"mono", 1, 0xFFFFF};
  audio::NullWaveOptions refusing;
  refusing.failOpen = true;
  for (const Case& c : {Case{none, "No Wave Device!"}, Case{mono, "Not find appropriate Device!"},
                        Case{refusing, "Open wave device error!"}}) {
    BarHost host;
    audio::NullWaveDevice wave(c.options);
    CDlgAudioPlay bar(nullptr, &wave);
    host.Open(bar, 1);
    bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
    ASSERT_EQ(host.hui.Messages().size(), 1u);
    EXPECT_EQ(host.hui.Messages()[0].text, c.text);
    EXPECT_EQ(host.hui.Messages()[0].Icon(), ui::MB_ICONINFORMATION);
    EXPECT_FALSE(bar.Player().IsPlaying());
  }
}

TEST(AudioPlayPanel, ClosingTheWindowStopsThePlayerFirst) {
  BarHost host;
  audio::NullWaveDevice wave(Manual());
  CDlgAudioPlay bar(nullptr, &wave);
  host.Open(bar, 2);
  bar.ButtonOf(CDlgAudioPlay::kPlayId).Click();
  EXPECT_TRUE(bar.Player().IsPlaying());
  host.window.DestroyWindow();
  EXPECT_FALSE(bar.Player().IsPlaying());
  EXPECT_EQ(wave.LiveOutputs(), 0u);
  host.hui.RunPosted();  // a late slider post finds no window and does nothing
}

}  // namespace
