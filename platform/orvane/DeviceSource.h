#pragma once
// A drive or image item as the file-system layer reads it: READ(10) for the
// sectors (READ CD for whole ones), the track information (or READ CAPACITY) for where a track ends.
#include "disc/DevCmdROM.h"
#include "fs/SectorSource.h"

namespace orvane {

class DeviceSectorSource : public fs::SectorSource {
 public:
  explicit DeviceSectorSource(CDevCmdROM& device) : m_Device(device) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override;
  std::optional<std::uint32_t> LastSector(std::uint32_t lba) override;
  // READ CD of the whole sector.
  fs::SectorRead ReadRaw(std::uint32_t lba, std::uint8_t* out) override;

 private:
  CDevCmdROM& m_Device;
};

}  // namespace orvane
