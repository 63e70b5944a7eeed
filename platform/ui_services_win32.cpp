#include "platform/ui_services_win32.h"

#include <algorithm>

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
  // A box that follows a program which had the foreground (the installer) must take it back,
  // or it comes up behind other windows and takes no keys until it is clicked. Windows gives it
  // for MB_SETFOREGROUND. Wine's X11 driver dates the box's request for the keyboard with the
  // time of the last message this thread took, which after a wait without messages is older
  // than the other program's, and the X server ignores it: a message of our own, taken at
  // once, brings that time up to now.
  static const UINT refresh_message = ::RegisterWindowMessageW(L"RARiduzeMessageTime");
  if (refresh_message != 0 && ::PostThreadMessageW(::GetCurrentThreadId(), refresh_message, 0, 0)) {
    MSG taken;
    ::PeekMessageW(&taken, reinterpret_cast<HWND>(-1), refresh_message, refresh_message, PM_REMOVE);
  }
  const std::wstring wide_text = Widen(text);
  const std::wstring wide_title = Widen(title);
  const int answer = ::MessageBoxW(owner, wide_text.c_str(), wide_title.c_str(),
                                   static_cast<UINT>(style) | MB_SETFOREGROUND);
  switch (answer) {
    case IDYES:
      return kAnswerYes;
    case IDNO:
      return kAnswerNo;
    default:
      return kAnswerOk;
  }
}

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(std::max(0, length)) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(0, copied)));
  return text;
}

HFONT CreateMessageFont(int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                   static_cast<UINT>(dpi))) {
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return nullptr;
}

}  // namespace rariduze
