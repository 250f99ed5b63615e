#pragma once
// The file browser's ISO 9660 reading, through fs/iso9660 with the
// browser's policy (raw sectors first, so that CD-ROM XA Form 1 and Form 2
// sectors are cut right; one row per record): the folder tree below a
// track node and the list of one folder's entries.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fs/iso9660/Walk.h"

class CDevCmdROM;
namespace ui {
class TreeCtrl;
class ListCtrl;
struct TreeItemTag;
}  // namespace ui

namespace iso {

using fs::iso9660::DecodeName;
using fs::iso9660::DropVersion;
constexpr int kMaxFolderDepth = fs::iso9660::kMostDepth;
constexpr std::size_t kMaxFolders = fs::iso9660::kMostFolders;
constexpr std::uint64_t kMaxTreeSectors = fs::iso9660::kMostWalkSectors;

// Where the records of one raw sector lie, by the one sector rule of
// disc/SectorLayout.h.
struct Payload {
  std::size_t start = 0;
  std::size_t size = fs::kSectorBytes;
};
Payload RawPayload(const unsigned char* sector2352, int dataMode);

// "%d-%d-%d %d:%d:%d" of a recording time, no leading zeros.
std::string FormatTime(const unsigned char time[6]);
std::string FormatTime(const fs::iso9660::ShownTime& t);

// The names one browsed volume is read with, kept per track node.
using VolumeNames = fs::iso9660::Names;

// A data track's volume: its descriptors, the names it is read with, its root.
struct TrackVolume {
  bool found = false;
  VolumeNames names;
  std::uint32_t rootExtent = 0;
  std::uint32_t rootLength = 0;
  fs::iso9660::DescriptorSet descriptors;
};
// The volume of the track at start; the descriptor the volume view shows
// (Joliet's where there is one, else the primary one) is copied into
// vdBuffer (2048 bytes) when it is given.
TrackVolume FindVolume(CDevCmdROM* device, std::uint32_t start, int dataMode, unsigned char* vdBuffer);

// Adds a node (image 0, selected 1, item data its extent) for every
// sub-directory below parent, depth first. Returns the folders added.
std::size_t AddFolders(ui::TreeCtrl& tree, CDevCmdROM* device, int dataMode, const VolumeNames& names,
                       ui::TreeItemTag* parent, std::uint32_t lba, std::uint32_t size);

// Fills the list with one row per record of the directory at lba, in the
// folder-listing layout (the columns are made when the list has another
// count). root: the directory is the volume's root. Returns the rows inserted.
int FillList(ui::ListCtrl& list, CDevCmdROM* device, int dataMode, const VolumeNames& names, std::uint32_t lba,
             bool root);

// Makes the six folder-listing columns unless the list has six already; the
// rows are always deleted.
void ResetFolderColumns(ui::ListCtrl& list);

// The Size column of a row: a file's byte count, "-> target" for a link,
// empty for anything else.
std::string SizeColumnText(const fs::NodeInfo& info);

}  // namespace iso
