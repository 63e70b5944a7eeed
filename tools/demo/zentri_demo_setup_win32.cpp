// The installer of the Windows demo update: it writes the new version into the version file of
// the application folder it updates, which is the folder of the updater that started it. Like
// a real installer it shows a window of its own, which takes the foreground, while it works;
// its exit status tells how it went (1: no folder, 2: the file not written).
#include <windows.h>

#include <tlhelp32.h>

#include <fstream>
#include <string>

namespace {

constexpr const char* kNewVersion = "1.0.23";

// The folder (with its trailing separator) of the program that started this one; empty when it
// cannot be told.
std::wstring StarterFolder() {
  const DWORD self = ::GetCurrentProcessId();
  DWORD parent = 0;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  ::CloseHandle(snapshot);
  if (parent == 0) return {};
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
  if (process == nullptr) return {};
  wchar_t path[MAX_PATH * 2];
  DWORD length = MAX_PATH * 2;
  const BOOL named = ::QueryFullProcessImageNameW(process, 0, path, &length);
  ::CloseHandle(process);
  if (!named) return {};
  std::wstring folder(path, length);
  const std::size_t end = folder.find_last_of(L"\\/");
  return end == std::wstring::npos ? std::wstring() : folder.substr(0, end + 1);
}

// How long the window stays up once it has the foreground.
constexpr UINT kShownMilliseconds = 500;

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) ::SetTimer(window, 1, kShownMilliseconds, nullptr);
      return 0;
    case WM_TIMER:
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// Shows "Installing Zentri PC 1.0.23..." in the foreground for a moment, as installers do.
void ShowProgressWindow(HINSTANCE instance) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &ProgressWindowProc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = L"ZentriDemoSetup";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"Zentri PC Setup",
                                  WS_OVERLAPPED | WS_CAPTION, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                  120, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return;
  ::CreateWindowExW(0, L"STATIC", L"Installing Zentri PC 1.0.23...", WS_CHILD | WS_VISIBLE, 16, 24,
                    280, 20, window, nullptr, instance, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::SetForegroundWindow(window);
  // Closed by its timer; should it never be activated, the program ends with the limit below.
  ::SetTimer(window, 2, 30 * 1000, nullptr);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::wstring folder = StarterFolder();
  if (folder.empty()) return 1;
  ShowProgressWindow(instance);
  std::ofstream file((folder + L"versionZT.dat").c_str(), std::ios::binary | std::ios::trunc);
  file << kNewVersion << "\r\n";
  file.close();
  return file ? 0 : 2;
}
