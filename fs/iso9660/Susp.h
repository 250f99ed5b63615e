#pragma once
// The System Use Sharing Protocol: the entries a directory record carries
// after its name, and the continuation areas (CE) they chain to elsewhere on
// the medium. The walk hands each entry on only once it is whole; a damaged
// area or chain ends the walk with a named fault, never a read outside the
// bytes held.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fs/SectorSource.h"

namespace fs::iso9660 {

// Limits that keep a hostile chain of continuation areas finite.
constexpr std::size_t kMaxContinuationBytes = 64 * 1024;  // all CE areas of one record together
constexpr unsigned kMaxContinuations = 32;                 // CE areas followed for one record
constexpr std::size_t kMaxContinuationArea = 8 * 2048;     // one CE area's declared length

enum class SuspFault {
  EntryTooShort,           // an entry's length byte below the 4-byte header
  EntryPastArea,           // an entry's length runs past the area that holds it
  ContinuationLoop,        // a CE names an area already read for this record
  ContinuationPastMedium,  // a CE area lies beyond the medium's last sector
  ContinuationUnreadable,  // a CE area's sectors could not be read
  TooManyContinuations,    // more than kMaxContinuations areas
  ContinuationTooLong,     // one area over kMaxContinuationArea, or all over kMaxContinuationBytes
};

const char* SuspFaultText(SuspFault f);

// One entry: its two-letter signature, version and the bytes after its
// 4-byte header (length and version already checked against the area).
struct SuspEntry {
  char sig[2] = {0, 0};
  std::uint8_t version = 0;
  std::span<const std::uint8_t> body;
  bool Is(const char* s) const { return sig[0] == s[0] && sig[1] == s[1]; }
};

struct SuspFaultAt {
  SuspFault fault;
  char sig[2] = {0, 0};  // the entry that overran (EntryPastArea), else 0
};

// What the walk ended with: the faults met, in order (empty when clean).
struct SuspWalkResult {
  std::vector<SuspFaultAt> faults;
  unsigned continuations = 0;  // CE areas read
};

// Calls visit for every entry of a record's System Use field (skip bytes
// skipped first, as SP's LEN_SKP says), then of the CE areas chained from
// it, read through source. source may be null: CE entries are then not
// followed. ST ends the area it is in. A padding byte 0 where a signature
// would start ends an area cleanly.
using SuspVisitor = std::function<void(const SuspEntry&)>;
SuspWalkResult WalkSusp(std::span<const std::uint8_t> systemUse, std::uint32_t skip, SectorSource* source,
                        const SuspVisitor& visit);

// Extension identifiers an ER entry may name for Rock Ridge.
enum class RockRidgeVersion { None, Rrip109, Rrip110, Rrip112, Unmarked };

// What the root's "." record says about the whole volume.
struct SuspVolume {
  bool sp = false;          // an SP entry with check bytes BE EF opened the field
  std::uint8_t skip = 0;    // SP's LEN_SKP, for every other record's System Use field
  std::vector<std::string> extensions;  // every ER entry's identifier, in order
  RockRidgeVersion rockRidge = RockRidgeVersion::None;  // None: names and times come from ISO 9660
  SuspWalkResult walk;      // faults met reading the root's entries
};

// Reads the System Use field of the root directory's first record (".").
// rockRidge is set when SP is present and an ER names RRIP_1991A (1.09 or
// 1.10), IEEE_P1282 (1.10) or IEEE_1282 (1.12), or, without an ER, when the
// root carries RR, PX or NM entries as early writers left them (Unmarked).
SuspVolume DetectSusp(std::span<const std::uint8_t> rootDotSystemUse, SectorSource* source);

// The System Use field of a directory record (the bytes after the name and
// its padding byte), or empty when the record holds none or is malformed.
std::span<const std::uint8_t> SystemUseOf(std::span<const std::uint8_t> record);

}  // namespace fs::iso9660
