#include <windows.h>

#include <cstdlib>

#include "tests/support/stand_in_desktop.h"

namespace rariduze::testing {

void ActOnDesktop() {
  const char* broadcast = std::getenv("RARIDUZE_STAND_IN_BROADCAST");
  if (broadcast == nullptr || broadcast[0] == '\0') return;
  // SendMessage, not SendMessageTimeout: a window that never answers holds it for ever.
  ::SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
}

}  // namespace rariduze::testing
