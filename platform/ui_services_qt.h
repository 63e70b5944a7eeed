#pragma once

#include <vector>

#include "platform/ui_services.h"

class QWidget;

namespace rariduze {

// Message boxes as modal Qt dialogs; the yield processes pending events of the Qt loop.
// A box opens over the innermost window that asked for boxes (the main window, or the
// settings dialog while it is open), when that window shows; otherwise on its own.
class QtUiServices : public UiServices {
 public:
  explicit QtUiServices(QWidget* owner = nullptr);
  void Yield() override;

  // Boxes shown while an owner is pushed open over it.
  void PushOwner(QWidget* owner) { owners_.push_back(owner); }
  void PopOwner() {
    if (!owners_.empty()) owners_.pop_back();
  }

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;

 private:
  std::vector<QWidget*> owners_;
};

}  // namespace rariduze
