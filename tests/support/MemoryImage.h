#pragma once
// Disc layouts held in memory for driving the virtual drive in tests: an
// ImageFile over a byte vector and builders for the common track shapes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/orvane/DiscImage.h"

namespace testsupport {

class MemoryImageFile : public orvane::ImageFile {
 public:
  explicit MemoryImageFile(std::vector<std::uint8_t> bytes, std::string path = "memory.img")
      : m_bytes(std::move(bytes)), m_path(std::move(path)) {}
  std::uint64_t Size() const override { return m_bytes.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t length) override;
  const std::string& Path() const override { return m_path; }
  // How many ReadAt calls were made (one per run of sectors is the goal).
  int Reads() const { return m_reads; }

 private:
  std::vector<std::uint8_t> m_bytes;
  std::string m_path;
  int m_reads = 0;
};

// A track of count sectors from start stored in bytes (stride bytes a sector)
// in the given format; pregap sectors before start are not stored.
orvane::TrackLayout MemoryTrack(int number, orvane::TrackMode mode, std::int32_t start, std::uint32_t count,
                                std::shared_ptr<orvane::ImageFile> file, orvane::StoredFormat format,
                                std::uint32_t stride, std::uint32_t pregap = 0, int session = 1);

// One session holding the given tracks, lead-out after the last; the
// profile a CD-ROM (0x08) unless given.
orvane::DiscLayout MemoryDisc(std::vector<orvane::TrackLayout> tracks, int profile = 0x08);

// Two sessions: audio tracks 1 (sectors 0-19, pcm1) and 2 (20-39, pcm2) with
// the lead-out at 40, then data track 3 (11460-11489, user, 2048 bytes a
// sector) in session 2 after the lead-out and lead-in gap.
orvane::DiscLayout TwoSessionDisc(std::vector<std::uint8_t> pcm1, std::vector<std::uint8_t> pcm2,
                                  std::vector<std::uint8_t> user);

// A recordable BD (profile 0x41 unless given) of `tracks` data tracks of
// 2048-byte sectors, `sectorsEach` sectors each; with sessionPerTrack every
// track closes a session of its own (track n in session n).
orvane::DiscLayout ManyTrackDisc(int tracks, bool sessionPerTrack, std::uint32_t sectorsEach = 2, int profile = 0x41);

}  // namespace testsupport
