// The output engine over the null device: ordering of done callbacks, the
// pacing modes, and Pause, Restart, Reset, Drain and Close from every state.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/audio/NullWaveDevice.h"
#include "tests/audio/AudioTestUtil.h"

namespace audio {
namespace {

using namespace std::chrono_literals;
using test::DoneLog;
using test::Pcm;

std::unique_ptr<WaveOut> OpenNull(NullWaveDevice& dev, DoneCallback done) {
  std::unique_ptr<WaveOut> out;
  const WaveStatus st = dev.Open(0, kCdAudioFormat, std::move(done), out);
  EXPECT_TRUE(st.ok()) << st.text;
  return out;
}

NullWaveOptions Paced(NullPace pace, double speed = 1.0) {
  NullWaveOptions o;
  o.pace = pace;
  o.speed = speed;
  return o;
}

TEST(WaveFormatTest, FormatBitsFollowTheClassicLayout) {
  EXPECT_EQ(FormatBit(kCdAudioFormat), WAVE_FORMAT_4S16);
  EXPECT_EQ(FormatBit({1, 11025, 8}), WAVE_FORMAT_1M08);
  EXPECT_EQ(FormatBit({2, 22050, 8}), WAVE_FORMAT_2S08);
  EXPECT_EQ(FormatBit({1, 48000, 16}), WAVE_FORMAT_48M16);
  EXPECT_EQ(FormatBit({2, 96000, 16}), WAVE_FORMAT_96S16);
  EXPECT_EQ(FormatBit({2, 32000, 16}), 0u);
  EXPECT_EQ(FormatBit({3, 44100, 16}), 0u);
  EXPECT_EQ(FormatBit({2, 44100, 24}), 0u);
  EXPECT_EQ(kCdAudioFormat.AvgBytesPerSec(), 176400u);
  EXPECT_EQ(kCdAudioFormat.BlockAlign(), 4);

  std::uint32_t all = 0;
  for (const WaveFormat& f : StandardFormats()) {
    const std::uint32_t bit = FormatBit(f);
    EXPECT_NE(bit, 0u);
    EXPECT_EQ(all & bit, 0u) << "two formats share a bit";
    all |= bit;
  }
  EXPECT_EQ(all, 0xFFFFFu);
}

TEST(NullWaveDeviceTest, DeviceListCapsAndOpenFailures) {
  NullWaveOptions o;
  o.devices = 2;
  o.caps = WaveOutCaps{"mono box", 1, WAVE_FORMAT_4M16};
  NullWaveDevice dev(o);
  EXPECT_EQ(dev.GetNumDevs(), 2u);
  WaveOutCaps caps;
  ASSERT_TRUE(dev.GetDevCaps(1, caps).ok());
  EXPECT_EQ(caps.name, "mono box");
  EXPECT_EQ(caps.channels, 1);
  EXPECT_EQ(dev.GetDevCaps(2, caps).error, WaveError::BadDeviceId);

  std::unique_ptr<WaveOut> out;
  EXPECT_EQ(dev.Open(0, kCdAudioFormat, {}, out).error, WaveError::BadFormat);
  EXPECT_EQ(dev.Open(5, kCdAudioFormat, {}, out).error, WaveError::BadDeviceId);
  EXPECT_FALSE(out);
  EXPECT_TRUE(dev.Open(0, {1, 44100, 16}, {}, out).ok());
  EXPECT_EQ(dev.OpenCount(), 1u);

  NullWaveOptions mixed;
  mixed.devices = 2;
  mixed.deviceCaps = {WaveOutCaps{"first", 1, WAVE_FORMAT_1M08}};
  NullWaveDevice two(mixed);
  ASSERT_TRUE(two.GetDevCaps(0, caps).ok());
  EXPECT_EQ(caps.name, "first");
  ASSERT_TRUE(two.GetDevCaps(1, caps).ok());
  EXPECT_EQ(caps.name, "Null output");
  std::unique_ptr<WaveOut> o0, o1;
  EXPECT_EQ(two.Open(0, kCdAudioFormat, {}, o0).error, WaveError::BadFormat);
  EXPECT_TRUE(two.Open(1, kCdAudioFormat, {}, o1).ok());

  NullWaveOptions refusing;
  refusing.failOpen = true;
  NullWaveDevice broken(refusing);
  std::unique_ptr<WaveOut> none;
  const WaveStatus st = broken.Open(0, kCdAudioFormat, {}, none);
  EXPECT_EQ(st.error, WaveError::NoDevice);
  EXPECT_FALSE(st.text.empty());
  EXPECT_FALSE(none);
  EXPECT_EQ(broken.OpenCount(), 0u);
}

TEST(WaveOutTest, BuffersAreReportedDoneInOrderAndKeptByteForByte) {
  NullWaveDevice dev(Paced(NullPace::Instant));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  const auto a = Pcm(176400, 1), b = Pcm(4, 2), c = Pcm(9408, 3);
  ASSERT_TRUE(out->Write(a, 10).ok());
  ASSERT_TRUE(out->Write(b, 11).ok());
  ASSERT_TRUE(out->Write({}, 12).ok());  // empty: done at once, in its turn
  ASSERT_TRUE(out->Write(c, 13).ok());
  ASSERT_TRUE(log.WaitFor(4));
  const auto done = log.Done();
  ASSERT_EQ(done.size(), 4u);
  for (std::size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i].cookie, 10 + i);
    EXPECT_TRUE(done[i].played);
  }
  EXPECT_EQ(dev.Played(), test::Concat({&a, &b, &c}));
  EXPECT_EQ(out->Queued(), 0u);
}

