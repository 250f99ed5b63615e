#pragma once
// The read-error scan over every track of a disc: runs of 16 sectors with the
// read that suits the track (raw for audio, user data for data), and each
// sector of a failed run read again alone; a sector that still fails is
// reported with the sense the device gave. It runs on whatever thread calls
// Run: the scan dialog gives it a worker thread, the command-line tool its own.
#include <atomic>
#include <cstdint>
#include <functional>

#include "disc/DiscModel.h"

class CDevCmdROM;

struct ScanHooks {
  // The scan has found its range of tracks and begins reading (progress 0).
  std::function<void()> begin;
  // A sector that could not be read alone, with the device's last sense.
  std::function<void(std::uint32_t lba, const SenseData_tag& sense)> badSector;
  // Progress in percent (0-100), only when it changed.
  std::function<void(int percent)> progress;
};

enum class ScanOutcome {
  Completed,   // every track was read
  Stopped,     // the stop request ended it
  NoDisc,      // an empty disc (disc status 0)
  NoTracks,    // neither disc information nor the TOC could be read
  NoLastTrack, // the last track's information could not be read
};

class DiscScanner {
 public:
  static constexpr int kRunSectors = 16;

  DiscScanner(CDevCmdROM& device, const std::atomic<bool>& stop) : m_Device(device), m_Stop(stop) {}
  ScanOutcome Run(const ScanHooks& hooks);

  // What the last Run did, for the curious (tests, the tool's summary).
  std::uint64_t SectorsRead() const { return m_nSectors; }
  std::uint64_t Commands() const { return m_nCommands; }
  std::uint32_t DiscEnd() const { return m_nDiscEnd; }

 private:
  bool Stopping() const { return m_Stop.load(std::memory_order_relaxed); }
  int ReadRun(bool audio, unsigned char* buffer, int count, std::uint32_t lba);
  bool ReadsRaw(bool audio, unsigned char* buffer, std::uint32_t lba);
  bool ScanRange(const ScanHooks& hooks, bool audio, unsigned char* buffer, std::uint64_t from, std::uint64_t to,
                 int& shown);

  CDevCmdROM& m_Device;
  const std::atomic<bool>& m_Stop;
  std::uint64_t m_nSectors = 0, m_nCommands = 0;
  std::uint32_t m_nDiscEnd = 0;
};

// The percentage after reading up to `cursor` of a disc ending at discEnd;
// -1 (leave the bar where it is) for a disc end of 0. Computed in 64 bits so
// that a large disc cannot overflow it.
int ScanPercent(std::uint64_t cursor, std::uint32_t discEnd);
