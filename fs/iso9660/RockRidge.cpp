#include "fs/iso9660/RockRidge.h"

#include <algorithm>
#include <array>

#include "disc/ByteOrder.h"
#include "disc/TextCodec.h"

namespace fs::iso9660 {

namespace {

// Offsets below are into an entry's body, the bytes after its 4-byte header.
// PX: 0 mode, 8 links, 16 uid, 24 gid, 32 serial (each both-endian, 8 bytes).
constexpr std::size_t kPxBody = 32, kPxSerialBody = 40;
// PN: 0 device high, 8 device low.  CL, PL: 0 the directory's block.
constexpr std::size_t kPnBody = 16, kLinkBody = 8;
// ZF: 0 algorithm (2), 2 header size / 4, 3 log2 block size, 4 uncompressed size (8).
constexpr std::size_t kZfBody = 12;
// NM: 0 flags, 1 name.  SL: 0 flags, 1 components (flags, length, bytes).
constexpr std::uint8_t kNmContinue = 0x01, kNmCurrent = 0x02, kNmParent = 0x04;
constexpr std::uint8_t kSlContinue = 0x01, kSlCurrent = 0x02, kSlParent = 0x04, kSlRoot = 0x08, kSlVolRoot = 0x10;
// TF: 0 flags, then each time the flags name, 7 or 17 bytes.
constexpr std::uint8_t kTfLongForm = 0x80;

constexpr std::uint32_t kTypeMask = 0170000, kSocket = 0140000, kLink = 0120000, kBlock = 060000, kChar = 020000,
                        kFifo = 010000;

// Everything the entries of one record build before it is applied.
struct Collected {
  std::string name;
  bool nameOpen = false;  // the last NM said CONTINUE
  bool nameBad = false;
  bool sawName = false;
  std::string link;
  bool linkOpen = false;       // the last SL said CONTINUE
  bool componentOpen = false;  // the last component said CONTINUE
  bool linkBad = false;
  bool sawLink = false;
  std::optional<std::uint32_t> mode;
  std::optional<std::uint64_t> device;
};

void Fault(RockRidgeInfo& info, RockRidgeFault f) {
  if (std::find(info.faults.begin(), info.faults.end(), f) == info.faults.end()) info.faults.push_back(f);
}

void ReadNm(std::span<const std::uint8_t> b, Collected& c, RockRidgeInfo& info) {
  if (b.empty()) return Fault(info, RockRidgeFault::BadEntry);
  const std::uint8_t flags = b[0];
  c.nameOpen = flags & kNmContinue;
  if (flags & kNmCurrent) info.nameCurrent = true;
  if (flags & kNmParent) info.nameParent = true;
  if (flags & (kNmCurrent | kNmParent)) return;
  c.sawName = true;
  if (c.name.size() + b.size() - 1 > kMaxRockRidgeName) {
    c.nameBad = true;
    return Fault(info, RockRidgeFault::NameTooLong);
  }
  c.name.append(reinterpret_cast<const char*>(b.data()) + 1, b.size() - 1);
}

// One SL component's text: ".", "..", "/" or its bytes.
bool ComponentText(std::uint8_t flags, std::span<const std::uint8_t> bytes, std::string& out) {
  const int special = !!(flags & kSlCurrent) + !!(flags & kSlParent) + !!(flags & (kSlRoot | kSlVolRoot));
  if (special > 1) return false;
  if (flags & kSlCurrent) out = ".";
  else if (flags & kSlParent) out = "..";
  else if (flags & (kSlRoot | kSlVolRoot)) out = "/";
  else out.assign(bytes.begin(), bytes.end());
  return out.find('\0') == std::string::npos;
}

void AppendComponent(Collected& c, bool root, const std::string& text) {
  // A separator goes between whole components, never after a root "/".
  const bool join = c.componentOpen || c.link.empty() || c.link.back() == '/';
  if (!join) c.link += '/';
  if (root && !c.link.empty() && c.link.back() == '/') return;
  c.link += text;
}

void ReadSl(std::span<const std::uint8_t> b, Collected& c, RockRidgeInfo& info) {
  if (b.empty()) return Fault(info, RockRidgeFault::BadEntry);
  c.sawLink = true;
  c.linkOpen = b[0] & kSlContinue;
  std::size_t at = 1;
  std::string text;
  while (at < b.size()) {
    if (b.size() - at < 2 || b[at + 1] > b.size() - at - 2) {
      c.linkBad = true;
      return Fault(info, RockRidgeFault::LinkLongerThanRecord);
    }
    const std::uint8_t flags = b[at];
    const auto bytes = b.subspan(at + 2, b[at + 1]);
    at += 2 + bytes.size();
    if (!ComponentText(flags, bytes, text)) {
      c.linkBad = true;
      return Fault(info, RockRidgeFault::LinkInvalid);
    }
    AppendComponent(c, flags & (kSlRoot | kSlVolRoot), text);
    c.componentOpen = flags & kSlContinue;
    if (c.link.size() > kMaxLinkTarget) {
      c.linkBad = true;
      return Fault(info, RockRidgeFault::LinkTooLong);
    }
  }
}

void ReadPx(std::span<const std::uint8_t> b, Collected& c, RockRidgeInfo& info) {
  if (b.size() < kPxBody) return Fault(info, RockRidgeFault::BadEntry);
  c.mode = GetLE32(b.data());
  info.links = GetLE32(b.data() + 8);
  info.uid = GetLE32(b.data() + 16);
  info.gid = GetLE32(b.data() + 24);
  if (b.size() >= kPxSerialBody) info.serial = GetLE32(b.data() + 32);
}

void ReadTf(std::span<const std::uint8_t> b, RockRidgeInfo& info) {
  if (b.empty()) return Fault(info, RockRidgeFault::BadEntry);
  const std::uint8_t flags = b[0];
  const std::size_t width = (flags & kTfLongForm) ? 17 : 7;
  std::array<std::optional<std::int64_t>*, 7> slots{&info.times.creation, &info.times.modify,  &info.times.access,
                                                    &info.times.attributes, &info.times.backup,
                                                    &info.times.expiration, &info.times.effective};
  std::size_t at = 1;
  for (unsigned bit = 0; bit < slots.size(); ++bit) {
    if (!(flags & (1u << bit))) continue;
    if (b.size() - at < width) return Fault(info, RockRidgeFault::BadEntry);
    const auto t = b.subspan(at, width);
    *slots[bit] = width == 17 ? DecodeLongTime(t.first<17>()) : DecodeShortTime(t.first<7>());
    at += width;
  }
}

void ReadZf(const SuspEntry& e, RockRidgeInfo& info) {
  if (e.Is("Z2")) {
    info.zisofsUnread = true;
    return;
  }
  if (e.body.size() < kZfBody) return Fault(info, RockRidgeFault::BadEntry);
  ZisofsParams z;
  z.algorithm[0] = char(e.body[0]);
  z.algorithm[1] = char(e.body[1]);
  z.headerSizeDiv4 = e.body[2];
  z.blockSizeLog2 = e.body[3];
  z.uncompressedSize = GetLE32(e.body.data() + 4);
  info.zisofs = z;
  if (!z.Readable()) info.zisofsUnread = true;
}

std::optional<std::uint32_t> BlockOf(std::span<const std::uint8_t> b, RockRidgeInfo& info) {
  if (b.size() < kLinkBody) {
    Fault(info, RockRidgeFault::BadEntry);
    return std::nullopt;
  }
  return GetLE32(b.data());
}

void ReadEntry(const SuspEntry& e, Collected& c, RockRidgeInfo& info) {
  static constexpr std::array<const char*, 11> kRrip{"NM", "SL", "PX", "TF", "PN", "CL", "PL", "RE", "ZF", "Z2", "RR"};
  if (std::none_of(kRrip.begin(), kRrip.end(), [&](const char* s) { return e.Is(s); })) return;
  info.any = true;
  if (e.Is("NM")) ReadNm(e.body, c, info);
  else if (e.Is("SL")) ReadSl(e.body, c, info);
  else if (e.Is("PX")) ReadPx(e.body, c, info);
  else if (e.Is("TF")) ReadTf(e.body, info);
  else if (e.Is("PN") && e.body.size() >= kPnBody)
    c.device = (std::uint64_t(GetLE32(e.body.data())) << 32) | GetLE32(e.body.data() + 8);
  else if (e.Is("PN")) Fault(info, RockRidgeFault::BadEntry);
  else if (e.Is("CL")) info.childLink = BlockOf(e.body, info);
  else if (e.Is("PL")) info.parentLink = BlockOf(e.body, info);
  else if (e.Is("RE")) info.relocated = true;
  else if (e.Is("ZF") || e.Is("Z2")) ReadZf(e, info);
}

RockRidgeFault FromSusp(const SuspFaultAt& f) {
  switch (f.fault) {
    case SuspFault::EntryTooShort: return RockRidgeFault::EntryTooShort;
    case SuspFault::EntryPastArea:
      if (f.sig[0] == 'N' && f.sig[1] == 'M') return RockRidgeFault::NameLongerThanRecord;
      if (f.sig[0] == 'S' && f.sig[1] == 'L') return RockRidgeFault::LinkLongerThanRecord;
      return RockRidgeFault::EntryPastArea;
    case SuspFault::ContinuationLoop: return RockRidgeFault::ContinuationLoop;
    case SuspFault::ContinuationPastMedium: return RockRidgeFault::ContinuationPastMedium;
    case SuspFault::ContinuationUnreadable: return RockRidgeFault::ContinuationUnreadable;
    case SuspFault::TooManyContinuations: return RockRidgeFault::TooManyContinuations;
    case SuspFault::ContinuationTooLong: return RockRidgeFault::ContinuationTooLong;
  }
  return RockRidgeFault::EntryPastArea;
}

bool IsDotRecord(const std::string& name) {
  return name == "." || name == ".." || name == std::string(1, '\0') || name == std::string(1, '\1');
}

void ApplyName(Collected& c, NodeInfo& node, RockRidgeInfo& info) {
  if (!c.sawName || c.nameBad) return;
  if (c.nameOpen) return Fault(info, RockRidgeFault::NameUnfinished);
  if (c.name.empty() || c.name == "." || c.name == ".." || c.name.find_first_of(std::string("/\0", 2)) != std::string::npos)
    return Fault(info, RockRidgeFault::NameInvalid);
  if (!IsDotRecord(node.name)) node.name = Utf8OrLatin1(c.name);
}

NodeType TypeOfMode(std::uint32_t mode, NodeType recorded) {
  switch (mode & kTypeMask) {
    case kSocket: return NodeType::Socket;
    case kLink: return NodeType::Link;
    case kBlock: return NodeType::BlockDevice;
    case kChar: return NodeType::CharDevice;
    case kFifo: return NodeType::Fifo;
    default: return recorded;  // a folder or file is what the record says it is
  }
}

void Apply(Collected& c, NodeInfo& node, RockRidgeInfo& info) {
  ApplyName(c, node, info);
  const bool folder = node.type == NodeType::Folder;
  if (c.mode) {
    node.mode = *c.mode & 07777;
    if (!folder) node.type = TypeOfMode(*c.mode, node.type);
  }
  if (c.sawLink && !c.linkBad) {
    if (c.linkOpen || c.componentOpen) Fault(info, RockRidgeFault::LinkUnfinished);
    else if (folder) Fault(info, RockRidgeFault::LinkInvalid);
    else {
      node.linkTarget = c.link;
      node.type = NodeType::Link;
    }
  }
  if (c.device && (node.type == NodeType::BlockDevice || node.type == NodeType::CharDevice)) node.device = c.device;
  if (info.times.modify) node.mtime = info.times.modify;
  if (info.zisofs && info.zisofs->Readable() && node.type == NodeType::File) node.size = info.zisofs->uncompressedSize;
  if (node.type != NodeType::File && node.type != NodeType::Folder) node.size = 0;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<std::int64_t> ToUtc(std::int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                  unsigned second, std::int8_t offset) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  // Offsets beyond +-13 hours are damage; the local time then stands as UTC.
  const std::int64_t zone = (offset >= -52 && offset <= 52) ? std::int64_t(offset) * 15 * 60 : 0;
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - zone;
}

}  // namespace

const char* RockRidgeFaultText(RockRidgeFault f) {
  switch (f) {
    case RockRidgeFault::EntryTooShort: return "Rock Ridge entry shorter than its header";
    case RockRidgeFault::EntryPastArea: return "Rock Ridge entry longer than its area";
    case RockRidgeFault::NameLongerThanRecord: return "NM entry longer than its record";
    case RockRidgeFault::LinkLongerThanRecord: return "SL entry longer than its record";
    case RockRidgeFault::NameTooLong: return "Rock Ridge name too long";
    case RockRidgeFault::LinkTooLong: return "link target too long";
    case RockRidgeFault::NameInvalid: return "Rock Ridge name not usable";
    case RockRidgeFault::LinkInvalid: return "link target not usable";
    case RockRidgeFault::NameUnfinished: return "Rock Ridge name unfinished";
    case RockRidgeFault::LinkUnfinished: return "link target unfinished";
    case RockRidgeFault::BadEntry: return "Rock Ridge entry shorter than its fields";
    case RockRidgeFault::ContinuationLoop: return "continuation area loop";
    case RockRidgeFault::ContinuationPastMedium: return "continuation area past the medium";
    case RockRidgeFault::ContinuationUnreadable: return "continuation area unreadable";
    case RockRidgeFault::TooManyContinuations: return "too many continuation areas";
    case RockRidgeFault::ContinuationTooLong: return "continuation areas too long";
  }
  return "Rock Ridge damage";
}

void ReadRockRidge(std::span<const std::uint8_t> systemUse, std::uint32_t skip, SectorSource* source, NodeInfo& node,
                   RockRidgeInfo& info) {
  Collected c;
  const SuspWalkResult walk = WalkSusp(systemUse, skip, source, [&](const SuspEntry& e) { ReadEntry(e, c, info); });
  for (const SuspFaultAt& f : walk.faults) {
    const RockRidgeFault rf = FromSusp(f);
    if (rf == RockRidgeFault::NameLongerThanRecord) c.nameBad = true;
    if (rf == RockRidgeFault::LinkLongerThanRecord) c.linkBad = true;
    // A name or link cut short by a broken chain is not the recorded one.
    if (f.fault != SuspFault::EntryPastArea && f.fault != SuspFault::EntryTooShort) {
      if (c.nameOpen) c.nameBad = true;
      if (c.linkOpen || c.componentOpen) c.linkBad = true;
    }
    Fault(info, rf);
  }
  Apply(c, node, info);
}

std::optional<std::int64_t> DecodeShortTime(std::span<const std::uint8_t, 7> t) {
  if (std::all_of(t.begin(), t.end(), [](std::uint8_t b) { return b == 0; })) return std::nullopt;
  return ToUtc(1900 + t[0], t[1], t[2], t[3], t[4], t[5], static_cast<std::int8_t>(t[6]));
}

std::optional<std::int64_t> DecodeLongTime(std::span<const std::uint8_t, 17> t) {
  unsigned v[7] = {};
  const unsigned widths[7] = {4, 2, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  for (int i = 0; i < 7; ++i) {
    for (unsigned k = 0; k < widths[i]; ++k, ++at) {
      if (t[at] < '0' || t[at] > '9') return std::nullopt;
      v[i] = v[i] * 10 + (t[at] - '0');
    }
  }
  if (v[0] == 0) return std::nullopt;  // "0000..." means not specified
  return ToUtc(v[0], v[1], v[2], v[3], v[4], v[5], static_cast<std::int8_t>(t[16]));
}

}  // namespace fs::iso9660
