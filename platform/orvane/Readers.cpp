// The registry: which reader takes a file, and the steps every format shares
// once its reader has laid it out.
#include "platform/orvane/Readers.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>

#include "fs/Recognise.h"

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

namespace {

// The reader with the highest score, the first listed on a tie; none when
// every score is 0. Readers with a costly probe (a highest score of their
// own) are asked last, and only where they could still win.
const ImageReader* ChooseReader(const std::string& path, const std::vector<std::uint8_t>& head) {
  const auto& readers = ImageReaders();
  std::vector<int> scores(readers.size(), 0);
  std::size_t best = readers.size();
  const auto beats = [&](std::size_t i, int score) {
    return best == readers.size() ? score > 0 : score > scores[best] || (score == scores[best] && i < best);
  };
  for (const bool costly : {false, true}) {
    for (std::size_t i = 0; i < readers.size(); ++i) {
      const int most = readers[i]->MostScore();
      if ((most != std::numeric_limits<int>::max()) != costly || (costly && !beats(i, most))) continue;
      scores[i] = readers[i]->Probe(path, head);
      if (beats(i, scores[i])) best = i;
    }
  }
  return best == readers.size() ? nullptr : readers[best];
}

}  // namespace

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
  const ImageReader* best = ChooseReader(path, head);
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

namespace {

// The layout's stored user data as the file-system layer reads it, before
// any drive serves the image.
class LayoutSectorSource : public fs::SectorSource {
 public:
  explicit LayoutSectorSource(const DiscLayout& layout) : m_Layout(layout) {}
  fs::SectorRead Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override {
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::int64_t at = std::int64_t(lba) + i;
      if (at > std::numeric_limits<std::int32_t>::max() ||
          !ReadUserData(m_Layout, static_cast<std::int32_t>(at), out + std::size_t(i) * fs::kSectorBytes))
        return fs::SectorRead::Failed;
    }
    return fs::SectorRead::Ok;
  }
  std::optional<std::uint32_t> LastSector(std::uint32_t) override { return std::nullopt; }

 private:
  const DiscLayout& m_Layout;
};

}  // namespace

void DetectOpenUdfTrack(DiscLayout& layout) {
  if (layout.profile != 0x08 || layout.tracks.empty()) return;
  TrackLayout& last = layout.tracks.back();
  if (last.mode == TrackMode::Audio) return;
  // The last sector that the image actually holds, not a trailing gap.
  std::int64_t lastStored = -1;
  for (const Extent& e : last.extents)
    if (e.file && e.count) lastStored = std::max<std::int64_t>(lastStored, std::int64_t(e.firstLba) + e.count - 1);
  if (lastStored < 0 || lastStored > std::numeric_limits<std::int32_t>::max()) return;
  LayoutSectorSource source(layout);
  const std::optional<std::uint32_t> entry = fs::FindTrailingUdfFileEntry(
      source, static_cast<std::uint32_t>(std::max<std::int32_t>(last.start, 0)), static_cast<std::uint32_t>(lastStored));
  if (!entry) return;
  layout.profile = 0x09;
  layout.discStatus = 1;
  last.nextWritable = *entry + 1 + fs::kLinkBlocks;
}

}  // namespace orvane
