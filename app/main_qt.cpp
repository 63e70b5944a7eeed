// The updater: one window, shown after its load step, until it unloads and ends the process.
#include <QApplication>

#include "app/main_window_qt.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services_qt.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("RARiduze");
  QApplication::setQuitOnLastWindowClosed(false);

  rariduze::QtUiServices ui;
  std::unique_ptr<rariduze::InternetApi> internet = rariduze::CreateInternetApi();
  rariduze::frmMain window(ui, *internet, rariduze::FileSystem::Default(),
                           rariduze::SystemServices::Default(), rariduze::UpdaterSetup::Default());
  window.driver().Form_Load();
  window.show();
  return QApplication::exec();
}
