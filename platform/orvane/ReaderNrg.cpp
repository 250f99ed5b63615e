// Nero images (.nrg): the sectors first, then a chain of chunks that says
// what they are, found through a footer at the very end of the file ("NERO"
// and a 32-bit offset, or "NER5" and a 64-bit one). All numbers big-endian.
//
// Disc-at-once images carry, per session, a cue chunk (CUES with BCD
// minute:second:frame addresses, CUEX with signed LBAs) listing every index of
// every track and the lead-out, and a DAO chunk (DAOI 32-bit, DAOX 64-bit
// offsets) giving each track's sector size, mode and where its index 00, index
// 01 and end lie in the file. Track-at-once images carry ETNF/ETN2 entries:
// offset, length, mode and start of each track. SINF gives each session's
// track count, CDTX the CD-TEXT packs, MTYP the medium.
//
// A track-at-once disc has a 150-sector gap before every track after the
// first, which the image does not keep but the disc's own addresses (its ISO
// 9660 extents) count. The entries' start fields leave the gaps out, so they
// are not used: each track starts 150 sectors after the one before ends, the
// gap served as its unstored pregap, as libcdio lays such images out. A new
// session adds the lead-out and lead-in a recorder writes before that gap.
// DVDs have no such gaps: their entries' starts stand.
//
// Reading is two steps: the chunk chain into records of what each chunk says
// (ParseChain), then those records into the disc's layout (LayOut...).
#include <algorithm>
#include <cctype>
#include <cstring>

#include "disc/ByteOrder.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

constexpr std::uint64_t kMaxChainBytes = 16u << 20;  // real chains are a few KiB
constexpr int kMaxChunks = 4096;
constexpr std::size_t kCueEntry = 8;
constexpr std::size_t kDaoHeader = 22;
constexpr std::size_t kDaoiTrack = 30, kDaoxTrack = 42;
constexpr std::size_t kEtnfTrack = 20, kEtn2Track = 32;

std::uint32_t Id(const char* s) { return GetBE32(s); }

std::uint64_t GetBE64(const std::uint8_t* p) { return (std::uint64_t(GetBE32(p)) << 32) | GetBE32(p + 4); }

int FromBcdChecked(std::uint8_t v) {
  if ((v >> 4) > 9 || (v & 0x0F) > 9) return -1;
  return (v >> 4) * 10 + (v & 0x0F);
}

// A Nero track mode: how its sectors are stored.
std::optional<SectorStorage> NeroStorage(unsigned mode) {
  switch (mode) {
    case 0x00: return StorageFor(TrackMode::Mode1, disc::kUserDataSize);
    case 0x02: return StorageFor(TrackMode::Mode2Xa, disc::kUserDataSize);   // Mode 2 Form 1 user data
    case 0x03: return StorageFor(TrackMode::Mode2Xa, disc::kMode2BodySize);
    case 0x05: return StorageFor(TrackMode::Mode1, disc::kRawSectorSize);
    case 0x06: return StorageFor(TrackMode::Mode2Xa, disc::kRawSectorSize);
    case 0x07: return StorageFor(TrackMode::Audio, disc::kRawSectorSize);
    case 0x0F: return StorageFor(TrackMode::Mode1, 2448);
    case 0x10: return StorageFor(TrackMode::Audio, 2448);
    case 0x11: return StorageFor(TrackMode::Mode2Xa, 2448);
    default: return std::nullopt;
  }
}

// Between two tracks written at once each, the recorder leaves this many sectors.
constexpr std::int32_t kTaoGap = 150;

// What the chain says, chunk by chunk.
struct CuePoint {
  int track;  // 0 lead-in, 0xAA lead-out
  int index;
  std::uint8_t control;
  std::int32_t lba;
};

struct NrgTrack {
  int number = 0;
  SectorStorage storage;
  unsigned mode = 0;
  std::string isrc;
  std::uint64_t index0 = 0, index1 = 0, end = 0;  // byte offsets (DAO)
  std::uint64_t offset = 0, bytes = 0;             // (TAO)
  std::int32_t taoStart = 0;                       // (TAO) the entry's start, which leaves the gaps out
  int cueChunk = -1;
};

