#pragma once
// A volume's El Torito boot images as the browser lists them in its "[BOOT]"
// folder and a copy writes them: each image a file of its sectors, from its
// first for its size. Kept free of fs/ so that the engine's and the
// browser's headers stay so.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CDevCmdROM;

inline constexpr char kBootFolder[] = "[BOOT]";

struct BootImage {
  std::string name;         // "1-x86-1.44M.img"
  std::uint32_t lba = 0;    // its first sector
  std::uint64_t size = 0;   // bytes, never past the track's end
};

struct BootImages {
  bool catalog = false;              // the boot record names a catalog that reads: a "[BOOT]" folder
  std::uint32_t catalogSector = 0;
  std::vector<BootImage> images;     // in catalog order
  std::vector<std::string> damage;   // what the catalog lacks, in words
};

// The boot images of the volume at volumeStart; nullopt when it has no El
// Torito boot record.
std::optional<BootImages> ReadBootImages(CDevCmdROM& device, std::uint32_t volumeStart);
