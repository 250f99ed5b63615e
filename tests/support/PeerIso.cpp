// Peer tools' images, listings and extractions of Rock Ridge volumes.
#include "tests/support/PeerIso.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace testsupport {
namespace {

namespace stdfs = std::filesystem;

void Put(const stdfs::path& p, std::size_t n, unsigned salt) {
  std::string b(n, '\0');
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<char>((i * 131 + salt) ^ (i >> 9));
  std::ofstream(p, std::ios::binary) << b;
}

void Time(const stdfs::path& p, std::int64_t t) {
  struct timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
  ::utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

// Every folder's time last, deepest first, as writing into one moves it.
void FixTimes(const stdfs::path& root) {
  std::vector<stdfs::path> folders{root};
  for (auto it = stdfs::recursive_directory_iterator(root); it != stdfs::recursive_directory_iterator(); ++it) {
    if (it->is_symlink()) Time(it->path(), kPeerLinkTime);
    else if (it->is_directory()) folders.push_back(it->path());
    else Time(it->path(), kPeerFileTime);
  }
  std::sort(folders.rbegin(), folders.rend());
  for (const auto& f : folders) Time(f, kPeerFolderTime);
}

fs::NodeType TypeOf(char c) {
  switch (c) {
    case 'd': return fs::NodeType::Folder;
    case 'l': return fs::NodeType::Link;
    case 'b': return fs::NodeType::BlockDevice;
    case 'c': return fs::NodeType::CharDevice;
    case 'p': return fs::NodeType::Fifo;
    case 's': return fs::NodeType::Socket;
    default: return fs::NodeType::File;
  }
}

// "rwsr-xr-T" and the like into permission bits.
std::uint32_t ModeOf(const std::string& s) {
  std::uint32_t m = 0;
  for (int i = 0; i < 9 && i + 1 < static_cast<int>(s.size()); ++i) {
    const char c = s[static_cast<std::size_t>(i) + 1];
    const std::uint32_t bit = 0400u >> i;
    if (c != '-' && c != 'S' && c != 'T') m |= bit;
    if (i == 2 && (c == 's' || c == 'S')) m |= 04000;
    if (i == 5 && (c == 's' || c == 'S')) m |= 02000;
    if (i == 8 && (c == 't' || c == 'T')) m |= 01000;
  }
  return m;
}

// One shell-quoted word as xorriso prints it ('it'"'"'s'), from pos on.
std::string Unquote(const std::string& s, std::size_t& pos) {
  std::string out;
  while (pos < s.size() && (s[pos] == '\'' || s[pos] == '"')) {
    const char q = s[pos];
    const std::size_t end = s.find(q, pos + 1);
    if (end == std::string::npos) break;
    out += s.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  }
  return out;
}

std::string Leaf(const std::string& path) {
  return path == "/" ? "" : path.substr(path.rfind('/') + 1);
}

bool ByPath(const PeerRow& a, const PeerRow& b) { return a.path < b.path; }

}  // namespace

void MakePeerSourceTree(const std::string& rootText) {
  const stdfs::path root = rootText;
  stdfs::create_directories(root);
  Put(root / "Mixed Case Name.txt", 100, 1);
  Put(root / "empty", 0, 0);
  Put(root / "big.bin", 3 * 2048 + 5, 2);
  Put(root / (std::string(150, 'L') + ".dat"), 3000, 3);
  Put(root / "\xC3\xA9t\xC3\xA9.txt", 7, 4);
  stdfs::path deep = root;
  for (int i = 1; i <= kPeerDepth; ++i) deep /= "level" + std::to_string(i);
  stdfs::create_directories(deep);
  Put(deep / "deep file", 2049, 5);
  Put(root / "tool", 50, 6);
  ::chmod((root / "tool").c_str(), 04755);
  Put(root / "private", 10, 7);
  ::chmod((root / "private").c_str(), 0640);
  stdfs::create_directory(root / "shut");
  Put(root / "shut" / "inside", 20, 8);
  ::chmod((root / "shut").c_str(), 0750);
  stdfs::create_hard_link(root / "big.bin", root / "shut" / "hard");
  stdfs::create_symlink("/etc", root / "abs-link");
  stdfs::create_symlink("level1/../Mixed Case Name.txt", root / "rel-link");
  stdfs::create_symlink("no/such/thing", root / "dangling");
  stdfs::create_directory_symlink("level1/level2", root / "dir-link");
  FixTimes(root);
}

ProgramRun MakeGenisoImage(const std::string& src, const std::string& iso, const ScratchDir& dir) {
  return RunProgram("genisoimage -quiet -R -J -joliet-long -o " + ShellQuote(iso) + " " + ShellQuote(src), dir);
}

ProgramRun MakeXorrisoImage(const std::string& src, const std::string& iso, const ScratchDir& dir) {
  return RunProgram("xorriso -report_about SORRY -outdev " + ShellQuote(iso) +
                        " -rockridge on -hardlinks on -map " + ShellQuote(src) + " / -map /dev/null /null",
                    dir);
}

ProgramRun MakeZisofsImage(const std::string& src, const std::string& iso, const std::string& options,
                           const ScratchDir& dir) {
  return RunProgram("xorriso -report_about SORRY -outdev " + ShellQuote(iso) + " -rockridge on -zisofs " +
                        ShellQuote(options) + " -map " + ShellQuote(src) + " / -set_filter_r --zisofs / --",
                    dir);
}

std::vector<PeerRow> ParseLsdl(const std::string& text) {
  std::vector<PeerRow> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string perms, links, uid, gid, size, month, day, yearOrTime;
    if (!(f >> perms >> links >> uid >> gid >> size >> month >> day >> yearOrTime) || perms.size() != 10) continue;
    std::size_t pos = line.find('\'', static_cast<std::size_t>(f.tellg()));
    if (pos == std::string::npos) continue;
    PeerRow r;
    r.path = Unquote(line, pos);
    r.info.name = Leaf(r.path);
    r.info.type = TypeOf(perms[0]);
    r.info.mode = ModeOf(perms);
    if (r.info.type == fs::NodeType::File) r.info.size = std::stoull(size);
    if (line.compare(pos, 4, " -> ") == 0) {
      pos += 4;
      r.info.linkTarget = Unquote(line, pos);
    }
    rows.push_back(std::move(r));
  }
  std::sort(rows.begin(), rows.end(), ByPath);
  return rows;
}

