#pragma once

// GoogleTest before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/xvfb_server.h"

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

// A test fixture with a private X server for the whole suite and a desktop connection for each
// test, on top of the fixture Base.
template <typename Base>
class WithTestDesktop : public Base {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<XvfbServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    Base::SetUp();
    ASSERT_TRUE(server_->running()) << server_->error();
    display_ = std::make_unique<ScopedDisplay>(server_->display());
    windows_ = std::make_unique<TestWindows>(server_->display());
    ASSERT_TRUE(windows_->connected());
  }
  void TearDown() override {
    windows_.reset();
    display_.reset();
    Base::TearDown();
  }

  static inline std::unique_ptr<XvfbServer> server_;
  std::unique_ptr<ScopedDisplay> display_;
  std::unique_ptr<TestWindows> windows_;
};

}  // namespace rariduze::testing
