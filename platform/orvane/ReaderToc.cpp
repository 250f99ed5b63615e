// cdrdao TOC files: a text describing one session track by track, each track
// made of items that are stored in files (FILE/AUDIOFILE, DATAFILE) or not
// (SILENCE, ZERO), with PREGAP or START marking where index 01 begins and
// INDEX the further indexes, relative to it. CD_TEXT blocks give the texts of
// language block 0 for the disc and each track.
//
// Times are minutes:seconds:frames (75 frames a second) or, for audio, a count
// of samples (588 a sector); "#n" is a byte offset into a file. Track 1 starts
// at LBA 0; each track follows the one before without a gap. Raw audio files
// hold big-endian samples, WAVE files (named .wav) little-endian ones.
//
// Reading is two steps: the statements into what they say of each track
// (Parser, into a TocFile), then that into the disc's layout (LayOutToc).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "disc/SectorLayout.h"
#include "disc/TextCodec.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxTocBytes = 1u << 20;
constexpr int kMaxItems = 10000;
constexpr int kMaxDepth = 16;

struct Token {
  enum Kind { Word, String, Number, Msf, Offset, Open, Close, Colon, End } kind = End;
  std::string text;
  std::uint64_t value = 0;
  int line = 0;
};

// A quoted string from s[i] (the opening quote) with its \ooo escapes; i ends
// past the closing quote.
bool LexString(const std::string& s, std::size_t& i, Token& t, std::string& why) {
  t.kind = Token::String;
  ++i;
  for (;; ++i) {
    if (i >= s.size() || s[i] == '\n') {
      why = "line " + std::to_string(t.line) + ": unterminated string";
      return false;
    }
    if (s[i] == '"') break;
    if (s[i] == '\\' && i + 1 < s.size()) {
      ++i;
      if (s[i] >= '0' && s[i] <= '7') {  // \ooo octal
        int v = 0;
        for (int k = 0; k < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++k, ++i) v = v * 8 + (s[i] - '0');
        --i;
        t.text += static_cast<char>(v & 0xFF);
        continue;
      }
    }
    t.text += s[i];
  }
  ++i;
  return true;
}

// A number from s[i]: a count, a time m:s:f or, after '#', a byte offset.
bool LexNumber(const std::string& s, std::size_t& i, Token& t, std::string& why) {
  const bool offset = s[i] == '#';
  if (offset) ++i;
  std::size_t b = i;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ':')) ++i;
  t.text = s.substr(b, i - b);
  const auto colons = std::count(t.text.begin(), t.text.end(), ':');
  if (t.text.empty() || t.text.size() > 18 || (colons != 0 && colons != 2) || (offset && colons)) {
    why = "line " + std::to_string(t.line) + ": bad number " + t.text;
    return false;
  }
  if (colons) {
    unsigned m = 0, sec = 0, f = 0;
    char tail = 0;
    if (std::sscanf(t.text.c_str(), "%u:%u:%u%c", &m, &sec, &f, &tail) != 3 || sec >= 60 || f >= 75 || m > 99) {
      why = "line " + std::to_string(t.line) + ": impossible time " + t.text;
      return false;
    }
    t.kind = Token::Msf;
    t.value = static_cast<std::uint64_t>(disc::MsfToFrames(m, sec, f));
  } else {
    t.kind = offset ? Token::Offset : Token::Number;
    t.value = std::stoull(t.text);
  }
  return true;
}

// Splits the text into tokens; false with a reason on a character no TOC holds.
bool Tokenize(const std::string& s, std::vector<Token>& out, std::string& why) {
  int line = 1;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '\n') {
      ++line, ++i;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    Token t;
    t.line = line;
    if (c == '{' || c == '}' || c == ':' || c == ',') {
      t.kind = c == '{' ? Token::Open : c == '}' ? Token::Close : Token::Colon;
      if (c == ',') {  // binary lists in CD_TEXT blocks: separators only
        ++i;
        continue;
      }
      ++i;
    } else if (c == '"') {
      if (!LexString(s, i, t, why)) return false;
    } else if (c == '#' || std::isdigit(static_cast<unsigned char>(c))) {
      if (!LexNumber(s, i, t, why)) return false;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t b = i;
      while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
      t.kind = Token::Word;
      t.text = s.substr(b, i - b);
    } else {
      why = "line " + std::to_string(line) + ": unexpected character";
      return false;
    }
    out.push_back(std::move(t));
    if (out.size() > 20u * kMaxItems) {
      why = "holds too much";
      return false;
    }
  }
  Token end;
  end.line = line;
  out.push_back(end);
  return true;
}

