#pragma once

#include <cstdint>
#include <vector>

#include "app/button_pictures.h"

namespace rariduze::testing {

// A picture as a front end draws it, on a white square of side pixels.
struct DrawnPicture {
  int side = 0;
  std::vector<PictureColour> pixels;  // row by row
  PictureColour At(int x, int y) const { return pixels[static_cast<std::size_t>(y * side + x)]; }
};

// Draws picture with this build's front end: QPainter on Linux, GDI on Windows.
DrawnPicture DrawWithFrontEnd(ButtonPicture picture, int side, bool enabled);

}  // namespace rariduze::testing
