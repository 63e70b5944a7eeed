#pragma once

#include "app/button_pictures.h"

class QPainter;
class QRect;

namespace rariduze {

// Paints picture into the square, smoothed, over what the painter has drawn there already.
void PaintButtonPicture(QPainter& painter, ButtonPicture picture, const QRect& square,
                        bool enabled);

}  // namespace rariduze
