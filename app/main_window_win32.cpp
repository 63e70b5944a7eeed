// The window itself: its controls, their places and pictures, the menu, and the messages that
// reach the update driver.
#include "app/main_window_win32.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>

#include "app/button_pictures_win32.h"
#include "app/main_window_commands_win32.h"
#include "app/windows/resource_ids.h"
#include "platform/wide_text_windows.h"
#include "progressbar/progress_bar_gdi.h"
#include "settings/proxy_dialog_win32.h"

namespace rariduze {
namespace {

constexpr const wchar_t* kClassName = L"RARiduzeMainWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExtendedStyle = WS_EX_CONTROLPARENT;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

void RegisterClassOnce() {
  static const bool registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = Instance();
    window_class.hCursor = ::LoadCursorW(nullptr, StockResource(IDC_ARROW));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClassName;
    return ::RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
}

}  // namespace

frmMain::frmMain(Win32UiServices& ui, InternetApi& internet, FileSystem& files,
                 SystemServices& system, UpdaterSetup setup)
    : ui_(ui) {
  RegisterClassOnce();
  menu_ = ::CreateMenu();
  // Two top-level items without sub-items: a click on one is its command.
  ::AppendMenuW(menu_, MF_STRING, kMnuProxy, Widen(kProxyMenuCaption).c_str());
  ::AppendMenuW(menu_, MF_STRING, kMnuVersion, Widen(kVersionMenuCaption).c_str());
  window_ = ::CreateWindowExW(kExtendedStyle, kClassName, Widen(kMainWindowTitle).c_str(), kStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, 400, 200, nullptr, menu_, Instance(),
                              nullptr);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  CreateControls();
  ApplyLayout(static_cast<int>(::GetDpiForWindow(window_)), nullptr);

  // Boxes belong to the window, which they keep disabled while they are up; Tab and the arrow
  // keys move between the buttons.
  ui_.PushOwner(window_);
  ui_.SetMessageFilter([this](MSG& message) {
    return IsOwnMessage(message) && ::IsDialogMessageW(window_, &message);
  });

  UpdaterView& view = *this;
  driver_ = std::make_unique<UpdateDriver>(view, ui, internet, files, system, std::move(setup));
}

frmMain::~frmMain() {
  ui_.SetMessageFilter(nullptr);
  ui_.PopOwner();
  driver_.reset();
  ProgressBar1_.reset();
  if (::IsWindow(window_)) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
  if (button_font_ != nullptr) ::DeleteObject(button_font_);
  if (big_icon_ != nullptr) ::DestroyIcon(big_icon_);
  if (small_icon_ != nullptr) ::DestroyIcon(small_icon_);
}

void frmMain::CreateControls() {
  // Created in their tab order: "Check for New version", "Exit", then "Stop Download".
  auto make_button = [this](const char* caption, int id) {
    return ::CreateWindowExW(
        0, L"BUTTON", Widen(caption).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0,
        0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  };
  cmdVerifica_ = make_button(kCheckCaption, kCmdVerifica);
  cmdEsci_ = make_button(kExitCaption, kCmdEsci);
  cmdStopDownload_ = make_button(kStopCaption, kCmdStopDownload);
  ::EnableWindow(cmdStopDownload_, FALSE);

  ProgressBar1_ = std::make_unique<ProgressBarGdi>(window_, ui_, control_host_);
  TeskShapeProgressBar& bar = ProgressBar1_->bar();
  FontDescription ambient;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    ambient.name = Narrow(metrics.lfMessageFont.lfFaceName);
    ambient.size = std::abs(metrics.lfMessageFont.lfHeight) * 72.0 / kStandardDpi;
  }
  bar.SetAmbientFont(ambient);
  bar.ReadProperties(ProgressBar1Settings());
}

void frmMain::ApplyLayout(int dpi, const RECT* suggested) {
  dpi_ = dpi > 0 ? dpi : kStandardDpi;
  layout_ = LayOutMainWindow(dpi_);

  HFONT old_font = button_font_;
  button_font_ = CreateMessageFont(dpi_);
  for (HWND button : {cmdVerifica_, cmdStopDownload_, cmdEsci_}) {
    ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(button_font_), FALSE);
  }
  if (old_font != nullptr) ::DeleteObject(old_font);

  auto place = [](HWND control, const PixelRect& r) {
    ::MoveWindow(control, r.left, r.top, r.width, r.height, TRUE);
  };
  place(cmdVerifica_, layout_.cmdVerifica);
  place(cmdStopDownload_, layout_.cmdStopDownload);
  place(cmdEsci_, layout_.cmdEsci);
  const PixelRect& bar = layout_.ProgressBar1;
  ProgressBar1_->Place(bar.left, bar.top, bar.width, bar.height, dpi_);

