#pragma once
// What a whole-medium image must reproduce, as the drive reports it: the
// sessions and tracks of a CD with their modes, pregaps, flags, ISRCs, the
// catalogue number and the CD-TEXT packs; or the capacity of a DVD or BD.
// Read once through MMC before imaging, and written into the mapfile as the
// medium's fingerprint so that a resume can tell another disc from this one.
#include <cstdint>
#include <string>
#include <vector>

class CDevCmdROM;

namespace imaging {

enum class TrackKind { Audio, Mode1, Mode2 };

struct MediumTrack {
  int number = 1;
  int session = 1;
  std::uint8_t control = 0x04;    // Q CONTROL nibble as the TOC gives it
  std::int32_t start = 0;         // INDEX 01
  std::int32_t pregapStart = 0;   // INDEX 00; equal to start when the track has no pregap we could find
  // Sectors just before pregapStart whose Q cannot be read and which nothing
  // else places: this track's pregap or the end of the track before.
  std::int32_t undecided = 0;
  TrackKind kind = TrackKind::Mode1;
  std::string isrc;               // 12 characters, empty when none
};

struct MediumSession {
  int number = 1;
  std::int32_t leadOut = 0;
  std::uint8_t discType = 0;      // 0x00 CD-DA/CD-ROM, 0x10 CD-i, 0x20 CD-ROM XA
};

struct MediumLayout {
  int profile = 0;
  bool cd = true;                 // sessions and tracks from a full TOC; false: one run of 2048-byte sectors
  std::vector<MediumSession> sessions;
  std::vector<MediumTrack> tracks;
  std::int64_t capacity = 0;      // sectors: the last lead-out, or the end of a DVD/BD's last track
  std::string catalog;            // MCN, 13 digits
  std::vector<std::uint8_t> cdTextPacks;  // 18 bytes a pack, as READ TOC format 5 gives them

  // One line that changes when the medium does: profile, capacity, and each
  // session's tracks (number, control, start) and lead-out.
  std::string Fingerprint() const;
  bool HasAudio() const;
};

enum class MediumRead { Ok, NoToc, NoCapacity, Empty };

// Reads the layout of the medium in dev. ISRCs, the catalogue, CD-TEXT and
// pregaps are taken when the drive answers for them and left out when not.
MediumRead ReadMediumLayout(CDevCmdROM& dev, MediumLayout& out);

// A run of disc sectors stored one after another in the image file.
struct ImageSpan {
  std::int64_t firstLba = 0;
  std::uint64_t count = 0;
};

// What a raw image of every session holds: the first session from sector 0
// (a first track's hidden pregap included), each later session from its first
// track, each up to its lead-out. The area between sessions is not readable.
std::vector<ImageSpan> RawImageSpans(const MediumLayout& m);

}  // namespace imaging
