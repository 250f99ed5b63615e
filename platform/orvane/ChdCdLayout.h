#pragma once
// What a CHD's metadata says of a CD, and the disc layout it gives.
#include <memory>
#include <string>
#include <vector>

#include "platform/orvane/ChdContainer.h"

namespace orvane::chd {

struct CdTrackRecord {
  int number = 0;
  std::string type;       // MODE1, MODE1_RAW, MODE2_FORM1, AUDIO, ... (or the older MODE1/2048 form)
  std::string subType;    // NONE, RW, RW_RAW
  std::uint32_t frames = 0;    // stored frames, a stored pregap included
  std::uint32_t pregap = 0;
  bool pregapStored = false;   // PGTYPE V...: the pregap's frames are in the data
  std::uint32_t postgap = 0;
};

// The track records of CHT2 (or the older CHTR) entries, in track order;
// false with a reason when one cannot be parsed or the numbers are not 1, 2, 3 ...
bool ParseCdTracks(const std::vector<MetadataEntry>& meta, std::vector<CdTrackRecord>& tracks, std::string& why);

// Lays the tracks out over the CHD's frames (2448 bytes each, every track
// padded to a multiple of 4 frames); false with a reason when they do not fit.
bool LayOutCd(const std::vector<CdTrackRecord>& tracks, const std::shared_ptr<ImageFile>& frames, DiscLayout& layout,
              std::string& why);

}  // namespace orvane::chd
