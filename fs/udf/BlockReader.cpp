#include "fs/udf/BlockReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace udf {

bool BlockReader::Read(std::uint64_t block, std::uint8_t* out) {
  std::memset(out, 0, m_BlockSize);
  const SectorOffset at = BlockToSectorOffset(block, m_BlockSize);
  const std::uint32_t sectors = std::max<std::uint32_t>(1, m_BlockSize / kSectorSize);
  if (at.sector + sectors > 0x100000000ull) return false;
  if (at.offset == 0 && m_BlockSize >= kSectorSize)
    return m_Source.Read(static_cast<std::uint32_t>(at.sector), sectors, out) == fs::SectorRead::Ok;
  // A block smaller than a sector never crosses one: the sizes divide 2048.
  std::array<std::uint8_t, kSectorSize> sector{};
  if (m_Source.Read(static_cast<std::uint32_t>(at.sector), 1, sector.data()) != fs::SectorRead::Ok) return false;
  std::memcpy(out, sector.data() + at.offset, std::min<std::size_t>(m_BlockSize, kSectorSize - at.offset));
  return true;
}

}  // namespace udf
