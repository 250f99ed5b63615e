// ISO 9660 files whose data is stored compressed. A zisofs file is written
// uncompressed, exactly the size its ZF entry gives (the size the browser,
// `find` and the Linux kernel show); a block that cannot be had becomes
// zeros, counted as unreadable sectors of the file with the reason. A file
// compressed in a form not read (zisofs2) is not made at all: it is listed,
// and the job is not clean, rather than leaving a file of compressed bytes
// that looks like the data.
#include <algorithm>
#include <set>

#include "copy/CopyOutput.h"
#include "copy/GetCDData.h"
#include "copy/IsoNames.h"
#include "disc/DevCmdROM.h"
#include "fs/iso9660/StoredBytes.h"
#include "platform/orvane/DeviceSource.h"

namespace {

namespace iso9660 = fs::iso9660;

constexpr std::size_t kChunk = 256 * 1024;  // uncompressed bytes per write
constexpr const char* kNotRead = "compressed in a form not read";

std::uint64_t SectorsOf(std::uint64_t bytes) {
  return std::max<std::uint64_t>(1, (bytes + CGetCDData::kUserSectorSize - 1) / CGetCDData::kUserSectorSize);
}

// What was served as zeros, in sectors of the written file, and why.
struct ZisofsDamage {
  std::uint64_t sectors = 0;
  std::set<std::string> reasons;  // each named once
  void Add(std::uint64_t bytes, const char* why) {
    sectors += SectorsOf(bytes);
    reasons.insert(why);
  }
  std::string Reason() const {
    std::string s;
    for (const std::string& why : reasons) s += (s.empty() ? "" : "; ") + why;
    return s;
  }
};

}  // namespace

bool CGetCDData::CopyIsoEntry(const std::filesystem::path& path, int dataMode, const IsoEntry& file,
                              const FileAttributes* inFolder) {
  const iso9660::Entry& e = file.entry;
  switch (e.compression) {
    case iso9660::Compression::Zisofs: return CopyZisofsFile(path, file, inFolder);
    case iso9660::Compression::NotRead: {
      NoteSkipped(path, kNotRead);
      std::lock_guard<std::mutex> lock(m_Lock);
      ++m_Result.notRead;
      return true;
    }
    case iso9660::Compression::None: break;
  }
  IsoExtents extents;
  for (const iso9660::Extent& x : e.extents) extents.emplace_back(x.lba, x.bytes);
  return CopyIsoFile(path, dataMode, extents, inFolder);
}

bool CGetCDData::CopyZisofsFile(const std::filesystem::path& path, const IsoEntry& file,
                                const FileAttributes* inFolder) {
  const iso9660::Entry& e = file.entry;
  // Below a folder job's target; a single-file job has none and makes path as given.
  Output out(Target(), path);
  if (inFolder) out.SetAttributes(inFolder->mode, inFolder->mtime);
  std::string reason;
  if (!out.Open(reason)) return Fail(path, reason), false;
  orvane::DeviceSectorSource source(*m_pDevice);
  iso9660::ZisofsFile z(iso9660::ExtentReader(source, e.extents), iso9660::StoredSize(e.extents));
  const iso9660::ZisofsOpen opened = z.Open();
  // The size everybody shows; what the header says past it is not written,
  // what it lacks is zeros.
  const std::uint64_t size = e.info.size;
  const std::uint64_t decoded = opened == iso9660::ZisofsOpen::Ok ? std::min(size, z.Size()) : 0;
  ZisofsDamage damage;
  if (opened != iso9660::ZisofsOpen::Ok) damage.Add(size, iso9660::ZisofsOpenText(opened));
  else if (z.Size() != size)
    damage.Add(size > z.Size() ? size - z.Size() : 0, "zisofs header disagrees with its ZF entry");
  std::vector<std::uint8_t> chunk(kChunk);
  for (std::uint64_t at = 0; at < decoded; at += chunk.size()) {
    if (m_bStop) return false;  // deleted with `out`
    const std::size_t n = z.Read(at, std::span(chunk).first(std::min<std::uint64_t>(kChunk, decoded - at)));
    const bool zeros = std::all_of(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n),
                                   [](std::uint8_t b) { return b == 0; });
    // Runs of zeros stay holes, as the engine keeps them everywhere.
    if (!(zeros ? out.Skip(n, reason) : out.Write(chunk.data(), n, reason))) return Fail(path, reason), false;
    SetPercent(at + n, size);
  }
  if (!out.Skip(size - decoded, reason)) return Fail(path, reason), false;
  for (const iso9660::ZisofsBadRange& r : z.BadRanges()) damage.Add(r.length, iso9660::ZisofsBlockFaultText(r.fault));
  out.CountUnreadable(damage.sectors);
  m_nPercent = 100;
  if (!out.Close(reason)) return Fail(path, reason), false;
  NoteFile(out, damage.Reason());
  return true;
}
