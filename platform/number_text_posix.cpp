#include <langinfo.h>
#include <locale.h>

#include "platform/number_text.h"

namespace rariduze {

std::string UserDecimalSeparator() {
  // The user's locale from the environment, without touching the process-wide locale.
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return ".";
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  std::string separator = (radix != nullptr && *radix != '\0') ? radix : ".";
  freelocale(user);
  return separator;
}

}  // namespace rariduze
