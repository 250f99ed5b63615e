// Extraction of an arbitrary volume: the image is loaded by the file browser
// as in the browser target, then the copy engine saves every data track's
// root folder, one sub-folder and the root's first file into a fresh folder.
// Afterwards nothing may exist outside that folder but what was there
// before, every name in it must be one plain component (no "/", "\\", NUL,
// "." or ".."), and the files may not take more space than a bound far
// above what such an image holds. Links are made where the volume records
// them; a write through one ("a -> ../..", then "a/x") would show as a new
// item outside the target.
//
// Input: as the browser target (a flag byte, then the image).
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "fuzz/FuzzSupport.h"
#include "views/CDlgMain.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> Listing(const fs::path& root) {
  std::set<std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end; !ec && it != end;
       it.increment(ec))
    out.insert(it->path().string());
  return out;
}

// The LBA of the track a tree node belongs to, from the model the view built.
bool TrackStart(CDlgMain& view, ui::HTREEITEM trackNode, std::uint32_t& start) {
  const std::string text = view.Tree().GetItemText(trackNode);
  const std::string session = view.Tree().GetItemText(view.Tree().GetParentItem(trackNode));
  const int t = std::atoi(text.c_str() + std::min<std::size_t>(text.size(), 11));
  const int s = std::atoi(session.c_str() + std::min<std::size_t>(session.size(), 8));
  if (s < 1 || s > view.Sessions().GetSessionNum()) return false;
  const TocData::_Data* d = view.Sessions()[s - 1].GetTrackData(t);
  if (!d) return false;
  const std::int32_t lba = d->GetStartPos();
  if (lba < 0) return false;
  start = static_cast<std::uint32_t>(lba);
  return true;
}

void Copy(CGetCDData& copy, bool started) {
  if (!started) return;
  copy.Wait();
  (void)copy.GetResult();
}

}  // namespace

// The UDF analysers' table copies live here, apart from what is judged.
const std::string& TempDir() {
  static const std::string dir = fuzzsupport::WorkDir() + "/tmp";
  return dir;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fs::create_directories(TempDir());
  ::setenv("TMPDIR", TempDir().c_str(), 1);
  fuzzsupport::Ui();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteImageInput(data, size);
  if (path.empty()) return 0;
  const fs::path work = fuzzsupport::WorkDir();
  CDevCmdROM dev(0, nullptr);
  if (!dev.SetImageFile(path)) return 0;
  fuzzsupport::Ui().ClearRecords();
  CDlgMain view;
  view.LoadDisc(&dev);

  const fs::path target = work / "out";
  std::error_code ec;
  fs::remove_all(target, ec);
  fs::create_directory(target);
  std::set<std::string> before = Listing(work);

  CGetCDData copy;
  copy.SetDevice(&dev);
  int jobs = 0;
  for (ui::HTREEITEM s = view.Tree().GetChildItem(ui::TVI_ROOT); s; s = view.Tree().GetNextSiblingItem(s)) {
    for (ui::HTREEITEM t = view.Tree().GetChildItem(s); t; t = view.Tree().GetNextSiblingItem(t)) {
      const int fsCode = view.GetTrackFsType(t);
      const std::uint64_t root = view.Tree().GetItemData(t);
      std::uint32_t start = 0;
      if (fsCode <= 0 || root == 0 || !TrackStart(view, t, start)) continue;
      const bool joliet = view.IsJolietTrack(t);
      const std::string n = std::to_string(jobs++);
      Copy(copy, copy.StartFolderCopy(view.GetDataMode(), static_cast<std::int64_t>(root), (target / ("t" + n)).string(),
                                      fsCode, joliet, start));
      if (ui::HTREEITEM sub = view.Tree().GetChildItem(t))
        Copy(copy, copy.StartFolderCopy(view.GetDataMode(), static_cast<std::int64_t>(view.Tree().GetItemData(sub)),
                                        (target / ("s" + n)).string(), fsCode, joliet, start));
      view.SelectNode(t);
      for (int r = 0; r < view.List().GetItemCount(); ++r) {
        if (view.List().GetItemText(r, 2) != "File") continue;
        const std::uint64_t bytes = std::strtoull(view.List().GetItemText(r, 3).c_str(), nullptr, 10);
        const long long address = std::strtoll(view.List().GetItemText(r, 4).c_str(), nullptr, 10);
        Copy(copy, copy.StartFileCopy(view.GetDataMode(), address, bytes,
                                      (target / CGetCDData::SafeName(view.List().GetItemText(r, 0))).string(), fsCode,
                                      joliet, start));
        break;
      }
    }
  }

  // Nothing new outside the target; inside it only plain names, and no more
  // disc space taken than an image of at most 8 MiB can fill
  // many times over. (A recorded size past the medium's end is a hole: the
  // file has its recorded size, its missing part takes no space.)
  std::uint64_t allocated = 0;
  for (const std::string& p : Listing(work)) {
    if (before.count(p) || p.rfind(TempDir() + "/", 0) == 0) continue;
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) allocated += std::uint64_t(st.st_blocks) * 512;
    if (allocated > (std::uint64_t{256} << 20)) std::abort();
    const fs::path rel = fs::path(p).lexically_relative(target);
    if (rel.empty() || *rel.begin() == "..") std::abort();
    for (const fs::path& part : rel) {
      const std::string c = part.string();
      if (c.empty() || c == "." || c == ".." || c.find('\\') != std::string::npos) std::abort();
    }
  }
  fs::remove_all(target, ec);
  fuzzsupport::Ui().ClearRecords();
  return 0;
}
