// Draws every skin bitmap, icon and the cursor of the program as BMP files and
// writes the C++ source that links them into the resource library.
//
//   tessal_skin_gen <output folder>
//
// Everything is drawn from geometry: shapes are point predicates sampled 4 x 4
// per pixel, so edges are smooth at any button size. Button bitmaps take the
// pixel size of their control, computed from the dialog template rectangle and
// the dialog base units of the template's font.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

using Color = std::uint32_t;  // 0xRRGGBB
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kBase = 0x647D8E;       // blue-grey of the product
constexpr Color kHigh = 0xA9B8CA;       // its highlight
constexpr Color kDark = 0x3E4E5A;
constexpr Color kDeep = 0x222C34;
constexpr Color kInk = 0xF4F7FA;        // symbols on buttons
constexpr Color kAccent = 0xE0B54A;     // warm accent for small details

int R(Color c) { return (c >> 16) & 0xFF; }
int G(Color c) { return (c >> 8) & 0xFF; }
int B(Color c) { return c & 0xFF; }
Color Rgb(int r, int g, int b) {
  auto cl = [](int v) { return std::clamp(v, 0, 255); };
  return (cl(r) << 16) | (cl(g) << 8) | cl(b);
}
Color Mix(Color a, Color b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return Rgb(static_cast<int>(std::lround(R(a) + (R(b) - R(a)) * t)), static_cast<int>(std::lround(G(a) + (G(b) - G(a)) * t)),
             static_cast<int>(std::lround(B(a) + (B(b) - B(a)) * t)));
}

struct Canvas {
  int w = 0, h = 0;
  std::vector<Color> px;
  std::vector<std::uint8_t> alpha;  // used for icons and the cursor
  Canvas(int width, int height, Color fill, bool transparent = false)
      : w(width), h(height), px(static_cast<std::size_t>(width) * height, fill),
        alpha(static_cast<std::size_t>(width) * height, transparent ? 0 : 255) {}
  void Blend(int x, int y, Color c, double cover) {
    if (x < 0 || y < 0 || x >= w || y >= h || cover <= 0) return;
    const std::size_t i = static_cast<std::size_t>(y) * w + x;
    const double a0 = alpha[i] / 255.0;
    const double a = cover + a0 * (1 - cover);
    if (a <= 0) return;
    // Blend over what is there, weighting the old colour by its own alpha.
    px[i] = Mix(px[i], c, cover / a);
    alpha[i] = static_cast<std::uint8_t>(std::lround(a * 255));
  }
};

using Shape = std::function<bool(double, double)>;
using Paint = std::function<Color(double, double)>;

// Fills the shape with a colour computed per pixel centre. Samples 4 x 4 per
// pixel unless hard, which gives the crisp edges that masks need.
void Fill(Canvas& c, const Shape& s, const Paint& paint, bool hard = false) {
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      if (hard) {
        if (s(x + 0.5, y + 0.5)) c.Blend(x, y, paint(x + 0.5, y + 0.5), 1.0);
        continue;
      }
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) hits += s(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
      if (hits) c.Blend(x, y, paint(x + 0.5, y + 0.5), hits / 16.0);
    }
}
void Fill(Canvas& c, const Shape& s, Color col, bool hard = false) {
  Fill(c, s, [col](double, double) { return col; }, hard);
}

// ---- shapes ----
Shape RoundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}
Shape Rect(double x0, double y0, double x1, double y1) { return RoundRect(x0, y0, x1, y1, 0); }
Shape Ellipse(double cx, double cy, double rx, double ry) {
  return [=](double x, double y) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1;
  };
}
Shape Circle(double cx, double cy, double r) { return Ellipse(cx, cy, r, r); }
struct Pt {
  double x, y;
};
Shape Polygon(std::vector<Pt> p) {
  return [p](double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
      if ((p[i].y > y) != (p[j].y > y) && x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x) in = !in;
    return in;
  };
}
// A stroke of width 2r from a to b with round ends.
Shape Capsule(double ax, double ay, double bx, double by, double r) {
  return [=](double x, double y) {
    const double vx = bx - ax, vy = by - ay, len2 = vx * vx + vy * vy;
    const double t = len2 > 0 ? std::clamp(((x - ax) * vx + (y - ay) * vy) / len2, 0.0, 1.0) : 0;
    const double dx = x - (ax + t * vx), dy = y - (ay + t * vy);
    return dx * dx + dy * dy <= r * r;
  };
}
// Part of a ring between radii r0 and r1; angles in degrees, 0 = right,
// counter-clockwise on screen, from a0 to a1.
Shape Arc(double cx, double cy, double r0, double r1, double a0, double a1) {
  return [=](double x, double y) {
    const double dx = x - cx, dy = cy - y, d2 = dx * dx + dy * dy;
    if (d2 < r0 * r0 || d2 > r1 * r1) return false;
    double a = std::atan2(dy, dx) * 180 / kPi;
    while (a < a0) a += 360;
    return a <= a1;
  };
}
Shape Or(Shape a, Shape b) { return [=](double x, double y) { return a(x, y) || b(x, y); }; }
Shape Minus(Shape a, Shape b) { return [=](double x, double y) { return a(x, y) && !b(x, y); }; }

