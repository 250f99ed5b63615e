// The virtual drive: MMC answers computed from a disc layout. Where drives
// differ, it answers like a common read-only CD/DVD drive:
//   - a command it does not know:                   05/20/00 INVALID COMMAND OPERATION CODE
//   - a field it does not support (format, page):   05/24/00 INVALID FIELD IN CDB
//   - an address on no track, past the lead-out:    05/21/00 LOGICAL BLOCK ADDRESS OUT OF RANGE
//   - READ(10) of audio, Form 2 or formless Mode 2,
//     READ CD whose expected sector type differs:   05/64/00 ILLEGAL MODE FOR THIS TRACK
//   - a sector marked bad, or missing from a file:  03/11/05 L-EC UNCORRECTABLE ERROR
//   - a medium command with the tray open:          02/3A/02 MEDIUM NOT PRESENT - TRAY OPEN
//   - eject while removal is prevented:             05/53/02 MEDIUM REMOVAL PREVENTED
// Data that does not fit the allocation length is cut, as a drive does.
#include "platform/orvane/VirtualDrive.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "disc/ByteOrder.h"
#include "disc/Msf.h"
#include "disc/SectorLayout.h"
#include "platform/orvane/CdSector.h"
#include "platform/orvane/CdText.h"

namespace orvane {
namespace {

enum class SectorKind { Audio, Mode1, Mode2Formless, Form1, Form2 };

constexpr std::uint8_t kXaForm1Subheader[4] = {0, 0, 0x08, 0};  // data
constexpr std::uint8_t kXaForm2Subheader[4] = {0, 0, 0x20, 0};  // Form 2, as pregaps are written
// What a sequential reader of plain 2048-byte storage is served from at once:
// small enough to stay in the processor's cache, large enough that a scan's
// 16-sector commands cost one file read in eight.
constexpr std::size_t kReadAheadBytes = 256 * 1024;

bool IsCdProfile(int p) { return p == 0x08 || p == 0x09 || p == 0x0A; }
bool IsBdProfile(int p) { return p >= 0x40 && p <= 0x43; }

void PutMsf(std::uint8_t* at, std::int32_t lba) {
  const disc::Msf msf = disc::LbaToMsf(lba);
  at[0] = static_cast<std::uint8_t>(msf.m);
  at[1] = static_cast<std::uint8_t>(msf.s);
  at[2] = static_cast<std::uint8_t>(msf.f);
}

// An address field of READ TOC: LBA or (0, M, S, F).
void PutTocAddress(std::uint8_t* at, std::int32_t lba, bool msf) {
  if (msf) {
    at[0] = 0;
    PutMsf(at + 1, lba);
  } else {
    PutBE32(at, static_cast<std::uint32_t>(lba));
  }
}

class VirtualDrive final : public Transport {
 public:
  VirtualDrive(DiscLayout layout, std::string path) : m_L(std::move(layout)), m_path(std::move(path)) { Normalise(); }
  std::string Describe() const override { return m_path; }
  ScsiResult Execute(ScsiCommand& c) override;
  std::optional<PlainBytes> PlainUserData(std::uint32_t lba, std::uint32_t count) override;

 private:
  void Normalise();
  const TrackLayout* TrackAt(std::int32_t lba) const;
  // The track whose sectors are read at lba: the one holding it, else the one
  // whose stored sectors after its end hold it (a flat multi-session dump).
  const TrackLayout* StoredAt(std::int32_t lba) const;
  const TrackLayout* TrackNumbered(int n) const;
  std::int32_t DiscEnd() const { return m_L.sessions.empty() ? 0 : m_L.sessions.back().leadOut; }
  bool IsBad(std::int32_t lba) const;
  // The first unreadable sector at or after lba; INT64_MAX when none.
  std::int64_t NextBad(std::int32_t lba) const;
  // Raw 2352-byte sectors (and their 96 sub-channel bytes when sub is given)
  // of count sectors from lba; on a failure done tells how many came.
  bool ReadRaw(std::int32_t lba, std::uint32_t count, std::uint8_t* out, std::uint8_t* sub, SenseCode& err,
               std::uint32_t& done);
  // P and Q of a sector the image keeps no sub-channel for, as the disc has them.
  void SynthesiseSub(const TrackLayout& t, std::int32_t lba, std::uint8_t* out96) const;
  SectorKind KindOf(const TrackLayout& t, const std::uint8_t* raw) const;
  // want bytes of f at off into dst, through the read-ahead window; the bytes
  // that came (short at the end of the file).
  std::size_t ReadPlain(ImageFile& f, std::uint64_t off, std::uint8_t* dst, std::size_t want);

  void TestUnitReady(ScsiCommand& c, ScsiResult& r);
  void Inquiry(ScsiCommand& c, ScsiResult& r);
  void ReadCapacity(ScsiCommand& c, ScsiResult& r);
  void ReadToc(ScsiCommand& c, ScsiResult& r);
  void ReadSubChannel(ScsiCommand& c, ScsiResult& r);
  void ReadDiscInfo(ScsiCommand& c, ScsiResult& r);
  void ReadTrackInfo(ScsiCommand& c, ScsiResult& r);
  void Read10(ScsiCommand& c, ScsiResult& r);
  void ReadCd(ScsiCommand& c, ScsiResult& r);
  void GetConfiguration(ScsiCommand& c, ScsiResult& r);
  void ModeSense10(ScsiCommand& c, ScsiResult& r);
  void PreventAllow(ScsiCommand& c, ScsiResult& r);
  void StartStop(ScsiCommand& c, ScsiResult& r);

  std::vector<std::uint8_t> FullToc() const;

