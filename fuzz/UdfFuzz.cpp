// The UDF analyser on an arbitrary volume: recognition (anchors and the
// block size they tell, descriptor sequence, partition maps, revision,
// sparing tables, the VAT behind a next writable address, the metadata file
// and its mirror), then the browser's folder tree and the list of every
// folder in it, and a walk of every directory through the copy engine's and
// `find`'s entry points (entries, extents, sizes, times, kinds, link
// targets, the volume's summary) with visited blocks kept.
//
// Input: a flag byte (bit 0: the track has a next writable address), the
// next writable address (32-bit LE), the volume start (32-bit LE), a count
// of unreadable sectors and as many 16-bit LE sector numbers, then the
// volume's sectors in the sparse form.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/SparseImage.h"
#include "platform/ui/ListCtrl.h"
#include "platform/ui/TreeCtrl.h"
#include "tests/support/UdfTestTransport.h"
#include "udf/Analy_UDF.h"
#include "udf/UdfNodes.h"

namespace {

constexpr std::size_t kMaxEntriesWalked = 2000;
constexpr int kMaxDepth = 32;

std::uint32_t Le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }

void Walk(CAnaly_UDF& udf, std::uint32_t feSector, int depth, std::set<std::uint32_t>& seen, std::size_t& walked) {
  if (depth > kMaxDepth || !seen.insert(feSector).second) return;
  std::vector<std::pair<UdfDirEntry, fs::NodeInfo>> nodes;
  const udf::DirResult listed = ListUdfNodes(udf, feSector, nodes);
  (void)listed.Text();
  for (const auto& [e, info] : nodes) {
    if (++walked > kMaxEntriesWalked) return;
    UdfFileData fd;
    (void)udf::ExtentStatusText(udf.ReadFileExtents(e.feSector, fd));
    std::uint64_t size = 0;
    udf.GetFileSize(e.feSector, size);
    std::string time, text;
    udf.GetFileInfo(e.feSector, time, text);
    std::uint32_t pos = 0, len = 0;
    udf.GetFileExtent(e.feSector, pos, len);
    if (e.isDirectory) Walk(udf, e.feSector, depth + 1, seen, walked);
  }
}

void Collect(ui::TreeCtrl& tree, ui::HTREEITEM parent, std::vector<ui::HTREEITEM>& out) {
  for (ui::HTREEITEM c = tree.GetChildItem(parent); c && out.size() < 400; c = tree.GetNextSiblingItem(c)) {
    out.push_back(c);
    Collect(tree, c, out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("TMPDIR", fuzzsupport::WorkDir().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  const std::uint8_t flags = data[0];
  const std::uint32_t nwa = Le32(data + 1);
  const std::uint32_t start = Le32(data + 5) % fuzzsupport::kMaxSparseSectors;
  std::size_t at = 9;
  std::set<std::uint32_t> unreadable;
  const unsigned bad = data[at++];
  for (unsigned i = 0; i < bad && at + 2 <= size; ++i, at += 2) unreadable.insert(data[at] | (data[at + 1] << 8));
  const fuzzsupport::SparseSectors image(std::string_view(reinterpret_cast<const char*>(data + at), size - at), 2048);

  std::optional<std::uint32_t> next;
  if (flags & 1) next = nwa;
  const std::uint32_t sectors = image.Sectors();
  auto drive = std::make_unique<testsupport::UdfTestTransport>(std::vector<std::uint8_t>{}, unreadable, next, sectors);
  drive->sectorCount = sectors;
  drive->readSector = [&image](std::uint32_t lba, std::uint8_t* out) { image.Read(lba, 1, out); };
  CDevCmdROM dev(1, std::move(drive));

  std::vector<unsigned char> pvd(2048, 0);
  CAnaly_UDF udf;
  if (!udf.Analyse(&dev, pvd.data(), start)) return 0;
  (void)udf.SessionEnd();
  if (udf.Summary().blockSize != udf.BlockSize()) __builtin_trap();

  ui::TreeCtrl tree;
  ui::ListCtrl list;
  ui::HTREEITEM track = tree.InsertItem("DATA TRACK 1(UDF)");
  udf.FillFolderTree(&tree, track);
  std::vector<ui::HTREEITEM> nodes{track};
  Collect(tree, track, nodes);
  for (ui::HTREEITEM n : nodes) udf.FillFileList(&list, static_cast<std::uint32_t>(tree.GetItemData(n)));

  std::set<std::uint32_t> seen;
  std::size_t walked = 0;
  Walk(udf, udf.m_nPartStart + udf.m_nRootIcb, 0, seen, walked);
  return 0;
}