// ---- glyphs: drawn in a box centred at (cx, cy) of half-size s ----
struct Box {
  double cx, cy, s;
  double X(double u) const { return cx + u * s; }
  double Y(double v) const { return cy + v * s; }
  double L(double d) const { return d * s; }
};
using Glyph = std::function<Shape(const Box&)>;

Shape DiscGlyph(const Box& b, double outer = 0.8) {
  return Minus(Circle(b.cx, b.cy, b.L(outer)), Circle(b.cx, b.cy, b.L(0.22)));
}
Glyph kSelectDevice = [](const Box& b) {
  // A disc with a pointer picking it.
  Shape disc = Minus(DiscGlyph(b, 0.7), Polygon({{b.X(0.1), b.Y(0.1)}, {b.X(1.0), b.Y(0.45)}, {b.X(0.45), b.Y(1.0)}}));
  return Or(disc, Polygon({{b.X(0.25), b.Y(0.25)}, {b.X(0.95), b.Y(0.52)}, {b.X(0.62), b.Y(0.62)}, {b.X(0.52), b.Y(0.95)}}));
};
Glyph kRefresh = [](const Box& b) {
  Shape ring = Arc(b.cx, b.cy, b.L(0.42), b.L(0.68), 60, 360);
  // Arrow head at the ring's open end, pointing along the turn.
  Shape head = Polygon({{b.X(0.18), b.Y(-0.95)}, {b.X(0.18), b.Y(-0.15)}, {b.X(0.78), b.Y(-0.55)}});
  return Or(ring, head);
};
Glyph kSector = [](const Box& b) {
  Shape s = [](double, double) { return false; };
  for (int i = -1; i <= 1; ++i)
    for (int j = -1; j <= 1; ++j) {
      const double u = i * 0.55, v = j * 0.55;
      s = Or(s, Rect(b.X(u - 0.2), b.Y(v - 0.2), b.X(u + 0.2), b.Y(v + 0.2)));
    }
  return s;
};
Glyph kToc = [](const Box& b) {
  Shape s = [](double, double) { return false; };
  for (int j = -1; j <= 1; ++j) {
    const double v = j * 0.55;
    s = Or(s, Circle(b.X(-0.62), b.Y(v), b.L(0.15)));
    s = Or(s, Capsule(b.X(-0.25), b.Y(v), b.X(0.7), b.Y(v), b.L(0.12)));
  }
  return s;
};
Glyph kSave = [](const Box& b) {
  // A diskette: body with a cut corner, the shutter and the label.
  Shape body = Polygon({{b.X(-0.75), b.Y(-0.75)}, {b.X(0.5), b.Y(-0.75)}, {b.X(0.75), b.Y(-0.5)}, {b.X(0.75), b.Y(0.75)},
                        {b.X(-0.75), b.Y(0.75)}});
  body = Minus(body, Rect(b.X(-0.4), b.Y(-0.75), b.X(0.35), b.Y(-0.3)));
  return Minus(body, Rect(b.X(-0.5), b.Y(0.1), b.X(0.5), b.Y(0.6)));
};
Glyph kVolume = [](const Box& b) {
  // A disc with an information mark in front of it.
  Shape disc = Minus(DiscGlyph(b, 0.75), Circle(b.X(0.45), b.Y(0.45), b.L(0.5)));
  Shape info = Or(Circle(b.X(0.45), b.Y(0.12), b.L(0.1)), Capsule(b.X(0.45), b.Y(0.35), b.X(0.45), b.Y(0.8), b.L(0.1)));
  return Or(disc, info);
};
Glyph kDevInfo = [](const Box& b) {
  // A drive: box, tray slot and activity light.
  Shape box = RoundRect(b.X(-0.85), b.Y(-0.45), b.X(0.85), b.Y(0.45), b.L(0.12));
  box = Minus(box, Rect(b.X(-0.65), b.Y(-0.2), b.X(0.3), b.Y(-0.05)));
  return Minus(box, Circle(b.X(0.55), b.Y(0.2), b.L(0.11)));
};
Glyph kExit = [](const Box& b) {
  return Or(Arc(b.cx, b.cy, b.L(0.5), b.L(0.72), 125, 415), Capsule(b.cx, b.Y(-0.85), b.cx, b.Y(-0.15), b.L(0.11)));
};
Glyph kEject = [](const Box& b) {
  return Or(Polygon({{b.X(0), b.Y(-0.8)}, {b.X(0.75), b.Y(0.15)}, {b.X(-0.75), b.Y(0.15)}}),
            Rect(b.X(-0.75), b.Y(0.4), b.X(0.75), b.Y(0.7)));
};
Glyph kCloseTray = [](const Box& b) {
  return Or(Rect(b.X(-0.75), b.Y(-0.7), b.X(0.75), b.Y(-0.4)),
            Polygon({{b.X(-0.75), b.Y(-0.15)}, {b.X(0.75), b.Y(-0.15)}, {b.X(0), b.Y(0.8)}}));
};
Glyph kAbout = [](const Box& b) {
  return Or(Circle(b.cx, b.Y(-0.6), b.L(0.2)), Capsule(b.cx, b.Y(-0.15), b.cx, b.Y(0.75), b.L(0.17)));
};
Glyph kHelp = [](const Box& b) {
  return Or(Or(Arc(b.X(0), b.Y(-0.35), b.L(0.25), b.L(0.5), -90, 180), Capsule(b.X(0), b.Y(0.15), b.X(0), b.Y(0.3), b.L(0.12))),
            Circle(b.X(0), b.Y(0.7), b.L(0.14)));
};
Glyph kCross = [](const Box& b) {
  return Or(Capsule(b.X(-0.6), b.Y(-0.6), b.X(0.6), b.Y(0.6), b.L(0.16)), Capsule(b.X(0.6), b.Y(-0.6), b.X(-0.6), b.Y(0.6), b.L(0.16)));
};
Glyph kCheck = [](const Box& b) {
  return Or(Capsule(b.X(-0.65), b.Y(0.05), b.X(-0.2), b.Y(0.55), b.L(0.16)), Capsule(b.X(-0.2), b.Y(0.55), b.X(0.7), b.Y(-0.55), b.L(0.16)));
};
Glyph kMinimize = [](const Box& b) { return Rect(b.X(-0.7), b.Y(0.35), b.X(0.7), b.Y(0.7)); };
Glyph kPlay = [](const Box& b) { return Polygon({{b.X(-0.5), b.Y(-0.7)}, {b.X(0.7), b.Y(0)}, {b.X(-0.5), b.Y(0.7)}}); };
Glyph kPause = [](const Box& b) {
  return Or(Rect(b.X(-0.6), b.Y(-0.65), b.X(-0.15), b.Y(0.65)), Rect(b.X(0.15), b.Y(-0.65), b.X(0.6), b.Y(0.65)));
};
Glyph kStop = [](const Box& b) { return Rect(b.X(-0.55), b.Y(-0.55), b.X(0.55), b.Y(0.55)); };
Glyph kNext = [](const Box& b) {
  return Or(Or(Polygon({{b.X(-0.8), b.Y(-0.6)}, {b.X(-0.1), b.Y(0)}, {b.X(-0.8), b.Y(0.6)}}),
               Polygon({{b.X(-0.15), b.Y(-0.6)}, {b.X(0.55), b.Y(0)}, {b.X(-0.15), b.Y(0.6)}})),
            Rect(b.X(0.58), b.Y(-0.6), b.X(0.8), b.Y(0.6)));
};
Glyph kPrevious = [](const Box& b) {
  return Or(Or(Polygon({{b.X(0.8), b.Y(-0.6)}, {b.X(0.1), b.Y(0)}, {b.X(0.8), b.Y(0.6)}}),
               Polygon({{b.X(0.15), b.Y(-0.6)}, {b.X(-0.55), b.Y(0)}, {b.X(0.15), b.Y(0.6)}})),
            Rect(b.X(-0.8), b.Y(-0.6), b.X(-0.58), b.Y(0.6)));
};

