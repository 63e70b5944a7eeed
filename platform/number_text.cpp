#include "platform/number_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace rariduze {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
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

  // Round half away from zero at the wanted number of decimals.
  double scale = std::pow(10.0, static_cast<double>(decimals));
  // Rounded first to a few more decimals, so that a binary fraction just below a half
  // (2.675 held as 2.67499...) rounds the way its decimal text reads.
  char probe[400];
  std::snprintf(probe, sizeof probe, "%.*f", static_cast<int>(decimals) + 3, std::fabs(value));
  double magnitude = 0;
  std::from_chars(probe, probe + std::char_traits<char>::length(probe), magnitude);
  double scaled = std::floor(magnitude * scale + 0.5);

  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", scaled);
  std::string digits = buffer;
  if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
  std::string integer_part = digits.substr(0, digits.size() - decimals);
  std::string fraction_part = digits.substr(digits.size() - decimals);
  if (integer_part == "0" && min_integer_digits == 0) integer_part.clear();
  if (integer_part.size() < min_integer_digits) {
    integer_part.insert(0, min_integer_digits - integer_part.size(), '0');
  }
  bool negative = value < 0 && scaled != 0;
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
