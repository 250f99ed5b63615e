#pragma once
// Logical blocks of 512 to 4096 bytes read from a medium of 2048-byte sectors.
#include <cstdint>

#include "fs/SectorSource.h"
#include "fs/udf/Descriptors.h"

namespace udf {

// Reads logical blocks of blockSize bytes: a block smaller than a sector is
// cut out of its sector, a larger one joins consecutive sectors. Absolute
// block b starts at byte b * blockSize of the medium.
class BlockReader {
 public:
  BlockReader(fs::SectorSource& source, std::uint32_t blockSize) : m_Source(source), m_BlockSize(blockSize) {}
  std::uint32_t BlockSize() const { return m_BlockSize; }
  // Fills out (BlockSize() bytes, cleared first); false on a read error.
  bool Read(std::uint64_t block, std::uint8_t* out);

 private:
  fs::SectorSource& m_Source;
  std::uint32_t m_BlockSize;
};

// The first 2048-byte sector of an absolute block, and the byte within it.
struct SectorOffset {
  std::uint64_t sector = 0;
  std::uint32_t offset = 0;
};
inline SectorOffset BlockToSectorOffset(std::uint64_t block, std::uint32_t blockSize) {
  const std::uint64_t byte = block * blockSize;
  return {byte / kSectorSize, static_cast<std::uint32_t>(byte % kSectorSize)};
}

}  // namespace udf
