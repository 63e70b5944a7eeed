#include "app/button_pictures.h"

#include <cmath>
#include <initializer_list>

namespace rariduze {
namespace {

constexpr double kPi = 3.14159265358979323846;

using Kind = PictureShape::Kind;

constexpr PictureColour kWhite{255, 255, 255};

class Shapes {
 public:
  void Polygon(std::initializer_list<DesignPoint> corners, PictureColour fill,
               PictureColour outline, double outline_width) {
    Add(Kind::kPolygon, corners, fill, outline, outline_width);
  }
  void Ellipse(double left, double top, double right, double bottom, PictureColour fill,
               PictureColour outline, double outline_width) {
    Add(Kind::kEllipse, {{left, top}, {right, bottom}}, fill, outline, outline_width);
  }
  void Rectangle(double left, double top, double right, double bottom, PictureColour fill,
                 PictureColour outline, double outline_width) {
    Add(Kind::kRectangle, {{left, top}, {right, bottom}}, fill, outline, outline_width);
  }
  void Arc(DesignPoint centre, double radius, double from, double to, PictureColour colour,
           double width) {
    PictureShape arc;
    arc.kind = Kind::kArc;
    arc.centre = centre;
    arc.radius = radius;
    arc.from_degrees = from;
    arc.to_degrees = to;
    arc.outline = colour;
    arc.outline_width = width;
    shapes_.push_back(arc);
  }
  std::vector<PictureShape> Take() { return std::move(shapes_); }

 private:
  void Add(Kind kind, std::initializer_list<DesignPoint> points, PictureColour fill,
           PictureColour outline, double outline_width) {
    PictureShape shape;
    shape.kind = kind;
    shape.points = points;
    shape.fill = fill;
    shape.outline = outline;
    shape.outline_width = outline_width;
    shapes_.push_back(std::move(shape));
  }
  std::vector<PictureShape> shapes_;
};

// A blue disc with a white circling arrow: look again for something new.
void Check(Shapes& s) {
  s.Ellipse(4, 4, 96, 96, {32, 112, 200}, {16, 64, 128}, 3);
  s.Arc({50, 50}, 27, 110, 400, kWhite, 11);
  // The arrow's head at the arc's end (40 degrees, top right), pointing on round the circle.
  s.Polygon({OnCircle({50, 50}, 27, 68), OnCircle({50, 50}, 41, 38), OnCircle({50, 50}, 13, 38)},
            kWhite, kWhite, 0);
  // A small downward arrow in the middle: the update comes down.
  const PictureColour yellow{255, 214, 64};
  s.Polygon({{46, 36}, {54, 36}, {54, 50}, {61, 50}, {50, 62}, {39, 50}, {46, 50}}, yellow, yellow,
            0);
}

// A red octagon with a white square: stop.
void Stop(Shapes& s) {
  const PictureColour red{204, 36, 36};
  s.Polygon({{30, 3}, {70, 3}, {97, 30}, {97, 70}, {70, 97}, {30, 97}, {3, 70}, {3, 30}}, red,
            {120, 16, 16}, 3);
  s.Polygon({{33, 10}, {67, 10}, {90, 33}, {90, 67}, {67, 90}, {33, 90}, {10, 67}, {10, 33}}, red,
            kWhite, 3);
  s.Rectangle(34, 34, 66, 66, kWhite, kWhite, 0);
}

// An open door with a green arrow leaving through it: exit.
void Exit(Shapes& s) {
  s.Rectangle(10, 6, 62, 96, {120, 120, 120}, {70, 70, 70}, 3);
  s.Rectangle(16, 12, 56, 96, {40, 40, 40}, {40, 40, 40}, 0);
  // The door leaf, swung open towards the viewer.
  const PictureColour wood_edge{110, 66, 30};
  s.Polygon({{16, 12}, {44, 20}, {44, 100}, {16, 96}}, {176, 112, 56}, wood_edge, 2);
  s.Ellipse(36, 54, 42, 60, {250, 220, 120}, wood_edge, 1);
  s.Polygon({{50, 44}, {72, 44}, {72, 32}, {96, 54}, {72, 76}, {72, 64}, {50, 64}}, {40, 168, 72},
            {20, 100, 40}, 2);
}

// A disabled picture keeps its shapes in light greys.
PictureColour Greyed(PictureColour colour) {
  const int luminance = (colour.red * 30 + colour.green * 59 + colour.blue * 11) / 100;
  const auto grey = static_cast<std::uint8_t>(150 + luminance * 90 / 255);
  return {grey, grey, grey};
}

}  // namespace

DesignPoint OnCircle(DesignPoint centre, double radius, double degrees) {
  return {centre.x + radius * std::cos(degrees * kPi / 180),
          centre.y - radius * std::sin(degrees * kPi / 180)};
}

std::vector<PictureShape> ButtonPictureShapes(ButtonPicture picture, bool enabled) {
  Shapes shapes;
  switch (picture) {
    case ButtonPicture::kCheck:
      Check(shapes);
      break;
    case ButtonPicture::kStop:
      Stop(shapes);
      break;
    case ButtonPicture::kExit:
      Exit(shapes);
      break;
  }
  std::vector<PictureShape> result = shapes.Take();
  if (!enabled) {
    for (PictureShape& shape : result) {
      shape.fill = Greyed(shape.fill);
      shape.outline = Greyed(shape.outline);
    }
  }
  return result;
}

}  // namespace rariduze
