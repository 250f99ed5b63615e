#include "fs/Sessions.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/UdfTag.h"
#include "fs/Recognise.h"

namespace fs {
namespace {

using Sector = std::array<std::uint8_t, kSectorBytes>;

// ISO 9660 volume descriptor: 0 type, 1-5 "CD001", 80 volume space size
// (little-endian half of a both-endian field), 156 the root directory record,
// whose extent location is at its byte 2.
constexpr std::size_t kIsoVolumeSpaceSize = 80;
constexpr std::size_t kIsoRootExtent = 156 + 2;
constexpr std::uint8_t kIsoPrimary = 1;
constexpr std::uint8_t kIsoTerminator = 255;

// UDF anchor: 16 main volume descriptor sequence extent (length, location),
// 24 the reserve one. Partition descriptor: 188 start, 192 length. Logical
// volume descriptor: 268 number of partition maps, 440 the maps. A type 2 map
// names its kind at byte 5 (the identifier of its entity id at byte 4).
constexpr std::size_t kTagLocation = 12;
constexpr std::size_t kAnchorMain = 16, kAnchorReserve = 24;
constexpr std::size_t kPartitionStart = 188, kPartitionLength = 192;
constexpr std::size_t kLvdMapCount = 268, kLvdMaps = 440;
constexpr std::size_t kMapType2Ident = 5;
constexpr std::uint16_t kTagPartition = 5, kTagLogicalVolume = 6, kTagTerminating = 8;
// A file entry's ICB tag (at 16) holds the file type at its byte 11.
constexpr std::size_t kEntryFileType = 16 + 11;
constexpr std::uint8_t kFileTypeVat = 248;
constexpr char kVirtualPartition[] = "*UDF Virtual Partition";
// File entry: 34 ICB flags (allocation kind in bits 0-2), 56 information
// length, 168 length of extended attributes, 172 of allocation descriptors,
// 176 the attributes and descriptors.
constexpr std::size_t kEntryIcbFlags = 16 + 18, kEntryInfoLength = 56;
constexpr std::size_t kEntryEaLength = 168, kEntryAdLength = 172, kEntryAds = 176;
constexpr int kAdShort = 0, kAdLong = 1, kAdEmbedded = 3;
// A 1.50 table ends with its entity identifier (32 bytes, the identifier
// text from byte 1) and the previous table's address (4).
constexpr std::uint64_t kVat150Tail = 36;
constexpr char kVatIdentifier[] = "*UDF Virtual Alloc Tbl";

// Sectors read at once while scanning a session for its allocation table.
constexpr std::uint32_t kScanChunk = 64;
// The last sectors of a medium that may follow its last allocation table:
// link blocks and the anchors at 256 before the end and at the end.
constexpr std::uint32_t kClosingTail = 2 * kAnchorOffset;

bool ReadOne(SectorSource& source, std::uint32_t lba, Sector& s) {
  s.fill(0);
  return source.Read(lba, 1, s.data()) == SectorRead::Ok;
}

std::uint32_t RoundUp(std::uint32_t v, std::uint32_t to) {
  const std::uint64_t r = (std::uint64_t(v) + to - 1) / to * to;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(r, UINT32_MAX));
}

std::uint32_t AddClamped(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(a) + b, UINT32_MAX));
}

// What a session's own volume says of where the session ends.
struct VolumeFacts {
  SessionVolume volume = SessionVolume::Iso9660;
  std::vector<std::uint32_t> ends;  // most likely first
  // A UDF volume on write-once media ends at its last allocation table,
  // which only a scan from its partition's start finds.
  bool virtualPartition = false;
  std::uint32_t partitionStart = 0;
};

// A complete ISO 9660 descriptor set from start + 16: a primary descriptor
// and, after it and any others, a terminator. Its root must lie at or after
// start and inside the medium, so a volume made for sector 0 and stored as a
// file further on is not taken for a session starting there.
std::optional<VolumeFacts> ReadIsoVolume(SectorSource& source, std::uint32_t start, std::uint32_t sectors) {
  std::optional<Sector> primary;
  bool terminated = false;
  Sector s;
  for (int i = 0; i < kMostRecognitionDescriptors && !terminated; ++i) {
    const std::uint64_t at = std::uint64_t(start) + kRecognitionStart + static_cast<std::uint32_t>(i);
    if (at >= sectors || !ReadOne(source, static_cast<std::uint32_t>(at), s)) break;
    if (std::memcmp(s.data() + 1, "CD001", 5) != 0) break;
    if (s[0] == kIsoPrimary && !primary) primary = s;
    terminated = s[0] == kIsoTerminator;
  }
  if (!primary || !terminated) return std::nullopt;
  const std::uint32_t root = GetLE32(primary->data() + kIsoRootExtent);
  if (root < start || root >= sectors) return std::nullopt;
  const std::uint32_t size = GetLE32(primary->data() + kIsoVolumeSpaceSize);
  VolumeFacts facts;
  // genisoimage counts a session's own sectors; other writers count from
  // sector 0, which only makes sense when that passes the descriptors.
  for (std::uint32_t end : {AddClamped(start, size), size})
    if (end > start + kRecognitionStart && std::find(facts.ends.begin(), facts.ends.end(), end) == facts.ends.end())
      facts.ends.push_back(end);
  if (facts.ends.empty()) return std::nullopt;
  return facts;
}

