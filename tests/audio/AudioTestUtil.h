#pragma once
// Helpers shared by the wave-output tests: recognisable PCM and a recorder of
// done callbacks that a test can wait on.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/audio/WaveOut.h"

namespace audio::test {

// `bytes` of PCM whose every frame differs from its neighbours, seeded so
// that two buffers never look alike.
inline std::vector<std::uint8_t> Pcm(std::size_t bytes, std::uint32_t seed) {
  std::vector<std::uint8_t> out(bytes);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return out;
}

class DoneLog {
 public:
  DoneCallback Callback() {
    return [this](const BufferDone& d) {
      std::lock_guard lock(mutex_);
      done_.push_back(d);
      changed_.notify_all();
    };
  }
  bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done_.size() >= count; });
  }
  std::vector<BufferDone> Done() const {
    std::lock_guard lock(mutex_);
    return done_;
  }
  std::size_t Count() const {
    std::lock_guard lock(mutex_);
    return done_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<BufferDone> done_;
};

inline std::vector<std::uint8_t> Concat(std::initializer_list<const std::vector<std::uint8_t>*> parts) {
  std::vector<std::uint8_t> all;
  for (const auto* p : parts) all.insert(all.end(), p->begin(), p->end());
  return all;
}

}  // namespace audio::test