// A symbol with a soft dark shadow below-right, so it reads on light and dark faces.
void DrawGlyph(Canvas& c, const Glyph& g, Box b, Color ink) {
  const double off = std::max(1.0, b.s * 0.08);
  Fill(c, g(Box{b.cx + off, b.cy + off, b.s}), kDeep);
  Fill(c, g(b), ink);
}

// ---- buttons ----
// Round command button: a domed face lit from the top left; pressed it sinks.
Canvas RoundButton(int w, int h, const Glyph& g, bool pressed, Color back = kBase) {
  Canvas c(w, h, back);
  const double cx = w / 2.0, cy = h / 2.0, rx = w / 2.0, ry = h / 2.0;
  Fill(c, Ellipse(cx, cy, rx, ry), kDeep);
  Fill(c, Ellipse(cx, cy, rx - 1, ry - 1), [=](double x, double y) {
    const double t = ((x - cx) / rx + (y - cy) / ry + 1.2) / 2.4;  // 0 top-left .. 1 bottom-right
    return pressed ? Mix(kDark, kHigh, t * 0.8) : Mix(Mix(kWhite, kHigh, 0.4), kDark, t);
  });
  Fill(c, Ellipse(cx, cy, rx * 0.72, ry * 0.72), pressed ? Mix(kBase, kDark, 0.35) : kBase);
  const double d = pressed ? 1 : 0;
  DrawGlyph(c, g, Box{cx + d, cy + d, std::min(rx, ry) * 0.5}, pressed ? kHigh : kInk);
  return c;
}

