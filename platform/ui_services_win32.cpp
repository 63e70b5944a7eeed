#include "platform/ui_services_win32.h"

#include "platform/wide_text_windows.h"

namespace rariduze {

void Win32UiServices::Dispatch(MSG& message) {
  if (filter_ && filter_(message)) return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

void Win32UiServices::Yield() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The main loop ends the program; a yield deep inside a download must not swallow it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(message);
  }
}

int Win32UiServices::ShowMessageBox(const std::string& text, int style, const std::string& title) {
  HWND owner = owners_.empty() ? nullptr : owners_.back();
  if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
  const std::wstring wide_text = Widen(text);
  const std::wstring wide_title = Widen(title);
  // The style is the box's own flags; nothing is added but the owner.
  const int answer =
      ::MessageBoxW(owner, wide_text.c_str(), wide_title.c_str(), static_cast<UINT>(style));
  switch (answer) {
    case IDYES:
      return kAnswerYes;
    case IDNO:
      return kAnswerNo;
    default:
      return kAnswerOk;
  }
}

}  // namespace rariduze
