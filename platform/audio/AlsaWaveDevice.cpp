#include "platform/audio/AlsaWaveDevice.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace audio {

struct AlsaWaveDevice::Config {
  snd_config_t* tree = nullptr;  // null: the system's configuration
  WaveStatus error;              // why the given configuration did not load
  ~Config() {
    if (tree) snd_config_delete(tree);
  }
};

namespace {

// Each sink call waits this long at most, so Pause, Reset and Close are
// served within it.
constexpr int kWaitMs = 20;

std::string AlsaText(const std::string& what, int err) { return what + ": " + snd_strerror(err); }

// Opens the PCM for playback without blocking; the error is ALSA's.
int OpenPcm(const AlsaWaveOptions& options, const AlsaWaveDevice::Config& config, snd_pcm_t** pcm) {
  *pcm = nullptr;
  if (config.tree)
    return snd_pcm_open_lconf(pcm, options.pcm.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK, config.tree);
  return snd_pcm_open(pcm, options.pcm.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

snd_pcm_format_t SampleFormat(const WaveFormat& format) {
  switch (format.bitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;  // 8-bit wave data is unsigned
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
  }
}

class AlsaSink : public WaveSink {
 public:
  AlsaSink(PcmHandle pcm, const WaveFormat& format)
      : pcm_(std::move(pcm)), frame_(format.BlockAlign()), rate_(format.samplesPerSec) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    canPause_ = snd_pcm_hw_params_current(pcm_.get(), params) == 0 && snd_pcm_hw_params_can_pause(params);
  }

  WaveStatus Write(const std::uint8_t* data, std::size_t bytes, std::size_t& taken) override {
    taken = 0;
    const snd_pcm_uframes_t frames = bytes / frame_;
    if (frames == 0) return {};
    const snd_pcm_sframes_t n = snd_pcm_writei(pcm_.get(), data, frames);
    if (n >= 0) {
      taken = static_cast<std::size_t>(n) * frame_;
      return {};
    }
    if (n == -EAGAIN) {
      snd_pcm_wait(pcm_.get(), kWaitMs);
      return {};
    }
    // An underrun (the feed came late) or a suspend: recover and go on.
    const int err = snd_pcm_recover(pcm_.get(), static_cast<int>(n), 1);
    if (err < 0) return {WaveError::DeviceError, AlsaText("ALSA write failed", err)};
    return {};
  }

  void SetPaused(bool paused) override {
    if (paused) {
      // Without pause support the device plays out its buffer and runs dry;
      // the next write after Restart recovers from that underrun.
      if (canPause_ && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING)
        hwPaused_ = snd_pcm_pause(pcm_.get(), 1) == 0;
    } else if (hwPaused_) {
      hwPaused_ = false;
      if (snd_pcm_pause(pcm_.get(), 0) < 0) snd_pcm_prepare(pcm_.get());
    }
  }

  void Drop() override {
    hwPaused_ = false;
    snd_pcm_drop(pcm_.get());
    snd_pcm_prepare(pcm_.get());
  }

  bool DrainStep() override {
    switch (snd_pcm_state(pcm_.get())) {
      case SND_PCM_STATE_PREPARED: {
        // Less than the start threshold was written; start it so it is heard.
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_.get(), &delay) == 0 && delay > 0 && snd_pcm_start(pcm_.get()) == 0) return false;
        return true;
      }
      case SND_PCM_STATE_RUNNING: {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_.get(), &delay) < 0 || delay <= 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(kWaitMs, delay * 1000L / rate_ + 1)));
        return false;
      }
      case SND_PCM_STATE_PAUSED:
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
        return false;
      case SND_PCM_STATE_XRUN:
        // Ran dry: everything written has been played.
        snd_pcm_prepare(pcm_.get());
        return true;
      default:
        return true;
    }
  }

 private:
  PcmHandle pcm_;
  std::size_t frame_;
  long rate_;
  bool canPause_ = false;
  bool hwPaused_ = false;
};

}  // namespace

