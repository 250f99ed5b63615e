#pragma once
// The volume information view: the fields of the volume's primary volume
// descriptor, ISO 9660 or UDF, from the buffer the file browser filled.
#include <optional>

#include "platform/paxwell/Paxwell.h"
#include "platform/ui/Dialog.h"
#include "udf/Analy_UDF.h"

class CDlgVol : public ui::Dialog {
 public:
  static constexpr int kTemplateId = 176;
  static constexpr int kListId = 1022;

  explicit CDlgVol(ui::Window* parent = nullptr);

  bool OnInitDialog() override;
  // fsType as JudgeFileSystem gives it: 1 ISO 9660, 2 UDF, 3 both (UDF shown).
  void ShowDescriptor(const unsigned char* vd, int size, int fsType);
  // What the analyser found of the UDF volume whose descriptor is shown; its
  // rows follow the descriptor's. Nullopt for none.
  void SetUdfSummary(std::optional<UdfVolumeSummary> summary) { m_UdfSummary = std::move(summary); }

  CListCtrlEx& List() { return m_List; }

 private:
  void InsertColumns();
  CListCtrlEx m_List;
  std::optional<UdfVolumeSummary> m_UdfSummary;
};
