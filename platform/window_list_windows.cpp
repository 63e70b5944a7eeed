#include "platform/wide_text_windows.h"
#include "platform/window_list.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

struct Visit {
  const std::function<bool(const std::string&)>* visit;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
  const auto& visit = *reinterpret_cast<Visit*>(context)->visit;
  // Every top-level window counts, hidden ones too: an application minimised to the tray
  // still runs.
  int length = ::GetWindowTextLengthW(window);
  std::wstring title(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  int copied = ::GetWindowTextW(window, title.data(), static_cast<int>(title.size()));
  title.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  if (title.empty()) return TRUE;  // no title: not the window looked for
  return visit(Narrow(title)) ? TRUE : FALSE;
}

}  // namespace

void EnumerateTopLevelWindows(const std::function<bool(const std::string& title)>& visit) {
  Visit context{&visit};
  ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&context));
}

}  // namespace rariduze