struct TocMode {
  const char* name;
  TrackMode mode;
  std::uint32_t size;
};
constexpr TocMode kModes[] = {
    {"AUDIO", TrackMode::Audio, 2352},           {"MODE1", TrackMode::Mode1, 2048},
    {"MODE1_RAW", TrackMode::Mode1, 2352},       {"MODE2", TrackMode::Mode2Formless, 2336},
    {"MODE2_FORM1", TrackMode::Mode2Xa, 2048},   {"MODE2_FORM_MIX", TrackMode::Mode2Xa, 2336},
    {"MODE2_RAW", TrackMode::Mode2Xa, 2352},
};

struct Item {
  bool stored = false;
  std::shared_ptr<ImageFile> file;
  std::uint64_t offset = 0;
  std::uint32_t sectors = 0;
  bool wave = false;  // audio from a WAVE file: little-endian; raw audio files are big-endian
};

struct TocTrack {
  const TocMode* mode = nullptr;
  std::uint32_t stride = 0;
  std::uint8_t flags = 0;
  std::string isrc;
  CdTextEntry text;
  bool hasText = false;
  std::vector<Item> items;
  std::optional<std::uint32_t> pregap, start;  // sectors from the track's first sector to index 01
  std::vector<std::uint32_t> indexes;          // relative to index 01
};

// What the file says of the disc.
struct TocFile {
  std::uint8_t discType = 0;
  std::string catalog;
  CdTextEntry discText;
  bool discHasText = false;
  std::vector<TocTrack> tracks;
};

// The tokens into a TocFile, statement by statement.
class Parser {
 public:
  Parser(std::vector<Token> tokens, fs::path dir, TocFile& toc)
      : m_t(std::move(tokens)), m_dir(std::move(dir)), m_toc(toc), m_tracks(toc.tracks) {}

  bool Parse(std::string& why) {
    while (Peek().kind != Token::End) {
      const Token& t = Next();
      if (t.kind != Token::Word) return Fail(t, "expected a keyword", why);
      if (t.text == "CD_DA" || t.text == "CD_ROM") {
        m_toc.discType = 0x00;
      } else if (t.text == "CD_ROM_XA") {
        m_toc.discType = 0x20;
      } else if (t.text == "CD_I") {
        m_toc.discType = 0x10;
      } else if (t.text == "CATALOG") {
        const Token& v = Next();
        if (v.kind != Token::String || !AllOf(v.text, 13, isdigit)) return Fail(v, "CATALOG must be 13 digits", why);
        m_toc.catalog = v.text;
      } else if (t.text == "CD_TEXT") {
        const bool track = !m_tracks.empty();
        if (!CdText(track ? m_tracks.back().text : m_toc.discText, why)) return false;
        (track ? m_tracks.back().hasText : m_toc.discHasText) = true;
      } else if (t.text == "TRACK") {
        if (!Track(t, why)) return false;
      } else if (m_tracks.empty()) {
        return Fail(t, t.text + " outside a TRACK", why);
      } else if (!TrackStatement(t, why)) {
        return false;
      }
    }
    if (m_tracks.empty()) return Fail(Peek(), "the file holds no tracks", why);
    return true;
  }

 private:
  const Token& Peek() const { return m_t[m_i]; }
  const Token& Next() { return m_i + 1 < m_t.size() ? m_t[m_i++] : m_t.back(); }
  bool Fail(const Token& t, const std::string& what, std::string& why) {
    why = "line " + std::to_string(t.line) + ": " + what;
    return false;
  }

  // TRACK mode [RW | RW_RAW]
  bool Track(const Token& kw, std::string& why) {
    if (m_tracks.size() == 99) return Fail(kw, "more than 99 tracks", why);
    const Token& m = Next();
    TocTrack tr;
    for (const TocMode& km : kModes)
      if (m.kind == Token::Word && m.text == km.name) tr.mode = &km;
    if (!tr.mode) return Fail(m, "track mode " + m.text + " is not supported", why);
    tr.stride = tr.mode->size;
    if (Peek().kind == Token::Word && (Peek().text == "RW" || Peek().text == "RW_RAW")) {
      Next();
      tr.stride += 96;  // R-W only: P and Q are made from the track's position
    }
    m_tracks.push_back(std::move(tr));
    return true;
  }

