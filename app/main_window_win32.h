#pragma once

#include <memory>
#include <string>

#include "app/main_window_layout.h"
#include "app/update_driver.h"
#include "app/updater_view.h"
#include "platform/control_host.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services_win32.h"
#include "platform/windows_api.h"

namespace rariduze {

class ProgressBarGdi;

// The updater's window in Win32: three picture buttons (owner-drawn), the progress bar drawn
// with GDI, and a menu bar with two items that act when clicked. What they do is the update
// driver's: the window shows what the driver tells it and hands it every click, the menu and
// the close box. Every way of closing it ends the program. Positions are the designer's twips,
// converted with the resolution of the screen the window is on and again when it moves to
// another one.
class frmMain : private UpdaterView {
 public:
  frmMain(Win32UiServices& ui, InternetApi& internet, FileSystem& files, SystemServices& system,
          UpdaterSetup setup);
  ~frmMain() override;
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  UpdateDriver& driver() { return *driver_; }
  HWND window() const { return window_; }
  void Show(int show_command);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void ApplyLayout(int dpi, const RECT* suggested);
  void DrawButton(const DRAWITEMSTRUCT& item);
  bool IsOwnMessage(const MSG& message) const;

  void SetCheckCaption(const std::string& caption) override;
  void SetCheckEnabled(bool enabled) override;
  void SetStopEnabled(bool enabled) override;
  TeskShapeProgressBar& ProgressBar1() override;
  void ShowProxyDialog(ProxyForm& form) override;
  void ProcessEnding() override;

  Win32UiServices& ui_;
  NullControlHost control_host_;
  HWND window_ = nullptr;
  HWND cmdVerifica_ = nullptr;
  HWND cmdStopDownload_ = nullptr;
  HWND cmdEsci_ = nullptr;
  HMENU menu_ = nullptr;
  HFONT button_font_ = nullptr;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  int dpi_ = kStandardDpi;
  MainWindowLayout layout_;
  std::unique_ptr<ProgressBarGdi> ProgressBar1_;
  // Made once the controls exist, so that it can show its first state on them.
  std::unique_ptr<UpdateDriver> driver_;
};

}  // namespace rariduze
