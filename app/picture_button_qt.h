#pragma once

#include <QToolButton>

#include "app/button_pictures.h"

namespace rariduze {

// A large button with its picture above a caption that wraps onto a second line when the
// button is too narrow for it, instead of being cut short.
class PictureButton : public QToolButton {
 public:
  PictureButton(ButtonPicture picture, int picture_side, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ButtonPicture picture_;
  int picture_side_;
};

}  // namespace rariduze
