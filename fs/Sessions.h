#pragma once
// Sessions appended one after another in a flat image: what genisoimage -C
// and mkudffs --startblock write into a file that already holds a volume,
// and what a multi-session disc becomes when it is dumped sector by sector.
// Each session is a volume of its own whose descriptors start 16 sectors
// into it; a later one is only believed where a recorder would have put it,
// so a volume image stored as a file inside a session is never taken for one.
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/SectorSource.h"

namespace fs {

// A CD numbers at most 99 tracks, one per session at least.
constexpr int kMostSessions = 99;
// Sectors between a session's end and the next session's first track, as
// -msinfo reports them: lead-out (6750 after the first session, 2250 after a
// later one), the next lead-in (4500) and its first track's pregap (150).
constexpr std::uint32_t kFirstSessionGap = 6750 + 4500 + 150;
constexpr std::uint32_t kLaterSessionGap = 2250 + 4500 + 150;
constexpr std::uint32_t kSessionPregap = 150;
// The boundaries writers round a new session's start up to.
constexpr std::uint32_t kSessionAlignments[] = {16, 32};
// Sectors of a session read while looking for the UDF virtual allocation
// table that ends it (8 GiB: a dual-layer DVD-R's session at most).
constexpr std::uint32_t kMostVatScanSectors = 1u << 22;
// Descriptors read in a UDF volume descriptor sequence before giving up on
// its terminator (a sequence is 16 sectors long by convention).
constexpr int kMostSequenceDescriptors = 64;

enum class SessionVolume { Iso9660, Udf };

struct VolumeSession {
  std::uint32_t start = 0;  // its first sector; its descriptors from start + 16
  // The sector after the last one it records: where the next session was
  // found to follow (before rounding and gaps), or for the last session what
  // its volume says; may lie past the end of the medium.
  std::uint32_t end = 0;
  SessionVolume volume = SessionVolume::Iso9660;
};

// A place where a later session may start, and the end of the earlier
// session it was counted from.
struct SessionCandidate {
  std::uint32_t start = 0;
  std::uint32_t after = 0;
};

// The places a session following one that may end at any of `ends` (the most
// likely first) is looked for, in the order they are tried: each end, each
// rounded up to 16 and to 32 sectors, each of those plus the gap of a first
// session and of a later one (the first session's gap first after it).
std::vector<SessionCandidate> NextSessionCandidates(const std::vector<std::uint32_t>& ends, bool afterFirst);

// The sessions of a medium of `sectors` sectors whose first volume starts at
// sector 0. Empty when no volume starts there; one session when nothing
// follows it (its own volume covering the whole medium among them, as
// xorriso's emulation of overwritable media writes it).
std::vector<VolumeSession> FindAppendedSessions(SectorSource& source, std::uint32_t sectors);

}  // namespace fs
