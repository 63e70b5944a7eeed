#include "platform/header_text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace rariduze {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsControlOrBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= ' ' || u == 0x7f;
}

}  // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool HostIsPlain(std::string_view host) {
  return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
    return IsControlOrBlank(c) || c == '@' || c == '/' || c == '?' || c == '#' || c == '\\';
  });
}

std::optional<std::pair<std::string, std::uint16_t>> SplitHostPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  const std::size_t bracket = text.rfind(']');
  if (colon == std::string_view::npos || (bracket != std::string_view::npos && bracket > colon)) {
    return std::make_pair(std::string(text), std::uint16_t{0});
  }
  const std::string_view digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  unsigned long port = 0;
  for (char c : digits) port = port * 10 + static_cast<unsigned long>(c - '0');
  if (port == 0 || port > 65535) return std::nullopt;
  return std::make_pair(std::string(text.substr(0, colon)), static_cast<std::uint16_t>(port));
}

bool PathIsPlain(std::string_view path) {
  return std::none_of(path.begin(), path.end(), IsControlOrBlank);
}

bool CopyText(std::string_view text, char* buffer, std::uint32_t* length) {
  if (text.size() + 1 > *length) {
    *length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size() + 1, UINT32_MAX));
    return false;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *length = static_cast<std::uint32_t>(text.size());
  return true;
}

}  // namespace rariduze
