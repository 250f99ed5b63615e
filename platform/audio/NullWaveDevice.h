#pragma once
// A wave device without sound: its outputs take buffers at the real-time rate
// (or a multiple of it), at once, or only as far as the caller grants, and keep
// every byte they took, per output, so that a test can compare what would have
// been heard with what was meant to be.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/audio/WaveOut.h"

namespace audio {

enum class NullPace {
  RealTime,  // the format's byte rate times `speed`
  Instant,   // every buffer is taken whole the moment it is written
  Manual,    // only the bytes granted with Grant are taken
};

struct NullWaveOptions {
  NullPace pace = NullPace::RealTime;
  double speed = 1.0;  // RealTime only: 4.0 plays four times as fast
  unsigned devices = 1;
  WaveOutCaps caps{"Null output", 2, 0xFFFFF};
  std::vector<WaveOutCaps> deviceCaps;  // per device from 0; devices past it have `caps`
  bool failOpen = false;  // Open reports NoDevice
};

class NullWaveDevice : public WaveDevice {
 public:
  explicit NullWaveDevice(NullWaveOptions options = {});
  ~NullWaveDevice() override;

  unsigned GetNumDevs() override;
  WaveStatus GetDevCaps(unsigned id, WaveOutCaps& caps) override;
  WaveStatus Open(unsigned id, const WaveFormat& format, DoneCallback done,
                  std::unique_ptr<WaveOut>& out) override;

  // What each output took, one entry per successful Open, in opening order.
  std::vector<std::vector<std::uint8_t>> Outputs() const;
  // Every output's bytes one after the other.
  std::vector<std::uint8_t> Played() const;
  std::size_t BytesPlayed() const;
  std::size_t OpenCount() const;   // successful opens so far
  std::size_t LiveOutputs() const;  // opened and not yet closed
  // Manual pace: lets the outputs take `bytes` more (whole frames are taken).
  void Grant(std::size_t bytes);
  // Waits until at least `bytes` were taken in all; false on timeout.
  bool WaitPlayed(std::size_t bytes, std::chrono::milliseconds timeout) const;

  struct Shared;  // state the outputs' sinks share with the device

 private:
  const WaveOutCaps& CapsOf(unsigned id) const {
    return id < options_.deviceCaps.size() ? options_.deviceCaps[id] : options_.caps;
  }

  NullWaveOptions options_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace audio
