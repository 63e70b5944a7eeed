// A stand-in for the served application in the Windows demo: one small window whose title
// carries the mark the updater looks for, showing the version installed beside it.
#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::wstring InstalledVersion() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  std::ifstream file((folder + L"versionZT.dat").c_str(), std::ios::binary);
  std::string line;
  if (!file || !std::getline(file, line)) return L"unknown";
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return std::wstring(line.begin(), line.end());
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window, &paint);
      RECT client;
      ::GetClientRect(window, &client);
      ::InflateRect(&client, -12, -12);
      const std::wstring text = L"Zentri PC (demo)\nInstalled version: " + InstalledVersion();
      ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
      ::SetBkMode(dc, TRANSPARENT);
      ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_LEFT | DT_NOPREFIX);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"ZentriDemoApplication";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"Zentri Computer demo",
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 120,
                                  nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, show_command);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}
