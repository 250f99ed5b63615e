// One directory's records, checked one by one.
#include "fs/iso9660/Directory.h"

#include <algorithm>
#include <cstring>

#include "disc/SectorLayout.h"
#include "fs/iso9660/RockRidge.h"

namespace fs::iso9660 {

const char* FaultText(Fault f) {
  switch (f) {
    case Fault::UnreadableSector: return "directory sector unreadable";
    case Fault::RecordPastEnd: return "record past the directory's end";
    case Fault::RecordTooShort: return "record length too short";
    case Fault::NamePastRecord: return "name past its record";
    case Fault::DirectoryTooLarge: return "directory larger than the limit";
    case Fault::PastMedium: return "directory past the end of the medium";
    case Fault::TooManySectors: return "directory sectors past the limit";
    case Fault::Loop: return "folder loop";
    case Fault::Repeated: return "folder named twice";
    case Fault::TooDeep: return "folders nested too deep";
    case Fault::TooManyEntries: return "too many entries";
    case Fault::SystemUse: return "damaged System Use field";
  }
  return "damage";
}

std::string Describe(const FaultAt& f) {
  std::string where = f.path.empty() ? "/" : f.path;
  if (!f.entry.empty()) where += (where.back() == '/' ? "" : "/") + f.entry;
  std::string text = where + ": " + FaultText(f.fault);
  if (!f.note.empty()) text += " (" + f.note + ")";
  return text;
}

struct DirectoryReader::Sector {
  std::uint8_t bytes[kRawSectorBytes];
  std::size_t start = 0;
  std::size_t size = kSectorBytes;
};

bool DirectoryReader::ReadSector(std::uint32_t lba, bool raw, Sector& s) {
  std::memset(s.bytes, 0, sizeof s.bytes);
  ++m_nSectorsRead;
  if (!raw) {
    s.start = 0;
    s.size = kSectorBytes;
    return m_Source.Read(lba, 1, s.bytes) == SectorRead::Ok;
  }
  if (m_Source.ReadRaw(lba, s.bytes) != SectorRead::Ok) return false;
  // A raw sector is cut by its own header and sub-header; one handed back
  // without a sync pattern is user data from its first byte.
  const disc::SectorShape shape = disc::ClassifySector(s.bytes, m_Policy.dataMode);
  s.start = shape.offset;
  s.size = shape.size;
  return true;
}

// The sector in the form that read first, the other form when that fails;
// raw is left at the form that read.
bool DirectoryReader::ReadEither(std::uint32_t lba, bool& raw, Sector& s) {
  if (ReadSector(lba, raw, s)) return true;
  if (!ReadSector(lba, !raw, s)) return false;
  raw = !raw;
  return true;
}

namespace {

ShownTime ShownOf(const RecordTime& t) { return ShownTime{1900 + t[0], t[1], t[2], t[3], t[4], t[5]}; }

// The directory's size from its own record, when that one points back at it.
std::uint64_t OwnSize(std::span<const std::uint8_t> payload, std::uint32_t lba, std::uint64_t otherwise) {
  DirectoryRecord self;
  const RecordStatus st = ParseRecord(payload, self);
  if ((st == RecordStatus::Ok || st == RecordStatus::NamePastRecord) && self.extent == lba) return self.dataLength;
  return otherwise;
}

}  // namespace

Entry DirectoryReader::MakeEntry(const DirectoryRecord& r, std::vector<FaultAt>& faults) {
  Entry e;
  e.flags = r.flags;
  e.extent = r.extent;
  e.length = r.dataLength;
  e.extents.push_back(Extent{r.extent, r.dataLength});
  e.shown = ShownOf(r.time);
  e.info.type = r.Directory() ? NodeType::Folder : NodeType::File;
  e.info.mtime = DecodeShortTime(std::span<const std::uint8_t, 7>(r.time));
  const bool joliet = m_Names.set == NameSet::Joliet;
  e.info.name = DecodeName(r.identifier.data(), r.identifier.size(), joliet);
  if (!r.Directory()) {
    e.info.name = DropVersion(std::move(e.info.name));
    e.info.size = r.dataLength;
    if (r.dataLength > 0) e.info.lba = r.extent;
  }
  if (m_Names.decoder && m_Names.set == NameSet::RockRidge) m_Names.decoder->Decode(r, e, faults, m_Source);
  return e;
}

void DirectoryReader::AddRecord(const DirectoryRecord& r, Listing& out, bool& inMulti) {
  // A file of 4 GiB or more is recorded as several records of one name, all
  // but the last flagged; their extents follow each other in the file.
  if (inMulti && m_Policy.joinExtents && !out.entries.empty() && !r.Directory()) {
    Entry& e = out.entries.back();
    if (e.extents.size() < kMostExtentsPerFile) {
      e.extents.push_back(Extent{r.extent, r.dataLength});
      if (e.compression != Compression::Zisofs) e.info.size += r.dataLength;  // else the ZF size stays
    }
    inMulti = r.MultiExtent();
    return;
  }
  Entry e = MakeEntry(r, out.faults);
  inMulti = !e.Directory() && r.MultiExtent();
  out.entries.push_back(std::move(e));
}

bool DirectoryReader::WalkSector(const Sector& s, std::uint32_t lba, int& skip, Listing& out, bool& inMulti) {
  std::size_t pos = s.start;
  const std::size_t end = s.start + s.size;
  while (pos < end) {
    DirectoryRecord r;
    const std::span<const std::uint8_t> rest(s.bytes + pos, end - pos);
    const RecordStatus st = ParseRecord(rest, r);
    // Records never cross a sector: a length byte of 0 pads to its end.
    if (st == RecordStatus::End) return true;
    if (st == RecordStatus::TooShort || st == RecordStatus::PastEnd) {
      out.faults.push_back(
          {st == RecordStatus::TooShort ? Fault::RecordTooShort : Fault::RecordPastEnd, lba, {}, {}, {}});
      return false;
    }
    pos += r.length;
    if (skip > 0) {
      // Its own record and its parent's; the first one's System Use field
      // tells whether the volume carries Rock Ridge.
      if (skip == 2) out.selfSystemUse.assign(r.systemUse.begin(), r.systemUse.end());
      --skip;
      continue;
    }
    AddRecord(r, out, inMulti);
    if (st == RecordStatus::NamePastRecord) out.faults.push_back({Fault::NamePastRecord, lba, out.entries.back().info.name, {}, {}});
  }
  return true;
}

std::optional<Entry> DirectoryReader::ReadSelf(std::uint32_t lba) {
  Sector s;
  bool raw = m_Policy.order == ReadOrder::RawFirst;
  if (!ReadEither(lba, raw, s)) return std::nullopt;
  DirectoryRecord r;
  const RecordStatus st = ParseRecord({s.bytes + s.start, s.size}, r);
  if (st != RecordStatus::Ok && st != RecordStatus::NamePastRecord) return std::nullopt;
  std::vector<FaultAt> ignored;
  return MakeEntry(r, ignored);
}

Listing DirectoryReader::Read(std::uint32_t lba, std::uint32_t size) {
  Listing out;
  if (m_nSectorsRead >= m_nBudget) {
    out.faults.push_back({Fault::TooManySectors, lba, {}, {}, {}});
    return out;
  }
  Sector s;
  bool raw = m_Policy.order == ReadOrder::RawFirst;
  if (!ReadEither(lba, raw, s)) {
    out.unreadable = 1;
    out.faults.push_back({Fault::UnreadableSector, lba, {}, {}, {}});
    return out;
  }
  out.read = true;
  const std::uint64_t P = s.size;
  const std::uint64_t D = size ? size : OwnSize({s.bytes + s.start, s.size}, lba, P);
  const std::uint64_t wanted = std::max<std::uint64_t>(1, (D + P - 1) / P);
  if (wanted > kMostDirectorySectors) out.faults.push_back({Fault::DirectoryTooLarge, lba, {}, {}, {}});
  const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, kMostDirectorySectors));

  int skip = 2;
  bool inMulti = false;
  for (std::uint32_t k = 0; k < n; ++k) {
    if (k > 0) {
      if (lba + k < lba) break;  // no sector past the last address
      if (m_nSectorsRead >= m_nBudget) {
        out.faults.push_back({Fault::TooManySectors, lba, {}, {}, {}});
        break;
      }
      if (!ReadEither(lba + k, raw, s)) {
        // A length that runs past the medium is damage of its own, not
        // thousands of unreadable sectors.
        if (const auto last = m_Source.LastSector(lba); last && lba + k > *last) {
          out.faults.push_back({Fault::PastMedium, lba, {}, {}, {}});
          break;
        }
        ++out.unreadable;
        out.faults.push_back({Fault::UnreadableSector, lba + k, {}, {}, {}});
        continue;
      }
      // Every sector of a directory starts with a record: one that starts
      // with padding is past the records, whatever the length says.
      if (s.bytes[s.start] == 0) break;
    }
    if (!WalkSector(s, lba + k, skip, out, inMulti)) break;
  }
  return out;
}

}  // namespace fs::iso9660
