#pragma once
// El Torito: the boot record descriptor points at a boot catalog, whose
// entries name boot images by their first sector, platform and emulation.
// The catalog is read through the sector source and bounded; each image is
// given a name ("1-x86-1.44M.img") and a size that stops at the track's end.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fs/SectorSource.h"

namespace fs::iso9660 {

constexpr std::uint32_t kMaxCatalogSectors = 8;  // sectors of one boot catalog read
constexpr std::size_t kMaxBootEntries = 128;     // boot images listed from one catalog
constexpr std::size_t kCatalogEntryBytes = 32;

enum class BootPlatform : std::uint8_t { X86 = 0x00, PowerPC = 0x01, Mac = 0x02, Efi = 0xEF };
enum class BootEmulation : std::uint8_t { NoEmulation = 0, Floppy12 = 1, Floppy144 = 2, Floppy288 = 3, HardDisk = 4 };

enum class CatalogStatus {
  Ok,
  PastMedium,          // the catalog's sector lies beyond the medium's last sector
  Unreadable,          // its first sector could not be read
  BadValidationEntry,  // header id not 1, or key bytes not 55 AA
  BadChecksum,         // the validation entry's words do not sum to 0
};

// Damage met after a valid validation entry: the entries before it stand.
enum class CatalogFault {
  TooManyEntries,       // more than kMaxBootEntries, or sections past kMaxCatalogSectors
  SectionsUnfinished,   // a section header said more follow and the catalog ended (or ran past its bound)
  EntryCountPastEnd,    // a section header counts more entries than its section holds
  BadEntry,             // an entry with an unknown indicator where a boot entry belongs
  CatalogUnreadable,    // a later catalog sector could not be read
  ImagePastTrack,       // an image's first sector lies past the track's end (its size is 0)
};

const char* CatalogStatusText(CatalogStatus s);
const char* CatalogFaultText(CatalogFault f);

// How an image's size was found.
enum class BootSizeBasis { Floppy, Partition, SectorCount, Fat };

struct BootEntry {
  unsigned number = 0;             // 1-based, catalog order
  bool bootable = false;           // indicator 0x88
  std::uint8_t platform = 0;       // the section's (or validation entry's) platform id
  std::uint8_t mediaType = 0;      // low nibble of the media byte: emulation
  std::uint16_t loadSegment = 0;   // 0 means the BIOS default 07C0
  std::uint8_t systemType = 0;     // the partition type byte
  std::uint16_t sectorCount = 0;   // 512-byte virtual sectors loaded
  std::uint32_t loadRba = 0;       // the image's first 2048-byte sector
  std::string name;                // "<n>-<platform>-<emulation>.img"
  std::uint64_t size = 0;          // bytes, set by SizeBootImages
  BootSizeBasis basis = BootSizeBasis::SectorCount;
  bool capped = false;             // size was cut at the track's end
};

struct BootCatalog {
  CatalogStatus status = CatalogStatus::Ok;
  std::uint32_t sector = 0;
  std::uint8_t platform = 0;       // the validation entry's platform id
  std::string idString;            // the validation entry's 24-byte id, trailing NUL/space cut
  std::vector<BootEntry> entries;
  std::vector<CatalogFault> faults;
};

// The catalog's sector named by a boot record volume descriptor ("EL TORITO
// SPECIFICATION"), or nullopt for any other descriptor.
std::optional<std::uint32_t> BootCatalogSector(std::span<const std::uint8_t> descriptor);

// Parses catalog bytes already read (whole 32-byte entries; a tail is ignored).
BootCatalog ParseBootCatalog(std::span<const std::uint8_t> bytes);

// Reads and parses the catalog at sector, at most kMaxCatalogSectors and
// never past lastSector (the medium's or track's last sector).
BootCatalog ReadBootCatalog(SectorSource& source, std::uint32_t sector, std::uint32_t lastSector);

// "x86", "PPC", "Mac", "EFI", or the id in hex ("0x5A").
std::string BootPlatformText(std::uint8_t platform);
// "NoEmul", "1.2M", "1.44M", "2.88M", "HardDisk", or the media type in hex.
std::string BootEmulationText(std::uint8_t mediaType);

// Sets each entry's size: a floppy's size for floppy emulation; the end of
// the first partition of the image's MBR for hard-disk emulation; the sector
// count x 512 for no emulation, but the size its FAT boot sector records when
// the count is 0 or 1 and one is there. Every size is capped at the end of
// trackLastSector. Reads each image's first sector through source.
void SizeBootImages(SectorSource& source, std::uint32_t trackLastSector, BootCatalog& catalog);

// The catalog the El Torito boot record of the volume at volumeStart names,
// read and its images sized against the end of the track holding the
// volume; nullopt when the volume has no such record.
std::optional<BootCatalog> ReadVolumeBootCatalog(SectorSource& source, std::uint32_t volumeStart);

// What a catalog lacks, in words: why it is no catalog, or each fault met.
std::vector<std::string> CatalogDamage(const BootCatalog& catalog);

}  // namespace fs::iso9660
