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
//
// Reading is two steps: the sheet's commands into what they say (CueSheet),
// then that into the disc's layout: where each index's data lies in its file
// (RunPlacer), then the disc addresses, gaps and sessions (LayOutSheet).
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "disc/TextCodec.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxCueBytes = 1u << 20;      // real sheets are a few KiB
constexpr int kMaxDirEntries = 100000;                // scanned when matching a name's case
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
  return static_cast<std::uint32_t>(disc::MsfToFrames(m, sec, f));
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

// Refusals name the sheet and the line they concern.
class SheetError {
 public:
  SheetError(std::string cueName, std::string& error) : m_name(std::move(cueName)), m_error(error) {}
  bool operator()(int line, const std::string& why) const {
    m_error = m_name + " line " + std::to_string(line) + ": " + why;
    return false;
  }

 private:
  std::string m_name;
  std::string& m_error;
};

// What the sheet says, command by command.
struct CueSheet {
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  std::string catalog;
  CdTextEntry discText;
  bool discHasText = false;
  std::string cdTextFile;  // CDTEXTFILE: the disc's CD-TEXT packs as recorded
  int cdTextLine = 0;
  std::map<int, std::uint32_t> leadOutOf, leadInOf;  // by session: gap lengths the sheet gives
  bool utf8 = true;        // the sheet's text is UTF-8; otherwise Latin-1
  std::string Decode(const std::string& s) const {
    return utf8 ? s : Latin1ToUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  }
};

// The sheet's commands into a CueSheet, line by line.
class CueParser {
 public:
  CueParser(CueSheet& sheet, fs::path dir, const SheetError& fail) : m_s(sheet), m_dir(std::move(dir)), m_fail(fail) {}

  bool Line(int lineNo, const std::string& line) {
    m_line = lineNo;
    CueLine cl;
    if (!SplitLine(line, cl)) return Fail("unterminated quote");
    const std::string& kw = cl.keyword;
    if (kw.empty()) return true;
    if (kw == "REM") return Remark(cl);
    if (kw == "CDTEXTFILE") {  // read once the sheet is laid out
      if (cl.args.empty()) return Fail("CDTEXTFILE needs a name");
      m_s.cdTextFile = cl.quoted[0] && cl.args.size() == 1 ? cl.args[0] : cl.rest;
      m_s.cdTextLine = m_line;
      return true;
    }
    if (kw == "CATALOG") {
      if (cl.args.size() != 1 || !AllOf(cl.args[0], 13, isdigit)) return Fail("CATALOG must be 13 digits");
      m_s.catalog = cl.args[0];
      return true;
    }
    if (kw == "FILE") return File(cl);
    if (kw == "TRACK") return Track(cl);
    CueTrack* track = m_s.tracks.empty() ? nullptr : &m_s.tracks.back();
    if (std::string* field = CdTextField(track ? track->text : m_s.discText, kw)) {
      *field = m_s.Decode(!cl.args.empty() && cl.quoted[0] && cl.args.size() == 1 ? cl.args[0] : cl.rest);
      (track ? track->hasText : m_s.discHasText) = true;
      return true;
    }
    // The rest belong to a track.
    if (!track) return Fail(kw + " outside a TRACK");
    if (kw == "FLAGS") return Flags(cl, *track);
    if (kw == "ISRC") {
      if (cl.args.size() != 1 || !AllOf(cl.args[0], 12, isalnum)) return Fail("ISRC must be 12 letters and digits");
      track->isrc = Upper(cl.args[0]);
      return true;
    }
    if (kw == "PREGAP" || kw == "POSTGAP") return Gap(cl, *track);
    if (kw == "INDEX") return Index(cl, *track);
    return Fail("unknown command " + kw);
  }

  // Every track has its INDEX 01 and every file an INDEX.
  bool Finish(int lastLine) const {
    if (m_s.tracks.empty()) return m_fail(lastLine, "the sheet holds no tracks");
    for (const CueTrack& t : m_s.tracks) {
      bool has01 = false;
      for (const CueIndex& i : t.indexes) has01 |= i.number == 1;
      if (!has01) return m_fail(t.line, "track " + std::to_string(t.number) + " has no INDEX 01");
    }
    for (const CueFile& f : m_s.files)
      if (!f.hasIndex) return m_fail(f.line, "FILE " + m_s.Decode(f.name) + " holds no INDEX");
    return true;
  }

