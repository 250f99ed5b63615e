// The search for sessions appended in a flat image, on arbitrary media: the
// input names the medium's size and some of its sectors (the rest zeros), so
// that places a recorder's gap away (11400 sectors) are reachable. The search
// must end, find sessions only in ascending order from sector 0, each ending
// at or before the next one's start; the image reader then lays the file out
// and the virtual drive serves every session's TOC, tracks and the sectors
// between them.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fs/Sessions.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"

namespace {

constexpr std::uint32_t kS = fs::kSectorBytes;
// Room for a few sessions with a recorder's gaps between them.
constexpr std::uint32_t kMostSectors = 1u << 16;

// Input: a 16-bit sector count, then records of a 16-bit sector number, a
// 16-bit length (at most a sector) and that many bytes.
struct Medium : fs::SectorSource {
  std::uint32_t sectors = 0;
  std::map<std::uint32_t, std::vector<std::uint8_t>> held;

  Medium(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    sectors = std::max<std::uint32_t>(1, (data[0] | (data[1] << 8)) % kMostSectors);
    for (std::size_t at = 2; at + 4 <= size;) {
      const std::uint32_t sector = (data[at] | (data[at + 1] << 8)) % sectors;
      std::size_t length = std::min<std::size_t>(data[at + 2] | (data[at + 3] << 8), kS);
      at += 4;
      length = std::min(length, size - at);
      std::vector<std::uint8_t>& s = held[sector];
      s.assign(kS, 0);
      std::memcpy(s.data(), data + at, length);
      at += length;
    }
  }
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    if (std::uint64_t(lba) + count > sectors) return fs::SectorRead::Failed;
    std::memset(out, 0, std::size_t(count) * kS);
    for (auto it = held.lower_bound(lba); it != held.end() && it->first < lba + count; ++it)
      std::memcpy(out + std::size_t(it->first - lba) * kS, it->second.data(), kS);
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override { return sectors - 1; }

  // The medium as a sparse file: only the sectors named are written.
  std::string WriteImage() const {
    const std::string path = fuzzsupport::WorkDir() + "/sessions.iso";
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, off_t(sectors) * kS) != 0) std::abort();
    for (const auto& [sector, bytes] : held)
      if (::pwrite(fd, bytes.data(), kS, off_t(sector) * kS) != off_t(kS)) std::abort();
    ::close(fd);
    return path;
  }
};

void CheckSessions(const std::vector<fs::VolumeSession>& found) {
  if (found.size() > static_cast<std::size_t>(fs::kMostSessions)) std::abort();
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (i == 0 && found[i].start != 0) std::abort();
    if (i > 0 && (found[i].start <= found[i - 1].start || found[i - 1].end > found[i].start)) std::abort();
  }
}

// Every track's information, its first and last sectors and those after its
// end that the image stores, cooked and raw.
void Serve(orvane::DiscLayout layout) {
  std::vector<std::int64_t> probes;
  for (const orvane::TrackLayout& t : layout.tracks)
    for (std::int64_t lba : {std::int64_t(t.pregapStart), std::int64_t(t.start),
                             std::int64_t(t.start) + t.length - 1, std::int64_t(t.start) + t.length,
                             std::int64_t(t.start) + t.length + t.storedAfterEnd - 1})
      probes.push_back(lba);
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "fuzz"));
  std::vector<unsigned char> toc(2048);
  dev.ReadToc(toc.data(), static_cast<int>(toc.size()), 2, 0);
  DISC_INFO di{};
  dev.ReadDiscInfo(di);
  for (int t = 1; t <= fs::kMostSessions; ++t) {
    TRACK_INFO ti{};
    if (dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, t) != 0) break;
  }
  std::vector<unsigned char> user(kS * 2), raw(2352 * 2);
  for (std::int64_t lba : probes) {
    if (lba < 0 || lba > INT32_MAX) continue;
    dev.ReadCD_10(user.data(), static_cast<int>(user.size()), 2, static_cast<std::uint32_t>(lba));
    dev.ReadCD_All(raw.data(), static_cast<int>(raw.size()), 2, static_cast<std::uint32_t>(lba));
    dev.JudgeFileSystem(static_cast<std::uint32_t>(lba));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Medium medium(data, size);
  if (medium.sectors == 0) return 0;
  const std::vector<fs::VolumeSession> found = fs::FindAppendedSessions(medium, medium.sectors);
  CheckSessions(found);
  if (found.size() < 2) return 0;  // one session: the plain reader's single track, fuzzed elsewhere
  orvane::DiscLayout layout;
  std::string error;
  if (!orvane::OpenImage(medium.WriteImage(), layout, error)) return 0;
  // Another format's reader may claim random bytes first; the plain reader
  // must show exactly the sessions found.
  if (layout.format == "ISO" && layout.sessions.size() != found.size()) std::abort();
  Serve(std::move(layout));
  return 0;
}
