#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <thread>

#include "platform/wide_text_windows.h"
#include "tests/support/child_process.h"
#include "tests/support/host.h"
#include "tests/support/test_dir.h"

namespace rariduze::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// One argument quoted so that the program's start-up code reads it back unchanged.
std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there they are doubled, and the quote escaped.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

std::string CommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(argument);
  }
  return line;
}

bool EndsWithExe(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return end == ".exe";
}

// A Linux path in single quotes for the shell.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Starts a program whose handle is not needed (Linux programs have none under Wine).
bool Launch(const std::string& command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = Widen(command_line);
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  return true;
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Every Windows child joins this job, which ends them all when the test process goes.
HANDLE ChildJob() {
  static HANDLE job = [] {
    HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (made != nullptr) {
      ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return made;
  }();
  return job;
}

std::optional<long> ReadNumber(const std::string& path) {
  std::string text = ReadFile(path);
  if (text.empty() || text.back() != '\n') return std::nullopt;  // not complete yet
  try {
    return std::stol(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& output_file,
                           const std::string& error_file) {
  const std::string& program = argv.at(0);
  if (!EndsWithExe(program)) {
    // A Linux program, started by a shell that records its pid and, at its end, its status.
    run_dir_ = output_file + ".run";
    const std::string pid_file = UnixPath(run_dir_ + "-pid");
    const std::string status_file = UnixPath(run_dir_ + "-status");
    std::string script = "\"$0\" \"$@\" </dev/null >" + ShellQuoted(UnixPath(output_file)) + " 2>" +
                         ShellQuoted(UnixPath(error_file)) + " & echo $! >" +
                         ShellQuoted(pid_file + ".tmp") + " && mv " +
                         ShellQuoted(pid_file + ".tmp") + " " + ShellQuoted(pid_file) +
                         "; wait $!; echo $? >" + ShellQuoted(status_file + ".tmp") + " && mv " +
                         ShellQuoted(status_file + ".tmp") + " " + ShellQuoted(status_file);
    std::vector<std::string> shell = {"Z:\\bin\\sh", "-c", script};
    for (const std::string& argument : argv) {
      // Paths the test made name Linux files for a Linux program.
      bool windows_path = argument.size() >= 3 && (argument[0] == 'Z' || argument[0] == 'z') &&
                          argument[1] == ':' && (argument[2] == '\\' || argument[2] == '/');
      shell.push_back(windows_path ? UnixPath(argument) : argument);
    }
    if (!Launch(CommandLine(shell))) return;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      if (std::optional<long> pid = ReadNumber(PlatformPath(pid_file))) {
        pid_ = *pid;
        return;
      }
      std::this_thread::sleep_for(milliseconds(5));
    }
    return;
  }

  HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = InheritableFile(output_file, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = InheritableFile(error_file, GENERIC_WRITE, CREATE_ALWAYS);
  if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::wstring line = Widen(CommandLine(argv));
    // A bare name is looked up on the search path; a path is taken as it is.
    const bool bare = program.find_first_of("\\/") == std::string::npos;
    const std::wstring application = Widen(program);
    if (::CreateProcessW(bare ? nullptr : application.c_str(), line.data(), nullptr, nullptr, TRUE,
                         CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                         &process)) {
      if (ChildJob() != nullptr) ::AssignProcessToJobObject(ChildJob(), process.hProcess);
      ::ResumeThread(process.hThread);
      ::CloseHandle(process.hThread);
      handle_ = reinterpret_cast<std::intptr_t>(process.hProcess);
      pid_ = static_cast<long>(process.dwProcessId);
    }
  }
  for (HANDLE handle : {in, out, err}) {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
}

ChildProcess::~ChildProcess() {
  Stop();
  if (handle_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ChildProcess::Reap(bool block) {
  if (pid_ <= 0 || status_) return true;
  if (handle_ == 0) {
    const std::string status_file = run_dir_ + "-status";
    do {
      if (std::optional<long> status = ReadNumber(status_file)) {
        // The shell reports a program ended by a signal as 128 + the signal.
        status_ = *status > 128 ? -1 : static_cast<int>(*status);
        return true;
      }
      if (block) std::this_thread::sleep_for(milliseconds(5));
    } while (block);
    return false;
  }
  HANDLE process = reinterpret_cast<HANDLE>(handle_);
  if (::WaitForSingleObject(process, block ? INFINITE : 0) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  status_ = static_cast<int>(code);
  PROCESS_MEMORY_COUNTERS memory{};
  if (::GetProcessMemoryInfo(process, &memory, sizeof memory)) {
    peak_rss_kib_ = static_cast<long>(memory.PeakWorkingSetSize / 1024);
  }
  return true;
}

void ChildProcess::Stop(milliseconds grace) {
  if (pid_ <= 0 || Reap(false)) return;
  if (handle_ != 0) {
    ::TerminateProcess(reinterpret_cast<HANDLE>(handle_), 1);
    Reap(true);
    return;
  }
  Launch("Z:\\bin\\kill -TERM " + std::to_string(pid_));
  if (Wait(grace)) return;
  Launch("Z:\\bin\\kill -KILL " + std::to_string(pid_));
  Wait(std::chrono::seconds(10));
}

}  // namespace rariduze::testing
