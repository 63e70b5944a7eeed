#include "platform/http_range.h"

#include <algorithm>
#include <climits>

#include "platform/header_text.h"

namespace rariduze {
namespace {

// Takes the leading digits of text as a number; false when there are none or too many.
bool TakeNumber(std::string_view& text, std::int64_t* value) {
  std::size_t digits = 0;
  *value = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    // 18 digits always fit; a longer number is no position this side can reach.
    if (digits == 18) return false;
    *value = *value * 10 + (text[digits] - '0');
    ++digits;
  }
  text.remove_prefix(digits);
  return digits > 0;
}

}  // namespace

bool RangeRunsToTheEnd(std::string_view content_range, std::int64_t from) {
  constexpr std::string_view kUnit = "bytes";
  std::string_view text = TrimBlanks(content_range);
  if (!StartsWithNoCase(text, kUnit)) return false;
  text = TrimBlanks(text.substr(kUnit.size()));
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (!TakeNumber(text, &first) || first != from || !text.starts_with("-")) return false;
  text.remove_prefix(1);
  if (!TakeNumber(text, &last) || last < first || !text.starts_with("/")) return false;
  text.remove_prefix(1);
  if (text == "*") return true;
  std::int64_t length = 0;
  return TakeNumber(text, &length) && text.empty() && last == length - 1;
}

bool IsHeaderValue(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7f;
  });
}

std::optional<std::int64_t> PositionTarget(std::int64_t position, std::int32_t distance,
                                           const std::string* validator) {
  const std::int64_t target = position + distance;
  if (target < 0 || target > INT32_MAX) return std::nullopt;
  if (target == position) return target;
  if (validator != nullptr && (validator->empty() || !IsHeaderValue(*validator))) {
    return std::nullopt;
  }
  return target;
}

}  // namespace rariduze
