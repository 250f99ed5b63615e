// devices: the drive list as the device dialog shows it, the image item last.
#include <string>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"

namespace cli {
namespace {

std::string Trimmed(const unsigned char* p, int n) {
  std::string s(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  return s;
}

int RunDevices(Context& ctx, CDevCmdROM*, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: devices takes no arguments\n";
    return kExitUsage;
  }
  DevDeque& devices = ctx.Devices();
  Report report;
  Table& t = report.AddTable("devices", {"id", "node", "name"});
  for (int i = 0; i < devices.GetDevCount(); ++i) {
    CDevCmdROM* d = devices.GetDequeItem(i);
    if (!d) continue;
    if (d->GetDeviceID() == 0) {
      t.AddRow({0, "", "[Image File]"});
      continue;
    }
    INQUIRYDATA inq{};
    std::string name = d->GetNodePath() + ":";
    if (d->Inquiry(inq) == 0) {
      for (auto [at, n] : {std::pair{8, 8}, std::pair{16, 16}, std::pair{32, 4}}) {
        std::string part = Trimmed(inq.data + at, n);
        if (!part.empty()) name += " " + part;
      }
    } else if (!d->GetLastError().empty()) {
      name += " (" + d->GetLastError() + ")";
    }
    t.AddRow({static_cast<int>(d->GetDeviceID()), d->GetNodePath(), name});
  }
  ctx.Print(report);
  return kExitOk;
}

const CommandRegistration registration({"devices", "", "list the optical drives and the image item",
                                        "Prints one line per drive, \"/dev/srN: VENDOR PRODUCT REV\", then\n"
                                        "\"[Image File]\", as the device dialog lists them.\n",
                                        false, RunDevices});

}  // namespace
}  // namespace cli