  // A length: minutes:seconds:frames, or samples for audio.
  bool Length(const Token& v, bool audio, std::uint32_t& sectors, std::string& why) {
    if (v.kind == Token::Msf) {
      sectors = static_cast<std::uint32_t>(v.value);
      return true;
    }
    if (v.kind == Token::Number && audio) {
      if (v.value % 588) return Fail(v, "a length in samples must be whole sectors (588 samples)", why);
      if (v.value / 588 > std::uint64_t(kMaxCdSectors)) return Fail(v, "a length longer than a CD", why);
      sectors = static_cast<std::uint32_t>(v.value / 588);
      return true;
    }
    return Fail(v, "expected a length", why);
  }

  bool TrackStatement(const Token& kw, std::string& why) {
    TocTrack& tr = m_tracks.back();
    const bool audio = tr.mode->mode == TrackMode::Audio;
    const std::string& w = kw.text;
    if (w == "NO") {
      const Token& n = Next();
      if (n.kind != Token::Word || (n.text != "COPY" && n.text != "PRE_EMPHASIS"))
        return Fail(n, "NO must be followed by COPY or PRE_EMPHASIS", why);
      tr.flags &= static_cast<std::uint8_t>(n.text == "COPY" ? ~0x02 : ~0x01);
    } else if (w == "COPY") {
      tr.flags |= 0x02;
    } else if (w == "PRE_EMPHASIS") {
      tr.flags |= 0x01;
    } else if (w == "FOUR_CHANNEL_AUDIO") {
      tr.flags |= 0x08;
    } else if (w == "TWO_CHANNEL_AUDIO") {
      tr.flags &= static_cast<std::uint8_t>(~0x08);
    } else if (w == "ISRC") {
      const Token& v = Next();
      if (v.kind != Token::String || !AllOf(v.text, 12, isalnum)) return Fail(v, "ISRC must be 12 letters and digits", why);
      tr.isrc = v.text;
    } else if (w == "PREGAP") {
      if (!tr.items.empty() || tr.pregap) return Fail(kw, "PREGAP must come before the track's data", why);
      std::uint32_t n = 0;
      if (!Length(Next(), audio, n, why)) return false;
      tr.pregap = n;
      AddItem(tr, Item{false, nullptr, 0, n, false});
    } else if (w == "SILENCE" || w == "ZERO") {
      if (w == "ZERO" && Peek().kind == Token::Word) Next();  // an optional data mode
      if (w == "ZERO" && Peek().kind == Token::Word) Next();  // and sub-channel mode
      std::uint32_t n = 0;
      if (!Length(Next(), audio || w == "SILENCE", n, why)) return false;
      if (!AddItem(tr, Item{false, nullptr, 0, n, false})) return Fail(kw, "too many items", why);
    } else if (w == "FILE" || w == "AUDIOFILE" || w == "DATAFILE") {
      if (!FileItem(kw, tr, why)) return false;
    } else if (w == "START") {
      if (tr.start) return Fail(kw, "a second START", why);
      std::uint32_t at = 0;
      for (const Item& it : tr.items) at += it.sectors;
      if (Peek().kind == Token::Msf) at = static_cast<std::uint32_t>(Next().value);
      tr.start = at;
    } else if (w == "INDEX") {
      std::uint32_t n = 0;
      if (!Length(Next(), false, n, why)) return false;
      if (!tr.indexes.empty() && n <= tr.indexes.back()) return Fail(kw, "INDEX times must rise", why);
      if (tr.indexes.size() == 98) return Fail(kw, "too many indexes", why);
      tr.indexes.push_back(n);
    } else {
      return Fail(kw, "unknown statement " + w, why);
    }
    return true;
  }

