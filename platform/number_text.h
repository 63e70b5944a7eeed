#pragma once

#include <string>
#include <string_view>

namespace rariduze {

// The longest leading decimal number of a text, after leading blanks: optional sign, digits,
// an optional fraction and an optional exponent. No digits at all give 0.
double ReadLeadingNumber(std::string_view text);

// True when the whole text, blanks around it aside, is one decimal number; stores it.
bool ParseWholeNumberText(std::string_view text, double* number);

// Formats a number by one of the patterns the program uses:
//   "0000"          whole number, at least four digits ("0022");
//   "0." + zeros    fixed decimals with at least one integer digit ("0.50");
//   "##." + zeros   fixed decimals, the integer part left out when it is 0 (".50").
// Rounding is half away from zero. The decimal separator is the caller's (the user's locale).
std::string FormatNumber(double value, std::string_view pattern,
                         std::string_view decimal_separator = ".");

// The shortest text that reads back as the same number ("8080", "2.5").
std::string FormatShortestNumber(double value);

// The decimal separator of the user's locale ("." or "," and so on).
std::string UserDecimalSeparator();

}  // namespace rariduze
