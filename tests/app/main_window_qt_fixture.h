// The Qt window over the update driver under Qt's offscreen platform, with real yields (Qt's
// event processing) and scripted message boxes.
#pragma once

#include "app/main_window_qt.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_window_layout.h"
#include "platform/internet.h"
#include "platform/pixel_rect_qt.h"
#include "platform/ui_services_qt.h"
#include "progressbar/progress_bar_qt.h"
#include "settings/proxy_dialog_qt.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/loopback_responder.h"
#include "tests/support/tinyproxy_server.h"

namespace rariduze::testing {

// Real yields (Qt's event processing) with scripted message boxes.
class QtScriptedUi : public QtUiServices {
 public:
  std::vector<ShownBox> boxes;
  int yes_no_answer = kAnswerNo;
  std::function<void()> on_yield;

  void Yield() override {
    QtUiServices::Yield();
    if (on_yield) on_yield();
  }

 protected:
  int ShowMessageBox(const std::string& text, int style, const std::string& title) override {
    boxes.push_back({text, style, title});
    return style == kStyleYesNoInformation ? yes_no_answer : kAnswerOk;
  }
};

// Waits, bounded, until done() holds, processing Qt events meanwhile.
inline bool WaitProcessingEvents(const std::function<bool()>& done, int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Saves a picture of a widget for a person to look at, under the build tree's artifacts.
inline void SaveImage(QWidget& widget, const std::string& name) {
  const QString folder = QString(RARIDUZE_TEST_ARTIFACTS_DIR) + "/main-window";
  QDir().mkpath(folder);
  widget.grab().save(folder + "/" + QString::fromStdString(name) + ".png");
}

// Runs handle on the next modal widget of type T that opens, then stops looking; a modal
// widget still open after a time is closed, so that no test hangs.
template <typename T>
class ModalHandler {
 public:
  explicit ModalHandler(std::function<void(T&)> handle) : handle_(std::move(handle)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      auto* widget = dynamic_cast<T*>(QApplication::activeModalWidget());
      if (widget == nullptr) return;
      ++handled;
      handle_(*widget);
    });
    poll_.start(50);
    QObject::connect(&guard_, &QTimer::timeout, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    guard_.setSingleShot(true);
    guard_.start(20000);
  }
  int handled = 0;

 private:
  std::function<void(T&)> handle_;
  QTimer poll_;
  QTimer guard_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  UpdaterFixture fixture;
  QtScriptedUi ui;

  std::unique_ptr<frmMain> MakeWindow(QtUiServices& boxes) {
    return std::make_unique<frmMain>(boxes, fixture.internet(), FileSystem::Default(),
                                     fixture.system(), fixture.Setup());
  }
  std::unique_ptr<frmMain> MakeWindow() { return MakeWindow(ui); }
  bool LogHas(const std::string& request) {
    return fixture.server().AccessLog().find(request) != std::string::npos;
  }
  // The window ends the program for real, in a child: no exception may cross the toolkit. The
  // system's end of the process, which only the unload reaches, ends the child with status 0.
  void ExpectTheWindowEndsTheProgram(const std::function<void()>& scenario) {
    fixture.system().really_exit = true;
    EXPECT_EXIT(
        {
          scenario();
          std::_Exit(3);  // the scenario came back: the program did not end
        },
        ::testing::ExitedWithCode(0), "");
    fixture.system().really_exit = false;
  }
  static bool ShowsIdle(frmMain& window) {
    return window.cmdVerifica()->text() == kCheckCaption && window.cmdVerifica()->isEnabled() &&
           !window.cmdStopDownload()->isEnabled();
  }
};

// The colour at a point of a button's picture, given in the picture's 100 x 100 design square.
inline QColor PictureColourAt(QToolButton& button, int dpi, double x, double y) {
  const ButtonFaceLayout face =
      LayOutButtonFace(button.width(), button.height(), button.fontMetrics().height(),
                       LayOutMainWindow(dpi).picture_side, dpi);
  const QImage image = button.grab().toImage();
  return image.pixelColor(face.picture.left + static_cast<int>(x * face.picture.width / 100),
                          face.picture.top + static_cast<int>(y * face.picture.height / 100));
}

}  // namespace rariduze::testing
