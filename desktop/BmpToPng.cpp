// tessal_bmp2png <in.bmp> <out.png>: the build's icon step, turning the skin
// generator's 32-bit icon into the PNG the desktop's icon theme wants.
#include <fstream>
#include <iostream>
#include <iterator>

#include "desktop/Png.h"
#include "res/Resources.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tessal_bmp2png <in.bmp> <out.png>\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const res::Image img = res::DecodeBmp(file);
  if (img.Empty()) {
    std::cerr << "tessal_bmp2png: " << argv[1] << " is not a bitmap this program reads\n";
    return 1;
  }
  std::vector<std::uint8_t> rgba;
  rgba.reserve(img.rgb.size() * 4);
  for (std::size_t i = 0; i < img.rgb.size(); ++i) {
    const std::uint32_t p = img.rgb[i];
    rgba.insert(rgba.end(), {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                             static_cast<std::uint8_t>(p), img.alpha.empty() ? std::uint8_t{255} : img.alpha[i]});
  }
  const std::vector<std::uint8_t> png = desktop::EncodePng(img.width, img.height, rgba);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) {
    std::cerr << "tessal_bmp2png: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
