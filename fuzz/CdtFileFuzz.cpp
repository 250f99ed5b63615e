// A CD-TEXT file (.cdt) as a CUE sheet's CDTEXTFILE names it: arbitrary bytes
// read as the file, and whatever packs it yields served by a drive and read
// back into the record the browser shows, every text within its field.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteFile("image.cdt", data, size);
  std::vector<std::uint8_t> packs;
  std::string error;
  if (!orvane::ReadCdTextFile(path, packs, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  if (packs.empty() || packs.size() % orvane::kCdTextPackSize) std::abort();

  using namespace testsupport;
  auto file = std::make_shared<MemoryImageFile>(AudioSectors(2));
  auto layout = MemoryDisc({MemoryTrack(1, orvane::TrackMode::Audio, 0, 2, file, orvane::StoredFormat::Audio2352, 2352)});
  layout.tracks[0].control = 0;
  layout.cdTextPacks = packs;
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "fuzz"));
  auto info = std::make_unique<FS_CDTEXT_INFO>();
  std::memset(info->data, 0, sizeof info->data);
  dev.GetCDText(*info);
  for (int n = 0; n <= 99; ++n) {
    const unsigned char* base = info->data + kCdTextEntryOffset + kCdTextEntrySize * n;
    for (int offset : {0, 160, 320, 480, 640})
      if (std::memchr(base + offset, 0, 160) == nullptr) std::abort();
    if (std::memchr(base + 800, 0, 17) == nullptr) std::abort();
  }
  return 0;
}
