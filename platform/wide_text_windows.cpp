#include "platform/wide_text_windows.h"

#include <algorithm>
#include <vector>

#include "platform/windows_api.h"

namespace rariduze {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::string Narrow(const std::wstring& text) { return Narrow(text.data(), text.size()); }

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Widen(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

std::wstring ExactPath(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  std::wstring exact;
  std::size_t start = 0;
  std::size_t fixed_steps = 0;  // steps that ".." does not climb above: a share's server, name
  const bool drive = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\' &&
                     ((wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z'));
  if (drive) {
    exact = L"\\\\?\\" + wide.substr(0, 2);
    start = 3;
  } else if (wide.size() > 2 && wide[0] == L'\\' && wide[1] == L'\\') {
    exact = L"\\\\?\\UNC";
    start = 2;
    fixed_steps = 2;
  } else {
    return wide;  // relative to a current folder: only Windows' own reading can place it
  }
  // "." and ".." steps and doubled separators go, as Windows would take them away; nothing
  // else of a name changes.
  std::vector<std::wstring> steps;
  for (std::size_t at = start; at <= wide.size();) {
    std::size_t end = wide.find(L'\\', at);
    if (end == std::wstring::npos) end = wide.size();
    const std::wstring step = wide.substr(at, end - at);
    if (step == L"..") {
      if (steps.size() > fixed_steps) steps.pop_back();
    } else if (!step.empty() && step != L".") {
      steps.push_back(step);
    }
    at = end + 1;
  }
  for (const std::wstring& step : steps) exact += L'\\' + step;
  // A drive's root keeps its separator: "\\?\C:" would name the volume itself.
  if (steps.empty()) exact += L'\\';
  return exact;
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? Narrow(buffer, length) : "error " + std::to_string(code);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace rariduze
