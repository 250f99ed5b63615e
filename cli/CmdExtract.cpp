// extract SOURCE NODEPATH DEST: a file, folder or data track of the browser
// copied into the existing folder DEST, as "Save Data" extracts it.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/BootCli.h"
#include "cli/Cli.h"
#include "cli/NodePath.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgMain.h"

namespace cli {

// Follows a started job to its end: a progress line on a terminal's error
// stream, then the summary (files, bytes, unreadable sectors and the files
// that hold them, and the items not made: devices, FIFOs, sockets). Exit
// status 0 only for a complete, clean copy.
int FinishCliCopy(Context& ctx, CGetCDData& engine) {
  const bool tty = &ctx.err == &std::cerr && ::isatty(STDERR_FILENO);
  while (!engine.WaitFor(std::chrono::milliseconds(100))) {
    if (tty) {
      const int p = std::min(engine.GetPercent(), 100);
      const int filled = p * 30 / 100;
      std::string name = engine.GetCurrentName();
      if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
      char line[160];
      std::snprintf(line, sizeof line, "\r[%-30s] %3d%% %-40s", std::string(filled, '#').c_str(), p, name.c_str());
      ctx.err << line << std::flush;
    }
  }
  engine.Wait();
  if (tty) ctx.err << "\r" << std::string(80, ' ') << "\r" << std::flush;
  const CopyResult r = engine.GetResult();
  Report report;
  report.Field("files", Value(r.files));
  report.Field("folders", Value(r.folders));
  report.Field("links", Value(r.links));
  report.Field("bytes", Value(r.bytes));
  report.Field("unreadable", Value(r.unreadable));
  if (!r.damaged.empty()) {
    Table& t = report.AddTable("damaged", {"path", "sectors", "reason"});
    for (const CopyDamage& d : r.damaged)
      t.AddRow({Value(d.path), Value(d.sectors), Value(d.reason.empty() ? "unreadable sectors" : d.reason)});
  }
  if (!r.faults.empty()) {
    Table& t = report.AddTable("faults", {"fault"});
    for (const std::string& f : r.faults) t.AddRow({Value(f)});
  }
  // Device nodes, FIFOs and sockets are never made; which ones is said.
  if (!r.skipped.empty()) {
    Table& t = report.AddTable("skipped", {"path", "why"});
    for (const CopySkip& s : r.skipped) t.AddRow({Value(s.path), Value(s.why)});
  }
  ctx.Print(report);
  if (r.failed) return ctx.Fail(r.error);
  if (r.unreadable || r.notRead || !r.faults.empty()) return ctx.Fail(CopyReportText(r));
  return kExitOk;
}

namespace {

// The tree node path names, as far as the tree goes; a last part that is no
// node is a row of the list of the node before it (rowName). Null with the
// error when there is neither.
ui::HTREEITEM ExtractNode(ui::TreeCtrl& tree, const std::string& path, std::string& rowName, std::string& error) {
  ui::HTREEITEM node = ui::TVI_ROOT;
  const std::vector<std::string> parts = SplitNodePath(path);
  if (!path.empty() && path[0] == '/') {
    node = FirstVolume(tree);
    if (!node) {
      error = "no data track with folders on this source";
      return nullptr;
    }
  }
  error = "no node \"" + path + "\" in the tree";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    ui::HTREEITEM next = ChildNamed(tree, node, parts[i]);
    if (!next && i + 1 == parts.size() && node != ui::TVI_ROOT) {
      rowName = parts[i];
      break;
    }
    if (!next) return nullptr;
    node = next;
  }
  return node == ui::TVI_ROOT ? nullptr : node;
}

int RunExtract(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    ctx.err << "tessal-cli: extract takes a SOURCE, a NODEPATH and a DEST folder\n";
    return kExitUsage;
  }
  const std::string& path = args[0];
  const std::filesystem::path dest = args[1];
  std::error_code ec;
  if (!std::filesystem::is_directory(dest, ec)) return ctx.Fail(dest.string() + ": no such folder");
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");

  CDlgMain view;
  unsigned char vd[2048] = {};
  view.SetVdBuffer(vd);
  view.LoadDisc(dev);
  ui::TreeCtrl& tree = view.Tree();

  std::string rowName, error;
  const ui::HTREEITEM node = ExtractNode(tree, path, rowName, error);
  if (!node) return ctx.Fail(error);
  if (auto boot = view.Boot().OfNode(node)) return ExtractBoot(ctx, view, node, std::move(boot), rowName, dest);

