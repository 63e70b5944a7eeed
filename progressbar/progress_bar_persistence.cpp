// The control's settings in its host's property store: a new instance, loading and saving.
#include "progressbar/progress_bar.h"
#include "progressbar/progress_bar_values.h"

namespace rariduze {

using namespace progress_bar_values;

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

}  // namespace rariduze
