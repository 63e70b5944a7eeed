// The tests' hands on a Windows desktop of their own under Wine (see wine_desktop.h). It runs
// with DISPLAY set to the test's X server and works on one named desktop:
//   rariduze-desktop run DESKTOP STATUS_FILE LIFETIME_SECONDS PROGRAM [NAME=VALUE...]
//       starts PROGRAM on the desktop with the variables added to its environment, writes its
//       exit status to STATUS_FILE when it ends (and before that, to STATUS_FILE.left, the names
//       of the programs it started that still run), and stays until it is ended or its lifetime
//       is over; whatever the program started (boxes, the programs it runs) ends with it.
//   rariduze-desktop windows DESKTOP
//       prints the desktop's top-level windows and their controls, one per line.
//   rariduze-desktop grab DESKTOP PNG_FILE
//       writes a picture of the screen as the X server shows it.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wide_text_windows.h"

namespace {

using rariduze::Narrow;

// Paths may arrive as Linux paths (the bridge that started this program turns drive Z: paths
// into them); Wine shows the Linux root as drive Z:.
std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') {
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    path = L"Z:" + path;
  }
  return path;
}

HDESK OpenOrCreateDesktop(const std::wstring& name) {
  HDESK desktop = ::OpenDesktopW(name.c_str(), 0, FALSE, GENERIC_ALL);
  if (desktop == nullptr)
    desktop = ::CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  return desktop;
}

void WriteWhole(const std::wstring& path, const std::string& text) {
  const std::wstring partial = path + L".partial";
  {
    std::ofstream file(partial.c_str(), std::ios::binary | std::ios::trunc);
    file << text;
  }
  ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The file names of the job's programs that still run, one a line. Every program a process
// started is in the job from the moment its start returned, so once the process has ended this
// counts each of its starts.
std::string ProgramsLeft(HANDLE job) {
  constexpr DWORD kMostIds = 64;
  std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMostIds * sizeof(ULONG_PTR));
  auto* ids = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  if (!::QueryInformationJobObject(job, JobObjectBasicProcessIdList, ids,
                                   static_cast<DWORD>(buffer.size()), nullptr)) {
    return "(no list: " + std::to_string(::GetLastError()) + ")\n";
  }
  std::string names;
  for (DWORD i = 0; i < ids->NumberOfProcessIdsInList; ++i) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   static_cast<DWORD>(ids->ProcessIdList[i]));
    if (process == nullptr) continue;
    DWORD code = 0;
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    if (::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
        ::QueryFullProcessImageNameW(process, 0, path, &length)) {
      const std::wstring full(path, length);
      names += Narrow(full.substr(full.find_last_of(L"\\/") + 1)) + "\n";
    }
    ::CloseHandle(process);
  }
  return names;
}

int Run(const std::wstring& desktop_name, const std::wstring& status_file, DWORD lifetime_ms,
        const std::wstring& program) {
  HDESK desktop = OpenOrCreateDesktop(desktop_name);
  if (desktop == nullptr) {
    std::fprintf(stderr, "cannot make desktop: %lu\n", ::GetLastError());
    return 3;
  }
  // Everything the program starts stays in the job and ends when this helper goes.
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  std::wstring desktop_path = L"WinSta0\\" + desktop_name;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop_path.data();
  PROCESS_INFORMATION process{};
  std::wstring command_line = L"\"" + program + L"\"";
  if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "cannot start the program: %lu\n", ::GetLastError());
    return 4;
  }
  ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);

  const ULONGLONG deadline = ::GetTickCount64() + lifetime_ms;
  if (::WaitForSingleObject(process.hProcess, lifetime_ms) == WAIT_OBJECT_0) {
    DWORD status = 0;
    ::GetExitCodeProcess(process.hProcess, &status);
    WriteWhole(status_file + L".left", ProgramsLeft(job));
    WriteWhole(status_file, std::to_string(status) + "\n");
    // The programs it started (the served application) stay up for the test to see.
    const ULONGLONG now = ::GetTickCount64();
    if (now < deadline) ::Sleep(static_cast<DWORD>(deadline - now));
  }
  ::TerminateJobObject(job, 1);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(job);
  ::CloseDesktop(desktop);
  return 0;
}

