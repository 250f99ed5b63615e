#include "fs/iso9660/ElTorito.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disc/ByteOrder.h"
#include "fs/iso9660/Descriptors.h"

namespace fs::iso9660 {

namespace {

// Boot record descriptor: 0 type 0, 1 "CD001", 6 version, 7 boot system id (32), 71 catalog sector (LE 4).
constexpr char kElTorito[] = "EL TORITO SPECIFICATION";
constexpr std::size_t kCatalogPointer = 71;
// Validation entry: 0 header id 1, 1 platform, 4 id string (24), 28 checksum, 30 55 AA.
// Boot entry: 0 indicator 88/00, 1 media type (bit 5: extensions follow), 2 load segment,
// 4 system type, 6 sector count, 8 load RBA.
// Section header: 0 90 (more follow) or 91 (last), 1 platform, 2 entry count, 4 id string.
// Extension entry: 0 44, 1 flags (bit 5: another follows).
constexpr std::uint8_t kBootable = 0x88, kNotBootable = 0x00, kSectionMore = 0x90, kSectionLast = 0x91,
                       kExtension = 0x44, kExtensionsFollow = 0x20;
constexpr std::uint32_t kVirtualSector = 512;

bool CheckValidation(const std::uint8_t* v, BootCatalog& cat) {
  if (v[0] != 1 || v[30] != 0x55 || v[31] != 0xAA) {
    cat.status = CatalogStatus::BadValidationEntry;
    return false;
  }
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < kCatalogEntryBytes; i += 2) sum = static_cast<std::uint16_t>(sum + GetLE16(v + i));
  if (sum != 0) {
    cat.status = CatalogStatus::BadChecksum;
    return false;
  }
  cat.platform = v[1];
  cat.idString.assign(reinterpret_cast<const char*>(v + 4), 24);
  cat.idString.erase(cat.idString.find_last_not_of(std::string(" \0", 2)) + 1);
  return true;
}

// Reads one boot entry (initial or section entry) if it is one.
bool ReadEntry(const std::uint8_t* e, std::uint8_t platform, BootCatalog& cat) {
  if (e[0] != kBootable && e[0] != kNotBootable) return false;
  BootEntry b;
  b.number = static_cast<unsigned>(cat.entries.size() + 1);
  b.bootable = e[0] == kBootable;
  b.platform = platform;
  b.mediaType = e[1] & 0x0F;
  b.loadSegment = GetLE16(e + 2);
  b.systemType = e[4];
  b.sectorCount = GetLE16(e + 6);
  b.loadRba = GetLE32(e + 8);
  b.name = std::to_string(b.number) + "-" + BootPlatformText(platform) + "-" + BootEmulationText(b.mediaType) + ".img";
  cat.entries.push_back(std::move(b));
  return true;
}

void AddFault(BootCatalog& cat, CatalogFault f) {
  if (std::find(cat.faults.begin(), cat.faults.end(), f) == cat.faults.end()) cat.faults.push_back(f);
}

// Skips the extension entries that follow entry at `at` when its media byte says so.
std::size_t SkipExtensions(std::span<const std::uint8_t> bytes, std::size_t at) {
  bool more = bytes[at + 1] & kExtensionsFollow;
  at += kCatalogEntryBytes;
  while (more && bytes.size() - at >= kCatalogEntryBytes && bytes[at] == kExtension) {
    more = bytes[at + 1] & kExtensionsFollow;
    at += kCatalogEntryBytes;
  }
  return at;
}

// Reads the section entries after the initial entry; at is the first section header.
void ReadSections(std::span<const std::uint8_t> bytes, std::size_t at, BootCatalog& cat) {
  while (bytes.size() - at >= kCatalogEntryBytes) {
    const std::uint8_t* h = bytes.data() + at;
    if (h[0] != kSectionMore && h[0] != kSectionLast) return;  // no (further) sections
    const bool last = h[0] == kSectionLast;
    const std::uint8_t platform = h[1];
    const unsigned count = GetLE16(h + 2);
    at += kCatalogEntryBytes;
    for (unsigned i = 0; i < count; ++i) {
      if (bytes.size() - at < kCatalogEntryBytes) return AddFault(cat, CatalogFault::EntryCountPastEnd);
      if (cat.entries.size() >= kMaxBootEntries) return AddFault(cat, CatalogFault::TooManyEntries);
      if (!ReadEntry(bytes.data() + at, platform, cat)) return AddFault(cat, CatalogFault::BadEntry);
      at = SkipExtensions(bytes, at);
    }
    if (last) return;
  }
  AddFault(cat, CatalogFault::SectionsUnfinished);
}

// The size a FAT boot sector records, or 0 when the sector is not one.
std::uint64_t FatVolumeBytes(const std::uint8_t* s) {
  // 0 jump, 11 bytes per sector, 13 sectors per cluster, 14 reserved sectors, 16 FATs,
  // 19 total sectors (16-bit), 32 total sectors (32-bit), 510 55 AA.
  if (!(s[0] == 0xEB || s[0] == 0xE9) || s[510] != 0x55 || s[511] != 0xAA) return 0;
  const unsigned bps = GetLE16(s + 11);
  if (bps < 512 || bps > 4096 || (bps & (bps - 1)) || s[13] == 0 || GetLE16(s + 14) == 0 || s[16] == 0) return 0;
  const std::uint32_t total = GetLE16(s + 19) ? GetLE16(s + 19) : GetLE32(s + 32);
  return std::uint64_t(total) * bps;
}

// The end of the first partition an MBR lists, or 0.
std::uint64_t PartitionEndBytes(const std::uint8_t* s) {
  // 446 four 16-byte entries: 4 type, 8 first LBA, 12 sector count; 510 55 AA.
  if (s[510] != 0x55 || s[511] != 0xAA) return 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t* p = s + 446 + 16 * i;
    if (p[4] != 0 && GetLE32(p + 12) != 0) return (std::uint64_t(GetLE32(p + 8)) + GetLE32(p + 12)) * kVirtualSector;
  }
  return 0;
}

