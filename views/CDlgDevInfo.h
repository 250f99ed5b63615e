#pragma once
// The device capability view: what the current drive reads and writes.
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Dialog.h"

class CDevCmdROM;

class CDlgDevInfo : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 191;
  static constexpr int kListId = 1028;

  explicit CDlgDevInfo(ui::Window* parent = nullptr);
  bool OnInitDialog() override;
  // Fills the list from the device, used only during the call.
  void SetDevice(CDevCmdROM* device);

  CListCtrlEx& List() { return m_List; }

 private:
  void InsertColumns();
  CListCtrlEx m_List;
};
