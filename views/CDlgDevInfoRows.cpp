// Capability rows: "Yes" for a set bit or a listed feature.
#include "views/CDlgDevInfoRows.h"

#include <algorithm>
#include <cstring>

#include "disc/DevCmdROM.h"

namespace {

constexpr int kParamPageCleared = 26;

// Which answer a row shows.
enum class Src { None, Page, PlusRw, MinusRw };
struct RowDef {
  Src src;
  mmc::PageBit bit;
  const char* name;
};

constexpr mmc::PageBit kNoBit{0, 0};
constexpr RowDef kRows[29] = {
    {Src::None, kNoBit, "<General Features>"},
    {Src::Page, mmc::cap::kC2Pointers, "C2_PointerSupport"},
    {Src::Page, mmc::cap::kCdDaAccurate, "CD_DAAccurate"},
    {Src::Page, mmc::cap::kCdDa, "CD_DA Supported"},
    {Src::Page, mmc::cap::kIsrc, "ISRC Support"},
    {Src::Page, mmc::cap::kMode2Form1, "Mode2Form1 Support"},
    {Src::Page, mmc::cap::kMode2Form2, "Mode2Form2 Support"},
    {Src::Page, mmc::cap::kRwDeinterleaved, "R_W_DC Support"},
    {Src::Page, mmc::cap::kRw, "R_W Support"},
    {Src::Page, mmc::cap::kUpc, "UPC Support"},
    {Src::None, kNoBit, ""},
    {Src::None, kNoBit, "<Read Features>"},
    {Src::Page, mmc::cap::kCdRRead, "CD_R ReadSupport"},
    {Src::Page, mmc::cap::kCdRwRead, "CD_RW ReadSupport"},
    {Src::PlusRw, kNoBit, "DVD+R READSupport"},
    {Src::PlusRw, kNoBit, "DVD+RW READSupport"},
    {Src::Page, mmc::cap::kDvdRRead, "DVD-R READSupport"},
    {Src::MinusRw, kNoBit, "DVD-RW READSupport"},
    {Src::Page, mmc::cap::kDvdRamRead, "DVD_RAM READSupport"},
    {Src::Page, mmc::cap::kDvdRomRead, "DVD_ROM READSupport"},
    {Src::None, kNoBit, ""},
    {Src::None, kNoBit, "<Write Features>"},
    {Src::Page, mmc::cap::kCdRWrite, "CD_R WriteSupport"},
    {Src::Page, mmc::cap::kCdRwWrite, "CD_RW WriteSupport"},
    {Src::PlusRw, kNoBit, "DVD+R WRITESupport"},
    {Src::PlusRw, kNoBit, "DVD+RW WRITESupport"},
    {Src::Page, mmc::cap::kDvdRWrite, "DVD-R WRITESupport"},
    {Src::MinusRw, kNoBit, "DVD-RW WRITESupport"},
    {Src::Page, mmc::cap::kDvdRamWrite, "DVD_RAM WRITESupport"},
};

const char* YesNo(bool b) { return b ? "Yes" : "No"; }

}  // namespace

std::vector<DevInfoRow> BuildDevInfoRows(const unsigned char* page, bool plusRw, bool minusRw) {
  std::vector<DevInfoRow> rows;
  rows.reserve(29);
  for (const RowDef& r : kRows) {
    std::string support;
    switch (r.src) {
      case Src::None: break;
      case Src::Page: support = YesNo(mmc::PageBitSet(page, r.bit)); break;
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
  const bool plusRw = mmc::ConfigHasFeature(config, kConfigBufferSize, mmc::kFeatureDvdPlusRw);
  const bool minusRw = mmc::ConfigHasFeature(config, kConfigBufferSize, mmc::kFeatureDvdMinusRwWrite);

  PARAM_PAGE_READ page;
  std::memset(&page, 0, sizeof page);
  static_assert(sizeof page.data >= kParamPageCleared);
  mmc::SetModePageCode(page, mmc::kModePageCapabilities);
  SenseData_tag sense(0, 0, 0, 0, 0, 0);
  if (device.GetParamPage(page, device.GetDeviceID(), sense) != 0) return false;
  rows = BuildDevInfoRows(page.data, plusRw, minusRw);
  return true;
}
