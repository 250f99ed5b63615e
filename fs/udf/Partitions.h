#pragma once
// Where a partition's blocks really lie: packets a sparable partition moved
// to spare space, and the blocks of a metadata partition (UDF 2.50 and
// later), which are the data of the metadata file in the partition below it.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fs/udf/Descriptors.h"

namespace udf {

// A sparable partition's table of moved packets.
class SparingMap {
 public:
  void Reset(std::uint16_t packetLength, std::vector<SparingEntry> entries);
  bool Empty() const { return m_Entries.empty() || m_PacketLength == 0; }
  // The absolute block holding partition block `block`, or nullopt when its
  // packet was not moved.
  std::optional<std::uint32_t> Moved(std::uint32_t block) const;
  // Blocks from `block` that share its fate (moved together, or not moved
  // up to the next moved packet); at least 1.
  std::uint64_t RunFrom(std::uint32_t block, std::uint64_t most) const;

 private:
  std::uint16_t m_PacketLength = 0;
  std::vector<SparingEntry> m_Entries;  // by original
};

// The metadata partition's blocks as runs of the partition under it.
class MetadataMap {
 public:
  struct Run {
    std::uint32_t first = 0;      // metadata block
    std::uint32_t count = 0;      // blocks
    std::uint32_t partition = 0;  // block of the partition under it
    bool recorded = true;
  };
  enum class Build { Ok, NotAFile, BadDescriptors, TooManyRuns };
  // From the metadata file's allocation descriptors (short_ad or long_ad,
  // partition-relative in the partition under the metadata partition).
  Build Assign(const std::vector<AllocDesc>& ads, std::uint32_t blockSize);
  void Clear() { m_Runs.clear(); }
  bool Empty() const { return m_Runs.empty(); }
  // The partition block of metadata block `block`, or nullopt when no
  // recorded extent covers it.
  std::optional<std::uint32_t> Lookup(std::uint32_t block) const;
  // Blocks from `block` that lie consecutively in the partition under it.
  std::uint32_t RunFrom(std::uint32_t block) const;
  std::uint64_t Blocks() const { return m_Runs.empty() ? 0 : std::uint64_t(m_Runs.back().first) + m_Runs.back().count; }

 private:
  const Run* Find(std::uint32_t block) const;
  std::vector<Run> m_Runs;  // by first
};

// Where a UDF session ends, for whoever looks for a session appended after
// it: after the VAT's block on write-once media, else after the partition.
// Both in absolute logical blocks; the result is the first block past it.
std::uint64_t SessionEndBlock(std::uint32_t partitionStart, std::uint32_t partitionLength,
                              std::optional<std::uint32_t> vatBlock);

}  // namespace udf
