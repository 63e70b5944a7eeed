// The Qt window over the update driver, under Qt's offscreen platform: its layout, the states
// its buttons show, and that its clicks, menu and close box reach the driver. The sequence
// itself is tested on the driver (update_driver_test.cpp).
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
namespace {

using ::testing::IsEmpty;

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
bool WaitProcessingEvents(const std::function<bool()>& done, int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Saves a picture of a widget for a person to look at, under the build tree's artifacts.
void SaveImage(QWidget& widget, const std::string& name) {
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
QColor PictureColourAt(QToolButton& button, int dpi, double x, double y) {
  const ButtonFaceLayout face =
      LayOutButtonFace(button.width(), button.height(), button.fontMetrics().height(),
                       LayOutMainWindow(dpi).picture_side, dpi);
  const QImage image = button.grab().toImage();
  return image.pixelColor(face.picture.left + static_cast<int>(x * face.picture.width / 100),
                          face.picture.top + static_cast<int>(y * face.picture.height / 100));
}

TEST_F(MainWindowTest, WindowShowsTheDesignsTextsPlacesAndPictures) {
  fixture.Serve();
  auto window = MakeWindow();
  window->show();
  EXPECT_EQ(window->windowTitle().toStdString(), "ZT --> Check update Availability ");
  EXPECT_EQ(window->cmdVerifica()->text().toStdString(), "Check for New version");
  EXPECT_EQ(window->cmdStopDownload()->text().toStdString(), "Stop Download");
  EXPECT_EQ(window->cmdEsci()->text().toStdString(), "Exit");
  EXPECT_EQ(window->mnuproxy()->text().toStdString(), "Set Proxy / Lan Connection");
  EXPECT_EQ(window->mnuversion()->text().toStdString(), "Version");
  EXPECT_TRUE(window->cmdVerifica()->isEnabled());
  EXPECT_FALSE(window->cmdStopDownload()->isEnabled());
  EXPECT_EQ(window->cmdVerifica()->nextInFocusChain(), window->cmdEsci());

  const int dpi = window->logicalDpiX();
  const MainWindowLayout layout = LayOutMainWindow(dpi);
  EXPECT_EQ(window->centralWidget()->size(), QSize(layout.client_width, layout.client_height));
  EXPECT_EQ(window->cmdVerifica()->geometry(), ToQRect(layout.cmdVerifica));
  EXPECT_EQ(window->cmdStopDownload()->geometry(), ToQRect(layout.cmdStopDownload));
  EXPECT_EQ(window->cmdEsci()->geometry(), ToQRect(layout.cmdEsci));
  EXPECT_EQ(window->ProgressBar1Widget().geometry(), ToQRect(layout.ProgressBar1));
  EXPECT_EQ(window->ProgressBar1Widget().bar().Caption(), "0 %");
  EXPECT_EQ(window->ProgressBar1Widget().bar().BackColor(), 0x00EEE3E7u);

  // The project's own pictures, whatever the desktop's icon theme: the blue disc, the green
  // arrow leaving by the door, and the stop sign in greys while "Stop Download" is disabled.
  const QColor disc = PictureColourAt(*window->cmdVerifica(), dpi, 50, 9);
  EXPECT_GT(disc.blue(), disc.red() + 100) << disc.name().toStdString();
  const QColor arrow = PictureColourAt(*window->cmdEsci(), dpi, 60, 54);
  EXPECT_GT(arrow.green(), arrow.red() + 80) << arrow.name().toStdString();
  const QColor stop = PictureColourAt(*window->cmdStopDownload(), dpi, 20, 50);
  EXPECT_EQ(stop.red(), stop.green()) << stop.name().toStdString();
  EXPECT_LT(stop.red(), 230) << "the octagon is drawn";
  SaveImage(*window, "design");
}

// --- ways out ------------------------------------------------------------------------------

TEST_F(MainWindowTest, ExitButtonEndsTheProgramThroughTheUnload) {
  fixture.Serve();
  ExpectTheWindowEndsTheProgram([&] {
    auto window = MakeWindow();
    window->driver().Form_Load();
    window->show();
    window->cmdEsci()->click();
  });
}

TEST_F(MainWindowTest, CloseBoxUnloadsLikeExit) {
  fixture.Serve();
  ExpectTheWindowEndsTheProgram([&] {
    auto window = MakeWindow();
    window->driver().Form_Load();
    window->show();
    window->close();
  });
}

// Exit and the close box while the setup archive is still coming in: the program ends from
// inside the transfer, nothing half-downloaded is installed, and the served application starts.
class WayOutDuringADownloadTest : public MainWindowTest,
                                  public ::testing::WithParamInterface<const char*> {};

TEST_P(WayOutDuringADownloadTest, EndsTheProgramFromInsideTheTransfer) {
  const std::string way_out = GetParam();
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWorthStopping();
  ui.yes_no_answer = kAnswerYes;
  ExpectTheWindowEndsTheProgram([&] {
    auto window = MakeWindow();
    window->driver().Form_Load();
    window->show();
    ui.on_yield = [&] {
      // "Stop Download" is enabled only while the setup archive is being downloaded.
      if (!window->cmdStopDownload()->isEnabled()) return;
      if (way_out == "Exit") {
        window->cmdEsci()->click();
      } else {
        window->close();
      }
    };
    window->cmdVerifica()->click();
  });
}

INSTANTIATE_TEST_SUITE_P(MainWindow, WayOutDuringADownloadTest,
                         ::testing::Values("Exit", "CloseBox"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

// --- what the buttons show, and clicks during a download -----------------------------------

TEST_F(MainWindowTest, ButtonsShowTheSequenceAndStopDownloadReachesTheDriver) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupWorthStopping();
  ui.yes_no_answer = kAnswerYes;
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->show();
  SaveImage(*window, "idle");

  bool checking_seen = false;
  bool stopped = false;
  double value_before_setup = -1;
  ui.on_yield = [&] {
    if (!checking_seen && window->cmdVerifica()->text() == kBusyCaption) {
      checking_seen = true;
      EXPECT_TRUE(window->cmdVerifica()->isEnabled());
      EXPECT_FALSE(window->cmdStopDownload()->isEnabled());
      SaveImage(*window, "checking");
    }
    // The first yield after a progress event: stop there, as a person clicking would.
    if (!window->cmdStopDownload()->isEnabled()) return;
    EXPECT_FALSE(window->cmdVerifica()->isEnabled());
    // The bar still shows the version file until the first chunk of the archive arrives.
    const double value = window->ProgressBar1Widget().bar().Value();
    if (value_before_setup < 0) value_before_setup = value;
    if (!stopped && value != value_before_setup) {
      stopped = true;
      SaveImage(*window, "downloading-setup");
      window->cmdStopDownload()->click();
    }
  };
  window->cmdVerifica()->click();
  ui.on_yield = nullptr;

  EXPECT_TRUE(checking_seen);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(window->ProgressBar1Widget().bar().Value(), 0);
  EXPECT_EQ(window->ProgressBar1Widget().bar().Caption(), "0 %");
  EXPECT_FALSE(window->cmdVerifica()->isEnabled());
  EXPECT_EQ(window->cmdVerifica()->text(), kCheckCaption);
  EXPECT_TRUE(window->cmdStopDownload()->isEnabled());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  // Stopped: more clicks on "Stop Download" keep the bar at 0.
  window->cmdStopDownload()->click();
  EXPECT_EQ(window->ProgressBar1Widget().bar().Value(), 0);
}

// A server that sends the setup archive's headers and then nothing: the window goes on
// painting while it waits, and "Stop Download" ends the wait at once, not after the 30 s
// without a byte that the updater allows a server.
TEST_F(MainWindowTest, StopDownloadEndsTheWaitForASilentServerAndTheWindowKeepsPainting) {
  using Clock = std::chrono::steady_clock;
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  LoopbackResponder silent;
  const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: 400000\r\n\r\n";
  silent.Enqueue(Reply().Send(headers));                        // the information request
  silent.Enqueue(Reply().Send(headers).Hold());                 // the download
  std::unique_ptr<InternetApi> internet = CreateInternetApi();  // the updater's own limits
  ui.yes_no_answer = kAnswerYes;
  auto window = std::make_unique<frmMain>(
      ui, *internet, FileSystem::Default(), fixture.system(),
      fixture.Setup(fixture.server().Url("/versionZT.dat"), silent.Url("/setupZT.zip")));
  window->driver().Form_Load();
  window->show();

  PaintCounter counter;
  window->ProgressBar1Widget().installEventFilter(&counter);
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, [&] { window->ProgressBar1Widget().update(); });
  repaint.start(50);
  // Timers fire only while the window processes its events: once the server has the
  // download's request, a second later, the user clicks "Stop Download".
  QTimer click;
  click.setSingleShot(true);
  int paints_before_the_wait = -1;
  int paints_while_waiting = -1;
  std::optional<Clock::time_point> clicked_at;
  QObject::connect(&click, &QTimer::timeout, [&] {
    paints_while_waiting = counter.paints - paints_before_the_wait;
    clicked_at = Clock::now();
    window->cmdStopDownload()->click();
  });
  ui.on_yield = [&] {
    if (paints_before_the_wait < 0 && silent.Requests().size() == 2) {
      paints_before_the_wait = counter.paints;
      click.start(1000);
    }
  };
  window->cmdVerifica()->click();
  const Clock::time_point ended = Clock::now();
  ui.on_yield = nullptr;
  repaint.stop();

  ASSERT_TRUE(clicked_at.has_value()) << "the click never came: the window was not yielded to";
  EXPECT_LT(ended - *clicked_at, std::chrono::seconds(2));
  // Twenty repaints were asked for during the second of silence, and the window is yielded to
  // ten times in it; a loaded machine may yield a tenth as often, a frozen window never.
  EXPECT_GE(paints_while_waiting, 1);
  EXPECT_EQ(window->ProgressBar1Widget().bar().Value(), 0);
  EXPECT_TRUE(window->cmdStopDownload()->isEnabled());
  EXPECT_THAT(fixture.system().events, IsEmpty());
  EXPECT_EQ(ReadFile(fixture.TempFolder() + "setupZT.zip"), "");
}

TEST_F(MainWindowTest, StalledCheckShowsTheBusyCaption) {
  fixture.Serve();
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->cmdVerifica()->click();
  EXPECT_EQ(window->cmdVerifica()->text(), kBusyCaption);
  EXPECT_TRUE(window->cmdVerifica()->isEnabled());
  EXPECT_FALSE(window->cmdStopDownload()->isEnabled());
}

TEST_F(MainWindowTest, NoToARealQuestionBoxLeavesTheWindowIdleForANewCheck) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  QtUiServices real_boxes;
  auto window = MakeWindow(real_boxes);
  window->driver().Form_Load();
  window->show();

  // Answers the real modal box as a person would: by its No button.
  std::string question;
  ModalHandler<QMessageBox> answerer([&](QMessageBox& box) {
    question = box.text().toStdString();
    box.button(QMessageBox::No)->click();
  });
  window->cmdVerifica()->click();
  EXPECT_EQ(answerer.handled, 1);
  EXPECT_EQ(question,
            "1.0.23 version of Zentri PC is available for the download\n"
            "Would you like to download and install the new version?");
  EXPECT_TRUE(ShowsIdle(*window));

  // A new check is possible and asks the server again.
  ASSERT_TRUE(WaitProcessingEvents([&] { return LogHas("GET /versionZT.dat"); }));
  const std::size_t requests = fixture.server().AccessLog().size();
  window->cmdVerifica()->click();
  EXPECT_EQ(answerer.handled, 2);
  EXPECT_TRUE(WaitProcessingEvents([&] { return fixture.server().AccessLog().size() > requests; }));
  EXPECT_TRUE(ShowsIdle(*window));
}

// --- the menu ------------------------------------------------------------------------------

TEST_F(MainWindowTest, ProxyMenuOpensTheDialogModallyAndItsOkReachesTheDriver) {
  fixture.WriteSettings("10.0.0.1:8080\r\n1\r\n");
  fixture.Serve();
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->show();

  std::string shown_address;
  bool owned = true;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    shown_address = dialog.txtAddress()->text().toStdString();
    owned = dialog.parentWidget() != nullptr;
    dialog.txtAddress()->setText("proxy.test");
    dialog.txtPort()->setText("3128");
    dialog.chkLAN()->setChecked(false);
    dialog.cmdOk()->click();
  });
  window->mnuproxy()->trigger();

