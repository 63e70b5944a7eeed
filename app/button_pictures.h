#pragma once

#include <cstdint>
#include <vector>

namespace rariduze {

// The pictures on frmMain's three buttons, the project's own, described once as shapes in a
// 100 x 100 design square (y downwards) that each front end draws at any size.
enum class ButtonPicture { kCheck, kStop, kExit };

struct PictureColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const PictureColour&) const = default;
};

struct DesignPoint {
  double x = 0, y = 0;
};

// One shape, drawn over the ones before it. Polygons, ellipses and rectangles are filled and,
// when outline_width > 0, outlined (the pen centred on the edge); an arc is a line only, with
// flat ends.
struct PictureShape {
  enum class Kind { kPolygon, kEllipse, kRectangle, kArc };
  Kind kind = Kind::kPolygon;
  // Polygon: its corners. Ellipse and rectangle: the top left and bottom right corners of the
  // box.
  std::vector<DesignPoint> points;
  // Arc: counter-clockwise around centre from one angle to another (degrees, 0 pointing right,
  // upwards positive).
  DesignPoint centre;
  double radius = 0, from_degrees = 0, to_degrees = 0;
  PictureColour fill;
  PictureColour outline;  // the arc's colour too
  double outline_width = 0;
};

// The point at an angle (degrees, as an arc's) on the circle of radius around centre.
DesignPoint OnCircle(DesignPoint centre, double radius, double degrees);

// The shapes of a picture, back to front. A disabled picture keeps its shapes in light greys.
std::vector<PictureShape> ButtonPictureShapes(ButtonPicture picture, bool enabled);

}  // namespace rariduze