TEST(WaveOutTest, RejectsBuffersThatAreNotWholeFrames) {
  NullWaveDevice dev(Paced(NullPace::Instant));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  const auto odd = Pcm(6, 1);
  EXPECT_EQ(out->Write(odd, 1).error, WaveError::BadLength);
  out->Close();
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_TRUE(dev.Played().empty());
}

TEST(WaveOutTest, CallbackCanQueueTheNextBuffer) {
  // The way a player feeds: one buffer queued at a time, the next written
  // from the done callback of the previous one.
  NullWaveDevice dev(Paced(NullPace::Instant));
  std::vector<std::vector<std::uint8_t>> seconds;
  for (std::uint32_t i = 0; i < 5; ++i) seconds.push_back(Pcm(176400, i + 100));
  std::atomic<WaveOut*> self{nullptr};
  std::atomic<int> next{1};
  DoneLog log;
  auto feed = log.Callback();
  std::unique_ptr<WaveOut> out;
  ASSERT_TRUE(dev.Open(0, kCdAudioFormat,
                       [&](const BufferDone& d) {
                         const int i = next++;
                         if (i < 5) {
                           EXPECT_TRUE(self.load()->Write(seconds[i], i).ok());
                         }
                         feed(d);
                       },
                       out)
                  .ok());
  self = out.get();
  ASSERT_TRUE(out->Write(seconds[0], 0).ok());
  ASSERT_TRUE(log.WaitFor(5));
  std::vector<std::uint8_t> expected;
  for (const auto& s : seconds) expected.insert(expected.end(), s.begin(), s.end());
  EXPECT_EQ(dev.Played(), expected);
  const auto done = log.Done();
  for (std::size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].cookie, i);
}

TEST(WaveOutTest, WaitingCallsAreRefusedFromTheCallback) {
  NullWaveDevice dev(Paced(NullPace::Instant));
  std::atomic<WaveOut*> self{nullptr};
  std::vector<WaveError> seen;
  std::mutex m;
  DoneLog log;
  auto record = log.Callback();
  std::unique_ptr<WaveOut> out;
  ASSERT_TRUE(dev.Open(0, kCdAudioFormat,
                       [&](const BufferDone& d) {
                         {
                           std::lock_guard lock(m);
                           seen.push_back(self.load()->Reset().error);
                           seen.push_back(self.load()->Drain().error);
                           seen.push_back(self.load()->Close().error);
                           seen.push_back(self.load()->Pause().error);
                           seen.push_back(self.load()->Restart().error);
                         }
                         record(d);
                       },
                       out)
                  .ok());
  self = out.get();
  const auto pcm = Pcm(400, 1);
  ASSERT_TRUE(out->Write(pcm, 1).ok());
  ASSERT_TRUE(log.WaitFor(1));
  std::lock_guard lock(m);
  EXPECT_EQ(seen, (std::vector<WaveError>{WaveError::WrongThread, WaveError::WrongThread, WaveError::WrongThread,
                                          WaveError::None, WaveError::None}));
  EXPECT_TRUE(out->IsOpen());
}

