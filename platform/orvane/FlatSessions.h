#pragma once
// A plain image that holds several sessions one after another (genisoimage
// -C, mkudffs --startblock, a multi-session disc dumped as a flat file),
// served as the multi-session disc it came from.
#include <cstdint>
#include <memory>

#include "platform/orvane/DiscImage.h"

namespace orvane {

// Lays out file's sessions, one data track each, when it holds more than one;
// false (layout untouched) when it holds one or none.
bool LayOutFlatSessions(DiscLayout& layout, const std::shared_ptr<ImageFile>& file, std::uint32_t sectors);

}  // namespace orvane
