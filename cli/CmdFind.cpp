// find SOURCE [NODEPATH]: every folder and file below a node of the file
// browser's tree, depth first, siblings in bytewise name order, with the
// facts every file-system reader tells of an item.
#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/BootCli.h"
#include "cli/Cli.h"
#include "cli/FindUdf.h"
#include "cli/NodePath.h"
#include "copy/IsoNames.h"
#include "disc/DevCmdROM.h"
#include "fs/iso9660/Walk.h"
#include "platform/orvane/DeviceSource.h"
#include "views/CDlgMain.h"

namespace cli {
namespace {

namespace iso9660 = fs::iso9660;

const std::vector<std::string> kColumns = {"path", "type", "size", "mode", "mtime", "target", "lba"};

// 2005-03-05T15:25:51Z
std::string IsoTime(std::int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!::gmtime_r(&tt, &tm)) return {};
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

void AppendDigits(std::string& s, std::int64_t v, int width) {
  char d[4];
  for (int i = width - 1; i >= 0; --i, v /= 10) d[i] = static_cast<char>('0' + v % 10);
  s.append(d, static_cast<std::size_t>(width));
}

// The same text as IsoTime, worked out from the civil calendar without the
// C library's time-zone machinery, which a hundred thousand rows would each
// pay for; years it would print other than as four digits go through it.
void AppendIsoTime(std::string& s, std::int64_t t) {
  constexpr std::int64_t kDay = 86400;
  std::int64_t days = t / kDay, secs = t % kDay;
  if (secs < 0) {
    secs += kDay;
    --days;
  }
  // Days since 1970-01-01 to year, month and day (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1000 || year > 9999) {
    s += IsoTime(t);
    return;
  }
  AppendDigits(s, year, 4);
  s += '-';
  AppendDigits(s, month, 2);
  s += '-';
  AppendDigits(s, day, 2);
  s += 'T';
  AppendDigits(s, secs / 3600, 2);
  s += ':';
  AppendDigits(s, secs / 60 % 60, 2);
  s += ':';
  AppendDigits(s, secs % 60, 2);
  s += 'Z';
}

// A text field on one line: a tab or line break inside a name would shift the columns.
void AppendField(std::string& s, const std::string& text) {
  for (char ch : text) s += (ch == '\t' || ch == '\n' || ch == '\r') ? ' ' : ch;
}

std::vector<Value> RowOf(const std::string& path, const fs::NodeInfo& n) {
  std::vector<Value> row{Value(path), Value(fs::FindTypeText(n.type)), Value(), Value(), Value(), Value(), Value()};
  if (n.type == fs::NodeType::File) row[2] = Value(n.size);
  if (n.mode) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(*n.mode & 07777));
    row[3] = Value(buf);
  }
  if (n.mtime) row[4] = Value(IsoTime(*n.mtime));
  if (n.type == fs::NodeType::Link) row[5] = Value(n.linkTarget);
  if (n.lba) row[6] = Value(static_cast<unsigned>(*n.lba));
  return row;
}

// Rows go out as they are met, a large piece at a time: a volume of a
// hundred thousand files is never held as text.
class RowPrinter {
 public:
  explicit RowPrinter(Context& ctx) : m_ctx(ctx) {
    if (ctx.json) {
      ctx.out << "{\n  \"items\": [";
      return;
    }
    for (std::size_t c = 0; c < kColumns.size(); ++c) ctx.out << (c ? "\t" : "") << kColumns[c];
    ctx.out << '\n';
  }
  ~RowPrinter() { Flush(); }
  RowPrinter(const RowPrinter&) = delete;
  RowPrinter& operator=(const RowPrinter&) = delete;

