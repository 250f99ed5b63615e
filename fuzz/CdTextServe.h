#pragma once
// CD-TEXT packs served as a drive's READ TOC format 5 answer and read into the
// fixed record the browser shows: a text that runs past its field (no NUL
// left in it) aborts the fuzz target.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "disc/DevCmdROM.h"
#include "platform/orvane/VirtualDrive.h"
#include "tests/support/CdImages.h"
#include "tests/support/MemoryImage.h"

namespace fuzzsupport {

inline void ServeCdText(std::vector<std::uint8_t> packs) {
  using namespace testsupport;
  auto file = std::make_shared<MemoryImageFile>(AudioSectors(4));
  auto layout = MemoryDisc({MemoryTrack(1, orvane::TrackMode::Audio, 0, 2, file, orvane::StoredFormat::Audio2352, 2352),
                            MemoryTrack(2, orvane::TrackMode::Audio, 2, 2, file, orvane::StoredFormat::Audio2352, 2352)});
  layout.tracks[0].control = layout.tracks[1].control = 0;
  layout.cdTextPacks = std::move(packs);
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
}

}  // namespace fuzzsupport