// The end of an extent descriptor's run of sectors (length in bytes).
std::uint32_t ExtentEnd(const std::uint8_t* extent) {
  return AddClamped(GetLE32(extent + 4), (GetLE32(extent) + kSectorBytes - 1) / kSectorBytes);
}

bool IsVirtualMap(const std::uint8_t* lvd) {
  const std::uint32_t maps = GetLE32(lvd + kLvdMapCount);
  std::size_t at = kLvdMaps;
  for (std::uint32_t m = 0; m < maps && at + 2 <= kSectorBytes; ++m) {
    const std::uint8_t type = lvd[at], length = lvd[at + 1];
    if (length < 2 || at + length > kSectorBytes) break;
    if (type == 2 && length > kMapType2Ident + sizeof kVirtualPartition - 1 &&
        std::memcmp(lvd + at + kMapType2Ident, kVirtualPartition, sizeof kVirtualPartition - 1) == 0)
      return true;
    at += length;
  }
  return false;
}

// The partition and the map kinds of the main volume descriptor sequence.
bool ReadSequence(SectorSource& source, const std::uint8_t* anchor, std::uint32_t sectors, VolumeFacts& facts,
                  std::uint32_t& partitionEnd) {
  const std::uint32_t first = GetLE32(anchor + kAnchorMain + 4);
  bool partition = false;
  Sector s;
  for (int i = 0; i < kMostSequenceDescriptors; ++i) {
    const std::uint64_t at = std::uint64_t(first) + static_cast<std::uint32_t>(i);
    if (at >= sectors || !ReadOne(source, static_cast<std::uint32_t>(at), s)) break;
    if (IsUdfTag(s.data(), kTagTerminating)) break;
    if (IsUdfTag(s.data(), kTagPartition) && !partition) {
      partition = true;
      facts.partitionStart = GetLE32(s.data() + kPartitionStart);
      partitionEnd = AddClamped(facts.partitionStart, GetLE32(s.data() + kPartitionLength));
    } else if (IsUdfTag(s.data(), kTagLogicalVolume)) {
      facts.virtualPartition = IsVirtualMap(s.data());
    }
  }
  return partition;
}

// A UDF volume from start: its recognition sequence names it, its anchor is
// at start + 256 and its sequence and partition lie at or after start and
// inside the medium. Without a virtual partition it ends after the last of
// its partition, its descriptor sequences and an anchor right behind them.
std::optional<VolumeFacts> ReadUdfVolume(SectorSource& source, std::uint32_t start, std::uint32_t sectors) {
  if (!ReadRecognitionSequence(source, start).nsr) return std::nullopt;
  const std::uint64_t anchorAt = std::uint64_t(start) + kAnchorOffset;
  Sector anchor;
  if (anchorAt >= sectors || !ReadOne(source, static_cast<std::uint32_t>(anchorAt), anchor) ||
      !IsUdfTag(anchor.data(), kTagAnchor))
    return std::nullopt;
  const std::uint32_t main = GetLE32(anchor.data() + kAnchorMain + 4);
  if (main < start || main >= sectors) return std::nullopt;
  VolumeFacts facts;
  facts.volume = SessionVolume::Udf;
  std::uint32_t partitionEnd = 0;
  if (!ReadSequence(source, anchor.data(), sectors, facts, partitionEnd)) return std::nullopt;
  if (facts.partitionStart < start || facts.partitionStart >= sectors) return std::nullopt;
  if (facts.virtualPartition) return facts;
  std::uint32_t end = std::max({partitionEnd, ExtentEnd(anchor.data() + kAnchorMain),
                                ExtentEnd(anchor.data() + kAnchorReserve)});
  // mkudffs closes a volume with an anchor in its last sector.
  Sector s;
  if (end < sectors && ReadOne(source, end, s) && IsUdfTag(s.data(), kTagAnchor) &&
      GetLE32(s.data() + kTagLocation) == end)
    ++end;
  facts.ends.push_back(end);
  return facts;
}