std::vector<PeerRow> XorrisoFind(const std::string& iso, const ScratchDir& dir) {
  return ParseLsdl(
      RunProgram("xorriso -report_about SORRY -indev " + ShellQuote(iso) + " -find / -exec lsdl 2>/dev/null", dir).out);
}

std::vector<PeerRow> ParseIsoinfo(const std::string& text) {
  std::vector<PeerRow> rows{PeerRow{"/", fs::NodeInfo{"", fs::NodeType::Folder}}};
  std::istringstream in(text);
  std::string line, folder = "/";
  const std::string header = "Directory listing of ";
  while (std::getline(in, line)) {
    if (line.compare(0, header.size(), header) == 0) {
      folder = line.substr(header.size());
      continue;
    }
    const std::size_t open = line.find('['), close = line.find("]  ");
    if (line.size() < 10 || open == std::string::npos || close == std::string::npos || close < open) continue;
    std::istringstream f(line.substr(0, open));
    std::string perms, links, uid, gid, size;
    if (!(f >> perms >> links >> uid >> gid >> size)) continue;
    std::string name = line.substr(close + 3);
    PeerRow r;
    r.info.type = TypeOf(perms[0]);
    if (r.info.type == fs::NodeType::Link) {
      const std::size_t arrow = name.find(" -> ");
      if (arrow != std::string::npos) {
        r.info.linkTarget = name.substr(arrow + 4);
        name.resize(arrow);
      }
    } else if (!name.empty() && name.back() == ' ') {
      name.pop_back();
    }
    if (name == "." && folder == "/") rows[0].info.mode = ModeOf(perms);
    if (name == "." || name == "..") continue;
    r.path = folder + name;
    r.info.name = name;
    r.info.mode = ModeOf(perms);
    if (r.info.type == fs::NodeType::File) r.info.size = std::stoull(size);
    std::istringstream lba(line.substr(open + 1));
    std::uint32_t at = 0;
    if (lba >> at) r.info.lba = at;
    rows.push_back(std::move(r));
  }
  std::sort(rows.begin(), rows.end(), ByPath);
  return rows;
}

std::vector<PeerRow> RelocatedInPlace(std::vector<PeerRow> rows) {
  const std::string moved = "/rr_moved";
  std::map<std::string, std::string> to;  // a relocated folder's name to its true path
  for (const PeerRow& r : rows) {
    if (r.info.type != fs::NodeType::Folder || r.path.compare(0, moved.size(), moved) == 0) continue;
    const bool empty = std::none_of(rows.begin(), rows.end(), [&](const PeerRow& c) {
      return c.path.size() > r.path.size() + 1 && c.path.compare(0, r.path.size() + 1, r.path + "/") == 0;
    });
    if (empty) to[r.info.name] = r.path;
  }
  std::vector<PeerRow> out;
  for (PeerRow& r : rows) {
    if (r.path == moved) continue;
    if (r.path.compare(0, moved.size() + 1, moved + "/") == 0) {
      const std::string rest = r.path.substr(moved.size() + 1);
      const std::string top = rest.substr(0, rest.find('/'));
      auto it = to.find(top);
      if (it == to.end()) continue;
      if (rest == top) continue;  // the placeholder row stands for it
      r.path = it->second + rest.substr(top.size());
    }
    out.push_back(std::move(r));
  }
  std::sort(out.begin(), out.end(), ByPath);
  return out;
}

