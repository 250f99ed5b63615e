#pragma once
// What the main-window tests share: a mixed-mode disc written as CUE/BIN
// files, drives that serve an image and write down every command they were
// sent, and a headless user interface with a silent sound device.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "disc/Transport.h"
#include "platform/audio/NullWaveDevice.h"
#include "platform/ui/HeadlessUi.h"
#include "tests/support/CdImages.h"

namespace apptest {

// A CD with an ISO 9660 + Joliet data track (folders DOCS and MUSIC, two
// files) and two audio tracks with CD-TEXT, as disc.cue beside data.iso and
// audio.bin.
struct MixedModeDisc {
  testsupport::ScratchDir dir;
  std::string cue;
  MixedModeDisc();
};

// A drive that answers from an image (or from nothing: no medium), can be
// made not ready or unable to answer INQUIRY, and keeps the operation codes
// it was sent.
class WatchedDrive : public Transport {
 public:
  explicit WatchedDrive(const std::string& imagePath = {});
  ScsiResult Execute(ScsiCommand& cmd) override;
  std::string Describe() const override { return "watched drive"; }

  bool ready = true;
  bool inquiryFails = false;
  std::string identification = "TESSAL  Test Drive      1.00";

  int Count(std::uint8_t opcode) const;
  std::vector<std::vector<std::uint8_t>> Commands(std::uint8_t opcode) const;  // their command blocks
  void Clear();

 private:
  std::unique_ptr<Transport> m_pImage;
  mutable std::mutex m_Mutex;
  std::vector<std::vector<std::uint8_t>> m_Sent;
};

constexpr std::uint8_t kTestUnitReady = 0x00;
constexpr std::uint8_t kInquiry = 0x12;
constexpr std::uint8_t kStartStop = 0x1B;
constexpr std::uint8_t kPreventAllow = 0x1E;
constexpr std::uint8_t kReadToc = 0x43;

struct Drive {
  WatchedDrive* transport;  // owned by the device
  std::unique_ptr<CDevCmdROM> device;
};
// A drive item with id (1-based) at /dev/sr<id-1>.
Drive MakeDrive(int id, const std::string& imagePath = {});
// A device list of the given drives, then the image item.
std::unique_ptr<DevDeque> DevicesOf(std::vector<Drive>& drives);

// Installs a headless user interface for the test's life.
struct HeadlessScope {
  ui::HeadlessUi ui;
  ui::Ui* previous;
  audio::NullWaveDevice sound;
  HeadlessScope() : previous(ui::Ui::Install(&ui)) { ui.SetIdleWait(std::chrono::milliseconds(0)); }
  ~HeadlessScope() { ui::Ui::Install(previous); }
};

}  // namespace apptest