AlsaWaveDevice::AlsaWaveDevice(AlsaWaveOptions options)
    : options_(std::move(options)), config_(std::make_unique<Config>()) {
  if (options_.config.empty()) return;
  snd_input_t* input = nullptr;
  int err = snd_config_top(&config_->tree);
  if (err == 0) err = snd_input_buffer_open(&input, options_.config.data(), static_cast<ssize_t>(options_.config.size()));
  if (err == 0) err = snd_config_load(config_->tree, input);
  if (input) snd_input_close(input);
  if (err < 0) {
    config_->error = {WaveError::NoDevice, AlsaText("ALSA configuration not loaded", err)};
    if (config_->tree) snd_config_delete(config_->tree);
    config_->tree = nullptr;
  }
}

AlsaWaveDevice::~AlsaWaveDevice() = default;

unsigned AlsaWaveDevice::GetNumDevs() {
  probeError_ = {};
  if (!config_->error.ok()) {
    probeError_ = config_->error;
    return 0;
  }
  snd_pcm_t* raw = nullptr;
  const int err = OpenPcm(options_, *config_, &raw);
  PcmHandle pcm(raw);
  if (err == 0 || err == -EBUSY) return 1;
  probeError_ = {WaveError::NoDevice, AlsaText("ALSA PCM \"" + options_.pcm + "\"", err)};
  return 0;
}

WaveStatus AlsaWaveDevice::GetDevCaps(unsigned id, WaveOutCaps& caps) {
  if (id != 0) return {WaveError::BadDeviceId, "no ALSA device " + std::to_string(id)};
  if (!config_->error.ok()) return config_->error;
  snd_pcm_t* raw = nullptr;
  int err = OpenPcm(options_, *config_, &raw);
  PcmHandle pcm(raw);
  if (err < 0) return {WaveError::NoDevice, AlsaText("ALSA PCM \"" + options_.pcm + "\"", err)};

  snd_pcm_hw_params_t* any = nullptr;
  snd_pcm_hw_params_t* trial = nullptr;
  snd_pcm_hw_params_alloca(&any);
  snd_pcm_hw_params_alloca(&trial);
  if ((err = snd_pcm_hw_params_any(pcm.get(), any)) < 0)
    return {WaveError::NoDevice, AlsaText("ALSA PCM \"" + options_.pcm + "\" has no configuration", err)};
  unsigned maxChannels = 0;
  snd_pcm_hw_params_get_channels_max(any, &maxChannels);
  caps = WaveOutCaps{};
  caps.name = "ALSA " + options_.pcm;
  caps.channels = static_cast<std::uint16_t>(std::min(maxChannels, 0xFFFFu));
  for (const WaveFormat& f : StandardFormats()) {
    snd_pcm_hw_params_copy(trial, any);
    if (snd_pcm_hw_params_set_access(pcm.get(), trial, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
        snd_pcm_hw_params_set_format(pcm.get(), trial, SampleFormat(f)) == 0 &&
        snd_pcm_hw_params_set_channels(pcm.get(), trial, f.channels) == 0 &&
        snd_pcm_hw_params_test_rate(pcm.get(), trial, f.samplesPerSec, 0) == 0)
      caps.formats |= FormatBit(f);
  }
  return {};
}

WaveStatus AlsaWaveDevice::Open(unsigned id, const WaveFormat& format, DoneCallback done,
                                std::unique_ptr<WaveOut>& out) {
  if (id != 0) return {WaveError::BadDeviceId, "no ALSA device " + std::to_string(id)};
  if (!config_->error.ok()) return config_->error;
  const snd_pcm_format_t sample = SampleFormat(format);
  if (sample == SND_PCM_FORMAT_UNKNOWN || format.channels == 0 || format.samplesPerSec == 0)
    return {WaveError::BadFormat, "unsupported sample format"};
  snd_pcm_t* raw = nullptr;
  int err = OpenPcm(options_, *config_, &raw);
  PcmHandle pcm(raw);
  if (err < 0) return {WaveError::NoDevice, AlsaText("ALSA PCM \"" + options_.pcm + "\"", err)};
  // Let ALSA convert the rate where the device needs it, so a card that only
  // runs at 48 kHz still plays CD audio.
  err = snd_pcm_set_params(pcm.get(), sample, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.samplesPerSec,
                           1, options_.latencyMicroseconds);
  if (err < 0) return {WaveError::BadFormat, AlsaText("ALSA PCM \"" + options_.pcm + "\" refused the format", err)};
  out = std::make_unique<WaveOut>(std::make_unique<AlsaSink>(std::move(pcm), format), format, std::move(done));
  return {};
}

}  // namespace audio
