#include "tests/support/AppendedSessions.h"

#include <filesystem>
#include <fstream>

#include "tests/support/CdInfo.h"

namespace testsupport {

bool AppendedIso::Append(const std::string& folder, bool gap, std::string& error, const std::string& extra) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::exists(m_image, ec) ? std::filesystem::file_size(m_image, ec) : 0;
  const auto end = static_cast<std::uint32_t>(size / 2048);
  std::uint32_t next = 0;
  std::string msinfo;
  if (!m_starts.empty()) {
    next = end + (gap ? (m_starts.size() == 1 ? 11400 : 6900) : 0);
    msinfo = " -C " + std::to_string(m_starts.back()) + "," + std::to_string(next) + " -M " + ShellQuote(m_image);
  }
  const std::string part = m_dir.File("session.part");
  const ProgramRun run = RunProgram("genisoimage -quiet " + extra + msinfo + " -o " + ShellQuote(part) + " " +
                                        ShellQuote(folder),
                                    m_dir);
  if (run.status != 0) {
    error = "genisoimage: " + run.err;
    return false;
  }
  std::ifstream in(part, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(part, ec);
  if (size < std::uint64_t(next) * 2048) std::filesystem::resize_file(m_image, std::uint64_t(next) * 2048, ec);
  std::fstream out(m_image, std::ios::binary | std::ios::in | std::ios::out);
  if (!out) out.open(m_image, std::ios::binary | std::ios::out);
  out.seekp(std::streamoff(next) * 2048);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) {
    error = "cannot write " + m_image;
    return false;
  }
  m_starts.push_back(next);
  m_ends.push_back(next + static_cast<std::uint32_t>(bytes.size() / 2048));
  return true;
}

}  // namespace testsupport
