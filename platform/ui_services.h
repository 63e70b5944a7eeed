#pragma once

#include <string>

namespace rariduze {

inline constexpr const char* kApplicationTitle = "RARiduze";

// Message box styles: buttons plus icon.
enum MessageBoxStyle : int {
  kStyleOk = 0,
  kStyleOkStop = 16,
  kStyleOkInformation = 64,
  kStyleYesNoInformation = 68,
};

// Answer codes of a message box.
enum MessageBoxAnswer : int {
  kAnswerOk = 1,
  kAnswerYes = 6,
  kAnswerNo = 7,
};

// What the program needs of the desktop's user interface: modal boxes and a yield that lets
// pending clicks, menu commands and the close box be dispatched before control returns.
class UiServices {
 public:
  virtual ~UiServices() = default;

  // An empty title shows the application's title.
  int MessageBox(const std::string& text, int style, const std::string& title = {}) {
    return ShowMessageBox(text, style, title.empty() ? std::string(kApplicationTitle) : title);
  }
  virtual void Yield() = 0;

 protected:
  virtual int ShowMessageBox(const std::string& text, int style, const std::string& title) = 0;
};

// For code that runs without a desktop: yields do nothing, every box answers OK (or No).
class HeadlessUiServices : public UiServices {
 public:
  void Yield() override {}

 protected:
  int ShowMessageBox(const std::string&, int style, const std::string&) override {
    return style == kStyleYesNoInformation ? kAnswerNo : kAnswerOk;
  }
};

}  // namespace rariduze