struct NrgChain {
  std::vector<std::vector<CuePoint>> cues;  // one list per cue chunk (a session)
  std::vector<NrgTrack> tracks;
  std::vector<std::uint32_t> sessionCounts;  // SINF: tracks in each session
  std::vector<std::uint8_t> cdTextPacks;
  std::string catalog;
  std::uint32_t mediaType = 0;
  bool tao = false, dao = false;
};

// The chunk chain's bytes, found through the footer.
bool ReadChain(ImageFile& file, std::vector<std::uint8_t>& c, std::string& why) {
  const std::uint64_t size = file.Size();
  if (size < 12) return Fail(why, "too short for a Nero image");
  std::uint8_t tail[12];
  if (file.ReadAt(size - 12, tail, 12) != 12) return Fail(why, "cannot read its footer");
  std::uint64_t chain = 0, chainEnd = 0;
  if (!std::memcmp(tail, "NER5", 4)) {
    chain = GetBE64(tail + 4);
    chainEnd = size - 12;
  } else if (!std::memcmp(tail + 4, "NERO", 4)) {
    chain = GetBE32(tail + 8);
    chainEnd = size - 8;
  } else {
    return Fail(why, "has no Nero footer (NERO or NER5) at its end");
  }
  if (chain >= chainEnd) return Fail(why, "its chunk chain starts past its end");
  if (chainEnd - chain > kMaxChainBytes) return Fail(why, "its chunk chain is implausibly large");
  c.resize(static_cast<std::size_t>(chainEnd - chain));
  if (file.ReadAt(chain, c.data(), c.size()) != c.size()) return Fail(why, "cannot read its chunk chain");
  return true;
}

bool ParseCue(const std::uint8_t* d, std::uint32_t len, bool x, NrgChain& chain, std::string& why) {
  if (len % kCueEntry) return Fail(why, "its cue chunk is not made of 8-byte entries");
  std::vector<CuePoint> pts;
  for (std::size_t k = 0; k < len; k += kCueEntry) {
    const std::uint8_t* e = d + k;
    CuePoint p;
    p.control = e[0] >> 4;
    p.track = e[1] == 0xAA ? 0xAA : FromBcdChecked(e[1]);
    p.index = FromBcdChecked(e[2]);
    if (p.track < 0 || p.index < 0) return Fail(why, "its cue chunk holds a number that is not BCD");
    if (x) {
      p.lba = static_cast<std::int32_t>(GetBE32(e + 4));
    } else {
      const int m = FromBcdChecked(e[5]), s = FromBcdChecked(e[6]), f = FromBcdChecked(e[7]);
      if (m < 0 || s < 0 || f < 0 || s >= 60 || f >= 75) return Fail(why, "its cue chunk holds an impossible time");
      p.lba = static_cast<std::int32_t>(disc::MsfToFrames(m, s, f)) - disc::kLbaOffset;
    }
    pts.push_back(p);
  }
  chain.cues.push_back(std::move(pts));
  return true;
}

// One track of a DAO chunk: 0 ISRC, 12 sector size, 14 mode, 18 index 00,
// index 01 and end offsets (32-bit in DAOI, 64-bit in DAOX).
bool ParseDaoTrack(const std::uint8_t* e, bool x, NrgTrack& t, std::string& why) {
  t.isrc.assign(reinterpret_cast<const char*>(e), 12);
  if (!AllOf(t.isrc, 12, isalnum)) t.isrc.clear();
  const unsigned sectorSize = GetBE16(e + 12);
  t.mode = e[14];
  auto st = NeroStorage(t.mode);
  if (!st) return Fail(why, "track " + std::to_string(t.number) + " has the unknown mode " + std::to_string(t.mode));
  if (st->stride != sectorSize)
    return Fail(why, "track " + std::to_string(t.number) + " stores " + std::to_string(sectorSize) +
                         "-byte sectors, its mode needs " + std::to_string(st->stride));
  t.storage = *st;
  if (x) {
    t.index0 = GetBE64(e + 18), t.index1 = GetBE64(e + 26), t.end = GetBE64(e + 34);
  } else {
    t.index0 = GetBE32(e + 18), t.index1 = GetBE32(e + 22), t.end = GetBE32(e + 26);
  }
  return true;
}

