#pragma once
// Canvas calls executed with a QPainter.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include "platform/ui/Canvas.h"

namespace ui::qt {

QImage ToQImage(const res::Image& image);
QRegion ToQRegion(const Region& region, Point origin = {});
QColor ToQColor(COLORREF c);
QFont ToQFont(const FontSpec& font);

class QtCanvas : public Canvas {
 public:
  explicit QtCanvas(QPainter& painter) : p_(painter) {}
  void DrawImage(const res::Image& image, int x, int y) override;
  void FillRect(const Rect& r, COLORREF colour) override;
  void Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) override;
  void DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) override;
  Size TextExtent(const std::string& text) override;
  void SetFont(const FontSpec& font) override;
  void SetClip(const Region& clip, Point origin = {}) override;
  void ClearClip() override;

 private:
  QPainter& p_;
};

}  // namespace ui::qt
