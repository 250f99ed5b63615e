// save-track SOURCE TRACK FILE: one track's whole range saved as the TOC view
// saves it.
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "cli/Cli.h"
#include "copy/GetCDData.h"
#include "disc/DevCmdROM.h"
#include "views/CDlgTOCRows.h"

namespace cli {

int FinishCliCopy(Context& ctx, CGetCDData& engine);  // CmdExtract.cpp

namespace {

int RunSaveTrack(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    ctx.err << "tessal-cli: save-track takes a SOURCE, a TRACK number and a FILE\n";
    return kExitUsage;
  }
  char* end = nullptr;
  const long track = std::strtol(args[0].c_str(), &end, 10);
  if (end == args[0].c_str() || *end || track < 1 || track > 99) {
    ctx.err << "tessal-cli: TRACK is a number from 1 to 99\n";
    return kExitUsage;
  }
  std::vector<TocRow> rows;
  if (BuildTocRows(dev, rows) == TocListResult::NotReady) return ctx.Fail("Device not Ready,Please try again!");
  const TocRow* row = nullptr;
  for (const TocRow& r : rows)
    if (r.trackNo == track && !row) row = &r;
  if (!row) return ctx.Fail("no track " + args[0] + " on this source");
  if (!row->hasRange) return ctx.Fail("where track " + args[0] + " ends is not known");
  const std::filesystem::path file = args[1];
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (row->data && ext == ".ISO" && track > 1)
    ctx.err << "tessal-cli: This is not the first track, the ISO file may be incorrect\n";
  CGetCDData engine;
  engine.SetDevice(dev);
  if (!engine.StartTrackCopy(row->data ? 1 : 0, row->copyStart, row->copyEnd, file.string()))
    return ctx.Fail("track " + args[0] + " cannot be copied");
  return FinishCliCopy(ctx, engine);
}

const CommandRegistration registration(
    {"save-track", "SOURCE TRACK FILE", "save a track's sectors to FILE",
     "The whole track, its last sector included. A data track to a file named\n"
     "*.iso is saved as 2048-byte user data, an audio track to *.wav with a WAV\n"
     "header, anything else as raw 2352-byte sectors (user data where the medium\n"
     "gives no raw sectors). An existing FILE is replaced. The summary is that of\n"
     "extract; unreadable sectors are written as zeros and make the exit status 1.\n",
     true, RunSaveTrack});

}  // namespace
}  // namespace cli