// A DAO chunk: 4 catalogue number, 20 first and 21 last track, then the tracks.
bool ParseDao(const std::uint8_t* d, std::uint32_t len, bool x, NrgChain& chain, std::string& why) {
  const std::size_t per = x ? kDaoxTrack : kDaoiTrack;
  if (len < kDaoHeader || (len - kDaoHeader) % per) return Fail(why, "its DAO chunk has a size no track list gives");
  if (chain.cues.empty()) return Fail(why, "its DAO chunk comes before any cue chunk");
  chain.dao = true;
  std::string mcn(reinterpret_cast<const char*>(d + 4), 13);
  if (AllOf(mcn, 13, isdigit) && mcn != std::string(13, '0')) chain.catalog = mcn;
  const int first = d[20], last = d[21];
  const std::size_t count = (len - kDaoHeader) / per;
  if (first < 1 || last > 99 || last < first || std::size_t(last - first + 1) != count)
    return Fail(why, "its DAO chunk numbers tracks " + std::to_string(first) + " to " + std::to_string(last) +
                         " but lists " + std::to_string(count));
  for (std::size_t k = 0; k < count; ++k) {
    NrgTrack t;
    t.number = first + static_cast<int>(k);
    if (!ParseDaoTrack(d + kDaoHeader + k * per, x, t, why)) return false;
    t.cueChunk = static_cast<int>(chain.cues.size()) - 1;
    chain.tracks.push_back(t);
  }
  return true;
}

// ETNF entries: 0 offset, 4 length, 8 mode, 12 start; ETN2: 0 offset and 8
// length of 64 bits, 16 mode, 20 start.
bool ParseEtn(const std::uint8_t* d, std::uint32_t len, bool x, NrgChain& chain, std::string& why) {
  const std::size_t per = x ? kEtn2Track : kEtnfTrack;
  if (len % per) return Fail(why, "its track-at-once chunk is not made of whole entries");
  chain.tao = true;
  for (std::size_t k = 0; k < len; k += per) {
    const std::uint8_t* e = d + k;
    NrgTrack t;
    t.number = static_cast<int>(chain.tracks.size()) + 1;
    t.offset = x ? GetBE64(e) : GetBE32(e);
    t.bytes = x ? GetBE64(e + 8) : GetBE32(e + 4);
    t.mode = GetBE32(e + (x ? 16 : 8));
    t.taoStart = static_cast<std::int32_t>(GetBE32(e + (x ? 20 : 12)));
    auto st = NeroStorage(t.mode);
    if (!st) return Fail(why, "track " + std::to_string(t.number) + " has the unknown mode " + std::to_string(t.mode));
    t.storage = *st;
    chain.tracks.push_back(t);
  }
  return true;
}

bool ParseChunk(std::uint32_t id, const std::uint8_t* d, std::uint32_t len, NrgChain& chain, std::string& why) {
  if (id == Id("CUES") || id == Id("CUEX")) return ParseCue(d, len, id == Id("CUEX"), chain, why);
  if (id == Id("DAOI") || id == Id("DAOX")) return ParseDao(d, len, id == Id("DAOX"), chain, why);
  if (id == Id("ETNF") || id == Id("ETN2")) return ParseEtn(d, len, id == Id("ETN2"), chain, why);
  if (id == Id("SINF")) {
    if (len < 4) return Fail(why, "its session chunk is too short");
    chain.sessionCounts.push_back(GetBE32(d));
  } else if (id == Id("CDTX")) {
    auto packs = CdTextPacksFrom(d, len);
    chain.cdTextPacks.insert(chain.cdTextPacks.end(), packs.begin(), packs.end());
  } else if (id == Id("MTYP")) {
    if (len >= 4) chain.mediaType = GetBE32(d);
  } else if (id == Id("NERO") || id == Id("NER5")) {
    return Fail(why, "its chunk chain runs into its footer");
  }
  // Other chunks (DINF, TOCT, RELO ...) say nothing a drive reports.
  return true;
}

