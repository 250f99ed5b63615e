// CD-TEXT packs as a drive returns them (READ TOC format 5) or an image keeps
// them: parsed into texts, built back into packs and parsed again, and read
// through the virtual drive into the program's fixed-size record, where every
// text must stay within its field.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/CdTextServe.h"
#include "platform/orvane/CdText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the input, so a read past its end is seen.
  const std::vector<std::uint8_t> packs(data, data + size);
  const auto entries = orvane::ParseCdTextPacks(packs.data(), packs.size());
  const auto rebuilt = orvane::BuildCdTextPacks(entries);
  if (rebuilt.size() % orvane::kCdTextPackSize) std::abort();
  (void)orvane::ParseCdTextPacks(rebuilt.data(), rebuilt.size());

  // The same packs served by a drive, read into the record the browser shows.
  fuzzsupport::ServeCdText(packs);
  return 0;
}
