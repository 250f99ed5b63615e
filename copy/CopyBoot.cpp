// El Torito boot images of the copy engine: each image is written as a file
// of its sectors, read like an ISO 9660 file's; a track's root job writes
// them into "[BOOT]" beside the root's entries, as other disc tools do.
#include <algorithm>

#include "copy/BootImages.h"
#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "fs/iso9660/ElTorito.h"
#include "platform/orvane/DeviceSource.h"

std::optional<BootImages> ReadBootImages(CDevCmdROM& device, std::uint32_t volumeStart) {
  orvane::DeviceSectorSource source(device);
  const std::optional<fs::iso9660::BootCatalog> catalog = fs::iso9660::ReadVolumeBootCatalog(source, volumeStart);
  if (!catalog) return std::nullopt;
  BootImages boot;
  boot.catalog = catalog->status == fs::iso9660::CatalogStatus::Ok;
  boot.catalogSector = catalog->sector;
  for (const fs::iso9660::BootEntry& e : catalog->entries) boot.images.push_back(BootImage{e.name, e.loadRba, e.size});
  boot.damage = fs::iso9660::CatalogDamage(*catalog);
  return boot;
}

namespace {

// An image's sectors as extents of whole sectors below 4 GiB each (a FAT
// image on a DVD may record more than one extent holds).
std::vector<std::pair<std::uint32_t, std::uint32_t>> BootExtents(const BootImage& image) {
  constexpr std::uint64_t kMostExtent = 0xFFFFF800;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  std::uint64_t left = image.size, lba = image.lba;
  do {
    const std::uint64_t n = std::min(left, kMostExtent);
    out.emplace_back(static_cast<std::uint32_t>(lba), static_cast<std::uint32_t>(n));
    left -= n;
    lba += n / CGetCDData::kUserSectorSize;
  } while (left > 0 && lba <= 0xFFFFFFFFu);
  return out;
}

}  // namespace

bool CGetCDData::StartBootFileCopy(int dataMode, const BootImage& image, const std::string& path) {
  m_bStop = true;
  Wait();
  if (!Ready() || path.empty()) return false;
  m_nFileDataMode = dataMode;
  m_nFileAddress = image.lba;
  m_nFileSize = image.size;
  m_sFilePath = path;
  Launch(Job::BootFile);
  return true;
}

bool CGetCDData::StartBootFolderCopy(int dataMode, std::shared_ptr<const BootImages> boot, const std::string& path) {
  m_bStop = true;
  Wait();
  if (!Ready() || path.empty() || !boot) return false;
  m_Folder = FolderJob{dataMode, boot->catalogSector, path, 0};
  m_pBoot = std::move(boot);
  Launch(Job::BootFolder);
  return true;
}

void CGetCDData::BootThread(Job job) {
  if (job == Job::BootFolder) return CopyBootFolder(m_Folder.path);
  SetCurrent(m_sFilePath.string());
  CopyIsoFile(m_sFilePath, m_nFileDataMode, BootExtents(BootImage{{}, m_nFileAddress, m_nFileSize}));
}

void CGetCDData::CopyBootFolder(const std::filesystem::path& path) {
  if (!m_pBoot || Stopping()) return;
  for (const std::string& d : m_pBoot->damage) NoteFault(path.string() + ": " + d);
  if (!m_pBoot->catalog || !MakeFolder(path)) return;
  const FileAttributes none{};
  for (const BootImage& image : m_pBoot->images) {
    if (Stopping()) break;
    const std::filesystem::path target = path / SafeName(image.name);
    SetCurrent(target.string());
    if (!CopyIsoFile(target, m_Folder.dataMode, BootExtents(image), &none)) break;
    m_nPercent = 0;
  }
}
