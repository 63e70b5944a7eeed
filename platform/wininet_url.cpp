#include "platform/wininet_url.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "platform/header_text.h"
#include "platform/wide_text_windows.h"

namespace rariduze {
namespace {

// The longest address a redirect may lead to.
constexpr DWORD kLongestUrl = 64 * 1024;

std::wstring Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::wstring text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    unsigned value = static_cast<unsigned char>(bytes[at]) << 16;
    if (at + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[at + 1]) << 8;
    if (at + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[at + 2]);
    text += static_cast<wchar_t>(kDigits[(value >> 18) & 63]);
    text += static_cast<wchar_t>(kDigits[(value >> 12) & 63]);
    text += at + 1 < bytes.size() ? static_cast<wchar_t>(kDigits[(value >> 6) & 63]) : L'=';
    text += at + 2 < bytes.size() ? static_cast<wchar_t>(kDigits[value & 63]) : L'=';
  }
  return text;
}

}  // namespace

std::wstring Target::Url() const {
  std::wstring url = secure ? L"https://" : L"http://";
  url += host.find(L':') != std::wstring::npos ? L"[" + host + L"]" : host;
  url += L":" + std::to_wstring(port) + path;
  return url;
}

bool Target::SameOrigin(const Target& other) const {
  return secure == other.secure && port == other.port &&
         _wcsicmp(host.c_str(), other.host.c_str()) == 0;
}

std::optional<Target> CrackUrl(const std::wstring& url) {
  if (std::any_of(url.begin(), url.end(), [](wchar_t c) { return c <= L' ' || c == 0x7f; })) {
    return std::nullopt;
  }
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  // Non-zero lengths ask for pointers into url.
  parts.dwSchemeLength = 1;
  parts.dwHostNameLength = 1;
  parts.dwUserNameLength = 1;
  parts.dwPasswordLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    return std::nullopt;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    return std::nullopt;
  }
  // Credentials are given to Connect, never carried inside an address.
  if (parts.dwUserNameLength > 0 || parts.dwPasswordLength > 0) return std::nullopt;
  Target target;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  // The host has no blank or control character left (checked above); the rest of what may
  // not stand in a host is all ASCII, so its UTF-8 form tells.
  if (!HostIsPlain(Narrow(target.host))) return std::nullopt;
  target.port = parts.nPort != 0
                    ? parts.nPort
                    : (target.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  if (parts.lpszUrlPath != nullptr) target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) {
    target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  if (target.path.empty() || target.path.front() != L'/') target.path.insert(0, L"/");
  return target;
}

std::optional<Target> Resolve(const Target& base, const std::wstring& location) {
  const std::wstring from = base.Url();
  DWORD length = 0;
  ::InternetCombineUrlW(from.c_str(), location.c_str(), nullptr, &length, 0);
  if (length == 0 || length > kLongestUrl) return std::nullopt;
  std::wstring combined(length + 1, L'\0');
  if (!::InternetCombineUrlW(from.c_str(), location.c_str(), combined.data(), &length, 0)) {
    return std::nullopt;
  }
  combined.resize(length);
  return CrackUrl(combined);
}

std::string ServerBytes(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  const int bytes =
      ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

std::wstring HeaderText(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
  const int count = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(count, 0)), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), count);
  return wide;
}

std::wstring BasicAuthorization(const std::string& user, const std::string& password) {
  return L"Authorization: Basic " + Base64(user + ":" + password) + L"\r\n";
}

}  // namespace rariduze
