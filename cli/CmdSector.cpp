// sector SOURCE LBA [--raw] [-o FILE]: the sector viewer's dump.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/Cli.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgSectorDump.h"

namespace cli {
namespace {

int RunSector(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  bool raw = false;
  std::string out, lbaText;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--raw") {
      raw = true;
    } else if (args[i] == "-o") {
      if (i + 1 >= args.size()) {
        ctx.err << "tessal-cli: -o needs a FILE\n";
        return kExitUsage;
      }
      out = args[++i];
    } else if (lbaText.empty()) {
      lbaText = args[i];
    } else {
      ctx.err << "tessal-cli: sector takes one LBA\n";
      return kExitUsage;
    }
  }
  if (lbaText.empty() || lbaText.find_first_not_of("0123456789") != std::string::npos) {
    ctx.err << "tessal-cli: sector needs an LBA, a sector number from 0\n";
    return kExitUsage;
  }
  const long long lba = LeadingDecimal(lbaText);
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");

  unsigned char buffer[kRawSectorSize];
  const SectorReadResult r = ReadSectorForDump(*dev, static_cast<std::uint32_t>(lba), raw, buffer);
  if (!out.empty()) {
    // As the panel saves it: the whole 2352-byte buffer, whatever was read.
    std::error_code ec;
    std::filesystem::remove(out, ec);
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) return ctx.Fail("cannot create " + out);
    const bool written = std::fwrite(buffer, 1, sizeof buffer, f) == sizeof buffer;
    if (std::fclose(f) != 0 || !written) return ctx.Fail("cannot write " + out);
  }
  if (!r.ok) return ctx.Fail("sector " + lbaText + " cannot be read");
  const auto lines = SectorDumpLines(buffer, static_cast<std::size_t>(r.dumpSize));
  if (ctx.json) {
    Report report;
    report.Field("sector", Value(lba));
    report.Field("bytes", r.dumpSize);
    Value rawValue(r.dumpSize == kRawSectorSize ? "true" : "false");
    rawValue.number = true;  // a JSON literal, unquoted
    report.Field("raw", rawValue);
    Table& table = report.AddTable("lines", {"line"});
    for (const std::string& l : lines) table.AddRow({Value(l)});
    ctx.Print(report);
  } else {
    for (const std::string& l : lines) ctx.out << l << '\n';
  }
  return kExitOk;
}

const CommandRegistration registration(
    {"sector", "SOURCE LBA [--raw] [-o FILE]", "one sector as the sector viewer's hex dump",
     "Prints the dump lines exactly as the sector viewer lists them: the column\n"
     "header, a rule and one line per 16 bytes. CD sectors are read as 2048 bytes\n"
     "of user data, or raw (2352 bytes) with --raw; other media always as 2048.\n"
     "-o FILE saves the 2352-byte sector buffer as the viewer's Save Data does.\n",
     true, RunSector, "--raw -o"});

}  // namespace
}  // namespace cli
