// A GNU ddrescue mapfile beside an image: the input is the mapfile of a small
// ISO image, opened through the registry (which applies the map), then every
// sector is read as a scan does, so hostile positions and sizes (negative,
// past 2^63, overlapping, unsorted, millions of tiny areas) must become
// bounded bad ranges.
#include <cstdint>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"

namespace {
constexpr std::uint32_t kSectors = 64;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const auto iso = testsupport::IsoVolume(kSectors);
  fuzzsupport::WriteFile("image.iso", iso.data(), iso.size());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::WriteFile("image.iso.map", data, size);
  orvane::DiscLayout layout;
  std::string error;
  if (!orvane::OpenImage(fuzzsupport::WorkDir() + "/image.iso", layout, error)) return 0;
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "fuzz"));
  std::vector<unsigned char> buf(16 * 2352);
  for (std::uint32_t lba = 0; lba < kSectors + 2; lba += 16) {
    dev.ReadCD_10(buf.data(), 16 * 2048, 16, lba);
    dev.ReadCD_All(buf.data(), 16 * 2352, 16, lba);
  }
  return 0;
}