 private:
  bool Fail(const std::string& why) const { return m_fail(m_line, why); }

  // REM SESSION nn, REM LEAD-OUT / LEAD-IN mm:ss:ff; other remarks (GENRE,
  // DATE, COMMENT ...) carry nothing a drive reports.
  bool Remark(const CueLine& cl) {
    const std::string what = cl.args.empty() ? std::string() : Upper(cl.args[0]);
    if (what == "LEAD-OUT" || what == "LEAD-IN") return GapRemark(cl, what == "LEAD-OUT");
    if (what != "SESSION") return true;
    int n = 0;
    if (cl.args.size() != 2 || !ParseNumber2(cl.args[1], 1, 99, n)) return Fail("bad session number");
    const CueTrack* track = m_s.tracks.empty() ? nullptr : &m_s.tracks.back();
    if (n == 1 && !m_sessionGiven) {
      // the tracks so far and those that follow are the first session
    } else if (n != m_session + 1) {
      return Fail("sessions must be numbered 1, 2, 3 ...");
    } else if (!track || track->session != m_session) {
      return Fail("session " + std::to_string(m_session) + " holds no tracks");
    }
    m_session = n;
    m_sessionGiven = true;
    return true;
  }

  bool GapRemark(const CueLine& cl, bool leadOut) {
    auto length = cl.args.size() == 2 ? ParseMsf(cl.args[1]) : std::nullopt;
    if (!length) return Fail("bad " + Upper(cl.args[0]) + " length");
    if (!leadOut && m_session == 1) return Fail("LEAD-IN before the second session");
    (leadOut ? m_s.leadOutOf : m_s.leadInOf)[m_session] = *length;
    return true;
  }

  bool File(const CueLine& cl) {
    if (cl.args.size() < 2) return Fail("FILE needs a name and a type");
    CueFile f;
    f.line = m_line;
    const std::string type = Upper(cl.args.back());
    if (cl.quoted[0]) {
      if (cl.args.size() != 2) return Fail("FILE needs a name and a type");
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
      return Fail("file type " + type + " is not supported (BINARY, MOTOROLA or WAVE)");
    }
    auto resolved = ResolveFile(m_dir, f.name);
    if (!resolved) return Fail("names a missing file: " + m_s.Decode(f.name));
    std::string err;
    f.file = OpenImageFile(resolved->string(), err);
    if (!f.file) return Fail(err);
    f.dataEnd = f.file->Size();
    if (f.kind == FileKind::Wave) {
      std::string why;
      if (!FindWaveData(*f.file, f.dataBegin, f.dataEnd, why)) return Fail(m_s.Decode(f.name) + " " + why);
    }
    m_s.files.push_back(std::move(f));
    return true;
  }

  bool Track(const CueLine& cl) {
    if (m_s.files.empty()) return Fail("TRACK before any FILE");
    int n = 0;
    if (cl.args.size() != 2 || !ParseNumber2(cl.args[0], 1, 99, n)) return Fail("bad track number");
    if (!m_s.tracks.empty() && n != m_s.tracks.back().number + 1) return Fail("track numbers must rise by one");
    if (!m_s.tracks.empty() && m_s.tracks.back().indexes.empty())
      return Fail("track " + std::to_string(m_s.tracks.back().number) + " has no INDEX");
    CueTrack t;
    t.number = n;
    t.session = m_session;
    t.line = m_line;
    const std::string type = Upper(cl.args[1]);
    for (const TrackType& tt : kTrackTypes)
      if (type == tt.name) t.type = &tt;
    if (!t.type) return Fail("track type " + type + " is not supported");
    m_s.tracks.push_back(std::move(t));
    return true;
  }

  bool Flags(const CueLine& cl, CueTrack& track) {
    for (const std::string& a : cl.args) {
      const std::string f = Upper(a);
      if (f == "DCP") track.flags |= 0x02;
      else if (f == "4CH") track.flags |= 0x08;
      else if (f == "PRE") track.flags |= 0x01;
      else if (f == "SCMS") continue;  // serial copy management lives in the sub-code, not the control bits
      else return Fail("unknown flag " + a);
    }
    return true;
  }

