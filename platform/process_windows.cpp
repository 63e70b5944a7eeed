#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/process.h"
#include "platform/process_windows.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

// What CreateProcess answers for a program that asks for administrator rights (mingw's headers
// lack the name).
constexpr DWORD kElevationRequired = 740;

ElevationForTesting elevation_for_testing = ElevationForTesting::kAsTheSystemSays;

// The command line of a program started without arguments: its path, quoted so that blanks
// in it ("Zentri Pc.exe") do not split it.
std::wstring QuotedPath(const std::wstring& path) { return L"\"" + path + L"\""; }

// Starts path as its own program and first argument; 0, or the system's error code with the
// reason in *error. With refuse_as_unelevated, the system's answer is the one for a program
// that asks for administrator rights (tests).
DWORD Start(const std::string& path, DWORD flags, const STARTUPINFOW& startup,
            PROCESS_INFORMATION* process, std::string* error, bool refuse_as_unelevated = false) {
  if (path.empty()) {
    *error = "no program given";
    return ERROR_INVALID_PARAMETER;
  }
  const std::wstring program = WidePath(path);
  // A path with a quote cannot be quoted on a command line; no real program has one.
  if (program.find(L'"') != std::wstring::npos) {
    *error = path + ": the path holds a quotation mark";
    return ERROR_INVALID_NAME;
  }
  std::wstring command_line = QuotedPath(program);
  STARTUPINFOW info = startup;
  // The program is named exactly: no search along PATH, no guessing at where blanks split.
  DWORD failure = 0;
  if (refuse_as_unelevated) {
    failure = kElevationRequired;
  } else if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, flags,
                               nullptr, nullptr, &info, process)) {
    failure = ::GetLastError();
  }
  if (failure != 0) *error = path + ": " + SystemErrorText(failure);
  return failure;
}

// The window that the system's question for administrator rights belongs to: this thread's
// active window (the updater's), so that the question comes up in front of it.
HWND OwnerWindow() {
  if (HWND active = ::GetActiveWindow()) return active;
  HWND foreground = ::GetForegroundWindow();
  if (foreground != nullptr &&
      ::GetWindowThreadProcessId(foreground, nullptr) == ::GetCurrentThreadId()) {
    return foreground;
  }
  return nullptr;
}

// Starts path with administrator rights, after the system has asked the user; the process's
// handle, or nothing with the reason in *error.
HANDLE StartElevated(const std::string& path, std::string* error) {
  DWORD failure = 0;
  HANDLE process = nullptr;
  if (elevation_for_testing == ElevationForTesting::kRequiredAndDeclined) {
    failure = ERROR_CANCELLED;
  } else {
    // The shell may hand the start to components of its own, which want COM on this thread.
    const HRESULT com =
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring program = WidePath(path);
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    // The process's handle, to wait on; no return before the start is done; no box of the
    // shell's own when it fails: the caller says why.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = OwnerWindow();
    execute.lpVerb = L"runas";
    execute.lpFile = program.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&execute)) {
      process = execute.hProcess;
    } else {
      failure = ::GetLastError();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (failure == 0 && process == nullptr) failure = ERROR_INVALID_HANDLE;
  }
  if (failure == ERROR_CANCELLED) {
    *error = path + ": the request for administrator rights was declined";
  } else if (failure != 0) {
    *error = path + ": " + SystemErrorText(failure);
  }
  return process;
}

// Drops the keyboard and mouse input that waits for this thread's windows.
void DropInput() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) {
  }
}

// Waits until process has ended. An installer that broadcasts a message (WM_SETTINGCHANGE after
// it changed PATH) waits until every top-level window has answered, ours too, so the messages
// that other programs send are answered meanwhile, and windows that need it are painted. Input
// is dropped as it comes: the window does not respond during the run, and nothing typed or
// clicked into it then takes effect afterwards. Posted messages wait for the message loop.
bool WaitAnsweringMessages(HANDLE process) {
  DropInput();
  while (true) {
    const DWORD woke = ::MsgWaitForMultipleObjectsEx(
        1, &process, INFINITE, QS_SENDMESSAGE | QS_PAINT | QS_INPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) break;
    if (woke != WAIT_OBJECT_0 + 1) return false;
    // Sent messages are answered inside PeekMessage, whatever it is asked to take.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
      ::DispatchMessageW(&message);
    }
    DropInput();
  }
  DropInput();
  return true;
}

}  // namespace

void SetElevationForTesting(ElevationForTesting answer) { elevation_for_testing = answer; }

ProcessOutcome RunProgramAndWait(const std::string& path) {
  ProcessOutcome outcome;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const DWORD failure = Start(path, 0, startup, &process, &outcome.error,
                              elevation_for_testing != ElevationForTesting::kAsTheSystemSays);
  if (failure == 0) {
    ::CloseHandle(process.hThread);
  } else if (failure == kElevationRequired) {
    // Windows starts a program that asks for administrator rights (by its manifest, or by a
    // name that marks an installer: "setupZT.exe") only after asking the user.
    outcome.error.clear();
    process.hProcess = StartElevated(path, &outcome.error);
  }
  if (process.hProcess == nullptr) return outcome;
  outcome.started = true;
  DWORD exit_code = 0;
  if (!WaitAnsweringMessages(process.hProcess) ||
      !::GetExitCodeProcess(process.hProcess, &exit_code)) {
    outcome.error = "cannot wait for the program: " + SystemErrorText(::GetLastError());
  } else {
    outcome.exit_status = static_cast<int>(exit_code);
    // Installers say "done, but the computer must restart" with these two; with the second,
    // the restart is on its way already.
    outcome.restart_initiated = exit_code == ERROR_SUCCESS_REBOOT_INITIATED;
    outcome.restart_needed =
        exit_code == ERROR_SUCCESS_REBOOT_REQUIRED || outcome.restart_initiated;
  }
  ::CloseHandle(process.hProcess);
  return outcome;
}

void ResetChildEndHandling() {
  // Nothing a parent sets here hides how a child ends.
}

bool StartDetachedProgram(const std::string& path) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // A normal window that takes the focus.
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  std::string error;
  if (Start(path, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, startup, &process, &error) != 0) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

void EndProcess(int exit_code) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  // No destructor, no handler and no other thread runs after this.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exit_code));
  std::_Exit(exit_code);
}

}  // namespace rariduze
