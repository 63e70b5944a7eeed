#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/twips.h"
#include "progressbar/progress_bar.h"

class QPaintDevice;

namespace rariduze {

// The colour a code stands for; system colours come from the palette.
QColor ResolveColour(ColourCode code, const QPalette& palette);
// The stock pointer shape of a pointer code (custom and unknown codes give the arrow).
Qt::CursorShape CursorShapeFor(int pointer_code);
QFont ToQFont(const FontDescription& font);
FontDescription DescribeFont(const QFont& font, const QPaintDevice& device);

// The progress bar on screen: owns the control's state and paints its three parts.
// Message boxes go to `ui` (Qt boxes over this widget when null), change notices to `host`.
class ProgressBarWidget : public QWidget, private ProgressBarView {
 public:
  explicit ProgressBarWidget(QWidget* parent = nullptr, UiServices* ui = nullptr,
                             ControlHost* host = nullptr);
  ~ProgressBarWidget() override;

  TeskShapeProgressBar& bar() { return bar_; }
  const TeskShapeProgressBar& bar() const { return bar_; }

  // Places the widget in its parent; the control lays itself out for its size at once.
  void Place(const PixelRect& place);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Redraw() override;
  void PartChanged() override;
  float SurfaceTextHeight(const std::string& text) override;
  void LayOut();
  void ApplyCursor();

  std::unique_ptr<UiServices> own_ui_;
  NullControlHost null_host_;
  TeskShapeProgressBar bar_;
  int applied_pointer_ = kPointerDefault;
  std::string applied_icon_;
};

}  // namespace rariduze