// Every chunk up to END!: an id, a 32-bit length and that many bytes.
bool ParseChain(const std::vector<std::uint8_t>& c, NrgChain& chain, std::string& why) {
  std::size_t at = 0;
  for (int n = 0;; ++n) {
    if (n == kMaxChunks) return Fail(why, "has too many chunks");
    if (c.size() - at < 8) return Fail(why, "its chunk chain ends without END!");
    const std::uint32_t id = GetBE32(&c[at]);
    const std::uint32_t len = GetBE32(&c[at + 4]);
    at += 8;
    if (len > c.size() - at) {
      char name[5] = {};
      std::memcpy(name, &c[at - 8], 4);
      for (char& ch : name)
        if (ch && !std::isprint(static_cast<unsigned char>(ch))) ch = '?';
      return Fail(why, std::string("chunk ") + name + " runs past the end of the chain");
    }
    if (id == Id("END!")) return true;
    if (!ParseChunk(id, &c[at], len, chain, why)) return false;
    at += len;
  }
}

// A disc-at-once track where its cue chunk puts it, its pregap stored as far
// as the file holds it.
bool LayOutDaoTrack(const NrgTrack& nt, const std::vector<CuePoint>& pts, const std::shared_ptr<ImageFile>& file,
                    TrackLayout& t, std::string& why) {
  const std::string name = "track " + std::to_string(nt.number);
  t.number = nt.number;
  t.session = nt.cueChunk + 1;
  t.mode = nt.storage.mode;
  t.isrc = nt.isrc;
  bool have0 = false, have1 = false;
  std::uint8_t control = 0;
  for (const CuePoint& p : pts) {
    if (p.track != nt.number) continue;
    if (p.index == 0) {
      t.pregapStart = p.lba;
      have0 = true;
    } else if (p.index == 1) {
      t.start = p.lba;
      control = p.control;
      have1 = true;
    } else if (have1 && p.lba > t.start) {
      t.furtherIndexes.push_back(p.lba);
    }
  }
  if (!have1) return Fail(why, name + " has no index 01 in its cue chunk");
  if (!have0 || t.pregapStart > t.start) t.pregapStart = t.start;
  // Data or audio is the track's mode; copy and pre-emphasis come from the cue.
  t.control = static_cast<std::uint8_t>((t.mode == TrackMode::Audio ? 0x00 : 0x04) | (control & 0x0B));
  const std::uint32_t ss = nt.storage.stride;
  if (nt.index0 > nt.index1 || nt.index1 > nt.end) return Fail(why, name + " has its file offsets out of order");
  if ((nt.end - nt.index1) % ss || (nt.index1 - nt.index0) % ss)
    return Fail(why, name + " does not hold whole " + std::to_string(ss) + "-byte sectors");
  if (nt.end > file->Size()) return Fail(why, name + " lies past the end of the file (is it truncated?)");
  const std::uint64_t pregapStored = (nt.index1 - nt.index0) / ss;
  const std::uint64_t stored = (nt.end - nt.index1) / ss;
  const std::int64_t pregapSpan = std::int64_t(t.start) - t.pregapStart;
  if (pregapSpan > kMaxCdSectors) return Fail(why, name + " has a pregap longer than a disc");
  const auto pregap = static_cast<std::uint32_t>(pregapSpan);
  if (pregapStored > pregap) return Fail(why, name + " stores a longer pregap than its cue gives");
  if (stored == 0 || stored > std::uint64_t(kMaxCdSectors)) return Fail(why, name + " holds no sectors");
  if (pregap > pregapStored)
    t.extents.push_back(UnstoredRun(t.pregapStart, pregap - static_cast<std::uint32_t>(pregapStored), t.mode));
  if (pregapStored)
    t.extents.push_back(StoredRun(t.start - static_cast<std::int32_t>(pregapStored),
                                  static_cast<std::uint32_t>(pregapStored), file, nt.index0, nt.storage));
  t.extents.push_back(StoredRun(t.start, static_cast<std::uint32_t>(stored), file, nt.index1, nt.storage));
  t.length = static_cast<std::uint32_t>(stored);
  RefineMode2(t);
  return true;
}

