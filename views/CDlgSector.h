#pragma once
// The sector viewer: one sector of the current disc or image as a hex dump,
// raw (2352 bytes, "all mode") or as user data (2048), and saving it.
#include <array>
#include <string>

#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "views/CDlgSectorDump.h"

class CDevCmdROM;

class CDlgSector : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 166;
  static constexpr int kEditId = 1013;
  static constexpr int kScrollId = 1014;
  static constexpr int kAllModeId = 1015;
  static constexpr int kListId = 1016;

  explicit CDlgSector(ui::Window* parent = nullptr);

  // dataMode 2: the browser found a CD-ROM XA data track; raw reads then.
  void SetDevice(CDevCmdROM* device, int dataMode);
  void ShowSector();
  void SaveSector();

  bool OnInitDialog() override;
  bool PreTranslateMessage(ui::MSG* msg) override;
  void OnCommand(int id) override;
  void OnVScroll(int code, int pos, ui::Window* bar) override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }

  ui::Edit& SectorEdit() { return m_Edit; }
  ui::ScrollBar& Stepper() { return m_Scroll; }
  CTransBtn& AllMode() { return m_AllMode; }
  CHListBox& Dump() { return m_List; }
  const std::array<unsigned char, kRawSectorSize>& Buffer() const { return m_Buffer; }

 private:
  CDevCmdROM* m_pDevice = nullptr;
  int m_nDataMode = 1;
  std::string m_sSector;  // the edit's text at the last display
  std::array<unsigned char, kRawSectorSize> m_Buffer{};
  ui::Edit m_Edit;
  ui::ScrollBar m_Scroll;
  CTransBtn m_AllMode;
  CHListBox m_List;
};
