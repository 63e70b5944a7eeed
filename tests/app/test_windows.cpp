#include "tests/app/test_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace rariduze::testing {

TestWindows::TestWindows(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

TestWindows::~TestWindows() {
  if (display_ == nullptr) return;
  if (client_list_set_) {
    XDeleteProperty(display_, DefaultRootWindow(display_),
                    XInternAtom(display_, "_NET_CLIENT_LIST", False));
  }
  XCloseDisplay(display_);
}

Window TestWindows::Create(const std::string& latin1_title, bool mapped, Window parent) {
  if (parent == None) parent = DefaultRootWindow(display_);
  Window window = XCreateSimpleWindow(display_, parent, 10, 10, 200, 100, 0, 0, 0);
  if (!latin1_title.empty()) {
    XChangeProperty(display_, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1_title.data()),
                    static_cast<int>(latin1_title.size()));
  }
  if (mapped) XMapWindow(display_, window);
  XSync(display_, False);
  return window;
}

void TestWindows::SetUtf8Title(Window window, const std::string& utf8_title) {
  XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                  XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8_title.data()),
                  static_cast<int>(utf8_title.size()));
  XSync(display_, False);
}

void TestWindows::SetWmState(Window window) {
  Atom wm_state = XInternAtom(display_, "WM_STATE", False);
  long state[] = {NormalState, None};
  XChangeProperty(display_, window, wm_state, wm_state, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(state), 2);
  XSync(display_, False);
}

void TestWindows::SetClientList(const std::vector<Window>& windows) {
  std::vector<long> ids(windows.begin(), windows.end());
  XChangeProperty(display_, DefaultRootWindow(display_),
                  XInternAtom(display_, "_NET_CLIENT_LIST", False), XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(ids.data()), static_cast<int>(ids.size()));
  XSync(display_, False);
  client_list_set_ = true;
}

void TestWindows::Destroy(Window window) {
  XDestroyWindow(display_, window);
  XSync(display_, False);
}

}  // namespace rariduze::testing
