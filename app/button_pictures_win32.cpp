// The button pictures drawn with GDI.
#include "app/button_pictures_win32.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace rariduze {
namespace {

// Drawn this many times larger, then scaled down with averaging: GDI itself draws no smooth
// edges.
constexpr int kOversample = 4;

COLORREF Gdi(PictureColour colour) { return RGB(colour.red, colour.green, colour.blue); }

// Design units scaled to the canvas.
class Canvas {
 public:
  Canvas(HDC dc, int side) : dc_(dc), scale_(side / 100.0) {}

  int X(double design) const { return static_cast<int>(std::lround(design * scale_)); }
  POINT At(DesignPoint p) const { return POINT{X(p.x), X(p.y)}; }

  void Draw(const PictureShape& shape) {
    if (shape.kind == PictureShape::Kind::kArc) {
      Arc(shape);
      return;
    }
    HBRUSH brush = ::CreateSolidBrush(Gdi(shape.fill));
    HPEN pen = shape.outline_width > 0
                   ? ::CreatePen(PS_SOLID, std::max(1, X(shape.outline_width)), Gdi(shape.outline))
                   : static_cast<HPEN>(::GetStockObject(NULL_PEN));
    HGDIOBJ old_brush = ::SelectObject(dc_, brush);
    HGDIOBJ old_pen = ::SelectObject(dc_, pen);
    std::vector<POINT> points;
    for (const DesignPoint& p : shape.points) points.push_back(At(p));
    switch (shape.kind) {
      case PictureShape::Kind::kPolygon:
        ::Polygon(dc_, points.data(), static_cast<int>(points.size()));
        break;
      case PictureShape::Kind::kEllipse:
        ::Ellipse(dc_, points[0].x, points[0].y, points[1].x, points[1].y);
        break;
      default:
        ::Rectangle(dc_, points[0].x, points[0].y, points[1].x, points[1].y);
        break;
    }
    ::SelectObject(dc_, old_brush);
    ::SelectObject(dc_, old_pen);
    ::DeleteObject(brush);
    ::DeleteObject(pen);
  }

 private:
  void Arc(const PictureShape& arc) {
    LOGBRUSH brush{BS_SOLID, Gdi(arc.outline), 0};
    HPEN pen =
        ::ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT,
                       static_cast<DWORD>(std::max(1, X(arc.outline_width))), &brush, 0, nullptr);
    HGDIOBJ old_pen = ::SelectObject(dc_, pen);
    ::SetArcDirection(dc_, AD_COUNTERCLOCKWISE);
    const POINT start = At(OnCircle(arc.centre, arc.radius, arc.from_degrees));
    const POINT end = At(OnCircle(arc.centre, arc.radius, arc.to_degrees));
    ::Arc(dc_, X(arc.centre.x - arc.radius), X(arc.centre.y - arc.radius),
          X(arc.centre.x + arc.radius), X(arc.centre.y + arc.radius), start.x, start.y, end.x,
          end.y);
    ::SelectObject(dc_, old_pen);
    ::DeleteObject(pen);
  }

  HDC dc_;
  double scale_;
};

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

  Canvas canvas(canvas_dc, big);
  for (const PictureShape& shape : ButtonPictureShapes(picture, enabled)) canvas.Draw(shape);

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
