#include "platform/number_text.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {

std::string UserDecimalSeparator() {
  wchar_t separator[8] = {};
  int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
  if (length <= 1) return ".";
  return Narrow(separator, static_cast<std::size_t>(length - 1));
}

}  // namespace rariduze
