// What each entry of a UDF directory is, as every reader tells it.
#include "udf/UdfNodes.h"

using namespace udf;

namespace {

fs::NodeType NodeTypeOf(std::uint8_t fileType, bool directoryBit) {
  if (directoryBit || fileType == kFileTypeDirectory) return fs::NodeType::Folder;
  switch (fileType) {
    case kFileTypeSymlink: return fs::NodeType::Link;
    case kFileTypeBlockDevice: return fs::NodeType::BlockDevice;
    case kFileTypeCharDevice: return fs::NodeType::CharDevice;
    case kFileTypeFifo: return fs::NodeType::Fifo;
    case kFileTypeSocket: return fs::NodeType::Socket;
    default: return fs::NodeType::File;
  }
}

}  // namespace

bool ReadUdfNodeInfo(CAnaly_UDF& analyser, const UdfDirEntry& entry, fs::NodeInfo& out, bool withLba) {
  out = fs::NodeInfo{};
  out.name = entry.name;
  out.type = entry.isDirectory ? fs::NodeType::Folder : fs::NodeType::File;
  std::vector<std::uint8_t> block;
  if (!analyser.ReadEntryBlock(entry.feSector, block) || !IsFileEntryType(block[27])) return false;
  const FileEntry e = FileEntry::Parse(block);
  out.type = NodeTypeOf(e.fileType, entry.isDirectory);
  out.mode = e.Mode();
  out.mtime = e.modificationTime.ToUnix();
  if (out.type == fs::NodeType::File) out.size = e.infoLength;
  if (out.type == fs::NodeType::Link) {
    std::vector<std::uint8_t> data;
    if (!analyser.ReadFileData(entry.feSector, kMaxLinkTargetBytes, data).Ok() || !ParseLinkTarget(data, out.linkTarget))
      return false;
  }
  if (withLba && out.type == fs::NodeType::File) {
    UdfFileData f;
    if (analyser.ReadFileExtents(entry.feSector, f) == ExtentStatus::Ok) {
      for (const UdfExtent& x : f.extents)
        if (x.recorded && x.length) {
          out.lba = x.sector;
          break;
        }
    }
  }
  return true;
}

DirResult ListUdfNodes(CAnaly_UDF& analyser, std::uint32_t S,
                       std::vector<std::pair<UdfDirEntry, fs::NodeInfo>>& nodes, std::size_t* unreadableEntries) {
  nodes.clear();
  std::vector<UdfDirEntry> entries;
  const DirResult r = analyser.ListDirectory(S, entries);
  for (UdfDirEntry& e : entries) {
    fs::NodeInfo info;
    if (!ReadUdfNodeInfo(analyser, e, info) && unreadableEntries) ++*unreadableEntries;
    nodes.emplace_back(std::move(e), std::move(info));
  }
  return r;
}
