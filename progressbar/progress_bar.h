#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/control_host.h"
#include "platform/property_store.h"
#include "platform/ui_services.h"
#include "progressbar/font_description.h"

namespace rariduze {

// Colours are 0x00BBGGRR, or 0x800000nn for entry nn of the system colour table.
using ColourCode = std::uint32_t;
inline constexpr ColourCode kSystemWindow = 0x80000005;
inline constexpr ColourCode kSystemWindowText = 0x80000008;
inline constexpr ColourCode kSystemHighlight = 0x8000000D;
inline constexpr ColourCode kSystemHighlightText = 0x8000000E;

// Border styles of the two rectangles.
enum BorderStyleCode : std::int16_t {
  kBorderNone = 0,
  kBorderSolid = 1,
  kBorderDash = 2,
  kBorderDot = 3,
  kBorderDashDot = 4,
  kBorderDashDotDot = 5,
  kBorderInsideSolid = 6,
};

// Caption alignment.
enum AlignmentCode : std::int16_t { kAlignLeft = 0, kAlignRight = 1, kAlignCenter = 2 };

// Pointer codes 0..15 are the stock shapes; 99 shows MouseIcon.
inline constexpr std::int16_t kPointerDefault = 0;
inline constexpr std::int16_t kPointerCustom = 99;
bool IsPointerCode(int code);

// The three drawing parts, back to front. Positions and sizes in twips.
struct RectanglePart {
  float left = 0, top = 0, width = 0, height = 0;
  ColourCode fill_colour = 0;
  ColourCode border_colour = kSystemWindowText;
  std::int16_t border_style = kBorderSolid;
};
struct CaptionPart {
  float left = 0, top = 0, width = 0, height = 0;
  std::string text;
  ColourCode text_colour = kSystemHighlightText;
  FontDescription font;
  std::int16_t alignment = kAlignCenter;
  std::int16_t mouse_pointer = kPointerDefault;
  std::string mouse_icon;  // picture file bytes; empty for none
};

// What the control tells its host. Without an observer nothing is answered: MostraErrore
// stays true.
class ProgressBarEvents {
 public:
  virtual ~ProgressBarEvents() = default;
  virtual void Change() {}
  virtual void Minimo() {}
  virtual void Massimo() {}
  virtual void Errore(bool& /*mostra_errore*/) {}
};

// The drawing layer.
class ProgressBarView {
 public:
  virtual ~ProgressBarView() = default;
  // Ridisegna recomputed the caption and the bar's width.
  virtual void Redraw() = 0;
  // A colour, style, font, alignment or pointer of a part changed: it repaints itself.
  virtual void PartChanged() = 0;
  // Height in twips of one line of text in the control surface's own font.
  virtual float SurfaceTextHeight(const std::string& text) = 0;
};

// A progress bar with a range, a value, a percentage caption and Italian messages.
// Construction leaves Min, Max, Value and Decimali at 0 (caption "0 %"); then the host either
// calls InitProperties (a new instance) or ReadProperties (stored settings).
class TeskShapeProgressBar {
 public:
  TeskShapeProgressBar(UiServices& ui, ControlHost& host);

  void SetEvents(ProgressBarEvents* events) { events_ = events; }
  void SetView(ProgressBarView* view) { view_ = view; }
  // The user's decimal separator by default.
  void SetDecimalSeparator(std::string separator) { decimal_separator_ = std::move(separator); }
  // The host's font, the load and save default of "Font".
  void SetAmbientFont(const FontDescription& font) { ambient_font_ = font; }
  const FontDescription& AmbientFont() const { return ambient_font_; }

  // Range and position. A rejected write raises Errore and, unless the handler clears
  // MostraErrore, shows a box; it leaves everything as it was.
  double Min() const { return min_; }
  void SetMin(double value);
  double Max() const { return max_; }
  void SetMax(double value);
  double Value() const { return value_; }
  // Fails with 6 (overflow) when the previous value does not round into 32 bits.
  void SetValue(double value);

  std::int16_t Decimali() const { return decimali_; }
  // Anything convertible to a 16-bit number (halves to even); fails with 6 or 13.
  void SetDecimali(const PropertyValue& value);

  // Percentage reached, rounded to cifre_decimali decimals (halves away from zero), or down
  // to a whole number when cifre_decimali <= 0. A range of zero width gives 0.
  double Percentuale(std::int16_t cifre_decimali) const;

  const std::string& Caption() const { return caption_.text; }

  // Look. The integer setters fail with 6 when the value does not fit 16 bits and with 380
  // when the part does not accept it, before anything changes.
  std::int32_t Alignment() const { return caption_.alignment; }
  void SetAlignment(std::int32_t alignment);
  ColourCode BackColor() const { return background_.fill_colour; }
  void SetBackColor(ColourCode colour);
  ColourCode BorderColor() const { return background_.border_colour; }
  void SetBorderColor(ColourCode colour);
  std::int32_t BorderStyle() const { return background_.border_style; }
  void SetBorderStyle(std::int32_t style);
  const FontDescription& Font() const { return caption_.font; }
  void SetFont(const FontDescription& font);
  ColourCode ForeColor() const { return bar_.fill_colour; }
  void SetForeColor(ColourCode colour);
  const std::string& MouseIcon() const { return caption_.mouse_icon; }
  void SetMouseIcon(const std::string& picture);
  std::int32_t MousePointer() const { return caption_.mouse_pointer; }
  void SetMousePointer(std::int32_t code);
  ColourCode TextColor() const { return caption_.text_colour; }
  void SetTextColor(ColourCode colour);

  // Lifecycle: a new instance, the stored settings, saving, and a resize of the surface
  // (twips), which lays the parts out and redraws.
  void InitProperties();
  void ReadProperties(const PropertyStore& store);
  void WriteProperties(PropertyStore& store) const;
  void Resize(float width, float height);

  float SurfaceWidth() const { return surface_width_; }
  float SurfaceHeight() const { return surface_height_; }
  const RectanglePart& Avanzamento1() const { return background_; }
  const RectanglePart& Avanzamento2() const { return bar_; }
  const CaptionPart& Avanzamento3() const { return caption_; }

 private:
  void Ridisegna();
  void Layout();
  void RejectWrite(const std::string& message);
  void Notify(const char* name) { host_.PropertyChanged(name); }
  void PartChanged();
  void RaiseChange();
  void RaiseMinimo();
  void RaiseMassimo();

  UiServices& ui_;
  ControlHost& host_;
  ProgressBarEvents* events_ = nullptr;
  ProgressBarView* view_ = nullptr;
  std::string decimal_separator_;
  FontDescription ambient_font_;

  double min_ = 0;
  double max_ = 0;
  double value_ = 0;
  std::int16_t decimali_ = 0;

  float surface_width_ = 4005;
  float surface_height_ = 195;
  RectanglePart background_;
  RectanglePart bar_;
  CaptionPart caption_;
};

}  // namespace rariduze
