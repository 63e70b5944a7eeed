// The button pictures drawn with QPainter.
#include "app/button_pictures_qt.h"

#include <QPainter>
#include <QPolygonF>

namespace rariduze {
namespace {

QColor ToQColor(PictureColour colour) { return QColor(colour.red, colour.green, colour.blue); }

QPointF At(DesignPoint point) { return QPointF(point.x, point.y); }

}  // namespace

void PaintButtonPicture(QPainter& painter, ButtonPicture picture, const QRect& square,
                        bool enabled) {
  if (square.width() <= 0 || square.height() <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(square.topLeft());
  painter.scale(square.width() / 100.0, square.height() / 100.0);
  for (const PictureShape& shape : ButtonPictureShapes(picture, enabled)) {
    if (shape.kind == PictureShape::Kind::kArc) {
      painter.setPen(
          QPen(ToQColor(shape.outline), shape.outline_width, Qt::SolidLine, Qt::FlatCap));
      painter.setBrush(Qt::NoBrush);
      const QPointF corner(shape.radius, shape.radius);
      painter.drawArc(QRectF(At(shape.centre) - corner, At(shape.centre) + corner),
                      static_cast<int>(shape.from_degrees * 16),
                      static_cast<int>((shape.to_degrees - shape.from_degrees) * 16));
      continue;
    }
    if (shape.outline_width > 0) {
      painter.setPen(QPen(ToQColor(shape.outline), shape.outline_width, Qt::SolidLine, Qt::RoundCap,
                          Qt::RoundJoin));
    } else {
      painter.setPen(Qt::NoPen);
    }
    painter.setBrush(ToQColor(shape.fill));
    QPolygonF corners;
    for (const DesignPoint& point : shape.points) corners << At(point);
    switch (shape.kind) {
      case PictureShape::Kind::kPolygon:
        painter.drawPolygon(corners);
        break;
      case PictureShape::Kind::kEllipse:
        painter.drawEllipse(QRectF(corners[0], corners[1]));
        break;
      default:
        painter.drawRect(QRectF(corners[0], corners[1]));
        break;
    }
  }
  painter.restore();
}

}  // namespace rariduze
