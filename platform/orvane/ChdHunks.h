#pragma once
// A CHD's data as one plain file: reads are served hunk by hunk, each hunk
// decompressed and checked against its CRC once and kept in a small cache, so
// the virtual drive reads it like any other image file. A hunk that cannot be
// had ends the read short, which the drive answers as an unreadable sector.
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/orvane/ChdContainer.h"

namespace orvane::chd {

enum class HunkStatus { Ok, Unreadable, BadCodec, Damaged, BadCrc, NeedsParent, SelfLoop };
const char* HunkStatusText(HunkStatus s);

// Whether this program decodes the codec of that FourCC.
bool KnownCodec(std::uint32_t tag);

// Decodes one hunk's compressed bytes with the codec tag into out (hunkBytes long).
HunkStatus DecodeHunk(std::uint32_t codec, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

class HunkFile final : public ImageFile {
 public:
  HunkFile(std::shared_ptr<ImageFile> chd, const Header& header, std::vector<HunkEntry> map);
  std::uint64_t Size() const override { return m_header.logicalBytes; }
  const std::string& Path() const override { return m_chd->Path(); }
  std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t length) override;

 private:
  // One hunk, decompressed and checked; null when it cannot be had. Called under m_lock.
  const std::vector<std::uint8_t>* Hunk(std::uint64_t index, HunkStatus& status);
  HunkStatus Load(std::uint64_t index, std::vector<std::uint8_t>& out);
  struct Cached {
    std::uint64_t index;
    std::vector<std::uint8_t> data;
  };
  std::shared_ptr<ImageFile> m_chd;
  Header m_header;
  std::vector<HunkEntry> m_map;
  std::mutex m_lock;  // the copy engine, the scan and the player read from their own threads
  std::list<Cached> m_cache;  // most recently used first
  std::size_t m_cacheHunks;
  std::vector<bool> m_damaged;  // hunks already found bad, so a scan does not decode them again
  std::vector<std::uint8_t> m_packed;
};

}  // namespace orvane::chd
