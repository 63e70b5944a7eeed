#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/wide_text_windows.h"
#include "tests/support/host.h"

namespace rariduze::testing {

std::optional<std::string> GetEnv(const std::string& name) {
  const std::wstring wide = Widen(name);
  DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<wchar_t> buffer(size);
  DWORD length = ::GetEnvironmentVariableW(wide.c_str(), buffer.data(), size);
  return Narrow(std::wstring(buffer.data(), length));
}

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
  // Through the C runtime, which updates its own copy (getenv) and the process's (what
  // GetTempPath and started programs see) alike.
  const std::wstring wide_name = Widen(name);
  const std::wstring wide_value = value ? Widen(*value) : std::wstring();
  ::_wputenv_s(wide_name.c_str(), wide_value.c_str());
}

namespace {

const wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// A value of the user's Internet Settings as text (a number in decimal); nothing when unset.
std::optional<std::string> ReadSetting(HKEY key, const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  const std::wstring wide = Widen(name);
  if (::RegQueryValueExW(key, wide.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> data(size + sizeof(wchar_t));
  ::RegQueryValueExW(key, wide.c_str(), nullptr, &type, data.data(), &size);
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    return std::to_string(number);
  }
  return Narrow(
      std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t)).c_str());
}

void WriteSetting(HKEY key, const std::string& name, const std::optional<std::string>& value) {
  const std::wstring wide = Widen(name);
  if (!value) {
    ::RegDeleteValueW(key, wide.c_str());
  } else if (name == "ProxyEnable") {
    DWORD number = static_cast<DWORD>(std::stoul(*value));
    ::RegSetValueExW(key, wide.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
  } else {
    const std::wstring text = Widen(*value);
    ::RegSetValueExW(key, wide.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
}

}  // namespace

ScopedSystemProxy::ScopedSystemProxy(const std::string& proxy, const std::string& exempt) {
  HANDLE lock = ::CreateMutexW(nullptr, FALSE, L"rariduze-test-system-proxy");
  if (lock != nullptr) {
    // Bounded: a test that died holding it has let go of it by the system's hand.
    ::WaitForSingleObject(lock, 60000);
    lock_ = reinterpret_cast<std::intptr_t>(lock);
  }
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const char* name : {"ProxyEnable", "ProxyServer", "ProxyOverride"}) {
    saved_.emplace_back(name, ReadSetting(key, name));
  }
  WriteSetting(key, "ProxyOverride",
               exempt.empty() ? std::nullopt : std::optional<std::string>(exempt));
  WriteSetting(key, "ProxyServer", proxy);
  WriteSetting(key, "ProxyEnable", "1");
  ::RegCloseKey(key);
}

ScopedSystemProxy::~ScopedSystemProxy() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_ALL_ACCESS, &key) ==
      ERROR_SUCCESS) {
    for (const auto& [name, value] : saved_) WriteSetting(key, name, value);
    ::RegCloseKey(key);
  }
  if (lock_ != 0) {
    HANDLE lock = reinterpret_cast<HANDLE>(lock_);
    ::ReleaseMutex(lock);
    ::CloseHandle(lock);
  }
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

std::string ShellProgramPrefix() { return "wine "; }

std::string ProgramFileName(const std::string& name) { return name + ".exe"; }

std::optional<std::size_t> OpenDescriptorCount() { return std::nullopt; }

}  // namespace rariduze::testing
