// CD-TEXT packs as a drive returns them (READ TOC format 5) or an image keeps
// them: parsed into texts, built back into packs and parsed again, and read
// through the virtual drive into the program's fixed-size record, where every
// text must stay within its field.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/DevCmdROM.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the input, so a read past its end is seen.
  const std::vector<std::uint8_t> packs(data, data + size);
  const auto entries = orvane::ParseCdTextPacks(packs.data(), packs.size());
  const auto rebuilt = orvane::BuildCdTextPacks(entries);
  if (rebuilt.size() % orvane::kCdTextPackSize) std::abort();
  (void)orvane::ParseCdTextPacks(rebuilt.data(), rebuilt.size());

  // The same packs served by a drive, read into the record the browser shows.
  using namespace testsupport;
  auto file = std::make_shared<MemoryImageFile>(AudioSectors(4));
  auto layout = MemoryDisc({MemoryTrack(1, orvane::TrackMode::Audio, 0, 2, file, orvane::StoredFormat::Audio2352, 2352),
                            MemoryTrack(2, orvane::TrackMode::Audio, 2, 2, file, orvane::StoredFormat::Audio2352, 2352)});
  layout.tracks[0].control = layout.tracks[1].control = 0;
  layout.cdTextPacks = packs;
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "fuzz"));
  auto info = std::make_unique<FS_CDTEXT_INFO>();
  std::memset(info->data, 0, sizeof info->data);
  dev.GetCDText(*info);
  // Every field keeps its terminating NUL.
  for (int n = 0; n <= 99; ++n) {
    const unsigned char* base = info->data + kCdTextEntryOffset + kCdTextEntrySize * n;
    for (int offset : {0, 160, 320, 480, 640})
      if (std::memchr(base + offset, 0, 160) == nullptr) std::abort();
    if (std::memchr(base + 800, 0, 17) == nullptr) std::abort();
  }
  return 0;
}
