#include "app/dialogs/CDlgDev.h"

#include <algorithm>
#include <cstring>

#include "disc/MmcRecords.h"
#include "disc/TextCodec.h"
#include "platform/ui/Canvas.h"
#include "platform/ui/Paths.h"
#include "platform/ui/Region.h"
#include "platform/ui/Ui.h"
#include "res/Resources.h"

namespace {

void Tell(int stringId) {
  const char* text = res::String(stringId);
  ui::AfxMessageBox(text ? text : "", ui::MB_OK | ui::MB_ICONINFORMATION);
}

}  // namespace

const char* const CDlgDev::kImageFilter =
    "All image files(*.*)|*.*|"
    "Disc images(*.iso;*.img;*.bin;*.cue;*.nrg;*.ccd;*.mds;*.toc;*.cdt;*.vcd;*.chd)|"
    "*.iso;*.img;*.bin;*.cue;*.nrg;*.ccd;*.mds;*.toc;*.cdt;*.vcd;*.chd|"
    "Iso files(*.iso)|*.iso|Img Files(*.img)|*.img|Nrg Files(*.nrg)|*.nrg|VCD Files(*.vcd)|*.vcd|"
    "Cue sheets(*.cue)|*.cue|Bin files(*.bin)|*.bin|CloneCD files(*.ccd)|*.ccd|"
    "Media descriptors(*.mds)|*.mds|cdrdao TOC files(*.toc)|*.toc|MAME CHD files(*.chd)|*.chd||";

CDlgDev::CDlgDev(ui::Window* parent) : ui::Dialog(kTemplateId, parent) {
  BindControl(kListId, m_List);
  BindControl(kCancelId, m_Cancel);
  BindControl(kOkId, m_Ok);
}

int CDlgDev::GetDeviceName(char* dst, int len) const {
  if (!dst || len <= 0) return 0;
  const int n = std::min(len, static_cast<int>(kNameSize));
  std::memcpy(dst, m_szName, static_cast<std::size_t>(n));
  dst[n - 1] = '\0';  // m_szName always ends in a NUL; a shorter copy must too
  return n;
}

std::string CDlgDev::DriveEntry(CDevCmdROM& drive) {
  std::string entry = drive.GetNodePath() + ": ";
  INQUIRYDATA inq;
  std::memset(&inq, 0, sizeof inq);
  if (drive.Inquiry(inq) != 0) {
    // A drive the user may not open is still listed: choosing it then says
    // it is not ready, and the entry says why.
    const std::string why = drive.GetLastError();
    return entry + "(" + (why.empty() ? "does not answer" : why) + ")";
  }
  // Vendor, product and revision run together up to the first zero byte,
  // never past the record.
  return entry + std::string(mmc::InquiryIdentification(inq));
}

bool CDlgDev::OnInitDialog() {
  const res::Image& mask = ui::CachedBitmap(kMaskBitmap);
  if (!mask.Empty()) {
    const ui::Size screen = ui::Ui::Get().ScreenSize();
    MoveWindow(screen.cx / 2 - mask.width / 2, screen.cy / 2 - mask.height / 2, mask.width, mask.height);
    SetWindowRgn(ui::Region::FromMask(mask, mask.width, mask.height));
  }
  m_Ok.SetBitmaps(IDB_OK, IDB_OK_DOWN);
  m_Cancel.SetBitmaps(IDB_CANCEL, IDB_CANCEL_DOWN);

  // Each entry keeps the index of its device, so a drive that yields no
  // entry can never shift the others onto the wrong device.
  const int n = m_pDevList ? m_pDevList->GetDevCount() : 0;
  for (int i = 0; i + 1 < n; ++i) {
    CDevCmdROM* drive = m_pDevList->GetDequeItem(i);
    if (!drive || drive->GetDeviceID() == 0) continue;
    const int at = m_List.AddString(DriveEntry(*drive));
    m_List.SetItemData(at, static_cast<ui::DWORD_PTR>(i));
  }
  if (n > 0) {
    const int at = m_List.AddString(kImageEntry);
    m_List.SetItemData(at, static_cast<ui::DWORD_PTR>(n - 1));
    m_List.SetCurSel(0);
  }
  return true;
}

void CDlgDev::OnCommand(int id) {
  if (id == kOkId) Accept();
  if (id == kCancelId) EndDialog(IDCANCEL);
}

ui::LRESULT CDlgDev::OnNotify(int id, int code) {
  if (id == kListId && code == ui::LBN_DBLCLK) Accept();
  return 0;
}

void CDlgDev::OnPaint(ui::Canvas& canvas) { canvas.DrawBitmap(kBackBitmap, 0, 0); }

void CDlgDev::Accept() {
  const int count = m_List.GetCount();
  const int sel = m_List.GetCurSel();
  if (count == 0 || !m_pDevList) {
    Tell(IDS_SELECT_DEVICE);
    return;
  }
  if (sel < 0) return;  // nothing chosen: no device to try
  m_nSel = static_cast<int>(m_List.GetItemData(sel));
  if (sel == count - 1) {
    ui::CFileDialog dlg(true, nullptr, nullptr, ui::OFN_FILEMUSTEXIST | ui::OFN_HIDEREADONLY, kImageFilter, this);
    dlg.Request().initialDir = ui::SamplesFolder();
    if (dlg.DoModal() != IDOK) return;
    CDevCmdROM* image = m_pDevList->GetDequeItem(m_nSel);
    if (!image || !image->SetImageFile(dlg.GetPathName())) {
      Tell(IDS_BAD_IMAGE);
      return;
    }
  }
  m_pSelected = m_pDevList->GetDequeItem(m_nSel);
  if (!m_pSelected) return;
  if (m_pSelected->TestUnitReady() != 0) {
    Tell(IDS_NOT_READY);
    return;
  }
  std::memset(m_szName, 0, sizeof m_szName);
  CopyUtf8Bounded(m_List.GetText(sel), m_szName, sizeof m_szName);
  EndDialog(IDOK);
}
