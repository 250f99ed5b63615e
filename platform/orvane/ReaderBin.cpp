// Raw images of 2352-byte sectors without a cue sheet (BIN, IMG, RAW): one
// track, data when the sectors carry a sync pattern, else audio.
#include "platform/orvane/ReaderCommon.h"
#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

constexpr std::size_t kRaw = disc::kRawSectorSize;
constexpr int kSectorsToExamine = 32;

// A raw image usually comes with the sheet that says where its tracks lie
// (NAME.cue beside NAME.bin). Read alone, a mixed-mode image would show its
// audio tracks as data; so when such a sheet describes this file and nothing
// else, its layout is the image's.
bool OpenSheetBeside(const std::string& path, DiscLayout& layout) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::canonical(path, ec);
  if (ec) return false;
  for (const char* ext : {".cue", ".CUE", ".Cue"}) {
    fs::path sheet = fs::path(path).replace_extension(ext);
    if (!fs::is_regular_file(sheet, ec)) continue;
    DiscLayout fromSheet;
    std::string ignored;
    if (!CueReader().Open(sheet.string(), fromSheet, ignored)) return false;
    for (const TrackLayout& t : fromSheet.tracks)
      for (const Extent& e : t.extents)
        if (e.file && fs::canonical(e.file->Path(), ec) != self) return false;
    layout = std::move(fromSheet);
    return true;
  }
  return false;
}

class BinImageReader final : public ImageReader {
 public:
  const char* Name() const override { return "BIN"; }

  int Probe(const std::string& path, const std::vector<std::uint8_t>& head) const override {
    if (head.size() >= 16 && HasSync(head.data()) && (head[disc::kHeaderModeOffset] == 1 || head[disc::kHeaderModeOffset] == 2)) return 100;
    if (head.size() >= 16 * kRaw + 16 && HasSync(&head[16 * kRaw])) return 90;
    std::string ext = LowerExtension(path);
    std::uint64_t size = FileSizeOf(path);
    if (ext == ".bin" || ext == ".raw") return 8;
    if ((ext == ".img" || ext == ".vcd") && size % kRaw == 0) return 7;
    return 0;
  }

  bool Open(const std::string& path, DiscLayout& layout, std::string& error) const override {
    if (OpenSheetBeside(path, layout)) return true;
    auto file = OpenImageFile(path, error);
    if (!file) return false;
    std::uint64_t sectors = file->Size() / kRaw;
    if (sectors == 0) {
      error = path + " is shorter than one 2352-byte sector";
      return false;
    }
    if (sectors > 450000) {
      error = path + " is larger than a CD holds";
      return false;
    }
    // The first sector that carries a data header decides the track's mode;
    // a file without any sync in its first sectors is audio.
    TrackMode mode = TrackMode::Audio;
    bool synced = false;
    for (std::uint64_t i = 0; i < sectors && i < kSectorsToExamine; ++i) {
      std::uint8_t h[24];
      if (file->ReadAt(i * kRaw, h, sizeof h) != sizeof h) break;
      if (!HasSync(h)) continue;
      synced = true;
      if (h[disc::kHeaderModeOffset] == 1) {
        mode = TrackMode::Mode1;
        break;
      }
      if (h[disc::kHeaderModeOffset] == 2) {
        // CD-ROM XA repeats its sub-header; plain Mode 2 has user data there.
        mode = std::memcmp(h + disc::kSubHeaderOffset, h + disc::kSubHeaderOffset + 4, 4) == 0 ? TrackMode::Mode2Xa : TrackMode::Mode2Formless;
        break;
      }
    }
    if (synced && mode == TrackMode::Audio) mode = TrackMode::Mode1;  // only mode-0 sectors seen
    layout.format = "BIN";
    layout.profile = 0x08;
    LayOutSingleTrack(layout, file, static_cast<std::uint32_t>(sectors), mode,
                      mode == TrackMode::Audio ? StoredFormat::Audio2352 : StoredFormat::Raw2352, kRaw,
                      mode == TrackMode::Mode2Xa || mode == TrackMode::Mode2Formless ? 0x20 : 0x00);
    return true;
  }
};

}  // namespace

const ImageReader& BinReader() {
  static const BinImageReader reader;
  return reader;
}

}  // namespace orvane
