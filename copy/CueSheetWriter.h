#pragma once
// The cue sheet of a raw image of every session in one .bin file: sessions,
// track modes, pregaps (INDEX 00), flags, ISRCs, the catalogue and a
// CDTEXTFILE, laid out so that our CUE reader puts every track at the
// address the medium had. Where the gap between two sessions is not the one
// a recorder writes, redump's REM LEAD-OUT / REM LEAD-IN lines give it.
#include <string>
#include <vector>

#include "copy/ImageMedium.h"

namespace imaging {

enum class CueBuild { Ok, GapTooShort };

// spans are the image's runs of sectors (RawImageSpans); cdtName is empty
// when the sheet names no CD-TEXT file.
CueBuild BuildCueSheet(const MediumLayout& m, const std::vector<ImageSpan>& spans, const std::string& binName,
                       const std::string& cdtName, std::string& sheet);

}  // namespace imaging
