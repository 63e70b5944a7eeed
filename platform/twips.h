#pragma once

#include <cmath>

namespace rariduze {

// Layouts are given in twips (1/1440 inch): 15 twips per pixel at 96 dots per inch, scaled
// with the real resolution of the screen the window is on.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kStandardDpi = 96;

// A rectangle in device pixels.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool operator==(const PixelRect&) const = default;
};

inline int TwipsToPixels(double twips, int dpi) {
  return static_cast<int>(std::lround(twips * (dpi > 0 ? dpi : kStandardDpi) / kTwipsPerInch));
}

inline double PixelsToTwips(int pixels, int dpi) {
  return static_cast<double>(pixels) * kTwipsPerInch / (dpi > 0 ? dpi : kStandardDpi);
}

// Each edge is rounded on its own, so controls that meet in twips meet in pixels too.
inline PixelRect TwipsToPixelRect(double left, double top, double width, double height, int dpi) {
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return PixelRect{x, y, TwipsToPixels(left + width, dpi) - x,
                   TwipsToPixels(top + height, dpi) - y};
}

}  // namespace rariduze