// Rectangular bitmap button of the player: a bevelled plate; the second state
// is the pushed-in plate.
Canvas PlateButton(int w, int h, const Glyph& g, bool pressed) {
  Canvas c(w, h, kDeep);
  Fill(c, Rect(0, 0, w, h), [=](double, double y) {
    const double t = y / h;
    return pressed ? Mix(kDark, kBase, t) : Mix(kHigh, kBase, t);
  });
  Fill(c, Rect(0, h - 1, w, h), pressed ? kHigh : kDeep);
  Fill(c, Rect(w - 1, 0, w, h), pressed ? kHigh : kDeep);
  Fill(c, Rect(0, 0, w, 1), pressed ? kDeep : kWhite);
  Fill(c, Rect(0, 0, 1, h), pressed ? kDeep : kWhite);
  const double d = pressed ? 1 : 0;
  DrawGlyph(c, g, Box{w / 2.0 + d, h / 2.0 + d, std::min(w, h) * 0.3}, pressed ? kAccent : kInk);
  return c;
}

enum class Dir { Up, Down, Left, Right };
std::vector<Pt> TrianglePoints(int w, int h, Dir d) {
  const double x1 = w - 0.5, y1 = h - 0.5, x0 = 0.5, y0 = 0.5;
  switch (d) {
    case Dir::Up: return {{w / 2.0, y0}, {x1, y1}, {x0, y1}};
    case Dir::Down: return {{x0, y0}, {x1, y0}, {w / 2.0, y1}};
    case Dir::Left: return {{x0, h / 2.0}, {x1, y0}, {x1, y1}};
    case Dir::Right: return {{x0, y0}, {x1, h / 2.0}, {x0, y1}};
  }
  return {};
}
// Where the glyph sits inside the triangle: at its centroid, sized to fit.
Box TriangleBox(int w, int h, Dir d) {
  double cx = w / 2.0, cy = h / 2.0;
  switch (d) {
    case Dir::Up: cy = h * 0.62; break;
    case Dir::Down: cy = h * 0.38; break;
    case Dir::Left: cx = w * 0.62; break;
    case Dir::Right: cx = w * 0.38; break;
  }
  return Box{cx, cy, std::min(w, h) * 0.2};
}
Canvas TriangleMask(int w, int h, Dir d) {
  Canvas c(w, h, kWhite);
  Fill(c, Polygon(TrianglePoints(w, h, d)), 0x000000, true);
  return c;
}
Canvas TriangleButton(int w, int h, Dir d, const Glyph& g, bool pressed) {
  Canvas c(w, h, kBase);
  Fill(c, Polygon(TrianglePoints(w, h, d)), kDeep, true);
  // The face, one pixel inside the mask's edge.
  std::vector<Pt> p = TrianglePoints(w, h, d);
  const double mx = (p[0].x + p[1].x + p[2].x) / 3, my = (p[0].y + p[1].y + p[2].y) / 3;
  for (Pt& q : p) {
    q.x += (mx - q.x) * 0.12;
    q.y += (my - q.y) * 0.12;
  }
  Fill(c, Polygon(p), [=](double x, double y) {
    const double t = (x / w + y / h) / 2;
    return pressed ? Mix(kDark, kHigh, t) : Mix(Mix(kWhite, kHigh, 0.3), kDark, t);
  });
  Box b = TriangleBox(w, h, d);
  if (pressed) b.cx += 1, b.cy += 1;
  DrawGlyph(c, g, b, pressed ? kHigh : kInk);
  return c;
}

// ---- dialog unit mapping, as the dialogs place their controls ----
int MulDiv(int a, int b, int c) {
  const long long p = static_cast<long long>(a) * b;
  return static_cast<int>((p >= 0 ? p + c / 2 : p - c / 2) / c);
}
struct Units {
  int cx, cy;
};
constexpr Units kSans8{6, 13}, kSystem10{8, 16}, kCourier9{7, 15}, kCourier10{8, 16};
struct PixelSize {
  int w, h;
};
PixelSize ControlPixels(Units u, int x, int y, int cx, int cy) {
  return {MulDiv(x + cx, u.cx, 4) - MulDiv(x, u.cx, 4), MulDiv(y + cy, u.cy, 8) - MulDiv(y, u.cy, 8)};
}
PixelSize DialogPixels(Units u, int cx, int cy) { return {MulDiv(cx, u.cx, 4), MulDiv(cy, u.cy, 8)}; }

// ---- skins of whole windows ----
// A body lit from the top: highlight at the top edge fading to the blue-grey.
Paint BodyPaint(int h) {
  return [h](double, double y) {
    const double t = y / h;
    return t < 0.25 ? Mix(kHigh, kBase, t / 0.25) : Mix(kBase, Mix(kBase, kDark, 0.5), (t - 0.25) / 0.75);
  };
}
// A sunken panel: dark well with a light lower-right rim.
void Recess(Canvas& c, double x0, double y0, double x1, double y1, double r) {
  Fill(c, RoundRect(x0, y0, x1 + 1, y1 + 1, r), kHigh);
  Fill(c, RoundRect(x0, y0, x1, y1, r), kDeep);
  Fill(c, RoundRect(x0 + 1, y0 + 1, x1, y1, r), kDark);
}