bool LayOutDao(const NrgChain& chain, const std::shared_ptr<ImageFile>& file, DiscLayout& layout, std::string& why) {
  for (const NrgTrack& nt : chain.tracks) {
    TrackLayout t;
    if (!LayOutDaoTrack(nt, chain.cues[static_cast<std::size_t>(nt.cueChunk)], file, t, why)) return false;
    layout.tracks.push_back(std::move(t));
  }
  // The next track's index 00 (or the lead-out) must lie where this track's data ends.
  for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
    const TrackLayout& t = layout.tracks[i];
    std::int64_t next = INT64_MIN;
    if (i + 1 < layout.tracks.size() && layout.tracks[i + 1].session == t.session) {
      next = layout.tracks[i + 1].pregapStart;
    } else {
      for (const CuePoint& p : chain.cues[static_cast<std::size_t>(t.session - 1)])
        if (p.track == 0xAA) next = p.lba;
    }
    if (next != INT64_MIN && next != std::int64_t(t.start) + t.length)
      return Fail(why, "track " + std::to_string(t.number) + " stores " + std::to_string(t.length) +
                           " sectors but its cue gives " + std::to_string(next - t.start));
  }
  return true;
}

// Sessions: SINF counts tracks per session; without it the sessions stay as laid out.
bool ApplySessionCounts(const std::vector<std::uint32_t>& counts, std::vector<TrackLayout>& tracks, std::string& why) {
  if (counts.empty()) return true;
  std::size_t k = 0;
  int session = 0;
  for (std::uint32_t n : counts) {
    ++session;
    if (n == 0 || n > tracks.size() - k) return Fail(why, "its session chunks count other tracks than it lists");
    for (std::uint32_t i = 0; i < n; ++i) tracks[k++].session = session;
  }
  if (k != tracks.size()) return Fail(why, "its session chunks count other tracks than it lists");
  return true;
}

// Where each track-at-once track lies: the first where its entry says, each
// later one after the gap the recorder left (and a new session's lead-out
// and lead-in), the gap being its pregap, which the image does not store.
void PlaceTaoTracks(std::vector<TrackLayout>& tracks) {
  std::int64_t end = 0;
  int sessionsClosed = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    TrackLayout& t = tracks[i];
    Extent stored = t.extents.front();
    t.extents.clear();
    if (i > 0) {
      std::int64_t at = end;
      if (t.session != tracks[i - 1].session) at += ++sessionsClosed == 1 ? kFirstSessionGap : kLaterSessionGap;
      t.pregapStart = static_cast<std::int32_t>(at);
      t.start = t.pregapStart + kTaoGap;
      t.extents.push_back(UnstoredRun(t.pregapStart, kTaoGap, t.mode));
    }
    stored.firstLba = t.start;
    t.extents.push_back(stored);
    end = std::int64_t(t.start) + t.length;
    RefineMode2(t);
  }
}