void SizeOne(SectorSource& source, std::uint32_t trackLastSector, BootEntry& e, BootCatalog& cat) {
  static constexpr std::uint64_t kFloppy[] = {1228800, 1474560, 2949120};
  e.basis = BootSizeBasis::SectorCount;
  e.size = std::uint64_t(e.sectorCount) * kVirtualSector;
  if (e.loadRba > trackLastSector) {
    e.size = 0;
    e.capped = true;
    return AddFault(cat, CatalogFault::ImagePastTrack);
  }
  if (e.mediaType >= 1 && e.mediaType <= 3) {
    e.basis = BootSizeBasis::Floppy;
    e.size = kFloppy[e.mediaType - 1];
  } else if (e.mediaType == 4 || e.sectorCount <= 1) {
    std::uint8_t first[kSectorBytes];
    if (source.Read(e.loadRba, 1, first) == SectorRead::Ok) {
      const std::uint64_t bytes = e.mediaType == 4 ? PartitionEndBytes(first) : FatVolumeBytes(first);
      if (bytes) {
        e.basis = e.mediaType == 4 ? BootSizeBasis::Partition : BootSizeBasis::Fat;
        e.size = bytes;
      }
    }
  }
  const std::uint64_t room = (std::uint64_t(trackLastSector) - e.loadRba + 1) * kSectorBytes;
  e.capped = e.size > room;
  e.size = std::min(e.size, room);
}

// An id the names do not know, as "0x" and at least digits hex digits.
std::string Hex(unsigned value, int digits) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%0*X", digits, value & 0xFF);
  return hex;
}

}  // namespace

const char* CatalogStatusText(CatalogStatus s) {
  switch (s) {
    case CatalogStatus::Ok: return "boot catalog";
    case CatalogStatus::PastMedium: return "boot catalog past the medium";
    case CatalogStatus::Unreadable: return "boot catalog unreadable";
    case CatalogStatus::BadValidationEntry: return "boot catalog without validation entry";
    case CatalogStatus::BadChecksum: return "boot catalog checksum wrong";
  }
  return "boot catalog damaged";
}

const char* CatalogFaultText(CatalogFault f) {
  switch (f) {
    case CatalogFault::TooManyEntries: return "too many boot entries";
    case CatalogFault::SectionsUnfinished: return "boot catalog sections unfinished";
    case CatalogFault::EntryCountPastEnd: return "boot section counts more entries than it holds";
    case CatalogFault::BadEntry: return "boot entry not valid";
    case CatalogFault::CatalogUnreadable: return "boot catalog sector unreadable";
    case CatalogFault::ImagePastTrack: return "boot image past the track's end";
  }
  return "boot catalog damaged";
}

