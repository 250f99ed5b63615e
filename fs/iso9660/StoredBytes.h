#pragma once
// A file's recorded bytes read by range from its extents, one after the
// other, as a compressed file's reader asks for them.
#include <cstdint>
#include <vector>

#include "fs/SectorSource.h"
#include "fs/iso9660/Directory.h"
#include "fs/iso9660/Zisofs.h"

namespace fs::iso9660 {

// Bytes the extents record, all together.
std::uint64_t StoredSize(const std::vector<Extent>& extents);

// Reads [offset, offset + n) of the bytes the extents record, in order,
// through source (which must outlive the reader). False when any sector
// holding them cannot be read or the range runs past the last extent.
StoredBytesReader ExtentReader(SectorSource& source, std::vector<Extent> extents);

}  // namespace fs::iso9660
