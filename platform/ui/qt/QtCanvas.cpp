#include "platform/ui/qt/QtCanvas.h"

#include <QFontMetrics>

#include "res/Resources.h"

namespace ui::qt {

QImage ToQImage(const res::Image& image) {
  // A size that the pixels held cannot back (a damaged bitmap) or that no
  // skin needs is not turned into an image at all.
  constexpr long long kMaxPixels = 16LL * 1024 * 1024;
  const long long pixels = static_cast<long long>(image.width) * image.height;
  if (image.Empty() || pixels > kMaxPixels) return {};
  const bool alpha = !image.alpha.empty();
  QImage out(image.width, image.height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (out.isNull()) return {};
  const std::size_t held = image.rgb.size();
  for (int y = 0; y < image.height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < image.width; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * image.width + x;
      const std::uint32_t rgb = at < held ? image.rgb[at] : 0;
      const int a = alpha ? (at < image.alpha.size() ? image.alpha[at] : 0) : 255;
      row[x] = qRgba((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, a);
    }
  }
  return out;
}

QRegion ToQRegion(const Region& region, Point origin) {
  // Rows with the same runs as the row above extend its rectangles, which
  // keeps a mask of a few hundred rows down to a few hundred rectangles.
  std::vector<std::vector<std::pair<int, int>>> rows(static_cast<std::size_t>(std::max(0, region.Height())));
  for (const Region::Span& s : region.Spans()) rows[static_cast<std::size_t>(s.y)].push_back({s.x0, s.x1});
  QRegion out;
  const int h = static_cast<int>(rows.size());
  int y = 0;
  while (y < h) {
    int end = y + 1;
    while (end < h && rows[static_cast<std::size_t>(end)] == rows[static_cast<std::size_t>(y)]) ++end;
    for (const auto& [x0, x1] : rows[static_cast<std::size_t>(y)])
      out += QRect(origin.x + x0, origin.y + y, x1 - x0, end - y);
    y = end;
  }
  return out;
}

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

QFont ToQFont(const FontSpec& font) {
  QFont f(QString::fromStdString(font.face));
  if (font.pointSize > 0) f.setPointSize(font.pointSize);
  f.setBold(font.bold);
  return f;
}

void QtCanvas::DrawImage(const res::Image& image, int x, int y) {
  const QImage img = ToQImage(image);
  if (!img.isNull()) p_.drawImage(x, y, img);
}

void QtCanvas::FillRect(const Rect& r, COLORREF colour) {
  if (r.IsEmpty()) return;
  p_.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(colour));
}

void QtCanvas::Rectangle(const Rect& r, COLORREF pen, std::optional<COLORREF> brush) {
  if (r.IsEmpty()) return;
  // The outline lies on the rectangle's outermost pixels, as Windows draws it.
  if (brush) p_.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), ToQColor(*brush));
  const QColor c = ToQColor(pen);
  p_.fillRect(QRect(r.left, r.top, r.Width(), 1), c);
  p_.fillRect(QRect(r.left, r.bottom - 1, r.Width(), 1), c);
  p_.fillRect(QRect(r.left, r.top, 1, r.Height()), c);
  p_.fillRect(QRect(r.right - 1, r.top, 1, r.Height()), c);
}

void QtCanvas::DrawText(const std::string& text, const Rect& r, COLORREF colour, unsigned format) {
  int flags = 0;
  if (format & DT_CENTER)
    flags |= Qt::AlignHCenter;
  else if (format & DT_RIGHT)
    flags |= Qt::AlignRight;
  else
    flags |= Qt::AlignLeft;
  if (format & DT_VCENTER)
    flags |= Qt::AlignVCenter;
  else if (format & DT_BOTTOM)
    flags |= Qt::AlignBottom;
  else
    flags |= Qt::AlignTop;
  if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
  if (format & DT_SINGLELINE) flags |= Qt::TextSingleLine;
  QString s = QString::fromStdString(text);
  const QRect box(r.left, r.top, r.Width(), r.Height());
  if (format & DT_END_ELLIPSIS) s = p_.fontMetrics().elidedText(s, Qt::ElideRight, box.width());
  p_.save();
  p_.setPen(ToQColor(colour));
  p_.drawText(box, flags, s);
  p_.restore();
}

Size QtCanvas::TextExtent(const std::string& text) {
  const QFontMetrics fm = p_.fontMetrics();
  return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
}

void QtCanvas::SetFont(const FontSpec& font) { p_.setFont(ToQFont(font)); }

void QtCanvas::SetClip(const Region& clip, Point origin) { p_.setClipRegion(ToQRegion(clip, origin)); }

void QtCanvas::ClearClip() { p_.setClipping(false); }

}  // namespace ui::qt
