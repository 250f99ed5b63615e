// The registry: which reader takes a file, and the steps every format shares
// once its reader has laid it out.
#include "platform/orvane/Readers.h"

#include <algorithm>
#include <filesystem>

#include "disc/SectorLayout.h"

namespace orvane {

const std::vector<const ImageReader*>& ImageReaders() {
  // A CUE sheet is text and names its data, so it is asked first; a raw BIN is
  // recognised by its sync pattern before the plain ISO, whose descriptors a
  // raw image also holds (16 bytes further on). The other tools' formats are
  // known by their content (a TOC's keywords, Nero's footer, the CloneCD and
  // Alcohol descriptors, which their data files lead back to) and outrank the
  // plain readers; an image with a header of its own comes before them only
  // when neither recognises it. A CHD is compressed, so only its header tells.
  static const std::vector<const ImageReader*> readers = {&CueReader(), &TocReader(), &NrgReader(), &CcdReader(), &MdsReader(), &VcdReader(), &ChdReader(), &BinReader(), &IsoReader()};
  return readers;
}

int ProfileForSectors(std::uint64_t sectors) {
  if (sectors <= kCdCapacitySectors) return 0x08;
  if (sectors <= kDvdCapacitySectors) return 0x10;
  return 0x40;
}

bool ReadUserData(const DiscLayout& layout, std::int32_t lba, std::uint8_t* out) {
  for (const TrackLayout& t : layout.tracks) {
    for (const Extent& e : t.extents) {
      if (lba < e.firstLba || static_cast<std::int64_t>(lba) >= std::int64_t(e.firstLba) + e.count) continue;
      if (!e.file) return false;
      std::uint64_t at = e.offset + std::uint64_t(lba - e.firstLba) * e.stride;
      switch (e.format) {
        case StoredFormat::UserData2048:
          return e.file->ReadAt(at, out, 2048) == 2048;
        case StoredFormat::Mode2_2336: {
          std::uint8_t sub[8];
          if (e.file->ReadAt(at, sub, 8) != 8 || (sub[2] & 0x20)) return false;  // Form 2 holds no 2048-byte data
          return e.file->ReadAt(at + 8, out, 2048) == 2048;
        }
        case StoredFormat::Raw2352: {
          std::uint8_t head[disc::kMode2UserOffset];
          if (e.file->ReadAt(at, head, sizeof head) != sizeof head) return false;
          const disc::SectorShape shape = disc::ClassifyRawSector(head, t.mode == TrackMode::Mode1 ? 1 : 2);
          if (shape.form2) return false;  // Form 2 holds no 2048-byte data
          return e.file->ReadAt(at + shape.offset, out, 2048) == 2048;
        }
        case StoredFormat::Audio2352:
        case StoredFormat::Audio2352BE:
          return false;
      }
      return false;
    }
  }
  return false;
}

bool OpenImage(const std::string& path, DiscLayout& layout, std::string& error) {
  layout = DiscLayout{};
  std::string err;
  auto file = OpenImageFile(path, err);
  if (!file) {
    error = err;
    return false;
  }
  if (file->Size() == 0) {
    error = path + " is empty";
    return false;
  }
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(file->Size(), kProbeHeadSize)));
  if (file->ReadAt(0, head.data(), head.size()) != head.size()) {
    error = "cannot read " + path;
    return false;
  }
  const ImageReader* best = nullptr;
  int bestScore = 0;
  for (const ImageReader* r : ImageReaders()) {
    int score = r->Probe(path, head);
    if (score > bestScore) {
      best = r;
      bestScore = score;
    }
  }
  if (!best) {
    error = path + " is not a disc image this program reads";
    return false;
  }
  DiscLayout opened;
  if (!best->Open(path, opened, err)) {
    error = err;
    return false;
  }
  if (opened.tracks.empty() || opened.sessions.empty()) {
    error = path + " holds no tracks";
    return false;
  }
  if (!ApplyRescueMaps(opened, err)) {
    error = err;
    return false;
  }
  DetectOpenUdfTrack(opened);
  layout = std::move(opened);
  return true;
}

// After a packet a recorder writes two run-out blocks, a link block and four
// run-in blocks before the next packet's data.
constexpr int kLinkBlocks = 7;

void DetectOpenUdfTrack(DiscLayout& layout) {
  if (layout.profile != 0x08 || layout.tracks.empty()) return;
  TrackLayout& last = layout.tracks.back();
  if (last.mode == TrackMode::Audio) return;
  // The last sector that the image actually holds, not a trailing gap.
  std::int64_t lastStored = -1;
  for (const Extent& e : last.extents)
    if (e.file && e.count) lastStored = std::max<std::int64_t>(lastStored, std::int64_t(e.firstLba) + e.count - 1);
  if (lastStored < 0) return;
  // An image copied from such a disc may end with the blank run-out and link
  // blocks after the last packet; the file entry is the last sector before them.
  std::uint8_t s[2048];
  std::int64_t entry = lastStored;
  for (int blank = 0;; ++blank, --entry) {
    if (entry < last.start || !ReadUserData(layout, static_cast<std::int32_t>(entry), s)) return;
    if (std::any_of(s, s + sizeof s, [](std::uint8_t b) { return b != 0; })) break;
    if (blank == kLinkBlocks) return;
  }
  unsigned tagId = s[0] | (s[1] << 8);
  if (tagId != 261 && tagId != 266) return;  // file entry, extended file entry
  unsigned sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum += s[i];
  if ((sum & 0xFF) != s[4]) return;
  layout.profile = 0x09;
  layout.discStatus = 1;
  last.nextWritable = static_cast<std::uint32_t>(entry + 1 + kLinkBlocks);
}

}  // namespace orvane
