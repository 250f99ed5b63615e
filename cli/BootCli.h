#pragma once
// The "[BOOT]" folder on the command line: `find` gives its rows among the
// root's entries, `extract` writes its images.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/FindUdf.h"
#include "copy/BootImages.h"

class CDlgMain;
namespace ui {
struct TreeItemTag;
}

namespace cli {

class Context;

// `find`'s rows of a volume's boot images: "/[BOOT]" and each image below
// it, placed among the root's entries in bytewise name order; or, for the
// "[BOOT]" node itself, its images alone.
class BootRows {
 public:
  // boot: the images of the track whose root is walked, or of the "[BOOT]"
  // node walked itself (itself set); null: none.
  BootRows(std::shared_ptr<const BootImages> boot, bool itself, FindVisitor visit)
      : m_pBoot(std::move(boot)), m_bItself(itself), m_Visit(std::move(visit)) {}
  // Before the row of path: the boot rows, once path is of the first root
  // entry that sorts after "[BOOT]".
  void Before(const std::string& path);
  // The rows not given yet, and the catalog's damage.
  void Finish(std::vector<std::string>& damage);

 private:
  void Give();
  std::shared_ptr<const BootImages> m_pBoot;
  bool m_bItself;
  FindVisitor m_Visit;
  bool m_bDone = false;
};

// extract of a "[BOOT]" node (rowName empty) or of one of its rows into dest.
int ExtractBoot(Context& ctx, CDlgMain& view, ui::TreeItemTag* node, std::shared_ptr<const BootImages> boot,
                const std::string& rowName, const std::filesystem::path& dest);

}  // namespace cli
