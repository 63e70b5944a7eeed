#include "settings/proxy_dialog_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/ui_services_win32.h"
#include "platform/wide_text_windows.h"
#include "settings/proxy_dialog_layout.h"

namespace rariduze {
namespace {

constexpr int kTxtAddress = 1001;
constexpr int kTxtPort = 1002;
constexpr int kChkLan = 1003;
constexpr UINT_PTR kPortSubclass = 1;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// The dialog's own font at a resolution, bold for the port box.
HFONT DialogFont(int dpi, bool bold) {
  LOGFONTW description{};
  description.lfHeight = -static_cast<LONG>(std::lround(kProxyDialogFontPoints * dpi / 72.0));
  description.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  wcscpy_s(description.lfFaceName, Widen(kProxyDialogFontName).c_str());
  return ::CreateFontIndirectW(&description);
}

std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!::OpenClipboard(owner)) return text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
      text = chars;
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

// Control characters that stand for editing commands rather than text: select all, copy,
// paste (checked on its own below), cut and undo.
bool IsEditingCommand(WPARAM character) {
  return character == 0x01 || character == 0x03 || character == 0x16 || character == 0x18 ||
         character == 0x1A;
}

// The port box: typed characters pass when the form accepts the key; a paste when the pasted
// text could stand in the box.
LRESULT CALLBACK PortBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                             DWORD_PTR) {
  switch (message) {
    case WM_CHAR:
      if (!IsEditingCommand(wparam) && !ProxyForm::AcceptsPortKey(static_cast<char32_t>(wparam))) {
        return 0;
      }
      break;
    case WM_PASTE:
      if (!ProxyForm::IsPortText(Narrow(ClipboardText(box)))) return 0;
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(box, &PortBoxProc, kPortSubclass);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(box, message, wparam, lparam);
}

// An empty dialog template: the controls are placed in pixels once the dialog knows its screen.
std::vector<WORD> DialogTemplate(const wchar_t* title) {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
  header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  header->dwExtendedStyle = WS_EX_CONTROLPARENT;
  header->cdit = 0;
  words.push_back(0);  // no menu
  words.push_back(0);  // the standard dialog class
  for (const wchar_t* c = title; *c != L'\0'; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

}  // namespace

frmProxy::frmProxy(Win32UiServices& ui, ProxyForm& form) : ui_(ui), form_(form) {}

frmProxy::~frmProxy() {
  if (font_ != nullptr) ::DeleteObject(font_);
  if (bold_font_ != nullptr) ::DeleteObject(bold_font_);
}

void frmProxy::ShowModal() {
  std::vector<WORD> dialog_template = DialogTemplate(Widen(kProxyDialogTitle).c_str());
  // No owner window: the dialog stands on its own; the other windows are disabled instead.
  ::DialogBoxIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(dialog_template.data()),
                            nullptr, &DialogProc, reinterpret_cast<LPARAM>(this));
  EnableOtherWindows();
  ui_.PopOwner();
  dialog_ = nullptr;
}

INT_PTR CALLBACK frmProxy::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<frmProxy*>(lparam);
    ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    self->dialog_ = dialog;
    return self->Handle(message, wparam, lparam);
  }
  auto* self = reinterpret_cast<frmProxy*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->Handle(message, wparam, lparam) : FALSE;
}

INT_PTR frmProxy::Handle(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ui_.PushOwner(dialog_);
      DisableOtherWindows();
      BuildControls();
      form_.Form_Load(*this);
      ::SetFocus(cmdOk_);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) {
        form_.cmdOk_Click();
      }
      // IDCANCEL (Escape) would close without saving, a way out the dialog does not offer.
      return TRUE;
    case WM_CLOSE:
      // The close box and the window menu's Close save and apply like OK.
      if (form_.Form_QueryUnload()) CloseDialog();
      return TRUE;
    case WM_ENDSESSION:
      // A session that ends closes the dialog without saving.
      if (wparam != 0) CloseDialog();
      return TRUE;
    case WM_DPICHANGED:
      return TRUE;  // the dialog keeps the layout it opened with until it closes
    default:
      return FALSE;
  }
}

void frmProxy::BuildControls() {
  const int dpi = static_cast<int>(::GetDpiForWindow(dialog_));
  const ProxyDialogLayout layout = LayOutProxyDialog(dpi);
  font_ = DialogFont(dpi, false);
  bold_font_ = DialogFont(dpi, true);

  // The client area in pixels, centred on the screen the dialog is on.
  RECT frame{0, 0, layout.client_width, layout.client_height};
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_STYLE));
  const auto extended = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_EXSTYLE));
  ::AdjustWindowRectExForDpi(&frame, style, FALSE, extended, static_cast<UINT>(dpi));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  ::SetWindowPos(dialog_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);

  // Created in the tab order: OK, address, port, the check box, then the labels.
  auto make = [this](const wchar_t* control_class, const std::string& text, DWORD control_style,
                     DWORD extended_style, int id, const PixelRect& r, HFONT font) {
    HWND control = ::CreateWindowExW(
        extended_style, control_class, Widen(text).c_str(), WS_CHILD | WS_VISIBLE | control_style,
        r.left, r.top, r.width, r.height, dialog_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  cmdOk_ =
      make(L"BUTTON", kProxyOkCaption, WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDOK, layout.cmdOk, font_);
  txtAddress_ = make(L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kTxtAddress,
                     layout.txtAddress, font_);
  txtPort_ = make(L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, kTxtPort,
                  layout.txtPort, bold_font_);
  ::SetWindowSubclass(txtPort_, &PortBoxProc, kPortSubclass, 0);
  chkLAN_ = make(L"BUTTON", "", WS_TABSTOP | BS_AUTOCHECKBOX, 0, kChkLan, layout.chkLAN, font_);
  for (const ProxyDialogLabel& label : layout.labels) {
    make(L"STATIC", label.text, SS_NOPREFIX | (label.centred ? SS_CENTER : SS_LEFT), 0, -1,
         label.place, font_);
  }
}

void frmProxy::DisableOtherWindows() {
  // Modal to the whole program: its other windows take no input until the dialog closes.
  disabled_.clear();
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM context) -> BOOL {
        auto* self = reinterpret_cast<frmProxy*>(context);
        if (window != self->dialog_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
          self->disabled_.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(this));
  for (HWND window : disabled_) ::EnableWindow(window, FALSE);
}

void frmProxy::EnableOtherWindows() {
  for (HWND window : disabled_) {
    if (::IsWindow(window)) ::EnableWindow(window, TRUE);
  }
  disabled_.clear();
}

std::string frmProxy::AddressText() const { return Narrow(WindowText(txtAddress_)); }

void frmProxy::SetAddressText(const std::string& text) {
  ::SetWindowTextW(txtAddress_, Widen(text).c_str());
}

std::string frmProxy::PortText() const { return Narrow(WindowText(txtPort_)); }

void frmProxy::SetPortText(const std::string& text) {
  // Set directly, as the file has it: the typing rule is for the user's keys.
  ::SetWindowTextW(txtPort_, Widen(text).c_str());
}

bool frmProxy::LanChecked() const {
  return ::SendMessageW(chkLAN_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmProxy::SetLanChecked(bool checked) {
  ::SendMessageW(chkLAN_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void frmProxy::SelectPort() {
  ::SetFocus(txtPort_);
  ::SendMessageW(txtPort_, EM_SETSEL, 0, -1);
}

void frmProxy::CloseDialog() {
  // The other windows come back first, so that the activation returns to them.
  EnableOtherWindows();
  ::EndDialog(dialog_, IDOK);
}

}  // namespace rariduze
