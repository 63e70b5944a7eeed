#include <QImage>
#include <QPainter>

#include "app/button_pictures_qt.h"
#include "tests/app/button_picture_canvas.h"

namespace rariduze::testing {

DrawnPicture DrawWithFrontEnd(ButtonPicture picture, int side, bool enabled) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PaintButtonPicture(painter, picture, QRect(0, 0, side, side), enabled);
  }
  DrawnPicture drawn{side, {}};
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const QRgb pixel = image.pixel(x, y);
      drawn.pixels.push_back({static_cast<std::uint8_t>(qRed(pixel)),
                              static_cast<std::uint8_t>(qGreen(pixel)),
                              static_cast<std::uint8_t>(qBlue(pixel))});
    }
  }
  return drawn;
}

}  // namespace rariduze::testing