  bool Gap(const CueLine& cl, CueTrack& track) {
    const std::string& kw = cl.keyword;
    if (cl.args.size() != 1) return Fail(kw + " needs a time");
    auto t = ParseMsf(cl.args[0]);
    if (!t) return Fail("impossible time " + cl.args[0]);
    if (kw == "PREGAP") {
      if (!track.indexes.empty()) return Fail("PREGAP after an INDEX");
      track.pregap = *t;
    } else {
      if (track.indexes.empty()) return Fail("POSTGAP before any INDEX");
      track.postgap = *t;
    }
    return true;
  }

  bool Index(const CueLine& cl, CueTrack& track) {
    int n = 0;
    if (cl.args.size() != 2 || !ParseNumber2(cl.args[0], 0, 99, n)) return Fail("bad index number");
    if (track.postgap) return Fail("INDEX after POSTGAP");
    const int expect = track.indexes.empty() ? (n == 0 ? 0 : 1) : track.indexes.back().number + 1;
    if (n != expect) return Fail("index numbers must start at 00 or 01 and rise by one");
    auto t = ParseMsf(cl.args[1]);
    if (!t) return Fail("impossible time " + cl.args[1]);
    const int file = static_cast<int>(m_s.files.size()) - 1;
    const CueIndex* prev = nullptr;
    for (auto it = m_s.tracks.rbegin(); it != m_s.tracks.rend() && !prev; ++it)
      if (!it->indexes.empty()) prev = &it->indexes.back();
    if (prev && prev->file == file && *t < prev->frames) return Fail("times go backwards at INDEX " + cl.args[0]);
    track.indexes.push_back({n, file, *t, m_line});
    m_s.files[static_cast<std::size_t>(file)].hasIndex = true;
    return true;
  }

  CueSheet& m_s;
  fs::path m_dir;
  const SheetError& m_fail;
  int m_line = 0;
  int m_session = 1;
  bool m_sessionGiven = false;
};

// The sheet's text, checked to be one.
bool ReadSheet(const std::string& path, const std::string& cueName, std::string& text, std::string& error) {
  auto sheet = OpenImageFile(path, error);
  if (!sheet) return false;
  if (sheet->Size() == 0) return Fail(error, cueName + " is empty");
  switch (ReadTextFile(*sheet, kMaxCueBytes, text)) {
    case TextFileRead::TooLarge: return Fail(error, cueName + " is too large to be a cue sheet");
    case TextFileRead::Unreadable: return Fail(error, "cannot read " + cueName);
    case TextFileRead::Binary: return Fail(error, cueName + " is not a cue sheet (it holds binary data)");
    case TextFileRead::Read: break;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return true;
}

bool ParseSheet(const std::string& text, const fs::path& dir, CueSheet& sheet, const SheetError& fail) {
  sheet.utf8 = IsValidUtf8(text);
  CueParser parser(sheet, dir, fail);
  int lineNo = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!parser.Line(++lineNo, line)) return false;
  }
  return parser.Finish(static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1);
}

// Where each index's data lies in its file. An index's data runs to the next
// index, or to the end of its file and on into the next file until the next
// index; within a file each run's sectors have the size of its track.
class RunPlacer {
 public:
  RunPlacer(const CueSheet& s, const SheetError& fail) : m_s(s), m_fail(fail), m_cursor(s.files.size()) {
    for (std::size_t f = 0; f < s.files.size(); ++f) m_cursor[f].bytes = s.files[f].dataBegin;
  }

  bool Place(std::vector<DataRun>& runs) {
    std::vector<Point> points;
    for (std::size_t t = 0; t < m_s.tracks.size(); ++t)
      for (const CueIndex& i : m_s.tracks[t].indexes) points.push_back({static_cast<int>(t), &i});
    for (std::size_t p = 0; p < points.size(); ++p) {
      const Point& pt = points[p];
      const CueIndex& ix = *pt.index;
      const Cursor& c = m_cursor[static_cast<std::size_t>(ix.file)];
      // Sectors before the first index belong to the first track's pregap.
      if (p == 0 && ix.frames > 0 && !Run(pt.track, 0, ix.file, ix.frames, ix.line)) return false;
      if (ix.frames < c.frames) return m_fail(ix.line, "times go backwards");
      // Covered by the previous index's run unless that run ended short.
      if (ix.frames != c.frames || c.bytes > m_s.files[static_cast<std::size_t>(ix.file)].dataEnd)
        return m_fail(ix.line, "track " + std::to_string(m_s.tracks[static_cast<std::size_t>(pt.track)].number) +
                                   " lies past the end of " + m_s.Decode(m_s.files[static_cast<std::size_t>(ix.file)].name));
      if (!RunTo(pt, p + 1 < points.size() ? points[p + 1].index : nullptr)) return false;
    }
    runs = std::move(m_runs);
    return true;
  }

