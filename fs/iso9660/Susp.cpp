#include "fs/iso9660/Susp.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "disc/ByteOrder.h"

namespace fs::iso9660 {

namespace {

// Entry header: 0 signature (2), 2 length, 3 version.
constexpr std::size_t kEntryHeader = 4;
// CE: 4 block (both-endian 8), 12 offset (8), 20 length (8).
constexpr std::size_t kCeBytes = 28;
// SP: 4 check bytes BE EF, 6 LEN_SKP.
constexpr std::size_t kSpBytes = 7;
// ER: 4 LEN_ID, 5 LEN_DES, 6 LEN_SRC, 7 EXT_VER, 8 identifier.
constexpr std::size_t kErFixed = 8;

struct Continuation {
  std::uint32_t block = 0, offset = 0, length = 0;
};

// Walks one area; returns the CE it named, if any.
std::optional<Continuation> WalkArea(std::span<const std::uint8_t> area, const SuspVisitor& visit,
                                     SuspWalkResult& result) {
  std::optional<Continuation> next;
  std::size_t at = 0;
  while (area.size() - at >= kEntryHeader && area[at] != 0) {
    const std::uint8_t* e = area.data() + at;
    const std::size_t len = e[2];
    if (len < kEntryHeader) {
      result.faults.push_back({SuspFault::EntryTooShort, {char(e[0]), char(e[1])}});
      break;
    }
    if (len > area.size() - at) {
      result.faults.push_back({SuspFault::EntryPastArea, {char(e[0]), char(e[1])}});
      break;
    }
    SuspEntry entry;
    entry.sig[0] = char(e[0]);
    entry.sig[1] = char(e[1]);
    entry.version = e[3];
    entry.body = area.subspan(at + kEntryHeader, len - kEntryHeader);
    at += len;
    if (entry.Is("ST")) break;
    if (entry.Is("CE")) {
      if (len < kCeBytes)
        result.faults.push_back({SuspFault::EntryTooShort, {'C', 'E'}});
      else
        next = Continuation{GetLE32(e + 4), GetLE32(e + 12), GetLE32(e + 20)};
      continue;
    }
    if (entry.Is("PD")) continue;
    visit(entry);
  }
  return next;
}

// Reads a CE area into out, or says why not.
std::optional<SuspFault> ReadContinuation(SectorSource& source, const Continuation& ce, std::vector<std::uint8_t>& out) {
  if (ce.length > kMaxContinuationArea) return SuspFault::ContinuationTooLong;
  // The offset is meant to lie inside the block; one past it still names a sector.
  const std::uint64_t first = std::uint64_t(ce.block) + ce.offset / kSectorBytes;
  const std::uint32_t offset = ce.offset % kSectorBytes;
  const std::uint64_t end = std::uint64_t(offset) + ce.length;
  const std::uint64_t sectors = std::max<std::uint64_t>(1, (end + kSectorBytes - 1) / kSectorBytes);
  const std::uint64_t lastNeeded = first + sectors - 1;
  const auto last = lastNeeded > 0xFFFFFFFFull ? std::nullopt : source.LastSector(static_cast<std::uint32_t>(first));
  if (lastNeeded > 0xFFFFFFFFull || (last && lastNeeded > *last)) return SuspFault::ContinuationPastMedium;
  std::vector<std::uint8_t> buf(sectors * kSectorBytes);
  if (source.Read(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(sectors), buf.data()) != SectorRead::Ok)
    return SuspFault::ContinuationUnreadable;
  out.assign(buf.begin() + offset, buf.begin() + static_cast<std::ptrdiff_t>(end));
  return std::nullopt;
}

}  // namespace

const char* SuspFaultText(SuspFault f) {
  switch (f) {
    case SuspFault::EntryTooShort: return "System Use entry shorter than its header";
    case SuspFault::EntryPastArea: return "System Use entry longer than its area";
    case SuspFault::ContinuationLoop: return "continuation area loop";
    case SuspFault::ContinuationPastMedium: return "continuation area past the medium";
    case SuspFault::ContinuationUnreadable: return "continuation area unreadable";
    case SuspFault::TooManyContinuations: return "too many continuation areas";
    case SuspFault::ContinuationTooLong: return "continuation areas too long";
  }
  return "System Use damage";
}

SuspWalkResult WalkSusp(std::span<const std::uint8_t> systemUse, std::uint32_t skip, SectorSource* source,
                        const SuspVisitor& visit) {
  SuspWalkResult result;
  if (skip >= systemUse.size()) return result;
  std::optional<Continuation> next = WalkArea(systemUse.subspan(skip), visit, result);
  std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
  std::size_t total = 0;
  std::vector<std::uint8_t> area;
  while (next && source) {
    const Continuation ce = *next;
    next.reset();
    if (!seen.insert({ce.block, ce.offset}).second) {
      result.faults.push_back({SuspFault::ContinuationLoop, {'C', 'E'}});
      break;
    }
    if (result.continuations >= kMaxContinuations) {
      result.faults.push_back({SuspFault::TooManyContinuations, {'C', 'E'}});
      break;
    }
    total += ce.length;
    if (total > kMaxContinuationBytes) {
      result.faults.push_back({SuspFault::ContinuationTooLong, {'C', 'E'}});
      break;
    }
    if (const auto fault = ReadContinuation(*source, ce, area)) {
      result.faults.push_back({*fault, {'C', 'E'}});
      break;
    }
    ++result.continuations;
    next = WalkArea(area, visit, result);
  }
  return result;
}

namespace {

RockRidgeVersion VersionOfExtension(std::string_view id, std::uint8_t extVersion) {
  if (id == "RRIP_1991A") return extVersion >= 1 ? RockRidgeVersion::Rrip110 : RockRidgeVersion::Rrip109;
  if (id == "IEEE_P1282") return RockRidgeVersion::Rrip110;
  if (id == "IEEE_1282") return RockRidgeVersion::Rrip112;
  return RockRidgeVersion::None;
}

}  // namespace

SuspVolume DetectSusp(std::span<const std::uint8_t> rootDotSystemUse, SectorSource* source) {
  SuspVolume v;
  const auto su = rootDotSystemUse;
  // SP opens the root's field: "SP", length 7, version 1, BE EF, LEN_SKP.
  if (su.size() < kSpBytes || su[0] != 'S' || su[1] != 'P' || su[2] < kSpBytes || su[4] != 0xBE || su[5] != 0xEF)
    return v;
  v.sp = true;
  v.skip = su[6];
  bool unmarked = false;
  RockRidgeVersion best = RockRidgeVersion::None;
  v.walk = WalkSusp(su, 0, source, [&](const SuspEntry& e) {
    if (e.Is("RR") || e.Is("PX") || e.Is("NM")) unmarked = true;
    if (!e.Is("ER") || e.body.size() + kEntryHeader < kErFixed) return;
    const std::size_t idLen = e.body[0];
    if (kErFixed + idLen > e.body.size() + kEntryHeader) return;
    const std::string id(reinterpret_cast<const char*>(e.body.data()) + (kErFixed - kEntryHeader), idLen);
    v.extensions.push_back(id);
    best = std::max(best, VersionOfExtension(id, e.body[3]));
  });
  v.rockRidge = best != RockRidgeVersion::None ? best : unmarked ? RockRidgeVersion::Unmarked : RockRidgeVersion::None;
  return v;
}

std::span<const std::uint8_t> SystemUseOf(std::span<const std::uint8_t> record) {
  // Directory record: 0 length, 32 name length, 33 name, a padding byte when the name length is even.
  if (record.size() < 34 || record[0] < 34 || record[0] > record.size()) return {};
  const std::size_t nameLen = record[32];
  const std::size_t start = 33 + nameLen + (nameLen % 2 == 0 ? 1 : 0);
  if (start >= record[0]) return {};
  return record.subspan(start, record[0] - start);
}

}  // namespace fs::iso9660
