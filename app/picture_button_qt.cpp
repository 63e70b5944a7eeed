#include "app/picture_button_qt.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <algorithm>

namespace rariduze {

void PictureButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionToolButton option;
  initStyleOption(&option);
  const QString caption = option.text;

  // The frame and the picture by the style, the caption by hand so that it can wrap.
  option.text.clear();
  option.toolButtonStyle = Qt::ToolButtonIconOnly;
  const int margin = 4;
  const int text_height = 2 * fontMetrics().height();
  QStyleOptionToolButton frame = option;
  painter.drawComplexControl(QStyle::CC_ToolButton, frame);

  const QRect picture_area(0, margin, width(), height() - text_height - 2 * margin);
  const int side = std::min({iconSize().width(), picture_area.width(), picture_area.height()});
  QRect square(0, 0, side, side);
  square.moveCenter(picture_area.center());
  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  painter.drawPixmap(square, icon().pixmap(QSize(side, side), mode));

  const QRect text_area(margin, height() - text_height - margin, width() - 2 * margin, text_height);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(text_area, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, caption);
}

}  // namespace rariduze