TEST(WaveOutTest, ManualPaceTakesOnlyWhatIsGranted) {
  NullWaveDevice dev(Paced(NullPace::Manual));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  const auto pcm = Pcm(8000, 7);
  ASSERT_TRUE(out->Write(pcm, 1).ok());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(dev.BytesPlayed(), 0u);
  dev.Grant(3002);  // not whole frames: 3000 are taken, 2 stay granted
  ASSERT_TRUE(dev.WaitPlayed(3000, 5s));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(dev.BytesPlayed(), 3000u);
  EXPECT_EQ(log.Count(), 0u);
  dev.Grant(4998);
  ASSERT_TRUE(log.WaitFor(1));
  EXPECT_TRUE(log.Done()[0].played);
  EXPECT_EQ(dev.Played(), pcm);
}

TEST(WaveOutTest, RealTimePaceDoesNotRunAhead) {
  // Only a lower bound: a loaded machine may be slower, never faster.
  for (double speed : {1.0, 4.0}) {
    NullWaveDevice dev(Paced(NullPace::RealTime, speed));
    DoneLog log;
    auto out = OpenNull(dev, log.Callback());
    const auto pcm = Pcm(176400 / 5, 1);  // 200 ms of audio
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(out->Write(pcm, 1).ok());
    ASSERT_TRUE(log.WaitFor(1));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::duration<double>(0.2 / speed * 0.9)) << "speed " << speed;
    EXPECT_EQ(dev.Played(), pcm);
  }
}

TEST(WaveOutTest, PauseHoldsPlaybackAndRestartResumesWhereItStopped) {
  NullWaveDevice dev(Paced(NullPace::Manual));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  const auto pcm = Pcm(8000, 3);
  ASSERT_TRUE(out->Write(pcm, 1).ok());
  dev.Grant(4000);
  ASSERT_TRUE(dev.WaitPlayed(4000, 5s));
  ASSERT_TRUE(out->Pause().ok());
  EXPECT_TRUE(out->IsPaused());
  dev.Grant(4000);
  std::this_thread::sleep_for(80ms);
  EXPECT_EQ(dev.BytesPlayed(), 4000u);
  EXPECT_EQ(log.Count(), 0u);
  ASSERT_TRUE(out->Restart().ok());
  EXPECT_FALSE(out->IsPaused());
  ASSERT_TRUE(log.WaitFor(1));
  EXPECT_EQ(dev.Played(), pcm);  // nothing skipped, nothing repeated
}

TEST(WaveOutTest, PauseBeforeAnyWriteHoldsTheFirstBuffer) {
  NullWaveDevice dev(Paced(NullPace::Instant));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  ASSERT_TRUE(out->Pause().ok());
  const auto pcm = Pcm(400, 9);
  ASSERT_TRUE(out->Write(pcm, 1).ok());
  std::this_thread::sleep_for(80ms);
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(out->Queued(), 1u);
  ASSERT_TRUE(out->Restart().ok());
  ASSERT_TRUE(log.WaitFor(1));
  EXPECT_EQ(dev.Played(), pcm);
}

TEST(WaveOutTest, ResetDropsEverythingQueuedAndReportsItBeforeReturning) {
  NullWaveDevice dev(Paced(NullPace::Manual));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  const auto a = Pcm(4000, 1), b = Pcm(4000, 2), c = Pcm(4000, 3);
  ASSERT_TRUE(out->Write(a, 1).ok());
  ASSERT_TRUE(out->Write(b, 2).ok());
  ASSERT_TRUE(out->Write(c, 3).ok());
  dev.Grant(2000);
  ASSERT_TRUE(dev.WaitPlayed(2000, 5s));
  ASSERT_TRUE(out->Reset().ok());
  const auto done = log.Done();
  ASSERT_EQ(done.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(done[i].cookie, i + 1);
    EXPECT_FALSE(done[i].played);
  }
  EXPECT_EQ(out->Queued(), 0u);

  // Still open: the next buffer plays from its start.
  const auto d = Pcm(400, 4);
  ASSERT_TRUE(out->Write(d, 4).ok());
  dev.Grant(400 + 1000000);
  ASSERT_TRUE(log.WaitFor(4));
  EXPECT_TRUE(log.Done()[3].played);
  const auto outputs = dev.Outputs();
  ASSERT_EQ(outputs.size(), 1u);
  std::vector<std::uint8_t> expected(a.begin(), a.begin() + 2000);
  expected.insert(expected.end(), d.begin(), d.end());
  EXPECT_EQ(outputs[0], expected);
}

