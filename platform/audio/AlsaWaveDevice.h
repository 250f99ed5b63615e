#pragma once
// Wave output through ALSA. The one device is a PCM by name, "default" unless
// told otherwise, so systems running PipeWire or PulseAudio play through their
// sound server and plain ALSA systems through their first card.
#include <memory>
#include <string>

#include "platform/audio/WaveOut.h"

namespace audio {

struct AlsaWaveOptions {
  std::string pcm = "default";
  // ALSA configuration text; when given, `pcm` is looked up in it alone
  // instead of the system's configuration.
  std::string config;
  // How much audio the device's buffer holds ahead of what is heard.
  unsigned latencyMicroseconds = 250000;
};

class AlsaWaveDevice : public WaveDevice {
 public:
  explicit AlsaWaveDevice(AlsaWaveOptions options = {});
  ~AlsaWaveDevice() override;

  // 1 when the PCM can be opened, or exists and is busy; 0 otherwise, and
  // ProbeError says why.
  unsigned GetNumDevs() override;
  WaveStatus GetDevCaps(unsigned id, WaveOutCaps& caps) override;
  WaveStatus Open(unsigned id, const WaveFormat& format, DoneCallback done,
                  std::unique_ptr<WaveOut>& out) override;

  // Why the last GetNumDevs found no device (empty when it found one).
  const WaveStatus& ProbeError() const { return probeError_; }

  struct Config;

 private:
  AlsaWaveOptions options_;
  std::unique_ptr<Config> config_;
  WaveStatus probeError_;
};

}  // namespace audio
