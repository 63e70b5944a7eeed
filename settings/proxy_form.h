#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/ui_services.h"

namespace rariduze {

// What the dialog hands its settings to: the main window's transfer control and LAN flag.
class ProxySettingsTarget {
 public:
  virtual ~ProxySettingsTarget() = default;
  virtual void ApplyProxy(const std::string& server, std::int16_t port) = 0;
  virtual void SetUsaLan(bool usa_lan) = 0;
};

// The dialog on screen, as its logic sees it: the three fields, and the two things the logic
// may ask of the dialog itself.
class ProxyFormView {
 public:
  virtual ~ProxyFormView() = default;
  // txtAddress, txtPort and chkLAN.
  virtual std::string AddressText() const = 0;
  virtual void SetAddressText(const std::string& text) = 0;
  virtual std::string PortText() const = 0;
  virtual void SetPortText(const std::string& text) = 0;
  virtual bool LanChecked() const = 0;
  virtual void SetLanChecked(bool checked) = 0;
  // Gives the port box the focus with its whole text selected, so a refused port can be
  // typed over at once.
  virtual void SelectPort() = 0;
  // Closes the dialog; its modal run returns.
  virtual void CloseDialog() = 0;
};

// What "Set proxy options" does, without its window: loading the settings file "proxy" into
// the fields, the port box's typing rule, and OK or the close box saving the file and handing
// the proxy and the LAN choice to the main window. One form serves one opening of the dialog.
class ProxyForm {
 public:
  ProxyForm(const std::string& app_dir, FileSystem& files, UiServices& ui,
            ProxySettingsTarget& target);

  // Opening the dialog: fills the view's fields from the settings file. A field that cannot
  // be read shows a failure report box and the load goes on with the next one.
  void Form_Load(ProxyFormView& view);

  // "OK": saves and applies, then closes the dialog. The port is the number its text starts
  // with, digits only (0 when there are none); one above 32767 is refused with a box
  // instead, nothing is saved, and the dialog stays open with the port selected.
  void cmdOk_Click();

  // The close box or the window menu's Close: saves and applies like OK. True when the dialog
  // may close; false when the port was refused and it stays open. A dialog closed for any
  // other reason (the desktop session ending, say) does not ask and saves nothing.
  bool Form_QueryUnload();

  // The port box takes the typed characters 0 to 9 and Backspace; every other one is
  // discarded.
  static bool AcceptsPortKey(char32_t key);
  // Whether a text may stand in the port box (digits only, or empty): for pasted text and for
  // toolkits that check the whole text after each edit.
  static bool IsPortText(std::string_view text);

  // True once the settings have been saved and applied.
  bool saved() const { return saved_; }

 private:
  // Saves and applies; false when the port was refused (the box has been shown).
  bool SaveAndApply();
  void ReportFailure(int number, const std::string& description);

  std::string settings_path_;
  FileSystem& files_;
  UiServices& ui_;
  ProxySettingsTarget& target_;
  ProxyFormView* view_ = nullptr;
  bool saved_ = false;
};

// The port text's largest allowed number: ProxyPort is a 16-bit signed number.
inline constexpr std::int32_t kLargestProxyPort = 32767;

}  // namespace rariduze
