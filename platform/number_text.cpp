#include "platform/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "platform/text_fields.h"

namespace rariduze {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the decimal number at the start of text (no blanks skipped), 0 when none.
std::size_t NumberPrefixLength(std::string_view text, bool* has_digits) {
  std::size_t i = 0;
  *has_digits = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && IsDigit(text[i])) {
    ++i;
    *has_digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    std::size_t j = i + 1;
    bool fraction = false;
    while (j < text.size() && IsDigit(text[j])) {
      ++j;
      fraction = true;
    }
    if (fraction || *has_digits) i = j;
    *has_digits = *has_digits || fraction;
  }
  if (!*has_digits) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t digits_start = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j > digits_start) i = j;
  }
  return i;
}

double ParseNumberPrefix(std::string_view number) {
  std::string copy(number);
  for (char& c : copy) {
    if (c == 'd' || c == 'D') c = 'e';
  }
  if (!copy.empty() && copy[0] == '+') copy.erase(0, 1);
  double value = 0;
  auto result = std::from_chars(copy.data(), copy.data() + copy.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: keep the sign and the magnitude's direction.
    bool negative = !copy.empty() && copy[0] == '-';
    bool tiny = copy.find_first_of("eE") != std::string::npos &&
                copy.find('-', copy.find_first_of("eE")) != std::string::npos;
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  return value;
}

}  // namespace

double ReadLeadingNumber(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  bool has_digits = false;
  std::size_t length = NumberPrefixLength(text.substr(start), &has_digits);
  if (length == 0) return 0.0;
  return ParseNumberPrefix(text.substr(start, length));
}

bool ParseWholeNumberText(std::string_view text, double* number) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  std::size_t end = text.size();
  while (end > start && IsBlank(text[end - 1])) --end;
  std::string_view core = text.substr(start, end - start);
  bool has_digits = false;
  std::size_t length = NumberPrefixLength(core, &has_digits);
  if (length == 0 || length != core.size()) return false;
  *number = ParseNumberPrefix(core);
  return true;
}

std::string FormatNumber(double value, std::string_view pattern,
                         std::string_view decimal_separator) {
  std::size_t point = pattern.find('.');
  std::size_t decimals = point == std::string_view::npos ? 0 : pattern.size() - point - 1;
  std::string_view integer_pattern = pattern.substr(0, point);
  std::size_t min_integer_digits = 0;
  for (char c : integer_pattern) {
    if (c == '0') ++min_integer_digits;
  }
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");

  // Rounded once, half away from zero, on the shortest decimal text that reads back as the
  // number: 2.675 (held as 2.67499...) rounds as it reads, to 2.68, and 0.124999 to 0.12.
  char text[400];  // the longest such text, of the smallest subnormal, has 326 characters
  const auto written =
      std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::fixed);
  const std::string_view shortest(text, static_cast<std::size_t>(written.ptr - text));
  const std::size_t dot = shortest.find('.');
  std::string digits(shortest.substr(0, dot));
  std::string_view fraction = dot == std::string_view::npos ? "" : shortest.substr(dot + 1);
  const bool round_up = fraction.size() > decimals && fraction[decimals] >= '5';
  digits += fraction.substr(0, std::min(decimals, fraction.size()));
  digits.append(decimals - std::min(decimals, fraction.size()), '0');
  if (round_up) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(0, 1, '1');
    } else {
      ++digits[i - 1];
    }
  }

  if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
  std::string integer_part = digits.substr(0, digits.size() - decimals);
  std::string fraction_part = digits.substr(digits.size() - decimals);
  integer_part.erase(0, std::min(integer_part.find_first_not_of('0'), integer_part.size() - 1));
  if (integer_part == "0" && min_integer_digits == 0) integer_part.clear();
  if (integer_part.size() < min_integer_digits) {
    integer_part.insert(0, min_integer_digits - integer_part.size(), '0');
  }
  bool negative = value < 0 && digits.find_first_not_of('0') != std::string::npos;
  std::string result = negative ? "-" : "";
  result += integer_part;
  if (point != std::string_view::npos) {
    result += decimal_separator;
    result += fraction_part;
  }
  return result;
}

std::string FormatShortestNumber(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace rariduze
