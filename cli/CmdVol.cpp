// vol SOURCE [NODEPATH]: the volume view's rows for the volume the file
// browser finds, or for the session holding a node of its tree.
#include <cstring>
#include <set>

#include "cli/Cli.h"
#include "cli/NodePath.h"
#include "disc/DevCmdROM.h"
#include "fs/iso9660/Descriptors.h"
#include "platform/orvane/DeviceSource.h"
#include "udf/Analy_UDF.h"
#include "views/CDlgTOCRows.h"
#include "views/CDlgMain.h"
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

struct ShownVolume {
  unsigned char vd[kVolDescriptorSize] = {};
  int fsType = 0;
  std::optional<UdfVolumeSummary> udfSummary;
};

// The browser reads the first data track of each session in turn; without a
// node chosen, the view shows what the last one with a file system left.
ShownVolume LastSessionVolume(CDevCmdROM* dev, const std::vector<TocRow>& tracks) {
  ShownVolume shown;
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
    std::memcpy(shown.vd, found, sizeof shown.vd);
    shown.fsType = fs;
    shown.udfSummary = summary;
  }
  return shown;
}

// The volume of the session that holds the node, as the view shows it once
// the node was selected in the browser; false with the reason in error.
bool NodeSessionVolume(CDevCmdROM* dev, const std::string& path, ShownVolume& shown, std::string& error) {
  CDlgMain view;
  view.SetVdBuffer(shown.vd);
  view.LoadDisc(dev);
  ui::HTREEITEM node = ResolveNodePath(view.Tree(), path, error);
  if (!node) return false;
  view.SelectNode(node);
  shown.fsType = view.GetVolumeFsType();
  shown.udfSummary = view.UdfSummary();
  return true;
}

int RunVol(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (args.size() > 1) {
    ctx.err << "tessal-cli: vol takes a SOURCE and at most a NODEPATH\n";
    return kExitUsage;
  }
  std::vector<TocRow> tracks;
  if (BuildTocRows(dev, tracks) == TocListResult::NotReady) return ctx.Fail("Device not Ready,Please try again!");
  ShownVolume shown;
  std::string error;
  if (args.empty()) {
    shown = LastSessionVolume(dev, tracks);
  } else if (!NodeSessionVolume(dev, args[0], shown, error)) {
    return ctx.Fail(error);
  }
  const unsigned char* vd = shown.vd;
  const int fsType = shown.fsType;
  const std::optional<UdfVolumeSummary>& udfSummary = shown.udfSummary;

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
    {"vol", "SOURCE [NODEPATH]", "the fields of the volume's primary volume descriptor (ISO 9660 or UDF)",
     "Prints the rows of the volume information view for the file system that the\n"
     "file browser finds: the ISO 9660 primary descriptor (the Joliet supplementary\n"
     "one when the volume has it), or the UDF primary volume descriptor followed by\n"
     "the UDF revision, block size, partition maps and anchor blocks.\n"
     "On a disc of several sessions this is the volume of the last session that has\n"
     "one. NODEPATH picks the session as the view does when that node is selected\n"
     "in the browser: the volume of the session holding it (\"Session 2\", or any\n"
     "track or folder below it, named as for ls). A session without a volume, such\n"
     "as the audio session of an Enhanced CD, keeps the one the view showed before.\n",
     true, RunVol});

}  // namespace
}  // namespace cli