 private:
  struct Cursor {
    std::uint32_t frames = 0;
    std::uint64_t bytes = 0;
  };
  struct Point {
    int track;
    const CueIndex* index;
  };

  // The data of index pt: up to the next index in the same file, or to the
  // end of its file and through the files up to the next index.
  bool RunTo(const Point& pt, const CueIndex* next) {
    const CueIndex& ix = *pt.index;
    if (next && next->file == ix.file) return Run(pt.track, ix.number, ix.file, next->frames - ix.frames, next->line);
    if (!Run(pt.track, ix.number, ix.file, Remaining(pt.track, ix.file), ix.line)) return false;
    if (!next) return true;
    for (int f = ix.file + 1; f < next->file; ++f)
      if (!Run(pt.track, ix.number, f, Remaining(pt.track, f), next->line)) return false;
    return !next->frames || Run(pt.track, ix.number, next->file, next->frames, next->line);
  }

  bool Run(int track, int index, int file, std::uint32_t count, int line) {
    const CueFile& cf = m_s.files[static_cast<std::size_t>(file)];
    const std::uint32_t stride = m_s.tracks[static_cast<std::size_t>(track)].type->stride;
    Cursor& c = m_cursor[static_cast<std::size_t>(file)];
    if (std::uint64_t(count) * stride > cf.dataEnd - c.bytes)
      return m_fail(line, "INDEX lies past the end of " + m_s.Decode(cf.name));
    m_runs.push_back({track, index, file, c.bytes, count});
    c.frames += count;
    c.bytes += std::uint64_t(count) * stride;
    return true;
  }

  // The rest of a file, in whole sectors of the given track.
  std::uint32_t Remaining(int track, int file) const {
    const std::uint64_t left = m_s.files[static_cast<std::size_t>(file)].dataEnd - m_cursor[static_cast<std::size_t>(file)].bytes;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(left / m_s.tracks[static_cast<std::size_t>(track)].type->stride, UINT32_MAX));
  }

  const CueSheet& m_s;
  const SheetError& m_fail;
  std::vector<Cursor> m_cursor;
  std::vector<DataRun> m_runs;
};

void CloseSession(const CueSheet& s, int number, std::int64_t leadOut, DiscLayout& layout) {
  SessionLayout ss;
  ss.number = number;
  ss.leadOut = static_cast<std::int32_t>(leadOut);
  for (const CueTrack& t : s.tracks) {
    if (t.session != number) continue;
    if (t.type->cdi) ss.discType = 0x10;
    else if (t.type->mode != TrackMode::Audio && t.type->mode != TrackMode::Mode1 && ss.discType != 0x10)
      ss.discType = 0x20;
  }
  layout.sessions.push_back(ss);
}

// A later session's first track has at least the pregap a disc needs; the
// part its INDEX 00 data and PREGAP do not give is added unstored.
std::uint32_t SessionPregapShortfall(const CueTrack& ct, const std::vector<DataRun>& runs, std::size_t first,
                                     std::size_t end) {
  std::uint64_t given = ct.pregap;
  for (std::size_t k = first; k < end; ++k)
    if (runs[k].index == 0) given += runs[k].count;
  return given < kSessionPregap ? static_cast<std::uint32_t>(kSessionPregap - given) : 0;
}

void AddUnstored(TrackLayout& t, std::uint32_t count, std::int64_t& lba) {
  if (!count) return;
  t.extents.push_back(UnstoredRun(static_cast<std::int32_t>(lba), count, t.mode));
  lba += count;
}

