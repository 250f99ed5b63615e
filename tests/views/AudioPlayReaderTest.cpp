// The audio track player over an in-memory drive, a browser-shaped tree and
// the null wave device: which track plays, what is heard, and how starts,
// Pause, Stop and seeking hand the reader and the output over.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/audio/AlsaWaveDevice.h"
#include "platform/audio/NullWaveDevice.h"
#include "tests/views/PanelTestDrive.h"
#include "views/CDlgAudioPlayReader.h"

namespace {

using namespace std::chrono_literals;
using paneltest::PanelTestDrive;
constexpr std::size_t kSector = AudioTrackPlayer::kSectorBytes;

// The bytes the test drive returns for sectors [start, start + count).
std::vector<std::uint8_t> TrackPcm(std::uint32_t start, std::uint32_t count, std::uint8_t fill = 0) {
  std::vector<std::uint8_t> out(std::size_t{count} * kSector);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::uint8_t>(fill ^ ((start + i / kSector) & 0xFF) ^ (i % kSector));
  return out;
}

audio::NullWaveOptions Pace(audio::NullPace pace) {
  audio::NullWaveOptions o;
  o.pace = pace;
  return o;
}

// A disc of two sessions as the browser shows it: session 1 holds audio
// tracks 1-3, session 2 a data track 4.
class AudioPlayTest : public ::testing::Test {
 protected:
  explicit AudioPlayTest(audio::NullWaveOptions wave = Pace(audio::NullPace::Instant))
      : m_Wave(wave), m_Player(m_Wave) {}

  void SetUp() override {
    auto td = paneltest::MakeTestDevice();
    m_Drive = td.drive;
    m_Device = std::move(td.device);
    m_Drive->capacity = 40000;
    SetTrack(1, 0, 40);
    SetTrack(2, 100, 200);
    SetTrack(3, 20000, 10000);
    m_Drive->trackInfo[4] = PanelTestDrive::TrackInfo(2, 4, 4, 1, 30500, 1000);

    m_Session1 = m_Tree.InsertItem("Session 1");
    m_Track[1] = m_Tree.InsertItem("AUDIO TRACK 1", m_Session1);
    m_Track[2] = m_Tree.InsertItem("AUDIO TRACK 2", m_Session1);
    m_Track[3] = m_Tree.InsertItem("AUDIO TRACK 3", m_Session1);
    m_Session2 = m_Tree.InsertItem("Session 2");
    m_Track[4] = m_Tree.InsertItem("DATA TRACK 4", m_Session2);
    m_Player.SetDevice(m_Device.get(), &m_Tree);
  }
  void TearDown() override {
    m_Player.Stop();
    EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
  }