  EXPECT_EQ(user.handled, 1);
  EXPECT_EQ(shown_address, "10.0.0.1");
  EXPECT_FALSE(owned) << "the dialog has no owner";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), "proxy.test:3128\r\n0\r\n");
  EXPECT_EQ(window->driver().IntF().ProxyServer(), "proxy.test");
  EXPECT_EQ(window->driver().IntF().ProxyPort(), 3128);
  EXPECT_FALSE(window->driver().UsaLan);
  EXPECT_THAT(ui.boxes, IsEmpty());
}

// What the dialog hands over reaches the window and decides the next check: the LAN choice
// decides whether it goes on after asking the server. The proxy typed in the dialog does not
// carry the request: the window's requests follow the desktop's own proxy settings.
TEST_F(MainWindowTest, TheDialogsChoicesReachTheNextCheckWhoseRequestsFollowTheDesktopsProxy) {
  TinyproxyServer desktop_proxy;
  ScopedEnv http_proxy("http_proxy", "http://" + desktop_proxy.Address());
  ScopedEnv no_proxy("no_proxy", std::nullopt);
  ScopedEnv no_proxy_upper("NO_PROXY", std::nullopt);
  fixture.WriteSettings(":\r\n1\r\n");
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  const std::string version_url = fixture.server().Url("/versionZT.dat");
  auto proxy_saw = [&](const std::string& method) {
    return desktop_proxy.Log().find(method + " " + version_url + " HTTP/1.") != std::string::npos;
  };
  auto window = MakeWindow();
  window->driver().Form_Load();
  window->show();
  // A proxy that nothing listens on: a request sent there would never be answered.
  const std::string dead_port = std::to_string(FreeLoopbackPort(32768));
  bool lan = false;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    dialog.txtAddress()->setText("127.0.0.1");
    dialog.txtPort()->setText(QString::fromStdString(dead_port));
    dialog.chkLAN()->setChecked(lan);
    dialog.cmdOk()->click();
  });

  // Without a LAN (and there is no dial-up connection) the check stops after asking.
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 1);
  EXPECT_EQ(window->driver().IntF().ProxyServer(), "127.0.0.1");
  EXPECT_EQ(window->driver().IntF().ProxyPort(), std::stoi(dead_port));
  window->cmdVerifica()->click();
  EXPECT_TRUE(WaitProcessingEvents([&] { return proxy_saw("HEAD"); })) << desktop_proxy.Log();
  EXPECT_THAT(ui.boxes, IsEmpty());
  EXPECT_TRUE(ShowsIdle(*window));

  // With a LAN the next check downloads the version file, through the desktop's proxy too.
  lan = true;
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 2);
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Update available") << ui.boxes[0].text;
  EXPECT_TRUE(WaitProcessingEvents([&] { return proxy_saw("GET"); })) << desktop_proxy.Log();
  EXPECT_TRUE(LogHas("GET /versionZT.dat"));
  EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), "127.0.0.1:" + dead_port + "\r\n1\r\n");
}