std::vector<PeerRow> IsoinfoList(const std::string& iso, const ScratchDir& dir) {
  return ParseIsoinfo(RunProgram("isoinfo -R -l -i " + ShellQuote(iso), dir).out);
}

ProgramRun XorrisoExtract(const std::string& iso, const std::string& dest, const ScratchDir& dir) {
  return RunProgram("xorriso -report_about SORRY -osirrox on -indev " + ShellQuote(iso) + " -extract / " +
                        ShellQuote(dest),
                    dir);
}

std::vector<PeerRow> ReadTreeRows(const std::string& rootText) {
  const stdfs::path root = rootText;
  std::vector<stdfs::path> paths{root};
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::recursive_directory_iterator();
       it.increment(ec))
    paths.push_back(it->path());
  std::vector<PeerRow> rows;
  for (const auto& p : paths) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    PeerRow r;
    r.path = p == root ? "/" : "/" + p.lexically_relative(root).string();
    r.info.name = Leaf(r.path);
    r.info.type = S_ISDIR(st.st_mode)    ? fs::NodeType::Folder
                  : S_ISLNK(st.st_mode)  ? fs::NodeType::Link
                  : S_ISBLK(st.st_mode)  ? fs::NodeType::BlockDevice
                  : S_ISCHR(st.st_mode)  ? fs::NodeType::CharDevice
                  : S_ISFIFO(st.st_mode) ? fs::NodeType::Fifo
                  : S_ISSOCK(st.st_mode) ? fs::NodeType::Socket
                                         : fs::NodeType::File;
    r.info.mode = st.st_mode & 07777;
    r.info.mtime = st.st_mtime;
    if (r.info.type == fs::NodeType::File) r.info.size = static_cast<std::uint64_t>(st.st_size);
    if (r.info.type == fs::NodeType::Link) r.info.linkTarget = stdfs::read_symlink(p, ec).string();
    rows.push_back(std::move(r));
  }
  std::sort(rows.begin(), rows.end(), ByPath);
  return rows;
}

namespace {

bool SameBytes(const stdfs::path& a, const stdfs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> p(1 << 16), q(1 << 16);
  while (x && y) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
  }
  return !x && !y;
}

std::string Octal(std::uint32_t m) {
  std::ostringstream s;
  s << std::oct << m;
  return s.str();
}

}  // namespace

std::string CompareTrees(const std::string& want, const std::string& got) {
  std::map<std::string, PeerRow> g;
  for (auto& r : ReadTreeRows(got)) g.emplace(r.path, std::move(r));
  std::string diff;
  for (const PeerRow& w : ReadTreeRows(want)) {
    auto it = g.find(w.path);
    if (it == g.end()) {
      diff += w.path + ": missing\n";
      continue;
    }
    const fs::NodeInfo a = w.info;
    const fs::NodeInfo b = it->second.info;
    g.erase(it);
    if (a.type != b.type) {
      diff += w.path + ": " + fs::FindTypeText(b.type) + " instead of " + fs::FindTypeText(a.type) + "\n";
      continue;
    }
    if (a.linkTarget != b.linkTarget) diff += w.path + ": -> " + b.linkTarget + " instead of " + a.linkTarget + "\n";
    // A link's own time is xorriso's to leave; the job's folder is the user's.
    if (a.type == fs::NodeType::Link || w.path == "/") continue;
    if ((*a.mode & 0777) != (*b.mode & 0777))
      diff += w.path + ": mode " + Octal(*b.mode & 0777) + " instead of " + Octal(*a.mode & 0777) + "\n";
    if (*a.mtime != *b.mtime)
      diff += w.path + ": mtime " + std::to_string(*b.mtime) + " instead of " + std::to_string(*a.mtime) + "\n";
    if (a.type == fs::NodeType::File &&
        (a.size != b.size || !SameBytes(stdfs::path(want) / w.path.substr(1), stdfs::path(got) / w.path.substr(1))))
      diff += w.path + ": bytes differ\n";
  }
  for (const auto& [path, r] : g) diff += path + ": not expected\n";
  return diff;
}

}  // namespace testsupport
