#pragma once
// Wave output: a device list (WaveDevice) that opens outputs (WaveOut) to which
// whole buffers of PCM are queued. Each open output runs its own thread, which
// hands the queued buffers to the back end in order and reports each buffer
// done through the completion callback, on that thread.
//
// Buffer semantics:
// - Write copies the bytes, so the caller may reuse its buffer at once; the
//   callback carries the cookie given to Write.
// - Every accepted Write gets exactly one done callback, in the order written:
//   played = true once its last byte has been taken by the device, played =
//   false when Reset, Close or a device failure dropped it first.
// - "Taken by the device" means the device's own buffer holds it. A sound card
//   still plays that tail (a fraction of a second) after the callback, which
//   is what lets a caller that queues one buffer at a time play without gaps;
//   Drain waits until that tail has been heard, Reset and Close discard it.
// - The callback may Write, Pause and Restart. Reset, Drain and Close wait for
//   the output thread, so they refuse (WaveError::WrongThread) when called from
//   the callback.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace audio {

struct WaveFormat {
  std::uint16_t channels = 2;
  std::uint32_t samplesPerSec = 44100;
  std::uint16_t bitsPerSample = 16;

  std::uint16_t BlockAlign() const { return static_cast<std::uint16_t>(channels * bitsPerSample / 8); }
  std::uint32_t AvgBytesPerSec() const { return samplesPerSec * BlockAlign(); }
  bool operator==(const WaveFormat&) const = default;
};

// Red Book audio: 2 channels, 44100 Hz, 16-bit little-endian, 176400 bytes a second.
inline constexpr WaveFormat kCdAudioFormat{};

// Supported-format bits of WaveOutCaps::formats, in the classic wave-output
// layout: 11025 (1), 22050 (2), 44100 (4), 48000 (48) and 96000 (96) Hz, mono
// or stereo, 8 or 16 bits.
enum : std::uint32_t {
  WAVE_FORMAT_1M08 = 0x00000001, WAVE_FORMAT_1S08 = 0x00000002,
  WAVE_FORMAT_1M16 = 0x00000004, WAVE_FORMAT_1S16 = 0x00000008,
  WAVE_FORMAT_2M08 = 0x00000010, WAVE_FORMAT_2S08 = 0x00000020,
  WAVE_FORMAT_2M16 = 0x00000040, WAVE_FORMAT_2S16 = 0x00000080,
  WAVE_FORMAT_4M08 = 0x00000100, WAVE_FORMAT_4S08 = 0x00000200,
  WAVE_FORMAT_4M16 = 0x00000400, WAVE_FORMAT_4S16 = 0x00000800,
  WAVE_FORMAT_48M08 = 0x00001000, WAVE_FORMAT_48S08 = 0x00002000,
  WAVE_FORMAT_48M16 = 0x00004000, WAVE_FORMAT_48S16 = 0x00008000,
  WAVE_FORMAT_96M08 = 0x00010000, WAVE_FORMAT_96S08 = 0x00020000,
  WAVE_FORMAT_96M16 = 0x00040000, WAVE_FORMAT_96S16 = 0x00080000,
};

// The supported-format bit that stands for `format`; 0 when none does.
std::uint32_t FormatBit(const WaveFormat& format);
// Every format that has a bit, in bit order.
std::vector<WaveFormat> StandardFormats();

struct WaveOutCaps {
  std::string name;
  std::uint16_t channels = 0;  // most channels the device plays
  std::uint32_t formats = 0;   // WAVE_FORMAT_* bits
};

enum class WaveError {
  None,
  BadDeviceId,  // no device with that index
  NoDevice,     // the device is missing or cannot be opened
  BadFormat,    // the device does not play the format
  BadLength,    // a buffer that is not whole frames
  NotOpen,      // the output was closed
  WrongThread,  // a waiting call made from the completion callback
  DeviceError,  // the device failed while playing
};

struct WaveStatus {
  WaveError error = WaveError::None;
  std::string text;  // what went wrong, with the sound system's own words

  bool ok() const { return error == WaveError::None; }
  explicit operator bool() const { return ok(); }
};

