#pragma once
// A medium of whole 2048-byte sectors held in memory, for the fuzz targets
// that read file-system structures through fs::SectorSource. Reads past its
// end fail; its last sector is the last it holds.
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fs/SectorSource.h"

namespace fuzzsupport {

struct MemorySectors : fs::SectorSource {
  std::vector<std::uint8_t> bytes;  // a whole number of sectors
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    const std::uint64_t end = (std::uint64_t(lba) + count) * fs::kSectorBytes;
    if (end > bytes.size()) return fs::SectorRead::Failed;
    std::memcpy(out, bytes.data() + std::size_t(lba) * fs::kSectorBytes, std::size_t(count) * fs::kSectorBytes);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override {
    if (bytes.size() < fs::kSectorBytes) return std::nullopt;
    return static_cast<std::uint32_t>(bytes.size() / fs::kSectorBytes - 1);
  }
};

}  // namespace fuzzsupport
