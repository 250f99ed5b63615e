#pragma once
// The drawing surface that paint handlers and owner-drawn controls draw on.
// The Qt layer executes these calls with QPainter; RecordingCanvas keeps them
// so tests and the headless tool can see what a window would draw.
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Region.h"
#include "platform/ui/Types.h"

namespace res {
struct Image;
}

namespace ui {

// DrawText format flags (the Windows DT_ values).
constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_VCENTER = 0x0004;
constexpr unsigned DT_BOTTOM = 0x0008;
constexpr unsigned DT_WORDBREAK = 0x0010;
constexpr unsigned DT_SINGLELINE = 0x0020;
constexpr unsigned DT_NOPREFIX = 0x0800;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;

struct FontSpec {
  std::string face = "MS Sans Serif";
  int pointSize = 8;
  bool bold = false;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// A decoded resource bitmap by id, decoded once and kept for the run; an
// empty image when the id has none.
const res::Image& CachedBitmap(int id);
const res::Image& CachedIcon(int id);

class Canvas {
 public:
  virtual ~Canvas() = default;

  // Copies `image` unscaled with its top-left corner at (x, y); icon alpha is
  // honoured. Only the part inside the clip is painted.
  virtual void DrawImage(const res::Image& image, int x, int y) = 0;
  // Draws bitmap resource `id`; nothing (and no failure) when it has none.
  virtual void DrawBitmap(int id, int x, int y);
  virtual void DrawIcon(int id, int x, int y);
  virtual void FillRect(const Rect& r, COLORREF colour) = 0;
  // A one-pixel outline in `pen` filled with `brush` (no fill when absent),
  // covering r exactly as Windows' Rectangle does.
  virtual void Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) = 0;
  void FrameRect(const Rect& r, COLORREF pen) { Rectangle(r, pen, std::nullopt); }
  // Text in `colour` on a transparent background, placed in r by `format`.
  virtual void DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) = 0;
  // Size of `text` as one line in the current font.
  virtual Size TextExtent(const std::string& text) = 0;
  virtual void SetFont(const FontSpec& font) = 0;
  // Restricts painting to the inside pixels of `clip`, its (0, 0) placed at
  // `origin`; ClearClip paints everywhere again.
  virtual void SetClip(const Region& clip, Point origin = {}) = 0;
  virtual void ClearClip() = 0;
};

// Keeps every call, in order.
class RecordingCanvas : public Canvas {
 public:
  enum class Op { Image, Bitmap, Icon, Fill, Rectangle, Text, Font, Clip, ClearClip };
  struct Call {
    Op op = Op::Fill;
    Rect rect;                         // target (images: position and size)
    int id = 0;                        // bitmap or icon id
    COLORREF colour = 0;               // fill, pen or text colour
    std::optional<COLORREF> brush;     // rectangle fill
    std::string text;
    unsigned format = 0;
    FontSpec font;
    std::optional<Region> clip;        // the clip in force when the call was made
    Point clipOrigin;
  };

  void DrawImage(const res::Image& image, int x, int y) override;
  void DrawBitmap(int id, int x, int y) override;
  void DrawIcon(int id, int x, int y) override;
  void FillRect(const Rect& r, COLORREF colour) override;
  void Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) override;
  void DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) override;
  Size TextExtent(const std::string& text) override;
  void SetFont(const FontSpec& font) override;
  void SetClip(const Region& clip, Point origin = {}) override;
  void ClearClip() override;

  // Text is measured as `charWidth` per byte and `lineHeight` high, so
  // layouts computed from TextExtent are predictable in tests.
  void SetTextMetrics(int charWidth, int lineHeight) { charWidth_ = charWidth; lineHeight_ = lineHeight; }

  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<Call> CallsOf(Op op) const;
  void Clear() { calls_.clear(); }

 private:
  Call& Add(Op op);
  std::vector<Call> calls_;
  std::optional<Region> clip_;
  Point clipOrigin_;
  FontSpec font_;
  int charWidth_ = 6, lineHeight_ = 13;
};

// Paints into a pixel image (0x00RRGGBB, like res::Image), clip included; text
// is not rasterised, only its extent is known. Lets tests look at the pixels an
// owner-drawn control leaves behind.
class ImageCanvas : public Canvas {
 public:
  ImageCanvas(int width, int height, COLORREF background = RGB(0, 0, 0));
  void DrawImage(const res::Image& image, int x, int y) override;
  void FillRect(const Rect& r, COLORREF colour) override;
  void Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) override;
  void DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) override;
  Size TextExtent(const std::string& text) override;
  void SetFont(const FontSpec&) override {}
  void SetClip(const Region& clip, Point origin = {}) override;
  void ClearClip() override { clip_.reset(); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  COLORREF PixelAt(int x, int y) const;  // 0 outside

 private:
  void Put(int x, int y, COLORREF c);
  int width_, height_;
  std::vector<COLORREF> px_;
  std::optional<Region> clip_;
  Point clipOrigin_;
};

}  // namespace ui
