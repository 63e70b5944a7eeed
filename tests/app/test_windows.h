#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace rariduze::testing {

// Top-level windows made with plain Xlib on a test's X server, the way applications make
// theirs; every call waits until the server has done it. All go when the object goes.
class TestWindows {
 public:
  explicit TestWindows(const std::string& display);
  ~TestWindows();
  TestWindows(const TestWindows&) = delete;
  TestWindows& operator=(const TestWindows&) = delete;

  bool connected() const { return display_ != nullptr; }

  // A window with WM_NAME set to latin1_title (a Latin-1 STRING, as older clients store it).
  Window Create(const std::string& latin1_title, bool mapped = true, Window parent = None);
  // Sets _NET_WM_NAME, the UTF-8 title that current toolkits store.
  void SetUtf8Title(Window window, const std::string& utf8_title);
  // Marks a window the way a window manager marks the application windows it manages.
  void SetWmState(Window window);
  // Plays a window manager that lists its application windows on the root window (the list
  // goes with this object).
  void SetClientList(const std::vector<Window>& windows);
  void Destroy(Window window);

 private:
  Display* display_ = nullptr;
  bool client_list_set_ = false;
};

}  // namespace rariduze::testing
