#include "tests/support/wine_desktop.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <sstream>
#include <thread>

#include "tests/support/host.h"

namespace rariduze::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// How long a program started on the desktop may live at most, should a test never end it.
constexpr const char* kLifetimeSeconds = "600";

std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::optional<ScreenWindow> ParseWindow(const std::string& line) {
  const std::vector<std::string> f = Fields(line);
  if (f.size() < 10) return std::nullopt;
  ScreenWindow window;
  try {
    window.kind = f[0];
    window.handle = static_cast<std::uintptr_t>(std::stoull(f[1]));
    window.visible = f[2] == "1";
    window.enabled = f[3] == "1";
    window.left = std::stoi(f[4]);
    window.top = std::stoi(f[5]);
    window.right = std::stoi(f[6]);
    window.bottom = std::stoi(f[7]);
    window.class_name = Unescaped(f[8]);
    window.text = Unescaped(f[9]);
    if (f.size() >= 13) {
      window.id = std::stoi(f[10]);
      window.checked = f[11] == "1";
      window.focused = f[12] == "1";
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return window;
}

// A title as an xdotool pattern matching exactly that title.
std::string ExactPattern(const std::string& title) {
  std::string pattern = "^";
  for (char c : title) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

}  // namespace

const ScreenWindow* ScreenWindow::Child(const std::string& wanted) const {
  for (const ScreenWindow& child : children) {
    if (child.text == wanted) return &child;
  }
  return nullptr;
}

const ScreenWindow* ScreenWindow::ChildOfClass(const std::string& wanted, int index) const {
  for (const ScreenWindow& child : children) {
    const bool same = std::equal(child.class_name.begin(), child.class_name.end(), wanted.begin(),
                                 wanted.end(), [](char a, char b) {
                                   return std::tolower(static_cast<unsigned char>(a)) ==
                                          std::tolower(static_cast<unsigned char>(b));
                                 });
    if (same && index-- == 0) return &child;
  }
  return nullptr;
}

WineDesktop::WineDesktop() {
  static std::atomic<int> counter{0};
  desktop_name_ = "rariduze-test-" + std::to_string(::_getpid()) + "-" + std::to_string(++counter);
  // Xvfb writes the display it chose, once it accepts connections, to its standard output.
  const std::string output = dir_.File("xvfb.out");
  xvfb_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp", "-noreset"},
      output, dir_.File("xvfb.err"));
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline && xvfb_->Running()) {
    const std::string number = ReadFile(output);
    if (!number.empty() && number.back() == '\n') {
      display_ = ":" + number.substr(0, number.size() - 1);
      return;
    }
    std::this_thread::sleep_for(milliseconds(20));
  }
  error_ = "Xvfb did not start: " + ReadFile(dir_.File("xvfb.err"));
}

WineDesktop::~WineDesktop() {
  // The helper takes everything it started with it; the X server goes last.
  if (program_) program_->Stop();
  if (xvfb_) xvfb_->Stop();
}

bool WineDesktop::Start(const std::string& program, const std::vector<std::string>& environment) {
  if (!ready()) return false;
  status_file_ = dir_.File("status-" + std::to_string(++runs_));
  std::vector<std::string> command = {
      "env",  "DISPLAY=" + display_, "wine",       UnixPath(DesktopHelperPath()),
      "run",  desktop_name_,         status_file_, kLifetimeSeconds,
      program};
  command.insert(command.end(), environment.begin(), environment.end());
  program_ =
      std::make_unique<ChildProcess>(command, dir_.File("program.out"), dir_.File("program.err"));
  return program_->started();
}

std::optional<int> WineDesktop::WaitForExit(milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (true) {
    const std::string status = ReadFile(status_file_);
    if (!status.empty() && status.back() == '\n') return std::stoi(status);
    if (Clock::now() >= deadline || !program_ || !program_->Running()) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(50));
  }
}

std::vector<std::string> WineDesktop::ProgramsLeft() {
  std::vector<std::string> names;
  std::istringstream lines(ReadFile(status_file_ + ".left"));
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  return names;
}

