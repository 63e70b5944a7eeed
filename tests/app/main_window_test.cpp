// The whole update sequence in the real window, under Qt's offscreen platform, against a real
// nginx, the real unzip library and real stand-in programs. Scenarios that end the program run
// in a child process (death tests); their boxes are logged to a file the parent reads.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "progressbar/progress_bar_widget.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/loopback_responder.h"

namespace rariduze::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

const char kUpdateAvailable[] =
    "1.0.23 version of Zentri PC is available for the download\r"
    "Would you like to download and install the new version?";

class MainWindowTest : public ::testing::Test {
 protected:
  UpdaterFixture fixture;
  ScriptedUi ui{fixture.BoxLog()};

  bool ServedAppStarted() {
    return WaitUntil([&] { return FileIsThere(fixture.ServedAppMark()); });
  }
  bool TempFilesGone() {
    for (const char* name : {"ZTVersion", "setupZT.zip", "setupZT.exe"}) {
      if (FileIsThere(fixture.TempFolder() + name)) return false;
    }
    return true;
  }
  // Runs a scenario in a child process, with a fresh window that has loaded and is shown; the
  // scenario must end the program by itself, as every way out of the updater does.
  void ExpectProgramEndsAfter(const std::function<void(frmMain&)>& scenario) {
    EXPECT_EXIT(
        {
          auto window = fixture.MakeWindow(ui);
          window->Form_Load();
          window->show();
          scenario(*window);
          std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
  }
  bool LogHas(const std::string& request) {
    return fixture.server().AccessLog().find(request) != std::string::npos;
  }
  static bool IsIdle(frmMain& window) {
    return window.cmdVerifica()->text() == kCheckCaption && window.cmdVerifica()->isEnabled() &&
           !window.cmdStopDownload()->isEnabled();
  }
};

// --- the road of an update -----------------------------------------------------------------

TEST_F(MainWindowTest, NewerVersionAndYesInstallsWaitsReportsAndRestarts) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup(0);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  ExpectProgramEndsAfter([](frmMain& window) { window.cmdVerifica()->click(); });

  EXPECT_THAT(
      ReadBoxLog(fixture.BoxLog()),
      ElementsAre(
          AllOf(Field(&ShownBox::text, kUpdateAvailable),
                Field(&ShownBox::style, kStyleYesNoInformation),
                Field(&ShownBox::title, "Update available")),
          AllOf(
              Field(&ShownBox::text, "Update successfully completed! It will be started Zentri PC"),
              Field(&ShownBox::style, kStyleOkInformation), Field(&ShownBox::title, "RARiduze"))));
  // The installer ran from the private temporary folder, with no arguments.
  EXPECT_EQ(ReadFile(fixture.InstallerMark()), fixture.TempFolder() + "setupZT.exe \n");
  EXPECT_TRUE(TempFilesGone());
  ASSERT_TRUE(ServedAppStarted());
  EXPECT_EQ(ReadFile(fixture.ServedAppMark()), "started\n");
}

TEST_F(MainWindowTest, EqualVersionSaysSoThenUnloads) {
  fixture.PublishVersion("1.0.22");
  fixture.Serve();
  ExpectProgramEndsAfter([](frmMain& window) { window.cmdVerifica()->click(); });
  EXPECT_THAT(ReadBoxLog(fixture.BoxLog()),
              ElementsAre(AllOf(
                  Field(&ShownBox::text, "There are not available new versions of Zentri PC!"),
                  Field(&ShownBox::style, kStyleOkInformation),
                  Field(&ShownBox::title, "You have already the new version"))));
  EXPECT_TRUE(TempFilesGone());
  EXPECT_TRUE(ServedAppStarted());
}

TEST_F(MainWindowTest, ExitDeletesTemporaryFilesAndStartsTheServedApplication) {
  fixture.Serve();
  const std::string temp = fixture.TempFolder();
  for (const char* name : {"ZTVersion", "setupZT.zip", "setupZT.exe"}) {
    WriteFile(temp + name, "left over");
  }
  WriteFile(temp + "unrelated", "kept");
  ExpectProgramEndsAfter([](frmMain& window) { window.cmdEsci()->click(); });
  EXPECT_TRUE(TempFilesGone());
  EXPECT_EQ(ReadFile(temp + "unrelated"), "kept");
  EXPECT_TRUE(ServedAppStarted());
  EXPECT_THAT(ReadBoxLog(fixture.BoxLog()), IsEmpty());
}

TEST_F(MainWindowTest, CloseBoxUnloadsLikeExit) {
  fixture.Serve();
  ExpectProgramEndsAfter([](frmMain& window) { window.close(); });
  EXPECT_TRUE(ServedAppStarted());
}

TEST_F(MainWindowTest, NoToARealQuestionBoxLeavesTheWindowIdleForANewCheck) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  QtUiServices real_boxes;
  auto window = fixture.MakeWindow(real_boxes);
  window->Form_Load();
  window->show();

