#pragma once
// Discs described once and written in the image formats of burning and
// dumping tools (Nero, CloneCD, Alcohol, cdrdao, ...), so that every reader is
// checked against the same disc: several sessions, audio and data tracks of
// every mode and sector size, pregaps, sub-channel and CD-TEXT.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/orvane/DiscImage.h"
#include "tests/support/CdImages.h"

namespace testsupport {

struct FixtureTrack {
  orvane::TrackMode mode = orvane::TrackMode::Mode1;  // Mode2Xa: Form 1 sectors
  std::uint32_t sectorSize = 2048;  // as stored: 2048, 2336, 2352, or 2448 with sub-channel
  std::uint32_t length = 0;         // sectors from INDEX 01 to the track's end
  std::uint32_t pregap = 0;         // INDEX 00 sectors before it, stored with the track
  int session = 1;
  std::uint8_t flags = 0;           // Q control bits beside data: 0x02 copy, 0x01 pre-emphasis
  std::string isrc, title, performer;
};

FixtureTrack Track(orvane::TrackMode mode, std::uint32_t sectorSize, std::uint32_t length, std::uint32_t pregap = 0,
                   int session = 1);

struct FixtureDisc {
  std::vector<FixtureTrack> tracks;
  std::string catalog, title, performer;  // the disc's; texts make CD-TEXT
  bool HasText() const;
};

// Where the tracks lie: track 1's INDEX 01 at LBA 0 (its pregap before it),
// each track right after the one before, and a new session after the lead-out
// and lead-in a recorder writes (11250 sectors after the first session, 6750
// after later ones).
struct PlacedTrack {
  int number = 0;
  std::int32_t pregapStart = 0, start = 0;
  std::uint32_t length = 0;
};
struct Placement {
  std::vector<PlacedTrack> tracks;
  std::vector<std::int32_t> leadOuts;  // per session
};
Placement Place(const FixtureDisc& disc);

std::uint8_t ControlOf(const FixtureTrack& t);

// The bytes a track stores for lba, exactly as its sector size holds them.
// The user data tells its sector (PatternSectors), the sub-channel of 2448-byte
// sectors holds true P and Q with R-W set to a pattern of the address.
Bytes StoredSectorBytes(const FixtureTrack& t, int number, std::int32_t trackStart, std::int32_t lba);
// The 2048 user-data bytes of a data sector / the 2352 raw bytes a drive
// returns for a sector stored raw or as audio.
Bytes UserDataOf(std::int32_t lba);
// Every stored byte of a track from its pregap to its end.
Bytes StoredTrackBytes(const FixtureTrack& t, const PlacedTrack& p);

// The disc's CD-TEXT as packs (block 0, ISO 8859-1).
std::vector<std::uint8_t> FixtureCdTextPacks(const FixtureDisc& disc);

// Nero: version 1 (NERO footer, CUES/DAOI/ETNF) or 2 (NER5, CUEX/DAOX/ETN2),
// disc-at-once or track-at-once, CD-TEXT in a CDTX chunk. A track-at-once
// disc has the recorder's 150-sector gap before every track after the first:
// give those tracks a pregap of 150, which the image does not store.
struct NrgOptions {
  int version = 2;
  bool trackAtOnce = false;
  std::uint32_t mediaType = 1;  // MTYP: 1 CD
};
Bytes NrgImage(const FixtureDisc& disc, const NrgOptions& options = {});

// CloneCD: dir/name.ccd, name.img (every sector from LBA 0 raw, the area
// between sessions as zeros) and, when a track stores 2448-byte sectors,
// name.sub with every sector's sub-channel, channel after channel. Data tracks
// must be stored raw (2352 or 2448) and track 1 without a pregap.
void WriteCloneCd(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name);
// The full TOC entries written to the control file, as READ TOC format 2 gives them.
Bytes CloneCdTocEntries(const FixtureDisc& disc);

// cdrdao: dir/name.toc and the one data file name.bin it names, every
// track's items in it one after another. One session; track 1 without a pregap;
// sectors of 2048, 2336 or 2352 bytes.
void WriteCdrdaoToc(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name);

// Alcohol 120% version 1: dir/name.mds and name.mdf, every track's sectors
// (pregap first, but none before LBA 0) one after another in the data file,
// which the footer names "*.mdf". mediumType: 0 CD-ROM, 1 CD-R, 0x10 DVD-ROM.
void WriteMds(const FixtureDisc& disc, const ScratchDir& dir, const std::string& name, unsigned mediumType = 0);

}  // namespace testsupport
