#pragma once
// Rock Ridge (RRIP 1.09, 1.10 and 1.12) entries of one directory record, read
// from its System Use field and the continuation areas it chains to: the
// POSIX name (NM), mode and owner (PX), times (TF), link target (SL), device
// number (PN), relocated folders (CL, PL, RE) and zisofs compression (ZF).
// What every reader shows lands in fs::NodeInfo; the rest in RockRidgeInfo.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fs/Node.h"
#include "fs/SectorSource.h"
#include "fs/iso9660/Susp.h"

namespace fs::iso9660 {

constexpr std::size_t kMaxRockRidgeName = 1024;  // bytes of one NM name, all parts together
constexpr std::size_t kMaxLinkTarget = 4096;     // bytes of one SL target, all parts together

enum class RockRidgeFault {
  EntryTooShort,           // an entry's length byte below its 4-byte header
  EntryPastArea,           // an entry (not NM or SL) runs past the area that holds it
  NameLongerThanRecord,    // an NM entry runs past the area that holds it
  LinkLongerThanRecord,    // an SL entry runs past the area, or a component past its entry
  NameTooLong,             // NM parts together over kMaxRockRidgeName
  LinkTooLong,             // SL components together over kMaxLinkTarget
  NameInvalid,             // NM holds "/" or NUL (the record's ISO 9660 name stays)
  LinkInvalid,             // an SL component holds NUL, or its flags combine wrongly
  NameUnfinished,          // the last NM said CONTINUE and none followed
  LinkUnfinished,          // the last SL said CONTINUE and none followed
  BadEntry,                // PX, PN, TF, CL, PL or ZF shorter than its fields
  ContinuationLoop,        // CE faults, as SuspFault names them
  ContinuationPastMedium,
  ContinuationUnreadable,
  TooManyContinuations,
  ContinuationTooLong,
};

const char* RockRidgeFaultText(RockRidgeFault f);

// A ZF entry: zisofs compression of the file's data.
struct ZisofsParams {
  char algorithm[2] = {0, 0};     // "pz" (zisofs) is read; anything else is not
  std::uint8_t headerSizeDiv4 = 0;
  std::uint8_t blockSizeLog2 = 0;
  std::uint64_t uncompressedSize = 0;
  bool Readable() const { return algorithm[0] == 'p' && algorithm[1] == 'z'; }
};

// Times a TF entry may carry, as seconds since 1970-01-01 UTC.
struct RockRidgeTimes {
  std::optional<std::int64_t> creation, modify, access, attributes, backup, expiration, effective;
};

struct RockRidgeInfo {
  bool any = false;                  // at least one Rock Ridge entry was read
  bool nameCurrent = false;          // NM said "." (CURRENT)
  bool nameParent = false;           // NM said ".." (PARENT)
  std::optional<std::uint32_t> links, uid, gid, serial;  // PX (serial only in the 44-byte form)
  RockRidgeTimes times;
  std::optional<std::uint32_t> childLink;   // CL: the relocated folder's real extent (this record is a stand-in file)
  std::optional<std::uint32_t> parentLink;  // PL: the real parent of a relocated folder (its ".." record)
  bool relocated = false;                   // RE: this folder is shown at its CL stand-in, not here
  std::optional<ZisofsParams> zisofs;       // ZF
  bool zisofsUnread = false;                // ZF with another algorithm, or Z2: "compressed in a form not read"
  bool stopped = false;                     // ST ended an area
  std::vector<RockRidgeFault> faults;       // in the order met; empty when clean
};

// Reads one record's entries into node and info. node should already hold
// what the ISO 9660 record says (name, Folder or File, size, lba, time):
// NM replaces the name (not for "." and ".." records, which keep theirs),
// PX gives the mode's permission bits and turns the type into Link, a device,
// FIFO or Socket (a Folder or File stays as the record says), TF's modify
// time replaces mtime (zone offset applied), SL fills linkTarget (and makes
// the type Link), PN gives device (high << 32 | low), ZF's uncompressed size
// replaces size when the algorithm is read. A damaged entry leaves the
// field it would have set as it was and is listed in info.faults.
// skip is SP's LEN_SKP; source follows CE areas (null: not followed).
void ReadRockRidge(std::span<const std::uint8_t> systemUse, std::uint32_t skip, SectorSource* source, NodeInfo& node,
                   RockRidgeInfo& info);

// The 7-byte time of a directory record or a short TF entry (years since
// 1900, month, day, hour, minute, second, offset from UTC in 15-minute
// units), as UTC seconds; nullopt when it is all zeros or out of range.
std::optional<std::int64_t> DecodeShortTime(std::span<const std::uint8_t, 7> t);
// The 17-byte time of a volume descriptor or a long TF entry ("YYYYMMDDhhmmsscc"
// digits and the offset byte), as UTC seconds; nullopt when unset or invalid.
std::optional<std::int64_t> DecodeLongTime(std::span<const std::uint8_t, 17> t);

}  // namespace fs::iso9660
