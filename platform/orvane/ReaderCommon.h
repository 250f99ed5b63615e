#pragma once
// Small helpers the image readers share.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/orvane/DiscImage.h"

namespace orvane {

inline std::string LowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

// NAME.ext beside path, ext in lower or upper case; empty when neither is there.
inline std::filesystem::path Sibling(const std::string& path, const std::string& ext) {
  std::error_code ec;
  std::string upper = ext;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& e : {ext, upper}) {
    std::filesystem::path q(path);
    q.replace_extension(e);
    if (std::filesystem::is_regular_file(q, ec)) return q;
  }
  return {};
}

// The file's size, or 0 when it cannot be examined.
inline std::uint64_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(n);
}

// 00 FF x10 00: the start of every raw data sector.
inline bool HasSync(const std::uint8_t* p) {
  static const std::uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  return std::memcmp(p, sync, 12) == 0;
}

// A single data or audio track covering a whole file, as plain images hold.
inline void LayOutSingleTrack(DiscLayout& layout, const std::shared_ptr<ImageFile>& file, std::uint32_t sectors,
                              TrackMode mode, StoredFormat format, std::uint32_t stride, std::uint8_t discType) {
  TrackLayout t;
  t.number = 1;
  t.session = 1;
  t.mode = mode;
  t.control = mode == TrackMode::Audio ? 0x00 : 0x04;
  t.pregapStart = 0;
  t.start = 0;
  t.length = sectors;
  Extent e;
  e.firstLba = 0;
  e.count = sectors;
  e.file = file;
  e.offset = 0;
  e.format = format;
  e.stride = stride;
  t.extents.push_back(e);
  layout.tracks.push_back(std::move(t));
  SessionLayout s;
  s.number = 1;
  s.discType = discType;
  s.leadOut = static_cast<std::int32_t>(sectors);
  layout.sessions.push_back(s);
  layout.discStatus = 2;
}

}  // namespace orvane