  // Answers the real modal box as a person would: by its No button.
  std::string question;
  int answered = 0;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    question = box->text().toStdString();
    ++answered;
    box->button(QMessageBox::No)->click();
  });
  answerer.start(50);
  QTimer::singleShot(20000, [] {
    if (QWidget* box = QApplication::activeModalWidget()) box->close();  // never hang
  });
  window->cmdVerifica()->click();
  answerer.stop();

  EXPECT_EQ(answered, 1);
  EXPECT_EQ(question,
            "1.0.23 version of Zentri PC is available for the download\n"
            "Would you like to download and install the new version?");
  EXPECT_TRUE(IsIdle(*window));
  // A new check is possible and asks the server again.
  ui.yes_no_answer = kAnswerNo;
  ASSERT_TRUE(WaitUntil([&] { return LogHas("GET /versionZT.dat"); }));
  const std::size_t requests = fixture.server().AccessLog().size();
  QTimer::singleShot(100, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->button(QMessageBox::No)->click();
    }
  });
  answerer.start(50);
  window->cmdVerifica()->click();
  answerer.stop();
  EXPECT_EQ(answered, 2);
  EXPECT_TRUE(WaitUntil([&] { return fixture.server().AccessLog().size() > requests; }));
  EXPECT_TRUE(IsIdle(*window));
}

TEST_F(MainWindowTest, MissingVersionFileStallsTheCheckAndLaterClicksAreIgnored) {
  fixture.Serve();
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->cmdVerifica()->click();
  EXPECT_EQ(window->cmdVerifica()->text(), kBusyCaption);
  EXPECT_TRUE(window->cmdVerifica()->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return LogHas("HEAD /versionZT.dat"); }));
  const std::string log = fixture.server().AccessLog();
  window->cmdVerifica()->click();
  window->cmdVerifica()->click();
  WaitUntil([] { return false; }, 300);  // time for a request to show up, were one made
  EXPECT_EQ(fixture.server().AccessLog(), log) << "a stalled check must not ask again";
  EXPECT_THAT(ui.boxes, IsEmpty());
}

TEST_F(MainWindowTest, MissingSetupArchiveAfterYesLeavesTheWindowIdleWithoutAMessage) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Update available");
  EXPECT_TRUE(IsIdle(*window));
}

TEST_F(MainWindowTest, StopDownloadCancelsTheSetupDownload) {
  fixture.PublishVersion("1.0.23");
  // A setup archive large enough, and served slowly enough, to be stopped half-way.
  std::mt19937 random(7);
  std::string payload(400 * 1024, '\0');
  for (char& c : payload) c = static_cast<char>(random());
  fixture.PublishSetup(0, payload);
  fixture.Serve("limit_rate 64k;");
  ui.yes_no_answer = kAnswerYes;
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->show();
  SaveImage(*window, "idle");

  bool checking_seen = false;
  bool stopped = false;
  double value_before_setup = -1;
  ui.on_yield = [&] {
    if (!checking_seen && window->cmdVerifica()->text() == kBusyCaption) {
      checking_seen = true;
      SaveImage(*window, "checking");
    }
    // The first yield after a progress event: stop there, as a person clicking would.
    if (!window->cmdStopDownload()->isEnabled()) return;
    // The bar still shows the version file until the first chunk of the archive arrives.
    if (value_before_setup < 0) value_before_setup = window->ProgressBar1().bar().Value();
    if (!stopped && window->ProgressBar1().bar().Value() != value_before_setup) {
      stopped = true;
      SaveImage(*window, "downloading-setup");
      window->cmdStopDownload()->click();
    }
  };
  window->cmdVerifica()->click();
  ui.on_yield = nullptr;

  ASSERT_TRUE(stopped);
  EXPECT_EQ(window->ProgressBar1().bar().Value(), 0);
  EXPECT_EQ(window->ProgressBar1().bar().Caption(), "0 %");
  EXPECT_FALSE(window->cmdVerifica()->isEnabled());
  EXPECT_EQ(window->cmdVerifica()->text(), kCheckCaption);
  EXPECT_TRUE(window->cmdStopDownload()->isEnabled());
  EXPECT_FALSE(FileIsThere(fixture.InstallerMark()));
  // Stopped: more clicks on "Stop Download" keep the bar at 0.
  window->cmdStopDownload()->click();
  EXPECT_EQ(window->ProgressBar1().bar().Value(), 0);
}

