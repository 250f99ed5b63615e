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
    auto fail = [&](const std::string& why) {
      error = path + ": " + why;
      return false;
    };
    auto f = OpenImageFile(path, error);
    if (!f) return false;
    if (f->Size() > kMaxDescriptorBytes) return fail("too large for an Alcohol descriptor");
    std::vector<std::uint8_t> d(static_cast<std::size_t>(f->Size()));
    if (f->ReadAt(0, d.data(), d.size()) != d.size()) return fail("cannot be read");
    if (d.size() < kHeader || std::memcmp(d.data(), "MEDIA DESCRIPTOR", 16)) return fail("has no MEDIA DESCRIPTOR header");
    if (d[16] != 1) return fail("is version " + std::to_string(d[16]) + "." + std::to_string(d[17]) + "; only version 1 is read");
    // Every block must lie inside the descriptor.
    auto inside = [&](std::uint64_t at, std::uint64_t len) { return at <= d.size() && len <= d.size() - at; };
    const unsigned medium = GetLE16(&d[18]);
    const unsigned sessions = GetLE16(&d[20]);
    const std::uint32_t sessionsAt = GetLE32(&d[80]);
    if (sessions == 0 || sessions > 99) return fail("counts " + std::to_string(sessions) + " sessions");
    if (!inside(sessionsAt, std::uint64_t(sessions) * kSession)) return fail("its session blocks lie past its end");

    switch (medium) {
      case 0x00: layout.profile = 0x08; break;
      case 0x01: layout.profile = 0x09; break;
      case 0x02: layout.profile = 0x0A; break;
      case 0x10: case 0x11: case 0x12: case 0x13: case 0x14: layout.profile = 0x10; break;
      default: return fail("has the unknown medium type " + std::to_string(medium));
    }
    layout.format = "MDS";
    layout.discStatus = 2;
    std::map<std::string, std::shared_ptr<ImageFile>> files;
    for (unsigned s = 0; s < sessions; ++s) {
      const std::uint8_t* sb = &d[sessionsAt + s * kSession];
      SessionLayout sl;
      sl.number = GetLE16(sb + 8);
      if (sl.number != static_cast<int>(s) + 1) return fail("its sessions are not numbered 1, 2, 3 ...");
      sl.leadOut = static_cast<std::int32_t>(GetLE32(sb + 4));
      const unsigned count = sb[10];
      const std::uint32_t entriesAt = GetLE32(sb + 20);
      if (!inside(entriesAt, std::uint64_t(count) * kEntry)) return fail("the entries of session " + std::to_string(sl.number) + " lie past its end");
      for (unsigned k = 0; k < count; ++k) {
        const std::uint8_t* e = &d[entriesAt + k * kEntry];
        const int point = e[4];
        if (point == 0xA0) sl.discType = e[10];
        if (point < 1 || point > 99) continue;
        TrackLayout t;
        t.number = point;
        t.session = sl.number;
        t.control = e[2] & 0x0F;
        // 0xA9 ... 0xAD, or 0xE9 ... 0xED as some versions write them; 0x02 a DVD's data.
        const int mode = e[0] == 0x02 ? 0x0A : e[0] & 0x0F;
        if (e[0] != 0x02 && (e[0] >> 4) != 0x0A && (e[0] >> 4) != 0x0E)
          return fail("track " + std::to_string(point) + " has the unknown mode 0x" + Hex(e[0]));
        switch (mode) {
          case 0x09: t.mode = TrackMode::Audio; break;
          case 0x0A: t.mode = TrackMode::Mode1; break;
          case 0x0B: t.mode = TrackMode::Mode2Formless; break;
          case 0x0C: case 0x0D: t.mode = TrackMode::Mode2Xa; break;
          default: return fail("track " + std::to_string(point) + " has the unknown mode 0x" + Hex(e[0]));
        }
        if (e[0] != 0x02 && (t.mode == TrackMode::Audio) != !(t.control & 0x04))
          return fail("track " + std::to_string(point) + " has a mode its control bits contradict");
        const unsigned sectorSize = GetLE16(e + 16);
        const bool sub = e[1] == 0x08;
        if (e[1] != 0 && !sub) return fail("track " + std::to_string(point) + " has the unknown sub-channel kind " + std::to_string(e[1]));
        auto storage = StorageFor(t.mode, sub ? sectorSize - 96 : sectorSize);
        if (!storage || (sub && sectorSize != 2448))
          return fail("track " + std::to_string(point) + " stores " + std::to_string(sectorSize) + "-byte sectors, which its mode cannot");
        storage->stride = sectorSize;
        storage->subchannel = sub;
        t.start = static_cast<std::int32_t>(GetLE32(e + 36));
        const std::uint64_t offset = GetLE64(e + 40);
        const std::uint32_t extraAt = GetLE32(e + 12);
        std::uint32_t pregap = 0, length = 0;
        if (e[0] == 0x02) {
          length = extraAt;  // a DVD's track has no extra block: the field holds its length
        } else if (extraAt) {
          if (!inside(extraAt, kExtra)) return fail("the extra block of track " + std::to_string(point) + " lies past its end");
          pregap = GetLE32(&d[extraAt]);
          length = GetLE32(&d[extraAt + 4]);
        }
        if (pregap > 450000 || length > 450000 || t.start < -150 || t.start > kMaxStart)
          return fail("track " + std::to_string(point) + " has an impossible position or length");
        t.pregapStart = t.start - static_cast<std::int32_t>(pregap);
        t.length = length;
        // The data file: the footer names it ("*.mdf": the descriptor's own name).
        const std::uint32_t nfiles = GetLE32(e + 48), footerAt = GetLE32(e + 52);
        if (nfiles != 1) return fail("track " + std::to_string(point) + " is spread over " + std::to_string(nfiles) + " files");
        if (!inside(footerAt, kFooter)) return fail("the file footer of track " + std::to_string(point) + " lies past its end");
        std::string name;
        if (!FileName(d, GetLE32(&d[footerAt]), d[footerAt + 4] != 0, name))
          return fail("the data file name of track " + std::to_string(point) + " is damaged");
        if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "..")
          return fail("names an unusable data file \"" + name + "\"");
        fs::path dataPath = fs::path(path).parent_path() / name;
        if (name.size() > 1 && name[0] == '*' && name[1] == '.') dataPath = fs::path(path).replace_extension(name.substr(1));
        auto& file = files[dataPath.string()];
        if (!file) {
          std::error_code ec;
          if (!fs::is_regular_file(dataPath, ec)) return fail("its data file " + dataPath.filename().string() + " is missing");
          file = OpenImageFile(dataPath.string(), error);
          if (!file) return false;
        }
        // The offset is the track start's; a pregap the file keeps lies just before it.
        if (length == 0) return fail("track " + std::to_string(point) + " holds no sectors");
        const std::int32_t first = std::max(t.pregapStart, std::min(t.start, 0));
        const std::uint64_t before = std::uint64_t(t.start - first) * sectorSize;
        const bool pregapStored = t.start > first && offset >= before;
        if (t.start > t.pregapStart) {
          if (pregapStored) {
            if (first > t.pregapStart)
              t.extents.push_back(UnstoredRun(t.pregapStart, static_cast<std::uint32_t>(first - t.pregapStart), t.mode));
            t.extents.push_back(StoredRun(first, static_cast<std::uint32_t>(t.start - first), file, offset - before, *storage));
          } else {
            t.extents.push_back(UnstoredRun(t.pregapStart, pregap, t.mode));
          }
        }
        t.extents.push_back(StoredRun(t.start, length, file, offset, *storage));
        RefineMode2(t);
        layout.tracks.push_back(std::move(t));
      }
      layout.sessions.push_back(sl);
    }
    std::sort(layout.tracks.begin(), layout.tracks.end(), [](const TrackLayout& a, const TrackLayout& b) { return a.number < b.number; });
    return CheckLayout(layout, path, error);
  }

 private:
  static std::string Hex(unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(v >> 4) & 15], digits[v & 15]};
  }

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

  // A NUL-terminated name at offset, 8-bit or UTF-16LE (ASCII kept, the rest refused).
  static bool FileName(const std::vector<std::uint8_t>& d, std::uint32_t at, bool wide, std::string& name) {
    const std::size_t unit = wide ? 2 : 1;
    for (std::size_t i = at; i + unit <= d.size(); i += unit) {
      const unsigned c = wide ? GetLE16(&d[i]) : d[i];
      if (c == 0) return true;
      if (c < 0x20 || c > 0x7E || name.size() == kMaxName) return false;
      name += static_cast<char>(c);
    }
    return false;
  }
};

}  // namespace

const ImageReader& MdsReader() {
  static const MdsImageReader reader;
  return reader;
}

}  // namespace orvane
