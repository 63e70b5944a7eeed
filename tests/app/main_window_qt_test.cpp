// The Qt window over the update driver, under Qt's offscreen platform: its layout, the states
// its buttons show, and that its clicks and close box reach the driver. The sequence itself is
// tested on the driver (update_driver_test.cpp).
#include "tests/app/main_window_qt_fixture.h"

namespace rariduze::testing {
namespace {

using ::testing::IsEmpty;

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
