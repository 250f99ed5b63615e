// info SOURCE: the medium, its sessions and tracks, CD-TEXT and catalogue, all
// from the MMC answers of the drive (or of the image served as one).
#include <cstring>
#include <map>
#include <string>

#include "cli/Cli.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"

namespace cli {
namespace {

constexpr int kMaxTracks = 255;  // more than any CD (99) or multi-track DVD holds

std::string Field(const unsigned char* p, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
}

std::string ModeName(const TRACK_INFO& ti, bool cd) {
  if (!(ti.data[5] & 0x04)) return "Audio";
  if (!cd) return "Data";
  switch (ti.data[6] & 0x0F) {
    case 1: return "Mode 1";
    case 2: return "Mode 2";
    default: return "Data";
  }
}

int RunInfo(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (!args.empty()) {
    ctx.err << "tessal-cli: info takes only a SOURCE\n";
    return kExitUsage;
  }
  Report report;
  const int profile = dev->GetMediumType();
  const bool cd = IsCdMedium(profile);
  DISC_INFO di{};
  if (dev->ReadDiscInfo(di) != 0) return ctx.Fail("READ DISC INFORMATION failed");
  const int status = di.data[2] & 3;
  const int sessions = di.data[4] | (di.data[9] << 8);
  const int firstTrack = di.data[3];
  const int lastTrack = di.data[6] | (di.data[11] << 8);
  report.Field("profile", Hex(static_cast<unsigned>(profile), 2));
  report.Field("medium", ProfileName(profile));
  report.Field("status", DiscStatusName(status));
  report.Field("sessions", sessions);
  if (cd) report.Field("disc_type", Hex(di.data[8], 2));

  // Lead-outs of the sessions from the full TOC (CD media only).
  std::map<int, std::int32_t> leadOuts;
  if (cd) {
    std::vector<unsigned char> toc(4096);
    if (dev->ReadToc(toc.data(), static_cast<int>(toc.size()), 2, 0) == 0) {
      std::size_t len = std::min<std::size_t>(GetBE16(toc.data()) + 2u, toc.size());
      for (std::size_t at = 4; at + 11 <= len; at += 11)
        if (toc[at + 3] == 0xA2)
          leadOuts[toc[at]] = TocData::_Data::MsfToLba(toc[at + 8], toc[at + 9], toc[at + 10]);
    }
  }

  Table& tracks = report.AddTable("tracks", {"session", "track", "mode", "start", "size", "filesystem", "nwa"});
  std::map<int, std::pair<int, int>> sessionTracks;
  std::map<int, std::int64_t> sessionEnds;
  if (status != 0 && firstTrack >= 1) {
    for (int n = firstTrack; n <= lastTrack && n < firstTrack + kMaxTracks; ++n) {
      TRACK_INFO ti{};
      if (dev->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, n) != 0) return ctx.Fail("READ TRACK INFORMATION failed for track " + std::to_string(n));
      int session = ti.data[3] | (ti.data[33] << 8);
      std::uint32_t start = GetBE32(ti.data + 8), size = GetBE32(ti.data + 24);
      bool data = ti.data[5] & 0x04;
      Value fs = data ? Value(FileSystemName(dev->JudgeFileSystem(start))) : Value();
      Value nwa;
      if (ti.data[7] & 0x01) nwa = Value(static_cast<std::uint64_t>(GetBE32(ti.data + 12)));
      tracks.AddRow({session, n, ModeName(ti, cd), static_cast<std::uint64_t>(start),
                     static_cast<std::uint64_t>(size), fs, nwa});
      auto& st = sessionTracks.try_emplace(session, n, n).first->second;
      st.second = n;
      sessionEnds[session] = std::int64_t(start) + size;
    }
  }
  Table& sess = report.AddTable("session_list", {"session", "first_track", "last_track", "leadout"});
  for (const auto& [s, ft] : sessionTracks) {
    auto lo = leadOuts.find(s);
    sess.AddRow({s, ft.first, ft.second,
                 static_cast<long long>(lo != leadOuts.end() ? lo->second : sessionEnds[s])});
  }

  std::string catalog;
  if (cd) dev->GetMediaCatalog(catalog);  // a drive without one leaves CD-TEXT's UPC/EAN to say
  static FS_CDTEXT_INFO text;  // 80 KiB: kept off the stack
  std::memset(&text, 0, sizeof text);
  if (cd && dev->GetCDText(text) == 0) {
    Table* t = nullptr;
    for (int n = 0; n <= 99; ++n) {
      const unsigned char* e = text.data + kCdTextEntryOffset + kCdTextEntrySize * n;
      std::string title = Field(e, 160), performer = Field(e + 160, 160), special = Field(e + 320, 160),
                  composer = Field(e + 480, 160), songwriter = Field(e + 640, 160), isrc = Field(e + 800, 17);
      if (title.empty() && performer.empty() && special.empty() && composer.empty() && songwriter.empty() &&
          isrc.empty())
        continue;
      if (n == 0 && catalog.empty()) catalog = isrc;  // the disc's UPC/EAN
      if (!t)
        t = &report.AddTable("cdtext",
                             {"track", "title", "performer", "songwriter", "composer", "special_title", "isrc"});
      t->AddRow({n, title, performer, songwriter, composer, special, isrc});
    }
  }
  if (!catalog.empty()) report.Field("catalog", catalog);
  ctx.Print(report);
  return kExitOk;
}

const CommandRegistration registration(
    {"info", "SOURCE", "medium, disc status, sessions, tracks, CD-TEXT and catalogue",
     "Prints the medium profile and disc status, then one line per track (session,\n"
     "number, mode, start, size, file system of data tracks, next writable address\n"
     "of an open track), the sessions with their lead-out, and CD-TEXT when present.\n",
     true, RunInfo});

}  // namespace
}  // namespace cli