  void SetTrack(int n, std::uint32_t start, std::uint32_t size) {
    m_Drive->trackInfo[n] = PanelTestDrive::TrackInfo(1, n, 0, 0, start, size);
  }
  // The lba of every sector read, in order.
  std::vector<std::uint32_t> ReadLbas() const {
    std::vector<std::uint32_t> lbas;
    for (const auto& r : m_Drive->Reads()) {
      EXPECT_EQ(r.opcode, 0xBE);
      EXPECT_EQ(r.count, 1u) << "sectors are read one per command";
      lbas.push_back(r.lba);
    }
    return lbas;
  }
  void WaitReads(std::size_t n) {
    for (int i = 0; i < 1000 && m_Drive->Reads().size() < n; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_GE(m_Drive->Reads().size(), n);
  }

  audio::NullWaveDevice m_Wave;
  AudioTrackPlayer m_Player;
  PanelTestDrive* m_Drive = nullptr;
  std::unique_ptr<CDevCmdROM> m_Device;
  ui::TreeCtrl m_Tree;
  ui::HTREEITEM m_Session1 = nullptr, m_Session2 = nullptr;
  ui::HTREEITEM m_Track[5] = {};
};

class AudioPlayManualTest : public AudioPlayTest {
 protected:
  AudioPlayManualTest() : AudioPlayTest(Pace(audio::NullPace::Manual)) {}
};

TEST(AudioTrackOfItemTest, ReadsTheNumberOfAudioTrackItemsOnly) {
  ui::TreeCtrl tree;
  const auto session = tree.InsertItem("Session 1");
  const auto five = tree.InsertItem("AUDIO TRACK 5", session);
  const auto twelve = tree.InsertItem("AUDIO TRACK 12 (4:33)", session);
  const auto data = tree.InsertItem("DATA TRACK 1", session);
  const auto folder = tree.InsertItem("AUDIO TRACK 6", session);
  tree.SetItemData(folder, 1234);  // a folder named like a track is a folder
  const auto bare = tree.InsertItem("AUDIO TRACK", session);
  const auto inside = tree.InsertItem("My AUDIO TRACK 7", session);
  const auto huge = tree.InsertItem("AUDIO TRACK 99999999999999", session);
  EXPECT_EQ(AudioTrackOfItem(tree, five), 5);
  EXPECT_EQ(AudioTrackOfItem(tree, twelve), 12);
  EXPECT_EQ(AudioTrackOfItem(tree, data), 0);
  EXPECT_EQ(AudioTrackOfItem(tree, session), 0);
  EXPECT_EQ(AudioTrackOfItem(tree, folder), 0);
  EXPECT_EQ(AudioTrackOfItem(tree, bare), 0);
  EXPECT_EQ(AudioTrackOfItem(tree, inside), 0);  // the number is read past the first 11 characters
  EXPECT_EQ(AudioTrackOfItem(tree, huge), 0);
  EXPECT_EQ(AudioTrackOfItem(tree, nullptr), 0);
  tree.DeleteItem(five);
  EXPECT_EQ(AudioTrackOfItem(tree, five), 0);  // a stale handle
}

TEST_F(AudioPlayTest, ShortTrackPlaysAsOneSecondAndEndsAtOneHundred) {
  std::vector<int> positions;
  std::mutex m;
  m_Player.SetPositionListener([&](int p) {
    std::lock_guard lock(m);
    positions.push_back(p);
  });
  m_Tree.SelectItem(m_Track[1]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Player.Position(), 100);
  {
    std::lock_guard lock(m);
    EXPECT_EQ(positions, std::vector<int>{100});
  }
  const auto outputs = m_Wave.Outputs();
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0], TrackPcm(0, 40)) << "the last second is the sectors read, no padding";
  std::vector<std::uint32_t> expected;
  for (std::uint32_t l = 0; l < 40; ++l) expected.push_back(l);
  EXPECT_EQ(ReadLbas(), expected);
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u) << "the reader closed the output at the end";
}

