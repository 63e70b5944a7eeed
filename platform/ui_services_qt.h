#pragma once

#include "platform/ui_services.h"

class QWidget;

namespace rariduze {

// Message boxes as modal Qt dialogs; the yield processes pending events of the Qt loop.
class QtUiServices : public UiServices {
 public:
  explicit QtUiServices(QWidget* parent = nullptr) : parent_(parent) {}
  void Yield() override;

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;

 private:
  QWidget* parent_;
};

}  // namespace rariduze
