#include "platform/window_list.h"

#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/app/test_windows.h"
#include "tests/support/xvfb_server.h"

namespace rariduze {
namespace {

using ::testing::Contains;
using testing::ScopedDisplay;
using testing::TestWindows;
using ::testing::UnorderedElementsAre;
using testing::XvfbServer;

std::vector<std::string> AllTitles() {
  std::vector<std::string> titles;
  EnumerateTopLevelWindows([&](const std::string& title) {
    titles.push_back(title);
    return true;
  });
  return titles;
}

TEST(WindowListWithoutDesktop, VisitsNothing) {
  {
    ScopedDisplay none("");
    EXPECT_TRUE(AllTitles().empty());
  }
  ScopedDisplay unreachable(":65000");
  EXPECT_TRUE(AllTitles().empty());
}

using WindowListTest = testing::WithTestDesktop<::testing::Test>;

TEST_F(WindowListTest, WithoutWindowManagerVisitsEveryTopLevelWindowWithItsUtf8Title) {
  windows_->Create("Zentri Computer");
  windows_->Create("Welcome to Zentri Computer 2024");
  Window modern = windows_->Create("Latin-1 stand-in");
  windows_->SetUtf8Title(modern,
                         "Zentri Computer \xE2\x80\x94 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1");
  windows_->Create("Caf\xE9 cr\xE8me");  // Latin-1 bytes, stored without _NET_WM_NAME
  windows_->Create("");
  // Hidden (not mapped): an application minimised to the tray still has its window.
  windows_->Create("Zentri Computer in the tray", /*mapped=*/false);

  EXPECT_THAT(
      AllTitles(),
      UnorderedElementsAre("Zentri Computer", "Welcome to Zentri Computer 2024",
                           "Zentri Computer \xE2\x80\x94 \xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1",
                           "Caf\xC3\xA9 cr\xC3\xA8me", "Zentri Computer in the tray"));
}

TEST_F(WindowListTest, FindsTheApplicationWindowInsideAWindowManagerFrame) {
  Window frame = windows_->Create("");
  Window client = windows_->Create("Zentri Computer", /*mapped=*/true, frame);
  windows_->SetWmState(client);

  EXPECT_THAT(AllTitles(), UnorderedElementsAre("Zentri Computer"));
}

TEST_F(WindowListTest, WithAWindowManagerAlsoSeesWithdrawnWindowsAndSurvivesVanishedOnes) {
  Window listed = windows_->Create("Listed");
  Window minimised = windows_->Create("Minimised", /*mapped=*/false);
  // Withdrawn to the tray: unmapped, and dropped from the window manager's list.
  windows_->Create("Withdrawn", /*mapped=*/false);
  Window gone = windows_->Create("Gone");
  windows_->Destroy(gone);
  windows_->SetClientList({listed, gone, minimised});

  // Each window once, although the listed ones are also children of the root.
  EXPECT_THAT(AllTitles(), UnorderedElementsAre("Listed", "Minimised", "Withdrawn"));
}

TEST_F(WindowListTest, AWindowManagersListReachesWindowsNestedDeeperThanAFrame) {
  // Some desktops keep their frames below a window of their own that covers the screen.
  Window desktop = windows_->Create("");
  Window frame = windows_->Create("", /*mapped=*/true, desktop);
  Window inner = windows_->Create("", /*mapped=*/true, frame);
  Window deep = windows_->Create("", /*mapped=*/true, inner);
  Window client = windows_->Create("Zentri Computer", /*mapped=*/true, deep);
  windows_->SetClientList({client});

  EXPECT_THAT(AllTitles(), Contains("Zentri Computer"));
}

TEST_F(WindowListTest, StopsWhenTheVisitorSaysSo) {
  windows_->Create("one");
  windows_->Create("two");
  windows_->Create("three");

  int visits = 0;
  EnumerateTopLevelWindows([&](const std::string&) {
    ++visits;
    return false;
  });
  EXPECT_EQ(visits, 1);
}

}  // namespace
}  // namespace rariduze