  const int fsCode = view.GetTrackFsType(node);
  std::uint32_t volume = 0;
  view.GetTrackStart(node, volume);
  const auto names = view.TrackNames(node);
  CGetCDData engine;
  engine.SetDevice(dev);
  bool started = false;
  std::filesystem::path target;
  if (rowName.empty()) {
    const std::uint64_t address = tree.GetItemData(node);
    if (address == 0) return ctx.Fail("\"" + path + "\" is no folder or data track with a file system");
    target = dest / CGetCDData::SafeName(tree.GetItemText(node));
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
      return ctx.Fail(target.string() + ": exists already");
    // A track's root takes its boot images along, in "[BOOT]".
    engine.SetBootImages(view.FindTrackNode(node) == node ? view.Boot().OfTrack(node) : nullptr);
    started = engine.StartFolderCopy(view.GetDataMode(), static_cast<std::int64_t>(address), target.string(), fsCode,
                                     names, volume);
  } else {
    view.SelectNode(node);
    ui::ListCtrl& list = view.List();
    int row = -1;
    for (int r = 0; r < list.GetItemCount() && row < 0; ++r)
      if (list.GetItemText(r, 0) == rowName) row = r;
    if (row < 0) return ctx.Fail("no node or row \"" + path + "\"");
    const std::string type = list.GetItemText(row, 2);
    const long long address = std::strtoll(list.GetItemText(row, 4).c_str(), nullptr, 10);
    const std::uint64_t size = std::strtoull(list.GetItemText(row, 3).c_str(), nullptr, 10);
    target = dest / CGetCDData::SafeName(rowName);
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
      return ctx.Fail(target.string() + ": exists already");
    if (type == "File") {
      const std::uint64_t folder = tree.GetItemData(node);
      started = engine.StartFileCopy(view.GetDataMode(), address, size, target.string(), fsCode, names, volume,
                                     folder <= 0xFFFFFFFFull ? static_cast<std::uint32_t>(folder) : 0);
    } else if (type == "Folder") {
      started = engine.StartFolderCopy(view.GetDataMode(), address, target.string(), fsCode, names, volume);
    } else if (type == "Link") {
      std::string link;
      std::optional<std::int64_t> mtime;
      if (!view.ListRowLink(row, link, mtime)) return ctx.Fail("no node or row \"" + path + "\"");
      engine.SaveLink(target.string(), link, mtime);
      started = true;
    } else {
      return ctx.Fail("\"" + path + "\" is a " + (type == "Device" ? std::string("device node") : type) +
                      ": it holds no data, so there is nothing to save");
    }
  }
  if (!started) return ctx.Fail("\"" + path + "\" cannot be copied: its track has no file system the copy reads");
  return FinishCliCopy(ctx, engine);
}

const CommandRegistration registration(
    {"extract", "SOURCE NODEPATH DEST", "copy a file, folder or data track into the folder DEST",
     "NODEPATH names a tree node or, as its last part, a row of the list of the\n"
     "node before it, as ls shows them: \"Session 1/DATA TRACK 1(ISO)/DOCS\",\n"
     "\"/DOCS/README.TXT\" (a leading \"/\" starts at the first data track with\n"
     "folders). The item is created inside DEST, which must exist; an item of\n"
     "that name already there is left alone and the copy refused.\n"
     "A data track (or \"/\") is extracted with its El Torito boot images, as\n"
     "files of a folder \"[BOOT]\" beside the root's entries.\n"
     "Links are made as links holding their recorded target, and nothing is\n"
     "written through one; device nodes, FIFOs and sockets are not made.\n"
     "zisofs-compressed files are written uncompressed; a block that cannot be\n"
     "inflated is written as zeros and counted with the unreadable sectors. A\n"
     "file compressed in a form not read (zisofs2) is not made: it is listed\n"
     "with the skipped items and makes the exit status 1.\n"
     "A progress bar goes to stderr when it is a terminal. The summary gives the\n"
     "files, folders, links and bytes written, the sectors that could not be read\n"
     "(written as zeros) with the files holding them, and the items skipped; an\n"
     "unreadable sector, or a destination that cannot be written, makes the exit\n"
     "status 1.\n",
     true, RunExtract});

}  // namespace
}  // namespace cli
