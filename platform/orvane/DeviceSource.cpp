#include "platform/orvane/DeviceSource.h"

#include <limits>

#include "disc/MmcRecords.h"

namespace orvane {

namespace {
// READ(10) carries its transfer length in 16 bits.
constexpr std::uint32_t kMostSectorsPerRead = 0xFFFF;
}  // namespace

fs::SectorRead DeviceSectorSource::Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) {
  if (count == 0) return fs::SectorRead::Ok;
  if (count > kMostSectorsPerRead || count > std::numeric_limits<int>::max() / fs::kSectorBytes)
    return fs::SectorRead::Failed;
  const int bytes = static_cast<int>(count * fs::kSectorBytes);
  return m_Device.ReadCD_10(out, bytes, static_cast<int>(count), lba) == 0 ? fs::SectorRead::Ok
                                                                           : fs::SectorRead::Failed;
}

fs::SectorRead DeviceSectorSource::ReadRaw(std::uint32_t lba, std::uint8_t* out) {
  return m_Device.ReadCD_All(out, static_cast<int>(fs::kRawSectorBytes), 1, lba) == 0 ? fs::SectorRead::Ok
                                                                                      : fs::SectorRead::Failed;
}

std::optional<std::uint32_t> DeviceSectorSource::LastSector(std::uint32_t lba) {
  TRACK_INFO ti{};
  if (m_Device.ReadTrackInfo(ti, READ_TRACK_INFO_LBA, static_cast<int>(lba)) == 0) {
    const mmc::TrackInfoFields track(ti);
    if (track.Size() > 0) return track.Start() + track.Size() - 1;
  }
  std::uint32_t last = 0;
  if (m_Device.ReadCapacity(last) == 0) return last;
  return std::nullopt;
}

}  // namespace orvane
