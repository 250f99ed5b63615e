#pragma once
// An image whose El Torito catalog holds a boot image of every kind, made by
// xorriso from files made here: a 1.44M floppy, a no-emulation loader, an
// EFI FAT image from mkfs.vfat too big for the catalog's sector count, and a
// hard disk whose MBR's first partition ends where the file does. Beside
// them the root holds A.TXT and ZED/Z.TXT, names that sort before "[BOOT]".
#include <optional>
#include <string>
#include <vector>

#include "tests/support/CdImages.h"

namespace testsupport {

struct BootIsoImage {
  std::string source;  // the file it was made from, below dir's "src/"
  std::string name;    // its row under "[BOOT]"
  std::size_t size;    // the bytes the row holds: the whole file, or a loader's recorded count
};

struct BootIso {
  std::string iso;                   // the image file
  std::vector<BootIsoImage> images;  // in catalog order
  std::string error;                 // why the image could not be made (empty: it was)
  Bytes Source(const ScratchDir& dir, const BootIsoImage& image) const;  // its first `size` bytes
};

// Made in dir; nullopt when xorriso or mkfs.vfat is not installed.
std::optional<BootIso> MakeBootIso(const ScratchDir& dir);

}  // namespace testsupport
