// ls SOURCE NODEPATH: the file browser's list for one tree node.
#include <string>

#include "cli/Cli.h"
#include "cli/NodePath.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgMain.h"

namespace cli {
namespace {

int RunLs(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (args.size() != 1) {
    ctx.err << "tessal-cli: ls takes a SOURCE and a NODEPATH\n";
    return kExitUsage;
  }
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");
  CDlgMain view;
  unsigned char vd[2048] = {};
  view.SetVdBuffer(vd);
  view.LoadDisc(dev);
  ui::TreeCtrl& tree = view.Tree();
  std::string error;
  ui::HTREEITEM node = ResolveNodePath(tree, args[0], error);
  if (!node) return ctx.Fail(error);
  view.SelectNode(node);

  ui::ListCtrl& list = view.List();
  std::vector<std::string> headings;
  for (int c = 0; c < list.GetColumnCount(); ++c) headings.push_back(list.GetColumn(c)->heading);
  Report report;
  Table& table = report.AddTable("rows", headings);
  for (int r = 0; r < list.GetItemCount(); ++r) {
    std::vector<Value> row;
    for (int c = 0; c < list.GetColumnCount(); ++c) row.emplace_back(list.GetItemText(r, c));
    table.AddRow(std::move(row));
  }
  ctx.Print(report);
  return kExitOk;
}

const CommandRegistration registration(
    {"ls", "SOURCE NODEPATH", "the file browser's list for a tree node",
     "NODEPATH is the node's texts from the root joined by \"/\", for example\n"
     "\"Session 1/DATA TRACK 1(ISO)/DOCS\". A NODEPATH starting with \"/\" names a\n"
     "folder of the first data track with a file system (\"/\" its root, \"/DOCS/A\").\n"
     "Prints the column headings, then one tab-separated line per row in the\n"
     "order the list shows them.\n",
     true, RunLs});

}  // namespace
}  // namespace cli
