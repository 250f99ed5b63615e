#pragma once
// Small helpers the image readers share.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "disc/Msf.h"
#include "disc/SectorLayout.h"
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

// A refusal: its one-line reason in why, and false for the caller to return.
inline bool Fail(std::string& why, std::string text) {
  why = std::move(text);
  return false;
}

// How reading a tool's text file (cue sheet, control file, TOC file) ended.
enum class TextFileRead { Read, TooLarge, Unreadable, Binary };

// The whole of f as text, when it holds at most limit bytes and no NUL.
inline TextFileRead ReadTextFile(ImageFile& f, std::uint64_t limit, std::string& text) {
  if (f.Size() > limit) return TextFileRead::TooLarge;
  text.assign(static_cast<std::size_t>(f.Size()), '\0');
  if (f.ReadAt(0, text.data(), text.size()) != text.size()) return TextFileRead::Unreadable;
  return text.find('\0') == std::string::npos ? TextFileRead::Read : TextFileRead::Binary;
}

// 00 FF x10 00: the start of every raw data sector.
using disc::HasSync;

// count sectors from firstLba that no file stores (a pregap or postgap the
// image only names): silence for audio, zeros for data.
inline Extent UnstoredExtent(std::int64_t firstLba, std::uint32_t count, TrackMode mode) {
  Extent e;
  e.firstLba = static_cast<std::int32_t>(firstLba);
  e.count = count;
  e.format = mode == TrackMode::Audio ? StoredFormat::Audio2352 : StoredFormat::UserData2048;
  e.stride = mode == TrackMode::Audio ? 2352 : 2048;
  return e;
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
