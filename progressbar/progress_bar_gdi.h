#pragma once

#include <string>

#include "platform/control_host.h"
#include "platform/ui_services.h"
#include "platform/windows_api.h"
#include "progressbar/progress_bar.h"

namespace rariduze {

// The colour a code stands for: a plain 0x00BBGGRR colour as it is, a system colour
// (0x800000nn) from GetSysColor. Entries the system does not have give black.
COLORREF ResolveColour(ColourCode code);
// The GDI pen style of a border style (0 no border ... 6 inside frame).
int PenStyleFor(int border_style);
// The stock cursor of a pointer code; nullptr for the default (the window's own arrow).
const wchar_t* StockCursorFor(int pointer_code);

// The progress bar on screen as a Win32 child window: owns the control's state and paints its
// three parts with GDI (background, bar, caption without background), double-buffered. The
// window's text follows the caption, so screen readers and tools read what the bar shows.
class ProgressBarGdi : private ProgressBarView {
 public:
  ProgressBarGdi(HWND parent, UiServices& ui, ControlHost& host);
  ~ProgressBarGdi() override;
  ProgressBarGdi(const ProgressBarGdi&) = delete;
  ProgressBarGdi& operator=(const ProgressBarGdi&) = delete;

  TeskShapeProgressBar& bar() { return bar_; }
  HWND window() const { return window_; }

  // Places the control in its parent, in pixels for the given resolution; the control lays
  // its parts out for its new size in twips.
  void Place(int left, int top, int width, int height, int dpi);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Paint(HDC target);
  bool SetPointer();

  void Redraw() override;
  void PartChanged() override;
  float SurfaceTextHeight(const std::string& text) override;

  TeskShapeProgressBar bar_;
  HWND window_ = nullptr;
  int dpi_ = 96;
  HCURSOR custom_cursor_ = nullptr;
  std::string custom_cursor_bytes_;
};

}  // namespace rariduze
