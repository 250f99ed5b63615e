// tree SOURCE: the file browser's tree, one node per line.
#include <string>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgMain.h"

namespace cli {
namespace {

void PrintNodes(ui::TreeCtrl& tree, ui::HTREEITEM parent, int depth, Context& ctx, Table& table) {
  for (ui::HTREEITEM c = tree.GetChildItem(parent); c; c = tree.GetNextSiblingItem(c)) {
    const std::string text = tree.GetItemText(c);
    const unsigned long long data = tree.GetItemData(c);
    if (ctx.json)
      table.AddRow({Value(depth), Value(text), Value(static_cast<std::uint64_t>(data))});
    else
      ctx.out << std::string(2 * static_cast<std::size_t>(depth), ' ') << text << '\t' << data << '\n';
    PrintNodes(tree, c, depth + 1, ctx, table);
  }
}

int RunTree(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: tree takes only a SOURCE\n";
    return kExitUsage;
  }
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");
  CDlgMain view;
  unsigned char vd[2048] = {};
  view.SetVdBuffer(vd);
  view.LoadDisc(dev);
  Report report;
  Table& table = report.AddTable("nodes", {"Depth", "Text", "Data"});
  PrintNodes(view.Tree(), ui::TVI_ROOT, 0, ctx, table);
  if (ctx.json) ctx.Print(report);
  return kExitOk;
}

const CommandRegistration registration(
    {"tree", "SOURCE", "the file browser's tree: sessions, tracks, folders, lead-out",
     "Prints one node per line, two spaces of indentation per level, the node's\n"
     "text, a tab and its item data (a folder's directory sector, 0 for sessions,\n"
     "tracks and the lead-out).\n",
     true, RunTree});

}  // namespace
}  // namespace cli
