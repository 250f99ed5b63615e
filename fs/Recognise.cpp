#include "fs/Recognise.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/UdfTag.h"

namespace fs {
namespace {

using Sector = std::array<std::uint8_t, kSectorBytes>;

// A volume structure descriptor: 0 type, 1-5 standard identifier, 6 version.
constexpr std::size_t kDescriptorType = 0;
constexpr std::size_t kStandardId = 1;
constexpr std::uint8_t kIsoPrimary = 1;
constexpr std::uint8_t kIsoSupplementary = 2;
constexpr std::uint8_t kIsoTerminator = 255;

bool IdIs(const Sector& s, const char* id) { return std::memcmp(s.data() + kStandardId, id, 5) == 0; }

// The buffer is cleared first, so a source that fills less than it claims
// leaves zeros rather than the previous sector's bytes.
bool ReadOne(SectorSource& source, std::uint32_t lba, Sector& s) {
  s.fill(0);
  return source.Read(lba, 1, s.data()) == SectorRead::Ok;
}

constexpr std::uint32_t kBlockSizes[] = {2048, 512, 1024, 4096};
constexpr std::uint32_t kLargestBlock = 4096;
constexpr std::size_t kTagLocationAt = 12;

enum class AnchorFound { None, OwnBlock, OtherBlock };

// The anchor tag at absolute block `block` of blockSize bytes, and whether
// it records that block as its location.
AnchorFound AnchorAt(SectorSource& source, std::uint64_t block, std::uint32_t blockSize) {
  const std::uint64_t byte = block * blockSize;
  const std::uint64_t lba = byte / kSectorBytes;
  if (lba > 0xFFFFFFFFull) return AnchorFound::None;
  Sector s;
  if (!ReadOne(source, static_cast<std::uint32_t>(lba), s)) return AnchorFound::None;
  const std::uint8_t* tag = s.data() + byte % kSectorBytes;
  if (!IsUdfTag(tag, kTagAnchor)) return AnchorFound::None;
  const std::uint32_t location = tag[kTagLocationAt] | (tag[kTagLocationAt + 1] << 8) |
                                 (tag[kTagLocationAt + 2] << 16) | (std::uint32_t(tag[kTagLocationAt + 3]) << 24);
  return location == block ? AnchorFound::OwnBlock : AnchorFound::OtherBlock;
}

// The places after the first, in blocks of blockSize: 256 before the last
// block and that last block (when the end can be told and lies past the
// first place), then 512.
std::vector<std::uint64_t> LaterAnchorPlaces(SectorSource& source, std::uint32_t start, std::uint32_t blockSize) {
  const std::uint64_t first = std::uint64_t(start) * kSectorBytes / blockSize;
  std::vector<std::uint64_t> places;
  const std::optional<std::uint32_t> last = source.LastSector(start);
  if (last && *last > start + kAnchorOffset * blockSize / kSectorBytes) {
    const std::uint64_t n = (std::uint64_t(*last) + 1) * kSectorBytes / blockSize - 1;
    places.push_back(n - kAnchorOffset);
    places.push_back(n);
  }
  places.push_back(first + kLateAnchorOffset);
  return places;
}

// The end is asked for only when it is needed: every anchor is wanted, or
// the first place holds none.
std::optional<AnchorSearch> AnchorsOfSize(SectorSource& source, std::uint32_t start, std::uint32_t blockSize,
                                          bool ownBlockOnly, bool every) {
  AnchorSearch found{blockSize, {}};
  auto look = [&](std::uint64_t place) {
    const AnchorFound a = AnchorAt(source, place, blockSize);
    if (a == AnchorFound::None || (ownBlockOnly && a != AnchorFound::OwnBlock) || place > 0xFFFFFFFFull) return;
    if (std::find(found.anchors.begin(), found.anchors.end(), place) == found.anchors.end())
      found.anchors.push_back(static_cast<std::uint32_t>(place));
  };
  look(std::uint64_t(start) * kSectorBytes / blockSize + kAnchorOffset);
  if (every || found.anchors.empty()) {
    for (std::uint64_t place : LaterAnchorPlaces(source, start, blockSize)) {
      look(place);
      if (!every && !found.anchors.empty()) break;
    }
  }
  if (found.anchors.empty()) return std::nullopt;
  return found;
}

// Returns whether an extended area began ("BEA01").
bool ReadSequenceAt(SectorSource& source, std::uint32_t start, std::uint32_t step, RecognitionSequence& seq);

}  // namespace

RecognitionSequence ReadRecognitionSequence(SectorSource& source, std::uint32_t start) {
  RecognitionSequence seq;
  if (ReadSequenceAt(source, start, kSectorBytes, seq) && !seq.nsr) {
    // Volumes of 4096-byte blocks put one descriptor a block: the extended
    // area's next descriptor is two sectors on.
    RecognitionSequence wide;
    ReadSequenceAt(source, start, kLargestBlock, wide);
    if (wide.nsr) {
      seq.nsr = true;
      seq.step = kLargestBlock;
    }
  }
  return seq;
}

namespace {

bool ReadSequenceAt(SectorSource& source, std::uint32_t start, std::uint32_t step, RecognitionSequence& seq) {
  bool isoStart = false, isoVolume = false, isoEnd = false, inExtended = false, extended = false;
  const std::uint32_t stride = step / kSectorBytes;
  Sector s;
  for (int i = 0; i < kMostRecognitionDescriptors; ++i) {
    if (!ReadOne(source, start + kRecognitionStart + static_cast<std::uint32_t>(i) * stride, s)) break;
    seq.anyRead = true;
    if (IdIs(s, "CD001")) {
      // Only a set that starts at sector 16 is an ISO 9660 volume here.
      if (i == 0) isoStart = true;
      if (s[kDescriptorType] == kIsoPrimary || s[kDescriptorType] == kIsoSupplementary) isoVolume = true;
      if (s[kDescriptorType] == kIsoTerminator && isoStart) isoEnd = true;
    } else if (IdIs(s, "BEA01")) {
      inExtended = extended = true;
    } else if (IdIs(s, "NSR02") || IdIs(s, "NSR03")) {
      if (inExtended) seq.nsr = true;
    } else if (IdIs(s, "TEA01")) {
      inExtended = false;
    } else if (!IdIs(s, "BOOT2") && !IdIs(s, "CDW02")) {
      break;  // not a volume structure descriptor: the sequence ends
    }
  }
  seq.iso9660 = isoStart && isoVolume && isoEnd;
  return extended;
}

}  // namespace

std::optional<AnchorSearch> FindUdfAnchors(SectorSource& source, std::uint32_t start, bool every,
                                           std::uint32_t sequenceStep) {
  // A sequence of one descriptor a 4096-byte block is that size's alone; a
  // 2048-byte step is any smaller size's (their descriptors take 2048 bytes).
  for (std::uint32_t size : kBlockSizes) {
    if ((sequenceStep > kSectorBytes) != (size > kSectorBytes)) continue;
    if (auto found = AnchorsOfSize(source, start, size, true, every)) return found;
  }
  return AnchorsOfSize(source, start, std::max(sequenceStep, kSectorBytes), false, every);
}

std::optional<std::uint32_t> FindUdfAnchor(SectorSource& source, std::uint32_t start) {
  const std::optional<AnchorSearch> found = FindUdfAnchors(source, start, false, ReadRecognitionSequence(source, start).step);
  if (!found) return std::nullopt;
  return found->anchors.front();
}

Recognition Recognise(SectorSource& source, std::uint32_t start) {
  const RecognitionSequence seq = ReadRecognitionSequence(source, start);
  Recognition r;
  r.iso9660 = seq.iso9660;
  if (seq.anyRead && seq.nsr) {
    if (const std::optional<AnchorSearch> found = FindUdfAnchors(source, start, false, seq.step)) {
      r.udf = true;
      r.anchor = found->anchors.front();
      r.blockSize = found->blockSize;
      r.anchors = found->anchors;
    }
  }
  return r;
}

std::optional<std::uint32_t> FindTrailingUdfFileEntry(SectorSource& source, std::uint32_t first,
                                                      std::uint32_t lastStored) {
  // An image copied from such a disc may end with the blank run-out and link
  // blocks after the last packet; the file entry is the last sector before them.
  Sector s;
  std::int64_t entry = lastStored;
  for (std::uint32_t blank = 0;; ++blank, --entry) {
    if (entry < first || !ReadOne(source, static_cast<std::uint32_t>(entry), s)) return std::nullopt;
    if (std::any_of(s.begin(), s.end(), [](std::uint8_t b) { return b != 0; })) break;
    if (blank == kLinkBlocks) return std::nullopt;
  }
  if (!IsUdfTag(s.data(), kTagFileEntry) && !IsUdfTag(s.data(), kTagExtendedFileEntry)) return std::nullopt;
  return static_cast<std::uint32_t>(entry);
}

}  // namespace fs
