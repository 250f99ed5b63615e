#include "tests/support/MemoryImage.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

std::size_t MemoryImageFile::ReadAt(std::uint64_t offset, void* out, std::size_t length) {
  ++m_reads;
  if (offset >= m_bytes.size() || length == 0) return 0;
  const std::size_t n = std::min<std::uint64_t>(length, m_bytes.size() - offset);
  std::memcpy(out, m_bytes.data() + offset, n);
  return n;
}

orvane::TrackLayout MemoryTrack(int number, orvane::TrackMode mode, std::int32_t start, std::uint32_t count,
                                std::shared_ptr<orvane::ImageFile> file, orvane::StoredFormat format,
                                std::uint32_t stride, std::uint32_t pregap, int session) {
  orvane::TrackLayout t;
  t.number = number;
  t.session = session;
  t.mode = mode;
  t.control = mode == orvane::TrackMode::Audio ? 0x00 : 0x04;
  t.pregapStart = start - static_cast<std::int32_t>(pregap);
  t.start = start;
  t.length = count;
  orvane::Extent e;
  e.firstLba = start;
  e.count = count;
  e.file = std::move(file);
  e.format = format;
  e.stride = stride;
  t.extents.push_back(e);
  return t;
}

orvane::DiscLayout MemoryDisc(std::vector<orvane::TrackLayout> tracks, int profile) {
  orvane::DiscLayout l;
  l.format = "MEMORY";
  l.profile = profile;
  std::int32_t end = 0;
  for (const auto& t : tracks) end = std::max<std::int32_t>(end, t.start + static_cast<std::int32_t>(t.length));
  orvane::SessionLayout s;
  s.leadOut = end;
  if (!tracks.empty() && tracks.front().mode == orvane::TrackMode::Mode2Xa) s.discType = 0x20;
  l.sessions.push_back(s);
  l.tracks = std::move(tracks);
  return l;
}

orvane::DiscLayout TwoSessionDisc(std::vector<std::uint8_t> pcm1, std::vector<std::uint8_t> pcm2,
                                  std::vector<std::uint8_t> user) {
  auto file = [](std::vector<std::uint8_t> b) { return std::make_shared<MemoryImageFile>(std::move(b)); };
  auto l = MemoryDisc({MemoryTrack(1, orvane::TrackMode::Audio, 0, 20, file(std::move(pcm1)),
                                   orvane::StoredFormat::Audio2352, 2352),
                       MemoryTrack(2, orvane::TrackMode::Audio, 20, 20, file(std::move(pcm2)),
                                   orvane::StoredFormat::Audio2352, 2352),
                       MemoryTrack(3, orvane::TrackMode::Mode1, 11460, 30, file(std::move(user)),
                                   orvane::StoredFormat::UserData2048, 2048, 150, 2)});
  l.tracks[0].control = l.tracks[1].control = 0;
  l.sessions[0].leadOut = 40;
  orvane::SessionLayout s2;
  s2.number = 2;
  s2.leadOut = 11490;
  l.sessions.push_back(s2);
  return l;
}

orvane::DiscLayout ManyTrackDisc(int tracks, bool sessionPerTrack, std::uint32_t sectorsEach, int profile) {
  const std::uint32_t total = static_cast<std::uint32_t>(tracks) * sectorsEach;
  auto file = std::make_shared<MemoryImageFile>(std::vector<std::uint8_t>(std::size_t{total} * 2048, 0));
  std::vector<orvane::TrackLayout> list;
  for (int n = 1; n <= tracks; ++n) {
    const auto start = static_cast<std::int32_t>(static_cast<std::uint32_t>(n - 1) * sectorsEach);
    list.push_back(MemoryTrack(n, orvane::TrackMode::Mode1, start, sectorsEach, file,
                               orvane::StoredFormat::UserData2048, 2048, 0, sessionPerTrack ? n : 1));
    list.back().extents.back().offset = std::uint64_t(start) * 2048;
  }
  orvane::DiscLayout l = MemoryDisc(std::move(list), profile);
  if (sessionPerTrack) {
    l.sessions.clear();
    for (int n = 1; n <= tracks; ++n) {
      orvane::SessionLayout s;
      s.number = n;
      s.leadOut = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) * sectorsEach);
      l.sessions.push_back(s);
    }
  }
  return l;
}

}  // namespace testsupport