  // Rows that belong before path's (the "[BOOT]" folder's among the root's).
  std::function<void(const std::string& path)> before;
  void Row(const std::string& path, const fs::NodeInfo& info) {
    if (before) before(path);
    if (m_ctx.json) {
      JsonRow(RowOf(path, info));
    } else {
      TextRow(path, info);
    }
    if (m_text.size() >= kFlushBytes) Flush();
  }
  void Finish(const std::vector<std::string>& damage) {
    Flush();
    if (!m_ctx.json) return;
    m_ctx.out << (m_rows ? "\n  ]" : "]") << ",\n  \"damage\": [";
    for (std::size_t i = 0; i < damage.size(); ++i) m_ctx.out << (i ? ", " : "") << JsonQuote(damage[i]);
    m_ctx.out << "]\n}\n";
  }

 private:
  static constexpr std::size_t kFlushBytes = 64 * 1024;

  void TextRow(const std::string& path, const fs::NodeInfo& n) {
    std::string& s = m_text;
    AppendField(s, path);
    s += '\t';
    s += fs::FindTypeText(n.type);
    s += '\t';
    if (n.type == fs::NodeType::File) s += std::to_string(n.size);
    s += '\t';
    if (n.mode) {
      const std::uint32_t m = *n.mode & 07777;
      for (int shift = 9; shift >= 0; shift -= 3) s += static_cast<char>('0' + ((m >> shift) & 7));
    }
    s += '\t';
    if (n.mtime) AppendIsoTime(s, *n.mtime);
    s += '\t';
    if (n.type == fs::NodeType::Link) AppendField(s, n.linkTarget);
    s += '\t';
    if (n.lba) s += std::to_string(*n.lba);
    s += '\n';
  }
  void JsonRow(const std::vector<Value>& row) {
    m_text += m_rows++ ? ",\n    {" : "\n    {";
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const Value& v = row[c];
      m_text += (c ? ", " : "") + JsonQuote(kColumns[c]) + ": " + (v.null ? "null" : v.number ? v.text : JsonQuote(v.text));
    }
    m_text += "}";
  }
  void Flush() {
    m_ctx.out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
    m_text.clear();
  }

  Context& m_ctx;
  std::size_t m_rows = 0;
  std::string m_text;  // rows not yet written
};

// The folder the browser's tree names by folders below the volume's root
// at lba: at each level the first folder of that name, in record order, as
// the tree lists them. Null when there is none.
std::optional<std::uint32_t> FolderBelow(iso9660::DirectoryReader& reader, std::uint32_t lba,
                                         const std::vector<std::string>& folders) {
  std::uint32_t size = 0;
  for (std::size_t depth = 0; depth < folders.size(); ++depth) {
    iso9660::Listing listing = reader.Read(lba, size);
    if (depth == 0) iso9660::HideRelocationFolder(reader, listing);
    const auto it = std::find_if(listing.entries.begin(), listing.entries.end(), [&](const iso9660::Entry& e) {
      return e.Directory() && !e.hidden && e.info.name == folders[depth];
    });
    if (it == listing.entries.end() || depth + 1 >= static_cast<std::size_t>(iso9660::kMostDepth)) return std::nullopt;
    lba = it->extent;
    size = it->relocated ? 0 : it->length;
  }
  return lba;
}

// An ISO 9660 volume, in the names the browser shows for it: the folder
// named by folders below the track node's volume, read with user data first.
bool FindIso(CDlgMain& view, CDevCmdROM* dev, ui::HTREEITEM node, const std::vector<std::string>& folders,
             RowPrinter* out, std::vector<std::string>& damage) {
  orvane::DeviceSectorSource source(*dev);
  const auto names = view.TrackNames(node);
  iso9660::DirectoryReader reader(source, iso9660::CopyPolicy(view.GetDataMode()),
                                  names ? names->names : iso9660::Names{});
  const auto lba = FolderBelow(reader, static_cast<std::uint32_t>(view.Tree().GetItemData(node)), folders);
  if (!lba) return false;
  if (!out) return true;
  const iso9660::WalkResult r =
      iso9660::WalkTree(reader, *lba, 0, [&](const std::string& path, const iso9660::Entry& e) { out->Row(path, e.info); });
  for (const iso9660::FaultAt& f : r.faults) damage.push_back(iso9660::Describe(f));
  return true;
}