  DiscLayout m_L;
  std::string m_path;
  bool m_trayOpen = false;
  bool m_locked = false;
  std::vector<std::uint8_t> m_scratch;
  std::vector<std::uint8_t> m_subScratch;
  // Read ahead of sequential user-data reads, as a drive's own cache reads
  // ahead of the head: the bytes of file from first on, held bytes of them.
  struct ReadAhead {
    const ImageFile* file = nullptr;  // the layout's files live as long as the drive
    std::uint64_t first = 0, next = 0;  // next: where the last read ended
    std::size_t held = 0;
    std::vector<std::uint8_t> data;
  } m_ahead;
  std::mutex m_mutex;  // a scan worker and the window may share the drive
};

void Fail(ScsiResult& r, SenseCode s) {
  r.status = 2;
  std::memset(r.sense, 0, sizeof r.sense);
  r.sense[0] = 0x70;  // current error, fixed format
  r.sense[2] = s.key;
  r.sense[7] = 10;
  r.sense[12] = s.asc;
  r.sense[13] = s.ascq;
  r.senseLength = 18;
}

// Hands data to the caller, cut to the allocation length and the buffer.
void Answer(ScsiCommand& c, ScsiResult& r, const std::vector<std::uint8_t>& data, std::size_t alloc) {
  std::size_t n = std::min({data.size(), alloc, c.data ? c.dataLength : std::size_t{0}});
  if (n) std::memcpy(c.data, data.data(), n);
  r.transferred = n;
}

void VirtualDrive::Normalise() {
  // Bad ranges sorted, so a scan over a mapfile with thousands of holes
  // finds the next one by search, not by walking the list per sector.
  std::sort(m_L.badSectors.begin(), m_L.badSectors.end(),
            [](const BadRange& a, const BadRange& b) { return a.first < b.first; });
  std::vector<BadRange> merged;
  for (const auto& b : m_L.badSectors) {
    if (b.count == 0) continue;
    if (!merged.empty() && std::int64_t(merged.back().first) + merged.back().count >= b.first) {
      const std::int64_t end = std::max(std::int64_t(merged.back().first) + merged.back().count, std::int64_t(b.first) + b.count);
      merged.back().count = static_cast<std::uint32_t>(std::min<std::int64_t>(end - merged.back().first, UINT32_MAX));
    } else {
      merged.push_back(b);
    }
  }
  m_L.badSectors = std::move(merged);
  std::sort(m_L.tracks.begin(), m_L.tracks.end(),
            [](const TrackLayout& a, const TrackLayout& b) { return a.number < b.number; });
  if (m_L.sessions.empty()) {
    SessionLayout s;
    for (const auto& t : m_L.tracks)
      s.leadOut = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(t.start) + t.length, s.leadOut, INT32_MAX));
    if (!m_L.tracks.empty() && m_L.tracks.front().mode == TrackMode::Mode2Xa) s.discType = 0x20;
    m_L.sessions.push_back(s);
  }
  for (const auto& t : m_L.tracks) {
    for (auto& s : m_L.sessions) {
      if (s.number == t.session)
        s.leadOut = static_cast<std::int32_t>(
            std::clamp<std::int64_t>(std::int64_t(t.start) + t.length, s.leadOut, INT32_MAX));
    }
  }
}

const TrackLayout* VirtualDrive::TrackAt(std::int32_t lba) const {
  for (const auto& t : m_L.tracks) {
    if (lba >= std::min(t.pregapStart, t.start) && std::int64_t(lba) < std::int64_t(t.start) + t.length) return &t;
  }
  return nullptr;
}

// Where a track's readable sectors end: its end, or past it the sectors
// between sessions that a flat dump stores.
std::int64_t ReadableEnd(const TrackLayout& t) { return std::int64_t(t.start) + t.length + t.storedAfterEnd; }

const TrackLayout* VirtualDrive::StoredAt(std::int32_t lba) const {
  if (const TrackLayout* t = TrackAt(lba)) return t;
  for (const auto& t : m_L.tracks)
    if (lba >= std::int64_t(t.start) + t.length && std::int64_t(lba) < ReadableEnd(t)) return &t;
  return nullptr;
}

const TrackLayout* VirtualDrive::TrackNumbered(int n) const {
  for (const auto& t : m_L.tracks)
    if (t.number == n) return &t;
  return nullptr;
}

bool VirtualDrive::IsBad(std::int32_t lba) const {
  // Sorted by first sector (Normalise): the range starting last at or before lba.
  auto it = std::upper_bound(m_L.badSectors.begin(), m_L.badSectors.end(), lba,
                             [](std::int32_t v, const BadRange& b) { return v < b.first; });
  if (it == m_L.badSectors.begin()) return false;
  --it;
  return std::int64_t(lba) < std::int64_t(it->first) + it->count;
}

std::int64_t VirtualDrive::NextBad(std::int32_t lba) const {
  if (IsBad(lba)) return lba;
  auto it = std::upper_bound(m_L.badSectors.begin(), m_L.badSectors.end(), lba,
                             [](std::int32_t v, const BadRange& b) { return v < b.first; });
  return it == m_L.badSectors.end() ? INT64_MAX : it->first;
}

SectorKind VirtualDrive::KindOf(const TrackLayout& t, const std::uint8_t* s) const {
  if (t.mode == TrackMode::Audio) return SectorKind::Audio;
  // The stored bytes are a whole raw sector: the shared rule names its mode
  // and form; whether a Mode 2 sector is XA at all is the track's business.
  const disc::SectorShape shape = disc::ClassifyRawSector(s, t.mode == TrackMode::Mode1 ? 1 : 2);
  if (shape.mode == 1) return SectorKind::Mode1;
  const bool xa = t.mode == TrackMode::Mode2Xa ||
                  std::memcmp(s + disc::kSubHeaderOffset, s + disc::kSubHeaderOffset + disc::kSubHeaderSize / 2,
                              disc::kSubHeaderSize / 2) == 0;
  if (!xa || t.mode == TrackMode::Mode2Formless) return SectorKind::Mode2Formless;
  return shape.form2 ? SectorKind::Form2 : SectorKind::Form1;
}

void SynthesiseFromUser(const TrackLayout& t, std::int32_t lba, const std::uint8_t* user, std::uint8_t* out) {
  switch (t.mode) {
    case TrackMode::Mode1:
      BuildMode1Sector(out, lba, user);
      break;
    case TrackMode::Mode2Xa:
      BuildMode2Form1Sector(out, lba, kXaForm1Subheader, user);
      break;
    case TrackMode::Mode2Formless:
      WriteSyncAndHeader(out, lba, 2);
      std::memcpy(out + 16, user, 2048);
      std::memset(out + 16 + 2048, 0, kRawSectorSize - 16 - 2048);
      break;
    case TrackMode::Audio:
      std::memcpy(out, user, 2048);
      std::memset(out + 2048, 0, kRawSectorSize - 2048);
      break;
  }
}

// A sector the image does not store (an unrecorded pregap): silence or an
// empty sector of the track's mode.
void SynthesiseEmpty(const TrackLayout& t, std::int32_t lba, std::uint8_t* out) {
  static const std::uint8_t zeros[2336] = {};
  switch (t.mode) {
    case TrackMode::Audio:
      std::memset(out, 0, kRawSectorSize);
      break;
    case TrackMode::Mode1:
      BuildMode1Sector(out, lba, zeros);
      break;
    case TrackMode::Mode2Xa:
      BuildMode2Form2Sector(out, lba, kXaForm2Subheader, zeros);
      break;
    case TrackMode::Mode2Formless:
      BuildMode2FromBody(out, lba, zeros);
      break;
  }
}

