#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {

// One window or control on the screen as a person sees it: where it is, whether it shows and
// takes input, and its text (the title of a window, the caption of a control).
struct ScreenWindow {
  std::string kind;  // "top" or "child"
  std::uintptr_t handle = 0;
  bool visible = false;
  bool enabled = false;
  int left = 0, top = 0, right = 0, bottom = 0;
  std::string class_name;
  std::string text;
  int id = 0;            // controls only
  bool checked = false;  // check boxes
  bool focused = false;  // controls only: it has the keyboard
  std::vector<ScreenWindow> children;

  int CentreX() const { return (left + right) / 2; }
  int CentreY() const { return (top + bottom) / 2; }
  // The control whose text is text exactly; nullptr when none.
  const ScreenWindow* Child(const std::string& text) const;
  const ScreenWindow* ChildOfClass(const std::string& class_name, int index = 0) const;
};

// A desktop of a test's own for Windows programs under Wine: a private X server (Xvfb, free
// display), a Windows desktop with a fresh name on it, and the hands to work it as a person
// would: xdotool to find windows by their titles, focus them, type and click, plus a look at
// what the windows show and a picture of the screen. Wine puts the windows of every program
// on one X server per desktop, chosen by the first program there, hence the desktop of its
// own. Everything started on it ends when the object goes, the X server last.
class WineDesktop {
 public:
  WineDesktop();
  ~WineDesktop();
  WineDesktop(const WineDesktop&) = delete;
  WineDesktop& operator=(const WineDesktop&) = delete;

  bool ready() const { return !display_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& display() const { return display_; }

  // Starts a Windows program on the desktop with extra environment ("NAME=value"). Only one
  // program at a time.
  bool Start(const std::string& program, const std::vector<std::string>& environment = {});
  // The program's exit status once it has ended within timeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // Once WaitForExit has seen the end: the file names of the programs it started that were
  // still running when it ended, one per start.
  std::vector<std::string> ProgramsLeft();
  bool ProgramRunning();

  // What the desktop shows now: its top-level windows with their controls.
  std::vector<ScreenWindow> Windows();
  // Polls the desktop until a visible top-level window with this exact title appears.
  std::optional<ScreenWindow> WaitForWindow(const std::string& title,
                                            std::chrono::milliseconds timeout);
  // Polls until the visible window with this title is gone.
  bool WaitForWindowGone(const std::string& title, std::chrono::milliseconds timeout);
  // Polls until check holds for what the desktop shows.
  bool WaitUntil(const std::function<bool(const std::vector<ScreenWindow>&)>& check,
                 std::chrono::milliseconds timeout);

  // xdotool, for the person's hands: the X window of a title, its focus, keys, clicks.
  ProgramRun Xdotool(const std::vector<std::string>& arguments,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Focuses the X window whose name matches title exactly, then sends the keys to it (each an
  // xdotool key name: "y", "Return", "Tab", "F10").
  bool FocusAndType(const std::string& title, const std::vector<std::string>& keys);
  bool FocusAndTypeText(const std::string& title, const std::string& text);
  // Sends the keys to whichever window has the keyboard now, as a person who types without
  // clicking anywhere first.
  bool Type(const std::vector<std::string>& keys);
  // Focuses the window with title, then clicks at a point of the screen.
  bool FocusAndClick(const std::string& title, int x, int y);

  // Writes a picture of the screen (PNG).
  bool Screenshot(const std::string& png_path);

 private:
  ProgramRun Helper(const std::vector<std::string>& arguments);
  std::optional<std::string> XWindowOf(const std::string& title);

  TestDir dir_{"desktop"};
  std::unique_ptr<ChildProcess> xvfb_;
  std::unique_ptr<ChildProcess> program_;
  std::string display_;
  std::string desktop_name_;
  std::string status_file_;
  std::string error_;
  int runs_ = 0;
};

// Where the helper program for the desktop was built.
std::string DesktopHelperPath();

}  // namespace rariduze::testing
