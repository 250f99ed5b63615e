// A CD-TEXT file (.cdt) as a CUE sheet's CDTEXTFILE names it: arbitrary bytes
// read as the file, and whatever packs it yields served by a drive and read
// back into the record the browser shows, every text within its field.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/CdTextServe.h"
#include "fuzz/FuzzSupport.h"
#include "platform/orvane/CdText.h"
#include "platform/orvane/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteFile("image.cdt", data, size);
  std::vector<std::uint8_t> packs;
  std::string error;
  if (!orvane::ReadCdTextFile(path, packs, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  if (packs.empty() || packs.size() % orvane::kCdTextPackSize) std::abort();
  fuzzsupport::ServeCdText(std::move(packs));
  return 0;
}
