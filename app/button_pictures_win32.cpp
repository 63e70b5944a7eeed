#include "app/button_pictures_win32.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace rariduze {
namespace {

// Drawn this many times larger, then scaled down with averaging: GDI itself draws no smooth
// edges.
constexpr int kOversample = 4;
constexpr double kPi = 3.14159265358979323846;

// A disabled picture keeps its shapes in light greys.
COLORREF Shade(COLORREF colour, bool enabled) {
  if (enabled) return colour;
  const int luminance =
      (GetRValue(colour) * 30 + GetGValue(colour) * 59 + GetBValue(colour) * 11) / 100;
  const int grey = 150 + luminance * 90 / 255;
  return RGB(grey, grey, grey);
}

// Coordinates in a 100 x 100 design square, scaled to the drawing.
class Canvas {
 public:
  Canvas(HDC dc, int side, bool enabled) : dc_(dc), scale_(side / 100.0), enabled_(enabled) {}

  int X(double design) const { return static_cast<int>(std::lround(design * scale_)); }

  void Polygon(std::initializer_list<POINT> design, COLORREF fill, COLORREF outline,
               double outline_width) {
    std::vector<POINT> points;
    for (POINT p : design) points.push_back({X(p.x), X(p.y)});
    Select(fill, outline, outline_width);
    ::Polygon(dc_, points.data(), static_cast<int>(points.size()));
    Release();
  }

  void Ellipse(double left, double top, double right, double bottom, COLORREF fill,
               COLORREF outline, double outline_width) {
    Select(fill, outline, outline_width);
    ::Ellipse(dc_, X(left), X(top), X(right), X(bottom));
    Release();
  }

  void Rectangle(double left, double top, double right, double bottom, COLORREF fill,
                 COLORREF outline, double outline_width) {
    Select(fill, outline, outline_width);
    ::Rectangle(dc_, X(left), X(top), X(right), X(bottom));
    Release();
  }

  // An arc of the circle around (cx, cy), counter-clockwise from one angle to another
  // (degrees, 0 pointing right, upwards positive), as a thick line with flat ends.
  void Arc(double cx, double cy, double radius, double from, double to, COLORREF colour,
           double width) {
    LOGBRUSH brush{BS_SOLID, Shade(colour, enabled_), 0};
    HPEN pen = ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT,
                              static_cast<DWORD>(std::max(1, X(width))), &brush, 0, nullptr);
    HGDIOBJ old_pen = ::SelectObject(dc_, pen);
    ::SetArcDirection(dc_, AD_COUNTERCLOCKWISE);
    auto at = [&](double degrees, double r) {
      return POINT{X(cx + r * std::cos(degrees * kPi / 180)),
                   X(cy - r * std::sin(degrees * kPi / 180))};
    };
    const POINT start = at(from, radius);
    const POINT end = at(to, radius);
    ::Arc(dc_, X(cx - radius), X(cy - radius), X(cx + radius), X(cy + radius), start.x, start.y,
          end.x, end.y);
    ::SelectObject(dc_, old_pen);
    ::DeleteObject(pen);
  }

  // A point on the circle around (cx, cy) at an angle, in design units.
  static POINT OnCircle(double cx, double cy, double radius, double degrees) {
    return POINT{static_cast<LONG>(std::lround(cx + radius * std::cos(degrees * kPi / 180))),
                 static_cast<LONG>(std::lround(cy - radius * std::sin(degrees * kPi / 180)))};
  }

 private:
  void Select(COLORREF fill, COLORREF outline, double outline_width) {
    brush_ = ::CreateSolidBrush(Shade(fill, enabled_));
    pen_ = outline_width > 0
               ? ::CreatePen(PS_SOLID, std::max(1, X(outline_width)), Shade(outline, enabled_))
               : static_cast<HPEN>(::GetStockObject(NULL_PEN));
    old_brush_ = ::SelectObject(dc_, brush_);
    old_pen_ = ::SelectObject(dc_, pen_);
  }
  void Release() {
    ::SelectObject(dc_, old_brush_);
    ::SelectObject(dc_, old_pen_);
    ::DeleteObject(brush_);
    ::DeleteObject(pen_);
  }

  HDC dc_;
  double scale_;
  bool enabled_;
  HBRUSH brush_ = nullptr;
  HPEN pen_ = nullptr;
  HGDIOBJ old_brush_ = nullptr;
  HGDIOBJ old_pen_ = nullptr;
};

