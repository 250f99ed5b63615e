#include "copy/RescueMap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace imaging {

namespace {

constexpr const char* kStates = "?*/-+";
constexpr const char* kPassStates = "?*/-FG+";
constexpr const char* kOwnNote = "tessal ";

bool ParseSize(const std::string& token, std::uint64_t& value) {
  if (token.empty() || token[0] == '-' || token[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(token.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  value = v;
  return true;
}

std::string Hex(std::uint64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%0*" PRIX64, width, v);
  return buf;
}

}  // namespace

RescueMap::RescueMap(std::uint64_t sectors, std::uint32_t sectorBytes)
    : m_sectorBytes(sectorBytes), m_state(sectors, static_cast<char>(SectorState::NonTried)) {}

void RescueMap::Set(std::uint64_t first, std::uint64_t count, SectorState s) {
  if (first >= m_state.size()) return;
  count = std::min<std::uint64_t>(count, m_state.size() - first);
  std::fill_n(m_state.begin() + static_cast<std::ptrdiff_t>(first), count, static_cast<char>(s));
}

std::uint64_t RescueMap::Next(std::uint64_t from, SectorState s) const {
  if (from >= m_state.size()) return m_state.size();
  const void* hit = std::memchr(m_state.data() + from, static_cast<char>(s), m_state.size() - from);
  return hit ? static_cast<std::uint64_t>(static_cast<const char*>(hit) - m_state.data()) : m_state.size();
}

std::uint64_t RescueMap::Count(SectorState s) const {
  return static_cast<std::uint64_t>(std::count(m_state.begin(), m_state.end(), static_cast<char>(s)));
}

std::string RescueMap::Text() const {
  std::string out = "# Mapfile. Created by Tessal\n";
  for (const std::string& n : notes) out += "# " + n + "\n";
  out += "# current_pos  current_status  current_pass\n";
  out += Hex(currentPos, 8) + "     " + static_cast<char>(pass) + "               " + std::to_string(passNumber) +
         "\n";
  out += "#      pos        size  status\n";
  const std::uint64_t n = m_state.size();
  for (std::uint64_t i = 0; i < n;) {
    std::uint64_t j = i + 1;
    while (j < n && m_state[j] == m_state[i]) ++j;
    out += Hex(i * m_sectorBytes, 8) + "  " + Hex((j - i) * m_sectorBytes, 8) + "  " + m_state[i] + "\n";
    i = j;
  }
  return out;
}

MapParse RescueMap::Parse(const std::string& text, std::uint64_t sectors, std::uint32_t sectorBytes) {
  *this = RescueMap(sectors, sectorBytes);
  std::istringstream in(text);
  bool sawStatus = false;
  std::uint64_t covered = 0;
  const std::uint64_t imageBytes = sectors * sectorBytes;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("# ", 0) == 0 && line.compare(2, std::strlen(kOwnNote), kOwnNote) == 0) notes.push_back(line.substr(2));
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::vector<std::string> tok;
    for (std::string t; ls >> t && tok.size() < 4;) tok.push_back(t);
    if (tok.empty()) continue;
    if (!sawStatus) {  // current_pos current_status [current_pass]
      if (tok.size() < 2 || tok.size() > 3 || !ParseSize(tok[0], currentPos) || tok[1].size() != 1 ||
          !std::strchr(kPassStates, tok[1][0]))
        return MapParse::BadLine;
      pass = static_cast<PassState>(tok[1][0]);
      passNumber = tok.size() == 3 ? std::atoi(tok[2].c_str()) : 1;
      sawStatus = true;
      continue;
    }
    std::uint64_t pos = 0, size = 0;
    if (tok.size() != 3 || !ParseSize(tok[0], pos) || !ParseSize(tok[1], size) || tok[2].size() != 1 ||
        !std::strchr(kStates, tok[2][0]))
      return MapParse::BadLine;
    if (pos != covered) return MapParse::Gap;
    if (size > UINT64_MAX - pos) return MapParse::Overflow;
    covered = pos + size;
    const std::uint64_t end = std::min(covered, imageBytes);
    if (pos >= end) continue;
    const auto state = static_cast<SectorState>(tok[2][0]);
    if (state == SectorState::Finished) {
      // Only sectors the area holds whole; a sector it shares stays as the other area says.
      const std::uint64_t first = (pos + sectorBytes - 1) / sectorBytes;
      const std::uint64_t last = end == imageBytes ? sectors : end / sectorBytes;
      if (last > first) Set(first, last - first, state);
    } else {
      const std::uint64_t first = pos / sectorBytes, last = (end + sectorBytes - 1) / sectorBytes;
      Set(first, last - first, state);
    }
  }
  return sawStatus ? MapParse::Ok : MapParse::NoStatusLine;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& text, std::string& reason) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  if (target.parent_path().empty()) temp = "." + target.filename().string() + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    reason = std::string("cannot create a file beside ") + path + ": " + std::strerror(errno);
    return false;
  }
  const char* p = text.data();
  std::size_t left = text.size();
  bool ok = true;
  while (ok && left) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else p += n, left -= static_cast<std::size_t>(n);
  }
  ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  const int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(name.data(), path.c_str()) != 0) {
    reason = "cannot write " + path + ": " + std::strerror(ok ? errno : err);
    ::unlink(name.data());
    return false;
  }
  // The rename is durable only once the folder that holds it is.
  const std::string dir = target.parent_path().empty() ? "." : target.parent_path().string();
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace imaging