// Stored sub-channel as a drive returns it: interleaved, bit 7 of each byte P,
// bit 6 Q and so on to bit 0 W.
void CopySubchannel(std::uint8_t* out96, const std::uint8_t* stored, bool linear) {
  if (!linear) {
    std::memcpy(out96, stored, 96);
    return;
  }
  for (int b = 0; b < 96; ++b) {
    std::uint8_t v = 0;
    for (int ch = 0; ch < 8; ++ch)
      if (stored[ch * 12 + b / 8] & (0x80 >> (b % 8))) v |= static_cast<std::uint8_t>(0x80 >> ch);
    out96[b] = v;
  }
}

void VirtualDrive::SynthesiseSub(const TrackLayout& t, std::int32_t lba, std::uint8_t* out96) const {
  int index = lba < t.start ? 0 : 1;
  for (std::int32_t from : t.furtherIndexes)
    if (lba >= from && from > t.start) ++index;
  BuildSubchannelPQ(out96, lba, t.control, t.number, index, t.start);
}

bool VirtualDrive::ReadRaw(std::int32_t lba, std::uint32_t count, std::uint8_t* out, std::uint8_t* sub, SenseCode& err,
                           std::uint32_t& done) {
  done = 0;
  while (done < count) {
    const std::int32_t at = lba + static_cast<std::int32_t>(done);
    const TrackLayout* t = StoredAt(at);
    if (!t) {
      err = kSenseLbaOutOfRange;
      return false;
    }
    if (IsBad(at)) {
      err = kSenseUnrecoveredRead;
      return false;
    }
    const Extent* e = nullptr;
    for (const auto& x : t->extents)
      if (at >= x.firstLba && std::int64_t(at) < std::int64_t(x.firstLba) + x.count) e = &x;
    std::uint8_t* dst = out + std::size_t(done) * kRawSectorSize;
    if (!e || !e->file) {
      SynthesiseEmpty(*t, at, dst);
      if (sub) SynthesiseSub(*t, at, sub + std::size_t(done) * 96);
      ++done;
      continue;
    }
    // The run of sectors this extent holds, up to a bad sector, in one file read.
    const std::int64_t extentEnd = std::int64_t(e->firstLba) + e->count;
    const std::int64_t trackEnd = ReadableEnd(*t);
    const std::int64_t runEnd = std::min({extentEnd, trackEnd, NextBad(at), std::int64_t(at) + (count - done),
                                          std::int64_t(at) + 256});
    const auto run = static_cast<std::uint32_t>(std::max<std::int64_t>(1, runEnd - at));
    const std::size_t stride = e->stride;
    const std::size_t smallest = e->format == StoredFormat::UserData2048 ? 2048
                                 : e->format == StoredFormat::Mode2_2336 ? 2336
                                                                         : kRawSectorSize;
    if (stride < smallest) {  // a stride that cannot hold the sector: nothing of it is readable
      err = kSenseUnrecoveredRead;
      return false;
    }
    m_scratch.resize(stride * run);
    const std::uint64_t off = e->offset + std::uint64_t(at - e->firstLba) * stride;
    const std::size_t got = e->file->ReadAt(off, m_scratch.data(), m_scratch.size());
    // Sub-channel kept in a file of its own, 96 bytes a sector.
    std::size_t subGot = 0;
    if (sub && e->subFile) {
      m_subScratch.resize(std::size_t(96) * run);
      subGot = e->subFile->ReadAt(e->subOffset + std::uint64_t(at - e->firstLba) * 96, m_subScratch.data(),
                                  m_subScratch.size());
    }
    for (std::uint32_t i = 0; i < run; ++i) {
      const std::int32_t l = at + static_cast<std::int32_t>(i);
      const std::uint8_t* src = m_scratch.data() + std::size_t(i) * stride;
      std::uint8_t* d = out + std::size_t(done) * kRawSectorSize;
      std::size_t need = 0;
      switch (e->format) {
        case StoredFormat::UserData2048: need = 2048; break;
        case StoredFormat::Mode2_2336: need = 2336; break;
        default: need = kRawSectorSize; break;
      }
      if (stride < need || std::size_t(i) * stride + need > got) {
        err = kSenseUnrecoveredRead;  // the file ends before the layout does
        return false;
      }
      switch (e->format) {
        case StoredFormat::UserData2048: SynthesiseFromUser(*t, l, src, d); break;
        case StoredFormat::Mode2_2336: BuildMode2FromBody(d, l, src); break;
        case StoredFormat::Raw2352:
        case StoredFormat::Audio2352: std::memcpy(d, src, kRawSectorSize); break;
        case StoredFormat::Audio2352BE:
          for (std::size_t k = 0; k + 1 < kRawSectorSize; k += 2) {
            d[k] = src[k + 1];
            d[k + 1] = src[k];
          }
          break;
      }
      if (sub) {
        std::uint8_t* sd = sub + std::size_t(done) * 96;
        if (e->subFile && std::size_t(i + 1) * 96 <= subGot)
          CopySubchannel(sd, m_subScratch.data() + std::size_t(i) * 96, e->subchannelLinear);
        else if (e->hasSubchannel && e->subchannelOffset + 96 <= stride &&
            std::size_t(i) * stride + e->subchannelOffset + 96 <= got)
          CopySubchannel(sd, src + e->subchannelOffset, e->subchannelLinear);
        else
          SynthesiseSub(*t, l, sd);
      }
      ++done;
    }
  }
  return true;
}

ScsiResult VirtualDrive::Execute(ScsiCommand& c) {
  std::lock_guard<std::mutex> hold(m_mutex);
  ScsiResult r;
  if (c.cdbLength <= 0) {
    Fail(r, kSenseInvalidOpcode);
    return r;
  }
  const std::uint8_t op = c.cdb[0];
  // Commands that need the medium fail while the tray is open.
  const bool needsMedium = op == 0x25 || op == 0x28 || op == 0x42 || op == 0x43 || op == 0x51 || op == 0x52 || op == 0xBE;
  if (m_trayOpen && needsMedium) {
    Fail(r, kSenseNoMediumTrayOpen);
    return r;
  }
  switch (op) {
    case 0x00: TestUnitReady(c, r); break;
    case 0x12: Inquiry(c, r); break;
    case 0x1B: StartStop(c, r); break;
    case 0x1E: PreventAllow(c, r); break;
    case 0x25: ReadCapacity(c, r); break;
    case 0x28: Read10(c, r); break;
    case 0x42: ReadSubChannel(c, r); break;
    case 0x43: ReadToc(c, r); break;
    case 0x46: GetConfiguration(c, r); break;
    case 0x51: ReadDiscInfo(c, r); break;
    case 0x52: ReadTrackInfo(c, r); break;
    case 0x5A: ModeSense10(c, r); break;
    case 0xBE: ReadCd(c, r); break;
    default: Fail(r, kSenseInvalidOpcode); break;
  }
  return r;
}

