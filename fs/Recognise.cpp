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

bool AnchorAt(SectorSource& source, std::uint32_t lba) {
  Sector s;
  return ReadOne(source, lba, s) && IsUdfTag(s.data(), kTagAnchor);
}

}  // namespace

RecognitionSequence ReadRecognitionSequence(SectorSource& source, std::uint32_t start) {
  RecognitionSequence seq;
  bool isoStart = false, isoVolume = false, isoEnd = false, inExtended = false;
  Sector s;
  for (int i = 0; i < kMostRecognitionDescriptors; ++i) {
    if (!ReadOne(source, start + kRecognitionStart + static_cast<std::uint32_t>(i), s)) break;
    seq.anyRead = true;
    if (IdIs(s, "CD001")) {
      // Only a set that starts at sector 16 is an ISO 9660 volume here.
      if (i == 0) isoStart = true;
      if (s[kDescriptorType] == kIsoPrimary || s[kDescriptorType] == kIsoSupplementary) isoVolume = true;
      if (s[kDescriptorType] == kIsoTerminator && isoStart) isoEnd = true;
    } else if (IdIs(s, "BEA01")) {
      inExtended = true;
    } else if (IdIs(s, "NSR02") || IdIs(s, "NSR03")) {
      if (inExtended) seq.nsr = true;
    } else if (IdIs(s, "TEA01")) {
      inExtended = false;
    } else if (!IdIs(s, "BOOT2") && !IdIs(s, "CDW02")) {
      break;  // not a volume structure descriptor: the sequence ends
    }
  }
  seq.iso9660 = isoStart && isoVolume && isoEnd;
  return seq;
}

std::optional<std::uint32_t> FindUdfAnchor(SectorSource& source, std::uint32_t start) {
  if (AnchorAt(source, start + kAnchorOffset)) return start + kAnchorOffset;
  // The other anchor places are counted back from the end, which is only
  // asked for when the first place holds none.
  const std::optional<std::uint32_t> last = source.LastSector(start);
  if (!last || *last <= start + kAnchorOffset) return std::nullopt;
  if (AnchorAt(source, *last - kAnchorOffset)) return *last - kAnchorOffset;
  if (AnchorAt(source, *last)) return *last;
  return std::nullopt;
}

Recognition Recognise(SectorSource& source, std::uint32_t start) {
  const RecognitionSequence seq = ReadRecognitionSequence(source, start);
  Recognition r;
  r.iso9660 = seq.iso9660;
  if (seq.anyRead && seq.nsr) {
    r.anchor = FindUdfAnchor(source, start);
    r.udf = r.anchor.has_value();
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
