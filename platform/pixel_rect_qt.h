#pragma once

#include <QRect>

#include "platform/twips.h"

namespace rariduze {

// A place worked out by the toolkit-free layouts, as Qt takes it.
inline QRect ToQRect(const PixelRect& rect) {
  return QRect(rect.left, rect.top, rect.width, rect.height);
}

}  // namespace rariduze
