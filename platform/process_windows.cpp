#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/process.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

// The command line of a program started without arguments: its path, quoted so that blanks
// in it ("Zentri Pc.exe") do not split it.
std::wstring QuotedPath(const std::wstring& path) { return L"\"" + path + L"\""; }

// Starts path as its own program and first argument; false with the reason in *error.
bool Start(const std::string& path, DWORD flags, const STARTUPINFOW& startup,
           PROCESS_INFORMATION* process, std::string* error) {
  if (path.empty()) {
    *error = "no program given";
    return false;
  }
  const std::wstring program = WidePath(path);
  // A path with a quote cannot be quoted on a command line; no real program has one.
  if (program.find(L'"') != std::wstring::npos) {
    *error = path + ": the path holds a quotation mark";
    return false;
  }
  std::wstring command_line = QuotedPath(program);
  STARTUPINFOW info = startup;
  // The program is named exactly: no search along PATH, no guessing at where blanks split.
  if (!::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &info, process)) {
    *error = path + ": " + SystemErrorText(::GetLastError());
    return false;
  }
  return true;
}

}  // namespace

ProcessOutcome RunProgramAndWait(const std::string& path) {
  ProcessOutcome outcome;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!Start(path, 0, startup, &process, &outcome.error)) return outcome;
  outcome.started = true;
  ::CloseHandle(process.hThread);
  DWORD exit_code = 0;
  if (::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process.hProcess, &exit_code)) {
    outcome.error = "cannot wait for the program: " + SystemErrorText(::GetLastError());
  } else {
    outcome.exit_status = static_cast<int>(exit_code);
    // Installers say "done, but the computer must restart" with these two.
    outcome.restart_needed =
        exit_code == ERROR_SUCCESS_REBOOT_REQUIRED || exit_code == ERROR_SUCCESS_REBOOT_INITIATED;
    outcome.restart_initiated = exit_code == ERROR_SUCCESS_REBOOT_INITIATED;
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
  if (!Start(path, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, startup, &process, &error)) {
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
