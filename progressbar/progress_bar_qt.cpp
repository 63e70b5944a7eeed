#include "progressbar/progress_bar_qt.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QString>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "platform/pixel_rect_qt.h"
#include "platform/ui_services_qt.h"
#include "progressbar/progress_bar_pixels.h"

namespace rariduze {
namespace {

struct SystemColourRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
};

// Entries 0..30 of the system colour table and their nearest palette roles.
constexpr SystemColourRole kSystemColours[] = {
    {QPalette::Active, QPalette::Button},           // 0 scroll bar
    {QPalette::Active, QPalette::Dark},             // 1 desktop
    {QPalette::Active, QPalette::Highlight},        // 2 active title bar
    {QPalette::Inactive, QPalette::Mid},            // 3 inactive title bar
    {QPalette::Active, QPalette::Window},           // 4 menu
    {QPalette::Active, QPalette::Base},             // 5 window background
    {QPalette::Active, QPalette::Shadow},           // 6 window frame
    {QPalette::Active, QPalette::WindowText},       // 7 menu text
    {QPalette::Active, QPalette::Text},             // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 title bar text
    {QPalette::Active, QPalette::Window},           // 10 active border
    {QPalette::Inactive, QPalette::Window},         // 11 inactive border
    {QPalette::Active, QPalette::Dark},             // 12 application workspace
    {QPalette::Active, QPalette::Highlight},        // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    {QPalette::Active, QPalette::Button},           // 15 button face
    {QPalette::Active, QPalette::Dark},             // 16 button shadow
    {QPalette::Disabled, QPalette::Text},           // 17 grey text
    {QPalette::Active, QPalette::ButtonText},       // 18 button text
    {QPalette::Inactive, QPalette::WindowText},     // 19 inactive title bar text
    {QPalette::Active, QPalette::Light},            // 20 button highlight
    {QPalette::Active, QPalette::Shadow},           // 21 3D dark shadow
    {QPalette::Active, QPalette::Midlight},         // 22 3D light
    {QPalette::Active, QPalette::ToolTipText},      // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},      // 24 tooltip background
    {QPalette::Active, QPalette::Button},           // 25 (unused)
    {QPalette::Active, QPalette::Link},             // 26 hot-tracked item
    {QPalette::Active, QPalette::Highlight},        // 27 active title gradient
    {QPalette::Inactive, QPalette::Mid},            // 28 inactive title gradient
    {QPalette::Active, QPalette::Highlight},        // 29 menu highlight
    {QPalette::Active, QPalette::Window},           // 30 menu bar
};

Qt::PenStyle PenStyleFor(int border_style) {
  switch (border_style) {
    case kBorderDash:
      return Qt::DashLine;
    case kBorderDot:
      return Qt::DotLine;
    case kBorderDashDot:
      return Qt::DashDotLine;
    case kBorderDashDotDot:
      return Qt::DashDotDotLine;
    case kBorderNone:
      return Qt::NoPen;
    default:  // solid, and solid inside the bounds: the same at one pixel
      return Qt::SolidLine;
  }
}

void DrawRectangle(QPainter& painter, const PixelRect& place, const RectanglePart& part,
                   const QPalette& palette) {
  if (place.width <= 0 || place.height <= 0) return;  // nothing left to draw, not even a line
  const QRect area = ToQRect(place);
  painter.fillRect(area, ResolveColour(part.fill_colour, palette));
  if (part.border_style == kBorderNone) return;
  QPen pen(ResolveColour(part.border_colour, palette));
  pen.setStyle(PenStyleFor(part.border_style));
  pen.setWidth(1);
  pen.setCosmetic(true);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  // A one-pixel outline on the rectangle's own outermost pixels.
  painter.drawRect(area.adjusted(0, 0, -1, -1));
}

Qt::Alignment HorizontalAlignment(int alignment) {
  switch (alignment) {
    case kAlignLeft:
      return Qt::AlignLeft;
    case kAlignRight:
      return Qt::AlignRight;
    default:
      return Qt::AlignHCenter;
  }
}

}  // namespace

QColor ResolveColour(ColourCode code, const QPalette& palette) {
  if ((code & 0xFF000000u) == 0x80000000u) {
    const ColourCode entry = code & 0x00FFFFFFu;
    if (entry >= std::size(kSystemColours)) return QColor(Qt::black);
    return palette.color(kSystemColours[entry].group, kSystemColours[entry].role);
  }
  return QColor(static_cast<int>(code & 0xFF), static_cast<int>((code >> 8) & 0xFF),
                static_cast<int>((code >> 16) & 0xFF));
}

