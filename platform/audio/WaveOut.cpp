#include "platform/audio/WaveOut.h"

#include <algorithm>
#include <utility>

namespace audio {

namespace {

constexpr std::uint32_t kRates[] = {11025, 22050, 44100, 48000, 96000};

WaveStatus Fail(WaveError error, std::string text) { return WaveStatus{error, std::move(text)}; }

}  // namespace

std::uint32_t FormatBit(const WaveFormat& format) {
  // Each rate owns four bits: mono 8, stereo 8, mono 16, stereo 16.
  if (format.channels < 1 || format.channels > 2) return 0;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return 0;
  for (unsigned r = 0; r < std::size(kRates); ++r) {
    if (kRates[r] != format.samplesPerSec) continue;
    const unsigned index = r * 4 + (format.bitsPerSample == 16 ? 2 : 0) + (format.channels == 2 ? 1 : 0);
    return 1u << index;
  }
  return 0;
}

std::vector<WaveFormat> StandardFormats() {
  std::vector<WaveFormat> formats;
  for (std::uint32_t rate : kRates)
    for (std::uint16_t bits : {std::uint16_t{8}, std::uint16_t{16}})
      for (std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{2}})
        formats.push_back(WaveFormat{channels, rate, bits});
  return formats;
}

WaveOut::WaveOut(std::unique_ptr<WaveSink> sink, const WaveFormat& format, DoneCallback done)
    : sink_(std::move(sink)), format_(format), done_(std::move(done)) {
  thread_ = std::thread([this] { Run(); });
}

WaveOut::~WaveOut() {
  // Destroying an output from its own callback cannot join the thread; Close
  // refuses and std::thread terminates the program, which beats running on a
  // freed object.
  Close();
}

WaveStatus WaveOut::Write(std::span<const std::uint8_t> data, std::uint64_t cookie) {
  const std::size_t frame = format_.BlockAlign();
  if (frame == 0 || data.size() % frame != 0)
    return Fail(WaveError::BadLength, "buffer of " + std::to_string(data.size()) + " bytes is not whole frames");
  std::lock_guard lock(mutex_);
  if (closing_ || closed_) return Fail(WaveError::NotOpen, "output is closed");
  if (!lastError_.ok()) return lastError_;
  queue_.push_back(Buffer{std::vector<std::uint8_t>(data.begin(), data.end()), cookie});
  wake_.notify_all();
  return {};
}

WaveStatus WaveOut::Pause() {
  std::unique_lock lock(mutex_);
  if (closing_ || closed_) return Fail(WaveError::NotOpen, "output is closed");
  paused_ = true;
  wake_.notify_all();
  // The thread may be inside the back end with a step of audio; once Pause
  // returns nothing more is taken. On the output thread itself nothing is.
  if (!OnOutputThread()) settled_.wait(lock, [&] { return sinkPaused_ || !paused_ || closed_ || !lastError_.ok(); });
  return {};
}

WaveStatus WaveOut::Restart() {
  std::lock_guard lock(mutex_);
  if (closing_ || closed_) return Fail(WaveError::NotOpen, "output is closed");
  paused_ = false;
  wake_.notify_all();
  return {};
}

WaveStatus WaveOut::Reset() {
  if (OnOutputThread()) return Fail(WaveError::WrongThread, "Reset called from the completion callback");
  std::unique_lock lock(mutex_);
  if (closing_ || closed_) return Fail(WaveError::NotOpen, "output is closed");
  const std::uint64_t mine = ++resetRequests_;
  wake_.notify_all();
  settled_.wait(lock, [&] { return resetsDone_ >= mine || closed_; });
  return {};
}

