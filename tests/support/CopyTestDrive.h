#pragma once
// Helpers of the copy tests: a transport that passes commands on to another
// one while it records the reads and lets a test hold the worker at a chosen
// read, and a folder tree read back into memory for comparison.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/Transport.h"
#include "platform/orvane/DiscImage.h"

class CDevCmdROM;

namespace testsupport {

class RecordingTransport : public Transport {
 public:
  struct Read {
    std::uint8_t opcode = 0;  // 0x28 READ(10), 0xBE READ CD
    std::uint32_t lba = 0;
    std::uint32_t count = 0;
    int status = 0;
  };
  explicit RecordingTransport(std::unique_ptr<Transport> inner) : m_inner(std::move(inner)) {}

  ScsiResult Execute(ScsiCommand& cmd) override;
  std::string Describe() const override { return m_inner->Describe(); }

  // Called (on the reading thread) before each read command is passed on.
  void OnRead(std::function<void(const Read&)> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hook = std::move(hook);
  }
  std::vector<Read> Reads() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reads;
  }
  void ClearReads() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reads.clear();
  }

  // Holds the thread that issues read number `n` (counted from now, 0 the
  // next) until Release; WaitHeld blocks until that thread has arrived.
  void HoldAtRead(int n);
  // The same for the first read for which when() is true.
  void HoldWhen(std::function<bool(const Read&)> when);
  void WaitHeld();
  void Release();

 private:
  std::unique_ptr<Transport> m_inner;
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::function<void(const Read&)> m_hook;
  std::vector<Read> m_reads;
  int m_holdAt = -1;
  std::function<bool(const Read&)> m_holdWhen;
  bool m_held = false;
  bool m_released = false;
};

// A drive over layout whose reads go through a RecordingTransport (*rec).
std::unique_ptr<CDevCmdROM> RecordedDevice(orvane::DiscLayout layout, RecordingTransport** rec);

// Every file and folder below root: relative path ("a/b.txt", folders with a
// trailing "/") to the file's bytes (empty for folders).
std::map<std::string, std::string> ReadTree(const std::string& root);
// "path size" lines of a tree, for messages (the bytes would flood them).
std::string TreeSummary(const std::map<std::string, std::string>& tree);
// The bytes of a file, empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace testsupport