Qt::CursorShape CursorShapeFor(int pointer_code) {
  switch (pointer_code) {
    case 2:
      return Qt::CrossCursor;
    case 3:
      return Qt::IBeamCursor;
    case 5:
    case 15:
      return Qt::SizeAllCursor;
    case 6:
      return Qt::SizeBDiagCursor;
    case 7:
      return Qt::SizeVerCursor;
    case 8:
      return Qt::SizeFDiagCursor;
    case 9:
      return Qt::SizeHorCursor;
    case 10:
      return Qt::UpArrowCursor;
    case 11:
      return Qt::WaitCursor;
    case 12:
      return Qt::ForbiddenCursor;
    case 13:
      return Qt::BusyCursor;
    case 14:
      return Qt::WhatsThisCursor;
    default:  // 0 default, 1 arrow, 4 icon, 99 custom without a usable picture
      return Qt::ArrowCursor;
  }
}

QFont ToQFont(const FontDescription& font) {
  QFont result(QString::fromStdString(font.name));
  result.setPointSizeF(font.size);
  result.setBold(font.bold);
  result.setItalic(font.italic);
  result.setUnderline(font.underline);
  result.setStrikeOut(font.strikethrough);
  return result;
}

FontDescription DescribeFont(const QFont& font, const QPaintDevice& device) {
  FontDescription result;
  result.name = font.family().toStdString();
  result.size = font.pointSizeF() > 0 ? font.pointSizeF()
                                      : font.pixelSize() * 72.0 / std::max(1, device.logicalDpiY());
  result.bold = font.bold();
  result.italic = font.italic();
  result.underline = font.underline();
  result.strikethrough = font.strikeOut();
  return result;
}

ProgressBarWidget::ProgressBarWidget(QWidget* parent, UiServices* ui, ControlHost* host)
    : QWidget(parent),
      own_ui_(ui == nullptr ? std::make_unique<QtUiServices>(this) : nullptr),
      bar_(ui != nullptr ? *ui : *own_ui_, host != nullptr ? *host : null_host_) {
  bar_.SetAmbientFont(DescribeFont(parent != nullptr ? parent->font() : font(), *this));
  bar_.SetView(this);
}

ProgressBarWidget::~ProgressBarWidget() { bar_.SetView(nullptr); }

void ProgressBarWidget::Place(const PixelRect& place) {
  setGeometry(ToQRect(place));
  LayOut();
}

void ProgressBarWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void ProgressBarWidget::LayOut() {
  bar_.Resize(static_cast<float>(PixelsToTwips(width(), logicalDpiX())),
              static_cast<float>(PixelsToTwips(height(), logicalDpiX())));
}

void ProgressBarWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  const ProgressBarPixels pixels = ProgressBarToPixels(bar_, logicalDpiX());
  DrawRectangle(painter, pixels.background, bar_.Avanzamento1(), colours);
  DrawRectangle(painter, pixels.bar, bar_.Avanzamento2(), colours);

  const CaptionPart& caption = bar_.Avanzamento3();
  if (pixels.caption.width <= 0 || pixels.caption.height <= 0) return;
  painter.setFont(ToQFont(caption.font));
  painter.setPen(ResolveColour(caption.text_colour, colours));
  // No background: the bar shows through. Text outside the box is clipped.
  painter.drawText(ToQRect(pixels.caption),
                   HorizontalAlignment(caption.alignment) | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromStdString(caption.text));
}

void ProgressBarWidget::Redraw() {
  ApplyCursor();
  update();
}

void ProgressBarWidget::PartChanged() {
  ApplyCursor();
  update();
}

float ProgressBarWidget::SurfaceTextHeight(const std::string&) {
  // One line of the surface's own font; the caption's font does not count here.
  return static_cast<float>(PixelsToTwips(1, logicalDpiX()) * QFontMetricsF(font(), this).height());
}

void ProgressBarWidget::ApplyCursor() {
  const CaptionPart& caption = bar_.Avanzamento3();
  if (caption.mouse_pointer == applied_pointer_ && caption.mouse_icon == applied_icon_) return;
  applied_pointer_ = caption.mouse_pointer;
  applied_icon_ = caption.mouse_icon;
  if (applied_pointer_ == kPointerDefault) {
    unsetCursor();
    return;
  }
  QPixmap picture;
  if (applied_pointer_ == kPointerCustom && !applied_icon_.empty() &&
      picture.loadFromData(reinterpret_cast<const uchar*>(applied_icon_.data()),
                           static_cast<uint>(applied_icon_.size()))) {
    setCursor(QCursor(picture));
    return;
  }
  setCursor(CursorShapeFor(applied_pointer_));
}

}  // namespace rariduze
