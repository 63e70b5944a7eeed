#include "platform/property_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "platform/failure.h"
#include "platform/number_text.h"

namespace rariduze {
namespace {

bool IsNumber(const PropertyValue& v) {
  return std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v) ||
         std::holds_alternative<bool>(v);
}

double NumberOf(const PropertyValue& v) {
  if (const auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  return std::get<double>(v);
}

// Converting a text to a number accepts only a text that is a number as a whole.
double NumberFromValue(const PropertyValue& value) {
  if (IsNumber(value)) return NumberOf(value);
  if (std::holds_alternative<std::monostate>(value)) return 0.0;
  const std::string& text = std::get<std::string>(value);
  double number = 0;
  if (!ParseWholeNumberText(text, &number)) throw RuntimeFailure(kFailureTypeMismatch);
  return number;
}

template <typename Int>
Int ToWhole(const PropertyValue& value) {
  double number = NumberFromValue(value);
  if (std::isnan(number)) throw RuntimeFailure(kFailureOverflow);
  // Whole-number conversion rounds halves to even, like the runtime it replaces.
  double rounded = std::nearbyint(number);
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
    throw RuntimeFailure(kFailureOverflow);
  }
  return static_cast<Int>(rounded);
}

}  // namespace

bool SameValue(const PropertyValue& a, const PropertyValue& b) {
  if (IsNumber(a) && IsNumber(b)) return NumberOf(a) == NumberOf(b);
  return a == b;
}

std::int16_t ToInt16(const PropertyValue& value) { return ToWhole<std::int16_t>(value); }
std::int32_t ToInt32(const PropertyValue& value) { return ToWhole<std::int32_t>(value); }
double ToDouble(const PropertyValue& value) { return NumberFromValue(value); }

bool ToBool(const PropertyValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    std::string lower = *text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "true") return true;
    if (lower == "false") return false;
  }
  return NumberFromValue(value) != 0.0;
}

std::string ToText(const PropertyValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (std::holds_alternative<std::monostate>(value)) return {};
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  return FormatShortestNumber(std::get<double>(value));
}

bool PropertyStore::CaseInsensitiveLess::operator()(const std::string& a,
                                                    const std::string& b) const {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

PropertyValue PropertyStore::Read(const std::string& key,
                                  const PropertyValue& default_value) const {
  auto it = values_.find(key);
  return it == values_.end() ? default_value : it->second;
}

void PropertyStore::Write(const std::string& key, const PropertyValue& value,
                          const PropertyValue& default_value) {
  if (SameValue(value, default_value)) {
    values_.erase(key);
  } else {
    values_[key] = value;
  }
}

bool PropertyStore::Contains(const std::string& key) const { return values_.count(key) != 0; }

}  // namespace rariduze
