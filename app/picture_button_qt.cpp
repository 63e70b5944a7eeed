#include "app/picture_button_qt.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

#include "app/button_pictures_qt.h"
#include "app/main_window_layout.h"
#include "platform/pixel_rect_qt.h"

namespace rariduze {

PictureButton::PictureButton(ButtonPicture picture, int picture_side, QWidget* parent)
    : QToolButton(parent), picture_(picture), picture_side_(picture_side) {}

void PictureButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionToolButton option;
  initStyleOption(&option);
  const QString caption = option.text;

  // The frame by the style, the picture and the caption by hand, as the Win32 window has them.
  option.text.clear();
  option.toolButtonStyle = Qt::ToolButtonIconOnly;
  painter.drawComplexControl(QStyle::CC_ToolButton, option);

  const ButtonFaceLayout face = LayOutButtonFace(width(), height(), fontMetrics().height(),
                                                 picture_side_, logicalDpiX(), isDown());
  PaintButtonPicture(painter, picture_, ToQRect(face.picture), isEnabled());
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(ToQRect(face.caption), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap,
                   caption);
}

}  // namespace rariduze
