#pragma once

#include <string>
#include <vector>

#include "platform/ui_services_win32.h"
#include "platform/windows_api.h"
#include "settings/proxy_form.h"

namespace rariduze {

// "Set proxy options" in Win32: a modal dialog with the controls in their places and tab order,
// over the dialog's logic in ProxyForm. OK and the close box save and apply; Escape does not
// close it, and a desktop session that ends saves nothing. The port box takes the digits and
// Backspace as typed, and a paste only when it is all digits.
class frmProxy : private ProxyFormView {
 public:
  frmProxy(Win32UiServices& ui, ProxyForm& form);
  ~frmProxy() override;
  frmProxy(const frmProxy&) = delete;
  frmProxy& operator=(const frmProxy&) = delete;

  // Opens the dialog, fills it from the settings file and returns once it has closed. The
  // program's other windows take no input meanwhile.
  void ShowModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void BuildControls();
  void DisableOtherWindows();
  void EnableOtherWindows();

  std::string AddressText() const override;
  void SetAddressText(const std::string& text) override;
  std::string PortText() const override;
  void SetPortText(const std::string& text) override;
  bool LanChecked() const override;
  void SetLanChecked(bool checked) override;
  void SelectPort() override;
  void CloseDialog() override;

  Win32UiServices& ui_;
  ProxyForm& form_;
  HWND dialog_ = nullptr;
  HWND cmdOk_ = nullptr;
  HWND txtAddress_ = nullptr;
  HWND txtPort_ = nullptr;
  HWND chkLAN_ = nullptr;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  std::vector<HWND> disabled_;
};

}  // namespace rariduze
