#pragma once
// Flat images of appended sessions made by the tools that write them:
// genisoimage -C -M, each new session written into the same file at the
// address -msinfo would have given, with or without a recorder's gaps.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/CdImages.h"

namespace testsupport {

class AppendedIso {
 public:
  AppendedIso(std::string image, const ScratchDir& dir) : m_image(std::move(image)), m_dir(dir) {}
  // Writes a new session holding folder (merged with the previous session's
  // tree, as genisoimage -M does) after the file's end, or, with gap, the
  // lead-out, lead-in and pregap a recorder leaves after it. False with the
  // tool's complaint in error.
  bool Append(const std::string& folder, bool gap, std::string& error, const std::string& extra = "-R -J");
  const std::vector<std::uint32_t>& Starts() const { return m_starts; }
  // Sectors the file held after each session was written.
  const std::vector<std::uint32_t>& Ends() const { return m_ends; }
  const std::string& Path() const { return m_image; }

 private:
  std::string m_image;
  const ScratchDir& m_dir;
  std::vector<std::uint32_t> m_starts, m_ends;
};

}  // namespace testsupport
