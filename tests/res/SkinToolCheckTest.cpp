// Cross-check of the embedded skin with an independent BMP reader: ImageMagick
// must read every file to the same pixels as our decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "res/Resources.h"

namespace {

bool HaveConvert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

std::vector<std::uint8_t> ConvertToRgb(const std::filesystem::path& bmp) {
  const std::string cmd = "convert '" + bmp.string() + "' -depth 8 rgb:- 2>/dev/null";
  std::vector<std::uint8_t> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(p);
  return out;
}

void Compare(int id, std::span<const std::uint8_t> file, const res::Image& img, const std::filesystem::path& dir) {
  SCOPED_TRACE(id);
  ASSERT_FALSE(img.Empty());
  const std::filesystem::path path = dir / (std::to_string(id) + ".bmp");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  const std::vector<std::uint8_t> rgb = ConvertToRgb(path);
  ASSERT_EQ(rgb.size(), img.rgb.size() * 3);
  for (std::size_t i = 0; i < img.rgb.size(); ++i) {
    const std::uint32_t theirs = (rgb[3 * i] << 16) | (rgb[3 * i + 1] << 8) | rgb[3 * i + 2];
    ASSERT_EQ(theirs, img.rgb[i]) << "pixel " << i % img.width << "," << i / img.width;
  }
}

TEST(SkinWithImageMagick, EveryBitmapReadsTheSame) {
  if (!HaveConvert()) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tessal_res_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  int bitmaps = 0;
  for (int id = 100; id < 300; ++id) {
    const std::span<const std::uint8_t> file = res::BitmapFile(id);
    if (file.empty()) continue;
    ++bitmaps;
    Compare(id, file, res::DecodeBmp(file), dir);
  }
  std::filesystem::remove_all(dir);
  // 171 211 217 142-154 173 174 193 194 177-190 206 207 158 160-163 219 175 218 237 238 215 216 221-230
  EXPECT_EQ(bitmaps, 55);
}

}  // namespace
