#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/window_list.h"

namespace rariduze {
namespace {

// Titles are read only this far (in 32-bit units); a window cannot make us fetch megabytes.
constexpr long kMaxTitleUnits = 1024;
constexpr long kMaxWindows = 65536;
// How deep below a window manager's frame the application's own window is looked for.
constexpr int kMaxFrameDepth = 3;

// Windows may vanish while they are walked; the error that follows must not end the process,
// which is what the default handler does.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class ErrorTrap {
 public:
  ErrorTrap() : previous_(XSetErrorHandler(IgnoreXError)) {}
  ~ErrorTrap() { XSetErrorHandler(previous_); }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

 private:
  XErrorHandler previous_;
};

// A property's raw contents, freed by XFree when done.
class Property {
 public:
  Property(Display* display, Window window, Atom name, long max_units, Atom wanted_type) {
    if (XGetWindowProperty(display, window, name, 0, max_units, False, wanted_type, &type_,
                           &format_, &count_, &remaining_, &data_) != Success) {
      data_ = nullptr;
      type_ = None;
      count_ = 0;
    }
  }
  ~Property() {
    if (data_ != nullptr) XFree(data_);
  }
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;

  bool Is(Atom type, int format) const {
    return data_ != nullptr && type_ == type && format_ == format;
  }
  Atom type() const { return type_; }
  int format() const { return format_; }
  unsigned long count() const { return count_; }
  unsigned char* data() const { return data_; }

 private:
  Atom type_ = None;
  int format_ = 0;
  unsigned long count_ = 0;
  unsigned long remaining_ = 0;
  unsigned char* data_ = nullptr;
};

std::string CutAtNul(const char* text, std::size_t size) {
  std::string result(text, size);
  std::size_t nul = result.find('\0');
  if (nul != std::string::npos) result.resize(nul);
  return result;
}

// WM_NAME in whatever encoding it was stored (Latin-1, compound text, UTF-8), as UTF-8; the
// text list ends at the first NUL.
std::string LegacyTitle(Display* display, Window window) {
  Property name(display, window, XA_WM_NAME, kMaxTitleUnits, AnyPropertyType);
  if (name.data() == nullptr || name.format() != 8) return {};
  XTextProperty text{name.data(), name.type(), name.format(), name.count()};
  char** list = nullptr;
  int pieces = 0;
  int result = Xutf8TextPropertyToTextList(display, &text, &list, &pieces);
  std::string title;
  // A positive result counts characters that had no equivalent; the rest is still usable.
  if (result >= Success && list != nullptr && pieces > 0 && list[0] != nullptr) title = list[0];
  if (list != nullptr) XFreeStringList(list);
  return title;
}

class Desktop {
 public:
  explicit Desktop(Display* display)
      : display_(display),
        root_(DefaultRootWindow(display)),
        utf8_(XInternAtom(display, "UTF8_STRING", False)),
        net_wm_name_(XInternAtom(display, "_NET_WM_NAME", False)),
        wm_state_(XInternAtom(display, "WM_STATE", False)) {}

  // Every top-level window, on screen or not: an application hidden in the tray or minimised
  // has withdrawn or unmapped its window, and a window manager drops a withdrawn window from
  // its list. So the root's children (the application's own window where a window manager
  // has framed it) and the window manager's list of application windows, each window once.
  std::vector<Window> TopLevelWindows() {
    std::vector<Window> windows;
    std::set<Window> seen;
    auto add = [&](Window window) {
      if (windows.size() < static_cast<std::size_t>(kMaxWindows) && seen.insert(window).second) {
        windows.push_back(window);
      }
    };
    Atom client_list = XInternAtom(display_, "_NET_CLIENT_LIST", True);
    if (client_list != None) {
      Property list(display_, root_, client_list, kMaxWindows, XA_WINDOW);
      if (list.Is(XA_WINDOW, 32)) {
        // Format 32 data arrives as an array of long, whatever the size of long.
        const unsigned long* ids = reinterpret_cast<const unsigned long*>(list.data());
        for (unsigned long i = 0; i < list.count(); ++i) add(ids[i]);
      }
    }
    for (Window child : Children(root_)) add(ClientWindowOf(child));
    return windows;
  }

  // The title as UTF-8; empty when the window has none or is gone.
  std::string Title(Window window) {
    Property name(display_, window, net_wm_name_, kMaxTitleUnits, utf8_);
    if (name.Is(utf8_, 8)) {
      return CutAtNul(reinterpret_cast<const char*>(name.data()), name.count());
    }
    return LegacyTitle(display_, window);
  }

 private:
  std::vector<Window> Children(Window parent) {
    Window root = None;
    Window ignored = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(display_, parent, &root, &ignored, &children, &count) != 0 &&
        children != nullptr) {
      result.assign(children, children + count);
    }
    if (children != nullptr) XFree(children);
    return result;
  }

  bool HasWmState(Window window) {
    Property state(display_, window, wm_state_, 0, AnyPropertyType);
    return state.type() != None;
  }

  // A window manager without _NET_CLIENT_LIST puts each application window inside a frame of
  // its own; the application's window is the one marked with WM_STATE.
  Window ClientWindowOf(Window window) {
    if (HasWmState(window)) return window;
    std::optional<Window> found = FindClientBelow(window, kMaxFrameDepth);
    return found.value_or(window);
  }

  std::optional<Window> FindClientBelow(Window window, int depth) {
    if (depth == 0) return std::nullopt;
    std::vector<Window> children = Children(window);
    for (Window child : children) {
      if (HasWmState(child)) return child;
    }
    for (Window child : children) {
      std::optional<Window> found = FindClientBelow(child, depth - 1);
      if (found) return found;
    }
    return std::nullopt;
  }

  Display* display_;
  Window root_;
  Atom utf8_;
  Atom net_wm_name_;
  Atom wm_state_;
};

}  // namespace

void EnumerateTopLevelWindows(const std::function<bool(const std::string& title)>& visit) {
  Display* opened = XOpenDisplay(nullptr);
  if (opened == nullptr) return;
  ErrorTrap trap;
  // Closed before the trap goes, so that late errors still meet it.
  std::unique_ptr<Display, int (*)(Display*)> display(opened, XCloseDisplay);
  Desktop desktop(display.get());
  for (Window window : desktop.TopLevelWindows()) {
    // A window without a title (or one gone meanwhile) cannot be the one looked for.
    const std::string title = desktop.Title(window);
    if (!title.empty() && !visit(title)) break;
  }
}

}  // namespace rariduze
