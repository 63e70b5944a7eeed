#pragma once

#include <QRect>
#include <QWidget>
#include <cmath>

namespace rariduze {

// Layouts are given in twips (1/1440 inch): 15 twips per pixel at 96 dots per inch, scaled
// with the screen's real resolution.
inline int TwipsToPixels(const QWidget& widget, double twips, bool vertical = false) {
  const int dpi = vertical ? widget.logicalDpiY() : widget.logicalDpiX();
  return static_cast<int>(std::lround(twips * (dpi > 0 ? dpi : 96) / 1440.0));
}

inline QRect TwipsRect(const QWidget& widget, double left, double top, double width,
                       double height) {
  const int x = TwipsToPixels(widget, left);
  const int y = TwipsToPixels(widget, top, true);
  return QRect(x, y, TwipsToPixels(widget, left + width) - x,
               TwipsToPixels(widget, top + height, true) - y);
}

}  // namespace rariduze
