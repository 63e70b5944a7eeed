// What the driver meets only on POSIX systems: signal dispositions inherited from the parent,
// and an installer without the right to be executed.
#include <signal.h>

#include <string>

#include <gmock/gmock.h>
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

TEST_F(UpdateDriverTest, AnInstallerThatCannotBeStartedIsReportedWithTheReason) {
  fixture.PublishVersion("1.0.23");
  fixture.PublishSetupNotExecutable();
  fixture.Serve();
  ui.yes_no_answer = kAnswerYes;
  auto driver = LoadedDriver();
  driver->cmdVerifica_Click();

  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text,
            "The update could not be installed: the installer could not be started: " +
                fixture.InstallerPath() + " is not executable.");
  EXPECT_TRUE(view.IsIdle());
  EXPECT_THAT(fixture.InstallersThatRan(), ::testing::IsEmpty());
}

}  // namespace
}  // namespace rariduze::testing