void VirtualDrive::TestUnitReady(ScsiCommand&, ScsiResult& r) {
  if (m_trayOpen) Fail(r, kSenseNoMediumTrayOpen);
}

void VirtualDrive::Inquiry(ScsiCommand& c, ScsiResult& r) {
  if (c.cdb[1] & 0x01) {  // no vital product data pages
    Fail(r, kSenseInvalidField);
    return;
  }
  std::vector<std::uint8_t> d(36, 0);
  d[0] = 0x05;  // CD/DVD device
  d[1] = 0x80;  // removable
  d[2] = 0x05;
  d[3] = 0x32;  // hierarchical addressing off, response data format 2
  d[4] = static_cast<std::uint8_t>(d.size() - 5);
  std::memcpy(&d[8], "TESSAL  ", 8);
  std::memcpy(&d[16], "VIRTUAL DRIVE   ", 16);
  std::memcpy(&d[32], "1.0 ", 4);
  Answer(c, r, d, (std::size_t(c.cdb[3]) << 8) | c.cdb[4]);
}

void VirtualDrive::ReadCapacity(ScsiCommand& c, ScsiResult& r) {
  std::vector<std::uint8_t> d(8, 0);
  PutBE32(&d[0], static_cast<std::uint32_t>(std::max(0, DiscEnd() - 1)));
  PutBE32(&d[4], 2048);
  Answer(c, r, d, 8);
}

std::vector<std::uint8_t> VirtualDrive::FullToc() const {
  std::vector<std::uint8_t> d(4, 0);
  auto add = [&d](int session, std::uint8_t adrCtl, std::uint8_t point, const std::uint8_t msf[3],
                  const std::uint8_t pmsf[3], std::uint8_t zero = 0) {
    d.insert(d.end(), {static_cast<std::uint8_t>(session), adrCtl, 0, point, msf[0], msf[1], msf[2], zero, pmsf[0],
                       pmsf[1], pmsf[2]});
  };
  const std::uint8_t none[3] = {0, 0, 0};
  const bool recordable = m_L.profile == 0x09 || m_L.profile == 0x0A;
  for (std::size_t si = 0; si < m_L.sessions.size(); ++si) {
    const SessionLayout& s = m_L.sessions[si];
    std::vector<const TrackLayout*> ts;
    for (const auto& t : m_L.tracks)
      if (t.session == s.number) ts.push_back(&t);
    if (ts.empty()) continue;
    const std::uint8_t firstCtl = static_cast<std::uint8_t>(0x10 | (ts.front()->control & 0x0F));
    const std::uint8_t lastCtl = static_cast<std::uint8_t>(0x10 | (ts.back()->control & 0x0F));
    const std::uint8_t a0[3] = {static_cast<std::uint8_t>(ts.front()->number), s.discType, 0};
    const std::uint8_t a1[3] = {static_cast<std::uint8_t>(ts.back()->number), 0, 0};
    std::uint8_t a2[3];
    PutMsf(a2, s.leadOut);
    add(s.number, firstCtl, 0xA0, none, a0);
    add(s.number, lastCtl, 0xA1, none, a1);
    add(s.number, lastCtl, 0xA2, none, a2);
    const bool last = si + 1 == m_L.sessions.size();
    // B0: where the next session may start, when there is or may be one.
    if (!last || m_L.discStatus == 1) {
      // In 64 bits: a hostile track length leaves the lead-out clamped at INT32_MAX.
      std::int64_t next = std::int64_t{s.leadOut} + (si == 0 ? 6750 : 2250) + 4500 + 150;
      if (!last) {
        for (const auto& t : m_L.tracks)
          if (t.session == m_L.sessions[si + 1].number) {
            next = t.pregapStart;
            break;
          }
      }
      std::uint8_t nmsf[3], maxOut[3] = {79, 59, 74};
      PutMsf(nmsf, static_cast<std::int32_t>(std::min<std::int64_t>(next, INT32_MAX)));
      add(s.number, 0x50, 0xB0, nmsf, maxOut, static_cast<std::uint8_t>(recordable ? 2 : 1));
      if (si == 0 && recordable) {
        const std::uint8_t power[3] = {0, 0, 0}, atipStart[3] = {97, 27, 0};
        add(s.number, 0x50, 0xC0, power, atipStart);
      }
    }
    for (const TrackLayout* t : ts) {
      std::uint8_t p[3];
      PutMsf(p, t->start);
      add(s.number, static_cast<std::uint8_t>(0x10 | (t->control & 0x0F)), static_cast<std::uint8_t>(t->number), none, p);
    }
  }
  return d;
}