  // FILE/AUDIOFILE "name" [#offset] start [length], DATAFILE "name" [#offset] [length]:
  // sectors stored in a file.
  bool FileItem(const Token& kw, TocTrack& tr, std::string& why) {
    const std::string& w = kw.text;
    const bool audio = tr.mode->mode == TrackMode::Audio;
    const Token& nameTok = Next();
    if (nameTok.kind != Token::String) return Fail(nameTok, w + " needs a quoted file name", why);
    fs::path p(nameTok.text);
    if (p.is_relative()) p = m_dir / p;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return Fail(nameTok, "names a missing file: " + nameTok.text, why);
    auto file = OpenImageFile(p.string(), why);
    if (!file) return false;
    // A WAVE file's samples start after its header; its size is its data chunk's.
    std::uint64_t base = 0, end = file->Size();
    const bool wave = w != "DATAFILE" && LowerExtension(nameTok.text) == ".wav";
    std::string waveWhy;
    if (wave && !FindWaveData(*file, base, end, waveWhy)) return Fail(nameTok, nameTok.text + " " + waveWhy, why);
    const std::uint64_t size = end - base;
    std::uint64_t offset = 0;
    if (Peek().kind == Token::Offset) offset = Next().value;
    if (w != "DATAFILE") {  // a start within the file: time or samples
      const Token& st = Next();
      if (st.kind == Token::Msf) offset += st.value * tr.stride;
      else if (st.kind == Token::Number) offset += st.value * 4;
      else return Fail(st, w + " needs a start", why);
    }
    if (offset > size) return Fail(nameTok, "starts past the end of " + nameTok.text, why);
    std::uint32_t n = 0;
    if (Peek().kind == Token::Msf || (Peek().kind == Token::Number && w != "DATAFILE")) {
      if (!Length(Next(), audio, n, why)) return false;
    } else if (Peek().kind == Token::Number) {  // a data file's length in bytes
      const Token& b = Next();
      if (b.value % tr.stride) return Fail(b, "a length in bytes must be whole sectors", why);
      n = static_cast<std::uint32_t>(std::min<std::uint64_t>(b.value / tr.stride, UINT32_MAX));
    } else {
      n = static_cast<std::uint32_t>(std::min<std::uint64_t>((size - offset) / tr.stride, UINT32_MAX));
      if (n == 0) return Fail(nameTok, nameTok.text + " holds no whole sector", why);
    }
    if (std::uint64_t(n) * tr.stride > size - offset)
      return Fail(nameTok, "lies past the end of " + nameTok.text + " (is it truncated?)", why);
    if (!AddItem(tr, Item{true, file, base + offset, n, wave})) return Fail(kw, "too many items", why);
    return true;
  }

  bool AddItem(TocTrack& tr, Item it) {
    if (++m_items > kMaxItems) return false;
    tr.items.push_back(std::move(it));
    return true;
  }

  // CD_TEXT { LANGUAGE_MAP { ... } LANGUAGE n { KEY "value" | KEY { bytes } ... } ... }
  bool CdText(CdTextEntry& e, std::string& why) {
    if (Next().kind != Token::Open) return Fail(m_t[m_i - 1], "CD_TEXT needs a block", why);
    int depth = 1, language = -1;
    std::string key;
    while (depth > 0) {
      const Token& t = Next();
      if (t.kind == Token::End) return Fail(t, "CD_TEXT block is not closed", why);
      if (t.kind == Token::Open) {
        if (++depth > kMaxDepth) return Fail(t, "CD_TEXT blocks nest too deep", why);
        continue;
      }
      if (t.kind == Token::Close) {
        if (--depth == 1) language = -1;
        continue;
      }
      if (t.kind == Token::Word && t.text == "LANGUAGE" && Peek().kind == Token::Number) {
        language = static_cast<int>(std::min<std::uint64_t>(Next().value, 255));
        continue;
      }
      if (t.kind == Token::Word) {
        key = t.text;
        continue;
      }
      // Block 0 texts are ISO 8859-1, unless the writer already gave UTF-8.
      if (t.kind == Token::String && language == 0 && depth == 2)
        if (std::string* to = CdTextField(e, key)) *to = Utf8OrLatin1(t.text);
    }
    return true;
  }

  std::vector<Token> m_t;
  std::size_t m_i = 0;
  fs::path m_dir;
  TocFile& m_toc;
  std::vector<TocTrack>& m_tracks;
  int m_items = 0;
};