std::string Escaped(const std::wstring& text) {
  std::string out;
  for (char c : Narrow(text)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A window's text without waiting on a program that does not answer (one blocked in a wait).
std::wstring TextOf(HWND window) {
  wchar_t buffer[1024] = L"";
  DWORD_PTR copied = 0;
  if (::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &copied) != 0) {
    return std::wstring(buffer, copied);
  }
  const int length = ::InternalGetWindowText(window, buffer, 1024);
  return std::wstring(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

void PrintWindow(const char* kind, HWND window) {
  wchar_t class_name[256] = L"";
  ::GetClassNameW(window, class_name, 256);
  RECT box{};
  ::GetWindowRect(window, &box);
  std::string line =
      std::string(kind) + "\t" + std::to_string(reinterpret_cast<std::uintptr_t>(window)) + "\t" +
      (::IsWindowVisible(window) ? "1" : "0") + "\t" + (::IsWindowEnabled(window) ? "1" : "0") +
      "\t" + std::to_string(box.left) + "\t" + std::to_string(box.top) + "\t" +
      std::to_string(box.right) + "\t" + std::to_string(box.bottom) + "\t" + Escaped(class_name) +
      "\t" + Escaped(TextOf(window));
  if (std::string(kind) == "child") {
    DWORD_PTR checked = 0;
    if (::SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000,
                              &checked) == 0) {
      checked = 0;
    }
    line += "\t" + std::to_string(::GetDlgCtrlID(window)) + "\t" + std::to_string(checked);
    // The focus, as the window's own thread sees it.
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    const bool focused = ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread) &&
                         thread.hwndFocus == window;
    line += focused ? "\t1" : "\t0";
  }
  std::printf("%s\n", line.c_str());
}

int ListWindows(const std::wstring& desktop_name) {
  HDESK desktop = ::OpenDesktopW(desktop_name.c_str(), 0, FALSE, GENERIC_ALL);
  if (desktop == nullptr || !::SetThreadDesktop(desktop)) return 3;
  std::vector<HWND> top_level;
  ::EnumDesktopWindows(
      desktop,
      [](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&top_level));
  for (HWND window : top_level) {
    PrintWindow("top", window);
    std::vector<HWND> children;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) PrintWindow("child", child);
  }
  std::fflush(stdout);
  ::CloseDesktop(desktop);
  return 0;
}

void Chunk(std::string& png, const char* kind, const std::string& data) {
  auto put32 = [&png](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>((value >> shift) & 0xFF);
  };
  put32(static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(kind, 4) + data;
  png += body;
  put32(static_cast<std::uint32_t>(
      ::crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

int Grab(const std::wstring& desktop_name, const std::wstring& file) {
  HDESK desktop = ::OpenDesktopW(desktop_name.c_str(), 0, FALSE, GENERIC_ALL);
  if (desktop == nullptr || !::SetThreadDesktop(desktop)) return 3;
  const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY | CAPTUREBLT);
  ::GdiFlush();

  std::string raw;
  raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
  const auto* pixels = static_cast<const std::uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = pixels + (static_cast<std::size_t>(y) * width + x) * 4;
      raw += static_cast<char>(p[2]);
      raw += static_cast<char>(p[1]);
      raw += static_cast<char>(p[0]);
    }
  }
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);

  uLongf packed_size = ::compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  ::compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6);
  packed.resize(packed_size);
  std::string header;
  auto put32 = [&header](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
      header += static_cast<char>((value >> shift) & 0xFF);
  };
  put32(static_cast<std::uint32_t>(width));
  put32(static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  std::ofstream out(file.c_str(), std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return out ? 0 : 4;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"run" && argc >= 6) {
    for (int i = 6; i < argc; ++i) {
      const std::wstring assignment = argv[i];
      const std::size_t equals = assignment.find(L'=');
      if (equals == std::wstring::npos) return 2;
      ::SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                                WindowsPath(assignment.substr(equals + 1)).c_str());
    }
    return Run(argv[2], WindowsPath(argv[3]), static_cast<DWORD>(_wtoi(argv[4])) * 1000,
               WindowsPath(argv[5]));
  }
  if (mode == L"windows" && argc == 3) return ListWindows(argv[2]);
  if (mode == L"grab" && argc == 4) return Grab(argv[2], WindowsPath(argv[3]));
  std::fputs("usage: rariduze-desktop run|windows|grab ...\n", stderr);
  return 2;
}
