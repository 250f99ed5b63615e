// The table of what owns the unreadable sectors, shared by scan --files and image.
#include "cli/Cli.h"
#include "copy/SectorOwners.h"

namespace cli {

void AddOwnerTable(Report& report, const std::vector<imaging::OwnerRow>& rows) {
  Table& table = report.AddTable("owners", {"Owner", "FirstSector", "Sectors"});
  for (const imaging::OwnerRow& r : rows)
    table.AddRow({Value(r.owner), Value(static_cast<std::uint64_t>(r.first)), Value(r.count)});
}

}  // namespace cli
