// vol SOURCE: the volume view's rows for the volume the file browser finds.
#include <cstring>
#include <set>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "fs/iso9660/Descriptors.h"
#include "platform/orvane/DeviceSource.h"
#include "udf/Analy_UDF.h"
#include "views/CDlgTOCRows.h"
#include "views/CDlgVolRows.h"

namespace cli {
namespace {

// The descriptor the browser keeps for an ISO 9660 track: the Joliet
// supplementary one when the volume has it, else the primary one.
bool FindIsoDescriptor(CDevCmdROM& dev, std::uint32_t start, unsigned char* vd) {
  orvane::DeviceSectorSource source(dev);
  const fs::iso9660::DescriptorSet set = fs::iso9660::ReadDescriptors(source, start);
  const fs::iso9660::VolumeDescriptor* shown = set.Shown();
  if (!shown) return false;
  std::memcpy(vd, shown->bytes.data(), kVolDescriptorSize);
  return true;
}

int RunVol(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: vol takes only a SOURCE\n";
    return kExitUsage;
  }
  std::vector<TocRow> tracks;
  if (BuildTocRows(dev, tracks) == TocListResult::NotReady) return ctx.Fail("Device not Ready,Please try again!");

  // The browser reads the first data track of each session in turn; the
  // view shows what the last one with a file system left.
  unsigned char vd[kVolDescriptorSize] = {};
  int fsType = 0;
  std::optional<UdfVolumeSummary> udfSummary;
  std::set<std::string> sessionsSeen;
  for (const TocRow& t : tracks) {
    if (!t.data || !sessionsSeen.insert(t.session).second) continue;
    const auto start = static_cast<std::uint32_t>(t.startLba);
    const int fs = dev->JudgeFileSystem(start);
    unsigned char found[kVolDescriptorSize] = {};
    std::optional<UdfVolumeSummary> summary;
    if (fs >= 2) {
      CAnaly_UDF udf;
      if (!udf.Analyse(dev, found, start)) continue;
      summary = udf.Summary();
    } else if (fs == 1) {
      if (!FindIsoDescriptor(*dev, start, found)) continue;
    } else {
      continue;
    }
    std::memcpy(vd, found, sizeof vd);
    fsType = fs;
    udfSummary = summary;
  }

  Report report;
  Table& table = report.AddTable("volume", {"Volume Descriptor", "Infomation"});
  for (const VolRow& r : BuildVolRows(vd, kVolDescriptorSize, fsType, udfSummary ? &*udfSummary : nullptr))
    table.AddRow({Value(r.first), Value(r.second)});
  ctx.Print(report);
  if (fsType == 0) {
    ctx.err << "tessal-cli: no ISO 9660 or UDF volume found\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CommandRegistration registration(
    {"vol", "SOURCE", "the fields of the volume's primary volume descriptor (ISO 9660 or UDF)",
     "Prints the rows of the volume information view for the file system that the\n"
     "file browser finds: the ISO 9660 primary descriptor (the Joliet supplementary\n"
     "one when the volume has it), or the UDF primary volume descriptor followed by\n"
     "the UDF revision, block size, partition maps and anchor blocks.\n",
     true, RunVol});

}  // namespace
}  // namespace cli