struct BufferDone {
  std::uint64_t cookie = 0;
  bool played = false;  // false: dropped by Reset, Close or a device failure
};
using DoneCallback = std::function<void(const BufferDone&)>;

// The back end of one open output. Only the output's thread calls it, so an
// implementation needs no locking of its own.
class WaveSink {
 public:
  virtual ~WaveSink() = default;
  // Hands up to `bytes` (whole frames) to the device, waiting a short while
  // (tens of milliseconds) at most for room; `taken` is what it took.
  virtual WaveStatus Write(const std::uint8_t* data, std::size_t bytes, std::size_t& taken) = 0;
  virtual void SetPaused(bool paused) = 0;
  // Discards whatever the device still holds.
  virtual void Drop() = 0;
  // Plays out whatever the device holds, waiting a short while at most per
  // call; true once nothing is left.
  virtual bool DrainStep() = 0;
};

class WaveOut {
 public:
  // Starts the output's thread. `done` may be empty.
  WaveOut(std::unique_ptr<WaveSink> sink, const WaveFormat& format, DoneCallback done);
  ~WaveOut();  // Close
  WaveOut(const WaveOut&) = delete;
  WaveOut& operator=(const WaveOut&) = delete;

  const WaveFormat& Format() const { return format_; }

  // Queues a copy of `data` (whole frames; empty is allowed and is done at once).
  WaveStatus Write(std::span<const std::uint8_t> data, std::uint64_t cookie);
  // Holds playback where it is; buffers written meanwhile wait. Pausing an
  // output that plays nothing makes the next Write wait for Restart. When it
  // returns (from any thread but the output's) the device takes nothing more.
  WaveStatus Pause();
  WaveStatus Restart();
  // Drops every queued buffer and what the device holds; their callbacks
  // (played = false) have run when Reset returns. The paused state stays.
  WaveStatus Reset();
  // Waits until every queued buffer has been played out through the device.
  // A Reset or Close from another thread ends the wait (the result then says
  // NotOpen for Close; Reset's dropped buffers are reported as usual).
  WaveStatus Drain();
  // Drops what is queued (callbacks with played = false), discards the
  // device's buffer and joins the thread. Safe from any state, more than once.
  WaveStatus Close();

  bool IsOpen() const;
  bool IsPaused() const;
  std::size_t Queued() const;  // buffers written and not yet reported done
  // A device failure the output thread met; None while all is well.
  WaveStatus LastError() const;

 private:
  struct Buffer {
    std::vector<std::uint8_t> bytes;
    std::uint64_t cookie = 0;
  };
  void Run();
  // Takes the queue out and reports every buffer dropped (unlocks meanwhile).
  void DropAll(std::unique_lock<std::mutex>& lock);
  void Report(std::unique_lock<std::mutex>& lock, std::deque<Buffer> buffers, bool played);
  bool OnOutputThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  std::unique_ptr<WaveSink> sink_;
  const WaveFormat format_;
  DoneCallback done_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;     // the output thread waits on it
  std::condition_variable settled_;  // callers of Reset and Drain wait on it
  std::deque<Buffer> queue_;         // front is the one being played
  std::size_t frontOffset_ = 0;      // bytes of the front buffer taken so far
  bool paused_ = false;
  bool sinkPaused_ = false;  // the output thread has paused the back end
  bool closing_ = false;
  bool closed_ = false;
  std::uint64_t resetRequests_ = 0, resetsDone_ = 0;
  bool draining_ = false;      // a Drain waits
  std::uint64_t drainsDone_ = 0;
  WaveStatus lastError_;
  std::thread thread_;
  std::mutex closeMutex_;  // one Close joins
};

// A list of output devices, indexed from 0.
class WaveDevice {
 public:
  virtual ~WaveDevice() = default;
  virtual unsigned GetNumDevs() = 0;
  virtual WaveStatus GetDevCaps(unsigned id, WaveOutCaps& caps) = 0;
  // Opens device `id` for `format`; `out` receives the output on success.
  virtual WaveStatus Open(unsigned id, const WaveFormat& format, DoneCallback done,
                          std::unique_ptr<WaveOut>& out) = 0;
};

}  // namespace audio
