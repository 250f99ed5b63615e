#include "platform/ui/Region.h"

#include <algorithm>

#include "res/Resources.h"

namespace ui {

namespace {
// A frame bigger than this is refused (treated as empty): shapes come from
// bitmaps of a few hundred pixels, and a corrupt size must not allocate
// gigabytes.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

bool SaneFrame(int w, int h) {
  return w > 0 && h > 0 && static_cast<long long>(w) * h <= kMaxPixels;
}
}  // namespace

Region Region::Full(int width, int height) {
  Region r;
  if (!SaneFrame(width, height)) return r;
  r.width_ = width;
  r.height_ = height;
  r.bits_.assign(static_cast<std::size_t>(width) * height, 1);
  return r;
}

Region Region::Empty(int width, int height) {
  Region r = Full(width, height);
  std::fill(r.bits_.begin(), r.bits_.end(), 0);
  return r;
}

Region Region::FromMask(const res::Image& mask, int width, int height) {
  Region r = Full(width, height);
  if (r.bits_.empty() || mask.Empty()) return r;
  // A decoded image whose pixel vector is shorter than its stated size is
  // read only as far as it goes.
  const long long held = static_cast<long long>(mask.rgb.size());
  const int w = std::min(width, mask.width);
  const int h = std::min(height, mask.height);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const long long at = static_cast<long long>(y) * mask.width + x;
      if (at >= held) return r;
      if ((mask.rgb[static_cast<std::size_t>(at)] & 0xFFFFFF) == res::kWhite)
        r.bits_[static_cast<std::size_t>(y) * width + x] = 0;
    }
  }
  return r;
}

Region Region::FromMask(const res::Image& mask) { return FromMask(mask, mask.width, mask.height); }

Region Region::Ellipse(int width, int height) {
  Region r = Empty(width, height);
  if (r.bits_.empty()) return r;
  // A pixel is inside when its centre lies in the ellipse inscribed in the
  // frame.
  const double a = width / 2.0, b = height / 2.0;
  for (int y = 0; y < height; ++y) {
    const double dy = (y + 0.5 - b) / b;
    for (int x = 0; x < width; ++x) {
      const double dx = (x + 0.5 - a) / a;
      if (dx * dx + dy * dy <= 1.0) r.bits_[static_cast<std::size_t>(y) * width + x] = 1;
    }
  }
  return r;
}

bool Region::IsEmpty() const {
  return std::find(bits_.begin(), bits_.end(), 1) == bits_.end();
}

bool Region::IsFull() const {
  return !bits_.empty() && std::find(bits_.begin(), bits_.end(), 0) == bits_.end();
}

bool Region::Contains(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return bits_[static_cast<std::size_t>(y) * width_ + x] != 0;
}

int Region::PixelCount() const {
  return static_cast<int>(std::count(bits_.begin(), bits_.end(), 1));
}

Rect Region::BoundingBox() const {
  int l = width_, t = height_, r = 0, b = 0;
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      if (!row[x]) continue;
      l = std::min(l, x);
      r = std::max(r, x + 1);
      t = std::min(t, y);
      b = y + 1;
    }
  }
  if (r <= l || b <= t) return Rect();
  return Rect(l, t, r, b);
}

std::vector<Region::Span> Region::Spans() const {
  std::vector<Span> out;
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * width_;
    int x = 0;
    while (x < width_) {
      while (x < width_ && !row[x]) ++x;
      if (x == width_) break;
      const int x0 = x;
      while (x < width_ && row[x]) ++x;
      out.push_back({y, x0, x});
    }
  }
  return out;
}

void Region::Set(int x, int y, bool inside) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  bits_[static_cast<std::size_t>(y) * width_ + x] = inside ? 1 : 0;
}

Region Region::Intersect(const Region& other, int dx, int dy) const {
  Region r = *this;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (r.bits_[static_cast<std::size_t>(y) * width_ + x] && !other.Contains(x - dx, y - dy))
        r.bits_[static_cast<std::size_t>(y) * width_ + x] = 0;
  return r;
}

}  // namespace ui
