// info SOURCE: the medium, its sessions and tracks, CD-TEXT and catalogue, all
// from the MMC answers of the drive (or of the image served as one).
#include <cstring>
#include <map>
#include <string>

#include "cli/Cli.h"
#include "disc/ByteOrder.h"
#include "disc/DevCmdROM.h"
#include "disc/MmcRecords.h"

namespace cli {
namespace {

constexpr int kMaxTracks = 255;  // more than any CD (99) or multi-track DVD holds

std::string Field(const unsigned char* p, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
}

std::string ModeName(const mmc::TrackInfoFields& ti, bool cd) {
  if (!ti.IsDataTrack()) return "Audio";
  if (!cd) return "Data";
  switch (ti.DataMode()) {
    case 1: return "Mode 1";
    case 2: return "Mode 2";
    default: return "Data";
  }
}

// The media catalogue number from READ SUB-CHANNEL (Q data, format 02h).
std::string ReadCatalog(CDevCmdROM& dev) {
  unsigned char buf[24] = {};
  ScsiCommand cmd;
  cmd.cdb[0] = 0x42;
  cmd.cdb[2] = 0x40;  // SubQ
  cmd.cdb[3] = 0x02;  // media catalogue number
  PutBE16(cmd.cdb + 7, sizeof buf);
  cmd.cdbLength = 10;
  cmd.direction = DataDirection::FromDevice;
  cmd.data = buf;
  cmd.dataLength = sizeof buf;
  if (dev.Send(cmd) != 0 || buf[4] != 0x02 || !(buf[8] & 0x80)) return {};
  std::string mcn = Field(buf + 9, 13);
  for (char c : mcn)
    if (c < '0' || c > '9') return {};
  return mcn.size() == 13 ? mcn : std::string{};
}

// One row per entry of the disc's CD-TEXT that holds anything; the disc's
// ISRC field is its UPC/EAN, the catalogue when READ SUB-CHANNEL gave none.
void AddCdTextRows(Report& report, const FS_CDTEXT_INFO& text, std::string& catalog) {
  Table* t = nullptr;
  using mmc::CdTextItem;
  for (int n = 0; n < mmc::kCdTextEntries; ++n) {
    auto field = [&](CdTextItem item) { return mmc::CdTextField(text, n, item); };
    std::string title = field(CdTextItem::Title), performer = field(CdTextItem::Performer),
                special = field(CdTextItem::SpecialTitle), composer = field(CdTextItem::Composer),
                songwriter = field(CdTextItem::Songster), isrc = field(CdTextItem::Isrc);
    if (title.empty() && performer.empty() && special.empty() && composer.empty() && songwriter.empty() &&
        isrc.empty())
      continue;
    if (n == 0 && catalog.empty()) catalog = isrc;
    if (!t)
      t = &report.AddTable("cdtext", {"track", "title", "performer", "songwriter", "composer", "special_title", "isrc"});
    t->AddRow({n, title, performer, songwriter, composer, special, isrc});
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
  const mmc::DiscInfoFields info(di);
  const int status = static_cast<int>(info.Status());
  const int sessions = info.Sessions();
  const int firstTrack = info.FirstTrack();
  const int lastTrack = info.LastTrackInLastSession();
  report.Field("profile", Hex(static_cast<unsigned>(profile), 2));
  report.Field("medium", ProfileName(profile));
  report.Field("status", DiscStatusName(status));
  report.Field("sessions", sessions);
  if (cd) report.Field("disc_type", Hex(static_cast<unsigned>(info.DiscType()), 2));

  // Lead-outs of the sessions from the full TOC (CD media only).
  std::map<int, std::int32_t> leadOuts;
  if (cd) {
    std::vector<unsigned char> toc(4096);
    if (dev->ReadToc(toc.data(), static_cast<int>(toc.size()), 2, 0) == 0) {
      const SessionInfo fullToc(toc.data() + mmc::kTocHeaderSize,
                             static_cast<int>(mmc::TocDescriptorBytes(toc.data(), toc.size())));
      for (int i = 0; i < fullToc.GetSessionNum(); ++i)
        if (const std::optional<std::int32_t> lead = fullToc[i].FindLeadOutStartPos()) leadOuts[fullToc[i].GetSessNo()] = *lead;
    }
  }

  Table& tracks = report.AddTable("tracks", {"session", "track", "mode", "start", "size", "filesystem", "nwa"});
  std::map<int, std::pair<int, int>> sessionTracks;
  std::map<int, std::int64_t> sessionEnds;
  if (status != 0 && firstTrack >= 1) {
    for (int n = firstTrack; n <= lastTrack && n < firstTrack + kMaxTracks; ++n) {
      TRACK_INFO ti{};
      if (dev->ReadTrackInfo(ti, READ_TRACK_INFO_TRACK, n) != 0) return ctx.Fail("READ TRACK INFORMATION failed for track " + std::to_string(n));
      const mmc::TrackInfoFields track(ti);
      const int session = track.SessionNumber();
      const std::uint32_t start = track.Start(), size = track.Size();
      Value fs = track.IsDataTrack() ? Value(FileSystemName(dev->JudgeFileSystem(start))) : Value();
      Value nwa;
      if (track.NwaValid()) nwa = Value(static_cast<std::uint64_t>(track.Nwa()));
      tracks.AddRow({session, n, ModeName(track, cd), static_cast<std::uint64_t>(start),
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

  std::string catalog = cd ? ReadCatalog(*dev) : std::string{};
  static FS_CDTEXT_INFO text;  // 80 KiB: kept off the stack
  std::memset(&text, 0, sizeof text);
  if (cd && dev->GetCDText(text) == 0) AddCdTextRows(report, text, catalog);
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