  // The icon in the sizes this resolution asks for.
  HICON old_big = big_icon_;
  HICON old_small = small_icon_;
  big_icon_ = static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(RARIDUZE_ICON_ID),
                                              IMAGE_ICON, ::GetSystemMetricsForDpi(SM_CXICON, dpi_),
                                              ::GetSystemMetricsForDpi(SM_CYICON, dpi_), 0));
  small_icon_ = static_cast<HICON>(::LoadImageW(
      Instance(), MAKEINTRESOURCEW(RARIDUZE_ICON_ID), IMAGE_ICON,
      ::GetSystemMetricsForDpi(SM_CXSMICON, dpi_), ::GetSystemMetricsForDpi(SM_CYSMICON, dpi_), 0));
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
  if (old_big != nullptr) ::DestroyIcon(old_big);
  if (old_small != nullptr) ::DestroyIcon(old_small);

  // The frame around the client area, menu bar included, at this resolution.
  RECT frame{0, 0, layout_.client_width, layout_.client_height};
  ::AdjustWindowRectExForDpi(&frame, kStyle, TRUE, kExtendedStyle, static_cast<UINT>(dpi_));
  int left = suggested != nullptr ? suggested->left : 0;
  int top = suggested != nullptr ? suggested->top : 0;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (suggested != nullptr ? 0 : SWP_NOMOVE);
  ::SetWindowPos(window_, nullptr, left, top, frame.right - frame.left, frame.bottom - frame.top,
                 flags);
  // A menu bar that wraps onto a second line takes from the client area: give it back.
  RECT client;
  ::GetClientRect(window_, &client);
  const int missing = layout_.client_height - (client.bottom - client.top);
  if (missing != 0) {
    RECT outer;
    ::GetWindowRect(window_, &outer);
    ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left,
                   outer.bottom - outer.top + missing, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

void frmMain::Show(int show_command) {
  ::ShowWindow(window_, show_command);
  ::UpdateWindow(window_);
  ::SetFocus(cmdVerifica_);
}

bool frmMain::IsOwnMessage(const MSG& message) const {
  return message.hwnd == window_ || ::IsChild(window_, message.hwnd);
}

LRESULT CALLBACK frmMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<frmMain*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT frmMain::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (driver_ != nullptr) RunMainWindowCommand(wparam, *driver_);
      return 0;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_ACTIVATE:
      // Back from a box or another program, the keyboard returns to the button it was on.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(window_, focus)) {
          ::SetPropW(window_, L"RARiduzeFocus", focus);
        }
      } else {
        auto* focus = static_cast<HWND>(::GetPropW(window_, L"RARiduzeFocus"));
        if (focus == nullptr || !::IsWindowEnabled(focus)) focus = cmdVerifica_;
        if (!::IsWindowEnabled(focus)) focus = cmdEsci_;
        ::SetFocus(focus);
      }
      return 0;
    case WM_DPICHANGED:
      ApplyLayout(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE:
      if (driver_ != nullptr) driver_->Form_Unload();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // However the session ends, the unload steps still run.
      if (wparam != 0 && driver_ != nullptr) driver_->Form_Unload();
      return 0;
    case WM_NCDESTROY:
      ::RemovePropW(window_, L"RARiduzeFocus");
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, wparam, lparam);
}

void frmMain::DrawButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT box = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool enabled = (item.itemState & ODS_DISABLED) == 0;

  // The frame as the system draws push buttons, themed where a theme is active.
  HTHEME theme = ::OpenThemeData(item.hwndItem, L"BUTTON");
  if (theme != nullptr) {
    const int state = !enabled ? PBS_DISABLED : pressed ? PBS_PRESSED : PBS_NORMAL;
    if (::IsThemeBackgroundPartiallyTransparent(theme, BP_PUSHBUTTON, state)) {
      ::DrawThemeParentBackground(item.hwndItem, dc, &box);
    }
    ::DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, &box, nullptr);
    ::CloseThemeData(theme);
  } else {
    ::DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  }

  HGDIOBJ old_font = ::SelectObject(dc, button_font_);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  const ButtonFaceLayout face =
      LayOutButtonFace(box.right - box.left, box.bottom - box.top, metrics.tmHeight,
                       layout_.picture_side, dpi_, pressed);

  const ButtonPicture picture = item.hwndItem == cmdVerifica_       ? ButtonPicture::kCheck
                                : item.hwndItem == cmdStopDownload_ ? ButtonPicture::kStop
                                                                    : ButtonPicture::kExit;
  DrawButtonPicture(dc, picture, box.left + face.picture.left, box.top + face.picture.top,
                    face.picture.width, enabled);

  // The caption wraps onto a second line rather than being cut short, centred in its room.
  const std::wstring caption = WindowText(item.hwndItem);
  RECT text{box.left + face.caption.left, box.top + face.caption.top,
            box.left + face.caption.right(), box.top + face.caption.bottom()};
  RECT measured = text;
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measured,
              DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
  const int spare = (text.bottom - text.top) - (measured.bottom - measured.top);
  if (spare > 0) text.top += spare / 2;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old_font);

  if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    const int inset = std::max(3, 4 * dpi_ / kStandardDpi);
    RECT focus{box.left + inset, box.top + inset, box.right - inset, box.bottom - inset};
    ::DrawFocusRect(dc, &focus);
  }
}

void frmMain::SetCheckCaption(const std::string& caption) {
  ::SetWindowTextW(cmdVerifica_, Widen(caption).c_str());
  ::InvalidateRect(cmdVerifica_, nullptr, TRUE);
  ::UpdateWindow(cmdVerifica_);
}

void frmMain::SetCheckEnabled(bool enabled) {
  ::EnableWindow(cmdVerifica_, enabled ? TRUE : FALSE);
}

void frmMain::SetStopEnabled(bool enabled) {
  ::EnableWindow(cmdStopDownload_, enabled ? TRUE : FALSE);
}

TeskShapeProgressBar& frmMain::ProgressBar1() { return ProgressBar1_->bar(); }

void frmMain::ShowProxyDialog(ProxyForm& form) {
  // No owner: the dialog stands on its own, modal to the whole program.
  frmProxy dialog(ui_, form);
  dialog.ShowModal();
}

void frmMain::ProcessEnding() {
  // Nothing of the window is kept or saved: it goes with the process.
}

}  // namespace rariduze
