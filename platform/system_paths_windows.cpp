#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/system_paths.h"
#include "platform/wide_text_windows.h"
#include "platform/windows_api.h"

namespace rariduze {
namespace {

std::wstring ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 6; ++attempt) {
    DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 4);  // the path was cut short: try a larger buffer
  }
  return {};
}

}  // namespace

std::optional<std::string> KnownExecutableDirectory() {
  std::wstring path = ExecutablePath();
  std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::nullopt;
  // "C:\" keeps its separator: "C:" alone would mean the drive's current folder.
  if (separator == 2 && path[1] == L':') ++separator;
  return Narrow(path.substr(0, separator));
}

std::string ExecutableDirectory() { return KnownExecutableDirectory().value_or("."); }

std::string ExecutableName() {
  std::wstring path = ExecutablePath();
  std::size_t separator = path.find_last_of(L"\\/");
  return Narrow(separator == std::wstring::npos ? path : path.substr(separator + 1));
}

char PathSeparator() { return '\\'; }

std::optional<std::string> PrivateTempDirectory(std::string* error) {
  // The temporary folder of a Windows user lies in the user's own profile already.
  wchar_t buffer[MAX_PATH + 2];
  DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (length == 0 || length > MAX_PATH + 1) {
    if (error != nullptr) *error = "the temporary folder cannot be found";
    return std::nullopt;
  }
  std::wstring path(buffer, length);
  // The folder itself, without the separator: "C:\x\" of a file named x would not be found.
  std::wstring folder = path;
  while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    if (error != nullptr) {
      *error = Narrow(folder) + ": cannot be created (" + SystemErrorText(::GetLastError()) + ")";
    }
    return std::nullopt;
  }
  DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    if (error != nullptr) *error = Narrow(folder) + ": is not a directory";
    return std::nullopt;
  }
  if (path.back() != L'\\') path += L'\\';
  return Narrow(path);
}

std::optional<std::int64_t> FreeSpaceIn(const std::string& folder) {
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(WidePath(folder).c_str(), &available, nullptr, nullptr)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(std::min<ULONGLONG>(available.QuadPart, INT64_MAX));
}

}  // namespace rariduze