// Track tt from lba on, its items one after another.
bool LayOutTrack(const TocTrack& tt, int number, std::int64_t& lba, TrackLayout& t, std::string& why) {
  const std::string name = "track " + std::to_string(number);
  t.number = number;
  t.mode = tt.mode->mode;
  t.control = static_cast<std::uint8_t>((t.mode == TrackMode::Audio ? 0x00 : 0x04) | tt.flags);
  t.isrc = tt.isrc;
  t.pregapStart = static_cast<std::int32_t>(lba);
  std::uint64_t total = 0;
  auto storage = StorageFor(t.mode, tt.mode->size);
  storage->stride = tt.stride;
  for (const Item& it : tt.items) {
    if (!it.sectors) continue;
    SectorStorage st = *storage;
    if (t.mode == TrackMode::Audio && !it.wave) st.format = StoredFormat::Audio2352BE;
    t.extents.push_back(it.stored ? StoredRun(static_cast<std::int32_t>(lba), it.sectors, it.file, it.offset, st)
                                  : UnstoredRun(static_cast<std::int32_t>(lba), it.sectors, t.mode));
    lba += it.sectors;
    total += it.sectors;
    if (lba > kMaxCdSectors) return Fail(why, name + " the disc would be longer than 99:59:74");
  }
  const std::uint32_t pregap = tt.start ? *tt.start : tt.pregap ? *tt.pregap : 0;
  if (pregap >= total) return Fail(why, name + " has no sectors after its pregap");
  t.start = t.pregapStart + static_cast<std::int32_t>(pregap);
  t.length = static_cast<std::uint32_t>(total - pregap);
  for (std::uint32_t ix : tt.indexes) {
    if (ix == 0 || ix >= t.length) return Fail(why, name + " has an INDEX outside the track");
    t.furtherIndexes.push_back(t.start + static_cast<std::int32_t>(ix));
  }
  if (tt.mode->size == disc::kRawSectorSize) RefineMode2(t);  // MODE2_RAW says nothing of its sub-headers
  return true;
}

// One session: track 1 at LBA 0, each track right after the one before.
bool LayOutToc(const TocFile& toc, DiscLayout& layout, std::string& why) {
  layout.format = "TOC";
  layout.profile = 0x08;
  layout.discStatus = 2;
  layout.catalog = toc.catalog;
  std::int64_t lba = 0;
  for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
    TrackLayout t;
    if (!LayOutTrack(toc.tracks[i], static_cast<int>(i) + 1, lba, t, why)) return false;
    layout.tracks.push_back(std::move(t));
  }
  SetGivenTexts(layout, toc.discText, toc.discHasText, toc.tracks);
  SessionLayout s;
  s.number = 1;
  s.discType = toc.discType;
  s.leadOut = static_cast<std::int32_t>(lba);
  layout.sessions.push_back(s);
  return true;
}

bool LooksLikeToc(const std::vector<std::uint8_t>& head) {
  if (head.empty() || std::memchr(head.data(), 0, head.size())) return false;
  std::size_t i = 0;
  for (;;) {
    while (i < head.size() && std::isspace(head[i])) ++i;
    if (i + 1 < head.size() && head[i] == '/' && head[i + 1] == '/') {
      while (i < head.size() && head[i] != '\n') ++i;
      continue;
    }
    break;
  }
  std::string word;
  while (i < head.size() && (std::isalnum(head[i]) || head[i] == '_') && word.size() < 12) word += static_cast<char>(head[i++]);
  if (word == "CD_DA" || word == "CD_ROM" || word == "CD_ROM_XA" || word == "CD_I" || word == "CD_TEXT") return true;
  while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) ++i;
  if (word == "CATALOG") return i < head.size() && head[i] == '"';  // a CUE sheet's catalogue is not quoted
  return word == "TRACK" && i + 5 <= head.size() && (!std::memcmp(&head[i], "AUDIO", 5) || !std::memcmp(&head[i], "MODE", 4));
}

class TocImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "TOC"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (LooksLikeToc(head)) return 80;  // above a CUE sheet's guess by its first word
    return LowerExtension(path) == ".toc" ? 10 : 0;
  }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    auto fail = [&](const std::string& why) {
      error = path + ": " + why;
      return false;
    };
    auto f = OpenImageFile(path, error);
    if (!f) return false;
    std::string text;
    switch (ReadTextFile(*f, kMaxTocBytes, text)) {
      case TextFileRead::TooLarge: return fail("too large for a TOC file");
      case TextFileRead::Unreadable: return fail("cannot be read");
      case TextFileRead::Binary: return fail("holds binary data");
      case TextFileRead::Read: break;
    }
    std::vector<Token> tokens;
    std::string why;
    if (!Tokenize(text, tokens, why)) return fail(why);
    TocFile toc;
    Parser parser(std::move(tokens), fs::path(path).parent_path(), toc);
    if (!parser.Parse(why) || !LayOutToc(toc, layout, why)) {
      layout = DiscLayout{};
      return fail(why);
    }
    return CheckLayout(layout, path, error);
  }
};

}  // namespace

const ImageReader& TocReader() {
  static const TocImageReader reader;
  return reader;
}

}  // namespace orvane