// A session starting at start: an ISO 9660 descriptor set there (a bridge
// volume's UDF side ends no later), else a UDF volume.
std::optional<VolumeFacts> ReadVolume(SectorSource& source, std::uint32_t start, std::uint32_t sectors) {
  if (auto iso = ReadIsoVolume(source, start, sectors)) return iso;
  return ReadUdfVolume(source, start, sectors);
}

// The first candidate after ends that holds a session; facts then tell of
// that session's volume.
std::optional<SessionCandidate> FollowEnds(SectorSource& source, const std::vector<std::uint32_t>& ends,
                                           bool afterFirst, std::uint32_t previousStart, std::uint32_t sectors,
                                           std::optional<VolumeFacts>& facts) {
  for (const SessionCandidate& c : NextSessionCandidates(ends, afterFirst)) {
    if (c.start <= previousStart + kRecognitionStart || c.start >= sectors) continue;
    facts = ReadVolume(source, c.start, sectors);
    if (facts) return c;
  }
  return std::nullopt;
}

// A UDF 1.50 table is a file of unknown type whose data ends with this
// entity identifier and the previous table's address.
std::optional<std::uint32_t> DataSectorOfTail(const std::uint8_t* fe, std::uint32_t partitionStart) {
  const std::uint64_t length = GetLE64(fe + kEntryInfoLength);
  const std::uint32_t ea = GetLE32(fe + kEntryEaLength), ad = GetLE32(fe + kEntryAdLength);
  const int kind = GetLE16(fe + kEntryIcbFlags) & 7;
  if (length < kVat150Tail || std::uint64_t(kEntryAds) + ea + ad > kSectorBytes || kind == kAdEmbedded) return std::nullopt;
  if (ad < 8 || (kind != kAdShort && kind != kAdLong)) return std::nullopt;
  const std::uint8_t* first = fe + kEntryAds + ea;
  const std::uint64_t tail = length - kVat150Tail;
  if (tail >= (GetLE32(first) & 0x3FFFFFFF)) return std::nullopt;  // only a table in one extent is followed
  const std::uint64_t sector = std::uint64_t(partitionStart) + GetLE32(first + 4) + tail / kSectorBytes;
  if (sector > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(sector);
}

bool EndsWithVatIdentifier(SectorSource& source, const std::uint8_t* fe, std::uint32_t partitionStart) {
  const std::uint64_t length = GetLE64(fe + kEntryInfoLength);
  const std::uint32_t ea = GetLE32(fe + kEntryEaLength), ad = GetLE32(fe + kEntryAdLength);
  if (length < kVat150Tail) return false;
  const std::size_t at = static_cast<std::size_t>((length - kVat150Tail) % kSectorBytes) + 1;  // its identifier
  if ((GetLE16(fe + kEntryIcbFlags) & 7) == kAdEmbedded) {
    if (length > ad || std::uint64_t(kEntryAds) + ea + ad > kSectorBytes) return false;
    const std::uint8_t* id = fe + kEntryAds + ea + (length - kVat150Tail) + 1;
    return std::memcmp(id, kVatIdentifier, sizeof kVatIdentifier - 1) == 0;
  }
  const std::optional<std::uint32_t> sector = DataSectorOfTail(fe, partitionStart);
  Sector s;
  if (!sector || at + sizeof kVatIdentifier - 1 > kSectorBytes || !ReadOne(source, *sector, s)) return false;
  return std::memcmp(s.data() + at, kVatIdentifier, sizeof kVatIdentifier - 1) == 0;
}

// A virtual allocation table's file entry at lba: of type 248 (UDF 2.00 on),
// or of unknown type with the table's identifier at the end of its data.
bool IsVatEntry(SectorSource& source, const std::uint8_t* s, std::uint32_t lba, std::uint32_t partitionStart) {
  if (lba < partitionStart || GetLE32(s + kTagLocation) != lba - partitionStart) return false;
  if (IsUdfTag(s, kTagExtendedFileEntry)) return s[kEntryFileType] == kFileTypeVat;
  if (!IsUdfTag(s, kTagFileEntry)) return false;
  return s[kEntryFileType] == kFileTypeVat ||
         (s[kEntryFileType] == 0 && EndsWithVatIdentifier(source, s, partitionStart));
}

// A session on write-once media ends after its allocation table, the last
// one written in it. When the medium's tail holds this volume's table (behind
// at most its closing anchors and link blocks, or a small session), the last
// one there ends it. Otherwise tables are tried in the order they lie,
// and the first one followed by a session ends this one; without a following
// session the session ends after the last table found.
std::optional<SessionCandidate> FollowVirtualSession(SectorSource& source, const VolumeSession& current,
                                                     const VolumeFacts& own, bool afterFirst, std::uint32_t sectors,
                                                     std::optional<VolumeFacts>& facts, std::uint32_t& lastEnd) {
  const std::uint32_t from = std::max(current.start, own.partitionStart);
  // The table a closing writer leaves before its last anchors and link blocks.
  Sector s;
  for (std::uint32_t at = sectors; at > from && sectors - at < kClosingTail;) {
    --at;
    if (ReadOne(source, at, s) && IsVatEntry(source, s.data(), at, own.partitionStart)) {
      lastEnd = at + 1;
      return FollowEnds(source, {lastEnd}, afterFirst, current.start, sectors, facts);
    }
  }
  std::vector<std::uint8_t> chunk(std::size_t(kScanChunk) * kSectorBytes);
  const std::uint32_t to = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, std::uint64_t(from) + kMostVatScanSectors));
  for (std::uint32_t at = from; at < to;) {
    const std::uint32_t n = std::min(kScanChunk, to - at);
    std::fill(chunk.begin(), chunk.end(), 0);
    std::uint32_t got = n;
    if (source.Read(at, n, chunk.data()) != SectorRead::Ok) {
      got = 1;  // sector by sector past an unreadable one
      if (source.Read(at, 1, chunk.data()) != SectorRead::Ok) std::fill(chunk.begin(), chunk.begin() + kSectorBytes, 0);
    }
    for (std::uint32_t i = 0; i < got; ++i) {
      if (!IsVatEntry(source, chunk.data() + std::size_t(i) * kSectorBytes, at + i, own.partitionStart)) continue;
      lastEnd = at + i + 1;
      if (auto next = FollowEnds(source, {lastEnd}, afterFirst, current.start, sectors, facts)) return next;
    }
    at += got;
  }
  return std::nullopt;
}

}  // namespace