bool LayOutTao(const NrgChain& chain, const std::shared_ptr<ImageFile>& file, DiscLayout& layout, std::string& why) {
  // More would not fit a disc; CheckLayout says so, once the positions are known to fit.
  if (chain.tracks.size() > 99) return Fail(why, "holds more than 99 tracks");
  for (const NrgTrack& nt : chain.tracks) {
    const std::string name = "track " + std::to_string(nt.number);
    if (nt.bytes % nt.storage.stride) return Fail(why, name + " does not hold whole sectors");
    if (nt.offset > file->Size() || nt.bytes > file->Size() - nt.offset)
      return Fail(why, name + " lies past the end of the file (is it truncated?)");
    const std::uint64_t count = nt.bytes / nt.storage.stride;
    if (count == 0 || count > std::uint64_t(kMaxCdSectors)) return Fail(why, name + " holds no sectors");
    TrackLayout t;
    t.number = nt.number;
    t.mode = nt.storage.mode;
    t.control = t.mode == TrackMode::Audio ? 0x00 : 0x04;
    t.pregapStart = t.start = nt.taoStart;
    if (layout.profile == 0x08 && nt.number == 1 && (t.start < -150 || t.start > kMaxCdSectors))
      return Fail(why, name + " starts at " + std::to_string(t.start) + ", where no disc has sectors");
    t.length = static_cast<std::uint32_t>(count);
    t.extents.push_back(StoredRun(t.start, t.length, file, nt.offset, nt.storage));
    layout.tracks.push_back(std::move(t));
  }
  if (!ApplySessionCounts(chain.sessionCounts, layout.tracks, why)) return false;
  // A DVD has no such gaps: its tracks stay where the entries put them.
  if (layout.profile == 0x08) PlaceTaoTracks(layout.tracks);
  else
    for (TrackLayout& t : layout.tracks) RefineMode2(t);
  return true;
}

// A disc-at-once session ends where its cue chunk puts the lead-out.
bool ApplyCueLeadOuts(const std::vector<std::vector<CuePoint>>& cues, DiscLayout& layout, std::string& why) {
  if (cues.size() != layout.sessions.size()) return true;
  for (std::size_t s = 0; s < cues.size(); ++s) {
    std::int32_t lo = INT32_MIN;
    for (const CuePoint& p : cues[s])
      if (p.track == 0xAA) lo = p.lba;
    if (lo == INT32_MIN) continue;
    if (lo < layout.sessions[s].leadOut) return Fail(why, "a lead-out lies before the end of its session");
    layout.sessions[s].leadOut = lo;
  }
  return true;
}

bool LayOut(const NrgChain& chain, const std::shared_ptr<ImageFile>& file, DiscLayout& layout, std::string& why) {
  if (chain.dao && chain.tao) return Fail(why, "mixes disc-at-once and track-at-once chunks");
  if (chain.tracks.empty()) return Fail(why, "lists no tracks");
  layout.format = "NRG";
  // Nero's media flags: DVD-R/RW, DVD+R/RW, DVD-RAM and DVD-ROM.
  layout.profile = (chain.mediaType & (0x04 | 0x08 | 0x10 | 0x200)) ? 0x10 : 0x08;
  layout.discStatus = 2;
  layout.catalog = chain.catalog;
  layout.cdTextPacks = chain.cdTextPacks;
  if (chain.dao) {
    if (!LayOutDao(chain, file, layout, why) || !ApplySessionCounts(chain.sessionCounts, layout.tracks, why))
      return false;
  } else if (!LayOutTao(chain, file, layout, why)) {
    return false;
  }
  DeriveSessions(layout);
  if (chain.dao && !ApplyCueLeadOuts(chain.cues, layout, why)) return false;
  if (!layout.cdTextPacks.empty()) layout.cdText = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
  return true;
}

class NrgImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "NRG"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>&) const override {
    std::string err;
    auto f = OpenImageFile(path, err);
    if (f && f->Size() >= 12) {
      std::uint8_t tail[12];
      if (f->ReadAt(f->Size() - 12, tail, 12) == 12 &&
          (!std::memcmp(tail, "NER5", 4) || !std::memcmp(tail + 4, "NERO", 4)))
        return 120;  // before the ISO reader: a track may start at the file's first byte
    }
    return LowerExtension(path) == ".nrg" ? 5 : 0;
  }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    auto file = OpenImageFile(path, error);
    if (!file) return false;
    std::vector<std::uint8_t> bytes;
    NrgChain chain;
    std::string why;
    if (!ReadChain(*file, bytes, why) || !ParseChain(bytes, chain, why) || !LayOut(chain, file, layout, why)) {
      error = path + ": " + why;
      return false;
    }
    return CheckLayout(layout, path, error);
  }
};

}  // namespace

const ImageReader& NrgReader() {
  static const NrgImageReader reader;
  return reader;
}

}  // namespace orvane