void AddStored(const CueFile& cf, const TrackType& type, const DataRun& dr, std::int64_t lba, TrackLayout& t) {
  SectorStorage st;
  st.mode = type.mode;
  st.format = type.mode == TrackMode::Audio && cf.kind == FileKind::Motorola ? StoredFormat::Audio2352BE : type.format;
  st.stride = type.stride;
  st.subchannel = type.subchannel;
  Extent e = StoredRun(static_cast<std::int32_t>(lba), dr.count, cf.file, dr.offset, st);
  // Adjacent runs of one file join into one extent.
  Extent* prev = t.extents.empty() ? nullptr : &t.extents.back();
  if (prev && prev->file == e.file && prev->format == e.format && prev->stride == e.stride &&
      prev->offset + std::uint64_t(prev->count) * prev->stride == e.offset)
    prev->count += e.count;
  else
    t.extents.push_back(e);
}

// Track ct from lba on: its unstored pregap, its runs [first, end) with
// their indexes, its postgap.
bool LayOutTrack(const CueSheet& s, const CueTrack& ct, const std::vector<DataRun>& runs, std::size_t first,
                 std::size_t end, std::uint32_t unstoredPregap, std::int64_t& lba, TrackLayout& t,
                 const SheetError& fail) {
  t.number = ct.number;
  t.session = ct.session;
  t.mode = ct.type->mode;
  t.control = static_cast<std::uint8_t>((ct.type->mode == TrackMode::Audio ? 0x00 : 0x04) | ct.flags);
  t.isrc = ct.isrc;
  t.pregapStart = static_cast<std::int32_t>(lba);
  AddUnstored(t, unstoredPregap, lba);
  bool started = false;
  int lastIndex = -1;
  for (std::size_t r = first; r < end; ++r) {
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
    AddStored(s.files[static_cast<std::size_t>(dr.file)], *ct.type, dr, lba, t);
    lba += dr.count;
    if (lba > kMaxCdSectors) return fail(ct.line, "the disc would be longer than 99:59:74");
  }
  AddUnstored(t, ct.postgap, lba);
  if (lba > kMaxCdSectors) return fail(ct.line, "the disc would be longer than 99:59:74");
  t.length = static_cast<std::uint32_t>(lba - t.start);
  if (t.length == 0) return fail(ct.line, "track " + std::to_string(ct.number) + " holds no sectors");
  // Mode 2 raw data says by its sub-header whether it is CD-ROM XA; CD-i tracks are taken as given.
  if (!ct.type->cdi) RefineMode2(t);
  return true;
}

// The lead-out of session `before` and the lead-in of `after`: as the sheet
// gives them, else the standard lengths.
std::uint32_t SessionGap(const CueSheet& s, int before, int after, bool afterFirst) {
  constexpr std::uint32_t kFirstLeadOut = 6750, kLaterLeadOut = 2250, kLeadIn = 4500;
  const auto lengthOr = [](const std::map<int, std::uint32_t>& m, int n, std::uint32_t standard) {
    const auto it = m.find(n);
    return it == m.end() ? standard : it->second;
  };
  static_assert(kFirstLeadOut + kLeadIn == kFirstSessionGap && kLaterLeadOut + kLeadIn == kLaterSessionGap);
  return lengthOr(s.leadOutOf, before, afterFirst ? kFirstLeadOut : kLaterLeadOut) +
         lengthOr(s.leadInOf, after, kLeadIn);
}

// Disc addresses: the runs in order, with the unstored gaps between them and
// the lead-out and lead-in between sessions.
bool LayOutSheet(const CueSheet& s, const std::vector<DataRun>& runs, DiscLayout& layout, const SheetError& fail) {
  layout.format = "CUE";
  layout.profile = 0x08;
  layout.discStatus = 2;
  layout.catalog = s.catalog;
  std::int64_t lba = 0;
  std::size_t r = 0;
  for (std::size_t ti = 0; ti < s.tracks.size(); ++ti) {
    const CueTrack& ct = s.tracks[ti];
    std::size_t end = r;
    while (end < runs.size() && runs[end].track == static_cast<int>(ti)) ++end;
    std::uint32_t unstoredPregap = ct.pregap;
    if (ti > 0 && ct.session != s.tracks[ti - 1].session) {
      CloseSession(s, s.tracks[ti - 1].session, lba, layout);
      lba += SessionGap(s, s.tracks[ti - 1].session, ct.session, layout.sessions.size() == 1);
      unstoredPregap += SessionPregapShortfall(ct, runs, r, end);
    }
    TrackLayout t;
    if (!LayOutTrack(s, ct, runs, r, end, unstoredPregap, lba, t, fail)) return false;
    r = end;
    layout.tracks.push_back(std::move(t));
  }
  CloseSession(s, s.tracks.back().session, lba, layout);
  SetGivenTexts(layout, s.discText, s.discHasText, s.tracks);
  if (!layout.cdText.empty()) layout.cdText[0].isrc = s.catalog;  // the disc's UPC/EAN, as CD-TEXT carries it
  return true;
}

