#pragma once
// A set of pixels inside a width x height frame: the shape of a window or a
// button. Built from a mask bitmap (a pure white pixel lies outside), from an
// ellipse (round buttons) or from a rectangle. The logic computes shapes with
// it and the renderer turns the same pixel set into the toolkit's mask.
#include <cstdint>
#include <vector>

#include "platform/ui/Types.h"

namespace res {
struct Image;
}

namespace ui {

class Region {
 public:
  // A horizontal run of inside pixels [x0, x1) on row y.
  struct Span {
    int y = 0, x0 = 0, x1 = 0;
    friend bool operator==(const Span&, const Span&) = default;
  };

  Region() = default;  // empty, 0 x 0
  // Every pixel of a width x height frame inside (or none).
  static Region Full(int width, int height);
  static Region Empty(int width, int height);
  // The pixels of `mask` that are not pure white, read over a width x height
  // frame. Pixels of the frame beyond the bitmap's own size stay inside, the
  // way a region that only has the mask's white pixels cut out keeps them.
  static Region FromMask(const res::Image& mask, int width, int height);
  static Region FromMask(const res::Image& mask);  // over the bitmap's own size
  // The ellipse that fills the frame, as a round rectangle whose corner
  // ellipse is the whole width and height.
  static Region Ellipse(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool IsEmpty() const;                 // no pixel inside
  bool IsFull() const;                  // every pixel of the frame inside
  bool Contains(int x, int y) const;    // false outside the frame
  int PixelCount() const;
  // Smallest rectangle holding every inside pixel (right/bottom exclusive);
  // an empty Rect when no pixel is inside.
  Rect BoundingBox() const;
  // Inside pixels as runs, row by row, top first.
  std::vector<Span> Spans() const;

  void Set(int x, int y, bool inside);  // ignored outside the frame
  // Pixel-wise intersection with `other` placed at (dx, dy) in this frame.
  Region Intersect(const Region& other, int dx = 0, int dy = 0) const;

  friend bool operator==(const Region&, const Region&) = default;

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> bits_;  // one byte per pixel, row-major; 1 inside
};

}  // namespace ui
