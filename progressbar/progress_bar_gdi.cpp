#include "progressbar/progress_bar_gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/ui_services_win32.h"
#include "platform/wide_text_windows.h"
#include "progressbar/progress_bar_pixels.h"

namespace rariduze {
namespace {

constexpr const wchar_t* kClassName = L"RARiduzeProgressBar";

// The highest entry of the system colour table (menu bar).
constexpr ColourCode kLastSystemColour = 30;

void RegisterClassOnce() {
  static const bool registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.hCursor = ::LoadCursorW(nullptr, StockResource(IDC_ARROW));
    window_class.lpszClassName = kClassName;
    return ::RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

HFONT CreateFontFor(const FontDescription& font, int dpi) {
  LOGFONTW description{};
  description.lfHeight = -static_cast<LONG>(std::lround(font.size * dpi / 72.0));
  description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  description.lfItalic = font.italic ? TRUE : FALSE;
  description.lfUnderline = font.underline ? TRUE : FALSE;
  description.lfStrikeOut = font.strikethrough ? TRUE : FALSE;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfQuality = DEFAULT_QUALITY;
  const std::wstring name = Widen(font.name).substr(0, LF_FACESIZE - 1);
  std::copy(name.begin(), name.end(), description.lfFaceName);
  return ::CreateFontIndirectW(&description);
}

void DrawRectanglePart(HDC dc, const PixelRect& area, const RectanglePart& part) {
  if (area.width <= 0 || area.height <= 0) return;  // nothing left to draw, not even a line
  RECT box{area.left, area.top, area.right(), area.bottom()};
  HBRUSH fill = ::CreateSolidBrush(ResolveColour(part.fill_colour));
  ::FillRect(dc, &box, fill);
  ::DeleteObject(fill);
  if (part.border_style == kBorderNone) return;
  // One pixel wide, on the rectangle's own outermost pixels.
  HPEN pen = ::CreatePen(PenStyleFor(part.border_style), 1, ResolveColour(part.border_colour));
  HGDIOBJ old_pen = ::SelectObject(dc, pen);
  HGDIOBJ old_brush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
  // Gaps of dashed and dotted lines show the fill, not a second colour.
  ::SetBkMode(dc, TRANSPARENT);
  ::Rectangle(dc, box.left, box.top, box.right, box.bottom);
  ::SelectObject(dc, old_brush);
  ::SelectObject(dc, old_pen);
  ::DeleteObject(pen);
}

UINT HorizontalAlignment(int alignment) {
  switch (alignment) {
    case kAlignLeft:
      return DT_LEFT;
    case kAlignRight:
      return DT_RIGHT;
    default:
      return DT_CENTER;
  }
}

std::uint16_t Word(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t DoubleWord(const std::string& bytes, std::size_t at) {
  return Word(bytes, at) | static_cast<std::uint32_t>(Word(bytes, at + 2)) << 16;
}

// A pointer picture from the bytes of an icon or cursor file (its first image); nullptr when
// the bytes are no such file.
HCURSOR CursorFromFileBytes(const std::string& bytes) {
  if (bytes.size() < 22 || Word(bytes, 0) != 0) return nullptr;
  const std::uint16_t type = Word(bytes, 2);
  if ((type != 1 && type != 2) || Word(bytes, 4) == 0) return nullptr;
  const std::uint32_t size = DoubleWord(bytes, 14);
  const std::uint32_t offset = DoubleWord(bytes, 18);
  if (offset > bytes.size() || size > bytes.size() - offset || size == 0) return nullptr;
  std::string image;
  if (type == 2) {
    // A cursor resource starts with its hot spot, which the file keeps in the directory.
    image.append(bytes, 10, 2).append(bytes, 12, 2);
  }
  image.append(bytes, offset, size);
  return reinterpret_cast<HCURSOR>(::CreateIconFromResourceEx(
      reinterpret_cast<PBYTE>(image.data()), static_cast<DWORD>(image.size()),
      type == 1 ? TRUE : FALSE, 0x00030000, 0, 0, LR_DEFAULTCOLOR));
}

}  // namespace

COLORREF ResolveColour(ColourCode code) {
  if ((code & 0xFF000000u) == 0x80000000u) {
    const ColourCode entry = code & 0x00FFFFFFu;
    if (entry > kLastSystemColour) return RGB(0, 0, 0);
    return ::GetSysColor(static_cast<int>(entry));
  }
  // A plain colour has GDI's own layout: red in the low byte.
  return static_cast<COLORREF>(code & 0x00FFFFFFu);
}

int PenStyleFor(int border_style) {
  switch (border_style) {
    case kBorderNone:
      return PS_NULL;
    case kBorderDash:
      return PS_DASH;
    case kBorderDot:
      return PS_DOT;
    case kBorderDashDot:
      return PS_DASHDOT;
    case kBorderDashDotDot:
      return PS_DASHDOTDOT;
    case kBorderInsideSolid:
      return PS_INSIDEFRAME;
    default:
      return PS_SOLID;
  }
}

const wchar_t* StockCursorFor(int pointer_code) {
  switch (pointer_code) {
    case 1:
    case 4:
      return StockResource(IDC_ARROW);
    case 2:
      return StockResource(IDC_CROSS);
    case 3:
      return StockResource(IDC_IBEAM);
    case 5:
    case 15:
      return StockResource(IDC_SIZEALL);
    case 6:
      return StockResource(IDC_SIZENESW);
    case 7:
      return StockResource(IDC_SIZENS);
    case 8:
      return StockResource(IDC_SIZENWSE);
    case 9:
      return StockResource(IDC_SIZEWE);
    case 10:
      return StockResource(IDC_UPARROW);
    case 11:
      return StockResource(IDC_WAIT);
    case 12:
      return StockResource(IDC_NO);
    case 13:
      return StockResource(IDC_APPSTARTING);
    case 14:
      return StockResource(IDC_HELP);
    default:
      return nullptr;
  }
}

ProgressBarGdi::ProgressBarGdi(HWND parent, UiServices& ui, ControlHost& host) : bar_(ui, host) {
  RegisterClassOnce();
  window_ = ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                              0, parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  dpi_ = static_cast<int>(::GetDpiForWindow(window_));
  bar_.SetView(this);
}

ProgressBarGdi::~ProgressBarGdi() {
  bar_.SetView(nullptr);
  if (::IsWindow(window_)) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  if (custom_cursor_ != nullptr) ::DestroyCursor(custom_cursor_);
}

void ProgressBarGdi::Place(int left, int top, int width, int height, int dpi) {
  dpi_ = dpi > 0 ? dpi : kStandardDpi;
  ::MoveWindow(window_, left, top, width, height, TRUE);
  bar_.Resize(static_cast<float>(PixelsToTwips(width, dpi_)),
              static_cast<float>(PixelsToTwips(height, dpi_)));
}

LRESULT CALLBACK ProgressBarGdi::WindowProc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  auto* self = reinterpret_cast<ProgressBarGdi*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        self->Paint(dc);
        ::EndPaint(window, &paint);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
      case WM_SETCURSOR:
        if (LOWORD(lparam) == HTCLIENT && self->SetPointer()) return TRUE;
        break;
      default:
        break;
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void ProgressBarGdi::Paint(HDC target) {
  RECT client;
  ::GetClientRect(window_, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;

  // Drawn off screen and copied at once, so a bar that moves with every chunk does not flicker.
  HDC dc = ::CreateCompatibleDC(target);
  HBITMAP bitmap = ::CreateCompatibleBitmap(target, width, height);
  HGDIOBJ old_bitmap = ::SelectObject(dc, bitmap);
  // The surface has no border of its own; what the parts leave uncovered shows the window.
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));

  const ProgressBarPixels pixels = ProgressBarToPixels(bar_, dpi_);
  DrawRectanglePart(dc, pixels.background, bar_.Avanzamento1());
  DrawRectanglePart(dc, pixels.bar, bar_.Avanzamento2());

  const CaptionPart& caption = bar_.Avanzamento3();
  if (pixels.caption.width > 0 && pixels.caption.height > 0) {
    HFONT font = CreateFontFor(caption.font, dpi_);
    HGDIOBJ old_font = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);  // the bar shows through the text
    ::SetTextColor(dc, ResolveColour(caption.text_colour));
    RECT box{pixels.caption.left, pixels.caption.top, pixels.caption.right(),
             pixels.caption.bottom()};
    std::wstring text = Widen(caption.text);
    // Clipped to the box and to the control: the box reaches below the control's bottom.
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                HorizontalAlignment(caption.alignment) | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, old_font);
    ::DeleteObject(font);
  }

