// CloneCD images: NAME.ccd, an INI text holding the disc's full TOC entry by
// entry ([Entry n]: session, point, ADR, control and the P time), each
// track's mode and indexes ([TRACK n]) and the CD-TEXT packs ([CDText]);
// NAME.img, every sector from LBA 0 in 2352 raw bytes (sector n at n * 2352,
// the area between sessions included); and NAME.sub when present, 96 bytes of
// sub-channel a sector in the same order, each channel's 12 bytes in turn.
//
// The recorded TOC entries are what a drive answers to READ TOC format 2, so
// they are served as they stand; the tracks are laid out from them. Reading is
// two steps: the control file into what its sections say (ParseControl), then
// that into the disc's layout (LayOut).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

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


bool LooksLikeCcd(const std::uint8_t* p, std::size_t n) {
  std::size_t i = 0;
  if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) i = 3;  // a byte order mark
  while (i < n && std::isspace(p[i])) ++i;
  static const char kTag[] = "[clonecd]";
  for (std::size_t k = 0; k + 1 < sizeof kTag; ++k, ++i)
    if (i >= n || std::tolower(p[i]) != kTag[k]) return false;
  return true;
}

struct TocEntry {
  int session = 0, point = 0, adr = 0, control = 0, tno = 0;
  int amin = 0, asec = 0, aframe = 0, zero = 0, pmin = 0, psec = 0, pframe = 0;
  std::int32_t plba = 0;
};

// What a [TRACK n] section says of a track the TOC lists.
struct CcdTrack {
  std::optional<TrackMode> mode;
  std::vector<std::pair<int, std::int32_t>> indexes;  // INDEX n = LBA, in index order
  std::string isrc;
};

// What the control file says.
struct CcdControl {
  int sessions = 0;
  std::string catalog;
  std::vector<TocEntry> entries;
  std::map<int, CcdTrack> tracks;  // by number, for the tracks the TOC lists
  bool hasCdText = false;
  std::vector<std::uint8_t> cdTextPacks;
};

using Sections = std::vector<std::pair<std::string, Section>>;

const Section* Find(const Sections& sections, const std::string& name) {
  for (const auto& [n, s] : sections)
    if (n == name) return &s;
  return nullptr;
}

const std::string* Get(const Section& s, const std::string& key) {
  auto it = s.find(key);
  return it == s.end() ? nullptr : &it->second;
}

// [Disc]: how many TOC entries and sessions, the catalogue number.
bool ParseDisc(const Sections& sections, CcdControl& c, std::string& why) {
  const Section* disc = Find(sections, "disc");
  if (!disc) return Fail(why, "has no [Disc] section");
  if (const std::string* v = Get(*disc, "datatracksscrambled"); v && *v != "0")
    return Fail(why, "its data tracks are stored scrambled, which is not supported");
  const std::string* te = Get(*disc, "tocentries");
  auto entryCount = te ? Number(*te, 1, kMaxTocEntries) : std::nullopt;
  if (!entryCount) return Fail(why, "[Disc] needs TocEntries from 1 to " + std::to_string(kMaxTocEntries));
  const std::string* se = Get(*disc, "sessions");
  auto sessionCount = se ? Number(*se, 1, 99) : std::nullopt;
  if (!sessionCount) return Fail(why, "[Disc] needs Sessions from 1 to 99");
  c.sessions = static_cast<int>(*sessionCount);
  if (const std::string* cat = Get(*disc, "catalog")) {
    if (!AllOf(*cat, 13, isdigit)) return Fail(why, "CATALOG must be 13 digits");
    c.catalog = *cat;
  }
  c.entries.resize(static_cast<std::size_t>(*entryCount));
  return true;
}

// [Entry i]: one descriptor of the full TOC.
bool ParseEntry(const Section& s, long long i, int sessions, TocEntry& e, std::string& why) {
  const std::string name = "[Entry " + std::to_string(i) + "]";
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
    const std::string* v = Get(s, f.key);
    if (!v) {
      if (f.required) return Fail(why, name + " lacks " + f.key);
      continue;
    }
    auto n = Number(*v, f.lo, f.hi);
    if (!n) return Fail(why, name + " has a bad " + f.key + ": " + *v);
    *f.to = static_cast<int>(*n);
  }
  if (e.session > sessions) return Fail(why, name + " lies in a session past Sessions");
  const bool time = (e.point >= 1 && e.point <= 99) || e.point == 0xA2;
  if (time && (e.psec >= 60 || e.pframe >= 75 || e.pmin > 99)) return Fail(why, name + " has an impossible time");
  e.plba = static_cast<std::int32_t>(disc::MsfToFrames(e.pmin, e.psec, e.pframe)) - disc::kLbaOffset;
  return true;
}