TEST(WaveOutTest, ResetKeepsThePausedStateAndWorksWhenIdle) {
  NullWaveDevice dev(Paced(NullPace::Instant));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  EXPECT_TRUE(out->Reset().ok());  // nothing queued
  ASSERT_TRUE(out->Pause().ok());
  const auto pcm = Pcm(400, 1);
  ASSERT_TRUE(out->Write(pcm, 1).ok());
  ASSERT_TRUE(out->Reset().ok());
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_FALSE(log.Done()[0].played);
  EXPECT_TRUE(out->IsPaused());
  ASSERT_TRUE(out->Write(pcm, 2).ok());
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(log.Count(), 1u);
  ASSERT_TRUE(out->Restart().ok());
  ASSERT_TRUE(log.WaitFor(2));
  EXPECT_EQ(dev.Played(), pcm);
}

TEST(WaveOutTest, DrainWaitsForTheLastBufferAndCloseEndsAWaitingDrain) {
  {
    NullWaveDevice dev(Paced(NullPace::RealTime, 8.0));
    DoneLog log;
    auto out = OpenNull(dev, log.Callback());
    const auto pcm = Pcm(176400, 5);
    ASSERT_TRUE(out->Write(pcm, 1).ok());
    ASSERT_TRUE(out->Drain().ok());
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_EQ(dev.Played(), pcm);
    EXPECT_TRUE(out->Drain().ok());  // nothing left: returns at once
  }
  {
    NullWaveDevice dev(Paced(NullPace::Manual));  // never granted: would wait forever
    DoneLog log;
    auto out = OpenNull(dev, log.Callback());
    const auto pcm = Pcm(400, 5);
    ASSERT_TRUE(out->Write(pcm, 1).ok());
    WaveStatus drained;
    std::thread waiter([&] { drained = out->Drain(); });
    std::this_thread::sleep_for(50ms);
    out->Close();
    waiter.join();
    EXPECT_EQ(drained.error, WaveError::NotOpen);
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_FALSE(log.Done()[0].played);
  }
}

// Close from each state the player can leave an output in.
TEST(WaveOutTest, CloseIsSafeFromEveryState) {
  enum class State { Fresh, Playing, Paused, AfterReset, Finished };
  for (State s : {State::Fresh, State::Playing, State::Paused, State::AfterReset, State::Finished}) {
    SCOPED_TRACE(static_cast<int>(s));
    NullWaveDevice dev(Paced(s == State::Finished ? NullPace::Instant : NullPace::Manual));
    DoneLog log;
    auto out = OpenNull(dev, log.Callback());
    const auto pcm = Pcm(4000, 1);
    std::size_t written = 0;
    if (s != State::Fresh) {
      ASSERT_TRUE(out->Write(pcm, 1).ok());
      ASSERT_TRUE(out->Write(pcm, 2).ok());
      written = 2;
    }
    if (s == State::Playing || s == State::Paused) {
      dev.Grant(1000);
      ASSERT_TRUE(dev.WaitPlayed(1000, 5s));
    }
    if (s == State::Paused) {
      ASSERT_TRUE(out->Pause().ok());
    }
    if (s == State::AfterReset) {
      ASSERT_TRUE(out->Reset().ok());
    }
    if (s == State::Finished) {
      ASSERT_TRUE(log.WaitFor(2));
    }

    EXPECT_TRUE(out->Close().ok());
    EXPECT_FALSE(out->IsOpen());
    EXPECT_EQ(dev.LiveOutputs(), 0u);
    EXPECT_EQ(log.Count(), written) << "every write is reported exactly once";
    EXPECT_EQ(out->Queued(), 0u);

    EXPECT_TRUE(out->Close().ok());  // again
    EXPECT_EQ(out->Write(pcm, 3).error, WaveError::NotOpen);
    EXPECT_EQ(out->Pause().error, WaveError::NotOpen);
    EXPECT_EQ(out->Restart().error, WaveError::NotOpen);
    EXPECT_EQ(out->Reset().error, WaveError::NotOpen);
    EXPECT_EQ(out->Drain().error, WaveError::NotOpen);
    EXPECT_EQ(log.Count(), written);
  }
}

