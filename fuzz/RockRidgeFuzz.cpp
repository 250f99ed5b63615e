// The System Use walk and Rock Ridge entries of one record, continuation
// areas followed through a small medium held in memory; then the same field
// as the root's "." record, through SUSP detection.
//
// Input: a skip byte (LEN_SKP), the field's length (16-bit LE), the field,
// then the medium's sectors (at most kMaxSectors; the last one padded).
#include <cstdint>
#include <vector>

#include "fs/iso9660/RockRidge.h"
#include "fuzz/MemorySectors.h"

namespace {

constexpr std::size_t kMaxSectors = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t skip = data[0];
  const std::size_t fieldLen = std::min<std::size_t>(data[1] | (data[2] << 8), size - 3);
  // The field in a buffer of its own size, so a read past it is caught.
  const std::vector<std::uint8_t> field(data + 3, data + 3 + fieldLen);
  fuzzsupport::MemorySectors medium;
  const std::size_t rest = std::min(size - 3 - fieldLen, kMaxSectors * fs::kSectorBytes);
  medium.bytes.assign(data + 3 + fieldLen, data + 3 + fieldLen + rest);
  medium.bytes.resize((rest + fs::kSectorBytes - 1) / fs::kSectorBytes * fs::kSectorBytes);

  fs::NodeInfo node;
  node.name = "FILE.;1";
  fs::iso9660::RockRidgeInfo info;
  fs::iso9660::ReadRockRidge(field, skip, &medium, node, info);
  if (node.name.empty() || node.linkTarget.size() > fs::iso9660::kMaxLinkTarget ||
      node.name.size() > 2 * fs::iso9660::kMaxRockRidgeName + 8)
    __builtin_trap();
  fs::NodeInfo folder;
  folder.type = fs::NodeType::Folder;
  fs::iso9660::RockRidgeInfo folderInfo;
  fs::iso9660::ReadRockRidge(field, skip, nullptr, folder, folderInfo);
  if (folder.type != fs::NodeType::Folder) __builtin_trap();
  fs::iso9660::DetectSusp(field, &medium);
  return 0;
}
