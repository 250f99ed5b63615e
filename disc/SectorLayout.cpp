#include "disc/SectorLayout.h"

#include <cstring>

namespace disc {

bool HasSync(const std::uint8_t* s) { return s && std::memcmp(s, kSyncPattern, kSyncSize) == 0; }

SectorShape ClassifyRawSector(const std::uint8_t* s, int dataMode) {
  SectorShape shape;
  shape.synced = HasSync(s);
  shape.mode = dataMode == 2 ? 2 : 1;
  const std::uint8_t mode = s[kHeaderModeOffset];
  if (shape.synced && (mode == 1 || mode == 2)) shape.mode = mode;
  if (shape.mode == 1) {
    shape.offset = kMode1UserOffset;
    return shape;
  }
  shape.offset = kMode2UserOffset;
  if (s[kSubModeOffset] & kSubModeForm2) {
    shape.form2 = true;
    shape.size = kForm2PayloadSize;
  }
  return shape;
}

SectorShape ClassifySector(const std::uint8_t* s, int dataMode) {
  if (HasSync(s)) return ClassifyRawSector(s, dataMode);
  SectorShape shape;
  shape.mode = dataMode == 2 ? 2 : 1;
  return shape;
}

}  // namespace disc
