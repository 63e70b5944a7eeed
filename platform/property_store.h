#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace rariduze {

// A stored property value: empty, a boolean, a whole number, a floating point number or a text.
using PropertyValue = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

// True when both values mean the same thing; numbers compare by value whatever their kind.
bool SameValue(const PropertyValue& a, const PropertyValue& b);

// Conversions used when a control loads its saved state. A value of the wrong kind fails with
// 13 (type mismatch), one that does not fit with 6 (overflow).
std::int16_t ToInt16(const PropertyValue& value);
std::int32_t ToInt32(const PropertyValue& value);
double ToDouble(const PropertyValue& value);
bool ToBool(const PropertyValue& value);
std::string ToText(const PropertyValue& value);

// The host's key/value store for a control's saved settings. Keys match without regard to
// case; a value equal to its default is not stored.
class PropertyStore {
 public:
  PropertyValue Read(const std::string& key, const PropertyValue& default_value) const;
  void Write(const std::string& key, const PropertyValue& value,
             const PropertyValue& default_value);

  bool Contains(const std::string& key) const;
  std::size_t size() const { return values_.size(); }

 private:
  struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  std::map<std::string, PropertyValue, CaseInsensitiveLess> values_;
};

}  // namespace rariduze
