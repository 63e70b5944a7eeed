#include "progressbar/progress_bar.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/failure.h"
#include "platform/number_text.h"

namespace rariduze {
namespace {

constexpr const char* kSource = "TeskProgressBar";
constexpr const char* kBoxTitle = "TeskProgressBar";
constexpr double kLargestExactWhole = 4503599627370496.0;  // 2^52
// Without a drawing layer a caption line is taken as 13 pixels of the stock font.
constexpr float kFallbackTextHeight = 195;

// Load and save defaults.
constexpr std::int64_t kDefaultAlignment = kAlignCenter;
constexpr std::int64_t kDefaultBorderStyle = kBorderSolid;
constexpr const char* kDefaultCaption = "100 %";
constexpr double kDefaultMax = 100;

[[noreturn]] void Fail(int number) { throw RuntimeFailure(number, {}, kSource); }

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

// Stored colours may be written signed (0x80000005 as -2147483643) or unsigned.
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

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

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

bool IsPointerCode(int code) { return (code >= 0 && code <= 15) || code == kPointerCustom; }

std::string FontText(const FontDescription& font) {
  std::string text = font.name + "," + FormatShortestNumber(font.size);
  if (font.bold) text += ",bold";
  if (font.italic) text += ",italic";
  if (font.underline) text += ",underline";
  if (font.strikethrough) text += ",strikethrough";
  return text;
}

FontDescription ParseFontText(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  // Style words from the end, then the size; whatever is left is the name, commas and all.
  FontDescription font;
  std::size_t end = fields.size();
  for (; end > 0; --end) {
    const std::string word = Lower(Trimmed(fields[end - 1]));
    if (word == "bold")
      font.bold = true;
    else if (word == "italic")
      font.italic = true;
    else if (word == "underline")
      font.underline = true;
    else if (word == "strikethrough")
      font.strikethrough = true;
    else
      break;
  }
  if (end < 2 || !ParseWholeNumberText(fields[end - 1], &font.size) || !(font.size > 0) ||
      font.size > 2048) {
    Fail(kFailureTypeMismatch);
  }
  std::string name = fields[0];
  for (std::size_t i = 1; i + 1 < end; ++i) name += "," + fields[i];
  font.name = Trimmed(name);
  if (font.name.empty()) Fail(kFailureTypeMismatch);
  return font;
}

TeskShapeProgressBar::TeskShapeProgressBar(UiServices& ui, ControlHost& host)
    : ui_(ui), host_(host), decimal_separator_(UserDecimalSeparator()) {
  background_ = {0, 0, 4000, 200, kSystemWindow, kSystemWindowText, kBorderSolid};
  bar_ = {0, 0, 3000, 200, kSystemHighlight, kSystemWindowText, kBorderSolid};
  caption_.left = 0;
  caption_.top = 0;
  caption_.width = 4000;
  caption_.height = 195;
  caption_.text = kDefaultCaption;
  caption_.font.bold = true;
  Ridisegna();
}

void TeskShapeProgressBar::SetMin(double value) {
  if (std::isnan(value) || value > max_) {
    RejectWrite("Errore nell'impostazione della proprietà Min");
    return;
  }
  min_ = value;
  Notify("Min");
  if (value_ < min_) {
    value_ = min_;
    RaiseChange();
    RaiseMinimo();
  }
  Ridisegna();
}

void TeskShapeProgressBar::SetMax(double value) {
  if (std::isnan(value) || value < min_) {
    RejectWrite("Errore nell'impostazione della proprietà Max");
    return;
  }
  max_ = value;
  Notify("Max");
  if (value_ > max_) {
    value_ = max_;
    RaiseChange();
    RaiseMassimo();
  }
  Ridisegna();
}

void TeskShapeProgressBar::SetValue(double value) {
  if (std::isnan(value) || value < min_ || value > max_) {
    RejectWrite("Errore nell'impostazione della proprietà Value");
    return;
  }
  // Change compares with the previous value rounded to a whole 32-bit number, halves to even.
  const double previous = std::nearbyint(value_);
  if (!(previous >= -2147483648.0 && previous <= 2147483647.0)) Fail(kFailureOverflow);
  value_ = value;
  Notify("Value");
  if (value != previous) RaiseChange();
  if (value == min_) RaiseMinimo();
  if (value == max_) RaiseMassimo();
  Ridisegna();
}

void TeskShapeProgressBar::SetDecimali(const PropertyValue& value) {
  decimali_ = ToInt16(value);
  Notify("Decimali");
  Ridisegna();
  RaiseChange();
}

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

void TeskShapeProgressBar::SetAlignment(std::int32_t alignment) {
  caption_.alignment = CheckedAlignment(Narrow16(alignment));
  Notify("Alignment");
  PartChanged();
}

void TeskShapeProgressBar::SetBackColor(ColourCode colour) {
  background_.fill_colour = colour;
  Notify("BackColor");
  PartChanged();
}

void TeskShapeProgressBar::SetBorderColor(ColourCode colour) {
  background_.border_colour = colour;
  bar_.border_colour = colour;
  Notify("BorderColor");
  PartChanged();
}

void TeskShapeProgressBar::SetBorderStyle(std::int32_t style) {
  const std::int16_t checked = CheckedBorderStyle(Narrow16(style));
  background_.border_style = checked;
  bar_.border_style = checked;
  Notify("BorderStyle");
  PartChanged();
}

void TeskShapeProgressBar::SetFont(const FontDescription& font) {
  caption_.font = font;
  Notify("Font");
  PartChanged();
}

void TeskShapeProgressBar::SetForeColor(ColourCode colour) {
  bar_.fill_colour = colour;
  Notify("ForeColor");
  PartChanged();
}

void TeskShapeProgressBar::SetMouseIcon(const std::string& picture) {
  caption_.mouse_icon = picture;
  Notify("MouseIcon");
  PartChanged();
}

void TeskShapeProgressBar::SetMousePointer(std::int32_t code) {
  const std::int16_t checked = CheckedPointer(Narrow16(code));
  caption_.mouse_pointer = checked;
  Notify("MousePointer");
  PartChanged();
}

void TeskShapeProgressBar::SetTextColor(ColourCode colour) {
  caption_.text_colour = colour;
  Notify("TextColor");
  PartChanged();
}

void TeskShapeProgressBar::InitProperties() {
  min_ = 0;
  max_ = kDefaultMax;
  value_ = 0;
  decimali_ = 0;
}

void TeskShapeProgressBar::ReadProperties(const PropertyStore& store) {
  caption_.alignment = CheckedAlignment(ToInt16(store.Read("Alignment", kDefaultAlignment)));
  background_.fill_colour = ToColour(store.Read("BackColor", ColourValue(kSystemWindow)));
  const ColourCode border = ToColour(store.Read("BorderColor", ColourValue(kSystemWindowText)));
  background_.border_colour = border;
  bar_.border_colour = border;
  background_.border_style =
      CheckedBorderStyle(ToInt16(store.Read("BorderStyle", kDefaultBorderStyle)));
  bar_.border_style = CheckedBorderStyle(ToInt16(store.Read("BorderStyle", kDefaultBorderStyle)));
  caption_.text = ToText(store.Read("Caption", std::string(kDefaultCaption)));
  SetFont(ParseFontText(ToText(store.Read("Font", FontText(ambient_font_)))));
  bar_.fill_colour = ToColour(store.Read("ForeColor", ColourValue(kSystemHighlight)));
  SetMouseIcon(ToPicture(store.Read("MouseIcon", std::monostate{})));
  const std::int16_t pointer =
      CheckedPointer(ToInt16(store.Read("MousePointer", std::int64_t{kPointerDefault})));
  caption_.mouse_pointer = pointer;
  // The range comes back as stored, without the setters' checks.
  min_ = ToDouble(store.Read("Min", 0.0));
  max_ = ToDouble(store.Read("Max", kDefaultMax));
  value_ = ToDouble(store.Read("Value", 0.0));
  caption_.text_colour = ToColour(store.Read("TextColor", ColourValue(kSystemHighlightText)));
  decimali_ = ToInt16(store.Read("Decimali", std::int64_t{0}));
  Ridisegna();
}

void TeskShapeProgressBar::WriteProperties(PropertyStore& store) const {
  store.Write("Alignment", std::int64_t{caption_.alignment}, kDefaultAlignment);
  store.Write("BackColor", ColourValue(background_.fill_colour), ColourValue(kSystemWindow));
  store.Write("BorderColor", ColourValue(background_.border_colour),
              ColourValue(kSystemWindowText));
  store.Write("BorderStyle", std::int64_t{background_.border_style}, kDefaultBorderStyle);
  store.Write("Caption", caption_.text, std::string(kDefaultCaption));
  store.Write("Font", FontText(caption_.font), FontText(ambient_font_));
  store.Write("ForeColor", ColourValue(bar_.fill_colour), ColourValue(kSystemHighlight));
  store.Write("MouseIcon", PictureValue(caption_.mouse_icon), std::monostate{});
  store.Write("MousePointer", std::int64_t{caption_.mouse_pointer}, std::int64_t{kPointerDefault});
  store.Write("Min", min_, 0.0);
  store.Write("Max", max_, kDefaultMax);
  store.Write("Value", value_, 0.0);
  store.Write("TextColor", ColourValue(caption_.text_colour), ColourValue(kSystemHighlightText));
  store.Write("Decimali", std::int64_t{decimali_}, std::int64_t{0});
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

void TeskShapeProgressBar::RejectWrite(const std::string& message) {
  bool mostra_errore = true;
  if (events_ != nullptr) events_->Errore(mostra_errore);
  if (mostra_errore) ui_.MessageBox(message, kStyleOkStop, kBoxTitle);
}

void TeskShapeProgressBar::PartChanged() {
  if (view_ != nullptr) view_->PartChanged();
}

void TeskShapeProgressBar::RaiseChange() {
  if (events_ != nullptr) events_->Change();
}

void TeskShapeProgressBar::RaiseMinimo() {
  if (events_ != nullptr) events_->Minimo();
}

void TeskShapeProgressBar::RaiseMassimo() {
  if (events_ != nullptr) events_->Massimo();
}

}  // namespace rariduze
