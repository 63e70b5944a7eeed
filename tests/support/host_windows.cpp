#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/host.h"

namespace rariduze::testing {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        length, nullptr, nullptr);
  return narrow;
}

}  // namespace

std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wide = Wide(name);
  DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<wchar_t> buffer(size);
  DWORD length = ::GetEnvironmentVariableW(wide.c_str(), buffer.data(), size);
  return Utf8(std::wstring(buffer.data(), length));
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  // Through the C runtime, which updates its own copy (getenv) and the process's (what
  // GetTempPath and started programs see) alike.
  const std::wstring wide_name = Wide(name);
  const std::wstring wide_value = value ? Wide(*value) : std::wstring();
  ::_wputenv_s(wide_name.c_str(), wide_value.c_str());
}

std::string UnixPath(const std::string& path) {
  // Wine shows the Linux root as drive Z:.
  if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
    std::string unix_path = path.substr(2);
    std::replace(unix_path.begin(), unix_path.end(), '\\', '/');
    return unix_path.empty() ? "/" : unix_path;
  }
  return path;
}

std::string PlatformPath(const std::string& unix_path) {
  if (unix_path.empty() || unix_path[0] != '/') return unix_path;
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool LinuxUserIsRoot() {
  // Wine runs as the Linux user who started it; the kernel tells who that is.
  std::ifstream status("Z:\\proc\\self\\status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Uid:", 0) == 0) {
      std::istringstream fields(line.substr(4));
      long real = -1;
      long effective = -1;
      fields >> real >> effective;
      return effective == 0;
    }
  }
  return false;
}

std::string WithUnixLineEnds(const std::string& text) {
  std::string unix_text;
  unix_text.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    unix_text += text[i];
  }
  return unix_text;
}

std::string ProgramFileName(const std::string& name) { return name + ".exe"; }

}  // namespace rariduze::testing
