// Capability rows: "Yes" for a set bit or a listed feature.
#include "views/CDlgDevInfoRows.h"

#include <algorithm>
#include <cstring>

#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"

namespace {

constexpr unsigned kFeatureDvdPlusRw = 0x002A;
constexpr unsigned kFeatureDvdMinusRwWrite = 0x002F;
constexpr int kPageCapabilities = 0x2A;
constexpr int kParamPageCleared = 26;

// Which answer a row shows.
enum class Src { None, Page, PlusRw, MinusRw };
struct RowDef {
  Src src;
  int byte, bit;
  const char* name;
};

constexpr RowDef kRows[29] = {
    {Src::None, 0, 0, "<General Features>"},
    {Src::Page, 5, 4, "C2_PointerSupport"},
    {Src::Page, 5, 1, "CD_DAAccurate"},
    {Src::Page, 5, 0, "CD_DA Supported"},
    {Src::Page, 5, 5, "ISRC Support"},
    {Src::Page, 4, 4, "Mode2Form1 Support"},
    {Src::Page, 4, 5, "Mode2Form2 Support"},
    {Src::Page, 5, 3, "R_W_DC Support"},
    {Src::Page, 5, 2, "R_W Support"},
    {Src::Page, 5, 6, "UPC Support"},
    {Src::None, 0, 0, ""},
    {Src::None, 0, 0, "<Read Features>"},
    {Src::Page, 2, 0, "CD_R ReadSupport"},
    {Src::Page, 2, 1, "CD_RW ReadSupport"},
    {Src::PlusRw, 0, 0, "DVD+R READSupport"},
    {Src::PlusRw, 0, 0, "DVD+RW READSupport"},
    {Src::Page, 2, 4, "DVD-R READSupport"},
    {Src::MinusRw, 0, 0, "DVD-RW READSupport"},
    {Src::Page, 2, 5, "DVD_RAM READSupport"},
    {Src::Page, 2, 3, "DVD_ROM READSupport"},
    {Src::None, 0, 0, ""},
    {Src::None, 0, 0, "<Write Features>"},
    {Src::Page, 3, 0, "CD_R WriteSupport"},
    {Src::Page, 3, 1, "CD_RW WriteSupport"},
    {Src::PlusRw, 0, 0, "DVD+R WRITESupport"},
    {Src::PlusRw, 0, 0, "DVD+RW WRITESupport"},
    {Src::Page, 3, 4, "DVD-R WRITESupport"},
    {Src::MinusRw, 0, 0, "DVD-RW WRITESupport"},
    {Src::Page, 3, 5, "DVD_RAM WRITESupport"},
};

const char* YesNo(bool b) { return b ? "Yes" : "No"; }

}  // namespace

bool ConfigHasFeature(const unsigned char* config, int size, unsigned feature) {
  if (!config || size < 8) return false;
  // The Data Length counts the bytes after itself.
  const std::uint64_t limit = std::min<std::uint64_t>(static_cast<std::uint64_t>(GetBE32(config)) + 4,
                                                      static_cast<std::uint64_t>(size));
  std::uint64_t off = 8;
  while (off + 4 <= limit) {
    const unsigned char* d = config + off;
    if (GetBE16(d) == feature) return true;
    off += 4u + d[3];
  }
  return false;
}

std::vector<DevInfoRow> BuildDevInfoRows(const unsigned char* page, bool plusRw, bool minusRw) {
  std::vector<DevInfoRow> rows;
  rows.reserve(29);
  for (const RowDef& r : kRows) {
    std::string support;
    switch (r.src) {
      case Src::None: break;
      case Src::Page: support = YesNo((page[r.byte] >> r.bit) & 1); break;
      case Src::PlusRw: support = YesNo(plusRw); break;
      case Src::MinusRw: support = YesNo(minusRw); break;
    }
    rows.emplace_back(std::move(support), r.name);
  }
  return rows;
}

bool ReadDevInfoRows(CDevCmdROM& device, std::vector<DevInfoRow>& rows) {
  rows.clear();
  unsigned char config[kConfigBufferSize];
  std::memset(config, 0, sizeof config);
  // A failed GET CONFIGURATION leaves the buffer zero, which lists nothing.
  device.GetConfig(config, kConfigBufferSize);
  const bool plusRw = ConfigHasFeature(config, kConfigBufferSize, kFeatureDvdPlusRw);
  const bool minusRw = ConfigHasFeature(config, kConfigBufferSize, kFeatureDvdMinusRwWrite);

  PARAM_PAGE_READ page;
  std::memset(&page, 0, sizeof page);
  static_assert(sizeof page.data >= kParamPageCleared);
  page.data[0] = static_cast<unsigned char>((page.data[0] & 0xC0) | (kPageCapabilities & 0x3F));
  SenseData_tag sense(0, 0, 0, 0, 0, 0);
  if (device.GetParamPage(page, device.GetDeviceID(), sense) != 0) return false;
  rows = BuildDevInfoRows(page.data, plusRw, minusRw);
  return true;
}
