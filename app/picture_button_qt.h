#pragma once

#include <QToolButton>

namespace rariduze {

// A large button with its picture above a caption that wraps onto a second line when the
// button is too narrow for it, instead of being cut short.
class PictureButton : public QToolButton {
 public:
  using QToolButton::QToolButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace rariduze
