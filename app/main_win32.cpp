// The updater on Windows: one window, shown after its load step, until it unloads and ends the
// process.
#include "platform/windows_api.h"

#include <commctrl.h>

#include "app/main_window_win32.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  rariduze::Win32UiServices ui;
  std::unique_ptr<rariduze::InternetApi> internet = rariduze::CreateInternetApi();
  rariduze::frmMain window(ui, *internet, rariduze::FileSystem::Default(),
                           rariduze::SystemServices::Default(), rariduze::UpdaterSetup::Default());
  window.driver().Form_Load();
  window.Show(show_command);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ui.Dispatch(message);
  // The window ends the process when it unloads; a loop that ends otherwise unloads it too.
  window.driver().Form_Unload();
}
