#pragma once
// The volume descriptor set of an ISO 9660 volume: from sector 16 of the
// volume, one descriptor a sector, up to its terminator.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/SectorSource.h"
#include "fs/iso9660/Record.h"

namespace fs::iso9660 {

// Volume descriptor fields.
constexpr std::size_t kVdType = 0;
constexpr std::size_t kVdId = 1;              // "CD001"
constexpr std::size_t kVdVersion = 6;
constexpr std::size_t kVdEscape = 88;         // escape sequences of a supplementary descriptor
constexpr std::size_t kVdPathTableSize = 132;   // both-endian, bytes of one table
constexpr std::size_t kVdPathTableL = 140;      // little-endian table, then its optional copy at 144
constexpr std::size_t kVdPathTableM = 148;      // big-endian table, then its optional copy at 152
constexpr std::size_t kVdRootRecord = 156;    // the root directory's record, 34 bytes
constexpr std::size_t kVdStructureVersion = 881;
constexpr std::uint32_t kFirstDescriptor = 16;

enum class DescriptorType : std::uint8_t {
  BootRecord = 0,
  Primary = 1,
  Supplementary = 2,
  Partition = 3,
  Terminator = 255,
};

struct VolumeDescriptor {
  std::uint32_t lba = 0;
  std::array<std::uint8_t, kSectorBytes> bytes{};
  std::uint32_t rootExtent = 0;
  std::uint32_t rootLength = 0;
};

struct DescriptorSet {
  std::optional<VolumeDescriptor> primary;
  // The first supplementary descriptor that is not an enhanced one: it
  // makes the volume Joliet when any of its first three escape bytes is set.
  std::optional<VolumeDescriptor> supplementary;
  bool joliet = false;
  std::optional<VolumeDescriptor> enhanced;    // ISO 9660:1999 (version 2, structure version 2)
  std::optional<VolumeDescriptor> bootRecord;  // El Torito's, or another system's
  bool terminator = false;                     // the set ended with its terminator
  bool anyRead = false;
  // The descriptor a volume is browsed through by the name rules of old
  // (Joliet's where there is one, else the primary one), which the volume
  // view shows; null when the set has neither.
  const VolumeDescriptor* Shown() const;
};

// A path table of a primary or supplementary descriptor: where it starts
// and its size in bytes.
struct PathTable {
  std::uint32_t lba = 0;
  std::uint32_t bytes = 0;
};
// Its tables (little- and big-endian, with their optional copies), those
// recorded as sector 0 left out.
std::vector<PathTable> PathTables(const VolumeDescriptor& d);

// Reads the descriptors of the volume at start (kDescriptorSectors at most).
DescriptorSet ReadDescriptors(SectorSource& source, std::uint32_t start);

// Whether a 2048-byte sector is a descriptor of that type ("CD001" at 1).
bool IsDescriptor(const std::uint8_t* sector, DescriptorType type);

}  // namespace fs::iso9660
