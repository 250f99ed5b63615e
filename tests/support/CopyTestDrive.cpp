#include "tests/support/CopyTestDrive.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"

namespace testsupport {

ScsiResult RecordingTransport::Execute(ScsiCommand& cmd) {
  const std::uint8_t op = cmd.cdb[0];
  if (op != 0x28 && op != 0xBE) return m_inner->Execute(cmd);
  Read r;
  r.opcode = op;
  r.lba = (std::uint32_t(cmd.cdb[2]) << 24) | (std::uint32_t(cmd.cdb[3]) << 16) | (std::uint32_t(cmd.cdb[4]) << 8) |
          cmd.cdb[5];
  r.count = op == 0x28 ? (std::uint32_t(cmd.cdb[7]) << 8) | cmd.cdb[8]
                       : (std::uint32_t(cmd.cdb[6]) << 16) | (std::uint32_t(cmd.cdb[7]) << 8) | cmd.cdb[8];
  std::function<void(const Read&)> hook;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    hook = m_hook;
    if (m_holdWhen && m_holdWhen(r)) {
      m_holdWhen = nullptr;
      m_holdAt = 0;
    }
    if (m_holdAt == 0) {
      m_held = true;
      m_cv.notify_all();
      m_cv.wait(lock, [&] { return m_released; });
    }
    if (m_holdAt >= 0) --m_holdAt;
  }
  if (hook) hook(r);
  ScsiResult res = m_inner->Execute(cmd);
  r.status = res.status;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_reads.push_back(r);
  return res;
}

void RecordingTransport::HoldAtRead(int n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_holdAt = n;
  m_held = false;
  m_released = false;
}

void RecordingTransport::HoldWhen(std::function<bool(const Read&)> when) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_holdAt = -1;
  m_holdWhen = std::move(when);
  m_held = false;
  m_released = false;
}

void RecordingTransport::WaitHeld() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cv.wait(lock, [&] { return m_held; });
}

void RecordingTransport::Release() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_released = true;
  m_cv.notify_all();
}

std::unique_ptr<CDevCmdROM> RecordedDevice(orvane::DiscLayout layout, RecordingTransport** rec) {
  auto t = std::make_unique<RecordingTransport>(orvane::CreateVirtualDrive(std::move(layout), "memory"));
  if (rec) *rec = t.get();
  return std::make_unique<CDevCmdROM>(1, std::move(t));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, std::string> ReadTree(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), root).generic_string();
    if (it->is_directory()) {
      out[rel + "/"] = "";
    } else {
      out[rel] = ReadWholeFile(it->path().string());
    }
  }
  return out;
}

std::string TreeSummary(const std::map<std::string, std::string>& tree) {
  std::string out;
  for (const auto& [path, bytes] : tree) out += path + " " + std::to_string(bytes.size()) + "\n";
  return out;
}

}  // namespace testsupport
