#pragma once
// The device dialog: the user picks one of the optical drives the device
// library found, or "[Image File]" and then an image file. Only a device that
// answered TEST UNIT READY is handed back.
#include <string>

#include "disc/DevCmdROM.h"
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Dialog.h"
#include "skin/BmpBtn.h"

class CDlgDev : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 165;
  static constexpr int kListId = 1010;
  static constexpr int kOkId = 1012;
  static constexpr int kCancelId = 1013;
  static constexpr int kMaskBitmap = 158;
  static constexpr int kBackBitmap = 219;
  static constexpr std::size_t kNameSize = 256;
  static constexpr const char* kImageEntry = "[Image File]";
  // The image formats the device library reads, first all files as the
  // program always offered.
  static const char* const kImageFilter;

  explicit CDlgDev(ui::Window* parent = nullptr);

  void SetDeviceList(DevDeque* devices) { m_pDevList = devices; }
  CDevCmdROM* GetSelectedDevice() const { return m_pSelected; }
  // Copies min(len, 256) bytes of the chosen entry's text (NUL-terminated)
  // and returns that count.
  int GetDeviceName(char* dst, int len) const;
  std::string GetDeviceName() const { return m_szName; }

  // The list entry of a drive: "/dev/sr0: VENDOR  PRODUCT REV", the INQUIRY
  // identification as the drive reports it; a drive that does not answer
  // says why instead.
  static std::string DriveEntry(CDevCmdROM& drive);

  bool OnInitDialog() override;
  void OnCommand(int id) override;
  ui::LRESULT OnNotify(int id, int code) override;
  void OnOK() override { Accept(); }
  void OnPaint(ui::Canvas& canvas) override;
  bool OnEraseBkgnd(ui::Canvas&) override { return true; }

  // OK, Enter and a double click.
  void Accept();

  CHListBox& List() { return m_List; }

 private:
  CHListBox m_List;
  CBmpRoundBtn m_Cancel;
  CBmpRoundBtn m_Ok;
  DevDeque* m_pDevList = nullptr;
  int m_nSel = 0;
  CDevCmdROM* m_pSelected = nullptr;
  char m_szName[kNameSize] = {};
};
