#pragma once
// A compact form of a disc image for fuzz inputs: most sectors of a file
// system image are zeros, and a mutation spent on them is wasted. The form is
// a run of records, each a sector number (32-bit little-endian), a length
// (16-bit little-endian, at most one sector) and that many bytes: the start
// of the sector, the rest zeros. Sectors never named are zeros; the image
// ends after the highest one named.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace fuzzsupport {

// Keeps expanded images small enough for many runs a second.
constexpr std::uint32_t kMaxSparseSectors = 4096;

// Calls each(sector, bytes, length) for every record, in order.
template <typename Each>
void ForEachSparseRecord(std::string_view in, std::size_t sectorSize, Each each) {
  std::size_t at = 0;
  while (at + 6 <= in.size()) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(in.data() + at);
    const std::uint32_t sector = (p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24)) % kMaxSparseSectors;
    std::size_t length = std::min<std::size_t>(p[4] | (p[5] << 8), sectorSize);
    at += 6;
    length = std::min(length, in.size() - at);
    each(sector, reinterpret_cast<const std::uint8_t*>(in.data() + at), length);
    at += length;
  }
}

// The image as one buffer, zeros and all.
inline std::vector<std::uint8_t> ExpandSparse(std::string_view in, std::size_t sectorSize) {
  std::size_t size = 0;
  ForEachSparseRecord(in, sectorSize, [&](std::uint32_t sector, const std::uint8_t*, std::size_t) {
    size = std::max(size, (std::size_t(sector) + 1) * sectorSize);
  });
  std::vector<std::uint8_t> out(size, 0);
  ForEachSparseRecord(in, sectorSize, [&](std::uint32_t sector, const std::uint8_t* bytes, std::size_t length) {
    std::memcpy(out.data() + std::size_t(sector) * sectorSize, bytes, length);
  });
  return out;
}

// The same image holding only the sectors named: the zeros between them are
// never written, so an image of thousands of sectors costs a run no more
// than the records it is made of (filling megabytes of zeros per run was
// most of a run's time).
class SparseSectors {
 public:
  SparseSectors(std::string_view in, std::size_t sectorSize) : m_SectorSize(sectorSize) {
    ForEachSparseRecord(in, sectorSize, [&](std::uint32_t sector, const std::uint8_t* bytes, std::size_t length) {
      std::vector<std::uint8_t>& s = m_Named[sector];
      s.resize(sectorSize, 0);
      std::memcpy(s.data(), bytes, length);
    });
  }
  std::uint32_t Sectors() const { return m_Named.empty() ? 0 : m_Named.rbegin()->first + 1; }
  // Copies count sectors from first; false when they run past the image.
  bool Read(std::uint64_t first, std::uint32_t count, std::uint8_t* out) const {
    if (first + count > Sectors()) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto it = m_Named.find(static_cast<std::uint32_t>(first + i));
      std::uint8_t* to = out + std::size_t(i) * m_SectorSize;
      if (it == m_Named.end()) std::memset(to, 0, m_SectorSize);
      else std::memcpy(to, it->second.data(), m_SectorSize);
    }
    return true;
  }

 private:
  std::size_t m_SectorSize;
  std::map<std::uint32_t, std::vector<std::uint8_t>> m_Named;
};

inline std::vector<std::uint8_t> MakeSparse(const std::vector<std::uint8_t>& image, std::size_t sectorSize) {
  std::vector<std::uint8_t> out;
  const std::size_t sectors = image.size() / sectorSize;
  for (std::size_t s = 0; s < sectors; ++s) {
    const std::uint8_t* p = image.data() + s * sectorSize;
    std::size_t length = sectorSize;
    while (length && p[length - 1] == 0) --length;
    // The last sector is kept even when empty: it sets the image's size.
    if (!length && s + 1 != sectors) continue;
    const std::uint8_t head[6] = {static_cast<std::uint8_t>(s), static_cast<std::uint8_t>(s >> 8),
                                  static_cast<std::uint8_t>(s >> 16), static_cast<std::uint8_t>(s >> 24),
                                  static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
    out.insert(out.end(), head, head + 6);
    out.insert(out.end(), p, p + length);
  }
  return out;
}

}  // namespace fuzzsupport