TEST(WaveOutTest, DestroyingAnOpenOutputClosesIt) {
  NullWaveDevice dev(Paced(NullPace::Manual));
  DoneLog log;
  {
    auto out = OpenNull(dev, log.Callback());
    const auto pcm = Pcm(4000, 1);
    ASSERT_TRUE(out->Write(pcm, 1).ok());
    EXPECT_EQ(dev.LiveOutputs(), 1u);
  }
  EXPECT_EQ(dev.LiveOutputs(), 0u);
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_FALSE(log.Done()[0].played);
}

TEST(WaveOutTest, ConcurrentWritersPauseAndResetKeepTheBookkeeping) {
  // Several threads at once against one output: every write is reported
  // exactly once and the played bytes are whole buffers or buffer prefixes.
  NullWaveDevice dev(Paced(NullPace::Instant));
  DoneLog log;
  auto out = OpenNull(dev, log.Callback());
  std::atomic<std::size_t> accepted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      const auto pcm = Pcm(800, t);
      for (int i = 0; i < 100; ++i)
        if (out->Write(pcm, t * 1000 + i).ok()) ++accepted;
    });
  threads.emplace_back([&] {
    for (int i = 0; i < 30; ++i) {
      out->Pause();
      out->Restart();
      out->Reset();
    }
  });
  for (auto& th : threads) th.join();
  ASSERT_TRUE(out->Drain().ok());
  EXPECT_EQ(accepted.load(), 300u);
  EXPECT_EQ(log.Count(), 300u);
  std::size_t played = 0;
  for (const auto& d : log.Done()) played += d.played ? 800 : 0;
  EXPECT_LE(played, dev.BytesPlayed());
  EXPECT_EQ(dev.BytesPlayed() % 4, 0u);
}

// A back end that fails after a set number of bytes, as a sound server that
// goes away would.
class FailingSink : public WaveSink {
 public:
  explicit FailingSink(std::size_t budget) : budget_(budget) {}
  WaveStatus Write(const std::uint8_t*, std::size_t bytes, std::size_t& taken) override {
    taken = std::min(bytes, budget_);
    budget_ -= taken;
    if (budget_ == 0 && taken < bytes) return {WaveError::DeviceError, "device went away"};
    return {};
  }
  void SetPaused(bool) override {}
  void Drop() override {}
  bool DrainStep() override { return true; }

 private:
  std::size_t budget_;
};

TEST(WaveOutTest, DeviceFailureDropsTheQueueAndIsReported) {
  DoneLog log;
  WaveOut out(std::make_unique<FailingSink>(600), kCdAudioFormat, log.Callback());
  const auto pcm = Pcm(400, 1);
  ASSERT_TRUE(out.Write(pcm, 1).ok());
  ASSERT_TRUE(out.Write(pcm, 2).ok());
  ASSERT_TRUE(out.Write(pcm, 3).ok());
  ASSERT_TRUE(log.WaitFor(3));
  const auto done = log.Done();
  EXPECT_TRUE(done[0].played);
  EXPECT_FALSE(done[1].played);
  EXPECT_FALSE(done[2].played);
  EXPECT_EQ(out.LastError().error, WaveError::DeviceError);
  EXPECT_EQ(out.Write(pcm, 4).error, WaveError::DeviceError);
  EXPECT_EQ(out.Drain().error, WaveError::DeviceError);
  EXPECT_TRUE(out.Reset().ok());
  EXPECT_TRUE(out.Close().ok());
  EXPECT_EQ(log.Count(), 3u);
}

}  // namespace
}  // namespace audio
