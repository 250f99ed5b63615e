// The disc scan dialog.
#include "views/CDlgScanDisc.h"

#include <cstdio>

#include "disc/DevCmdROM.h"
#include "platform/ui/Region.h"
#include "platform/ui/Ui.h"
#include "views/CDlgTOC.h"

namespace {
constexpr int kStrNotReady = 14;
constexpr const char* kNotReady = "Device not Ready,Please try again!";

// Nearest-pixel stretch of a skin bitmap over w x h.
res::Image Stretch(const res::Image& src, int w, int h) {
  res::Image out;
  if (src.Empty() || w <= 0 || h <= 0) return out;
  out.width = w;
  out.height = h;
  out.depth = src.depth;
  out.rgb.resize(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out.rgb[static_cast<std::size_t>(y) * w + x] =
          src.Pixel(static_cast<int>(static_cast<long long>(x) * src.width / w),
                    static_cast<int>(static_cast<long long>(y) * src.height / h));
  return out;
}
}  // namespace

std::string SenseByteText(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02X", value);
  return buf;
}

CDlgScanDisc::CDlgScanDisc(ui::Window* parent) : ui::Dialog(kTemplateId, parent) {
  BindControl(kLabelId, m_Label);
  BindControl(kListId, m_List);
  BindControl(kProgressId, m_Progress);
  BindControl(kStartId, m_Start);
  BindControl(kCancelId, m_Cancel);
  m_Back = res::LoadBitmap(kBackBitmap);
}

CDlgScanDisc::~CDlgScanDisc() { StopAndJoin(); }

void CDlgScanDisc::ResetList() {
  ClearReportList(m_List);
  m_List.InsertColumn(0, "Sector", ui::LVCFMT_LEFT, 100);
  m_List.InsertColumn(1, "SenseKey", ui::LVCFMT_LEFT, 100);
  m_List.InsertColumn(2, "ASC", ui::LVCFMT_LEFT, 50);
  m_List.InsertColumn(3, "ASCQ", ui::LVCFMT_LEFT, 50);
}

bool CDlgScanDisc::OnInitDialog() {
  ResetList();
  m_Progress.SetRange(0, 100);
  m_Progress.ShowWindow(ui::SW_HIDE);
  m_Label.SetTransparent(true);
  m_Label.SetTextColor(ui::RGB(255, 255, 255));
  // The skin's pure white pixels are holes in the window; beyond the
  // bitmap the window stays whole.
  const ui::Rect r = GetWindowRect();
  const res::Image mask = res::LoadBitmap(kMaskBitmap);
  if (!mask.Empty() && r.Width() > 0 && r.Height() > 0)
    SetWindowRgn(ui::Region::FromMask(mask, r.Width(), r.Height()));
  return true;
}

void CDlgScanDisc::OnPaint(ui::Canvas& canvas) {
  const ui::Rect r = GetClientRect();
  if (m_BackScaled.width != r.Width() || m_BackScaled.height != r.Height())
    m_BackScaled = Stretch(m_Back, r.Width(), r.Height());
  if (!m_BackScaled.Empty()) canvas.DrawImage(m_BackScaled, 0, 0);
}

void CDlgScanDisc::OnCommand(int id) {
  if (id == kStartId) {
    OnStartStop();
  } else if (id == kCancelId) {
    OnCancel();
  }
}

void CDlgScanDisc::OnCancel() {
  // Escape ends the dialog even while a scan runs: the worker is stopped and
  // has ended before the dialog and its controls go.
  StopAndJoin();
  EndDialog(IDCANCEL);
}

void CDlgScanDisc::DestroyWindow() {
  StopAndJoin();
  ui::Dialog::DestroyWindow();
}

void CDlgScanDisc::StopAndJoin() {
  m_bStop = true;
  if (m_Worker.joinable()) m_Worker.join();
}

void CDlgScanDisc::OnStartStop() {
  if (m_bIdle) {
    // A stopped scan may still be inside its last read: it ends before the
    // readiness is asked, so the device never has two users at once.
    if (m_Worker.joinable()) m_Worker.join();
    if (!m_pDevice || m_pDevice->TestUnitReady() != 0) {
      ui::AfxMessageBox(PanelString(kStrNotReady, kNotReady), ui::MB_OK | ui::MB_ICONINFORMATION);
      return;
    }
    m_Cancel.EnableWindow(false);
    StartWorker();
  } else {
    m_bStop = true;
  }
  m_bIdle = !m_bIdle;
  m_Start.SetWindowText(m_bIdle ? "Start" : "Stop");
}

void CDlgScanDisc::StartWorker() {
  // A stopped scan may still be inside its last read: wait for it, so that
  // only one worker ever uses the device.
  if (m_Worker.joinable()) m_Worker.join();
  m_bStop = false;
  const unsigned gen = ++m_nGen;
  m_nPrevRowCounter = m_nRowCounter;
  m_nRowCounter = 0;
  CDevCmdROM* device = m_pDevice;
  m_Worker = std::thread([this, device, gen] {
    DiscScanner scanner(*device, m_bStop);
    ScanHooks hooks;
    hooks.begin = [this, gen] { Post([this, gen] { ShowProgress(gen, 0, true); }); };
    hooks.badSector = [this, gen](std::uint32_t lba, const SenseData_tag& s) {
      Post([this, gen, lba, s] { AddRow(gen, lba, s); });
    };
    hooks.progress = [this, gen](int p) { Post([this, gen, p] { ShowProgress(gen, p, true); }); };
    scanner.Run(hooks);
    Post([this, gen] { ScanEnded(gen); });
  });
}

void CDlgScanDisc::AddRow(unsigned gen, std::uint32_t lba, SenseData_tag sense) {
  int index;
  if (gen == m_nGen) {
    index = m_nRowCounter++;
  } else {
    // A late row of the stopped scan stays below the rows of the new one.
    index = m_nRowCounter + m_nPrevRowCounter++;
  }
  const int row = m_List.InsertItem(index, std::to_string(lba), 0);
  m_List.SetItemText(row, 1, SenseByteText(sense.key));
  m_List.SetItemText(row, 2, SenseByteText(sense.asc));
  m_List.SetItemText(row, 3, SenseByteText(sense.ascq));
}

void CDlgScanDisc::ShowProgress(unsigned gen, int percent, bool show) {
  if (gen != m_nGen) return;
  if (show && !m_Progress.GetVisibleFlag()) m_Progress.ShowWindow(ui::SW_SHOW);
  m_Progress.SetPos(percent);
}

void CDlgScanDisc::ScanEnded(unsigned gen) {
  if (gen != m_nGen) return;
  m_Progress.SetPos(100);
  m_Progress.ShowWindow(ui::SW_HIDE);
  m_Start.SetWindowText("Start");
  m_Cancel.EnableWindow(true);
  m_bIdle = true;
}
