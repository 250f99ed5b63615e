// The volume descriptor set.
#include "fs/iso9660/Descriptors.h"

#include <cstring>

#include "disc/ByteOrder.h"

namespace fs::iso9660 {

bool IsDescriptor(const std::uint8_t* s, DescriptorType type) {
  return s[kVdType] == static_cast<std::uint8_t>(type) && std::memcmp(s + kVdId, "CD001", 5) == 0;
}

const VolumeDescriptor* DescriptorSet::Shown() const {
  if (joliet && supplementary) return &*supplementary;
  return primary ? &*primary : nullptr;
}

std::vector<PathTable> PathTables(const VolumeDescriptor& d) {
  const std::uint8_t* s = d.bytes.data();
  const std::uint32_t bytes = GetLE32(s + kVdPathTableSize);
  const std::uint32_t at[] = {GetLE32(s + kVdPathTableL), GetLE32(s + kVdPathTableL + 4), GetBE32(s + kVdPathTableM),
                              GetBE32(s + kVdPathTableM + 4)};
  std::vector<PathTable> tables;
  for (std::uint32_t lba : at)
    if (lba != 0 && bytes != 0) tables.push_back({lba, bytes});
  return tables;
}

DescriptorSet ReadDescriptors(SectorSource& source, std::uint32_t start) {
  DescriptorSet set;
  bool supplementarySeen = false;
  for (int i = 0; i < kDescriptorSectors; ++i) {
    const std::uint32_t lba = start + kFirstDescriptor + static_cast<std::uint32_t>(i);
    if (lba < start) break;  // no sector past the last address
    VolumeDescriptor d;
    d.lba = lba;
    if (source.Read(lba, 1, d.bytes.data()) != SectorRead::Ok) continue;
    set.anyRead = true;
    const std::uint8_t* s = d.bytes.data();
    if (std::memcmp(s + kVdId, "CD001", 5) != 0) continue;
    d.rootExtent = GetLE32(s + kVdRootRecord + kRecExtent);
    d.rootLength = GetLE32(s + kVdRootRecord + kRecDataLength);
    switch (static_cast<DescriptorType>(s[kVdType])) {
      case DescriptorType::Primary:
        if (!set.primary) set.primary = d;
        break;
      case DescriptorType::Supplementary:
        // An ISO 9660:1999 descriptor is no Joliet one, whatever its escapes.
        if (s[kVdVersion] == 2 && s[kVdStructureVersion] == 2) {
          if (!set.enhanced) set.enhanced = d;
        } else if (!supplementarySeen) {
          supplementarySeen = true;
          set.joliet = s[kVdEscape] || s[kVdEscape + 1] || s[kVdEscape + 2];
          set.supplementary = d;
        }
        break;
      case DescriptorType::BootRecord:
        if (!set.bootRecord) set.bootRecord = d;
        break;
      case DescriptorType::Terminator:
        set.terminator = true;
        return set;
      default:
        break;
    }
  }
  return set;
}

}  // namespace fs::iso9660