// A blue disc with a white circling arrow: look again for something new.
void DrawCheck(Canvas& canvas) {
  canvas.Ellipse(4, 4, 96, 96, RGB(32, 112, 200), RGB(16, 64, 128), 3);
  canvas.Arc(50, 50, 27, 110, 400, RGB(255, 255, 255), 11);
  // The arrow's head at the arc's end (40 degrees, top right), pointing on round the circle.
  const POINT tip = Canvas::OnCircle(50, 50, 27, 68);
  const POINT outer = Canvas::OnCircle(50, 50, 41, 38);
  const POINT inner = Canvas::OnCircle(50, 50, 13, 38);
  canvas.Polygon({tip, outer, inner}, RGB(255, 255, 255), RGB(255, 255, 255), 0);
  // A small downward arrow in the middle: the update comes down.
  canvas.Polygon({{46, 36}, {54, 36}, {54, 50}, {61, 50}, {50, 62}, {39, 50}, {46, 50}},
                 RGB(255, 214, 64), RGB(255, 214, 64), 0);
}

// A red octagon with a white square: stop.
void DrawStop(Canvas& canvas) {
  canvas.Polygon({{30, 3}, {70, 3}, {97, 30}, {97, 70}, {70, 97}, {30, 97}, {3, 70}, {3, 30}},
                 RGB(204, 36, 36), RGB(120, 16, 16), 3);
  canvas.Polygon({{33, 10}, {67, 10}, {90, 33}, {90, 67}, {67, 90}, {33, 90}, {10, 67}, {10, 33}},
                 RGB(204, 36, 36), RGB(255, 255, 255), 3);
  canvas.Rectangle(34, 34, 66, 66, RGB(255, 255, 255), RGB(255, 255, 255), 0);
}

// An open door with a green arrow leaving through it: exit.
void DrawExit(Canvas& canvas) {
  canvas.Rectangle(10, 6, 62, 96, RGB(120, 120, 120), RGB(70, 70, 70), 3);
  canvas.Rectangle(16, 12, 56, 96, RGB(40, 40, 40), RGB(40, 40, 40), 0);
  // The door leaf, swung open towards the viewer.
  canvas.Polygon({{16, 12}, {44, 20}, {44, 100}, {16, 96}}, RGB(176, 112, 56), RGB(110, 66, 30), 2);
  canvas.Ellipse(36, 54, 42, 60, RGB(250, 220, 120), RGB(110, 66, 30), 1);
  canvas.Polygon({{50, 44}, {72, 44}, {72, 32}, {96, 54}, {72, 76}, {72, 64}, {50, 64}},
                 RGB(40, 168, 72), RGB(20, 100, 40), 2);
}

}  // namespace

void DrawButtonPicture(HDC dc, ButtonPicture picture, int left, int top, int side, bool enabled) {
  if (side <= 0) return;
  const int big = side * kOversample;
  HDC canvas_dc = ::CreateCompatibleDC(dc);
  HBITMAP bitmap = ::CreateCompatibleBitmap(dc, big, big);
  HGDIOBJ old_bitmap = ::SelectObject(canvas_dc, bitmap);
  // The picture goes over what is already there (a themed button face is no flat colour).
  ::SetStretchBltMode(canvas_dc, COLORONCOLOR);
  ::StretchBlt(canvas_dc, 0, 0, big, big, dc, left, top, side, side, SRCCOPY);

  Canvas canvas(canvas_dc, big, enabled);
  switch (picture) {
    case ButtonPicture::kCheck:
      DrawCheck(canvas);
      break;
    case ButtonPicture::kStop:
      DrawStop(canvas);
      break;
    case ButtonPicture::kExit:
      DrawExit(canvas);
      break;
  }

  // Averaging while scaling down gives the smooth edges.
  const int old_mode = ::SetStretchBltMode(dc, HALFTONE);
  POINT old_origin;
  ::SetBrushOrgEx(dc, 0, 0, &old_origin);
  ::StretchBlt(dc, left, top, side, side, canvas_dc, 0, 0, big, big, SRCCOPY);
  ::SetBrushOrgEx(dc, old_origin.x, old_origin.y, nullptr);
  ::SetStretchBltMode(dc, old_mode);

  ::SelectObject(canvas_dc, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(canvas_dc);
}

}  // namespace rariduze
