// The Windows updater's window and proxy dialog under Wine, worked as a person would: what they
// show, where, and what their keys and buttons do.
#include "tests/app/win32_updater_fixture.h"

namespace rariduze::testing {
namespace {

TEST_F(Win32UpdaterTest, TheWindowShowsItsButtonsAndExitEndsTheProgram) {
  // A file named like the version file, there before the run, is not this run's: it stays.
  WriteFile(temp_.File("ZTVersion"), "1.0.23\r\n");
  StartUpdater();
  ScreenWindow main = Main();
  const ScreenWindow* check = main.Child("Check for New version");
  const ScreenWindow* stop = main.Child("Stop Download");
  const ScreenWindow* exit = main.Child("Exit");
  const ScreenWindow* bar = main.ChildOfClass("RARiduzeProgressBar");
  ASSERT_TRUE(check && stop && exit && bar);
  EXPECT_TRUE(check->enabled);
  EXPECT_FALSE(stop->enabled);
  EXPECT_TRUE(exit->enabled);
  EXPECT_TRUE(check->focused);
  EXPECT_EQ(bar->text, "0 %");
  // The designer's twips at the screen's 96 dpi: 15 twips to the pixel, side by side, the bar
  // the whole width below them.
  EXPECT_EQ(check->right - check->left, 121);
  EXPECT_EQ(check->bottom - check->top, 100);
  EXPECT_EQ(exit->right - exit->left, 115);
  EXPECT_EQ(stop->left - check->left, 120);
  EXPECT_EQ(exit->left - stop->left, 120);
  EXPECT_EQ(bar->right - bar->left, 370);
  EXPECT_EQ(bar->bottom - bar->top, 16);
  EXPECT_EQ(bar->top - check->top, 101);
  Picture("main-window-idle");

  // Tab runs "Check for New version", "Exit", then back: "Stop Download" is disabled.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"Tab"}));
  EXPECT_TRUE(
      WaitForMain([](const ScreenWindow& m) { return m.Child("Exit")->focused; }, seconds(10)));

  Click(kMainTitle, "Exit");
  ExpectEndedAndDemoStartedOnce();
  EXPECT_EQ(TempEntries(), std::vector<std::string>{"ZTVersion"});
}

TEST_F(Win32UpdaterTest, TheProxyDialogShowsAnAddressInAnyScript) {
  WriteFile(app_.File("proxy"), "pr\xc3\xb8xy.\xe4\xbe\x8b:3128\r\n0\r\n");
  StartUpdater({}, false);
  // Without a LAN the updater wants a dial-up connection, which this machine has not: it says
  // so before its window shows.
  EXPECT_EQ(WaitForBox("RARiduze"), "You must initiate a dial-up connection");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindow(kMainTitle, kWindowWait));
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  std::optional<ScreenWindow> dialog = desktop_.WaitForWindow("Set proxy options", kWindowWait);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ChildOfClass("Edit", 0)->text, "pr\xc3\xb8xy.\xe4\xbe\x8b");
  EXPECT_EQ(dialog->ChildOfClass("Edit", 1)->text, "3128");
  EXPECT_FALSE(dialog->ChildOfClass("Button", 1)->checked);
  // OK writes back what it showed.
  ASSERT_TRUE(desktop_.FocusAndType("Set proxy options", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone("Set proxy options", kWindowWait));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "pr\xc3\xb8xy.\xe4\xbe\x8b:3128\r\n0\r\n");
}

TEST_F(Win32UpdaterTest, TheCloseBoxEndsTheProgramLikeExit) {
  StartUpdater();
  // Alt+F4 is the window menu's Close, as the close box.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"alt+F4"}));
  ExpectEndedAndDemoStartedOnce();
  // The settings file is made at startup when it is missing.
  EXPECT_TRUE(FileIsThere(app_.File("proxy")));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "");
}

