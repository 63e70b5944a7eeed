#include "transfer/header_block.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/http_status.h"

namespace rariduze {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return lower;
}

// The value after `name` (found in the lower-cased copy), taken from the headers as received.
// It ends at the line's end; a stray CR or LF inside a line ends it too, so that no line
// break reaches whoever shows the value.
std::optional<std::string_view> HeaderValue(std::string_view headers, std::string_view lower,
                                            std::string_view name) {
  std::size_t at = lower.find(name);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view value = headers.substr(at + name.size());
  return value.substr(0, value.find_first_of("\r\n"));
}

// A length the size can hold: digits only (blanks around allowed) within 0 to 2,147,483,647;
// anything else is no length at all.
std::int32_t ContentLength(std::string_view text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return -1;
  std::size_t end = text.find_last_not_of(" \t") + 1;
  std::string_view digits = text.substr(begin, end - begin);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  std::int64_t value = 0;
  auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || stop != digits.data() + digits.size() || value > INT32_MAX) {
    return -1;
  }
  return static_cast<std::int32_t>(value);
}

// 404 and 410 on the status line say the file is not there, whatever the reason text or
// protocol version.
bool SaysGone(std::string_view headers) {
  const int status = HttpStatusCode(headers.substr(0, headers.find_first_of("\r\n")));
  return status == 404 || status == 410;
}

}  // namespace

RemoteFileInfo ParseHeaderBlock(const char* buffer, std::size_t length) {
  const void* nul = std::memchr(buffer, '\0', length);
  const std::string_view headers(
      buffer,
      nul == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(nul) - buffer));
  const std::string lower = Lower(headers);

  RemoteFileInfo info;
  info.last_modified = HeaderValue(headers, lower, "last-modified: ").value_or(kNotAvailable);
  std::optional<std::string_view> size = HeaderValue(headers, lower, "content-length: ");
  info.size = size ? ContentLength(*size) : -1;
  info.exists =
      headers.find("HTTP/1.1 404 File Not Found") == std::string_view::npos && !SaysGone(headers);
  return info;
}

}  // namespace rariduze