  ::BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
  ::SelectObject(dc, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
}

bool ProgressBarGdi::SetPointer() {
  const CaptionPart& caption = bar_.Avanzamento3();
  if (caption.mouse_pointer == kPointerCustom) {
    if (custom_cursor_bytes_ != caption.mouse_icon) {
      if (custom_cursor_ != nullptr) ::DestroyCursor(custom_cursor_);
      custom_cursor_ = CursorFromFileBytes(caption.mouse_icon);
      custom_cursor_bytes_ = caption.mouse_icon;
    }
    if (custom_cursor_ == nullptr) return false;
    ::SetCursor(custom_cursor_);
    return true;
  }
  const wchar_t* stock = StockCursorFor(caption.mouse_pointer);
  if (stock == nullptr) return false;
  ::SetCursor(::LoadCursorW(nullptr, stock));
  return true;
}

void ProgressBarGdi::Redraw() {
  // The window's text is the caption, for screen readers and for anyone reading it out.
  ::SetWindowTextW(window_, Widen(bar_.Caption()).c_str());
  ::InvalidateRect(window_, nullptr, FALSE);
}

void ProgressBarGdi::PartChanged() { ::InvalidateRect(window_, nullptr, FALSE); }

float ProgressBarGdi::SurfaceTextHeight(const std::string&) {
  // One line of the surface's own font (the system's message font); the caption's font does
  // not count here.
  HDC dc = ::GetDC(window_);
  HFONT font = CreateMessageFont(dpi_);
  HGDIOBJ old_font =
      ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old_font);
  if (font != nullptr) ::DeleteObject(font);
  ::ReleaseDC(window_, dc);
  return static_cast<float>(PixelsToTwips(metrics.tmHeight, dpi_));
}

}  // namespace rariduze