std::vector<SessionCandidate> NextSessionCandidates(const std::vector<std::uint32_t>& ends, bool afterFirst) {
  std::vector<SessionCandidate> places;
  auto add = [&places](std::uint32_t start, std::uint32_t after) {
    for (const SessionCandidate& p : places)
      if (p.start == start) return;
    places.push_back({start, after});
  };
  for (std::uint32_t end : ends) add(end, end);
  for (std::uint32_t end : ends)
    for (std::uint32_t align : kSessionAlignments) add(RoundUp(end, align), end);
  const std::vector<SessionCandidate> near = places;
  const std::uint32_t gaps[2] = {afterFirst ? kFirstSessionGap : kLaterSessionGap,
                                 afterFirst ? kLaterSessionGap : kFirstSessionGap};
  for (std::uint32_t gap : gaps)
    for (const SessionCandidate& p : near) add(AddClamped(p.start, gap), p.after);
  return places;
}

std::vector<VolumeSession> FindAppendedSessions(SectorSource& source, std::uint32_t sectors) {
  std::vector<VolumeSession> sessions;
  if (sectors == 0) return sessions;
  std::optional<VolumeFacts> facts = ReadVolume(source, 0, sectors);
  if (!facts) return sessions;
  sessions.push_back(VolumeSession{0, 0, facts->volume});
  while (true) {
    const VolumeFacts own = *facts;
    const bool afterFirst = sessions.size() == 1;
    std::optional<SessionCandidate> next;
    // The last session's end: the first reading that fits the medium.
    std::uint32_t lastEnd = own.ends.empty() ? sectors : own.ends.front();
    for (std::uint32_t end : own.ends)
      if (end <= sectors) {
        lastEnd = end;
        break;
      }
    if (static_cast<int>(sessions.size()) < kMostSessions) {
      if (own.virtualPartition)
        next = FollowVirtualSession(source, sessions.back(), own, afterFirst, sectors, facts, lastEnd);
      else
        next = FollowEnds(source, own.ends, afterFirst, sessions.back().start, sectors, facts);
    }
    sessions.back().end = next ? next->after : lastEnd;
    if (!next) break;
    sessions.push_back(VolumeSession{next->start, 0, facts->volume});
  }
  return sessions;
}

}  // namespace fs