// --- failures the window reports instead of claiming success --------------------------------

struct InstallFailure {
  const char* label;
  std::function<void(UpdaterFixture&)> publish;
  const char* message;
};

class InstallFailureTest : public MainWindowTest,
                           public ::testing::WithParamInterface<InstallFailure> {};

TEST_P(InstallFailureTest, IsReportedAndTheWindowReturnsToIdle) {
  fixture.PublishVersion("1.0.23");
  GetParam().publish(fixture);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->cmdVerifica()->click();

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, GetParam().message);
  EXPECT_EQ(ui.boxes[1].style, kStyleOkStop);
  EXPECT_TRUE(IsIdle(*window));
  for (const ShownBox& box : ui.boxes) {
    EXPECT_EQ(box.text.find("successfully"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Setup, InstallFailureTest,
    ::testing::Values(
        InstallFailure{"DamagedArchive",
                       [](UpdaterFixture& f) { f.PublishFile("setupZT.zip", "PK\3\4 not a zip"); },
                       "The update could not be installed: the setup archive could not be "
                       "extracted."},
        InstallFailure{"NoInstallerInTheArchive",
                       [](UpdaterFixture& f) { f.PublishSetupWithoutInstaller(); },
                       "The update could not be installed: the setup archive holds no "
                       "\"setupZT.exe\"."},
        InstallFailure{"InstallerFails", [](UpdaterFixture& f) { f.PublishSetup(4); },
                       "The update could not be installed: the installer ended with exit "
                       "status 4."}),
    [](const ::testing::TestParamInfo<InstallFailure>& info) { return info.param.label; });

TEST_F(MainWindowTest, UnreadableVersionFileIsNotTakenForNoNewerVersion) {
  fixture.PublishVersion("<html>error</html>");
  fixture.Serve();
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The version information on the update server could not be read.");
  EXPECT_EQ(ui.boxes[0].style, kStyleOkInformation);
  EXPECT_TRUE(IsIdle(*window));
}

TEST_F(MainWindowTest, UnsafeTemporaryFolderIsReportedAndNothingIsDownloaded) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  const std::string temp = fixture.TempFolder();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(::chmod(temp.c_str(), 0777), 0);  // open to everyone: refused
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, kStyleOkStop);
  EXPECT_NE(ui.boxes[0].text.find("temporary folder"), std::string::npos) << ui.boxes[0].text;
  EXPECT_TRUE(IsIdle(*window));
  WaitUntil([] { return false; }, 300);  // time for a request to show up, were one made
  EXPECT_EQ(fixture.server().AccessLog(), "");
  ::chmod(temp.c_str(), 0700);
}

TEST_F(MainWindowTest, UnknownSizeRaisesNoBarErrorsAndEndsAtOneHundredPercent) {
  LoopbackResponder responder;
  // No Content-Length: the body ends when the connection closes.
  const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  responder.Enqueue(Reply().Send(head));                 // HEAD
  responder.Enqueue(Reply().Send(head + "1.0.23\r\n"));  // GET
  ui.yes_no_answer = kAnswerNo;
  auto window =
      fixture.MakeWindow(ui, responder.Url("/versionZT.dat"), responder.Url("/setupZT.zip"));
  window->Form_Load();
  window->cmdVerifica()->click();
  ASSERT_EQ(ui.boxes.size(), 1u) << ui.boxes[0].title << ": " << ui.boxes[0].text;
  EXPECT_EQ(ui.boxes[0].title, "Update available");
  EXPECT_EQ(window->ProgressBar1().bar().Caption(), "100 %");
}

// --- startup and the settings file ----------------------------------------------------------

