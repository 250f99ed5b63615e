#include "platform/orvane/ReaderTracks.h"

#include <algorithm>
#include <cstring>

#include "platform/orvane/CdText.h"

namespace orvane {

std::optional<SectorStorage> StorageFor(TrackMode mode, std::uint32_t sectorSize) {
  SectorStorage s;
  s.mode = mode;
  s.stride = sectorSize;
  const bool audio = mode == TrackMode::Audio;
  switch (sectorSize) {
    case disc::kUserDataSize:
      if (audio) return std::nullopt;
      s.format = StoredFormat::UserData2048;
      return s;
    case disc::kMode2BodySize:
      if (audio || mode == TrackMode::Mode1) return std::nullopt;
      s.format = StoredFormat::Mode2_2336;
      return s;
    case disc::kRawSectorSize:
    case disc::kRawSectorSize + disc::kSubchannelSize:
      s.format = audio ? StoredFormat::Audio2352 : StoredFormat::Raw2352;
      s.subchannel = sectorSize == disc::kRawSectorSize + disc::kSubchannelSize;
      return s;
    default:
      return std::nullopt;
  }
}

Extent StoredRun(std::int32_t lba, std::uint32_t count, const std::shared_ptr<ImageFile>& file, std::uint64_t offset,
                 const SectorStorage& storage) {
  Extent e;
  e.firstLba = lba;
  e.count = count;
  e.file = file;
  e.offset = offset;
  e.format = storage.format;
  e.stride = storage.stride;
  e.hasSubchannel = storage.subchannel;
  e.subchannelOffset = storage.subchannel ? disc::kRawSectorSize : 0;
  e.subchannelLinear = storage.subchannelLinear;
  return e;
}

Extent UnstoredRun(std::int32_t lba, std::uint32_t count, TrackMode mode) {
  Extent e;
  e.firstLba = lba;
  e.count = count;
  e.format = mode == TrackMode::Audio ? StoredFormat::Audio2352 : StoredFormat::UserData2048;
  e.stride = mode == TrackMode::Audio ? disc::kRawSectorSize : disc::kUserDataSize;
  return e;
}

void RefineMode2(TrackLayout& t) {
  if (t.mode != TrackMode::Mode2Xa && t.mode != TrackMode::Mode2Formless) return;
  for (const Extent& e : t.extents) {
    if (!e.file || e.firstLba + std::int64_t(e.count) <= t.start) continue;
    if (e.format != StoredFormat::Raw2352 && e.format != StoredFormat::Mode2_2336) return;
    const std::uint64_t at = e.offset + std::uint64_t(std::max<std::int64_t>(0, std::int64_t(t.start) - e.firstLba)) * e.stride;
    const std::size_t sub = e.format == StoredFormat::Raw2352 ? 16 : 0;
    std::uint8_t h[24];
    if (e.file->ReadAt(at, h, sizeof h) != sizeof h) return;
    t.mode = std::memcmp(h + sub, h + sub + 4, 4) == 0 ? TrackMode::Mode2Xa : TrackMode::Mode2Formless;
    return;
  }
}

void DeriveSessions(DiscLayout& layout) {
  for (const TrackLayout& t : layout.tracks) {
    auto it = std::find_if(layout.sessions.begin(), layout.sessions.end(),
                           [&](const SessionLayout& s) { return s.number == t.session; });
    if (it == layout.sessions.end()) {
      SessionLayout s;
      s.number = t.session;
      layout.sessions.push_back(s);
      it = layout.sessions.end() - 1;
    }
    const std::int64_t end = std::int64_t(t.start) + t.length;
    if (end > it->leadOut) it->leadOut = static_cast<std::int32_t>(std::min<std::int64_t>(end, INT32_MAX));
    if (t.mode == TrackMode::Mode2Xa || t.mode == TrackMode::Mode2Formless) {
      if (it->discType != 0x10) it->discType = 0x20;
    }
  }
  std::sort(layout.sessions.begin(), layout.sessions.end(),
            [](const SessionLayout& a, const SessionLayout& b) { return a.number < b.number; });
}

bool CheckLayout(const DiscLayout& l, const std::string& what, std::string& error) {
  auto fail = [&](const std::string& why) {
    error = what + ": " + why;
    return false;
  };
  if (l.tracks.empty()) return fail("holds no tracks");
  if (l.tracks.size() > 99) return fail("holds more than 99 tracks");
  const bool cd = l.profile == 0x08 || l.profile == 0x09 || l.profile == 0x0A;
  std::int64_t prevEnd = INT64_MIN;
  int prevSession = 0;
  for (std::size_t i = 0; i < l.tracks.size(); ++i) {
    const TrackLayout& t = l.tracks[i];
    const std::string name = "track " + std::to_string(t.number);
    if (t.number < 1 || t.number > 99) return fail("track number " + std::to_string(t.number) + " is not 1 to 99");
    if (i > 0 && t.number != l.tracks[i - 1].number + 1) return fail("track numbers must rise by one");
    if (t.length == 0) return fail(name + " holds no sectors");
    if (t.pregapStart > t.start) return fail(name + " has its pregap after its start");
    if (t.session < prevSession || t.session > prevSession + 1 || (i == 0 && t.session != 1))
      return fail(name + " lies in session " + std::to_string(t.session) + " out of order");
    prevSession = t.session;
    if (t.pregapStart < prevEnd) return fail(name + " overlaps the track before it");
    if (t.pregapStart < -150) return fail(name + " starts before the disc");
    const std::int64_t end = std::int64_t(t.start) + t.length;
    if (cd && end > kMaxCdSectors) return fail("the disc would be longer than 99:59:74");
    if (end > INT32_MAX) return fail(name + " ends past any disc");
    prevEnd = end;
    std::int64_t at = t.pregapStart;
    for (const Extent& e : t.extents) {
      if (e.firstLba != at) return fail(name + " is not stored in order");
      at += e.count;
      if (!e.file) continue;
      const std::uint64_t need = e.offset + std::uint64_t(e.count) * e.stride;
      if (e.offset > e.file->Size() || need > e.file->Size())
        return fail(name + " lies past the end of " + e.file->Path() + " (is it truncated?)");
    }
    if (at > end) return fail(name + " stores more sectors than it has");
  }
  for (std::size_t s = 0; s < l.sessions.size(); ++s) {
    const SessionLayout& ss = l.sessions[s];
    if (ss.number != static_cast<int>(s) + 1) return fail("sessions must be numbered 1, 2, 3 ...");
    bool any = false;
    std::int64_t last = INT64_MIN;
    for (const TrackLayout& t : l.tracks)
      if (t.session == ss.number) {
        any = true;
        last = std::int64_t(t.start) + t.length;
      }
    if (!any) return fail("session " + std::to_string(ss.number) + " holds no tracks");
    if (ss.leadOut < last) return fail("session " + std::to_string(ss.number) + " ends before its last track");
    for (const TrackLayout& t : l.tracks)
      if (t.session > ss.number && t.pregapStart < ss.leadOut)
        return fail("session " + std::to_string(t.session) + " starts inside session " + std::to_string(ss.number));
  }
  if (l.tracks.back().session != static_cast<int>(l.sessions.size()))
    return fail("a track lies in a session the image does not list");
  return true;
}

std::vector<std::uint8_t> CdTextPacksFrom(const std::uint8_t* data, std::size_t size) {
  // A writer's closing NUL, after bare packs or after a TOC answer.
  if (size && data[size - 1] == 0 && (size % kCdTextPackSize == 1 || (size >= 5 && (size - 4) % kCdTextPackSize == 1)))
    --size;
  // A TOC answer's header gives the length of what follows its length field.
  if (size >= 4 && (size - 4) % kCdTextPackSize == 0 && std::size_t((data[0] << 8) | data[1]) == size - 2) {
    data += 4;
    size -= 4;
  }
  size -= size % kCdTextPackSize;
  return std::vector<std::uint8_t>(data, data + size);
}

bool AllOf(const std::string& s, std::size_t n, int (*pred)(int)) {
  if (s.size() != n) return false;
  for (unsigned char c : s)
    if (!pred(c)) return false;
  return true;
}

}  // namespace orvane
