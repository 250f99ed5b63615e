// ISO 9660 / Joliet / Rock Ridge folders for the file browser.
#include "views/IsoReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/DevCmdROM.h"
#include "disc/SectorLayout.h"
#include "platform/orvane/DeviceSource.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"

namespace iso {
namespace {

namespace iso9660 = fs::iso9660;

constexpr int kFirstFileNumber = 5000;

struct ListColumnSpec {
  const char* heading;
  int width;
};
// "Len" (width 0, never filled) on purpose, though the UDF listing says "len":
// six columns are never rebuilt, so the heading tells who built them.
constexpr ListColumnSpec kFolderColumns[] = {{"Name", 100}, {"Time", 100}, {"Type", 100},
                                             {"Size", 100}, {"Pos", 100},  {"Len", 0}};

iso9660::DirectoryReader MakeReader(orvane::DeviceSectorSource& source, int dataMode, const VolumeNames& names) {
  return iso9660::DirectoryReader(source, iso9660::BrowserPolicy(dataMode), names);
}

}  // namespace

Payload RawPayload(const unsigned char* s, int dataMode) {
  const disc::SectorShape shape = disc::ClassifySector(s, dataMode);
  return Payload{shape.offset, shape.size};
}

std::string FormatTime(const unsigned char t[6]) {
  return FormatTime(iso9660::ShownTime{t[0] + 1900, t[1], t[2], t[3], t[4], t[5]});
}

std::string FormatTime(const iso9660::ShownTime& t) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return buf;
}

std::string SizeColumnText(const fs::NodeInfo& info) {
  if (info.type == fs::NodeType::Link) return "-> " + info.linkTarget;
  // Lengths are unsigned 32-bit on the disc: a 4 GiB - 1 file shows as such.
  if (info.type == fs::NodeType::File) return std::to_string(info.size);
  return {};
}

TrackVolume FindVolume(CDevCmdROM* device, std::uint32_t start, int dataMode, unsigned char* vdBuffer) {
  TrackVolume t;
  if (!device) return t;
  orvane::DeviceSectorSource source(*device);
  iso9660::Volume v = iso9660::OpenVolume(source, start, iso9660::BrowserPolicy(dataMode));
  t.descriptors = std::move(v.descriptors);
  if (const iso9660::VolumeDescriptor* shown = t.descriptors.Shown(); shown && vdBuffer)
    std::memcpy(vdBuffer, shown->bytes.data(), shown->bytes.size());
  t.found = v.found;
  t.names = std::move(v.names);
  t.rootExtent = v.rootExtent;
  t.rootLength = v.rootLength;
  return t;
}

namespace {

struct FolderWalk {
  ui::TreeCtrl& tree;
  iso9660::DirectoryReader reader;
  iso9660::WalkGuard guard{iso9660::LoopRule::Ancestors};
  std::size_t folders = 0;

  void Add(ui::HTREEITEM parent, std::uint32_t lba, std::uint32_t size, int depth) {
    iso9660::Listing listing = reader.Read(lba, size);
    if (depth == 0) iso9660::HideRelocationFolder(reader, listing);
    for (const iso9660::Entry& e : listing.entries) {
      if (!e.Directory() || e.hidden) continue;
      if (folders >= kMaxFolders) return;
      ui::HTREEITEM item = tree.InsertItem(e.info.name, 0, 1, parent, ui::TVI_LAST);
      if (!item) continue;
      ++folders;
      tree.SetItemData(item, e.extent);
      // A folder that is itself or one of its ancestors is shown but not
      // entered again; nesting past any real disc's is cut there.
      if (guard.Enter(e.extent, depth + 1)) continue;
      Add(item, e.extent, e.relocated ? 0 : e.length, depth + 1);
      guard.Leave(e.extent);
    }
  }
};

}  // namespace

std::size_t AddFolders(ui::TreeCtrl& tree, CDevCmdROM* device, int dataMode, const VolumeNames& names,
                       ui::HTREEITEM parent, std::uint32_t lba, std::uint32_t size) {
  if (!device) return 0;
  orvane::DeviceSectorSource source(*device);
  FolderWalk walk{tree, MakeReader(source, dataMode, names)};
  walk.reader.SetSectorBudget(kMaxTreeSectors);
  walk.guard.Enter(lba, 0);
  walk.Add(parent, lba, size, 0);
  return walk.folders;
}

void ResetFolderColumns(ui::ListCtrl& list) {
  list.DeleteAllItems();
  constexpr int kColumns = static_cast<int>(std::size(kFolderColumns));
  if (list.GetColumnCount() == kColumns) return;
  // One deletion more than there are columns, deliberately: every list view
  // of the program is cleared this way, and the surplus one is a no-op.
  for (int n = list.GetColumnCount() + 1; n > 0; --n) list.DeleteColumn(0);
  for (int i = 0; i < kColumns; ++i)
    list.InsertColumn(i, kFolderColumns[i].heading, ui::LVCFMT_LEFT, kFolderColumns[i].width);
}

int FillList(ui::ListCtrl& list, CDevCmdROM* device, int dataMode, const VolumeNames& names, std::uint32_t lba,
             bool root) {
  ResetFolderColumns(list);
  if (!device) return 0;
  orvane::DeviceSectorSource source(*device);
  iso9660::DirectoryReader reader = MakeReader(source, dataMode, names);
  int folderNo = 0, fileNo = kFirstFileNumber, rows = 0;
  iso9660::Listing listing = reader.Read(lba, 0);
  if (root) iso9660::HideRelocationFolder(reader, listing);
  for (const iso9660::Entry& e : listing.entries) {
    if (e.hidden) continue;
    const bool folder = e.Directory();
    const int row = list.InsertItem(list.GetItemCount(), e.info.name, folder ? 0 : 2);
    if (row < 0) continue;
    ++rows;
    list.SetItemData(row, static_cast<ui::DWORD_PTR>(folder ? folderNo++ : fileNo++));
    list.SetItemText(row, 1, FormatTime(e.shown));
    list.SetItemText(row, 2, fs::TypeColumnText(e.info.type));
    list.SetItemText(row, 3, SizeColumnText(e.info));
    list.SetItemText(row, 4, std::to_string(e.extent));
  }
  return rows;
}

}  // namespace iso