TEST_F(AudioPlayTest, DeliveredPcmEqualsTheTrackAndTheSliderFollowsEachSecond) {
  std::vector<int> positions;
  std::mutex m;
  m_Player.SetPositionListener([&](int p) {
    std::lock_guard lock(m);
    positions.push_back(p);
  });
  m_Tree.SelectItem(m_Track[2]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  EXPECT_EQ(m_Player.Start(), 100u);
  EXPECT_EQ(m_Player.End(), 300u);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  EXPECT_EQ(m_Wave.Played(), TrackPcm(100, 200));
  std::lock_guard lock(m);
  EXPECT_EQ(positions, (std::vector<int>{37, 75, 100}));  // 75, 150 and 200 of 200 sectors
}

TEST_F(AudioPlayTest, UnreadableSectorIsHeardAsSilence) {
  m_Drive->bad[150] = {3, 0x11, 5};
  m_Tree.SelectItem(m_Track[2]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  auto expected = TrackPcm(100, 200);
  std::fill(expected.begin() + 50 * kSector, expected.begin() + 51 * kSector, 0);
  EXPECT_EQ(m_Wave.Played(), expected);
}

TEST_F(AudioPlayTest, NextOnTheLastAudioTrackOfASessionPlaysNothing) {
  m_Tree.SelectItem(m_Track[3]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  EXPECT_EQ(m_Player.PlayNext(), PlayStart::NoTrack);
  EXPECT_FALSE(m_Player.IsPlaying()) << "the track that played was stopped";
  EXPECT_EQ(m_Player.Cursor(), 0u);
  EXPECT_EQ(m_Tree.GetSelectedItem(), m_Track[3]);
  EXPECT_EQ(m_Wave.OpenCount(), 1u);
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);

  m_Tree.SelectItem(m_Track[1]);
  EXPECT_EQ(m_Player.PlayPrev(), PlayStart::NoTrack);  // the first track has no previous sibling
  EXPECT_EQ(m_Tree.GetSelectedItem(), m_Track[1]);
}

TEST_F(AudioPlayTest, PreOnTrackThreePlaysTrackTwoAndMovesTheSelectionUp) {
  m_Tree.SelectItem(m_Track[3]);
  ASSERT_EQ(m_Player.PlayPrev(), PlayStart::Started);
  EXPECT_EQ(m_Tree.GetSelectedItem(), m_Track[2]);
  EXPECT_EQ(m_Player.Start(), 100u);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  EXPECT_EQ(m_Wave.Played(), TrackPcm(100, 200));

  ASSERT_EQ(m_Player.PlayNext(), PlayStart::Started);
  EXPECT_EQ(m_Tree.GetSelectedItem(), m_Track[3]);
  EXPECT_EQ(m_Player.Start(), 20000u);
}

TEST_F(AudioPlayTest, NothingToPlayLeavesThePlayerIdle) {
  m_Tree.SelectItem(m_Track[4]);  // a data track
  EXPECT_EQ(m_Player.Play(), PlayStart::NoTrack);
  m_Tree.SelectItem(m_Session1);
  EXPECT_EQ(m_Player.Play(), PlayStart::NoTrack);
  m_Tree.SelectItem(nullptr);
  EXPECT_EQ(m_Player.Play(), PlayStart::NoTrack);
  EXPECT_EQ(m_Player.PlayNext(), PlayStart::NoTrack);

  m_Drive->trackInfo.erase(2);  // the drive cannot tell where track 2 is
  m_Tree.SelectItem(m_Track[2]);
  EXPECT_EQ(m_Player.Play(), PlayStart::NoTrackInfo);

  AudioTrackPlayer lonely(m_Wave);
  EXPECT_EQ(lonely.Play(), PlayStart::NoTrack);  // no device, no tree
  ui::TreeCtrl empty;
  lonely.SetDevice(m_Device.get(), &empty);
  EXPECT_EQ(lonely.Play(), PlayStart::NoTrack);

  EXPECT_EQ(m_Wave.OpenCount(), 0u);
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Player.Cursor(), 0u);
}

TEST_F(AudioPlayTest, WaveDeviceProblemsGiveTheirMessagesAndPlayNothing) {
  struct Case {
    audio::NullWaveOptions options;
    PlayStart expected;
  };
  std::vector<Case> cases;
  audio::NullWaveOptions none;
  none.devices = 0;
  cases.push_back({none, PlayStart::NoWaveDevice});
  audio::NullWaveOptions mono;
  mono.caps = {"mono", 1, 0xFFFFF};
  cases.push_back({mono, PlayStart::NoSuitableDevice});
  audio::NullWaveOptions noCd;
  noCd.caps = {"48k only", 2, audio::WAVE_FORMAT_48S16};
  cases.push_back({noCd, PlayStart::NoSuitableDevice});
  audio::NullWaveOptions refusing;
  refusing.failOpen = true;
  cases.push_back({refusing, PlayStart::OpenFailed});
  for (const Case& c : cases) {
    audio::NullWaveDevice wave(c.options);
    AudioTrackPlayer player(wave);
    player.SetDevice(m_Device.get(), &m_Tree);
    m_Tree.SelectItem(m_Track[2]);
    EXPECT_EQ(player.Play(), c.expected);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Cursor(), 0u);
    EXPECT_EQ(wave.OpenCount(), 0u);
  }
  // A later device that suits is taken when the first does not.
  audio::NullWaveOptions two;
  two.devices = 2;
  two.deviceCaps = {mono.caps};
  audio::NullWaveDevice wave(two);
  AudioTrackPlayer player(wave);
  player.SetDevice(m_Device.get(), &m_Tree);
  m_Tree.SelectItem(m_Track[1]);
  EXPECT_EQ(player.Play(), PlayStart::Started);
  EXPECT_TRUE(player.WaitForEnd(5000));
  EXPECT_EQ(wave.Played(), TrackPcm(0, 40));
}