std::optional<std::uint32_t> BootCatalogSector(std::span<const std::uint8_t> d) {
  if (d.size() < kCatalogPointer + 4 || d[0] != 0 || std::memcmp(d.data() + 1, "CD001", 5) != 0) return std::nullopt;
  if (std::memcmp(d.data() + 7, kElTorito, sizeof(kElTorito) - 1) != 0) return std::nullopt;
  return GetLE32(d.data() + kCatalogPointer);
}

BootCatalog ParseBootCatalog(std::span<const std::uint8_t> bytes) {
  BootCatalog cat;
  if (bytes.size() < 2 * kCatalogEntryBytes) {
    cat.status = CatalogStatus::BadValidationEntry;
    return cat;
  }
  if (!CheckValidation(bytes.data(), cat)) return cat;
  // The initial/default entry always follows the validation entry.
  if (!ReadEntry(bytes.data() + kCatalogEntryBytes, cat.platform, cat)) {
    AddFault(cat, CatalogFault::BadEntry);
    return cat;
  }
  ReadSections(bytes, 2 * kCatalogEntryBytes, cat);
  return cat;
}

BootCatalog ReadBootCatalog(SectorSource& source, std::uint32_t sector, std::uint32_t lastSector) {
  BootCatalog cat;
  cat.sector = sector;
  if (sector > lastSector) {
    cat.status = CatalogStatus::PastMedium;
    return cat;
  }
  // Read what the bound and the medium allow; sections rarely leave the first sector.
  const std::uint32_t count = std::min<std::uint64_t>(kMaxCatalogSectors, std::uint64_t(lastSector) - sector + 1);
  std::vector<std::uint8_t> bytes(std::size_t(count) * kSectorBytes);
  std::uint32_t have = 0;
  while (have < count && source.Read(sector + have, 1, bytes.data() + std::size_t(have) * kSectorBytes) == SectorRead::Ok)
    ++have;
  if (have == 0) {
    cat.status = CatalogStatus::Unreadable;
    return cat;
  }
  bytes.resize(std::size_t(have) * kSectorBytes);
  cat = ParseBootCatalog(bytes);
  cat.sector = sector;
  if (have < count && std::find(cat.faults.begin(), cat.faults.end(), CatalogFault::SectionsUnfinished) != cat.faults.end())
    AddFault(cat, CatalogFault::CatalogUnreadable);
  return cat;
}

std::string BootPlatformText(std::uint8_t platform) {
  switch (platform) {
    case 0x00: return "x86";
    case 0x01: return "PPC";
    case 0x02: return "Mac";
    case 0xEF: return "EFI";
  }
  return Hex(platform, 2);
}

std::string BootEmulationText(std::uint8_t mediaType) {
  switch (mediaType) {
    case 0: return "NoEmul";
    case 1: return "1.2M";
    case 2: return "1.44M";
    case 3: return "2.88M";
    case 4: return "HardDisk";
  }
  return Hex(mediaType, 1);
}

void SizeBootImages(SectorSource& source, std::uint32_t trackLastSector, BootCatalog& catalog) {
  for (BootEntry& e : catalog.entries) SizeOne(source, trackLastSector, e, catalog);
}

std::optional<BootCatalog> ReadVolumeBootCatalog(SectorSource& source, std::uint32_t volumeStart) {
  const DescriptorSet set = ReadDescriptors(source, volumeStart);
  if (!set.bootRecord) return std::nullopt;
  const std::optional<std::uint32_t> sector = BootCatalogSector(set.bootRecord->bytes);
  if (!sector) return std::nullopt;
  // A medium that cannot tell its end is read until reads fail.
  const std::uint32_t last = source.LastSector(volumeStart).value_or(0xFFFFFFFFu);
  BootCatalog catalog = ReadBootCatalog(source, *sector, last);
  if (catalog.status == CatalogStatus::Ok) SizeBootImages(source, last, catalog);
  return catalog;
}

std::vector<std::string> CatalogDamage(const BootCatalog& catalog) {
  if (catalog.status != CatalogStatus::Ok)
    return {std::string(CatalogStatusText(catalog.status)) + " (sector " + std::to_string(catalog.sector) + ")"};
  std::vector<std::string> out;
  for (CatalogFault f : catalog.faults) out.emplace_back(CatalogFaultText(f));
  return out;
}

}  // namespace fs::iso9660
