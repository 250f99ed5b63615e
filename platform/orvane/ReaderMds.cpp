// Alcohol 120% images, version 1: NAME.mds describes the disc, NAME.mdf (or
// the file its footer names) holds the sectors. All numbers little-endian.
//
//   header (88 bytes)   0 "MEDIA DESCRIPTOR", 16 version (1.x), 18 medium
//                       type, 20 sessions, 80 offset of the session blocks
//   session (24 bytes)  0 start LBA, 4 end LBA (its lead-out), 8 number,
//                       10 entries, 11 of them not tracks (A0, A1, A2 ...),
//                       12 first track, 14 last track, 20 offset of its entries
//   entry (80 bytes)    0 mode (0xA9 audio, 0xAA Mode 1, 0xAB Mode 2, 0xAC/0xAD
//                       Form 1/2, the same with 0xE high; 0x02 DVD data), 1 sub-channel (8: 96 bytes interleaved after
//                       each sector), 2 ADR/control, 4 point, 9 M:S:F, 12
//                       offset of the extra block, 16 sector size, 36 start
//                       LBA, 40 offset in the data file (64-bit), 48 file
//                       count, 52 offset of the file footer
//   extra (8 bytes)     0 pregap sectors, 4 sectors from the track's start
//   footer (16 bytes)   0 offset of the file name, 4 UTF-16 flag
//
// A track's offset is that of its start (index 01); its pregap lies in the
// data file just before, except where the pregap lies before LBA 0 (the first
// track's 150 sectors), which no image keeps. A DVD's track (mode 0x02) has no
// extra block: the field that would point to it holds the track's length.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "disc/ByteOrder.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kHeader = 88, kSession = 24, kEntry = 80, kExtra = 8, kFooter = 16;
constexpr std::uint64_t kMaxDescriptorBytes = 4u << 20;  // real descriptors are a few KiB (DVD ones hold structures)
constexpr std::size_t kMaxName = 1024;
constexpr std::int64_t kMaxStart = std::int64_t(1) << 30;  // past any disc, DVD and BD included

std::string Hex(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[(v >> 4) & 15], digits[v & 15]};
}

// What the descriptor says of a track: its entry, extra block and file footer.
struct MdsTrack {
  int number = 0, session = 0;
  TrackMode mode = TrackMode::Mode1;
  std::uint8_t control = 0;
  SectorStorage storage;
  std::int32_t start = 0;
  std::uint64_t offset = 0;  // of the track's start (index 01) in its data file
  std::uint32_t pregap = 0, length = 0;
  std::string fileName;  // "*.mdf": the descriptor's own name with that extension
};

struct MdsDescriptor {
  int profile = 0x08;
  std::vector<SessionLayout> sessions;
  std::vector<MdsTrack> tracks;
};

// A NUL-terminated name at offset, 8-bit or UTF-16LE (ASCII kept, the rest refused).
bool FileName(const std::vector<std::uint8_t>& d, std::uint32_t at, bool wide, std::string& name) {
  const std::size_t unit = wide ? 2 : 1;
  for (std::size_t i = at; i + unit <= d.size(); i += unit) {
    const unsigned c = wide ? GetLE16(&d[i]) : d[i];
    if (c == 0) return true;
    if (c < 0x20 || c > 0x7E || name.size() == kMaxName) return false;
    name += static_cast<char>(c);
  }
  return false;
}

// Every block must lie inside the descriptor.
bool Inside(const std::vector<std::uint8_t>& d, std::uint64_t at, std::uint64_t len) {
  return at <= d.size() && len <= d.size() - at;
}

// The entry's mode byte and sub-channel kind: how its sectors are stored.
bool ParseStorage(const std::uint8_t* e, MdsTrack& t, std::string& why) {
  const std::string name = "track " + std::to_string(t.number);
  // 0xA9 ... 0xAD, or 0xE9 ... 0xED as some versions write them; 0x02 a DVD's data.
  const int mode = e[0] == 0x02 ? 0x0A : e[0] & 0x0F;
  if (e[0] != 0x02 && (e[0] >> 4) != 0x0A && (e[0] >> 4) != 0x0E)
    return Fail(why, name + " has the unknown mode 0x" + Hex(e[0]));
  switch (mode) {
    case 0x09: t.mode = TrackMode::Audio; break;
    case 0x0A: t.mode = TrackMode::Mode1; break;
    case 0x0B: t.mode = TrackMode::Mode2Formless; break;
    case 0x0C: case 0x0D: t.mode = TrackMode::Mode2Xa; break;
    default: return Fail(why, name + " has the unknown mode 0x" + Hex(e[0]));
  }
  if (e[0] != 0x02 && (t.mode == TrackMode::Audio) != !(t.control & 0x04))
    return Fail(why, name + " has a mode its control bits contradict");
  const unsigned sectorSize = GetLE16(e + 16);
  const bool sub = e[1] == 0x08;
  if (e[1] != 0 && !sub) return Fail(why, name + " has the unknown sub-channel kind " + std::to_string(e[1]));
  auto storage = StorageFor(t.mode, sub ? sectorSize - 96 : sectorSize);
  if (!storage || (sub && sectorSize != 2448))
    return Fail(why, name + " stores " + std::to_string(sectorSize) + "-byte sectors, which its mode cannot");
  storage->stride = sectorSize;
  storage->subchannel = sub;
  t.storage = *storage;
  return true;
}

