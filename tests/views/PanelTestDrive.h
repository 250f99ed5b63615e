#pragma once
// A drive in memory for the panel tests: it answers the MMC commands the
// panels send from tables the test fills (full TOC, disc and track
// information, sectors that fail with a given sense, configuration features,
// the capabilities page) and records every read it was asked for.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "disc/DevCmdROM.h"
#include "disc/Transport.h"

namespace paneltest {

struct Read {
  std::uint8_t opcode;  // 0x28 READ(10), 0xBE READ CD
  std::uint32_t lba;
  std::uint32_t count;
  bool operator==(const Read&) const = default;
};

struct Sense {
  std::uint8_t key, asc, ascq;
};

class PanelTestDrive : public Transport {
 public:
  ScsiResult Execute(ScsiCommand& cmd) override;
  std::string Describe() const override { return "panel test drive"; }

  // ---- what the drive answers (set before use) ----
  bool ready = true;
  std::optional<std::vector<std::uint8_t>> fullToc;  // READ TOC format 2 response; none: the command fails
  std::optional<std::vector<std::uint8_t>> discInfo; // READ DISC INFORMATION response
  std::map<int, std::vector<std::uint8_t>> trackInfo; // by track number; absent: fails
  std::optional<std::vector<std::uint8_t>> formattedToc;  // READ TOC format 0
  std::uint16_t profile = 0x08;                       // current profile (CD-ROM)
  std::vector<std::uint16_t> features;                // listed in GET CONFIGURATION
  std::optional<std::vector<std::uint8_t>> capabilities;  // page 2Ah from its page-code byte
  std::uint32_t capacity = 1000;                      // sectors readable: [0, capacity)
  std::map<std::uint32_t, Sense> bad;                 // sectors that fail, even alone
  std::map<std::uint32_t, Sense> failInRuns;          // sectors that fail only in a multi-sector read
  std::set<std::uint32_t> form2;                      // Mode 2 Form 2: READ(10) refuses them, raw READ CD reads
  std::uint8_t fill = 0;                              // sector bytes: fill ^ (lba & 0xFF) ^ offset

  // ---- what it was asked ----
  std::vector<Read> Reads() const;
  void ClearReads();
  // Called before each read is answered (on the reading thread).
  std::function<void(const Read&)> onRead;
  // Called with the opcode of every command as it arrives (on the calling thread).
  std::function<void(std::uint8_t)> onCommand;

  // Helpers for building the tables.
  static std::vector<std::uint8_t> TrackInfo(int session, int track, int trackMode, int dataMode,
                                             std::uint32_t start, std::uint32_t size);
  static std::vector<std::uint8_t> DiscInfo(int status, int firstTrack, int lastTrack, int discType = 0);
  struct Desc {
    int session, adrCtl, point, pmin, psec, pframe;
  };
  static std::vector<std::uint8_t> FullToc(const std::vector<Desc>& descriptors);

 private:
  ScsiResult ReadSectors(ScsiCommand& cmd, std::uint8_t opcode, std::uint32_t lba, std::uint32_t count,
                         std::uint32_t bytesPerSector);
  mutable std::mutex m_Mutex;
  std::vector<Read> m_Reads;
};

// A device item over a test drive; the drive stays reachable through `drive`.
struct TestDevice {
  PanelTestDrive* drive;
  std::unique_ptr<CDevCmdROM> device;
};
TestDevice MakeTestDevice();

}  // namespace paneltest
