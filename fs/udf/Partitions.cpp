#include "fs/udf/Partitions.h"

#include <algorithm>
#include <cstring>

namespace udf {

void SparingMap::Reset(std::uint16_t packetLength, std::vector<SparingEntry> entries) {
  std::sort(entries.begin(), entries.end(),
            [](const SparingEntry& x, const SparingEntry& y) { return x.original < y.original; });
  m_PacketLength = packetLength;
  m_Entries = std::move(entries);
}

std::optional<std::uint32_t> SparingMap::Moved(std::uint32_t block) const {
  if (Empty()) return std::nullopt;
  const std::uint32_t packet = block - block % m_PacketLength;
  auto it = std::lower_bound(m_Entries.begin(), m_Entries.end(), packet,
                             [](const SparingEntry& e, std::uint32_t v) { return e.original < v; });
  if (it == m_Entries.end() || it->original != packet) return std::nullopt;
  return it->mapped + (block - packet);
}

std::uint64_t SparingMap::RunFrom(std::uint32_t block, std::uint64_t most) const {
  if (Empty()) return most;
  const std::uint32_t packet = block - block % m_PacketLength;
  auto it = std::lower_bound(m_Entries.begin(), m_Entries.end(), packet,
                             [](const SparingEntry& e, std::uint32_t v) { return e.original < v; });
  if (it != m_Entries.end() && it->original == packet)
    return std::max<std::uint64_t>(1, std::min<std::uint64_t>(most, std::uint64_t(packet) + m_PacketLength - block));
  if (it != m_Entries.end()) return std::max<std::uint64_t>(1, std::min<std::uint64_t>(most, it->original - block));
  return most;
}

MetadataMap::Build MetadataMap::Assign(const std::vector<AllocDesc>& ads, std::uint32_t blockSize) {
  m_Runs.clear();
  std::uint64_t at = 0;
  for (const AllocDesc& a : ads) {
    const std::uint64_t blocks = (std::uint64_t(a.length) + blockSize - 1) / blockSize;
    if (blocks == 0) continue;
    if (at + blocks > 0xFFFFFFFFull) return Build::BadDescriptors;
    if (m_Runs.size() >= kMaxMetadataRuns) return Build::TooManyRuns;
    m_Runs.push_back(Run{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(blocks), a.block,
                         a.extentType == kExtentRecorded});
    at += blocks;
  }
  return m_Runs.empty() ? Build::NotAFile : Build::Ok;
}

const MetadataMap::Run* MetadataMap::Find(std::uint32_t block) const {
  auto it = std::upper_bound(m_Runs.begin(), m_Runs.end(), block,
                             [](std::uint32_t v, const Run& r) { return v < r.first; });
  if (it == m_Runs.begin()) return nullptr;
  --it;
  if (block - it->first >= it->count || !it->recorded) return nullptr;
  return &*it;
}

std::optional<std::uint32_t> MetadataMap::Lookup(std::uint32_t block) const {
  const Run* r = Find(block);
  if (!r || std::uint64_t(r->partition) + (block - r->first) > 0xFFFFFFFFull) return std::nullopt;
  return r->partition + (block - r->first);
}

std::uint32_t MetadataMap::RunFrom(std::uint32_t block) const {
  const Run* r = Find(block);
  return r ? r->count - (block - r->first) : 1;
}

std::uint64_t SessionEndBlock(std::uint32_t partitionStart, std::uint32_t partitionLength,
                              std::optional<std::uint32_t> vatBlock) {
  if (vatBlock) return std::uint64_t(*vatBlock) + 1;
  return std::uint64_t(partitionStart) + partitionLength;
}

}  // namespace udf
