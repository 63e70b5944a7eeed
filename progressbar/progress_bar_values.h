#pragma once

// What the progress bar's setters and its stored settings have in common: the defaults, the
// checks a value passes before anything changes, and the stored forms of colours and pictures.
// Internal to the control.
#include <cstdint>
#include <string>

#include "platform/property_store.h"
#include "progressbar/progress_bar.h"

namespace rariduze::progress_bar_values {

// Where the control's failures come from, and the title of its boxes.
inline constexpr const char* kSource = "TeskProgressBar";

// Load and save defaults.
inline constexpr std::int64_t kDefaultAlignment = kAlignCenter;
inline constexpr std::int64_t kDefaultBorderStyle = kBorderSolid;
inline constexpr const char* kDefaultCaption = "100 %";
inline constexpr double kDefaultMax = 100;

[[noreturn]] void Fail(int number);

// Fails with 6 (overflow) past 16 bits.
std::int16_t Narrow16(std::int32_t value);
// Fail with 380 (invalid property value) on what the part does not accept.
std::int16_t CheckedAlignment(std::int16_t value);
std::int16_t CheckedBorderStyle(std::int16_t value);
std::int16_t CheckedPointer(std::int16_t value);

// Stored colours may be written signed (0x80000005 as -2147483643) or unsigned.
ColourCode ToColour(const PropertyValue& value);
PropertyValue ColourValue(ColourCode colour);
// A picture is stored as its file's bytes; none is stored as nothing.
std::string ToPicture(const PropertyValue& value);
PropertyValue PictureValue(const std::string& picture);

}  // namespace rariduze::progress_bar_values
