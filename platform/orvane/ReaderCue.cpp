// CUE sheets: a text that names the data files of a CD and says where each
// track and index lies in them. Tracks may be spread over several files of
// different kinds (raw binary, big-endian audio, RIFF WAVE) and over several
// sessions; PREGAP and POSTGAP add sectors that no file stores.
//
// Sessions: a CUE says nothing of the area between sessions, so we lay it out
// as a recorder writes it: after the first session a 6750-sector lead-out and
// a 4500-sector lead-in (11250), after later sessions a 2250-sector lead-out
// and the lead-in (6750), and the next session's first track always has at
// least the 150-sector pregap a disc needs; whatever part of those 150 the CUE
// does not give (INDEX 00 data, PREGAP) is added unstored. A second session's
// first track therefore starts 11400 sectors after the first lead-out.
// A sheet that knows better says so in redump's remarks: REM LEAD-OUT after a
// session's last track and REM LEAD-IN after the next REM SESSION give the
// lengths of that gap.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "platform/orvane/CdText.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxCueBytes = 1u << 20;      // real sheets are a few KiB
constexpr int kMaxDirEntries = 100000;                // scanned when matching a name's case
constexpr int kMaxWaveChunks = 4096;
constexpr std::int64_t kMaxDiscSectors = 449850;      // 99:59:74 is the last address a CD can give
constexpr std::uint32_t kFirstLeadOut = 6750;
constexpr std::uint32_t kLaterLeadOut = 2250;
constexpr std::uint32_t kLeadIn = 4500;
constexpr std::uint32_t kSessionPregap = 150;

enum class FileKind { Binary, Motorola, Wave };

struct CueFile {
  std::string name;  // as the sheet gives it
  FileKind kind = FileKind::Binary;
  std::shared_ptr<ImageFile> file;
  std::uint64_t dataBegin = 0, dataEnd = 0;  // the bytes that hold sectors (a WAVE file's data chunk)
  bool hasIndex = false;
  int line = 0;
};

struct TrackType {
  const char* name;
  TrackMode mode;
  StoredFormat format;
  std::uint32_t stride;
  bool subchannel;  // 96 bytes of sub-channel follow each 2352-byte sector
  bool cdi;
};
constexpr TrackType kTrackTypes[] = {
    {"AUDIO", TrackMode::Audio, StoredFormat::Audio2352, 2352, false, false},
    {"CDG", TrackMode::Audio, StoredFormat::Audio2352, 2448, true, false},
    {"MODE1/2048", TrackMode::Mode1, StoredFormat::UserData2048, 2048, false, false},
    {"MODE1/2352", TrackMode::Mode1, StoredFormat::Raw2352, 2352, false, false},
    {"MODE2/2048", TrackMode::Mode2Xa, StoredFormat::UserData2048, 2048, false, false},
    {"MODE2/2336", TrackMode::Mode2Xa, StoredFormat::Mode2_2336, 2336, false, false},
    {"MODE2/2352", TrackMode::Mode2Xa, StoredFormat::Raw2352, 2352, false, false},
    {"CDI/2336", TrackMode::Mode2Xa, StoredFormat::Mode2_2336, 2336, false, true},
    {"CDI/2352", TrackMode::Mode2Xa, StoredFormat::Raw2352, 2352, false, true},
};

struct CueIndex {
  int number;
  int file;
  std::uint32_t frames;
  int line;
};

struct CueTrack {
  int number = 0;
  int session = 1;
  const TrackType* type = nullptr;
  std::uint8_t flags = 0;
  std::string isrc;
  CdTextEntry text;
  bool hasText = false;
  std::uint32_t pregap = 0, postgap = 0;
  std::vector<CueIndex> indexes;
  int line = 0;
};

// A run of sectors stored in one file, owned by one index of one track.
struct DataRun {
  int track;
  int index;
  int file;
  std::uint64_t offset;
  std::uint32_t count;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool IsValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || i + n >= s.size() + (n == 0)) return false;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}

