// CloneCD images: NAME.ccd, an INI text holding the disc's full TOC entry by
// entry ([Entry n]: session, point, ADR, control and the P time), each
// track's mode and indexes ([TRACK n]) and the CD-TEXT packs ([CDText]);
// NAME.img, every sector from LBA 0 in 2352 raw bytes (sector n at n * 2352,
// the area between sessions included); and NAME.sub when present, 96 bytes of
// sub-channel a sector in the same order, each channel's 12 bytes in turn.
//
// The recorded TOC entries are what a drive answers to READ TOC format 2, so
// they are served as they stand; the tracks are laid out from them.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/orvane/CdSector.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxCcdBytes = 1u << 20;
constexpr int kMaxTocEntries = 1000;  // a disc of 99 tracks in 99 sessions holds fewer
constexpr int kMaxCdTextEntries = 8 * 256;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// Decimal (possibly negative) or 0x-prefixed hexadecimal, within range.
std::optional<long long> Number(const std::string& s, long long lo, long long hi) {
  if (s.empty() || s.size() > 12) return std::nullopt;
  long long v = 0;
  std::size_t i = 0;
  bool neg = false;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (s[0] == '-') {
    neg = true;
    i = 1;
  }
  if (i == s.size()) return std::nullopt;
  for (; i < s.size(); ++i) {
    const int c = std::tolower(static_cast<unsigned char>(s[i]));
    int d = std::isdigit(c) ? c - '0' : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v * base + d;
  }
  if (neg) v = -v;
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

using Section = std::map<std::string, std::string>;  // lower-case key -> value

// The sections of the control file in order of appearance, names lower-case.
bool ParseIni(const std::string& text, std::vector<std::pair<std::string, Section>>& out, std::string& why) {
  std::size_t pos = 0;
  int line = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::string l = Trim(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
    pos = nl == std::string::npos ? text.size() : nl + 1;
    ++line;
    if (l.empty() || l[0] == ';' || l[0] == '#') continue;
    if (l[0] == '[') {
      if (l.back() != ']') {
        why = "line " + std::to_string(line) + ": unclosed section name";
        return false;
      }
      out.emplace_back(Lower(Trim(l.substr(1, l.size() - 2))), Section{});
      if (out.size() > std::size_t(kMaxTocEntries) + 200) {
        why = "holds too many sections";
        return false;
      }
      continue;
    }
    std::size_t eq = l.find('=');
    if (eq == std::string::npos || out.empty()) {
      why = "line " + std::to_string(line) + ": neither a section nor key=value";
      return false;
    }
    out.back().second[Lower(Trim(l.substr(0, eq)))] = Trim(l.substr(eq + 1));
  }
  return true;
}

struct TocEntry {
  int session = 0, point = 0, adr = 0, control = 0, tno = 0;
  int amin = 0, asec = 0, aframe = 0, zero = 0, pmin = 0, psec = 0, pframe = 0;
  std::int32_t plba = 0;
};

bool LooksLikeCcd(const std::uint8_t* p, std::size_t n) {
  std::size_t i = 0;
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;  // a byte order mark
  while (i < n && std::isspace(p[i])) ++i;
  static const char kTag[] = "[clonecd]";
  for (std::size_t k = 0; k + 1 < sizeof kTag; ++k, ++i)
    if (i >= n || std::tolower(p[i]) != kTag[k]) return false;
  return true;
}

class CcdImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "CCD"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (LooksLikeCcd(head.data(), head.size())) return 100;
    const std::string ext = LowerExtension(path);
    // The data file itself, chosen instead of its control file: the control
    // file beside it says where the tracks lie (a raw reading would not).
    if (ext == ".img" || ext == ".sub") {
      fs::path ccd = Sibling(path, ".ccd");
      if (!ccd.empty()) {
        std::string err;
        auto f = OpenImageFile(ccd.string(), err);
        std::uint8_t h[64];
        if (f && LooksLikeCcd(h, f->ReadAt(0, h, sizeof h))) return 110;
      }
    }
    return ext == ".ccd" ? 10 : 0;
  }

  bool Open(const std::string& given, DiscLayout& layout, std::string& error) const override {
    std::string path = given;
    const std::string ext = LowerExtension(given);
    if (ext == ".img" || ext == ".sub") {
      fs::path ccd = Sibling(given, ".ccd");
      if (!ccd.empty()) path = ccd.string();
    }
    auto fail = [&](const std::string& why) {
      error = path + ": " + why;
      return false;
    };
    auto control = OpenImageFile(path, error);
    if (!control) return false;
    if (control->Size() > kMaxCcdBytes) return fail("too large for a CloneCD control file");
    std::string text(static_cast<std::size_t>(control->Size()), '\0');
    if (control->ReadAt(0, text.data(), text.size()) != text.size()) return fail("cannot be read");
    if (!LooksLikeCcd(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
      return fail("does not start with [CloneCD]");
    if (text.find('\0') != std::string::npos) return fail("holds binary data");
    std::vector<std::pair<std::string, Section>> sections;
    std::string why;
    if (!ParseIni(text, sections, why)) return fail(why);
    auto find = [&](const std::string& name) -> const Section* {
      for (const auto& [n, s] : sections)
        if (n == name) return &s;
      return nullptr;
    };
    auto get = [](const Section& s, const char* key) -> const std::string* {
      auto it = s.find(key);
      return it == s.end() ? nullptr : &it->second;
    };
    const Section* disc = find("disc");
    if (!disc) return fail("has no [Disc] section");
    if (const std::string* v = get(*disc, "datatracksscrambled"); v && *v != "0")
      return fail("its data tracks are stored scrambled, which is not supported");
    const std::string* te = get(*disc, "tocentries");
    auto entryCount = te ? Number(*te, 1, kMaxTocEntries) : std::nullopt;
    if (!entryCount) return fail("[Disc] needs TocEntries from 1 to " + std::to_string(kMaxTocEntries));
    const std::string* se = get(*disc, "sessions");
    auto sessionCount = se ? Number(*se, 1, 99) : std::nullopt;
    if (!sessionCount) return fail("[Disc] needs Sessions from 1 to 99");
    if (const std::string* cat = get(*disc, "catalog")) {
      if (!AllOf(*cat, 13, isdigit)) return fail("CATALOG must be 13 digits");
      layout.catalog = *cat;
    }

    // The full TOC, entry by entry.
    std::vector<TocEntry> entries;
    for (long long i = 0; i < *entryCount; ++i) {
      const std::string name = "entry " + std::to_string(i);
      const Section* s = find(name);
      if (!s) return fail("lacks [Entry " + std::to_string(i) + "]");
      TocEntry e;
      struct Field {
        const char* key;
        int* to;
        long long lo, hi;
        bool required;
      } fields[] = {{"session", &e.session, 1, 99, true}, {"point", &e.point, 0, 255, true},
                    {"adr", &e.adr, 0, 15, true},         {"control", &e.control, 0, 15, true},
                    {"trackno", &e.tno, 0, 255, false},   {"amin", &e.amin, 0, 255, false},
                    {"asec", &e.asec, 0, 255, false},     {"aframe", &e.aframe, 0, 255, false},
                    {"zero", &e.zero, 0, 255, false},     {"pmin", &e.pmin, 0, 255, true},
                    {"psec", &e.psec, 0, 255, true},      {"pframe", &e.pframe, 0, 255, true}};
      for (const Field& f : fields) {
        const std::string* v = get(*s, f.key);
        if (!v) {
          if (f.required) return fail("[Entry " + std::to_string(i) + "] lacks " + f.key);
          continue;
        }
        auto n = Number(*v, f.lo, f.hi);
        if (!n) return fail("[Entry " + std::to_string(i) + "] has a bad " + f.key + ": " + *v);
        *f.to = static_cast<int>(*n);
      }
      if (e.session > *sessionCount) return fail("[Entry " + std::to_string(i) + "] lies in a session past Sessions");
      const bool time = (e.point >= 1 && e.point <= 99) || e.point == 0xA2;
      if (time && (e.psec >= 60 || e.pframe >= 75 || e.pmin > 99))
        return fail("[Entry " + std::to_string(i) + "] has an impossible time");
      e.plba = (e.pmin * 60 + e.psec) * 75 + e.pframe - 150;
      entries.push_back(e);
    }
    for (const TocEntry& e : entries) {
      layout.rawFullToc.insert(layout.rawFullToc.end(),
                               {static_cast<std::uint8_t>(e.session), static_cast<std::uint8_t>(e.adr << 4 | e.control),
                                static_cast<std::uint8_t>(e.tno), static_cast<std::uint8_t>(e.point),
                                static_cast<std::uint8_t>(e.amin), static_cast<std::uint8_t>(e.asec),
                                static_cast<std::uint8_t>(e.aframe), static_cast<std::uint8_t>(e.zero),
                                static_cast<std::uint8_t>(e.pmin), static_cast<std::uint8_t>(e.psec),
                                static_cast<std::uint8_t>(e.pframe)});
    }

    // The data and sub-channel files beside the control file.
    fs::path imgPath = Sibling(path, ".img");
    if (imgPath.empty()) return fail("its data file " + fs::path(path).replace_extension(".img").filename().string() + " is missing");
    auto img = OpenImageFile(imgPath.string(), error);
    if (!img) return false;
    std::shared_ptr<ImageFile> sub;
    if (fs::path subPath = Sibling(path, ".sub"); !subPath.empty()) {
      sub = OpenImageFile(subPath.string(), error);
      if (!sub) return false;
    }

    layout.format = "CCD";
    layout.profile = 0x08;
    layout.discStatus = 2;
    for (long long s = 1; s <= *sessionCount; ++s) {
      SessionLayout sl;
      sl.number = static_cast<int>(s);
      bool leadOut = false;
      for (const TocEntry& e : entries) {
        if (e.session != s || e.adr != 1) continue;
        if (e.point == 0xA2) {
          sl.leadOut = e.plba;
          leadOut = true;
        } else if (e.point == 0xA0) {
          sl.discType = static_cast<std::uint8_t>(e.psec);
        }
      }
      if (!leadOut) return fail("session " + std::to_string(s) + " has no lead-out entry (point A2)");
      layout.sessions.push_back(sl);
    }
    std::vector<const TocEntry*> points;
    for (const TocEntry& e : entries)
      if (e.adr == 1 && e.point >= 1 && e.point <= 99) points.push_back(&e);
    std::sort(points.begin(), points.end(), [](const TocEntry* a, const TocEntry* b) { return a->point < b->point; });
    if (points.empty()) return fail("its TOC lists no tracks");
    for (std::size_t i = 0; i < points.size(); ++i) {
      const TocEntry& e = *points[i];
      TrackLayout t;
      t.number = e.point;
      t.session = e.session;
      t.control = static_cast<std::uint8_t>(e.control);
      t.start = t.pregapStart = e.plba;
      const bool data = (e.control & 0x04) != 0;
      t.mode = data ? TrackMode::Mode1 : TrackMode::Audio;
      if (const Section* ts = find("track " + std::to_string(e.point))) {
        if (const std::string* m = get(*ts, "mode")) {
          auto mode = Number(*m, 0, 2);
          if (!mode) return fail("[TRACK " + std::to_string(e.point) + "] has the unknown MODE " + *m);
          t.mode = *mode == 0 ? TrackMode::Audio : *mode == 1 ? TrackMode::Mode1 : TrackMode::Mode2Xa;
          if ((t.mode != TrackMode::Audio) != data)
            return fail("[TRACK " + std::to_string(e.point) + "] MODE disagrees with its TOC entry's control");
        }
        for (int ix = 0; ix <= 99; ++ix) {
          const std::string* v = get(*ts, ("index " + std::to_string(ix)).c_str());
          if (!v) continue;
          auto lba = Number(*v, -150, kMaxCdSectors);
          if (!lba) return fail("[TRACK " + std::to_string(e.point) + "] has a bad INDEX " + std::to_string(ix));
          if (ix == 0) {
            t.pregapStart = static_cast<std::int32_t>(*lba);
          } else if (ix == 1) {
            if (*lba != e.plba)
              return fail("[TRACK " + std::to_string(e.point) + "] INDEX 1 differs from its TOC entry");
          } else if (*lba > t.start) {
            t.furtherIndexes.push_back(static_cast<std::int32_t>(*lba));
          }
        }
      }
      layout.tracks.push_back(std::move(t));
    }
    // A track runs to the next one's pregap or to its session's lead-out.
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
      TrackLayout& t = layout.tracks[i];
      if (t.session < 1 || t.session > static_cast<int>(layout.sessions.size()))
        return fail("track " + std::to_string(t.number) + " lies in no session");
      std::int64_t end = layout.sessions[static_cast<std::size_t>(t.session - 1)].leadOut;
      if (i + 1 < layout.tracks.size() && layout.tracks[i + 1].session == t.session)
        end = layout.tracks[i + 1].pregapStart;
      if (end <= t.start) return fail("track " + std::to_string(t.number) + " holds no sectors");
      t.length = static_cast<std::uint32_t>(end - t.start);
      std::sort(t.furtherIndexes.begin(), t.furtherIndexes.end());
      // Sector n lies at n * 2352; the pregap of track 1 before LBA 0 is not kept.
      const std::int32_t first = std::max(t.pregapStart, 0);
      if (first > t.pregapStart) t.extents.push_back(UnstoredRun(t.pregapStart, static_cast<std::uint32_t>(first - t.pregapStart), t.mode));
      const std::uint32_t count = static_cast<std::uint32_t>(end - first);
      SectorStorage st = *StorageFor(t.mode, 2352);
      st.subchannelLinear = true;
      Extent x = StoredRun(first, count, img, std::uint64_t(first) * 2352, st);
      if (sub) {
        if (sub->Size() < (std::uint64_t(first) + count) * 96)
          return fail("its sub-channel file is shorter than its tracks (is it truncated?)");
        x.subFile = sub;
        x.subOffset = std::uint64_t(first) * 96;
      }
      t.extents.push_back(x);
      // A data track's sectors say by their header which mode they are.
      if (t.mode != TrackMode::Audio) {
        std::uint8_t h[16];
        if (img->ReadAt(std::uint64_t(std::max(t.start, 0)) * 2352, h, 16) == 16 && HasSync(h)) {
          if (h[15] == 1) t.mode = TrackMode::Mode1;
          else if (h[15] == 2) t.mode = TrackMode::Mode2Xa;
        }
        RefineMode2(t);
      }
    }

    // CD-TEXT: Entry n = the pack's bytes in hex, with or without its CRC.
    if (const Section* ct = find("cdtext")) {
      const std::string* n = get(*ct, "entries");
      auto count = n ? Number(*n, 0, kMaxCdTextEntries) : std::nullopt;
      if (!count) return fail("[CDText] needs Entries from 0 to " + std::to_string(kMaxCdTextEntries));
      for (long long i = 0; i < *count; ++i) {
        const std::string* v = get(*ct, ("entry " + std::to_string(i)).c_str());
        if (!v) return fail("[CDText] lacks Entry " + std::to_string(i));
        std::vector<std::uint8_t> pack;
        std::size_t at = 0;
        while (at < v->size()) {
          while (at < v->size() && (*v)[at] == ' ') ++at;
          if (at >= v->size()) break;
          std::size_t endTok = v->find(' ', at);
          auto b = Number("0x" + v->substr(at, endTok == std::string::npos ? std::string::npos : endTok - at), 0, 255);
          if (!b || pack.size() == kCdTextPackSize) return fail("[CDText] Entry " + std::to_string(i) + " is not a pack");
          pack.push_back(static_cast<std::uint8_t>(*b));
          at = endTok == std::string::npos ? v->size() : endTok;
        }
        if (pack.size() == 16) {
          pack.resize(18);
          const std::uint16_t crc = CdTextPackCrc(pack.data());
          pack[16] = static_cast<std::uint8_t>(crc >> 8);
          pack[17] = static_cast<std::uint8_t>(crc);
        }
        if (pack.size() != kCdTextPackSize) return fail("[CDText] Entry " + std::to_string(i) + " is not a pack");
        layout.cdTextPacks.insert(layout.cdTextPacks.end(), pack.begin(), pack.end());
      }
      if (!layout.cdTextPacks.empty())
        layout.cdText = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
    }
    return CheckLayout(layout, path, error);
  }
};

}  // namespace

const ImageReader& CcdReader() {
  static const CcdImageReader reader;
  return reader;
}

}  // namespace orvane
