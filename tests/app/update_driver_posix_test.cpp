// What the driver meets only on POSIX systems: signal dispositions inherited from the parent,
// and the mode bits of the temporary folder.
#include <signal.h>
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/app/update_driver_fixture.h"

namespace rariduze::testing {
namespace {

// A parent that ignores SIGCHLD hands that on to the updater; the installer's exit status is
// then lost, unless the updater undoes it when it starts.
TEST_F(UpdateDriverTest, AnIgnoredChildSignalFromTheParentDoesNotHideTheInstallersStatus) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetup(4);
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved {};
  ::sigaction(SIGCHLD, &ignore, &saved);
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  ::sigaction(SIGCHLD, &saved, nullptr);

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the installer ended with exit status 4.");
}

TEST_F(UpdateDriverTest, UnsafeTemporaryFolderIsReportedAndNothingIsDownloaded) {
  fixture.PublishVersion("1.0.23");
  fixture.Serve();
  const std::string temp = fixture.TempFolder();
  ASSERT_FALSE(temp.empty());
  ASSERT_EQ(::chmod(temp.c_str(), 0777), 0);  // open to everyone: refused
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, kStyleOkStop);
  EXPECT_NE(ui.boxes[0].text.find("The private temporary folder could not be prepared: "),
            std::string::npos)
      << ui.boxes[0].text;
  EXPECT_TRUE(view.IsIdle());
  EXPECT_EQ(fixture.server().AccessLogSynced(), "");
  ::chmod(temp.c_str(), 0700);
}

}  // namespace
}  // namespace rariduze::testing