void VirtualDrive::ReadToc(ScsiCommand& c, ScsiResult& r) {
  const bool msf = (c.cdb[1] & 0x02) != 0;
  int format = c.cdb[2] & 0x0F;
  if (format == 0 && (c.cdb[9] >> 6) != 0) format = c.cdb[9] >> 6;  // the older place of the format
  const int number = c.cdb[6];
  const std::size_t alloc = GetBE16(c.cdb + 7);
  std::vector<std::uint8_t> d(4, 0);
  if (m_L.tracks.empty()) {
    Fail(r, kSenseCannotReadMediumFormat);
    return;
  }
  const TrackLayout& first = m_L.tracks.front();
  const TrackLayout& lastT = m_L.tracks.back();
  switch (format) {
    case 0: {
      d[2] = static_cast<std::uint8_t>(first.number);
      d[3] = static_cast<std::uint8_t>(lastT.number);
      if (number > lastT.number && number != 0xAA) {
        Fail(r, kSenseInvalidField);
        return;
      }
      for (const auto& t : m_L.tracks) {
        if (number == 0xAA || t.number < number) continue;
        std::uint8_t e[8] = {0, static_cast<std::uint8_t>(0x10 | (t.control & 0x0F)), static_cast<std::uint8_t>(t.number)};
        PutTocAddress(e + 4, t.start, msf);
        d.insert(d.end(), e, e + 8);
      }
      std::uint8_t e[8] = {0, static_cast<std::uint8_t>(0x10 | (lastT.control & 0x0F)), 0xAA};
      PutTocAddress(e + 4, DiscEnd(), msf);
      d.insert(d.end(), e, e + 8);
      break;
    }
    case 1: {
      d[2] = static_cast<std::uint8_t>(m_L.sessions.front().number);
      d[3] = static_cast<std::uint8_t>(m_L.sessions.back().number);
      const TrackLayout* f = nullptr;
      for (const auto& t : m_L.tracks)
        if (t.session == m_L.sessions.back().number) {
          f = &t;
          break;
        }
      if (!f) f = &first;
      std::uint8_t e[8] = {0, static_cast<std::uint8_t>(0x10 | (f->control & 0x0F)), static_cast<std::uint8_t>(f->number)};
      PutTocAddress(e + 4, f->start, msf);
      d.insert(d.end(), e, e + 8);
      break;
    }
    case 2: {
      if (!IsCdProfile(m_L.profile)) {  // DVD and BD have no Q sub-channel TOC
        Fail(r, kSenseInvalidField);
        return;
      }
      if (!m_L.rawFullToc.empty()) {
        d.insert(d.end(), m_L.rawFullToc.begin(), m_L.rawFullToc.end() - (m_L.rawFullToc.size() % 11));
      } else {
        d = FullToc();
      }
      d[2] = static_cast<std::uint8_t>(m_L.sessions.front().number);
      d[3] = static_cast<std::uint8_t>(m_L.sessions.back().number);
      break;
    }
    case 5: {
      if (!IsCdProfile(m_L.profile)) {
        Fail(r, kSenseInvalidField);
        return;
      }
      std::vector<std::uint8_t> packs = m_L.cdTextPacks;
      if (packs.empty() && !m_L.cdText.empty()) packs = BuildCdTextPacks(m_L.cdText);
      packs.resize(packs.size() - packs.size() % 18);
      if (packs.empty()) {  // no CD-TEXT on the disc: as most drives, refuse the format
        Fail(r, kSenseInvalidField);
        return;
      }
      d.insert(d.end(), packs.begin(), packs.end());
      break;
    }
    default:
      Fail(r, kSenseInvalidField);
      return;
  }
  PutBE16(&d[0], static_cast<std::uint32_t>(std::min<std::size_t>(d.size() - 2, 0xFFFF)));
  Answer(c, r, d, alloc);
}

// READ SUB-CHANNEL: the catalogue number (format 2) and a track's ISRC
// (format 3), as the Q sub-channel carries them; "not valid" when the image
// has none. Current position (format 1) is left to drives that play.
void VirtualDrive::ReadSubChannel(ScsiCommand& c, ScsiResult& r) {
  const int format = c.cdb[3];
  const std::size_t alloc = GetBE16(&c.cdb[7]);
  if (format != 2 && format != 3) return Fail(r, kSenseInvalidField);
  const TrackLayout* t = format == 3 ? TrackNumbered(c.cdb[6]) : nullptr;
  if (format == 3 && !t) return Fail(r, kSenseInvalidField);
  const std::string& code = format == 2 ? m_L.catalog : t->isrc;
  const std::size_t length = format == 2 ? 13 : 12;
  std::vector<std::uint8_t> d(24, 0);
  d[3] = 20;
  d[4] = static_cast<std::uint8_t>(format);
  if (t) {
    d[5] = static_cast<std::uint8_t>(0x10 | (t->control & 0x0F));
    d[6] = static_cast<std::uint8_t>(t->number);
  }
  if (code.size() == length) {
    d[8] = 0x80;  // MCVAL / TCVAL
    std::memcpy(&d[9], code.data(), length);
  }
  Answer(c, r, d, alloc);
}

void VirtualDrive::ReadDiscInfo(ScsiCommand& c, ScsiResult& r) {
  if ((c.cdb[1] & 0x07) != 0) {  // only the standard disc information block
    Fail(r, kSenseInvalidField);
    return;
  }
  std::vector<std::uint8_t> d(34, 0);
  PutBE16(&d[0], 32);
  const int p = m_L.profile;
  const bool erasable = p == 0x0A || p == 0x12 || p == 0x13 || p == 0x14 || p == 0x1A || p == 0x43 || p == 0x2A;
  const int status = std::clamp(m_L.discStatus, 0, 3);
  const int lastSessionState = status == 2 ? 3 : status;  // complete / incomplete / empty
  d[2] = static_cast<std::uint8_t>((erasable ? 0x10 : 0) | (lastSessionState << 2) | status);
  const int firstTrack = m_L.tracks.empty() ? 1 : m_L.tracks.front().number;
  const int sessions = static_cast<int>(m_L.sessions.size());
  int firstInLast = firstTrack, lastInLast = firstTrack;
  bool seen = false;
  for (const auto& t : m_L.tracks) {
    if (t.session != m_L.sessions.back().number) continue;
    if (!seen) firstInLast = t.number;
    seen = true;
    lastInLast = t.number;
  }
  d[3] = static_cast<std::uint8_t>(firstTrack);
  d[4] = static_cast<std::uint8_t>(sessions);
  d[5] = static_cast<std::uint8_t>(firstInLast);
  d[6] = static_cast<std::uint8_t>(lastInLast);
  d[7] = 0x20;  // unrestricted use
  d[8] = IsCdProfile(p) ? m_L.sessions.back().discType : 0xFF;
  d[9] = static_cast<std::uint8_t>(sessions >> 8);
  d[10] = static_cast<std::uint8_t>(firstInLast >> 8);
  d[11] = static_cast<std::uint8_t>(lastInLast >> 8);
  if (status == 1 && IsCdProfile(p)) {
    // An open disc: where the next session's lead-in starts, and the last lead-out a CD-R allows.
    std::uint8_t msf[3];
    PutMsf(msf, DiscEnd() + (sessions == 1 ? 6750 : 2250));
    d[17] = msf[0], d[18] = msf[1], d[19] = msf[2];
    d[21] = 79, d[22] = 59, d[23] = 74;
  } else {
    std::fill(d.begin() + 16, d.begin() + 24, 0xFF);
  }
  Answer(c, r, d, GetBE16(c.cdb + 7));
}