int RunFind(Context& ctx, CDevCmdROM* dev, const std::vector<std::string>& args) {
  if (args.size() > 1) {
    ctx.err << "tessal-cli: find takes a SOURCE and at most one NODEPATH\n";
    return kExitUsage;
  }
  if (dev->TestUnitReady() != 0) return ctx.Fail("Device not Ready,Please try again!");
  // The tree of sessions and tracks only: an ISO 9660 volume's folders are
  // found and walked here, each directory read once.
  CDlgMain view;
  view.SetTracksOnly(true);
  view.LoadDisc(dev);
  const std::string path = args.empty() ? "/" : args[0];
  std::string error;
  std::vector<std::string> folders;
  ui::HTREEITEM node = ResolveNodePath(view.Tree(), path, error, &folders);
  if (!node) return ctx.Fail(error);
  const int fsType = view.GetTrackFsType(node);
  const auto bootNode = view.Boot().OfNode(node);  // its sector is the catalog's, no folder's
  std::vector<std::string> damage;
  const bool found = folders.empty() || (!bootNode && fsType == 1 && view.Tree().GetItemData(node) != 0 &&
                                         FindIso(view, dev, node, folders, nullptr, damage));
  if (!found) return ctx.Fail("no node \"" + path + "\" in the tree");
  if (!bootNode && (view.Tree().GetItemData(node) == 0 || fsType == 0))
    return ctx.Fail("\"" + path + "\" is no folder of a file system");

  RowPrinter out(ctx);
  // A track's root lists its boot images too, under "/[BOOT]".
  const bool root = folders.empty() && view.FindTrackNode(node) == node;
  BootRows boot(bootNode ? bootNode : root ? view.Boot().OfTrack(node) : nullptr, bootNode != nullptr,
                [&](const std::string& p, const fs::NodeInfo& n) { out.Row(p, n); });
  out.before = [&](const std::string& p) { boot.Before(p); };
  if (bootNode) {
    // its rows come with Finish
  } else if (fsType == 1) {
    FindIso(view, dev, node, folders, &out, damage);
  } else {
    FindUdf(view, dev, node, [&](const std::string& p, const fs::NodeInfo& n) { out.Row(p, n); }, damage);
  }
  boot.Finish(damage);
  out.Finish(damage);
  if (damage.empty()) return kExitOk;
  for (const std::string& d : damage) ctx.err << "tessal-cli: damage: " << d << '\n';
  return kExitFailed;
}

const CommandRegistration registration(
    {"find", "SOURCE [NODEPATH]", "every folder and file below a node, with type, size, mode, time and link target",
     "NODEPATH is named as for ls; without it the root of the first data track\n"
     "with a file system (\"/\"). A track's El Torito boot images are listed as\n"
     "files of a folder \"/[BOOT]\" among the root's entries.\n"
     "Prints the heading `path type size mode mtime\n"
     "target lba`, then one tab-separated line per item, depth first, the items\n"
     "of a folder in bytewise order of their names:\n"
     "  path    \"/\"-rooted below NODEPATH, in the names the browser shows\n"
     "  type    dir, file, symlink, block, char, fifo or socket\n"
     "  size    a file's size in bytes\n"
     "  mode    octal permission bits, where the file system records them\n"
     "  mtime   modification time, ISO 8601 in UTC (2005-03-05T15:25:51Z)\n"
     "  target  a symbolic link's target as recorded\n"
     "  lba     the first sector of a file's data\n"
     "A tab or line break inside a name is printed as a space. Damage met in the\n"
     "folders (unreadable sectors, broken records, loops) is listed on stderr\n"
     "(with --json in \"damage\") and makes the exit status 1.\n",
     true, RunFind});

}  // namespace
}  // namespace cli