constexpr int kMainW = 626, kMainH = 442, kBackW = 614;
Shape MainShape() {
  Shape body = RoundRect(0, 0, kBackW, kMainH, 26);
  // A shallow bay in the top edge above the command row.
  body = Minus(body, RoundRect(352, -20, 540, 12, 10));
  // The control pad at the top left swells out of the body's corner.
  return Or(body, Circle(54, 62, 52));
}
Canvas MainMask() {
  Canvas c(kMainW, kMainH, kWhite);
  Fill(c, MainShape(), 0x000000, true);
  return c;
}
Canvas ViewMask() {
  Canvas c(kMainW, kMainH, kWhite);
  Fill(c, Rect(64, 103, 600, 397), 0x000000, true);
  return c;
}
Canvas MainBack() {
  Canvas c(kBackW, kMainH, kBase);
  Fill(c, Rect(0, 0, kBackW, kMainH), BodyPaint(kMainH));
  Fill(c, Minus(RoundRect(2, 2, kBackW - 2, kMainH - 2, 24), RoundRect(4, 4, kBackW - 4, kMainH - 4, 22)),
       Mix(kHigh, kWhite, 0.3));
  // The pad behind the four triangle buttons.
  Fill(c, Circle(54, 62, 50), kDeep);
  Fill(c, Circle(54, 62, 48), [](double x, double y) { return Mix(kDark, kBase, (y - 14) / 96 * 0.8 + (x - 6) / 96 * 0.2); });
  Fill(c, Arc(54, 62, 44, 47, 100, 170), kHigh);
  // Menu strip, command row and window buttons.
  Recess(c, 112, 31, 330, 60, 6);
  Recess(c, 120, 56, 466, 98, 20);
  Recess(c, 555, 31, 605, 58, 8);
  // Frame of the view area.
  Recess(c, 56, 96, 607, 404, 6);
  Fill(c, Rect(62, 101, 602, 399), kDeep);
  // Status line and player wells along the bottom.
  Recess(c, 50, 413, 598, 440, 8);
  // Grip lines at the right of the command row.
  for (int i = 0; i < 4; ++i) Fill(c, Capsule(486 + 8 * i, 64, 486 + 8 * i, 90, 1.2), i % 2 ? kDark : kHigh);
  return c;
}

Canvas ShapedMask(int w, int h, double r) {
  Canvas c(w, h, kWhite);
  Fill(c, RoundRect(0, 0, w, h, r), 0x000000, true);
  return c;
}
Canvas ShapedBack(int w, int h, double r) {
  Canvas c(w, h, kBase);
  Fill(c, Rect(0, 0, w, h), BodyPaint(h));
  Fill(c, Minus(RoundRect(1, 1, w - 1, h - 1, r - 1), RoundRect(3, 3, w - 3, h - 3, r - 3)), Mix(kHigh, kWhite, 0.3));
  return c;
}

// Product emblem: a disc under a lens, shared by the logo and the icon.
void Emblem(Canvas& c, double cx, double cy, double r) {
  Fill(c, Circle(cx, cy, r), kDeep);
  Fill(c, Circle(cx, cy, r * 0.94), [=](double x, double y) {
    const double a = std::atan2(y - cy, x - cx);
    return Mix(kHigh, kWhite, 0.5 + 0.5 * std::sin(3 * a));
  });
  Fill(c, Circle(cx, cy, r * 0.3), kBase);
  Fill(c, Circle(cx, cy, r * 0.12), kDeep);
  Fill(c, Arc(cx, cy, r * 0.5, r * 0.62, 20, 80), kWhite);
}

Canvas AboutLogo() {
  Canvas c(200, 100, kBase);
  Emblem(c, 50, 50, 40);
  // Track marks running out of the disc like a table of contents.
  for (int i = 0; i < 4; ++i) {
    const double y = 26 + i * 16;
    Fill(c, Capsule(104, y, 104 + 80 - i * 14, y, 4), i == 0 ? kAccent : kHigh);
  }
  return c;
}
Canvas AboutCorner() {
  Canvas c(25, 25, kBase);
  Fill(c, Circle(12.5, 12.5, 11.5), kDark);
  DrawGlyph(c, kCross, Box{12.5, 12.5, 6}, kInk);
  return c;
}

