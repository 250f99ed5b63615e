// The command table, the source a command works on, and the names of MMC values.
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"

namespace cli {

namespace {
std::vector<Command>& CommandList() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

const std::vector<Command>& Commands() { return CommandList(); }

CommandRegistration::CommandRegistration(const Command& c) {
  auto& t = CommandList();
  auto at = t.begin();
  while (at != t.end() && std::string(at->name) < c.name) ++at;
  t.insert(at, c);
}

bool TakesOption(const Command& command, const std::string& option) {
  const std::string list = std::string(" ") + (command.options ? command.options : "") + " ";
  return list.find(" " + option + " ") != std::string::npos;
}

Context::Context(bool json, std::ostream& out, std::ostream& err) : json(json), out(out), err(err) {}
Context::~Context() = default;

DevDeque& Context::Devices() {
  if (!m_devices) m_devices = std::make_unique<DevDeque>();
  return *m_devices;
}

int Context::Fail(const std::string& message) {
  err << "tessal-cli: " << message << '\n';
  return kExitFailed;
}

CDevCmdROM* Context::OpenSource(const std::string& source, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::file_status st = fs::status(source, ec);
  if (ec || !fs::exists(st)) {
    error = source + ": no such file or drive";
    return nullptr;
  }
  DevDeque& devices = Devices();
  CDevCmdROM* item = nullptr;
  if (fs::is_block_file(st) || fs::is_character_file(st)) {
    // A drive: the list item whose node is this one (links such as /dev/cdrom resolved).
    fs::path want = fs::canonical(source, ec);
    for (int i = 0; i < devices.GetDevCount(); ++i) {
      CDevCmdROM* d = devices.GetDequeItem(i);
      if (!d || d->GetDeviceID() == 0) continue;
      std::error_code ec2;
      if (d->GetNodePath() == source || fs::canonical(d->GetNodePath(), ec2) == want) item = d;
    }
    if (!item) {
      error = source + " is not an optical drive";
      return nullptr;
    }
  } else {
    for (int i = 0; i < devices.GetDevCount(); ++i) {
      CDevCmdROM* d = devices.GetDequeItem(i);
      if (d && d->GetDeviceID() == 0) item = d;
    }
    if (!item) {
      error = "the device list has no image item";
      return nullptr;
    }
    if (!item->SetImageFile(source)) {
      error = item->GetLastError().empty() ? source + " is not a disc image this program reads"
                                           : item->GetLastError();
      return nullptr;
    }
  }
  if (item->TestUnitReady() != 0) {
    SenseData_tag s = item->GetSenseData();
    error = source + " is not ready";
    if (!item->GetLastError().empty()) {
      error += ": " + item->GetLastError();
    } else {
      char buf[48];
      std::snprintf(buf, sizeof buf, " (sense %02X/%02X/%02X)", s.key, s.asc, s.ascq);
      error += buf;
    }
    return nullptr;
  }
  return item;
}

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

std::string ProfileName(int profile) {
  switch (profile) {
    case 0x00: return "none";
    case 0x08: return "CD-ROM";
    case 0x09: return "CD-R";
    case 0x0A: return "CD-RW";
    case 0x10: return "DVD-ROM";
    case 0x11: return "DVD-R";
    case 0x12: return "DVD-RAM";
    case 0x13: return "DVD-RW (restricted overwrite)";
    case 0x14: return "DVD-RW";
    case 0x15: return "DVD-R DL";
    case 0x16: return "DVD-R DL (jump)";
    case 0x1A: return "DVD+RW";
    case 0x1B: return "DVD+R";
    case 0x2A: return "DVD+RW DL";
    case 0x2B: return "DVD+R DL";
    case 0x40: return "BD-ROM";
    case 0x41: return "BD-R";
    case 0x42: return "BD-R (random)";
    case 0x43: return "BD-RE";
    default: return "unknown";
  }
}

std::string DiscStatusName(int status) {
  switch (status & 3) {
    case 0: return "empty";
    case 1: return "incomplete";
    case 2: return "complete";
    default: return "other";
  }
}

std::string FileSystemName(int judged) {
  switch (judged) {
    case 1: return "ISO 9660";
    case 2: return "UDF";
    case 3: return "UDF+ISO 9660";
    default: return "none";
  }
}

}  // namespace cli