bool WineDesktop::ProgramRunning() {
  return program_ && program_->Running() && ReadFile(status_file_).empty();
}

ProgramRun WineDesktop::Helper(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"env", "DISPLAY=" + display_, "wine",
                                      UnixPath(DesktopHelperPath())};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunProgram(command, std::chrono::seconds(60));
}

std::vector<ScreenWindow> WineDesktop::Windows() {
  std::vector<ScreenWindow> windows;
  const ProgramRun run = Helper({"windows", desktop_name_});
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::optional<ScreenWindow> window = ParseWindow(line);
    if (!window) continue;
    if (window->kind == "child" && !windows.empty()) {
      windows.back().children.push_back(*window);
    } else if (window->kind == "top") {
      windows.push_back(*window);
    }
  }
  return windows;
}

bool WineDesktop::WaitUntil(const std::function<bool(const std::vector<ScreenWindow>&)>& check,
                            milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (true) {
    if (check(Windows())) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(200));
  }
}

std::optional<ScreenWindow> WineDesktop::WaitForWindow(const std::string& title,
                                                       milliseconds timeout) {
  std::optional<ScreenWindow> found;
  WaitUntil(
      [&](const std::vector<ScreenWindow>& windows) {
        for (const ScreenWindow& window : windows) {
          if (window.visible && window.text == title) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

bool WineDesktop::WaitForWindowGone(const std::string& title, milliseconds timeout) {
  return WaitUntil(
      [&](const std::vector<ScreenWindow>& windows) {
        for (const ScreenWindow& window : windows) {
          if (window.visible && window.text == title) return false;
        }
        return true;
      },
      timeout);
}

ProgramRun WineDesktop::Xdotool(const std::vector<std::string>& arguments, milliseconds timeout) {
  std::vector<std::string> command = {"env", "DISPLAY=" + display_, "xdotool"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunProgram(command, timeout);
}

std::optional<std::string> WineDesktop::XWindowOf(const std::string& title) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < deadline) {
    ProgramRun search = Xdotool({"search", "--onlyvisible", "--name", ExactPattern(title)});
    if (search.exit_status == 0 && !search.output.empty()) {
      return search.output.substr(0, search.output.find('\n'));
    }
    std::this_thread::sleep_for(milliseconds(200));
  }
  return std::nullopt;
}

bool WineDesktop::FocusAndType(const std::string& title, const std::vector<std::string>& keys) {
  std::optional<std::string> window = XWindowOf(title);
  if (!window) return false;
  if (Xdotool({"windowfocus", "--sync", *window}).exit_status != 0) return false;
  std::vector<std::string> command = {"key", "--delay", "60"};
  command.insert(command.end(), keys.begin(), keys.end());
  return Xdotool(command).exit_status == 0;
}

bool WineDesktop::Type(const std::vector<std::string>& keys) {
  std::vector<std::string> command = {"key", "--delay", "60"};
  command.insert(command.end(), keys.begin(), keys.end());
  return Xdotool(command).exit_status == 0;
}

bool WineDesktop::FocusAndTypeText(const std::string& title, const std::string& text) {
  std::optional<std::string> window = XWindowOf(title);
  if (!window) return false;
  if (Xdotool({"windowfocus", "--sync", *window}).exit_status != 0) return false;
  return Xdotool({"type", "--delay", "60", text}).exit_status == 0;
}

bool WineDesktop::FocusAndClick(const std::string& title, int x, int y) {
  std::optional<std::string> window = XWindowOf(title);
  if (!window) return false;
  if (Xdotool({"windowfocus", "--sync", *window}).exit_status != 0) return false;
  return Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"})
             .exit_status == 0;
}

bool WineDesktop::Screenshot(const std::string& png_path) {
  return Helper({"grab", desktop_name_, png_path}).exit_status == 0;
}

std::string DesktopHelperPath() { return PlatformPath(RARIDUZE_TEST_DESKTOP_HELPER); }

}  // namespace rariduze::testing
