// The ALSA back end without a sound card: the test's own ALSA configuration
// routes the PCM into ALSA's file plugin (over a null PCM), and the file it
// writes is compared with what was played.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/audio/AlsaWaveDevice.h"
#include "tests/audio/AudioTestUtil.h"

namespace audio {
namespace {

using test::DoneLog;
using test::Pcm;
namespace fs = std::filesystem;

class AlsaFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessal-alsa-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    capture_ = dir_ / "played.raw";
  }
  void TearDown() override { fs::remove_all(dir_); }

  AlsaWaveOptions FileOptions() const {
    AlsaWaveOptions o;
    o.pcm = "capture";
    o.config = "pcm.capture {\n"
               "  type file\n"
               "  slave.pcm { type null }\n"
               "  file \"" + capture_.string() + "\"\n"
               "  format \"raw\"\n"
               "}\n";
    return o;
  }

  std::vector<std::uint8_t> Captured() const {
    std::ifstream in(capture_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_, capture_;
};

TEST_F(AlsaFileTest, ReportsOneStereoDeviceThatTakesCdAudio) {
  AlsaWaveDevice dev(FileOptions());
  ASSERT_EQ(dev.GetNumDevs(), 1u) << dev.ProbeError().text;
  WaveOutCaps caps;
  const WaveStatus st = dev.GetDevCaps(0, caps);
  ASSERT_TRUE(st.ok()) << st.text;
  EXPECT_GE(caps.channels, 2);
  EXPECT_TRUE(caps.formats & WAVE_FORMAT_4S16);
  EXPECT_NE(caps.name.find("capture"), std::string::npos);
  EXPECT_EQ(dev.GetDevCaps(1, caps).error, WaveError::BadDeviceId);
  std::unique_ptr<WaveOut> out;
  EXPECT_EQ(dev.Open(1, kCdAudioFormat, {}, out).error, WaveError::BadDeviceId);
  EXPECT_EQ(dev.Open(0, {2, 44100, 12}, {}, out).error, WaveError::BadFormat);
}

TEST_F(AlsaFileTest, PlayedSecondsReachTheDeviceByteForByte) {
  AlsaWaveDevice dev(FileOptions());
  std::vector<std::vector<std::uint8_t>> seconds;
  for (std::uint32_t i = 0; i < 3; ++i) seconds.push_back(Pcm(176400, i + 1));
  seconds.push_back(Pcm(40 * 2352, 99));  // a short last second, as a track's end gives

  std::atomic<WaveOut*> self{nullptr};
  std::atomic<std::size_t> next{1};
  DoneLog log;
  auto record = log.Callback();
  std::unique_ptr<WaveOut> out;
  const WaveStatus st = dev.Open(0, kCdAudioFormat,
                                 [&](const BufferDone& d) {
                                   const std::size_t i = next++;
                                   if (i < seconds.size()) self.load()->Write(seconds[i], i);
                                   record(d);
                                 },
                                 out);
  ASSERT_TRUE(st.ok()) << st.text;
  self = out.get();
  ASSERT_TRUE(out->Write(seconds[0], 0).ok());
  ASSERT_TRUE(log.WaitFor(seconds.size()));
  ASSERT_TRUE(out->Drain().ok());
  ASSERT_TRUE(out->Close().ok());
  out.reset();

  for (const auto& d : log.Done()) EXPECT_TRUE(d.played);
  std::vector<std::uint8_t> expected;
  for (const auto& s : seconds) expected.insert(expected.end(), s.begin(), s.end());
  const auto got = Captured();
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST_F(AlsaFileTest, PauseRestartAndResetKeepTheStreamWhole) {
  AlsaWaveDevice dev(FileOptions());
  DoneLog log;
  std::unique_ptr<WaveOut> out;
  ASSERT_TRUE(dev.Open(0, kCdAudioFormat, log.Callback(), out).ok());
  const auto a = Pcm(17640, 1), b = Pcm(17640, 2);
  ASSERT_TRUE(out->Pause().ok());
  ASSERT_TRUE(out->Write(a, 1).ok());
  ASSERT_TRUE(out->Restart().ok());
  ASSERT_TRUE(log.WaitFor(1));
  ASSERT_TRUE(out->Reset().ok());  // nothing queued: the stream goes on
  ASSERT_TRUE(out->Write(b, 2).ok());
  ASSERT_TRUE(log.WaitFor(2));
  ASSERT_TRUE(out->Drain().ok());
  out->Close();
  out.reset();
  EXPECT_TRUE(out == nullptr);
  EXPECT_TRUE(Captured() == test::Concat({&a, &b}));
}

TEST(AlsaWaveDeviceTest, MissingDeviceIsNoDeviceWithAlsaText) {
  AlsaWaveOptions o;
  o.pcm = "gone";
  o.config = "pcm.gone { type hw card 31 device 0 }\n";
  AlsaWaveDevice dev(o);
  EXPECT_EQ(dev.GetNumDevs(), 0u);
  EXPECT_EQ(dev.ProbeError().error, WaveError::NoDevice);
  EXPECT_NE(dev.ProbeError().text.find("gone"), std::string::npos);
  EXPECT_GT(dev.ProbeError().text.size(), std::string("ALSA PCM \"gone\": ").size());
  WaveOutCaps caps;
  EXPECT_EQ(dev.GetDevCaps(0, caps).error, WaveError::NoDevice);
  std::unique_ptr<WaveOut> out;
  const WaveStatus st = dev.Open(0, kCdAudioFormat, {}, out);
  EXPECT_EQ(st.error, WaveError::NoDevice);
  EXPECT_FALSE(out);
}

TEST(AlsaWaveDeviceTest, UnknownPcmAndBrokenConfigurationAreNoDevice) {
  AlsaWaveOptions unknown;
  unknown.pcm = "nothing_by_this_name";
  unknown.config = "pcm.other { type null }\n";
  AlsaWaveDevice a(unknown);
  EXPECT_EQ(a.GetNumDevs(), 0u);
  EXPECT_FALSE(a.ProbeError().text.empty());

  AlsaWaveOptions broken;
  broken.config = "pcm.x { type null \n";  // unbalanced brace
  AlsaWaveDevice b(broken);
  EXPECT_EQ(b.GetNumDevs(), 0u);
  EXPECT_EQ(b.ProbeError().error, WaveError::NoDevice);
  std::unique_ptr<WaveOut> out;
  EXPECT_EQ(b.Open(0, kCdAudioFormat, {}, out).error, WaveError::NoDevice);
}

}  // namespace
}  // namespace audio