// ---- icons ----
Canvas FolderIcon(bool open) {
  Canvas c(16, 16, 0, true);
  const Color front = open ? Mix(kHigh, kWhite, 0.45) : kHigh;
  Fill(c, Polygon({{1, 3}, {6, 3}, {7.5, 4.5}, {15, 4.5}, {15, 14}, {1, 14}}), kDark);
  Fill(c, Polygon({{1.8, 3.8}, {5.7, 3.8}, {7.2, 5.3}, {14.2, 5.3}, {14.2, 13.2}, {1.8, 13.2}}), kBase);
  if (open)
    Fill(c, Polygon({{3.5, 7}, {15.8, 7}, {13.8, 14}, {1, 14}}), front);
  else
    Fill(c, Rect(1.8, 6.5, 14.2, 13.2), front);
  return c;
}
Canvas FileIcon() {
  Canvas c(16, 16, 0, true);
  Fill(c, Polygon({{3, 1}, {10, 1}, {13.5, 4.5}, {13.5, 15}, {3, 15}}), kDark);
  Fill(c, Polygon({{3.8, 1.8}, {9.6, 1.8}, {12.7, 4.9}, {12.7, 14.2}, {3.8, 14.2}}), kWhite);
  Fill(c, Polygon({{9.6, 1.8}, {12.7, 4.9}, {9.6, 4.9}}), kHigh);
  for (int i = 0; i < 3; ++i) Fill(c, Rect(5.5, 7 + 2.2 * i, 11, 7.9 + 2.2 * i), kBase);
  return c;
}
Canvas TrackIcon(bool audio) {
  Canvas c(16, 16, 0, true);
  Fill(c, Circle(8, 8, 7.5), kDark);
  Fill(c, Circle(8, 8, 6.7), audio ? Mix(kHigh, kAccent, 0.25) : kHigh);
  Fill(c, Circle(8, 8, 2.2), kDark);
  // Clear the centre hole.
  for (int y = 6; y <= 9; ++y)
    for (int x = 6; x <= 9; ++x)
      if ((x + 0.5 - 8) * (x + 0.5 - 8) + (y + 0.5 - 8) * (y + 0.5 - 8) <= 1.3) c.alpha[y * 16 + x] = 0;
  if (audio) {
    // A note over the lower right.
    Fill(c, Circle(10.5, 12.5, 2.3), kDeep);
    Fill(c, Rect(12, 4, 13.3, 12.5), kDeep);
    Fill(c, Polygon({{12, 4}, {15.5, 5.5}, {15.5, 7.2}, {12, 5.7}}), kDeep);
  } else {
    // Data blocks over the lower right.
    Fill(c, Rect(9.5, 9.5, 15.5, 15.5), kDeep);
    Fill(c, Rect(10.5, 10.5, 12.2, 12.2), kWhite);
    Fill(c, Rect(12.8, 10.5, 14.5, 12.2), kWhite);
    Fill(c, Rect(10.5, 12.8, 12.2, 14.5), kWhite);
  }
  return c;
}
// The emblem at any square size: 32 for the window icon, the desktop's
// icon theme sizes for the launcher.
Canvas AppIcon(int size = 32) {
  Canvas c(size, size, 0, true);
  Emblem(c, size / 2.0, size / 2.0, size * 15.5 / 32);
  return c;
}
// Pointing arrow with its hot spot in the top-left pixel.
Canvas HandCursor() {
  Canvas c(32, 32, 0, true);
  std::vector<Pt> arrow = {{0, 0}, {0, 17}, {4.5, 13}, {7.5, 20}, {10.5, 18.8}, {7.6, 12}, {13, 12}};
  Fill(c, Polygon(arrow), kDeep);
  std::vector<Pt> inner = {{1.2, 2.8}, {1.2, 14.2}, {4.8, 11}, {8, 18.3}, {9.1, 17.8}, {6, 10.8}, {10.2, 10.8}};
  Fill(c, Polygon(inner), kHigh);
  return c;
}

// ---- BMP writing ----
void Put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// Palette of the 8-bit pictures: ramps through the product's colours plus a
// grey ramp, so the quantised art keeps its gradients.
std::vector<Color> EightBitPalette() {
  std::vector<Color> p;
  const Color stops[] = {0x000000, kDeep, kDark, kBase, kHigh, kWhite};
  for (int s = 0; s + 1 < 6; ++s)
    for (int i = 0; i < 32; ++i) p.push_back(Mix(stops[s], stops[s + 1], i / 32.0));
  for (int i = 0; i < 48; ++i) p.push_back(Mix(kHigh, kAccent, i / 47.0));
  for (int i = 0; i < 48; ++i) p.push_back(Mix(kBase, kAccent, i / 47.0));
  p.push_back(kWhite);
  while (p.size() < 256) p.push_back(Mix(0x000000, kWhite, (p.size() - 209) / 46.0));
  p.resize(256);
  return p;
}
int Nearest(const std::vector<Color>& pal, Color c) {
  int best = 0;
  long bestD = 1L << 40;
  for (std::size_t i = 0; i < pal.size(); ++i) {
    const long dr = R(c) - R(pal[i]), dg = G(c) - G(pal[i]), db = B(c) - B(pal[i]);
    const long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (d < bestD) bestD = d, best = static_cast<int>(i);
  }
  return best;
}

