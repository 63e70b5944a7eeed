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