TEST_F(Win32UpdaterTest, VersionShowsTheProgramsVersionInABox) {
  StartUpdater();
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Right", "Return"}));
  EXPECT_EQ(WaitForBox("RARiduze"), RARIDUZE_TEST_SHOWN_VERSION);
  // The box keeps the window from taking input while it is up.
  EXPECT_FALSE(Main().enabled);
  Picture("version-box");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  EXPECT_TRUE(desktop_.WaitForWindowGone("RARiduze", kWindowWait));
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) { return m.enabled; }));
  EXPECT_TRUE(desktop_.ProgramRunning());
}

TEST_F(Win32UpdaterTest, TheProxyDialogSavesWhatIsTypedAndRefusesAPortAbove32767) {
  StartUpdater();
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  std::optional<ScreenWindow> dialog = desktop_.WaitForWindow("Set proxy options", kWindowWait);
  ASSERT_TRUE(dialog);
  for (const char* label : {"Address:", "Port:", "Set the proxy", "<--", "OK",
                            "Check this Box If your Pc is connected through a LAN Gateway"}) {
    EXPECT_NE(dialog->Child(label), nullptr) << label;
  }
  EXPECT_TRUE(dialog->Child("OK")->focused);
  EXPECT_FALSE(Main().enabled);

  // OK, then the address, then the port: letters typed into the port box are dropped.
  const std::string title = "Set proxy options";
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "proxy.example"));
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "80a8x0"));
  // Pasting text that is not a number changes nothing: copy the address, paste it here.
  ASSERT_TRUE(desktop_.FocusAndType(
      title, {"shift+Tab", "ctrl+a", "ctrl+c", "Tab", "End", "ctrl+v", "Tab", "space"}));
  ASSERT_TRUE(desktop_.WaitUntil(
      [&](const std::vector<ScreenWindow>& windows) {
        const ScreenWindow* shown = Visible(windows, title);
        return shown != nullptr && shown->ChildOfClass("Edit", 1)->text == "8080" &&
               shown->ChildOfClass("Button", 1)->checked;
      },
      seconds(20)))
      << "port box: " << Visible(Screen(), title)->ChildOfClass("Edit", 1)->text;
  EXPECT_EQ(Visible(Screen(), title)->ChildOfClass("Edit", 0)->text, "proxy.example");
  Picture("proxy-dialog");

  // The close box saves and applies like OK.
  ASSERT_TRUE(desktop_.FocusAndType(title, {"alt+F4"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone(title, kWindowWait));
  EXPECT_EQ(ReadFile(app_.File("proxy")), "proxy.example:8080\r\n1\r\n");
  EXPECT_TRUE(WaitForMain([](const ScreenWindow& m) { return m.enabled; }));

  // Opened again, it shows what was saved; a port above 32767 is refused and nothing is saved.
  ASSERT_TRUE(desktop_.FocusAndType(kMainTitle, {"F10", "Return"}));
  dialog = desktop_.WaitForWindow(title, kWindowWait);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->ChildOfClass("Edit", 0)->text, "proxy.example");
  EXPECT_EQ(dialog->ChildOfClass("Edit", 1)->text, "8080");
  EXPECT_TRUE(dialog->ChildOfClass("Button", 1)->checked);
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Tab", "Tab", "ctrl+a"}));
  ASSERT_TRUE(desktop_.FocusAndTypeText(title, "99999"));
  ASSERT_TRUE(desktop_.FocusAndType(title, {"Return"}));
  EXPECT_EQ(WaitForBox("RARiduze"), "The proxy port must be a number from 0 to 32767.");
  ASSERT_TRUE(desktop_.FocusAndType("RARiduze", {"Return"}));
  ASSERT_TRUE(desktop_.WaitForWindowGone("RARiduze", kWindowWait));
  EXPECT_TRUE(Visible(Screen(), title)) << "the dialog closed on a refused port";
  EXPECT_EQ(ReadFile(app_.File("proxy")), "proxy.example:8080\r\n1\r\n");
}

}  // namespace
}  // namespace rariduze::testing
