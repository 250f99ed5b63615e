#pragma once
// What every file-system reader tells of one item, whatever wrote it: the
// shown name, the kind, the size and, where the file system records them,
// permission bits, modification time and a link's target. The browser's
// Type column, extraction and `find` all read these and nothing else.
#include <cstdint>
#include <optional>
#include <string>

namespace fs {

enum class NodeType { File, Folder, Link, BlockDevice, CharDevice, Fifo, Socket };

struct NodeInfo {
  std::string name;                   // UTF-8, as the browser shows it
  NodeType type = NodeType::File;
  std::uint64_t size = 0;             // bytes of a file's data (0 for the others)
  std::optional<std::uint32_t> mode;  // permission bits as recorded (07777 at most)
  std::optional<std::int64_t> mtime;  // seconds since 1970-01-01 UTC
  std::string linkTarget;             // a link's target text, as recorded
  std::optional<std::uint32_t> lba;   // the first sector of a file's data
  std::optional<std::uint64_t> device;  // a device node's number, where recorded
};

// The list's Type column: "File", "Folder", "Link", "Device", "FIFO", "Socket".
inline const char* TypeColumnText(NodeType t) {
  switch (t) {
    case NodeType::File: return "File";
    case NodeType::Folder: return "Folder";
    case NodeType::Link: return "Link";
    case NodeType::BlockDevice:
    case NodeType::CharDevice: return "Device";
    case NodeType::Fifo: return "FIFO";
    case NodeType::Socket: return "Socket";
  }
  return "File";
}

// `find`'s type field: dir, file, symlink, block, char, fifo, socket.
inline const char* FindTypeText(NodeType t) {
  switch (t) {
    case NodeType::File: return "file";
    case NodeType::Folder: return "dir";
    case NodeType::Link: return "symlink";
    case NodeType::BlockDevice: return "block";
    case NodeType::CharDevice: return "char";
    case NodeType::Fifo: return "fifo";
    case NodeType::Socket: return "socket";
  }
  return "file";
}

// Extraction writes files, folders and links; the rest are skipped and listed.
inline bool IsExtractable(NodeType t) {
  return t == NodeType::File || t == NodeType::Folder || t == NodeType::Link;
}

}  // namespace fs
