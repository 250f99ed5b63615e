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
  std::int32_t taoStart = 0;
  int cueChunk = -1;
};

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
    auto fail = [&](const std::string& why) {
      error = path + ": " + why;
      return false;
    };
    auto file = OpenImageFile(path, error);
    if (!file) return false;
    const std::uint64_t size = file->Size();
    if (size < 12) return fail("too short for a Nero image");
    std::uint8_t tail[12];
    if (file->ReadAt(size - 12, tail, 12) != 12) return fail("cannot read its footer");
    std::uint64_t chain = 0, chainEnd = 0;
    if (!std::memcmp(tail, "NER5", 4)) {
      chain = GetBE64(tail + 4);
      chainEnd = size - 12;
    } else if (!std::memcmp(tail + 4, "NERO", 4)) {
      chain = GetBE32(tail + 8);
      chainEnd = size - 8;
    } else {
      return fail("has no Nero footer (NERO or NER5) at its end");
    }
    if (chain >= chainEnd) return fail("its chunk chain starts past its end");
    if (chainEnd - chain > kMaxChainBytes) return fail("its chunk chain is implausibly large");
    std::vector<std::uint8_t> c(static_cast<std::size_t>(chainEnd - chain));
    if (file->ReadAt(chain, c.data(), c.size()) != c.size()) return fail("cannot read its chunk chain");

    std::vector<std::vector<CuePoint>> cues;  // one list per cue chunk (a session)
    std::vector<NrgTrack> tracks;
    std::vector<std::uint32_t> sessionCounts;
    bool tao = false, dao = false, ended = false;
    std::uint32_t mediaType = 0;
    std::size_t at = 0;
    for (int n = 0; !ended; ++n) {
      if (n == kMaxChunks) return fail("has too many chunks");
      if (c.size() - at < 8) return fail("its chunk chain ends without END!");
      const std::uint32_t id = GetBE32(&c[at]);
      const std::uint32_t len = GetBE32(&c[at + 4]);
      at += 8;
      if (len > c.size() - at) {
        char name[5] = {};
        std::memcpy(name, &c[at - 8], 4);
        for (char& ch : name)
          if (ch && !std::isprint(static_cast<unsigned char>(ch))) ch = '?';
        return fail(std::string("chunk ") + name + " runs past the end of the chain");
      }
      const std::uint8_t* d = &c[at];
      if (id == Id("CUES") || id == Id("CUEX")) {
        if (len % kCueEntry) return fail("its cue chunk is not made of 8-byte entries");
        std::vector<CuePoint> pts;
        for (std::size_t k = 0; k < len; k += kCueEntry) {
          const std::uint8_t* e = d + k;
          CuePoint p;
          p.control = e[0] >> 4;
          p.track = e[1] == 0xAA ? 0xAA : FromBcdChecked(e[1]);
          p.index = FromBcdChecked(e[2]);
          if (p.track < 0 || p.index < 0) return fail("its cue chunk holds a number that is not BCD");
          if (id == Id("CUEX")) {
            p.lba = static_cast<std::int32_t>(GetBE32(e + 4));
          } else {
            const int m = FromBcdChecked(e[5]), s = FromBcdChecked(e[6]), f = FromBcdChecked(e[7]);
            if (m < 0 || s < 0 || f < 0 || s >= 60 || f >= 75) return fail("its cue chunk holds an impossible time");
            p.lba = static_cast<std::int32_t>(disc::MsfToFrames(m, s, f)) - disc::kLbaOffset;
          }
          pts.push_back(p);
        }
        cues.push_back(std::move(pts));
      } else if (id == Id("DAOI") || id == Id("DAOX")) {
        const bool x = id == Id("DAOX");
        const std::size_t per = x ? kDaoxTrack : kDaoiTrack;
        if (len < kDaoHeader || (len - kDaoHeader) % per) return fail("its DAO chunk has a size no track list gives");
        if (cues.empty()) return fail("its DAO chunk comes before any cue chunk");
        dao = true;
        std::string mcn(reinterpret_cast<const char*>(d + 4), 13);
        if (AllOf(mcn, 13, isdigit) && mcn != std::string(13, '0')) layout.catalog = mcn;
        const int first = d[20], last = d[21];
        const std::size_t count = (len - kDaoHeader) / per;
        if (first < 1 || last > 99 || last < first || std::size_t(last - first + 1) != count)
          return fail("its DAO chunk numbers tracks " + std::to_string(first) + " to " + std::to_string(last) +
                      " but lists " + std::to_string(count));
        for (std::size_t k = 0; k < count; ++k) {
          const std::uint8_t* e = d + kDaoHeader + k * per;
          NrgTrack t;
          t.number = first + static_cast<int>(k);
          t.isrc.assign(reinterpret_cast<const char*>(e), 12);
          if (!AllOf(t.isrc, 12, isalnum)) t.isrc.clear();
          const unsigned sectorSize = GetBE16(e + 12);
          t.mode = e[14];
          auto st = NeroStorage(t.mode);
          if (!st) return fail("track " + std::to_string(t.number) + " has the unknown mode " + std::to_string(t.mode));
          if (st->stride != sectorSize)
            return fail("track " + std::to_string(t.number) + " stores " + std::to_string(sectorSize) +
                        "-byte sectors, its mode needs " + std::to_string(st->stride));
          t.storage = *st;
          if (x) {
            t.index0 = GetBE64(e + 18), t.index1 = GetBE64(e + 26), t.end = GetBE64(e + 34);
          } else {
            t.index0 = GetBE32(e + 18), t.index1 = GetBE32(e + 22), t.end = GetBE32(e + 26);
          }
          t.cueChunk = static_cast<int>(cues.size()) - 1;
          tracks.push_back(t);
        }
      } else if (id == Id("ETNF") || id == Id("ETN2")) {
        const bool x = id == Id("ETN2");
        const std::size_t per = x ? kEtn2Track : kEtnfTrack;
        if (len % per) return fail("its track-at-once chunk is not made of whole entries");
        tao = true;
        for (std::size_t k = 0; k < len; k += per) {
          const std::uint8_t* e = d + k;
          NrgTrack t;
          t.number = static_cast<int>(tracks.size()) + 1;
          t.offset = x ? GetBE64(e) : GetBE32(e);
          t.bytes = x ? GetBE64(e + 8) : GetBE32(e + 4);
          t.mode = GetBE32(e + (x ? 16 : 8));
          t.taoStart = static_cast<std::int32_t>(GetBE32(e + (x ? 20 : 12)));
          auto st = NeroStorage(t.mode);
          if (!st) return fail("track " + std::to_string(t.number) + " has the unknown mode " + std::to_string(t.mode));
          t.storage = *st;
          tracks.push_back(t);
        }
      } else if (id == Id("SINF")) {
        if (len < 4) return fail("its session chunk is too short");
        sessionCounts.push_back(GetBE32(d));
      } else if (id == Id("CDTX")) {
        auto packs = CdTextPacksFrom(d, len);
        layout.cdTextPacks.insert(layout.cdTextPacks.end(), packs.begin(), packs.end());
      } else if (id == Id("MTYP")) {
        if (len >= 4) mediaType = GetBE32(d);
      } else if (id == Id("END!")) {
        ended = true;
      } else if (id == Id("NERO") || id == Id("NER5")) {
        return fail("its chunk chain runs into its footer");
      }
      // Other chunks (DINF, TOCT, RELO ...) say nothing a drive reports.
      at += len;
    }
    if (dao && tao) return fail("mixes disc-at-once and track-at-once chunks");
    if (tracks.empty()) return fail("lists no tracks");

    layout.format = "NRG";
    // Nero's media flags: DVD-R/RW, DVD+R/RW, DVD-RAM and DVD-ROM.
    layout.profile = (mediaType & (0x04 | 0x08 | 0x10 | 0x200)) ? 0x10 : 0x08;
    layout.discStatus = 2;
    if (dao ? !LayOutDao(cues, tracks, file, layout, fail) : !LayOutTao(tracks, file, layout, fail)) return false;

    // Sessions: SINF counts tracks per session; without it each cue chunk is one.
    if (!sessionCounts.empty()) {
      std::size_t k = 0;
      int session = 0;
      for (std::uint32_t n : sessionCounts) {
        ++session;
        if (n == 0 || n > layout.tracks.size() - k) return fail("its session chunks count other tracks than it lists");
        for (std::uint32_t i = 0; i < n; ++i) layout.tracks[k++].session = session;
      }
      if (k != layout.tracks.size()) return fail("its session chunks count other tracks than it lists");
    }
    std::vector<std::int32_t> leadOuts;
    for (const auto& pts : cues) {
      std::int32_t lo = INT32_MIN;
      for (const CuePoint& p : pts)
        if (p.track == 0xAA) lo = p.lba;
      leadOuts.push_back(lo);
    }
    DeriveSessions(layout);
    if (dao && leadOuts.size() == layout.sessions.size())
      for (std::size_t s = 0; s < leadOuts.size(); ++s)
        if (leadOuts[s] != INT32_MIN) {
          if (leadOuts[s] < layout.sessions[s].leadOut) return fail("a lead-out lies before the end of its session");
          layout.sessions[s].leadOut = leadOuts[s];
        }
    if (!layout.cdTextPacks.empty()) layout.cdText = ParseCdTextPacks(layout.cdTextPacks.data(), layout.cdTextPacks.size());
    return CheckLayout(layout, path, error);
  }

 private:
  template <class Fail>
  static bool LayOutDao(const std::vector<std::vector<CuePoint>>& cues, std::vector<NrgTrack>& tracks,
                        const std::shared_ptr<ImageFile>& file, DiscLayout& layout, Fail& fail) {
    for (std::size_t i = 0; i < tracks.size(); ++i) {
      NrgTrack& nt = tracks[i];
      const std::string name = "track " + std::to_string(nt.number);
      const auto& pts = cues[static_cast<std::size_t>(nt.cueChunk)];
      TrackLayout t;
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
      if (!have1) return fail(name + " has no index 01 in its cue chunk");
      if (!have0 || t.pregapStart > t.start) t.pregapStart = t.start;
      // Data or audio is the track's mode; copy and pre-emphasis come from the cue.
      t.control = static_cast<std::uint8_t>((t.mode == TrackMode::Audio ? 0x00 : 0x04) | (control & 0x0B));
      const std::uint32_t ss = nt.storage.stride;
      if (nt.index0 > nt.index1 || nt.index1 > nt.end) return fail(name + " has its file offsets out of order");
      if ((nt.end - nt.index1) % ss || (nt.index1 - nt.index0) % ss)
        return fail(name + " does not hold whole " + std::to_string(ss) + "-byte sectors");
      if (nt.end > file->Size()) return fail(name + " lies past the end of the file (is it truncated?)");
      const std::uint64_t pregapStored = (nt.index1 - nt.index0) / ss;
      const std::uint64_t stored = (nt.end - nt.index1) / ss;
      const std::int64_t pregapSpan = std::int64_t(t.start) - t.pregapStart;
      if (pregapSpan > kMaxCdSectors) return fail(name + " has a pregap longer than a disc");
      const auto pregap = static_cast<std::uint32_t>(pregapSpan);
      if (pregapStored > pregap) return fail(name + " stores a longer pregap than its cue gives");
      if (stored == 0 || stored > std::uint64_t(kMaxCdSectors)) return fail(name + " holds no sectors");
      if (pregap > pregapStored) t.extents.push_back(UnstoredRun(t.pregapStart, pregap - static_cast<std::uint32_t>(pregapStored), t.mode));
      if (pregapStored)
        t.extents.push_back(StoredRun(t.start - static_cast<std::int32_t>(pregapStored),
                                      static_cast<std::uint32_t>(pregapStored), file, nt.index0, nt.storage));
      t.extents.push_back(StoredRun(t.start, static_cast<std::uint32_t>(stored), file, nt.index1, nt.storage));
      t.length = static_cast<std::uint32_t>(stored);
      RefineMode2(t);
      layout.tracks.push_back(std::move(t));
    }
    // The next track's index 00 (or the lead-out) must lie where this track's data ends.
    for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
      const TrackLayout& t = layout.tracks[i];
      std::int64_t next = INT64_MIN;
      if (i + 1 < layout.tracks.size() && layout.tracks[i + 1].session == t.session) {
        next = layout.tracks[i + 1].pregapStart;
      } else {
        for (const CuePoint& p : cues[static_cast<std::size_t>(t.session - 1)])
          if (p.track == 0xAA) next = p.lba;
      }
      if (next != INT64_MIN && next != std::int64_t(t.start) + t.length)
        return fail("track " + std::to_string(t.number) + " stores " + std::to_string(t.length) +
                    " sectors but its cue gives " + std::to_string(next - t.start));
    }
    return true;
  }

  template <class Fail>
  static bool LayOutTao(std::vector<NrgTrack>& tracks, const std::shared_ptr<ImageFile>& file, DiscLayout& layout,
                        Fail& fail) {
    for (NrgTrack& nt : tracks) {
      const std::string name = "track " + std::to_string(nt.number);
      if (nt.bytes % nt.storage.stride) return fail(name + " does not hold whole sectors");
      if (nt.offset > file->Size() || nt.bytes > file->Size() - nt.offset)
        return fail(name + " lies past the end of the file (is it truncated?)");
      const std::uint64_t count = nt.bytes / nt.storage.stride;
      if (count == 0 || count > std::uint64_t(kMaxCdSectors)) return fail(name + " holds no sectors");
      TrackLayout t;
      t.number = nt.number;
      t.mode = nt.storage.mode;
      t.control = t.mode == TrackMode::Audio ? 0x00 : 0x04;
      t.pregapStart = t.start = nt.taoStart;
      t.length = static_cast<std::uint32_t>(count);
      t.extents.push_back(StoredRun(t.start, t.length, file, nt.offset, nt.storage));
      RefineMode2(t);
      layout.tracks.push_back(std::move(t));
    }
    return true;
  }
};

}  // namespace

const ImageReader& NrgReader() {
  static const NrgImageReader reader;
  return reader;
}

}  // namespace orvane
