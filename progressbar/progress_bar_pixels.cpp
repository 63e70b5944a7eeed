#include "progressbar/progress_bar_pixels.h"

#include <algorithm>
#include <cmath>

namespace rariduze {
namespace {

// Stored data can hold any number; positions stay within what a screen can show.
double Bounded(double twips) { return std::isfinite(twips) ? std::clamp(twips, -1e7, 1e7) : 0; }

PixelRect Box(double left, double top, double width, double height, int dpi) {
  PixelRect box =
      TwipsToPixelRect(Bounded(left), Bounded(top), Bounded(width), Bounded(height), dpi);
  box.width = std::max(0, box.width);
  box.height = std::max(0, box.height);
  return box;
}

}  // namespace

ProgressBarPixels ProgressBarToPixels(const TeskShapeProgressBar& bar, int dpi) {
  const RectanglePart& background = bar.Avanzamento1();
  const RectanglePart& fill = bar.Avanzamento2();
  const CaptionPart& caption = bar.Avanzamento3();
  ProgressBarPixels pixels;
  pixels.background =
      Box(background.left, background.top, background.width, background.height, dpi);
  const double bar_width = std::clamp(static_cast<double>(fill.width), 0.0,
                                      std::max(0.0, static_cast<double>(background.width)));
  pixels.bar = Box(fill.left, fill.top, bar_width, fill.height, dpi);
  pixels.bar.width = std::min(pixels.bar.width, pixels.background.width);
  pixels.caption = Box(caption.left, caption.top, caption.width, caption.height, dpi);
  return pixels;
}

}  // namespace rariduze