std::string Latin1ToUtf8(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// One line split into its keyword, its arguments (quotes removed) and the
// raw rest after the keyword (for unquoted values that hold spaces).
struct CueLine {
  std::string keyword;
  std::vector<std::string> args;
  std::vector<bool> quoted;
  std::string rest;
};

bool SplitLine(const std::string& line, CueLine& out) {
  std::size_t i = 0, n = line.size();
  auto skipSpace = [&] {
    while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  skipSpace();
  std::size_t k = i;
  while (i < n && line[i] != ' ' && line[i] != '\t') ++i;
  out.keyword = Upper(line.substr(k, i - k));
  skipSpace();
  out.rest = line.substr(i);
  while (!out.rest.empty() && (out.rest.back() == ' ' || out.rest.back() == '\t')) out.rest.pop_back();
  while (i < n) {
    if (line[i] == '"') {
      std::size_t close = line.find('"', i + 1);
      if (close == std::string::npos) return false;
      out.args.push_back(line.substr(i + 1, close - i - 1));
      out.quoted.push_back(true);
      i = close + 1;
    } else {
      std::size_t b = i;
      while (i < n && line[i] != ' ' && line[i] != '\t') ++i;
      out.args.push_back(line.substr(b, i - b));
      out.quoted.push_back(false);
    }
    skipSpace();
  }
  return true;
}

std::optional<std::uint32_t> ParseMsf(const std::string& s) {
  // mm:ss:ff with 60 seconds to the minute and 75 frames to the second.
  unsigned m = 0, sec = 0, f = 0;
  std::size_t a = s.find(':'), b = s.find(':', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos || a == 0 || a > 3 || b - a != 3 || s.size() - b != 3)
    return std::nullopt;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (i != a && i != b && !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
  m = std::stoul(s.substr(0, a));
  sec = std::stoul(s.substr(a + 1, 2));
  f = std::stoul(s.substr(b + 1, 2));
  if (sec >= 60 || f >= 75) return std::nullopt;
  return (m * 60 + sec) * 75 + f;
}

bool ParseNumber2(const std::string& s, int lo, int hi, int& out) {
  if (s.empty() || s.size() > 2) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  out = std::stoi(s);
  return out >= lo && out <= hi;
}

// Finds name relative to the sheet's folder; when it is missing, a file in
// the same folder whose name differs only in case (sheets written on systems
// that ignore case often do).
std::optional<fs::path> ResolveFile(const fs::path& cueDir, const std::string& name) {
  std::error_code ec;
  std::vector<std::string> candidates = {name};
  if (name.find('\\') != std::string::npos) {
    std::string slashed = name;
    for (char& c : slashed)
      if (c == '\\') c = '/';
    candidates.push_back(slashed);
  }
  for (const std::string& cand : candidates) {
    fs::path p(cand);
    if (p.is_relative()) p = cueDir / p;
    if (fs::is_regular_file(p, ec)) return p;
    fs::path dir = p.parent_path();
    std::string want = Upper(p.filename().string());
    if (want.empty() || !fs::is_directory(dir, ec)) continue;
    int seen = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end && seen < kMaxDirEntries; it.increment(ec), ++seen) {
      if (Upper(it->path().filename().string()) == want && fs::is_regular_file(it->path(), ec)) return it->path();
    }
  }
  return std::nullopt;
}

// The data chunk of a RIFF WAVE file that holds CD audio: PCM, 44.1 kHz,
// 16 bits, two channels. Anything else would play as noise.
bool FindWaveData(ImageFile& f, std::uint64_t& begin, std::uint64_t& end, std::string& why) {
  std::uint8_t h[12];
  if (f.ReadAt(0, h, 12) != 12 || std::memcmp(h, "RIFF", 4) || std::memcmp(h + 8, "WAVE", 4)) {
    why = "is not a RIFF WAVE file";
    return false;
  }
  bool haveFmt = false;
  std::uint64_t at = 12, size = f.Size();
  for (int chunks = 0; chunks < kMaxWaveChunks && at + 8 <= size; ++chunks) {
    std::uint8_t c[8];
    if (f.ReadAt(at, c, 8) != 8) break;
    std::uint64_t len = c[4] | (c[5] << 8) | (c[6] << 16) | (std::uint64_t(c[7]) << 24);
    if (!std::memcmp(c, "fmt ", 4)) {
      std::uint8_t fmt[40] = {};
      if (len < 16 || f.ReadAt(at + 8, fmt, static_cast<std::size_t>(std::min<std::uint64_t>(len, 40))) < 16) {
        why = "has a damaged format chunk";
        return false;
      }
      unsigned tag = fmt[0] | (fmt[1] << 8), channels = fmt[2] | (fmt[3] << 8);
      unsigned rate = fmt[4] | (fmt[5] << 8) | (fmt[6] << 16) | (unsigned(fmt[7]) << 24);
      unsigned bits = fmt[14] | (fmt[15] << 8);
      if (tag == 0xFFFE && len >= 40) tag = fmt[24] | (fmt[25] << 8);  // extensible: the sub-format's tag
      if (tag != 1 || channels != 2 || rate != 44100 || bits != 16) {
        why = "is not 44.1 kHz 16-bit stereo PCM";
        return false;
      }
      haveFmt = true;
    } else if (!std::memcmp(c, "data", 4)) {
      if (!haveFmt) {
        why = "has its data before its format";
        return false;
      }
      begin = at + 8;
      // Writers that stream leave the length 0 or all ones: the data runs to the end.
      if (len == 0 || len == 0xFFFFFFFF) {
        end = size;
      } else if (len > size - begin) {
        why = "is truncated";
        return false;
      } else {
        end = begin + len;
      }
      return true;
    }
    at += 8 + len + (len & 1);
  }
  why = "holds no audio data";
  return false;
}

class CueSheetReader final : public ImageReader {
 public:
  const char* Name() const override { return "CUE"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    int score = LowerExtension(path) == ".cue" ? 50 : 0;
    // A text whose first command is one a sheet starts with.
    std::size_t i = 0;
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) i = 3;
    while (i < head.size() && std::isspace(head[i])) ++i;
    std::string word;
    while (i < head.size() && std::isalpha(head[i]) && word.size() < 12) word += static_cast<char>(head[i++]);
    word = Upper(word);
    for (const char* w : {"FILE", "REM", "CATALOG", "TITLE", "PERFORMER", "SONGWRITER", "CDTEXTFILE"})
      if (word == w && std::memchr(head.data(), 0, head.size()) == nullptr) return std::max(score, 60);
    return score;
  }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override;
};

bool CueSheetReader::Open(const std::string& path, DiscLayout& layout, std::string& error) const {
  auto sheet = OpenImageFile(path, error);
  if (!sheet) return false;
  const std::string cueName = fs::path(path).filename().string();
  if (sheet->Size() == 0) {
    error = cueName + " is empty";
    return false;
  }
  if (sheet->Size() > kMaxCueBytes) {
    error = cueName + " is too large to be a cue sheet";
    return false;
  }
  std::string text(static_cast<std::size_t>(sheet->Size()), '\0');
  if (sheet->ReadAt(0, text.data(), text.size()) != text.size()) {
    error = "cannot read " + cueName;
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    error = cueName + " is not a cue sheet (it holds binary data)";
    return false;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  const bool utf8 = IsValidUtf8(text);
  auto decode = [&](const std::string& s) { return utf8 ? s : Latin1ToUtf8(s); };

  const fs::path cueDir = fs::path(path).parent_path();
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  CdTextEntry discText;
  bool discHasText = false;
  int session = 1;
  bool sessionGiven = false;
  std::map<int, std::uint32_t> leadOutOf, leadInOf;  // by session: lengths the sheet gives
  int lineNo = 0;
  std::string cdTextFile;
  int cdTextLine = 0;
  auto fail = [&](const std::string& why) {
    error = cueName + " line " + std::to_string(lineNo) + ": " + why;
    return false;
  };

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    CueLine cl;
    if (!SplitLine(line, cl)) return fail("unterminated quote");
    if (cl.keyword.empty()) continue;
    CueTrack* track = tracks.empty() ? nullptr : &tracks.back();
    const std::string& kw = cl.keyword;

    if (kw == "REM") {
      if (!cl.args.empty() && Upper(cl.args[0]) == "SESSION") {
        int n = 0;
        if (cl.args.size() != 2 || !ParseNumber2(cl.args[1], 1, 99, n)) return fail("bad session number");
        if (n == 1 && !sessionGiven) {
          // the tracks so far and those that follow are the first session
        } else if (n != session + 1) {
          return fail("sessions must be numbered 1, 2, 3 ...");
        } else if (!track || track->session != session) {
          return fail("session " + std::to_string(session) + " holds no tracks");
        }
        session = n;
        sessionGiven = true;
      } else if (!cl.args.empty() && (Upper(cl.args[0]) == "LEAD-OUT" || Upper(cl.args[0]) == "LEAD-IN")) {
        const bool out = Upper(cl.args[0]) == "LEAD-OUT";
        auto length = cl.args.size() == 2 ? ParseMsf(cl.args[1]) : std::nullopt;
        if (!length) return fail("bad " + Upper(cl.args[0]) + " length");
        if (!out && session == 1) return fail("LEAD-IN before the second session");
        (out ? leadOutOf : leadInOf)[session] = *length;
      }
      continue;  // other remarks (GENRE, DATE, COMMENT ...) carry nothing a drive reports
    }
    if (kw == "CDTEXTFILE") {  // the disc's CD-TEXT packs as recorded, read once the sheet is laid out
      if (cl.args.empty()) return fail("CDTEXTFILE needs a name");
      cdTextFile = cl.quoted[0] && cl.args.size() == 1 ? cl.args[0] : cl.rest;
      cdTextLine = lineNo;
      continue;
    }
    if (kw == "CATALOG") {
      if (cl.args.size() != 1 || cl.args[0].size() != 13 ||
          !std::all_of(cl.args[0].begin(), cl.args[0].end(), [](unsigned char c) { return std::isdigit(c); }))
        return fail("CATALOG must be 13 digits");
      layout.catalog = cl.args[0];
      continue;
    }
    if (kw == "FILE") {
      if (cl.args.size() < 2) return fail("FILE needs a name and a type");
      CueFile f;
      f.line = lineNo;
      std::string type = Upper(cl.args.back());
      if (cl.quoted[0]) {
        if (cl.args.size() != 2) return fail("FILE needs a name and a type");
        f.name = cl.args[0];
      } else {
        // An unquoted name may hold spaces: everything before the type.
        f.name = cl.rest.substr(0, cl.rest.size() - cl.args.back().size());
        while (!f.name.empty() && (f.name.back() == ' ' || f.name.back() == '\t')) f.name.pop_back();
      }
      if (type == "BINARY") {
        f.kind = FileKind::Binary;
      } else if (type == "MOTOROLA") {
        f.kind = FileKind::Motorola;
      } else if (type == "WAVE") {
        f.kind = FileKind::Wave;
      } else {
        return fail("file type " + type + " is not supported (BINARY, MOTOROLA or WAVE)");
      }
      auto resolved = ResolveFile(cueDir, f.name);
      if (!resolved) return fail("names a missing file: " + decode(f.name));
      std::string err;
      f.file = OpenImageFile(resolved->string(), err);
      if (!f.file) return fail(err);
      f.dataEnd = f.file->Size();
      if (f.kind == FileKind::Wave) {
        std::string why;
        if (!FindWaveData(*f.file, f.dataBegin, f.dataEnd, why)) return fail(decode(f.name) + " " + why);
      }
      files.push_back(std::move(f));
      continue;
    }
    if (kw == "TRACK") {
      if (files.empty()) return fail("TRACK before any FILE");
      int n = 0;
      if (cl.args.size() != 2 || !ParseNumber2(cl.args[0], 1, 99, n)) return fail("bad track number");
      if (!tracks.empty() && n != tracks.back().number + 1) return fail("track numbers must rise by one");
      if (track && track->indexes.empty()) return fail("track " + std::to_string(track->number) + " has no INDEX");
      CueTrack t;
      t.number = n;
      t.session = session;
      t.line = lineNo;
      std::string type = Upper(cl.args[1]);
      for (const TrackType& tt : kTrackTypes)
        if (type == tt.name) t.type = &tt;
      if (!t.type) return fail("track type " + type + " is not supported");
      tracks.push_back(std::move(t));
      continue;
    }
    if (kw == "TITLE" || kw == "PERFORMER" || kw == "SONGWRITER" || kw == "COMPOSER" || kw == "ARRANGER" ||
        kw == "MESSAGE") {
      std::string value = !cl.args.empty() && cl.quoted[0] && cl.args.size() == 1 ? cl.args[0] : cl.rest;
      value = decode(value);
      CdTextEntry& e = track ? track->text : discText;
      (kw == "TITLE"        ? e.title
       : kw == "PERFORMER"  ? e.performer
       : kw == "SONGWRITER" ? e.songwriter
       : kw == "COMPOSER"   ? e.composer
       : kw == "ARRANGER"   ? e.arranger
                            : e.message) = value;
      (track ? track->hasText : discHasText) = true;
      continue;
    }
    // The rest belong to a track.
    if (!track) return fail(kw + " outside a TRACK");
    if (kw == "FLAGS") {
      for (const std::string& a : cl.args) {
        std::string f = Upper(a);
        if (f == "DCP") track->flags |= 0x02;
        else if (f == "4CH") track->flags |= 0x08;
        else if (f == "PRE") track->flags |= 0x01;
        else if (f == "SCMS") continue;  // serial copy management lives in the sub-code, not the control bits
        else return fail("unknown flag " + a);
      }
    } else if (kw == "ISRC") {
      if (cl.args.size() != 1 || cl.args[0].size() != 12 ||
          !std::all_of(cl.args[0].begin(), cl.args[0].end(), [](unsigned char c) { return std::isalnum(c); }))
        return fail("ISRC must be 12 letters and digits");
      track->isrc = Upper(cl.args[0]);
    } else if (kw == "PREGAP" || kw == "POSTGAP") {
      if (cl.args.size() != 1) return fail(kw + " needs a time");
      auto t = ParseMsf(cl.args[0]);
      if (!t) return fail("impossible time " + cl.args[0]);
      if (kw == "PREGAP") {
        if (!track->indexes.empty()) return fail("PREGAP after an INDEX");
        track->pregap = *t;
      } else {
        if (track->indexes.empty()) return fail("POSTGAP before any INDEX");
        track->postgap = *t;
      }
    } else if (kw == "INDEX") {
      int n = 0;
      if (cl.args.size() != 2 || !ParseNumber2(cl.args[0], 0, 99, n)) return fail("bad index number");
      if (track->postgap) return fail("INDEX after POSTGAP");
      int expect = track->indexes.empty() ? (n == 0 ? 0 : 1) : track->indexes.back().number + 1;
      if (n != expect) return fail("index numbers must start at 00 or 01 and rise by one");
      auto t = ParseMsf(cl.args[1]);
      if (!t) return fail("impossible time " + cl.args[1]);
      int file = static_cast<int>(files.size()) - 1;
      const CueIndex* prev = nullptr;
      for (auto it = tracks.rbegin(); it != tracks.rend() && !prev; ++it)
        if (!it->indexes.empty()) prev = &it->indexes.back();
      if (prev && prev->file == file && *t < prev->frames) return fail("times go backwards at INDEX " + cl.args[0]);
      track->indexes.push_back({n, file, *t, lineNo});
      files[file].hasIndex = true;
    } else {
      return fail("unknown command " + kw);
    }
  }
  lineNo = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (tracks.empty()) return fail("the sheet holds no tracks");
  for (const CueTrack& t : tracks) {
    bool has01 = false;
    for (const CueIndex& i : t.indexes) has01 |= i.number == 1;
    if (!has01) {
      lineNo = t.line;
      return fail("track " + std::to_string(t.number) + " has no INDEX 01");
    }
  }
  for (const CueFile& f : files) {
    if (!f.hasIndex) {
      lineNo = f.line;
      return fail("FILE " + decode(f.name) + " holds no INDEX");
    }
  }

  // Where each index's data lies in its file. An index's data runs to the next
  // index, or to the end of its file and on into the next file until the next
  // index; within a file each run's sectors have the size of its track.
  std::vector<DataRun> runs;
  struct Cursor {
    std::uint32_t frames = 0;
    std::uint64_t bytes = 0;
  };
  std::vector<Cursor> cursor(files.size());
  for (auto& c : cursor) c.bytes = 0;
  for (std::size_t f = 0; f < files.size(); ++f) cursor[f].bytes = files[f].dataBegin;
  struct Point {
    int track;
    const CueIndex* index;
  };
  std::vector<Point> points;
  for (std::size_t t = 0; t < tracks.size(); ++t)
    for (const CueIndex& i : tracks[t].indexes) points.push_back({static_cast<int>(t), &i});

  auto place = [&](int track, int index, int file, std::uint32_t count, int line) -> bool {
    const CueFile& cf = files[file];
    std::uint32_t stride = tracks[track].type->stride;
    Cursor& c = cursor[file];
    if (std::uint64_t(count) * stride > cf.dataEnd - c.bytes) {
      lineNo = line;
      return fail("INDEX lies past the end of " + decode(cf.name));
    }
    runs.push_back({track, index, file, c.bytes, count});
    c.frames += count;
    c.bytes += std::uint64_t(count) * stride;
    return true;
  };
  // The rest of a file, in whole sectors of the given track.
  auto remaining = [&](int track, int file) -> std::uint32_t {
    std::uint64_t left = files[file].dataEnd - cursor[file].bytes;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(left / tracks[track].type->stride, UINT32_MAX));
  };

  for (std::size_t p = 0; p < points.size(); ++p) {
    const Point& pt = points[p];
    const CueIndex& ix = *pt.index;
    Cursor& c = cursor[ix.file];
    if (p == 0 && ix.frames > 0) {
      // Sectors before the first index belong to the first track's pregap.
      if (!place(pt.track, 0, ix.file, ix.frames, ix.line)) return false;
    }
    if (ix.frames != c.frames) {
      lineNo = ix.line;
      if (ix.frames < c.frames) return fail("times go backwards");
      // Covered by the previous index's run unless that run ended short.
      return fail("track " + std::to_string(tracks[pt.track].number) + " lies past the end of " +
                  decode(files[ix.file].name));
    }
    if (std::uint64_t(c.bytes) > files[ix.file].dataEnd) {
      lineNo = ix.line;
      return fail("track " + std::to_string(tracks[pt.track].number) + " lies past the end of " +
                  decode(files[ix.file].name));
    }
    if (p + 1 < points.size() && points[p + 1].index->file == ix.file) {
      if (!place(pt.track, ix.number, ix.file, points[p + 1].index->frames - ix.frames, points[p + 1].index->line))
        return false;
      continue;
    }
    // To the end of this file, then through the files up to the next index.
    if (!place(pt.track, ix.number, ix.file, remaining(pt.track, ix.file), ix.line)) return false;
    if (p + 1 < points.size()) {
      const CueIndex& next = *points[p + 1].index;
      for (int f = ix.file + 1; f < next.file; ++f)
        if (!place(pt.track, ix.number, f, remaining(pt.track, f), next.line)) return false;
      if (next.frames && !place(pt.track, ix.number, next.file, next.frames, next.line)) return false;
    }
  }

  // Disc addresses: the runs in order, with the unstored gaps between them.
  layout.format = "CUE";
  layout.profile = 0x08;
  layout.discStatus = 2;
  std::int64_t lba = 0;
  std::size_t r = 0;
  int lastTrackNumber = tracks.back().number;
  bool anyText = discHasText;
  for (const CueTrack& t : tracks) anyText |= t.hasText;
  if (anyText) {
    layout.cdText.assign(static_cast<std::size_t>(lastTrackNumber) + 1, CdTextEntry{});
    layout.cdText[0] = discText;
    layout.cdText[0].isrc = layout.catalog;  // the disc's UPC/EAN, as CD-TEXT carries it
  }
  auto closeSession = [&](int number) {
    SessionLayout s;
    s.number = number;
    s.leadOut = static_cast<std::int32_t>(lba);
    for (const CueTrack& t : tracks) {
      if (t.session != number) continue;
      if (t.type->cdi) s.discType = 0x10;
      else if (t.type->mode != TrackMode::Audio && t.type->mode != TrackMode::Mode1 && s.discType != 0x10)
        s.discType = 0x20;
    }
    layout.sessions.push_back(s);
  };
  for (std::size_t ti = 0; ti < tracks.size(); ++ti) {
    const CueTrack& ct = tracks[ti];
    std::size_t first = r, endRun = r;
    while (endRun < runs.size() && runs[endRun].track == static_cast<int>(ti)) ++endRun;
    std::uint32_t unstoredPregap = ct.pregap;
    if (ti > 0 && ct.session != tracks[ti - 1].session) {
      closeSession(tracks[ti - 1].session);
      const bool afterFirst = layout.sessions.size() == 1;
      const auto lengthOr = [](const std::map<int, std::uint32_t>& m, int n, std::uint32_t standard) {
        const auto it = m.find(n);
        return it == m.end() ? standard : it->second;
      };
      lba += lengthOr(leadOutOf, tracks[ti - 1].session, afterFirst ? kFirstLeadOut : kLaterLeadOut) +
             lengthOr(leadInOf, ct.session, kLeadIn);
      std::uint64_t given = ct.pregap;
      for (std::size_t k = first; k < endRun; ++k)
        if (runs[k].index == 0) given += runs[k].count;
      if (given < kSessionPregap) unstoredPregap += static_cast<std::uint32_t>(kSessionPregap - given);
    }
    TrackLayout t;
    t.number = ct.number;
    t.session = ct.session;
    t.mode = ct.type->mode;
    t.control = static_cast<std::uint8_t>((ct.type->mode == TrackMode::Audio ? 0x00 : 0x04) | ct.flags);
    t.isrc = ct.isrc;
    t.pregapStart = static_cast<std::int32_t>(lba);
    const StoredFormat unstoredFormat =
        ct.type->mode == TrackMode::Audio ? StoredFormat::Audio2352 : StoredFormat::UserData2048;
    auto addUnstored = [&](std::uint32_t count) {
      if (!count) return;
      Extent e;
      e.firstLba = static_cast<std::int32_t>(lba);
      e.count = count;
      e.format = unstoredFormat;
      e.stride = unstoredFormat == StoredFormat::Audio2352 ? 2352 : 2048;
      t.extents.push_back(e);
      lba += count;
    };
    addUnstored(unstoredPregap);
    bool started = false;
    int lastIndex = -1;
    for (; r < endRun; ++r) {
      const DataRun& dr = runs[r];
      if (dr.index >= 1 && dr.index != lastIndex) {
        if (dr.index == 1 && !started) {
          t.start = static_cast<std::int32_t>(lba);
          started = true;
        } else if (dr.index >= 2) {
          t.furtherIndexes.push_back(static_cast<std::int32_t>(lba));
        }
      }
      lastIndex = dr.index;
      if (!dr.count) continue;
      const CueFile& cf = files[dr.file];
      Extent e;
      e.firstLba = static_cast<std::int32_t>(lba);
      e.count = dr.count;
      e.file = cf.file;
      e.offset = dr.offset;
      e.format = ct.type->format;
      if (ct.type->mode == TrackMode::Audio && cf.kind == FileKind::Motorola) e.format = StoredFormat::Audio2352BE;
      e.stride = ct.type->stride;
      e.hasSubchannel = ct.type->subchannel;
      e.subchannelOffset = ct.type->subchannel ? 2352 : 0;
      // Adjacent runs of one file join into one extent.
      Extent* prev = t.extents.empty() ? nullptr : &t.extents.back();
      if (prev && prev->file == e.file && prev->format == e.format && prev->stride == e.stride &&
          prev->offset + std::uint64_t(prev->count) * prev->stride == e.offset)
        prev->count += e.count;
      else
        t.extents.push_back(e);
      lba += dr.count;
      if (lba > kMaxDiscSectors) {
        lineNo = ct.line;
        return fail("the disc would be longer than 99:59:74");
      }
    }
    addUnstored(ct.postgap);
    if (lba > kMaxDiscSectors) {
      lineNo = ct.line;
      return fail("the disc would be longer than 99:59:74");
    }
    t.length = static_cast<std::uint32_t>(lba - t.start);
    if (t.length == 0) {
      lineNo = ct.line;
      return fail("track " + std::to_string(ct.number) + " holds no sectors");
    }
    // Mode 2 raw data says by its sub-header whether it is CD-ROM XA.
    if (ct.type->mode == TrackMode::Mode2Xa && !ct.type->cdi &&
        (ct.type->format == StoredFormat::Raw2352 || ct.type->format == StoredFormat::Mode2_2336)) {
      for (const Extent& e : t.extents) {
        if (!e.file || e.firstLba + std::int64_t(e.count) <= t.start) continue;
        std::uint64_t at = e.offset + std::uint64_t(std::max<std::int64_t>(0, t.start - e.firstLba)) * e.stride;
        std::uint8_t h[24];
        std::size_t sub = e.format == StoredFormat::Raw2352 ? 16 : 0;
        if (e.file->ReadAt(at, h, sizeof h) == sizeof h && std::memcmp(h + sub, h + sub + 4, 4) != 0)
          t.mode = TrackMode::Mode2Formless;
        break;
      }
    }
    if (anyText) {
      layout.cdText[static_cast<std::size_t>(ct.number)] = ct.text;
      layout.cdText[static_cast<std::size_t>(ct.number)].isrc = ct.isrc;
    }
    layout.tracks.push_back(std::move(t));
  }
  closeSession(tracks.back().session);
  if (!cdTextFile.empty()) {
    lineNo = cdTextLine;
    auto resolved = ResolveFile(cueDir, cdTextFile);
    if (!resolved) return fail("names a missing file: " + decode(cdTextFile));
    std::string why;
    if (!ReadCdTextFile(resolved->string(), layout.cdTextPacks, why)) return fail(why);
    auto texts = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
    if (!texts.empty()) layout.cdText = std::move(texts);
  }
  return true;
}

}  // namespace

const ImageReader& CueReader() {
  static const CueSheetReader reader;
  return reader;
}

}  // namespace orvane
