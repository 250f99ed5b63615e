// devinfo SOURCE: the device capability view's 29 rows.
#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgDevInfoRows.h"

namespace cli {
namespace {

int RunDevinfo(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: devinfo takes only a SOURCE\n";
    return kExitUsage;
  }
  std::vector<DevInfoRow> rows;
  const bool ok = ReadDevInfoRows(*dev, rows);
  Report report;
  Table& table = report.AddTable("capabilities", {"Support", "Device Parameter"});
  for (const DevInfoRow& r : rows) table.AddRow({Value(r.first), Value(r.second)});
  ctx.Print(report);
  if (!ok) {
    ctx.err << "tessal-cli: the capabilities mode page (2Ah) could not be read\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CommandRegistration registration(
    {"devinfo", "SOURCE", "what the drive reads and writes (mode page 2Ah, GET CONFIGURATION)",
     "Prints the 29 rows of the device capability view: Yes or No beside each\n"
     "capability, with the three headings and two blank rows between the groups.\n",
     true, RunDevinfo});

}  // namespace
}  // namespace cli
