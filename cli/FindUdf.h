#pragma once
// `find` over a UDF volume, through the UDF analyser the browser uses.
#include <functional>
#include <string>
#include <vector>

#include "fs/Node.h"

class CDlgMain;
class CDevCmdROM;
namespace ui {
struct TreeItemTag;
}

namespace cli {

using FindVisitor = std::function<void(const std::string& path, const fs::NodeInfo& info)>;

// Every entry below the UDF folder of node, depth first, siblings in bytewise
// name order; damage met is added to damage as "path: what".
void FindUdf(CDlgMain& view, CDevCmdROM* dev, ui::TreeItemTag* node, const FindVisitor& visit,
             std::vector<std::string>& damage);

}  // namespace cli
