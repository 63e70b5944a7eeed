// What the control shows: the percentage reached, the caption that says it, the width of the
// bar, and where the three parts sit on a surface of a given size.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "platform/number_text.h"
#include "progressbar/progress_bar.h"

namespace rariduze {
namespace {

constexpr double kLargestExactWhole = 4503599627370496.0;  // 2^52
// Without a drawing layer a caption line is taken as 13 pixels of the stock font.
constexpr float kFallbackTextHeight = 195;

// Rounds to `decimals` places, halves away from zero, the way the number would read once
// written with that many decimals and read back.
double RoundDecimals(double x, int decimals) {
  if (x == 0) return 0;
  // Past 2^52 units of the last place there is nothing finer left to round.
  if (!(std::fabs(x) * std::pow(10.0, decimals) < kLargestExactWhole)) return x;
  return ReadLeadingNumber(FormatNumber(x, "##." + std::string(decimals, '0'), "."));
}

// p with exactly `decimals` decimals. Digits past what a double holds are shown as zeros.
std::string FixedText(double p, int decimals, const std::string& separator) {
  int shown = std::min(decimals, 17);
  while (shown > 0 && !(std::fabs(p) * std::pow(10.0, shown) < kLargestExactWhole)) --shown;
  std::string text = shown > 0 ? FormatNumber(p, "0." + std::string(shown, '0'), separator)
                               : FormatNumber(p, "0", separator) + separator;
  text.append(static_cast<std::size_t>(decimals - shown), '0');
  return text;
}

// A whole number as plain text: digits, or the exponent form past 15 of them.
std::string WholeText(double p, const std::string& separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", p);
  std::string text = buffer;
  if (const auto point = text.find('.'); point != std::string::npos) {
    text.replace(point, 1, separator);
  }
  return text;
}

float ToFloat(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<float>(
      std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

}  // namespace

double TeskShapeProgressBar::Percentuale(std::int16_t cifre_decimali) const {
  // Any arithmetic fault (an empty range, an overflow, a value that is not a number) gives 0.
  const double span = max_ - min_;
  const double reached = value_ - min_;
  if (span == 0 || !std::isfinite(span) || !std::isfinite(reached)) return 0;
  // Multiplied before it is divided, so that a whole percentage comes out whole: 29 of 100 is
  // 29, where 29 / 100 * 100 gives 28.999... and shows 28 %.
  double x = reached * 100 / span;
  // Only a value near the largest number overflows when multiplied first.
  if (!std::isfinite(x)) x = reached / span * 100;
  if (!std::isfinite(x)) return 0;
  // Adding 0 turns -0 into 0, so an inverted stored range never shows "-0 %".
  if (cifre_decimali > 0) return RoundDecimals(x, cifre_decimali) + 0.0;
  return std::floor(x) + 0.0;
}

void TeskShapeProgressBar::Resize(float width, float height) {
  surface_width_ = width;
  surface_height_ = height;
  Layout();
}

void TeskShapeProgressBar::Layout() {
  const float w = surface_width_;
  const float h = surface_height_;
  background_.left = 0;
  background_.top = 0;
  background_.width = w - 1;
  background_.height = h;
  bar_.left = 0;
  bar_.top = 0;
  bar_.width = w - 1;
  bar_.height = h;
  // The text line is centred in the surface's own font, whatever the caption's font is.
  const float th = view_ != nullptr ? view_->SurfaceTextHeight(caption_.text) : kFallbackTextHeight;
  caption_.left = 0;
  caption_.top = (h - th) / 2;
  caption_.width = w - 30;
  caption_.height = h;
  Ridisegna();
}

void TeskShapeProgressBar::Ridisegna() {
  const double p = Percentuale(decimali_);
  caption_.text = (decimali_ > 0 ? FixedText(p, decimali_, decimal_separator_)
                                 : WholeText(p, decimal_separator_)) +
                  " %";
  // The bar moves in whole-percent steps even when the caption shows decimals.
  const double k = Percentuale(0);
  bar_.width = ToFloat(static_cast<double>(background_.width) * k / 100);
  if (view_ != nullptr) view_->Redraw();
}

}  // namespace rariduze
