#include "platform/audio/NullWaveDevice.h"

#include <algorithm>
#include <thread>

namespace audio {

struct NullWaveDevice::Shared {
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<std::vector<std::uint8_t>> outputs;
  std::size_t total = 0;
  std::size_t granted = 0;
  std::size_t live = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

// Real-time pacing takes 10 ms of audio per step.
constexpr auto kStep = std::chrono::milliseconds(10);
// Manual pacing waits this long for a grant before giving the thread back.
constexpr auto kGrantWait = std::chrono::milliseconds(20);

class NullSink : public WaveSink {
 public:
  NullSink(std::shared_ptr<NullWaveDevice::Shared> shared, std::size_t index, const WaveFormat& format,
           NullPace pace, double speed)
      : shared_(std::move(shared)), index_(index), frame_(format.BlockAlign()), pace_(pace) {
    const double perStep = format.AvgBytesPerSec() * std::max(speed, 0.001) *
                           std::chrono::duration<double>(kStep).count();
    stepBytes_ = std::max<std::size_t>(frame_, static_cast<std::size_t>(perStep) / frame_ * frame_);
  }
  ~NullSink() override {
    std::lock_guard lock(shared_->mutex);
    --shared_->live;
    shared_->changed.notify_all();
  }

  WaveStatus Write(const std::uint8_t* data, std::size_t bytes, std::size_t& taken) override {
    taken = 0;
    std::size_t take = bytes;
    if (pace_ == NullPace::RealTime) {
      take = std::min(bytes, stepBytes_);
      const auto now = Clock::now();
      // After an idle spell or a pause the clock starts afresh rather than
      // rushing to catch up.
      if (next_ < now - 5 * kStep) next_ = now;
      next_ += kStep;
      std::this_thread::sleep_until(next_);
    }
    std::unique_lock lock(shared_->mutex);
    if (pace_ == NullPace::Manual) {
      shared_->changed.wait_for(lock, kGrantWait, [&] { return shared_->granted >= frame_; });
      take = std::min(bytes, shared_->granted) / frame_ * frame_;
      shared_->granted -= take;
    }
    auto& out = shared_->outputs[index_];
    out.insert(out.end(), data, data + take);
    shared_->total += take;
    taken = take;
    shared_->changed.notify_all();
    return {};
  }
  void SetPaused(bool) override { next_ = Clock::time_point{}; }
  void Drop() override {}
  bool DrainStep() override { return true; }

 private:
  std::shared_ptr<NullWaveDevice::Shared> shared_;
  std::size_t index_;
  std::size_t frame_;
  NullPace pace_;
  std::size_t stepBytes_ = 0;
  Clock::time_point next_{};
};

}  // namespace

NullWaveDevice::NullWaveDevice(NullWaveOptions options)
    : options_(std::move(options)), shared_(std::make_shared<Shared>()) {}

NullWaveDevice::~NullWaveDevice() = default;

unsigned NullWaveDevice::GetNumDevs() { return options_.devices; }

WaveStatus NullWaveDevice::GetDevCaps(unsigned id, WaveOutCaps& caps) {
  if (id >= options_.devices) return {WaveError::BadDeviceId, "no null device " + std::to_string(id)};
  caps = CapsOf(id);
  return {};
}

WaveStatus NullWaveDevice::Open(unsigned id, const WaveFormat& format, DoneCallback done,
                                std::unique_ptr<WaveOut>& out) {
  if (id >= options_.devices) return {WaveError::BadDeviceId, "no null device " + std::to_string(id)};
  if (options_.failOpen) return {WaveError::NoDevice, "null device refuses to open"};
  if (format.channels > CapsOf(id).channels || !(FormatBit(format) & CapsOf(id).formats))
    return {WaveError::BadFormat, "null device does not take this format"};
  std::size_t index;
  {
    std::lock_guard lock(shared_->mutex);
    index = shared_->outputs.size();
    shared_->outputs.emplace_back();
    ++shared_->live;
  }
  out = std::make_unique<WaveOut>(std::make_unique<NullSink>(shared_, index, format, options_.pace, options_.speed),
                                  format, std::move(done));
  return {};
}

std::vector<std::vector<std::uint8_t>> NullWaveDevice::Outputs() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->outputs;
}

std::vector<std::uint8_t> NullWaveDevice::Played() const {
  std::lock_guard lock(shared_->mutex);
  std::vector<std::uint8_t> all;
  all.reserve(shared_->total);
  for (const auto& o : shared_->outputs) all.insert(all.end(), o.begin(), o.end());
  return all;
}

std::size_t NullWaveDevice::BytesPlayed() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->total;
}

std::size_t NullWaveDevice::OpenCount() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->outputs.size();
}

std::size_t NullWaveDevice::LiveOutputs() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->live;
}

void NullWaveDevice::Grant(std::size_t bytes) {
  std::lock_guard lock(shared_->mutex);
  shared_->granted += bytes;
  shared_->changed.notify_all();
}

bool NullWaveDevice::WaitPlayed(std::size_t bytes, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(shared_->mutex);
  return shared_->changed.wait_for(lock, timeout, [&] { return shared_->total >= bytes; });
}

}  // namespace audio