WaveStatus WaveOut::Drain() {
  if (OnOutputThread()) return Fail(WaveError::WrongThread, "Drain called from the completion callback");
  std::unique_lock lock(mutex_);
  if (closing_ || closed_) return Fail(WaveError::NotOpen, "output is closed");
  if (!lastError_.ok()) return lastError_;
  const std::uint64_t target = drainsDone_ + 1;
  draining_ = true;
  wake_.notify_all();
  settled_.wait(lock, [&] { return drainsDone_ >= target || closed_; });
  if (drainsDone_ < target) return Fail(WaveError::NotOpen, "output closed while draining");
  return lastError_;
}

WaveStatus WaveOut::Close() {
  if (OnOutputThread()) return Fail(WaveError::WrongThread, "Close called from the completion callback");
  std::lock_guard closeLock(closeMutex_);
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  sink_.reset();  // releases the device
  return {};
}

bool WaveOut::IsOpen() const {
  std::lock_guard lock(mutex_);
  return !closing_ && !closed_;
}

bool WaveOut::IsPaused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

std::size_t WaveOut::Queued() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

WaveStatus WaveOut::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void WaveOut::Report(std::unique_lock<std::mutex>& lock, std::deque<Buffer> buffers, bool played) {
  if (!done_ || buffers.empty()) return;
  // The callback may Write, which takes the lock.
  lock.unlock();
  for (const Buffer& b : buffers) done_(BufferDone{b.cookie, played});
  lock.lock();
}

void WaveOut::DropAll(std::unique_lock<std::mutex>& lock) {
  std::deque<Buffer> dropped;
  dropped.swap(queue_);
  frontOffset_ = 0;
  Report(lock, std::move(dropped), false);
}

void WaveOut::Run() {
  std::unique_lock lock(mutex_);
  bool& sinkPaused = sinkPaused_;
  while (!closing_) {
    if (resetsDone_ != resetRequests_) {
      const std::uint64_t served = resetRequests_;
      lock.unlock();
      sink_->Drop();
      lock.lock();
      DropAll(lock);
      resetsDone_ = served;
      settled_.notify_all();
      continue;
    }
    if (paused_ != sinkPaused) {
      const bool want = paused_;
      lock.unlock();
      sink_->SetPaused(want);
      lock.lock();
      sinkPaused = want;
      settled_.notify_all();
      continue;
    }
    if (paused_) {
      wake_.wait(lock);
      continue;
    }
    if (queue_.empty()) {
      if (!draining_) {
        wake_.wait(lock);
        continue;
      }
      lock.unlock();
      const bool drained = sink_->DrainStep();
      lock.lock();
      if (drained && draining_ && queue_.empty()) {
        draining_ = false;
        ++drainsDone_;
        settled_.notify_all();
      }
      continue;
    }

    // Only this thread removes buffers, and a deque keeps references to its
    // elements valid across push_back, so the front stays put while unlocked.
    Buffer& front = queue_.front();
    if (frontOffset_ >= front.bytes.size()) {
      std::deque<Buffer> finished;
      finished.push_back(std::move(front));
      queue_.pop_front();
      frontOffset_ = 0;
      Report(lock, std::move(finished), true);
      continue;
    }
    const std::uint8_t* data = front.bytes.data() + frontOffset_;
    const std::size_t left = front.bytes.size() - frontOffset_;
    lock.unlock();
    std::size_t taken = 0;
    WaveStatus status = sink_->Write(data, left, taken);
    lock.lock();
    frontOffset_ += std::min(taken, left);
    if (!status.ok()) {
      lastError_ = std::move(status);
      DropAll(lock);
      if (draining_) {
        draining_ = false;
        ++drainsDone_;
      }
      settled_.notify_all();
      // Stay until closed: callers still see the error and Close joins us.
      wake_.wait(lock, [&] { return closing_ || resetsDone_ != resetRequests_; });
      if (resetsDone_ != resetRequests_) {
        resetsDone_ = resetRequests_;
        settled_.notify_all();
      }
    }
  }
  DropAll(lock);
  lock.unlock();
  sink_->Drop();
  lock.lock();
  closed_ = true;
  settled_.notify_all();
}

}  // namespace audio
