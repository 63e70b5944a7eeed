#include "progressbar/progress_bar_values.h"

#include <cmath>
#include <variant>

#include "platform/failure.h"

namespace rariduze {

bool IsPointerCode(int code) { return (code >= 0 && code <= 15) || code == kPointerCustom; }

namespace progress_bar_values {

void Fail(int number) { throw RuntimeFailure(number, {}, kSource); }

std::int16_t Narrow16(std::int32_t value) {
  if (value < INT16_MIN || value > INT16_MAX) Fail(kFailureOverflow);
  return static_cast<std::int16_t>(value);
}

std::int16_t CheckedAlignment(std::int16_t value) {
  if (value < kAlignLeft || value > kAlignCenter) Fail(kFailureInvalidPropertyValue);
  return value;
}

std::int16_t CheckedBorderStyle(std::int16_t value) {
  if (value < kBorderNone || value > kBorderInsideSolid) Fail(kFailureInvalidPropertyValue);
  return value;
}

std::int16_t CheckedPointer(std::int16_t value) {
  if (!IsPointerCode(value)) Fail(kFailureInvalidPropertyValue);
  return value;
}

ColourCode ToColour(const PropertyValue& value) {
  const double rounded = std::nearbyint(ToDouble(value));
  if (!(rounded >= -2147483648.0 && rounded <= 4294967295.0)) Fail(kFailureOverflow);
  return static_cast<ColourCode>(static_cast<std::int64_t>(rounded));
}

PropertyValue ColourValue(ColourCode colour) { return static_cast<std::int64_t>(colour); }

std::string ToPicture(const PropertyValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return {};
  if (const auto* bytes = std::get_if<std::string>(&value)) return *bytes;
  Fail(kFailureTypeMismatch);
}

PropertyValue PictureValue(const std::string& picture) {
  if (picture.empty()) return std::monostate{};
  return picture;
}

}  // namespace progress_bar_values
}  // namespace rariduze