// Boxes open over the window that asked for them, not in the middle of the screen: the main
// window's over it, the settings dialog's over the dialog.
TEST_F(MainWindowTest, BoxesOpenOverTheWindowOrTheDialogThatAskedForThem) {
  fixture.Serve();
  QtUiServices real_boxes;
  auto window = MakeWindow(real_boxes);
  window->driver().Form_Load();
  window->show();
  std::vector<const QWidget*> box_parents;
  ModalHandler<QMessageBox> boxes([&](QMessageBox& box) {
    box_parents.push_back(box.parentWidget());
    box.button(QMessageBox::Ok)->click();
  });
  const QWidget* dialog_seen = nullptr;
  ModalHandler<frmProxy> user([&](frmProxy& dialog) {
    dialog_seen = &dialog;
    dialog.txtPort()->setText("40000");
    dialog.cmdOk()->click();  // refused, with a box
    dialog.txtPort()->setText("3128");
    dialog.cmdOk()->click();
  });

  window->mnuversion()->trigger();
  window->mnuproxy()->trigger();
  ASSERT_EQ(user.handled, 1);
  ASSERT_EQ(box_parents.size(), 2u);
  EXPECT_EQ(box_parents[0], window.get());
  EXPECT_EQ(box_parents[1], dialog_seen);
}

TEST_F(MainWindowTest, VersionMenuReachesTheDriver) {
  fixture.Serve();
  auto window = MakeWindow();
  window->mnuversion()->trigger();
  // The menu shows the box the driver shows for it, whatever that says.
  window->driver().mnuversion_Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, ui.boxes[1].text);
  EXPECT_EQ(ui.boxes[0].title, ui.boxes[1].title);
  EXPECT_EQ(ui.boxes[0].style, ui.boxes[1].style);
}

}  // namespace
}  // namespace rariduze::testing

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Qt paints with helper threads, which a forked child lacks (its first paint would wait for
  // them for ever): the scenarios that end the program run in the test program started afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
