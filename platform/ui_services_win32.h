#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui_services.h"
#include "platform/windows_api.h"

namespace rariduze {

// Message boxes with MessageBoxW and a yield that pumps this thread's Win32 messages.
// The styles the program uses are MessageBoxW's own flags (0 OK, 16 OK and stop icon, 64 OK and
// information icon, 68 Yes/No and information icon), and its answers are the program's codes
// (1 OK, 6 Yes, 7 No). A box belongs to the innermost window that asked for boxes (the main
// window, or the settings dialog while it is open), which it keeps disabled while it is up, and
// it takes the foreground.
class Win32UiServices : public UiServices {
 public:
  // Dispatches every pending message, then returns; a WM_QUIT is put back for the main loop.
  void Yield() override;

  // Messages a window handles before they are translated and dispatched (keyboard navigation
  // between controls); true when the message was used up.
  using MessageFilter = std::function<bool(MSG&)>;
  void SetMessageFilter(MessageFilter filter) { filter_ = std::move(filter); }
  // Dispatches one message as the main loop and the yield do.
  void Dispatch(MSG& message);

  // Boxes shown while an owner is pushed belong to it.
  void PushOwner(HWND owner) { owners_.push_back(owner); }
  void PopOwner() {
    if (!owners_.empty()) owners_.pop_back();
  }

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override;

 private:
  MessageFilter filter_;
  std::vector<HWND> owners_;
};

// What the windows of the Win32 front end share: the text a window or control shows, and the
// system's message font at a resolution (what buttons and captions are written in; nullptr
// when the system does not say).
std::wstring WindowText(HWND window);
HFONT CreateMessageFont(int dpi);

}  // namespace rariduze
