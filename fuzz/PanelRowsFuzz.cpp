// The rows the panels make of what a medium or drive hands them: the volume
// view's rows of a 2048-byte volume descriptor (ISO 9660, Joliet, UDF), and
// the device capability view's rows of a mode page and GET CONFIGURATION
// data. Each buffer is exactly as long as its caller's, so a field read past
// it is seen.
#include <cstdint>
#include <cstring>
#include <vector>

#include "disc/DevCmdROM.h"
#include "views/CDlgDevInfoRows.h"
#include "views/CDlgVolRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<unsigned char> vd(kVolDescriptorSize, 0);
  std::memcpy(vd.data(), data, std::min<std::size_t>(size, vd.size()));
  for (int fs = 0; fs <= 3; ++fs) (void)BuildVolRows(vd.data(), kVolDescriptorSize, fs);
  (void)IsJolietDescriptor(vd.data());
  // A short descriptor (the size as given) must not be read past.
  if (size && size <= static_cast<std::size_t>(kVolDescriptorSize)) {
    const std::vector<unsigned char> exact(data, data + size);
    (void)BuildIsoVolRows(exact.data(), static_cast<int>(size));
    (void)BuildUdfVolRows(exact.data(), static_cast<int>(size));
  }

  PARAM_PAGE_READ page{};
  std::memcpy(page.data, data, std::min<std::size_t>(size, sizeof page.data));
  std::vector<unsigned char> config(data, data + size);
  for (unsigned feature : {0x0000u, 0x002Au, 0x002Bu, 0x0024u, 0x001Fu})
    (void)ConfigHasFeature(config.data(), static_cast<int>(config.size()), feature);
  (void)BuildDevInfoRows(page.data, size & 1, size & 2);
  return 0;
}
