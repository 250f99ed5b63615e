#include "tests/app/AppTestUtil.h"

#include <algorithm>
#include <cstring>

#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/IsoBuilder.h"

namespace apptest {

MixedModeDisc::MixedModeDisc() {
  testsupport::IsoBuilder iso;
  iso.joliet = true;
  testsupport::IsoNode& docs = iso.Folder(iso.Root(), "DOCS");
  iso.File(docs, "README.TXT;1", testsupport::Bytes(3000, 'r'));
  testsupport::IsoNode& music = iso.Folder(iso.Root(), "MUSIC");
  iso.File(music, "NOTES.TXT;1", testsupport::Bytes(100, 'n'));
  dir.Write("data.iso", iso.Build());
  testsupport::Bytes audio = testsupport::AudioSectors(150, 1);
  const testsupport::Bytes second = testsupport::AudioSectors(120, 2);
  audio.insert(audio.end(), second.begin(), second.end());
  dir.Write("audio.bin", audio);
  cue = dir.Write("disc.cue",
                  "TITLE \"Test Album\"\n"
                  "PERFORMER \"Test Band\"\n"
                  "FILE \"data.iso\" BINARY\n"
                  "  TRACK 01 MODE1/2048\n"
                  "    INDEX 01 00:00:00\n"
                  "FILE \"audio.bin\" BINARY\n"
                  "  TRACK 02 AUDIO\n"
                  "    TITLE \"First Tune\"\n"
                  "    PERFORMER \"Test Band\"\n"
                  "    INDEX 01 00:00:00\n"
                  "  TRACK 03 AUDIO\n"
                  "    TITLE \"Second Tune\"\n"
                  "    INDEX 01 00:02:00\n");
}

namespace {

ScsiResult NotReady() {
  ScsiResult r;
  r.status = 2;
  r.sense[0] = 0x70;
  r.sense[2] = 0x02;
  r.sense[7] = 10;
  r.sense[12] = 0x3A;
  r.senseLength = 18;
  return r;
}

}  // namespace

WatchedDrive::WatchedDrive(const std::string& imagePath) {
  if (imagePath.empty()) return;
  orvane::DiscLayout layout;
  std::string error;
  if (orvane::OpenImage(imagePath, layout, error)) m_pImage = orvane::CreateVirtualDrive(std::move(layout), imagePath);
}

ScsiResult WatchedDrive::Execute(ScsiCommand& cmd) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Sent.emplace_back(cmd.cdb, cmd.cdb + std::max(0, std::min(cmd.cdbLength, 16)));
  }
  const std::uint8_t op = cmd.cdb[0];
  if (op == kInquiry) {
    ScsiResult r;
    if (inquiryFails) {
      r.status = -1;
      r.error = "Permission denied";
      return r;
    }
    std::uint8_t data[96] = {};
    data[0] = 0x05;  // CD/DVD device
    data[4] = 31;
    std::memcpy(data + 8, identification.data(), std::min<std::size_t>(identification.size(), 28));
    const std::size_t n = std::min<std::size_t>(cmd.dataLength, 36);
    std::memcpy(cmd.data, data, n);
    r.transferred = n;
    return r;
  }
  if (op == kStartStop || op == kPreventAllow) return ScsiResult{};
  if (!ready || !m_pImage) return NotReady();
  return m_pImage->Execute(cmd);
}

int WatchedDrive::Count(std::uint8_t opcode) const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return static_cast<int>(std::count_if(m_Sent.begin(), m_Sent.end(), [&](const auto& c) { return c[0] == opcode; }));
}

std::vector<std::vector<std::uint8_t>> WatchedDrive::Commands(std::uint8_t opcode) const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& c : m_Sent)
    if (c[0] == opcode) out.push_back(c);
  return out;
}

void WatchedDrive::Clear() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Sent.clear();
}

Drive MakeDrive(int id, const std::string& imagePath) {
  auto transport = std::make_unique<WatchedDrive>(imagePath);
  WatchedDrive* raw = transport.get();
  auto device = std::make_unique<CDevCmdROM>(static_cast<unsigned char>(id), std::move(transport),
                                             "/dev/sr" + std::to_string(id - 1));
  return Drive{raw, std::move(device)};
}

std::unique_ptr<DevDeque> DevicesOf(std::vector<Drive>& drives) {
  std::vector<std::unique_ptr<CDevCmdROM>> items;
  for (Drive& d : drives) items.push_back(std::move(d.device));
  return std::make_unique<DevDeque>(std::move(items));
}

}  // namespace apptest