// A track's entry (80 bytes at e) with its extra block and file footer.
bool ParseTrack(const std::vector<std::uint8_t>& d, const std::uint8_t* e, MdsTrack& t, std::string& why) {
  const std::string name = "track " + std::to_string(t.number);
  t.control = e[2] & 0x0F;
  if (!ParseStorage(e, t, why)) return false;
  t.start = static_cast<std::int32_t>(GetLE32(e + 36));
  t.offset = GetLE64(e + 40);
  const std::uint32_t extraAt = GetLE32(e + 12);
  if (e[0] == 0x02) {
    t.length = extraAt;  // a DVD's track has no extra block: the field holds its length
  } else if (extraAt) {
    if (!Inside(d, extraAt, kExtra)) return Fail(why, "the extra block of " + name + " lies past its end");
    t.pregap = GetLE32(&d[extraAt]);
    t.length = GetLE32(&d[extraAt + 4]);
  }
  if (t.pregap > 450000 || t.length > 450000 || t.start < -150 || t.start > kMaxStart)
    return Fail(why, name + " has an impossible position or length");
  const std::uint32_t nfiles = GetLE32(e + 48), footerAt = GetLE32(e + 52);
  if (nfiles != 1) return Fail(why, name + " is spread over " + std::to_string(nfiles) + " files");
  if (!Inside(d, footerAt, kFooter)) return Fail(why, "the file footer of " + name + " lies past its end");
  if (!FileName(d, GetLE32(&d[footerAt]), d[footerAt + 4] != 0, t.fileName))
    return Fail(why, "the data file name of " + name + " is damaged");
  const std::string& n = t.fileName;
  if (n.empty() || n.find('/') != std::string::npos || n.find('\\') != std::string::npos || n == "..")
    return Fail(why, "names an unusable data file \"" + n + "\"");
  return true;
}

// Session block s and the entries it lists.
bool ParseSession(const std::vector<std::uint8_t>& d, unsigned s, MdsDescriptor& md, std::string& why) {
  const std::uint8_t* sb = &d[GetLE32(&d[80]) + s * kSession];
  SessionLayout sl;
  sl.number = GetLE16(sb + 8);
  if (sl.number != static_cast<int>(s) + 1) return Fail(why, "its sessions are not numbered 1, 2, 3 ...");
  sl.leadOut = static_cast<std::int32_t>(GetLE32(sb + 4));
  const unsigned count = sb[10];
  const std::uint32_t entriesAt = GetLE32(sb + 20);
  if (!Inside(d, entriesAt, std::uint64_t(count) * kEntry))
    return Fail(why, "the entries of session " + std::to_string(sl.number) + " lie past its end");
  for (unsigned k = 0; k < count; ++k) {
    const std::uint8_t* e = &d[entriesAt + k * kEntry];
    const int point = e[4];
    if (point == 0xA0) sl.discType = e[10];
    if (point < 1 || point > 99) continue;
    MdsTrack t;
    t.number = point;
    t.session = sl.number;
    if (!ParseTrack(d, e, t, why)) return false;
    md.tracks.push_back(std::move(t));
  }
  md.sessions.push_back(sl);
  return true;
}

bool ParseDescriptor(const std::vector<std::uint8_t>& d, MdsDescriptor& md, std::string& why) {
  if (d.size() < kHeader || std::memcmp(d.data(), "MEDIA DESCRIPTOR", 16)) return Fail(why, "has no MEDIA DESCRIPTOR header");
  if (d[16] != 1)
    return Fail(why, "is version " + std::to_string(d[16]) + "." + std::to_string(d[17]) + "; only version 1 is read");
  const unsigned medium = GetLE16(&d[18]);
  const unsigned sessions = GetLE16(&d[20]);
  const std::uint32_t sessionsAt = GetLE32(&d[80]);
  if (sessions == 0 || sessions > 99) return Fail(why, "counts " + std::to_string(sessions) + " sessions");
  if (!Inside(d, sessionsAt, std::uint64_t(sessions) * kSession)) return Fail(why, "its session blocks lie past its end");
  switch (medium) {
    case 0x00: md.profile = 0x08; break;
    case 0x01: md.profile = 0x09; break;
    case 0x02: md.profile = 0x0A; break;
    case 0x10: case 0x11: case 0x12: case 0x13: case 0x14: md.profile = 0x10; break;
    default: return Fail(why, "has the unknown medium type " + std::to_string(medium));
  }
  for (unsigned s = 0; s < sessions; ++s)
    if (!ParseSession(d, s, md, why)) return false;
  return true;
}

