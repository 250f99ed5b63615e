// One image format's reader on arbitrary files: the input is the image (and,
// after a part separator, the data file it names), the reader lays it out,
// and the layout is then served as a drive: the TOC, every track's first and
// last sectors raw and cooked. A layout whose extents point past their file,
// overlap or wrap must fail those reads cleanly, never read out of bounds.
//
// Built once per format, with TESSAL_FUZZ_READER naming the reader and
// TESSAL_FUZZ_EXT the extension its main file takes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/Readers.h"
#include "platform/orvane/VirtualDrive.h"

namespace {

const orvane::ImageReader& Reader() {
  static const orvane::ImageReader* reader = [] {
    for (const orvane::ImageReader* r : orvane::ImageReaders())
      if (strcasecmp(r->Name(), TESSAL_FUZZ_READER) == 0) return r;
    std::abort();  // the build asked for a reader the registry does not have
  }();
  return *reader;
}

// Companion files are written under every name a sheet or descriptor file
// of this kind usually gives its data (the seeds use these names); a third
// part, when there is one, is the sub-channel file.
const char* const kDataNames[] = {"image.bin", "image.img", "image.mdf", "image.wav"};

void Serve(orvane::DiscLayout layout) {
  CDevCmdROM dev(1, orvane::CreateVirtualDrive(std::move(layout), "fuzz"));
  std::vector<unsigned char> toc(2048);
  dev.ReadToc(toc.data(), static_cast<int>(toc.size()), 2, 0);
  dev.ReadToc(toc.data(), static_cast<int>(toc.size()), 0, 0);
  DISC_INFO di{};
  dev.ReadDiscInfo(di);
  FS_CDTEXT_INFO* text = new FS_CDTEXT_INFO{};
  dev.GetCDText(*text);
  delete text;
  std::vector<unsigned char> raw(2352 * 2), user(2048 * 2);
  for (int t = 1; t <= 99; ++t) {
    TRACK_INFO ti{};
    if (dev.ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, t) != 0) continue;
    const std::uint32_t start = (ti.data[8] << 24) | (ti.data[9] << 16) | (ti.data[10] << 8) | ti.data[11];
    const std::uint32_t size = (ti.data[24] << 24) | (ti.data[25] << 16) | (ti.data[26] << 8) | ti.data[27];
    for (std::uint32_t lba : {start, start + size - 1, start + size / 2}) {
      dev.ReadCD_All(raw.data(), 2352 * 2, 2, lba);
      dev.ReadCD_Data(user.data(), 2048 * 2, 2, lba);
      dev.ReadCD_10(user.data(), 2048, 1, lba);
    }
    dev.JudgeFileSystem(start);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const auto [main, companions] = fuzzsupport::SplitFirst(all);
  const auto [companion, sub] = fuzzsupport::SplitFirst(companions);
  const std::string path = fuzzsupport::WriteFile(std::string("image") + TESSAL_FUZZ_EXT, main);
  for (const char* name : kDataNames) fuzzsupport::WriteFile(name, companion);
  fuzzsupport::WriteFile("image.sub", sub);

  const std::vector<std::uint8_t> head(main.begin(), main.begin() + std::min<std::size_t>(main.size(), orvane::kProbeHeadSize));
  // The registry never probes an empty file (it refuses it first).
  if (!head.empty()) Reader().Probe(path, head);
  orvane::DiscLayout layout;
  std::string error;
  if (Reader().Open(path, layout, error) && !layout.tracks.empty()) Serve(std::move(layout));
  return 0;
}
