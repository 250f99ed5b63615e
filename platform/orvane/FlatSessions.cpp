#include "platform/orvane/FlatSessions.h"

#include <algorithm>
#include <cstring>

#include "fs/Sessions.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

constexpr std::uint32_t kSector = 2048;
// A primary descriptor of a CD-ROM XA volume carries "CD-XA001" at byte 1024.
constexpr std::size_t kXaMark = 1024;

// The plain image's sectors as the file-system layer reads them.
class FileSectorSource : public fs::SectorSource {
 public:
  FileSectorSource(ImageFile& file, std::uint32_t sectors) : m_File(file), m_Sectors(sectors) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    if (std::uint64_t(lba) + count > m_Sectors) return fs::SectorRead::Failed;
    const std::size_t want = std::size_t(count) * kSector;
    return m_File.ReadAt(std::uint64_t(lba) * kSector, out, want) == want ? fs::SectorRead::Ok
                                                                            : fs::SectorRead::Failed;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override { return m_Sectors - 1; }

 private:
  ImageFile& m_File;
  std::uint32_t m_Sectors;
};

bool IsXaVolume(ImageFile& file, const fs::VolumeSession& s) {
  if (s.volume != fs::SessionVolume::Iso9660) return false;
  std::uint8_t pvd[kSector];
  const std::uint64_t at = (std::uint64_t(s.start) + 16) * kSector;
  return file.ReadAt(at, pvd, kSector) == kSector && std::memcmp(pvd + kXaMark, "CD-XA001", 8) == 0;
}

// Where the track of session i begins, counting its pregap: a session that
// follows a recorder's gap has the 150-sector pregap a disc gives its first
// track; one written straight after the previous has none.
std::int64_t PregapStart(const std::vector<fs::VolumeSession>& sessions, std::size_t i) {
  if (i == 0) return 0;
  const std::uint32_t gap = sessions[i].start - sessions[i - 1].end;
  return gap >= fs::kLaterSessionGap ? std::int64_t(sessions[i].start) - fs::kSessionPregap : sessions[i].start;
}

}  // namespace

bool LayOutFlatSessions(DiscLayout& layout, const std::shared_ptr<ImageFile>& file, std::uint32_t sectors) {
  FileSectorSource source(*file, sectors);
  const std::vector<fs::VolumeSession> sessions = fs::FindAppendedSessions(source, sectors);
  if (sessions.size() < 2) return false;
  DiscLayout out;
  out.profile = ProfileForSectors(sectors);
  out.discStatus = 2;
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const fs::VolumeSession& s = sessions[i];
    const bool last = i + 1 == sessions.size();
    // The sectors up to the next track's pregap are stored; the track itself
    // ends where its session's volume does, the lead-out follows.
    const std::int64_t storedEnd = last ? std::int64_t(sectors) : PregapStart(sessions, i + 1);
    const std::int64_t end = last ? storedEnd : std::clamp<std::int64_t>(s.end, s.start + 1, storedEnd);
    const bool xa = IsXaVolume(*file, s);
    TrackLayout t;
    t.number = static_cast<int>(i) + 1;
    t.session = t.number;
    t.mode = xa ? TrackMode::Mode2Xa : TrackMode::Mode1;
    t.control = 0x04;
    t.pregapStart = static_cast<std::int32_t>(PregapStart(sessions, i));
    t.start = static_cast<std::int32_t>(s.start);
    t.length = static_cast<std::uint32_t>(end - s.start);
    t.storedAfterEnd = static_cast<std::uint32_t>(storedEnd - end);
    Extent e;
    e.firstLba = t.pregapStart;
    e.count = static_cast<std::uint32_t>(storedEnd - t.pregapStart);
    e.file = file;
    e.offset = std::uint64_t(t.pregapStart) * kSector;
    e.format = StoredFormat::UserData2048;
    e.stride = kSector;
    t.extents.push_back(e);
    out.tracks.push_back(std::move(t));
    SessionLayout sl;
    sl.number = static_cast<int>(i) + 1;
    sl.discType = xa ? 0x20 : 0x00;
    sl.leadOut = static_cast<std::int32_t>(end);
    out.sessions.push_back(sl);
  }
  out.format = layout.format;
  layout = std::move(out);
  return true;
}

}  // namespace orvane
