// The process's ANSI code page, through UTF-16. Conversions refuse look-alikes: by default
// Windows would write "a" for "ä" or "?" for "中" where the code page has no such character,
// and a path changed that way names another file.
#include "platform/system_code_page.h"

#include <windows.h>

namespace rariduze {
namespace {

// utf8 as UTF-16; nothing when it is not well-formed UTF-8.
std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length);
  return wide;
}

// wide in code_page (not UTF-8); *exact (when given) tells whether every character had its own
// there.
std::string Narrowed(const std::wstring& wide, UINT code_page, bool* exact) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  int length = ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                     "?", &used_default);
  std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, narrow.data(), length,
                          "?", &used_default);
  }
  if (exact != nullptr) *exact = length > 0 && !used_default;
  return narrow;
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  }
  return utf8;
}

}  // namespace

unsigned SystemCodePage() { return ::GetACP(); }

std::optional<std::string> ToSystemCodePage(std::string_view utf8) {
  const UINT code_page = ::GetACP();
  std::optional<std::wstring> wide = WideFromUtf8(utf8);
  if (!wide) return std::nullopt;
  if (code_page == CP_UTF8) return std::string(utf8);
  bool exact = false;
  std::string narrow = Narrowed(*wide, code_page, &exact);
  if (!exact && !wide->empty()) return std::nullopt;
  return narrow;
}

std::string ToSystemCodePageShown(std::string_view utf8) {
  const UINT code_page = ::GetACP();
  if (code_page == CP_UTF8) return std::string(utf8);
  // Bytes that are no UTF-8 become U+FFFD first, and then "?".
  const int size = static_cast<int>(utf8.size());
  int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return Narrowed(wide, code_page, nullptr);
}

std::string FromSystemCodePage(std::string_view text) {
  const UINT code_page = ::GetACP();
  if (text.empty()) return {};
  if (code_page == CP_UTF8) return std::string(text);
  const int size = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
  return Utf8FromWide(wide);
}

}  // namespace rariduze
