#include "platform/http_status.h"

namespace rariduze {

int HttpStatusCode(std::string_view status_line) {
  if (!status_line.starts_with("HTTP/")) return 0;
  const std::size_t space = status_line.find(' ');
  if (space == std::string_view::npos || status_line.size() < space + 4) return 0;
  if (status_line.size() > space + 4 && status_line[space + 4] != ' ') return 0;
  int code = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    const char digit = status_line[i];
    if (digit < '0' || digit > '9') return 0;
    code = code * 10 + (digit - '0');
  }
  return code;
}

}  // namespace rariduze
