// The whole browser path on an arbitrary image: the bytes become an image
// file, the image item opens it, the file browser loads the disc (TOC,
// CD-TEXT, ISO 9660 / Joliet and UDF trees), then every tree node is
// selected and so listed, and the volume and TOC views make their rows.
//
// Input: one flag byte, then the image (fuzzsupport::WriteImageInput).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "views/CDlgMain.h"
#include "views/CDlgTOCRows.h"
#include "views/CDlgVolRows.h"

namespace {

constexpr int kMaxNodesVisited = 400;

void Collect(ui::TreeCtrl& tree, ui::HTREEITEM parent, std::vector<ui::HTREEITEM>& out) {
  for (ui::HTREEITEM c = tree.GetChildItem(parent); c && out.size() < kMaxNodesVisited; c = tree.GetNextSiblingItem(c)) {
    out.push_back(c);
    Collect(tree, c, out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The UDF analyser's table copies go to the memory file system too.
  ::setenv("TMPDIR", fuzzsupport::WorkDir().c_str(), 1);
  fuzzsupport::Ui();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteImageInput(data, size);
  if (path.empty()) return 0;
  CDevCmdROM dev(0, nullptr);
  if (!dev.SetImageFile(path)) return 0;
  fuzzsupport::Ui().ClearRecords();
  std::vector<unsigned char> vd(2048, 0);
  CDlgMain view;
  view.SetVdBuffer(vd.data());
  view.LoadDisc(&dev);

  std::vector<ui::HTREEITEM> nodes;
  Collect(view.Tree(), ui::TVI_ROOT, nodes);
  for (ui::HTREEITEM n : nodes) {
    view.SelectNode(n);
    (void)view.GetTrackFsType(n);
    (void)view.IsJolietTrack(n);
    // Folder rows open their folder's node, as a double click does.
    for (int r = 0; r < view.List().GetItemCount() && r < 4; ++r) {
      view.List().SetSelected(r, true);
      view.OnListDoubleClick();
    }
  }
  (void)BuildVolRows(vd.data(), kVolDescriptorSize, view.GetFsType());
  std::vector<TocRow> rows;
  (void)BuildTocRows(&dev, rows);
  fuzzsupport::Ui().RunPosted();
  fuzzsupport::Ui().ClearRecords();
  return 0;
}
