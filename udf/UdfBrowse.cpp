// The browser's view of a UDF volume: the folder tree below a data track and
// the file list of the selected folder.
#include <algorithm>

#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "udf/Analy_UDF.h"
#include "udf/UdfNodes.h"

using namespace udf;

namespace {

struct ListColumnSpec {
  const char* heading;
  int width;
};
// The hidden sixth heading is "len" on purpose, though the ISO 9660 listing
// says "Len": six columns are never rebuilt, so the heading tells who built them.
constexpr ListColumnSpec kListColumns[] = {{"Name", 100}, {"Time", 100}, {"Type", 100},
                                           {"Size", 100}, {"Pos", 100},  {"len", 0}};
constexpr int kFirstFileNumber = 5000;

}  // namespace

int CAnaly_UDF::FillFolderTree(ui::TreeCtrl* tree, ui::HTREEITEM item) {
  if (!m_pDevice || !tree) return 1;
  std::uint32_t root = m_nPartStart + m_nRootIcb;
  tree->SetItemData(item, root);
  AddSubFolders(tree, item, root);
  return 0;
}

int CAnaly_UDF::AddSubFolders(ui::TreeCtrl* tree, ui::HTREEITEM parent, std::uint32_t S) {
  std::vector<std::uint32_t> ancestors{S};
  std::size_t folders = 0;
  return AddSubFoldersBelow(tree, parent, S, 0, ancestors, folders);
}

// Depth first, as the folders lie in each directory. A folder whose entry is
// one of its own ancestors is shown but not entered again, and the depth and
// the number of folders are bounded, so no volume makes the walk endless.
int CAnaly_UDF::AddSubFoldersBelow(ui::TreeCtrl* tree, ui::HTREEITEM parent, std::uint32_t S, int depth,
                                   std::vector<std::uint32_t>& ancestors, std::size_t& folders) {
  if (!tree) return 1;
  std::vector<UdfDirEntry> entries;
  int rc = ReadDirectory(S, entries);
  for (const UdfDirEntry& e : entries) {
    if (!e.isDirectory) continue;
    if (++folders > kMaxFolders) return rc;
    ui::HTREEITEM item = tree->InsertItem(e.name, 0, 1, parent, ui::TVI_LAST);
    if (!item) continue;
    tree->SetItemData(item, e.feSector);
    bool loop = std::find(ancestors.begin(), ancestors.end(), e.feSector) != ancestors.end();
    if (loop || depth + 1 >= kMaxFolderDepth) continue;
    ancestors.push_back(e.feSector);
    AddSubFoldersBelow(tree, item, e.feSector, depth + 1, ancestors, folders);
    ancestors.pop_back();
  }
  return rc;
}

int CAnaly_UDF::FillFileList(ui::ListCtrl* list, std::uint32_t S) {
  if (!list) return 1;
  list->DeleteAllItems();
  constexpr int kColumns = static_cast<int>(std::size(kListColumns));
  if (list->GetColumnCount() != kColumns) {
    while (list->GetColumnCount() > 0) list->DeleteColumn(0);
    for (int i = 0; i < kColumns; ++i)
      list->InsertColumn(i, kListColumns[i].heading, ui::LVCFMT_LEFT, kListColumns[i].width);
  }
  std::vector<UdfDirEntry> entries;
  int rc = ReadDirectory(S, entries);
  int folderNo = 0, fileNo = kFirstFileNumber, rowNo = 0;
  for (const UdfDirEntry& e : entries) {
    int row = list->InsertItem(0, e.name, e.isDirectory ? 0 : 2);
    if (row < 0) continue;
    // Written twice on purpose: the row number first, then the folder/file
    // number that everyone reads; the first write only keeps rowNo counting.
    list->SetItemData(row, static_cast<ui::DWORD_PTR>(rowNo++));
    list->SetItemData(row, static_cast<ui::DWORD_PTR>(e.isDirectory ? folderNo++ : fileNo++));
    std::string time, size;
    GetFileInfo(e.feSector, time, size);
    fs::NodeInfo info;
    ReadUdfNodeInfo(*this, e, info);
    list->SetItemText(row, 1, time);
    list->SetItemText(row, 2, fs::TypeColumnText(info.type));
    if (info.type == fs::NodeType::File) list->SetItemText(row, 3, size);
    if (info.type == fs::NodeType::Link) list->SetItemText(row, 3, "-> " + info.linkTarget);
    list->SetItemText(row, 4, std::to_string(e.feSector));
  }
  return rc;
}
