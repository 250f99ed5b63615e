#include "platform/ui/Canvas.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "res/Resources.h"

namespace ui {

namespace {
const res::Image& Cached(int id, bool icon) {
  static std::mutex m;
  static std::map<std::pair<int, bool>, res::Image> cache;
  std::lock_guard<std::mutex> lock(m);
  auto it = cache.find({id, icon});
  if (it == cache.end()) it = cache.emplace(std::make_pair(id, icon), icon ? res::LoadIcon(id) : res::LoadBitmap(id)).first;
  return it->second;
}
}  // namespace

const res::Image& CachedBitmap(int id) { return Cached(id, false); }
const res::Image& CachedIcon(int id) { return Cached(id, true); }

void Canvas::DrawBitmap(int id, int x, int y) {
  const res::Image& img = CachedBitmap(id);
  if (!img.Empty()) DrawImage(img, x, y);
}

void Canvas::DrawIcon(int id, int x, int y) {
  const res::Image& img = CachedIcon(id);
  if (!img.Empty()) DrawImage(img, x, y);
}

// ---- RecordingCanvas ----
RecordingCanvas::Call& RecordingCanvas::Add(Op op) {
  Call c;
  c.op = op;
  c.clip = clip_;
  c.clipOrigin = clipOrigin_;
  c.font = font_;
  calls_.push_back(std::move(c));
  return calls_.back();
}

void RecordingCanvas::DrawImage(const res::Image& image, int x, int y) {
  Add(Op::Image).rect = Rect::FromSize(x, y, image.width, image.height);
}

void RecordingCanvas::DrawBitmap(int id, int x, int y) {
  const res::Image& img = CachedBitmap(id);
  Call& c = Add(Op::Bitmap);
  c.id = id;
  c.rect = Rect::FromSize(x, y, img.width, img.height);
}

void RecordingCanvas::DrawIcon(int id, int x, int y) {
  const res::Image& img = CachedIcon(id);
  Call& c = Add(Op::Icon);
  c.id = id;
  c.rect = Rect::FromSize(x, y, img.width, img.height);
}

void RecordingCanvas::FillRect(const Rect& r, COLORREF colour) {
  Call& c = Add(Op::Fill);
  c.rect = r;
  c.colour = colour;
}

void RecordingCanvas::Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) {
  Call& c = Add(Op::Rectangle);
  c.rect = r;
  c.colour = pen;
  c.brush = brush;
}

void RecordingCanvas::DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) {
  Call& c = Add(Op::Text);
  c.rect = r;
  c.text = text;
  c.colour = colour;
  c.format = format;
}

Size RecordingCanvas::TextExtent(const std::string& text) {
  return {static_cast<int>(text.size()) * charWidth_, lineHeight_};
}

void RecordingCanvas::SetFont(const FontSpec& font) {
  font_ = font;
  Add(Op::Font);
}

void RecordingCanvas::SetClip(const Region& clip, Point origin) {
  clip_ = clip;
  clipOrigin_ = origin;
  Add(Op::Clip);
}

void RecordingCanvas::ClearClip() {
  clip_.reset();
  clipOrigin_ = {};
  Add(Op::ClearClip);
}

std::vector<RecordingCanvas::Call> RecordingCanvas::CallsOf(Op op) const {
  std::vector<Call> out;
  for (const Call& c : calls_)
    if (c.op == op) out.push_back(c);
  return out;
}

// ---- ImageCanvas ----
ImageCanvas::ImageCanvas(int width, int height, COLORREF background)
    : width_(std::max(0, width)), height_(std::max(0, height)),
      px_(static_cast<std::size_t>(width_) * height_, background) {}

void ImageCanvas::Put(int x, int y, COLORREF c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (clip_ && !clip_->Contains(x - clipOrigin_.x, y - clipOrigin_.y)) return;
  px_[static_cast<std::size_t>(y) * width_ + x] = c;
}

COLORREF ImageCanvas::PixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return px_[static_cast<std::size_t>(y) * width_ + x];
}

void ImageCanvas::DrawImage(const res::Image& image, int x, int y) {
  if (image.Empty()) return;
  const std::size_t held = image.rgb.size();
  for (int sy = 0; sy < image.height; ++sy)
    for (int sx = 0; sx < image.width; ++sx) {
      const std::size_t at = static_cast<std::size_t>(sy) * image.width + sx;
      if (at >= held) return;
      if (!image.alpha.empty() && (at >= image.alpha.size() || image.alpha[at] < 128)) continue;
      Put(x + sx, y + sy, FromRgb24(image.rgb[at]));
    }
}

void ImageCanvas::FillRect(const Rect& r, COLORREF colour) {
  const int l = std::max(0, r.left), t = std::max(0, r.top);
  const int rr = std::min(width_, r.right), b = std::min(height_, r.bottom);
  for (int y = t; y < b; ++y)
    for (int x = l; x < rr; ++x) Put(x, y, colour);
}

void ImageCanvas::Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) {
  if (r.IsEmpty()) return;
  if (brush) FillRect(r, *brush);
  FillRect(Rect(r.left, r.top, r.right, r.top + 1), pen);
  FillRect(Rect(r.left, r.bottom - 1, r.right, r.bottom), pen);
  FillRect(Rect(r.left, r.top, r.left + 1, r.bottom), pen);
  FillRect(Rect(r.right - 1, r.top, r.right, r.bottom), pen);
}

void ImageCanvas::DrawText(const std::string&, const Rect&, COLORREF, unsigned) {}

Size ImageCanvas::TextExtent(const std::string& text) { return {static_cast<int>(text.size()) * 6, 13}; }

void ImageCanvas::SetClip(const Region& clip, Point origin) {
  clip_ = clip;
  clipOrigin_ = origin;
}

}  // namespace ui