std::string EncodeBmp(const Canvas& c, int bpp) {
  std::vector<Color> pal;
  if (bpp == 1) pal = {0x000000, kWhite};
  if (bpp == 8) pal = EightBitPalette();
  const std::uint32_t stride = ((c.w * bpp + 31) / 32) * 4;
  const std::uint32_t offBits = 14 + 40 + static_cast<std::uint32_t>(pal.size()) * 4;
  std::string s;
  s += "BM";
  Put32(s, offBits + stride * c.h);
  Put32(s, 0);
  Put32(s, offBits);
  Put32(s, 40);
  Put32(s, c.w);
  Put32(s, c.h);  // bottom-up, as resource compilers store them
  Put16(s, 1);
  Put16(s, bpp);
  Put32(s, 0);
  Put32(s, stride * c.h);
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, static_cast<std::uint32_t>(pal.size()));
  Put32(s, 0);
  for (Color p : pal) Put32(s, p);
  std::map<Color, int> cache;
  for (int y = c.h - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < c.w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * c.w + x;
      const Color p = c.px[i];
      if (bpp == 1) {
        // Only pure white stays white: everything else belongs to the shape.
        if (p == kWhite) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      } else if (bpp == 8) {
        auto it = cache.find(p);
        if (it == cache.end()) it = cache.emplace(p, Nearest(pal, p)).first;
        row[x] = static_cast<char>(it->second);
      } else {
        const std::size_t n = bpp / 8;
        row[x * n] = static_cast<char>(B(p));
        row[x * n + 1] = static_cast<char>(G(p));
        row[x * n + 2] = static_cast<char>(R(p));
        if (bpp == 32) row[x * n + 3] = static_cast<char>(c.alpha[i]);
      }
    }
    s += row;
  }
  return s;
}

enum class Kind { Bitmap, Icon, Cursor };
struct Output {
  int id;
  Kind kind;
  std::string bmp;
};

}  // namespace

