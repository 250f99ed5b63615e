// devices: the drive list as the device dialog shows it, the image item last.
#include <string>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"

namespace cli {
namespace {

// The device dialog's text: the INQUIRY bytes from the vendor field up to the
// first zero byte (vendor, product and revision run together as the drive
// pads them), never past the record.
std::string InquiryText(const INQUIRYDATA& inq) {
  std::string s;
  for (const char ch : mmc::InquiryIdentification(inq)) {
    const auto c = static_cast<unsigned char>(ch);
    s += c < 0x20 || c > 0x7E ? ' ' : static_cast<char>(c);
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
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
    std::string name = d->GetNodePath() + ": ";
    if (d->Inquiry(inq) == 0) {
      name += InquiryText(inq);
    } else {
      // The dialog leaves such a drive out; here it is listed with the reason.
      name += "(" + (d->GetLastError().empty() ? std::string("INQUIRY failed") : d->GetLastError()) + ")";
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
