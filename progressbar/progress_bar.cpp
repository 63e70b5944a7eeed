// The control's state and its writes: range and position with their checks and events, and
// the look of its three parts.
#include "progressbar/progress_bar.h"

#include <cmath>

#include "platform/failure.h"
#include "platform/number_text.h"
#include "progressbar/progress_bar_values.h"

namespace rariduze {

using namespace progress_bar_values;

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

void TeskShapeProgressBar::RejectWrite(const std::string& message) {
  bool mostra_errore = true;
  if (events_ != nullptr) events_->Errore(mostra_errore);
  if (mostra_errore) ui_.MessageBox(message, kStyleOkStop, kSource);
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