TEST_F(MainWindowTest, StartupReadsTheSettingsFile) {
  struct Case {
    const char* contents;  // nullptr: no file
    bool usa_lan;
    std::vector<std::string> boxes;
    std::string proxy_server;
    int proxy_port;
  };
  const Case cases[] = {
      {nullptr, true, {}, "", 8080},
      {"", true, {}, "", 8080},
      {"10.0.0.1:3128\r\n", true, {}, "10.0.0.1", 3128},
      {"10.0.0.1:3128\r\n1\r\n", true, {}, "10.0.0.1", 3128},
      {":\r\n1\r\n", true, {}, "", 8080},
      {"00\r\n00\r\n", true, {"9 Subscript out of range"}, "00", 8080},
      {"proxyhost\r\n1\r\n", true, {"9 Subscript out of range"}, "proxyhost", 8080},
      {"host:abc\r\n1\r\n", true, {"13 Type mismatch"}, "host", 8080},
      {"host:99999\r\n1\r\n", true, {"6 Overflow"}, "host", 8080},
      {":\r\n0\r\n", false, {"You must initiate a dial-up connection"}, "", 8080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contents == nullptr ? "(no file)" : c.contents);
    std::remove((fixture.AppDir() + "proxy").c_str());
    if (c.contents != nullptr) fixture.WriteSettings(c.contents);
    ui.boxes.clear();
    auto window = fixture.MakeWindow(ui);
    window->Form_Load();
    EXPECT_EQ(window->UsaLan, c.usa_lan);
    std::vector<std::string> texts;
    for (const ShownBox& box : ui.boxes) texts.push_back(box.text);
    EXPECT_EQ(texts, c.boxes);
    EXPECT_EQ(window->IntF().ProxyServer(), c.proxy_server);
    EXPECT_EQ(window->IntF().ProxyPort(), c.proxy_port);
    // A missing file is created empty; an existing one is left as it was.
    EXPECT_EQ(ReadFile(fixture.AppDir() + "proxy"), c.contents == nullptr ? "" : c.contents);
  }
}

TEST_F(MainWindowTest, WithoutLanAndDialUpACheckAsksTheServerAndThenDoesNothing) {
  fixture.WriteSettings(":\r\n0\r\n");
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  auto window = fixture.MakeWindow(ui);
  window->Form_Load();
  ui.boxes.clear();
  window->cmdVerifica()->click();
  EXPECT_THAT(ui.boxes, IsEmpty());
  EXPECT_TRUE(IsIdle(*window));
  // nginx logs a request just after answering it.
  EXPECT_TRUE(WaitUntil([&] { return LogHas("HEAD /versionZT.dat"); }));
  EXPECT_FALSE(LogHas("GET /versionZT.dat"));
}

TEST_F(MainWindowTest, VersionMenuShowsTheProgramVersion) {
  fixture.Serve();
  auto window = fixture.MakeWindow(ui);
  window->mnuversion()->trigger();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "1.0.22");
  EXPECT_EQ(ui.boxes[0].style, kStyleOk);
  EXPECT_EQ(ui.boxes[0].title, "RARiduze");
}

TEST_F(MainWindowTest, WindowLayoutFollowsTheDesign) {
  fixture.Serve();
  auto window = fixture.MakeWindow(ui);
  window->show();
  EXPECT_EQ(window->windowTitle().toStdString(), "ZT --> Check update Availability ");
  EXPECT_EQ(window->cmdVerifica()->text().toStdString(), "Check for New version");
  EXPECT_EQ(window->cmdStopDownload()->text().toStdString(), "Stop Download");
  EXPECT_EQ(window->cmdEsci()->text().toStdString(), "Exit");
  EXPECT_FALSE(window->cmdStopDownload()->isEnabled());
  // 15 twips per pixel at 96 dpi.
  const double scale = window->logicalDpiX() / 96.0;
  EXPECT_NEAR(window->cmdVerifica()->geometry().left(), 9 * scale, 1);
  EXPECT_NEAR(window->cmdVerifica()->width(), 121 * scale, 1);
  EXPECT_NEAR(window->ProgressBar1().width(), 370 * scale, 1);
  EXPECT_NEAR(window->ProgressBar1().height(), 16 * scale, 1);
  EXPECT_EQ(window->ProgressBar1().bar().Caption(), "0 %");
  EXPECT_TRUE(window->ProgressBar1().bar().Font().bold);
  EXPECT_EQ(window->ProgressBar1().bar().BackColor(), 0x00EEE3E7u);
  EXPECT_EQ(window->mnuproxy()->text().toStdString(), "Set Proxy / Lan Connection");
  EXPECT_EQ(window->mnuversion()->text().toStdString(), "Version");
  EXPECT_EQ(window->cmdVerifica()->nextInFocusChain(), window->cmdEsci());
}

}  // namespace
}  // namespace rariduze::testing

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