void VirtualDrive::ReadTrackInfo(ScsiCommand& c, ScsiResult& r) {
  const int type = c.cdb[1] & 0x03;
  const std::uint32_t n = GetBE32(c.cdb + 2);
  const TrackLayout* t = nullptr;
  if (type == 0) {
    t = n > 0x7FFFFFFFu ? nullptr : TrackAt(static_cast<std::int32_t>(n));
  } else if (type == 1) {
    // A BD-R holds thousands of tracks, 255 among them; where no track has
    // that number, 255 asks for the invisible (open) track: the last one
    // while the disc is open.
    if (n <= 0xFFFF) t = TrackNumbered(static_cast<int>(n));
    if (!t && n == 0xFF && m_L.discStatus == 1 && !m_L.tracks.empty()) t = &m_L.tracks.back();
  } else if (type == 2) {
    for (const auto& x : m_L.tracks)
      if (static_cast<std::uint32_t>(x.session) == n) {
        t = &x;
        break;
      }
  }
  if (!t) {
    Fail(r, kSenseInvalidField);
    return;
  }
  std::vector<std::uint8_t> d(36, 0);
  PutBE16(&d[0], 34);
  d[2] = static_cast<std::uint8_t>(t->number);
  d[3] = static_cast<std::uint8_t>(t->session);
  d[5] = static_cast<std::uint8_t>(t->control & 0x0F);
  std::uint8_t dataMode = 0x0F;
  if (t->mode == TrackMode::Mode1) dataMode = 0x01;
  if (t->mode == TrackMode::Mode2Xa || t->mode == TrackMode::Mode2Formless) dataMode = 0x02;
  d[6] = dataMode;
  PutBE32(&d[8], static_cast<std::uint32_t>(t->start));
  PutBE32(&d[24], t->length);
  d[32] = static_cast<std::uint8_t>(t->number >> 8);
  d[33] = static_cast<std::uint8_t>(t->session >> 8);
  if (t->nextWritable) {
    // An open track written in fixed packets: recorded up to its length,
    // writable from the next writable address to the end of an 80-minute disc.
    const std::uint32_t nwa = *t->nextWritable;
    d[6] = static_cast<std::uint8_t>(0x20 | 0x10 | dataMode);  // packet, fixed
    d[7] = 0x03;                                                // LRA_V, NWA_V
    PutBE32(&d[12], nwa);
    const std::uint32_t capacity = 360000 - 150;
    PutBE32(&d[16], nwa < capacity ? capacity - nwa : 0);
    PutBE32(&d[20], 32);
    if (t->length) PutBE32(&d[28], static_cast<std::uint32_t>(t->start) + t->length - 1);
  }
  d[32] = static_cast<std::uint8_t>(t->number >> 8);
  d[33] = static_cast<std::uint8_t>(t->session >> 8);
  Answer(c, r, d, GetBE16(c.cdb + 7));
}

void VirtualDrive::Read10(ScsiCommand& c, ScsiResult& r) {
  const std::uint32_t lba = GetBE32(c.cdb + 2);
  const std::uint32_t count = GetBE16(c.cdb + 7);
  if (count == 0) return;
  if (lba > 0x7FFFFFFFu || std::uint64_t(lba) + count > std::uint64_t(std::max(0, DiscEnd()))) {
    Fail(r, kSenseLbaOutOfRange);
    return;
  }
  const std::size_t room = c.data ? c.dataLength / 2048 : 0;
  std::uint32_t done = 0;
  std::uint8_t raw[kRawSectorSize];
  while (done < count && done < room) {  // nothing is read that the buffer cannot take
    const std::int32_t at = static_cast<std::int32_t>(lba + done);
    const TrackLayout* t = StoredAt(at);
    if (!t) {
      Fail(r, kSenseLbaOutOfRange);
      break;
    }
    if (t->mode == TrackMode::Audio) {
      Fail(r, kSenseIllegalModeForTrack);
      break;
    }
    if (IsBad(at)) {
      Fail(r, kSenseUnrecoveredRead);
      break;
    }
    std::uint8_t* dst = done < room ? c.data + std::size_t(done) * 2048 : nullptr;
    // Plain 2048-byte storage: the whole run of the extent straight into the buffer.
    const Extent* e = nullptr;
    for (const auto& x : t->extents)
      if (at >= x.firstLba && std::int64_t(at) < std::int64_t(x.firstLba) + x.count) e = &x;
    if (e && e->file && e->format == StoredFormat::UserData2048 && e->stride == 2048 && dst) {
      const std::int64_t end = std::min({std::int64_t(e->firstLba) + e->count, ReadableEnd(*t),
                                         NextBad(at), std::int64_t(at) + (count - done),
                                         std::int64_t(at) + static_cast<std::int64_t>(room - done)});
      const auto run = static_cast<std::uint32_t>(end - at);
      const std::size_t want = std::size_t(run) * 2048;
      const std::size_t got = ReadPlain(*e->file, e->offset + std::uint64_t(at - e->firstLba) * 2048, dst, want);
      if (got < want) {
        done += static_cast<std::uint32_t>(got / 2048);
        Fail(r, kSenseUnrecoveredRead);
        break;
      }
      done += run;
      continue;
    }
    SenseCode err{};
    std::uint32_t one = 0;
    if (!ReadRaw(at, 1, raw, nullptr, err, one)) {
      Fail(r, err);
      break;
    }
    const SectorKind k = KindOf(*t, raw);
    if (k != SectorKind::Mode1 && k != SectorKind::Form1) {
      Fail(r, kSenseIllegalModeForTrack);
      break;
    }
    if (dst) std::memcpy(dst, raw + (k == SectorKind::Mode1 ? 16 : 24), 2048);
    ++done;
  }
  r.transferred = std::min<std::size_t>(done, room) * 2048;
}

std::optional<PlainBytes> VirtualDrive::PlainUserData(std::uint32_t lba, std::uint32_t count) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_trayOpen || count == 0 || lba > 0x7FFFFFFFu) return std::nullopt;
  const std::int64_t end = std::int64_t(lba) + count;
  const auto at = static_cast<std::int32_t>(lba);
  const TrackLayout* t = StoredAt(at);
  if (!t || t->mode == TrackMode::Audio || end > ReadableEnd(*t) || end > DiscEnd() || NextBad(at) < end)
    return std::nullopt;
  // One extent of plain 2048-byte storage holding them all, in a real file
  // long enough for every one: what READ(10) serves from it byte for byte.
  for (const Extent& x : t->extents) {
    if (at < x.firstLba || end > std::int64_t(x.firstLba) + x.count) continue;
    if (!x.file || x.format != StoredFormat::UserData2048 || x.stride != 2048 || x.file->Descriptor() < 0)
      return std::nullopt;
    const std::uint64_t offset = x.offset + std::uint64_t(at - x.firstLba) * 2048;
    if (offset + std::uint64_t(count) * 2048 > x.file->Size()) return std::nullopt;
    return PlainBytes{x.file->Descriptor(), offset};
  }
  return std::nullopt;
}

