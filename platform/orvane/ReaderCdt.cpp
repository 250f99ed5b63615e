// CD-TEXT files (.cdt) as burning programs write them beside a CUE sheet
// (CDTEXTFILE): the disc's CD-TEXT packs, bare or as the READ TOC format 5
// answer with its 4-byte header, sometimes with a closing NUL.
#include <filesystem>

#include "platform/orvane/CdText.h"
#include "platform/orvane/ReaderTracks.h"
#include "platform/orvane/Readers.h"

namespace orvane {

namespace {
// Eight language blocks of at most 256 packs each, and a header.
constexpr std::uint64_t kMaxCdtBytes = 8 * 256 * kCdTextPackSize + 5;
}  // namespace

bool ReadCdTextFile(const std::string& path, std::vector<std::uint8_t>& packs, std::string& error) {
  auto f = OpenImageFile(path, error);
  if (!f) return false;
  const std::string name = std::filesystem::path(path).filename().string();
  if (f->Size() > kMaxCdtBytes) {
    error = name + " is too large for CD-TEXT";
    return false;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f->Size()));
  if (f->ReadAt(0, bytes.data(), bytes.size()) != bytes.size()) {
    error = "cannot read " + name;
    return false;
  }
  std::vector<std::uint8_t> got = CdTextPacksFrom(bytes.data(), bytes.size());
  // Every pack names a text kind (0x80-0x8F), and damage shows in the CRCs:
  // a file none of whose packs is whole is not CD-TEXT at all.
  bool anyWhole = false;
  for (std::size_t i = 0; i < got.size(); i += kCdTextPackSize) {
    if (got[i] < 0x80 || got[i] > 0x8F) {
      error = name + " is not a CD-TEXT file (pack " + std::to_string(i / kCdTextPackSize) + " has no text kind)";
      return false;
    }
    anyWhole |= CdTextPackValid(&got[i]);
  }
  if (got.empty() || !anyWhole) {
    error = name + " holds no whole CD-TEXT pack";
    return false;
  }
  packs = std::move(got);
  return true;
}

}  // namespace orvane
