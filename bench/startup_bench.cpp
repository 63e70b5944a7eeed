// Start-up to the first paint: the updater's window, or for comparison a plain window of the
// same size, shown under Qt's offscreen platform. The process ends at its first paint, so the
// caller times the whole run: rariduze-startup-bench updater|plain APP_DIR
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/main_window_qt.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/ui_services_qt.h"

namespace {

// Ends the process when the watched window paints for the first time.
class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      std::fflush(stdout);
      ::_exit(0);
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "updater") != 0 && std::strcmp(argv[1], "plain") != 0)) {
    std::fprintf(stderr, "usage: %s updater|plain APP_DIR\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  FirstPaint first_paint;

  std::unique_ptr<QMainWindow> window;
  rariduze::QtUiServices ui;
  std::unique_ptr<rariduze::InternetApi> internet;
  if (std::strcmp(argv[1], "updater") == 0) {
    internet = rariduze::CreateInternetApi();
    rariduze::UpdaterSetup setup = rariduze::UpdaterSetup::Default();
    setup.app_dir = std::string(argv[2]) + "/";
    auto updater = std::make_unique<rariduze::frmMain>(
        ui, *internet, rariduze::FileSystem::Default(), rariduze::SystemServices::Default(), setup);
    updater->driver().Form_Load();
    window = std::move(updater);
  } else {
    window = std::make_unique<QMainWindow>();
    window->setFixedSize(370, 140);
  }
  window->installEventFilter(&first_paint);
  window->show();
  return QApplication::exec();
}