TEST_F(AudioPlayManualTest, SliderReleaseSeeksWithinTheTrack) {
  m_Tree.SelectItem(m_Track[3]);  // 10000 sectors from 20000
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  // The first second is queued, the second staged; the reader then waits.
  WaitReads(150);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(m_Drive->Reads().size(), 150u);
  m_Player.Seek(50);
  EXPECT_EQ(m_Player.Cursor(), 25000u);
  m_Wave.Grant(AudioTrackPlayer::kSecondBytes);  // the first second is done
  WaitReads(225);
  const auto lbas = ReadLbas();
  EXPECT_EQ(lbas[149], 20149u);
  EXPECT_EQ(lbas[150], 25000u) << "reading goes on at the released position";
  // What is heard: the staged second still plays before the new position.
  m_Wave.Grant(2 * AudioTrackPlayer::kSecondBytes);
  ASSERT_TRUE(m_Wave.WaitPlayed(3 * AudioTrackPlayer::kSecondBytes, 5s));
  auto expected = TrackPcm(20000, 150);
  const auto after = TrackPcm(25000, 75);
  expected.insert(expected.end(), after.begin(), after.end());
  auto played = m_Wave.Played();
  played.resize(expected.size());
  EXPECT_EQ(played, expected);

  m_Player.Seek(100);
  EXPECT_EQ(m_Player.Cursor(), 30000u);
  m_Player.Seek(0);
  EXPECT_EQ(m_Player.Cursor(), 20000u);
}

TEST_F(AudioPlayManualTest, PauseThenPlayResumesWhereItStopped) {
  m_Tree.SelectItem(m_Track[2]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  m_Wave.Grant(100000);
  ASSERT_TRUE(m_Wave.WaitPlayed(100000, 5s));
  m_Player.Pause();
  EXPECT_TRUE(m_Player.IsPaused());
  const std::size_t atPause = m_Wave.BytesPlayed();
  m_Wave.Grant(10 * AudioTrackPlayer::kSecondBytes);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(m_Wave.BytesPlayed(), atPause) << "nothing is heard while paused";
  EXPECT_TRUE(m_Player.IsPlaying());

  EXPECT_EQ(m_Player.Play(), PlayStart::Started);  // resumes, does not restart
  EXPECT_FALSE(m_Player.IsPaused());
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  EXPECT_EQ(m_Wave.OpenCount(), 1u);
  EXPECT_EQ(m_Wave.Played(), TrackPcm(100, 200)) << "nothing skipped, nothing repeated";
}

TEST_F(AudioPlayManualTest, PlayWhilePlayingRestartsTheTrack) {
  m_Tree.SelectItem(m_Track[2]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  m_Wave.Grant(50000);
  ASSERT_TRUE(m_Wave.WaitPlayed(50000, 5s));
  WaitReads(150);  // the old reader has staged its second second and waits
  m_Drive->ClearReads();
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  EXPECT_EQ(m_Wave.OpenCount(), 2u);
  EXPECT_EQ(m_Wave.LiveOutputs(), 1u) << "the first output was closed before the second opened";
  EXPECT_EQ(m_Player.Cursor() >= 100u, true);
  m_Wave.Grant(10 * AudioTrackPlayer::kSecondBytes);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  const auto outputs = m_Wave.Outputs();
  ASSERT_EQ(outputs.size(), 2u);
  const auto whole = TrackPcm(100, 200);
  EXPECT_EQ(outputs[0], std::vector<std::uint8_t>(whole.begin(), whole.begin() + 50000));
  EXPECT_EQ(outputs[1], whole);
  EXPECT_EQ(ReadLbas().front(), 100u);
}

TEST_F(AudioPlayManualTest, PauseThenStopKeepsPausedSoTheNextPlayOnlyUnpauses) {
  m_Tree.SelectItem(m_Track[2]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  m_Player.Pause();
  m_Player.Stop();
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_TRUE(m_Player.IsPaused());
  EXPECT_EQ(m_Player.Cursor(), 0u);
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);

  EXPECT_EQ(m_Player.Play(), PlayStart::Started);  // leaves the paused state only
  EXPECT_FALSE(m_Player.IsPaused());
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Wave.OpenCount(), 1u);
  EXPECT_EQ(m_Player.Play(), PlayStart::Started);  // starts the selected track
  EXPECT_TRUE(m_Player.IsPlaying());
  EXPECT_EQ(m_Wave.OpenCount(), 2u);
}

TEST_F(AudioPlayManualTest, StopFromEveryStateEndsTheReaderAndClosesTheOutput) {
  m_Tree.SelectItem(m_Track[3]);
  m_Player.Stop();  // idle
  EXPECT_FALSE(m_Player.IsPlaying());

  ASSERT_EQ(m_Player.Play(), PlayStart::Started);  // reader waiting on a full staging buffer
  WaitReads(150);
  m_Player.Stop();
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
  EXPECT_EQ(m_Player.Start(), 0u);
  EXPECT_EQ(m_Player.End(), 0u);
  m_Drive->ClearReads();
  std::this_thread::sleep_for(30ms);
  EXPECT_TRUE(m_Drive->Reads().empty()) << "no reader is left reading";

  // Stop while the reader is inside a read.
  std::atomic<bool> inRead{false};
  std::atomic<bool> release{false};
  m_Drive->onRead = [&](const paneltest::Read&) {
    inRead = true;
    while (!release) std::this_thread::sleep_for(1ms);
  };
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  while (!inRead) std::this_thread::sleep_for(1ms);
  std::thread stopper([&] { m_Player.Stop(); });
  std::this_thread::sleep_for(20ms);
  release = true;
  stopper.join();
  m_Drive->onRead = nullptr;
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
}

TEST_F(AudioPlayManualTest, RepeatedStartsNeverLeaveTwoReaders) {
  m_Tree.SelectItem(m_Track[2]);
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(m_Player.Play(), PlayStart::Started);
    EXPECT_EQ(m_Wave.LiveOutputs(), 1u);
    m_Wave.Grant(4000);
    if (i % 3 == 0) {
      m_Player.Stop();
      EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
    }
  }
  // The last start plays in full on its own output.
  m_Wave.Grant(10 * AudioTrackPlayer::kSecondBytes);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  const auto outputs = m_Wave.Outputs();
  ASSERT_EQ(outputs.size(), 20u);
  EXPECT_EQ(outputs.back().size(), 200 * kSector);
}

