// GNU ddrescue mapfiles: which parts of a rescued image were read. Each line
// after the status line is "pos size status"; only '+' (finished) is data we
// can trust, everything else ('?', '*', '/', '-') is served as unreadable.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/orvane/Readers.h"

namespace orvane {
namespace {

constexpr std::uint64_t kMaxMapfileBytes = 16u << 20;  // a real mapfile of a disc is a few KiB

struct ByteRange {
  std::uint64_t begin, end;
};

bool ParseNumber(const std::string& token, std::uint64_t& value) {
  if (token.empty() || token[0] == '-' || token[0] == '+') return false;
  char* endp = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(token.c_str(), &endp, 0);
  if (errno != 0 || *endp != '\0') return false;
  value = v;
  return true;
}

// Reads the mapfile and returns the byte areas of the image that are not
// known good (including anything past the last area the map describes).
bool ParseMapfile(const std::string& mapPath, std::uint64_t imageSize, std::vector<ByteRange>& bad,
                  std::string& error) {
  std::string err;
  auto f = OpenImageFile(mapPath, err);
  if (!f) {
    error = err;
    return false;
  }
  if (f->Size() > kMaxMapfileBytes) {
    error = "mapfile " + mapPath + " is too large to be a ddrescue mapfile";
    return false;
  }
  std::string text(static_cast<std::size_t>(f->Size()), '\0');
  if (f->ReadAt(0, text.data(), text.size()) != text.size()) {
    error = "cannot read mapfile " + mapPath;
    return false;
  }
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  bool sawStatus = false;
  std::uint64_t covered = 0;  // the map's areas must follow one another from 0
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::vector<std::string> tok;
    for (std::string t; ls >> t && tok.size() < 4;) tok.push_back(t);
    if (tok.empty()) continue;
    auto fail = [&](const char* why) {
      error = "mapfile " + mapPath + " line " + std::to_string(lineNo) + ": " + why;
      return false;
    };
    if (!sawStatus) {  // "current_pos current_status [current_pass]"
      std::uint64_t pos;
      if (tok.size() < 2 || tok.size() > 3 || !ParseNumber(tok[0], pos) || tok[1].size() != 1 ||
          std::string("?*/-FG+").find(tok[1][0]) == std::string::npos)
        return fail("not a ddrescue status line");
      sawStatus = true;
      continue;
    }
    std::uint64_t pos, size;
    if (tok.size() != 3 || !ParseNumber(tok[0], pos) || !ParseNumber(tok[1], size) || tok[2].size() != 1 ||
        std::string("?*/-+").find(tok[2][0]) == std::string::npos)
      return fail("not a ddrescue block line");
    if (pos != covered) return fail("areas do not follow one another");
    if (size > UINT64_MAX - pos) return fail("area overflows");
    covered = pos + size;
    if (tok[2][0] != '+' && size && pos < imageSize) bad.push_back({pos, std::min(covered, imageSize)});
  }
  if (!sawStatus) {
    error = "mapfile " + mapPath + " holds no status line";
    return false;
  }
  if (covered < imageSize) bad.push_back({covered, imageSize});
  return true;
}

std::string FindMapfile(const std::string& imagePath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const fs::path& p : {fs::path(imagePath + ".map"), fs::path(imagePath).replace_extension(".map")})
    if (p != fs::path(imagePath) && fs::is_regular_file(p, ec)) return p.string();
  return {};
}

void MergeBadRanges(std::vector<BadRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(), [](const BadRange& a, const BadRange& b) { return a.first < b.first; });
  std::vector<BadRange> out;
  for (const BadRange& r : ranges) {
    if (!r.count) continue;
    if (!out.empty() && std::int64_t(out.back().first) + out.back().count >= r.first) {
      std::int64_t end = std::max<std::int64_t>(std::int64_t(out.back().first) + out.back().count,
                                                std::int64_t(r.first) + r.count);
      out.back().count = static_cast<std::uint32_t>(end - out.back().first);
    } else {
      out.push_back(r);
    }
  }
  ranges = std::move(out);
}

}  // namespace

bool ApplyRescueMaps(DiscLayout& layout, std::string& error) {
  std::map<const ImageFile*, std::shared_ptr<ImageFile>> files;
  for (const TrackLayout& t : layout.tracks)
    for (const Extent& e : t.extents)
      if (e.file) files.emplace(e.file.get(), e.file);
  bool changed = false;
  for (const auto& [key, file] : files) {
    std::string mapPath = FindMapfile(file->Path());
    if (mapPath.empty()) continue;
    std::vector<ByteRange> bad;
    if (!ParseMapfile(mapPath, file->Size(), bad, error)) return false;
    for (const ByteRange& b : bad) {
      for (const TrackLayout& t : layout.tracks) {
        for (const Extent& e : t.extents) {
          if (e.file != file || !e.count || !e.stride) continue;
          std::uint64_t from = e.offset, to = e.offset + std::uint64_t(e.count) * e.stride;
          std::uint64_t lo = std::max(from, b.begin), hi = std::min(to, b.end);
          if (lo >= hi) continue;
          // Outward: a sector with any unread byte is unreadable.
          std::uint64_t first = (lo - from) / e.stride, last = (hi - from + e.stride - 1) / e.stride;
          layout.badSectors.push_back(
              {static_cast<std::int32_t>(e.firstLba + first), static_cast<std::uint32_t>(last - first)});
          changed = true;
        }
      }
    }
  }
  if (changed) MergeBadRanges(layout.badSectors);
  return true;
}

}  // namespace orvane
