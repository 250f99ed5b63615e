#pragma once
// Which file systems a volume carries, told from its volume recognition
// sequence (one descriptor a sector from 16) and, for UDF, its anchor.
// The one recogniser every caller uses: the device library's file-system
// query and the image readers' probe for an open UDF track.
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/SectorSource.h"

namespace fs {

// Descriptors looked at in the recognition sequence before giving up on its
// end: far more than any volume writes (ISO 9660 and UDF together use < 10).
constexpr int kMostRecognitionDescriptors = 64;
// Sectors after the volume start where the sequence and the first anchor are.
constexpr std::uint32_t kRecognitionStart = 16;
constexpr std::uint32_t kAnchorOffset = 256;
// The fourth place writers put an anchor, in blocks from the volume start.
constexpr std::uint32_t kLateAnchorOffset = 512;
// UDF descriptor tag identifiers the recogniser looks for.
constexpr std::uint16_t kTagAnchor = 2;
constexpr std::uint16_t kTagFileEntry = 261;
constexpr std::uint16_t kTagExtendedFileEntry = 266;
// After a packet a recorder writes two run-out blocks, a link block and four
// run-in blocks before the next packet's data.
constexpr std::uint32_t kLinkBlocks = 7;

// What the recognition sequence says, before any anchor is looked for.
struct RecognitionSequence {
  bool anyRead = false;  // at least its first sector could be read
  bool iso9660 = false;  // a "CD001" set from sector 16 with a primary or
                         // supplementary descriptor and its terminator
  bool nsr = false;      // "NSR02" or "NSR03" inside a "BEA01" extended area
  // Bytes from one descriptor to the next: 2048, or the block size where a
  // volume of 4096-byte blocks puts one per block.
  std::uint32_t step = kSectorBytes;
};

// Where a volume's anchors are and the logical block size they tell.
struct AnchorSearch {
  std::uint32_t blockSize = kSectorBytes;
  std::vector<std::uint32_t> anchors;  // absolute blocks, in the order looked at
};

struct Recognition {
  bool iso9660 = false;
  bool udf = false;                     // the sequence names UDF and an anchor was found
  std::optional<std::uint32_t> anchor;  // the first anchor found, an absolute block
  std::uint32_t blockSize = kSectorBytes;
  std::vector<std::uint32_t> anchors;   // the anchors found (the first only, see FindUdfAnchors)
  // The file-system code the device library answers: 0 none, 1 ISO 9660,
  // 2 UDF, 3 both.
  int Code() const { return (udf ? 2 : 0) | (iso9660 ? 1 : 0); }
};

// Reads the recognition sequence of the volume starting at sector start.
RecognitionSequence ReadRecognitionSequence(SectorSource& source, std::uint32_t start);

// The anchors of the volume starting at sector start, whose recognition
// sequence steps sequenceStep bytes from one descriptor to the next. The
// block size is the first of 2048, 512 and 1024 (4096 when the sequence steps
// 4096) at which an anchor records its own block; failing that, an anchor
// that records another one is taken at the step's size, as older writers
// left it. Places, in blocks of that size: start +
// 256, 256 before the last block of the track (or medium), that last block,
// then start + 512. Nullopt when none of them holds an anchor. With every
// false the search stops at the first anchor (the end of the track is then
// asked for only when start + 256 holds none); with every true all are listed.
std::optional<AnchorSearch> FindUdfAnchors(SectorSource& source, std::uint32_t start, bool every,
                                           std::uint32_t sequenceStep = kSectorBytes);
// The first of them, in blocks.
std::optional<std::uint32_t> FindUdfAnchor(SectorSource& source, std::uint32_t start);

// The sequence, then the anchor when the sequence names UDF.
Recognition Recognise(SectorSource& source, std::uint32_t start);

// The track of sectors first..lastStored was written incrementally and left
// open when its last recorded sector (skipping at most kLinkBlocks blank ones
// after it) is a UDF file entry or extended file entry: the sector of that
// entry, or nullopt.
std::optional<std::uint32_t> FindTrailingUdfFileEntry(SectorSource& source, std::uint32_t first,
                                                      std::uint32_t lastStored);

}  // namespace fs