int main(int argc, char** argv) {
  // tessal_skin_gen --app-icon <size> <file.bmp>: the application icon alone,
  // 32-bit with alpha, for the desktop's icon theme.
  if (argc == 4 && std::string(argv[1]) == "--app-icon") {
    const int size = std::atoi(argv[2]);
    if (size < 8 || size > 1024) {
      std::cerr << "tessal_skin_gen: icon size must be 8 to 1024\n";
      return 2;
    }
    const std::string bmp = EncodeBmp(AppIcon(size), 32);
    std::ofstream f(argv[3], std::ios::binary);
    f.write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    return f ? 0 : 1;
  }
  if (argc != 2) {
    std::cerr << "usage: tessal_skin_gen <output folder>\n"
                 "       tessal_skin_gen --app-icon <size> <file.bmp>\n";
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<Output> out;
  auto bitmap = [&](int id, const Canvas& c, int bpp) { out.push_back({id, Kind::Bitmap, EncodeBmp(c, bpp)}); };

  // Main window: its skin and its buttons, at their template rectangles.
  bitmap(171, MainMask(), 1);
  bitmap(211, ViewMask(), 1);
  bitmap(217, MainBack(), 24);
  struct Round {
    int normal, pressed, x, y, cx, cy;
    Glyph glyph;
  };
  const Round rounds[] = {
      {142, 144, 85, 36, 22, 22, kSelectDevice}, {147, 148, 114, 36, 22, 22, kRefresh},
      {145, 146, 142, 36, 21, 22, kSector},      {149, 150, 170, 36, 21, 22, kToc},
      {173, 174, 199, 36, 21, 22, kSave},        {151, 152, 227, 36, 21, 22, kVolume},
      {193, 194, 256, 36, 21, 22, kDevInfo},     {153, 154, 284, 36, 21, 22, kExit},
  };
  for (const Round& r : rounds) {
    const PixelSize p = ControlPixels(kSans8, r.x, r.y, r.cx, r.cy);
    bitmap(r.normal, RoundButton(p.w, p.h, r.glyph, false, kDark), 24);
    bitmap(r.pressed, RoundButton(p.w, p.h, r.glyph, true, kDark), 24);
  }
  struct Tri {
    int mask, normal, pressed, x, y, cx, cy;
    Dir dir;
    Glyph glyph;
  };
  const Tri tris[] = {
      {177, 179, 180, 14, 15, 21, 22, Dir::Up, kEject},
      {181, 182, 184, 14, 38, 21, 24, Dir::Left, kAbout},
      {188, 189, 190, 37, 38, 21, 24, Dir::Down, kHelp},
      {185, 186, 187, 37, 15, 21, 22, Dir::Right, kCloseTray},
  };
  for (const Tri& t : tris) {
    const PixelSize p = ControlPixels(kSans8, t.x, t.y, t.cx, t.cy);
    bitmap(t.mask, TriangleMask(p.w, p.h, t.dir), 1);
    bitmap(t.normal, TriangleButton(p.w, p.h, t.dir, t.glyph, false), 24);
    bitmap(t.pressed, TriangleButton(p.w, p.h, t.dir, t.glyph, true), 24);
  }
  {
    const PixelSize mn = ControlPixels(kSans8, 375, 23, 8, 9), cl = ControlPixels(kSans8, 390, 23, 8, 9);
    bitmap(207, RoundButton(mn.w, mn.h, kMinimize, false, kDark), 24);
    bitmap(206, RoundButton(cl.w, cl.h, kCross, false, kDark), 24);
  }

  // Device selection: the window is the size of its mask.
  bitmap(158, ShapedMask(291, 186, 22), 1);
  {
    Canvas back = ShapedBack(291, 186, 22);
    Recess(back, 5, 5, 277, 149, 4);
    bitmap(219, back, 24);
    const PixelSize ok = ControlPixels(kSystem10, 90, 73, 16, 16), cancel = ControlPixels(kSystem10, 113, 73, 16, 16);
    bitmap(160, RoundButton(ok.w, ok.h, kCheck, false), 24);
    bitmap(161, RoundButton(ok.w, ok.h, kCheck, true), 24);
    bitmap(162, RoundButton(cancel.w, cancel.h, kCross, false), 24);
    bitmap(163, RoundButton(cancel.w, cancel.h, kCross, true), 24);
  }

  // Progress dialog, sized as its template.
  {
    const PixelSize p = DialogPixels(kCourier9, 190, 55);
    bitmap(175, ShapedMask(p.w, p.h, 16), 1);
    Canvas back = ShapedBack(p.w, p.h, 16);
    Recess(back, 7, 6, 326, 36, 4);
    Recess(back, 9, 43, 326, 58, 3);
    bitmap(218, back, 24);
  }

  // Disc scan, sized as its template.
  {
    const PixelSize p = DialogPixels(kCourier10, 200, 142);
    bitmap(237, ShapedMask(p.w, p.h, 20), 1);
    Canvas back = ShapedBack(p.w, p.h, 20);
    Recess(back, 17, 41, 382, 226, 4);
    Recess(back, 17, 228, 382, 247, 3);
    bitmap(238, back, 24);
  }

  // About box pictures.
  bitmap(215, AboutCorner(), 8);
  bitmap(216, AboutLogo(), 8);

  // Audio player buttons, at their template rectangles.
  struct Plate {
    int normal, second, x;
    Glyph glyph;
  };
  const Plate plates[] = {{221, 222, 0, kPrevious}, {223, 224, 11, kPlay}, {227, 228, 22, kPause},
                          {229, 230, 33, kStop},    {225, 226, 44, kNext}};
  for (const Plate& p : plates) {
    const PixelSize s = ControlPixels(kSystem10, p.x, 0, 10, 10);
    bitmap(p.normal, PlateButton(s.w, s.h, p.glyph, false), 24);
    bitmap(p.second, PlateButton(s.w, s.h, p.glyph, true), 24);
  }

  // Icons and the cursor carry alpha.
  out.push_back({128, Kind::Icon, EncodeBmp(AppIcon(), 32)});
  out.push_back({198, Kind::Icon, EncodeBmp(FolderIcon(true), 32)});
  out.push_back({199, Kind::Icon, EncodeBmp(FolderIcon(false), 32)});
  out.push_back({200, Kind::Icon, EncodeBmp(FileIcon(), 32)});
  out.push_back({201, Kind::Icon, EncodeBmp(TrackIcon(false), 32)});
  out.push_back({202, Kind::Icon, EncodeBmp(TrackIcon(true), 32)});
  out.push_back({156, Kind::Cursor, EncodeBmp(HandCursor(), 32)});

  // The BMP files, then the source that links them in.
  std::ostringstream src;
  src << "// Generated by tessal_skin_gen; do not edit.\n#include \"res/SkinTable.h\"\n\n";
  const char* kinds[] = {"Bitmap", "Icon", "Cursor"};
  const char* prefixes[] = {"bmp", "ico", "cur"};
  for (const Output& o : out) {
    const char* prefix = prefixes[static_cast<int>(o.kind)];
    const std::string name = std::string(prefix) + std::to_string(o.id) + ".bmp";
    const std::string path = dir + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(o.bmp.data(), static_cast<std::streamsize>(o.bmp.size()));
    if (!f) {
      std::cerr << "tessal_skin_gen: cannot write " << path << "\n";
      return 1;
    }
    const std::string sym = std::string("tessal_skin_") + prefix + std::to_string(o.id);
    src << "__asm__(\".section .rodata\\n.balign 4\\n.global " << sym << "\\n.hidden " << sym << "\\n" << sym
        << ":\\n.incbin \\\"" << path << "\\\"\\n.previous\\n\");\n";
    src << "extern \"C\" const std::uint8_t " << sym << "[];\n";
  }
  src << "\nnamespace res::skin {\nnamespace {\nconst Entry kEntries[] = {\n";
  for (const Output& o : out) {
    const char* prefix = prefixes[static_cast<int>(o.kind)];
    src << "    {" << o.id << ", EntryKind::" << kinds[static_cast<int>(o.kind)] << ", tessal_skin_" << prefix << o.id
        << ", " << o.bmp.size() << "u},\n";
  }
  src << "};\n}  // namespace\n\nstd::span<const Entry> Entries() { return kEntries; }\n\n}  // namespace res::skin\n";
  const std::string cpp = dir + "/SkinEmbedded.cpp";
  std::ofstream f(cpp);
  f << src.str();
  if (!f) {
    std::cerr << "tessal_skin_gen: cannot write " << cpp << "\n";
    return 1;
  }
  return 0;
}
