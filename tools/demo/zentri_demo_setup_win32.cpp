// The installer of the Windows demo update: it writes the new version into the version file of
// the application folder it updates, which is the folder of the updater that started it. It
// shows no window; its exit status tells how it went (1: no folder, 2: the file not written).
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring folder = StarterFolder();
  if (folder.empty()) return 1;
  std::ofstream file((folder + L"versionZT.dat").c_str(), std::ios::binary | std::ios::trunc);
  file << kNewVersion << "\r\n";
  file.close();
  return file ? 0 : 2;
}
