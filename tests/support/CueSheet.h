#pragma once
// A fixture disc written as a CUE sheet with one BIN file, for tools that
// convert from CUE/BIN (chdman) and for comparing their output with ours.
#include <string>

#include "tests/support/FormatImages.h"

namespace testsupport {

// dir/name.cue and dir/name.bin: one session, tracks one after another, each
// track's INDEX 00 sectors stored before its INDEX 01. Returns the cue's path.
std::string WriteCueSheet(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name);

}  // namespace testsupport