std::size_t VirtualDrive::ReadPlain(ImageFile& f, std::uint64_t off, std::uint8_t* dst, std::size_t want) {
  ReadAhead& a = m_ahead;
  const bool same = a.file == &f, sequential = same && off == a.next;
  if (!same) a.held = 0;  // the window holds another file's bytes
  a.file = &f;
  a.next = off + want;
  if (same && off >= a.first && want <= a.held && off - a.first <= a.held - want) {
    std::memcpy(dst, a.data.data() + (off - a.first), want);
    return want;
  }
  // Random reads (a browser walking directories) and reads larger than the
  // window go straight to the file: a window would only cost them.
  if (!sequential || want >= kReadAheadBytes) return f.ReadAt(off, dst, want);
  a.data.resize(kReadAheadBytes);
  a.first = off;
  a.held = f.ReadAt(off, a.data.data(), kReadAheadBytes);
  const std::size_t n = std::min(a.held, want);
  std::memcpy(dst, a.data.data(), n);
  return n;
}

// The byte ranges of a raw sector that READ CD's field selection picks.
struct Field {
  std::size_t from, to;
};

std::size_t SelectFields(const std::uint8_t* raw, SectorKind k, std::uint8_t flags, std::uint8_t* out) {
  std::vector<Field> fs;
  if (k == SectorKind::Audio) {
    if (flags & 0xF8) fs.push_back({0, kRawSectorSize});
  } else {
    const int headers = (flags >> 5) & 0x03;
    const bool hasSub = k == SectorKind::Form1 || k == SectorKind::Form2;
    if (flags & 0x80) fs.push_back({0, 12});
    if (headers & 0x01) fs.push_back({12, 16});
    if ((headers & 0x02) && hasSub) fs.push_back({16, 24});
    std::size_t userFrom = 16, userTo = 2064, edcTo = kRawSectorSize;
    switch (k) {
      case SectorKind::Mode1: break;
      case SectorKind::Mode2Formless: userTo = kRawSectorSize; break;
      case SectorKind::Form1: userFrom = 24, userTo = 2072; break;
      case SectorKind::Form2: userFrom = 24, userTo = 2348; break;
      case SectorKind::Audio: break;
    }
    if (flags & 0x10) fs.push_back({userFrom, userTo});
    if ((flags & 0x08) && userTo < edcTo) fs.push_back({userTo, edcTo});
  }
  std::size_t n = 0;
  for (const auto& f : fs) {
    // Adjacent ranges join, so every selected byte is copied once, in order.
    std::memcpy(out + n, raw + f.from, f.to - f.from);
    n += f.to - f.from;
  }
  return n;
}

void VirtualDrive::ReadCd(ScsiCommand& c, ScsiResult& r) {
  if (!IsCdProfile(m_L.profile)) {
    Fail(r, kSenseIllegalModeForTrack);
    return;
  }
  const int expected = (c.cdb[1] >> 2) & 0x07;
  const std::uint32_t lba = GetBE32(c.cdb + 2);
  const std::uint32_t count = (std::uint32_t(c.cdb[6]) << 16) | (std::uint32_t(c.cdb[7]) << 8) | c.cdb[8];
  const std::uint8_t flags = c.cdb[9];
  const int c2 = (flags >> 1) & 0x03;
  const int subSel = c.cdb[10] & 0x07;
  if (expected > 5 || c2 == 3 || (subSel != 0 && subSel != 1 && subSel != 2 && subSel != 4)) {
    Fail(r, kSenseInvalidField);
    return;
  }
  if (count == 0) return;
  if (lba > 0x7FFFFFFFu || std::uint64_t(lba) + count > std::uint64_t(std::max(0, DiscEnd()))) {
    Fail(r, kSenseLbaOutOfRange);
    return;
  }
  const std::size_t cap = c.data ? c.dataLength : 0;
  // No field, no C2 and no sub-channel selected: no sector yields a byte,
  // so the first run tells whether the sectors read; the rest would only
  // burn time (a count of up to 2^24 sectors).
  const bool nothingSelected = (flags & 0xF8) == 0 && c2 == 0 && subSel == 0;
  std::size_t pos = 0;
  constexpr std::uint32_t kChunk = 32;
  std::vector<std::uint8_t> raw(kChunk * kRawSectorSize), sub(kChunk * 96);
  std::uint8_t one[kRawSectorSize + 296 + 96];
  std::uint32_t done = 0;
  std::size_t chunkStartPos = 0;  // pos when the current run began
  while (done < count) {
    const std::uint32_t n = std::min(kChunk, count - done);
    SenseCode err{};
    std::uint32_t got = 0;
    const bool ok = ReadRaw(static_cast<std::int32_t>(lba + done), n, raw.data(), subSel ? sub.data() : nullptr, err, got);
    for (std::uint32_t i = 0; i < got; ++i) {
      const std::int32_t at = static_cast<std::int32_t>(lba + done + i);
      const TrackLayout* t = StoredAt(at);
      const std::uint8_t* s = raw.data() + std::size_t(i) * kRawSectorSize;
      const SectorKind k = KindOf(*t, s);
      static constexpr SectorKind kByExpected[] = {SectorKind::Audio, SectorKind::Audio, SectorKind::Mode1,
                                                   SectorKind::Mode2Formless, SectorKind::Form1, SectorKind::Form2};
      if (expected != 0 && kByExpected[expected] != k) {
        Fail(r, kSenseIllegalModeForTrack);
        r.transferred = pos;
        return;
      }
      std::size_t len = SelectFields(s, k, flags, one);
      if (c2) {  // no C2 errors in a sector that was read
        const std::size_t c2Len = c2 == 1 ? 294 : 296;
        std::memset(one + len, 0, c2Len);
        len += c2Len;
      }
      const std::uint8_t* sd = sub.data() + std::size_t(i) * 96;
      if (subSel == 1) {
        std::memcpy(one + len, sd, 96);
        len += 96;
      } else if (subSel == 2) {  // formatted Q: the Q bit of each byte, 12 bytes, padded to 16
        std::uint8_t q[16] = {};
        for (int b = 0; b < 96; ++b)
          if (sd[b] & 0x40) q[b / 8] |= static_cast<std::uint8_t>(0x80 >> (b % 8));
        std::memcpy(one + len, q, 16);
        len += 16;
      } else if (subSel == 4) {  // R-W only
        for (int b = 0; b < 96; ++b) one[len + b] = sd[b] & 0x3F;
        len += 96;
      }
      const std::size_t put = pos < cap ? std::min(len, cap - pos) : 0;
      if (put) std::memcpy(c.data + pos, one, put);
      pos += put;
    }
    done += got;
    if (!ok) {
      Fail(r, err);
      break;
    }
    if (pos >= cap || nothingSelected) break;  // the caller's buffer is full: the rest would go nowhere
    // A whole run that yielded no byte (say the sub-header of Mode 1 or audio
    // sectors) is all the rest of its track will yield too: every sector of
    // such a track has the same fields. Skip to where a sector may differ.
    if (pos == chunkStartPos && got == n) {
      const TrackLayout* t = TrackAt(static_cast<std::int32_t>(lba + done - 1));
      if (t && t->mode != TrackMode::Mode2Xa) {
        const std::int64_t trackEnd = std::int64_t{t->start} + t->length;
        const std::int64_t here = std::int64_t{lba} + done;
        if (trackEnd > here) done += static_cast<std::uint32_t>(std::min<std::int64_t>(trackEnd - here, count - done));
      }
    }
    chunkStartPos = pos;
  }
  r.transferred = pos;
}