// [TRACK n]: MODE (0 audio, 1, 2), INDEX n = LBA and the ISRC, as CloneCD
// writes them for the track of TOC entry e.
bool ParseTrack(const Section& s, const TocEntry& e, CcdTrack& t, std::string& why) {
  const std::string name = "[TRACK " + std::to_string(e.point) + "]";
  if (const std::string* m = Get(s, "mode")) {
    auto mode = Number(*m, 0, 2);
    if (!mode) return Fail(why, name + " has the unknown MODE " + *m);
    t.mode = *mode == 0 ? TrackMode::Audio : *mode == 1 ? TrackMode::Mode1 : TrackMode::Mode2Xa;
    if ((t.mode != TrackMode::Audio) != ((e.control & 0x04) != 0))
      return Fail(why, name + " MODE disagrees with its TOC entry's control");
  }
  for (int ix = 0; ix <= 99; ++ix) {
    const std::string* v = Get(s, "index " + std::to_string(ix));
    if (!v) continue;
    auto lba = Number(*v, -150, kMaxCdSectors);
    if (!lba) return Fail(why, name + " has a bad INDEX " + std::to_string(ix));
    if (ix == 1 && *lba != e.plba) return Fail(why, name + " INDEX 1 differs from its TOC entry");
    t.indexes.emplace_back(ix, static_cast<std::int32_t>(*lba));
  }
  if (const std::string* v = Get(s, "isrc")) {
    if (!AllOf(*v, 12, isalnum)) return Fail(why, name + " ISRC must be 12 letters and digits");
    t.isrc = *v;
    for (char& ch : t.isrc) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  return true;
}

// [CDText]: Entry n = a pack's bytes in hex, with or without its CRC.
bool ParseCdText(const Section& ct, std::vector<std::uint8_t>& packs, std::string& why) {
  const std::string* n = Get(ct, "entries");
  auto count = n ? Number(*n, 0, kMaxCdTextEntries) : std::nullopt;
  if (!count) return Fail(why, "[CDText] needs Entries from 0 to " + std::to_string(kMaxCdTextEntries));
  for (long long i = 0; i < *count; ++i) {
    const std::string* v = Get(ct, "entry " + std::to_string(i));
    if (!v) return Fail(why, "[CDText] lacks Entry " + std::to_string(i));
    std::vector<std::uint8_t> pack;
    std::size_t at = 0;
    while (at < v->size()) {
      while (at < v->size() && (*v)[at] == ' ') ++at;
      if (at >= v->size()) break;
      std::size_t endTok = v->find(' ', at);
      auto b = Number("0x" + v->substr(at, endTok == std::string::npos ? std::string::npos : endTok - at), 0, 255);
      if (!b || pack.size() == kCdTextPackSize) return Fail(why, "[CDText] Entry " + std::to_string(i) + " is not a pack");
      pack.push_back(static_cast<std::uint8_t>(*b));
      at = endTok == std::string::npos ? v->size() : endTok;
    }
    if (pack.size() == 16) {
      pack.resize(18);
      const std::uint16_t crc = CdTextPackCrc(pack.data());
      pack[16] = static_cast<std::uint8_t>(crc >> 8);
      pack[17] = static_cast<std::uint8_t>(crc);
    }
    if (pack.size() != kCdTextPackSize) return Fail(why, "[CDText] Entry " + std::to_string(i) + " is not a pack");
    packs.insert(packs.end(), pack.begin(), pack.end());
  }
  return true;
}

bool ParseControl(const std::string& text, CcdControl& c, std::string& why) {
  Sections sections;
  if (!ParseIni(text, sections, why) || !ParseDisc(sections, c, why)) return false;
  for (std::size_t i = 0; i < c.entries.size(); ++i) {
    const Section* s = Find(sections, "entry " + std::to_string(i));
    if (!s) return Fail(why, "lacks [Entry " + std::to_string(i) + "]");
    if (!ParseEntry(*s, static_cast<long long>(i), c.sessions, c.entries[i], why)) return false;
  }
  for (const TocEntry& e : c.entries) {
    if (e.adr != 1 || e.point < 1 || e.point > 99 || c.tracks.count(e.point)) continue;
    CcdTrack& t = c.tracks[e.point];
    if (const Section* s = Find(sections, "track " + std::to_string(e.point)); s && !ParseTrack(*s, e, t, why))
      return false;
  }
  if (const Section* ct = Find(sections, "cdtext")) {
    c.hasCdText = true;
    if (!ParseCdText(*ct, c.cdTextPacks, why)) return false;
  }
  return true;
}

// The control file's text, checked to be one.
bool ReadControl(const std::string& path, std::string& text, std::string& why) {
  auto control = OpenImageFile(path, why);
  if (!control) return false;
  const TextFileRead read = ReadTextFile(*control, kMaxCcdBytes, text);
  if (read == TextFileRead::TooLarge) return Fail(why, path + ": too large for a CloneCD control file");
  if (read == TextFileRead::Unreadable) return Fail(why, path + ": cannot be read");
  if (!LooksLikeCcd(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
    return Fail(why, path + ": does not start with [CloneCD]");
  if (read == TextFileRead::Binary) return Fail(why, path + ": holds binary data");
  return true;
}

// Each session's lead-out (point A2) and disc type (point A0).
bool LayOutSessions(const CcdControl& c, DiscLayout& layout, std::string& why) {
  for (int s = 1; s <= c.sessions; ++s) {
    SessionLayout sl;
    sl.number = s;
    bool leadOut = false;
    for (const TocEntry& e : c.entries) {
      if (e.session != s || e.adr != 1) continue;
      if (e.point == 0xA2) {
        sl.leadOut = e.plba;
        leadOut = true;
      } else if (e.point == 0xA0) {
        sl.discType = static_cast<std::uint8_t>(e.psec);
      }
    }
    if (!leadOut) return Fail(why, "session " + std::to_string(s) + " has no lead-out entry (point A2)");
    layout.sessions.push_back(sl);
  }
  return true;
}

// A track where its TOC entry and its [TRACK n] section put it.
TrackLayout PlaceTrack(const TocEntry& e, const CcdTrack& ct) {
  TrackLayout t;
  t.number = e.point;
  t.session = e.session;
  t.control = static_cast<std::uint8_t>(e.control);
  t.start = t.pregapStart = e.plba;
  t.mode = ct.mode ? *ct.mode : (e.control & 0x04) ? TrackMode::Mode1 : TrackMode::Audio;
  t.isrc = ct.isrc;
  for (const auto& [ix, lba] : ct.indexes) {
    if (ix == 0) t.pregapStart = lba;
    else if (ix >= 2 && lba > t.start) t.furtherIndexes.push_back(lba);
  }
  return t;
}

// Sector n lies at n * 2352 in the data file (and n * 96 in the sub-channel
// file); the pregap of track 1 before LBA 0 is not kept.
bool StoreTrack(TrackLayout& t, std::int64_t end, const std::shared_ptr<ImageFile>& img,
                const std::shared_ptr<ImageFile>& sub, std::string& why) {
  const std::int32_t first = std::max(t.pregapStart, 0);
  if (first > t.pregapStart)
    t.extents.push_back(UnstoredRun(t.pregapStart, static_cast<std::uint32_t>(first - t.pregapStart), t.mode));
  const std::uint32_t count = static_cast<std::uint32_t>(end - first);
  SectorStorage st = *StorageFor(t.mode, disc::kRawSectorSize);
  st.subchannelLinear = true;
  Extent x = StoredRun(first, count, img, std::uint64_t(first) * disc::kRawSectorSize, st);
  if (sub) {
    if (sub->Size() < (std::uint64_t(first) + count) * 96)
      return Fail(why, "its sub-channel file is shorter than its tracks (is it truncated?)");
    x.subFile = sub;
    x.subOffset = std::uint64_t(first) * 96;
  }
  t.extents.push_back(x);
  // A data track's sectors say by their header which mode they are.
  if (t.mode != TrackMode::Audio) {
    std::uint8_t h[16];
    if (img->ReadAt(std::uint64_t(std::max(t.start, 0)) * disc::kRawSectorSize, h, 16) == 16 && HasSync(h)) {
      if (h[disc::kHeaderModeOffset] == 1) t.mode = TrackMode::Mode1;
      else if (h[disc::kHeaderModeOffset] == 2) t.mode = TrackMode::Mode2Xa;
    }
    RefineMode2(t);
  }
  return true;
}

bool LayOutTracks(const CcdControl& c, const std::shared_ptr<ImageFile>& img, const std::shared_ptr<ImageFile>& sub,
                  DiscLayout& layout, std::string& why) {
  std::vector<const TocEntry*> points;
  for (const TocEntry& e : c.entries)
    if (e.adr == 1 && e.point >= 1 && e.point <= 99) points.push_back(&e);
  std::sort(points.begin(), points.end(), [](const TocEntry* a, const TocEntry* b) { return a->point < b->point; });
  if (points.empty()) return Fail(why, "its TOC lists no tracks");
  for (const TocEntry* e : points) layout.tracks.push_back(PlaceTrack(*e, c.tracks.at(e->point)));
  // A track runs to the next one's pregap or to its session's lead-out.
  for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
    TrackLayout& t = layout.tracks[i];
    if (t.session < 1 || t.session > static_cast<int>(layout.sessions.size()))
      return Fail(why, "track " + std::to_string(t.number) + " lies in no session");
    std::int64_t end = layout.sessions[static_cast<std::size_t>(t.session - 1)].leadOut;
    if (i + 1 < layout.tracks.size() && layout.tracks[i + 1].session == t.session)
      end = layout.tracks[i + 1].pregapStart;
    if (end <= t.start) return Fail(why, "track " + std::to_string(t.number) + " holds no sectors");
    t.length = static_cast<std::uint32_t>(end - t.start);
    std::sort(t.furtherIndexes.begin(), t.furtherIndexes.end());
    if (!StoreTrack(t, end, img, sub, why)) return false;
  }
  return true;
}

bool LayOut(const CcdControl& c, const std::shared_ptr<ImageFile>& img, const std::shared_ptr<ImageFile>& sub,
            DiscLayout& layout, std::string& why) {
  layout.format = "CCD";
  layout.profile = 0x08;
  layout.discStatus = 2;
  layout.catalog = c.catalog;
  for (const TocEntry& e : c.entries)
    layout.rawFullToc.insert(layout.rawFullToc.end(),
                             {static_cast<std::uint8_t>(e.session), static_cast<std::uint8_t>(e.adr << 4 | e.control),
                              static_cast<std::uint8_t>(e.tno), static_cast<std::uint8_t>(e.point),
                              static_cast<std::uint8_t>(e.amin), static_cast<std::uint8_t>(e.asec),
                              static_cast<std::uint8_t>(e.aframe), static_cast<std::uint8_t>(e.zero),
                              static_cast<std::uint8_t>(e.pmin), static_cast<std::uint8_t>(e.psec),
                              static_cast<std::uint8_t>(e.pframe)});
  if (!LayOutSessions(c, layout, why) || !LayOutTracks(c, img, sub, layout, why)) return false;
  layout.cdTextPacks = c.cdTextPacks;
  if (!layout.cdTextPacks.empty())
    layout.cdText = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
  // The ISRCs of the control file, where the CD-TEXT does not give its own.
  for (const TrackLayout& t : layout.tracks)
    if (static_cast<std::size_t>(t.number) < layout.cdText.size() && layout.cdText[t.number].isrc.empty())
      layout.cdText[t.number].isrc = t.isrc;
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
    std::string text, why;
    if (!ReadControl(path, text, error)) return false;
    CcdControl control;
    if (!ParseControl(text, control, why)) return Fail(error, path + ": " + why);
    // The data and sub-channel files beside the control file.
    fs::path imgPath = Sibling(path, ".img");
    if (imgPath.empty())
      return Fail(error, path + ": its data file " + fs::path(path).replace_extension(".img").filename().string() +
                             " is missing");
    auto img = OpenImageFile(imgPath.string(), error);
    if (!img) return false;
    std::shared_ptr<ImageFile> sub;
    if (fs::path subPath = Sibling(path, ".sub"); !subPath.empty()) {
      sub = OpenImageFile(subPath.string(), error);
      if (!sub) return false;
    }
    if (!LayOut(control, img, sub, layout, why)) return Fail(error, path + ": " + why);
    return CheckLayout(layout, path, error);
  }
};

}  // namespace

const ImageReader& CcdReader() {
  static const CcdImageReader reader;
  return reader;
}

}  // namespace orvane