// The track's runs: the offset is the track start's; a pregap the file keeps
// lies just before it, except before LBA 0, which no image keeps.
void StoreTrack(const MdsTrack& mt, const std::shared_ptr<ImageFile>& file, TrackLayout& t) {
  const std::int32_t first = std::max(t.pregapStart, std::min(t.start, 0));
  const std::uint64_t before = std::uint64_t(t.start - first) * mt.storage.stride;
  const bool pregapStored = t.start > first && mt.offset >= before;
  if (t.start > t.pregapStart) {
    if (pregapStored) {
      if (first > t.pregapStart)
        t.extents.push_back(UnstoredRun(t.pregapStart, static_cast<std::uint32_t>(first - t.pregapStart), t.mode));
      t.extents.push_back(
          StoredRun(first, static_cast<std::uint32_t>(t.start - first), file, mt.offset - before, mt.storage));
    } else {
      t.extents.push_back(UnstoredRun(t.pregapStart, mt.pregap, t.mode));
    }
  }
  t.extents.push_back(StoredRun(t.start, mt.length, file, mt.offset, mt.storage));
}

// Refusals name the descriptor, except a data file that cannot be opened, which says so itself.
bool LayOut(const MdsDescriptor& md, const std::string& path, DiscLayout& layout, std::string& why) {
  layout.format = "MDS";
  layout.profile = md.profile;
  layout.discStatus = 2;
  layout.sessions = md.sessions;
  std::map<std::string, std::shared_ptr<ImageFile>> files;
  for (const MdsTrack& mt : md.tracks) {
    fs::path dataPath = fs::path(path).parent_path() / mt.fileName;
    if (mt.fileName.size() > 1 && mt.fileName[0] == '*' && mt.fileName[1] == '.')
      dataPath = fs::path(path).replace_extension(mt.fileName.substr(1));
    auto& file = files[dataPath.string()];
    if (!file) {
      std::error_code ec;
      if (!fs::is_regular_file(dataPath, ec))
        return Fail(why, path + ": its data file " + dataPath.filename().string() + " is missing");
      file = OpenImageFile(dataPath.string(), why);
      if (!file) return false;
    }
    if (mt.length == 0) return Fail(why, path + ": track " + std::to_string(mt.number) + " holds no sectors");
    TrackLayout t;
    t.number = mt.number;
    t.session = mt.session;
    t.control = mt.control;
    t.mode = mt.mode;
    t.start = mt.start;
    t.pregapStart = t.start - static_cast<std::int32_t>(mt.pregap);
    t.length = mt.length;
    StoreTrack(mt, file, t);
    RefineMode2(t);
    layout.tracks.push_back(std::move(t));
  }
  std::sort(layout.tracks.begin(), layout.tracks.end(),
            [](const TrackLayout& a, const TrackLayout& b) { return a.number < b.number; });
  return true;
}

class MdsImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "MDS"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (head.size() >= 18 && !std::memcmp(head.data(), "MEDIA DESCRIPTOR", 16)) return 100;
    const std::string ext = LowerExtension(path);
    // The data file chosen instead of its descriptor beside it.
    if (ext == ".mdf" && !Descriptor(path).empty()) return 110;
    return ext == ".mds" ? 10 : 0;
  }

  bool Open(const std::string& given, DiscLayout& layout, std::string& error) const override {
    std::string path = given;
    if (LowerExtension(given) == ".mdf") {
      const std::string mds = Descriptor(given);
      if (!mds.empty()) path = mds;
    }
    auto f = OpenImageFile(path, error);
    if (!f) return false;
    if (f->Size() > kMaxDescriptorBytes) return Fail(error, path + ": too large for an Alcohol descriptor");
    std::vector<std::uint8_t> d(static_cast<std::size_t>(f->Size()));
    if (f->ReadAt(0, d.data(), d.size()) != d.size()) return Fail(error, path + ": cannot be read");
    MdsDescriptor md;
    std::string why;
    if (!ParseDescriptor(d, md, why)) return Fail(error, path + ": " + why);
    return LayOut(md, path, layout, error) && CheckLayout(layout, path, error);
  }

 private:
  // NAME.mds beside a data file, when it is one.
  static std::string Descriptor(const std::string& mdf) {
    std::error_code ec;
    for (const char* ext : {".mds", ".MDS"}) {
      fs::path p = fs::path(mdf).replace_extension(ext);
      if (!fs::is_regular_file(p, ec)) continue;
      std::string err;
      auto f = OpenImageFile(p.string(), err);
      char sig[16];
      if (f && f->ReadAt(0, sig, 16) == 16 && !std::memcmp(sig, "MEDIA DESCRIPTOR", 16)) return p.string();
    }
    return {};
  }

};

}  // namespace

const ImageReader& MdsReader() {
  static const MdsImageReader reader;
  return reader;
}

}  // namespace orvane
