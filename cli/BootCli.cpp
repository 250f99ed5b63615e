// The "[BOOT]" folder on the command line.
#include "cli/BootCli.h"

#include <algorithm>

#include "cli/Cli.h"
#include "copy/GetCDData.h"
#include "views/CDlgMain.h"

namespace cli {

int FinishCliCopy(Context& ctx, CGetCDData& engine);  // CmdExtract.cpp

void BootRows::Before(const std::string& path) {
  if (m_bItself) return;
  const std::size_t end = path.find('/', 1);
  if (path.compare(1, end == std::string::npos ? std::string::npos : end - 1, kBootFolder) < 0) return;
  Give();
}

void BootRows::Give() {
  if (m_bDone || !m_pBoot || !m_pBoot->catalog) return;
  m_bDone = true;  // the rows given pass Before again
  const std::string folder = m_bItself ? "" : "/" + std::string(kBootFolder);
  if (!m_bItself) {
    fs::NodeInfo info;
    info.name = kBootFolder;
    info.type = fs::NodeType::Folder;
    info.lba = m_pBoot->catalogSector;
    m_Visit(folder, info);
  }
  for (const BootImage& image : m_pBoot->images) {
    fs::NodeInfo info;
    info.name = image.name;
    info.size = image.size;
    info.lba = image.lba;
    m_Visit(folder + "/" + image.name, info);
  }
}

void BootRows::Finish(std::vector<std::string>& damage) {
  Give();
  if (!m_pBoot) return;
  for (const std::string& d : m_pBoot->damage)
    damage.push_back((m_bItself ? "/" : "/" + std::string(kBootFolder)) + ": " + d);
}

int ExtractBoot(Context& ctx, CDlgMain& view, ui::HTREEITEM node, std::shared_ptr<const BootImages> boot,
                const std::string& rowName, const std::filesystem::path& dest) {
  const std::string name = rowName.empty() ? view.Tree().GetItemText(node) : rowName;
  const std::filesystem::path target = dest / CGetCDData::SafeName(name);
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
    return ctx.Fail(target.string() + ": exists already");
  CGetCDData engine;
  engine.SetDevice(view.Device());
  bool started = false;
  if (rowName.empty()) {
    started = engine.StartBootFolderCopy(view.GetDataMode(), std::move(boot), target.string());
  } else {
    const auto image = std::find_if(boot->images.begin(), boot->images.end(),
                                    [&](const BootImage& i) { return i.name == rowName; });
    if (image == boot->images.end()) return ctx.Fail("no boot image \"" + rowName + "\" in " + kBootFolder);
    started = engine.StartBootFileCopy(view.GetDataMode(), *image, target.string());
  }
  if (!started) return ctx.Fail(target.string() + ": the copy could not be started");
  return FinishCliCopy(ctx, engine);
}

}  // namespace cli
