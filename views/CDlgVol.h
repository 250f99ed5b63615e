#pragma once
// The volume information view: the fields of the volume's primary volume
// descriptor, ISO 9660 or UDF, from the buffer the file browser filled.
#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Dialog.h"

class CDlgVol : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 176;
  static constexpr int kListId = 1022;

  explicit CDlgVol(ui::Window* parent = nullptr);

  bool OnInitDialog() override;
  // fsType as JudgeFileSystem gives it: 1 ISO 9660, 2 UDF, 3 both (UDF shown).
  void ShowDescriptor(const unsigned char* vd, int size, int fsType);

  CListCtrlEx& List() { return m_List; }

 private:
  void InsertColumns();
  CListCtrlEx m_List;
};