// CDTEXTFILE: the packs as recorded win over the sheet's own texts.
bool LoadCdTextFile(const CueSheet& s, const fs::path& dir, DiscLayout& layout, const SheetError& fail) {
  if (s.cdTextFile.empty()) return true;
  auto resolved = ResolveFile(dir, s.cdTextFile);
  if (!resolved) return fail(s.cdTextLine, "names a missing file: " + s.Decode(s.cdTextFile));
  std::string why;
  if (!ReadCdTextFile(resolved->string(), layout.cdTextPacks, why)) return fail(s.cdTextLine, why);
  auto texts = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
  if (!texts.empty()) layout.cdText = std::move(texts);
  return true;
}

class CueSheetReader final : public ImageReader {
 public:
  const char* Name() const override { return "CUE"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    const int score = LowerExtension(path) == ".cue" ? 50 : 0;
    if (LooksLikeSheet(head)) return std::max(score, 60);
    // A CD-TEXT file opened by itself (from a file manager): the disc is
    // the sheet of the same name beside it.
    if (LowerExtension(path) == ".cdt" && !SheetBesideCdText(path).empty()) return 110;
    return score;
  }

  bool Open(const std::string& given, DiscLayout& layout, std::string& error) const override;

 private:
  // A text whose first command is one a sheet starts with.
  static bool LooksLikeSheet(const std::vector<std::uint8_t>& head) {
    std::size_t i = 0;
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) i = 3;
    while (i < head.size() && std::isspace(head[i])) ++i;
    std::string word;
    while (i < head.size() && std::isalpha(head[i]) && word.size() < 12) word += static_cast<char>(head[i++]);
    word = Upper(word);
    for (const char* w : {"FILE", "REM", "CATALOG", "TITLE", "PERFORMER", "SONGWRITER", "CDTEXTFILE"})
      if (word == w && std::memchr(head.data(), 0, head.size()) == nullptr) return true;
    return false;
  }

  static std::string SheetBesideCdText(const std::string& cdt) {
    const fs::path cue = Sibling(cdt, ".cue");
    if (cue.empty()) return {};
    std::string err;
    auto f = OpenImageFile(cue.string(), err);
    std::vector<std::uint8_t> head(kSheetProbeBytes);
    if (!f) return {};
    head.resize(f->ReadAt(0, head.data(), head.size()));
    return LooksLikeSheet(head) ? cue.string() : std::string();
  }
  static constexpr std::size_t kSheetProbeBytes = 512;
};

bool CueSheetReader::Open(const std::string& given, DiscLayout& layout, std::string& error) const {
  // A .cdt opened by itself stands for the sheet of the same name beside it.
  std::string path = given;
  if (LowerExtension(given) == ".cdt") {
    const std::string cue = SheetBesideCdText(given);
    if (!cue.empty()) path = cue;
  }
  const std::string cueName = fs::path(path).filename().string();
  std::string text;
  if (!ReadSheet(path, cueName, text, error)) return false;
  const fs::path cueDir = fs::path(path).parent_path();
  const SheetError fail(cueName, error);
  CueSheet sheet;
  std::vector<DataRun> runs;
  return ParseSheet(text, cueDir, sheet, fail) && RunPlacer(sheet, fail).Place(runs) &&
         LayOutSheet(sheet, runs, layout, fail) && LoadCdTextFile(sheet, cueDir, layout, fail);
}

}  // namespace

const ImageReader& CueReader() {
  static const CueSheetReader reader;
  return reader;
}

}  // namespace orvane