void VirtualDrive::GetConfiguration(ScsiCommand& c, ScsiResult& r) {
  const int rt = c.cdb[1] & 0x03;
  const std::uint16_t startFeature = GetBE16(c.cdb + 2);
  if (rt == 3) {
    Fail(r, kSenseInvalidField);
    return;
  }
  const int profile = m_trayOpen ? 0 : m_L.profile;
  const bool cd = IsCdProfile(profile), bd = IsBdProfile(profile), dvd = profile >= 0x10 && profile < 0x40;
  const bool present = profile != 0;

  struct Feature {
    std::uint16_t code;
    std::uint8_t versionFlags;  // version << 2 | persistent << 1 (current is added)
    bool current;
    std::vector<std::uint8_t> body;
  };
  std::vector<Feature> features;
  // Profiles the drive reads, highest first; the image's own if not among them.
  std::vector<int> profiles = {0x40, 0x10, 0x0A, 0x09, 0x08};
  if (profile && std::find(profiles.begin(), profiles.end(), profile) == profiles.end()) profiles.push_back(profile);
  std::sort(profiles.rbegin(), profiles.rend());
  std::vector<std::uint8_t> list;
  for (int p : profiles) list.insert(list.end(), {static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p),
                                                  static_cast<std::uint8_t>(p == profile ? 1 : 0), 0});
  features.push_back({0x0000, 0x02, true, list});
  features.push_back({0x0001, 0x0A, true, {0, 0, 0, 2, 0x01, 0, 0, 0}});  // ATAPI, DBE
  features.push_back({0x0002, 0x06, true, {0x02, 0, 0, 0}});              // OCEvent
  features.push_back({0x0003, 0x02, true, {static_cast<std::uint8_t>(0x29 | (m_locked ? 0x04 : 0)), 0, 0, 0}});  // tray, eject, lock
  std::vector<std::uint8_t> rr(8, 0);
  PutBE32(&rr[0], 2048);
  PutBE16(&rr[4], cd ? 1 : bd ? 32 : 16);
  features.push_back({0x0010, 0x00, present, rr});
  features.push_back({0x001D, 0x00, cd, {}});
  features.push_back({0x001E, 0x08, cd, {0x03, 0, 0, 0}});  // C2 pointers, CD-TEXT
  features.push_back({0x001F, 0x04, dvd, {0x01, 0, 0x01, 0}});
  if (bd) {
    std::vector<std::uint8_t> b(28, 0);
    b[25] = 0x02;  // BD-ROM class 0, version 1
    features.push_back({0x0040, 0x00, true, b});
  }
  features.push_back({0x0100, 0x02, true, {}});

  std::vector<std::uint8_t> d(8, 0);
  PutBE16(&d[6], static_cast<std::uint32_t>(profile));
  for (const auto& f : features) {
    if (rt == 2 ? f.code != startFeature : f.code < startFeature) continue;
    if (rt == 1 && !f.current) continue;
    d.insert(d.end(), {static_cast<std::uint8_t>(f.code >> 8), static_cast<std::uint8_t>(f.code),
                       static_cast<std::uint8_t>(f.versionFlags | (f.current ? 1 : 0)),
                       static_cast<std::uint8_t>(f.body.size())});
    d.insert(d.end(), f.body.begin(), f.body.end());
  }
  PutBE32(&d[0], static_cast<std::uint32_t>(d.size() - 4));
  Answer(c, r, d, GetBE16(c.cdb + 7));
}

void VirtualDrive::ModeSense10(ScsiCommand& c, ScsiResult& r) {
  const int pc = c.cdb[2] >> 6;
  const int page = c.cdb[2] & 0x3F;
  if (pc == 3) {  // saved values: nothing is saved
    Fail(r, SenseCode{0x05, 0x39, 0x00});
    return;
  }
  if (page != 0x2A && page != 0x3F) {
    Fail(r, kSenseInvalidField);
    return;
  }
  std::vector<std::uint8_t> d(8 + 32, 0);
  std::uint8_t* p = &d[8];
  p[0] = 0x2A;
  p[1] = 30;
  if (pc != 1) {  // the changeable mask is all zero: nothing can be changed
    p[2] = 0x1F;  // reads CD-R, CD-RW, Method 2, DVD-ROM, DVD-R
    p[3] = 0x00;  // writes nothing
    p[4] = 0x71;  // multi-session, Mode 2 Form 2, Form 1, audio play
    p[5] = 0x77;  // UPC, ISRC, C2 pointers, R-W, accurate CD-DA stream, CD-DA commands
    p[6] = static_cast<std::uint8_t>(0x29 | (m_locked ? 0x02 : 0));  // tray, eject, lock supported / state
    p[7] = 0x03;  // separate volume and mute per channel
    PutBE16(p + 8, 7056);   // 40x
    PutBE16(p + 10, 256);
    PutBE16(p + 12, 2048);  // buffer KiB
    PutBE16(p + 14, 7056);
    PutBE16(p + 22, 1);     // copy management revision
  }
  PutBE16(&d[0], static_cast<std::uint32_t>(d.size() - 2));
  Answer(c, r, d, GetBE16(c.cdb + 7));
}

void VirtualDrive::PreventAllow(ScsiCommand& c, ScsiResult&) { m_locked = (c.cdb[4] & 0x01) != 0; }

void VirtualDrive::StartStop(ScsiCommand& c, ScsiResult& r) {
  if (!(c.cdb[4] & 0x02)) return;  // spin up or down: nothing to do
  if (c.cdb[4] & 0x01) {
    m_trayOpen = false;
  } else if (m_locked) {
    Fail(r, kSenseRemovalPrevented);
  } else {
    m_trayOpen = true;
  }
}

}  // namespace

std::unique_ptr<Transport> CreateVirtualDrive(DiscLayout layout, std::string path) {
  return std::make_unique<VirtualDrive>(std::move(layout), std::move(path));
}

}  // namespace orvane