TEST_F(AudioPlayManualTest, TheLastSecondIsHeardBeforeTheOutputCloses) {
  m_Tree.SelectItem(m_Track[1]);  // 40 sectors: one short second
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  WaitReads(40);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(m_Player.IsPlaying()) << "the reader waits for the last second to be heard";
  EXPECT_EQ(m_Wave.LiveOutputs(), 1u);
  m_Wave.Grant(20 * kSector);
  ASSERT_TRUE(m_Wave.WaitPlayed(20 * kSector, 5s));
  EXPECT_TRUE(m_Player.IsPlaying());
  m_Wave.Grant(20 * kSector);
  ASSERT_TRUE(m_Player.WaitForEnd(5000));
  EXPECT_EQ(m_Wave.Played(), TrackPcm(0, 40));
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
}

TEST_F(AudioPlayManualTest, DestroyingThePlayerStopsItFirst) {
  {
    AudioTrackPlayer player(m_Wave);
    player.SetDevice(m_Device.get(), &m_Tree);
    m_Tree.SelectItem(m_Track[3]);
    ASSERT_EQ(player.Play(), PlayStart::Started);
    WaitReads(10);
  }
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
}

TEST_F(AudioPlayManualTest, ANewDeviceStopsTheTrackOfTheOldOne) {
  m_Tree.SelectItem(m_Track[3]);
  ASSERT_EQ(m_Player.Play(), PlayStart::Started);
  m_Player.SetDevice(m_Device.get(), &m_Tree);  // the same: goes on
  EXPECT_TRUE(m_Player.IsPlaying());
  auto other = paneltest::MakeTestDevice();
  m_Player.SetDevice(other.device.get(), &m_Tree);
  EXPECT_FALSE(m_Player.IsPlaying());
  EXPECT_EQ(m_Wave.LiveOutputs(), 0u);
  m_Player.SetDevice(m_Device.get(), &m_Tree);
}

// The real ALSA back end, routed by the test's own configuration into ALSA's
// file plugin over a null PCM: no sound card needed, and the file holds what
// the device was given.
TEST_F(AudioPlayTest, TrackPlayedThroughAlsaReachesTheDeviceByteForByte) {
  char tmpl[] = "/tmp/tessal-play-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::filesystem::path dir = tmpl;
  const std::filesystem::path file = dir / "track.raw";
  audio::AlsaWaveOptions o;
  o.pcm = "capture";
  o.config = "pcm.capture { type file slave.pcm { type null } file \"" + file.string() + "\" format \"raw\" }\n";
  {
    audio::AlsaWaveDevice alsa(o);
    AudioTrackPlayer player(alsa);
    player.SetDevice(m_Device.get(), &m_Tree);
    m_Tree.SelectItem(m_Track[2]);
    ASSERT_EQ(player.Play(), PlayStart::Started);
    ASSERT_TRUE(player.WaitForEnd(10000));
  }
  std::ifstream in(file, std::ios::binary);
  const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::filesystem::remove_all(dir);
  EXPECT_EQ(written.size(), 200 * kSector);
  EXPECT_TRUE(written == TrackPcm(100, 200));
}

}  // namespace
