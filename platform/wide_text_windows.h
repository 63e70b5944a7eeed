#pragma once

#include <string>

namespace rariduze {

// Text is UTF-8 inside the program and UTF-16 at the Win32 calls. Bytes that are no valid
// UTF-8 become U+FFFD rather than being dropped silently.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text, std::size_t length);

// A path for a Win32 call: UTF-16, with "/" turned into "\".
std::wstring WidePath(const std::string& path);

// A path for a Win32 call that must reach exactly the file of that name. An absolute path
// takes the "\\?\" form, in which Windows changes no name: "victim." stays "victim.", where the
// plain form drops the dot and reaches "victim". Its "." and ".." steps and doubled separators
// are taken away first, as Windows would. Any other path is as WidePath gives it.
std::wstring ExactPath(const std::string& path);

// The system's text for a Win32 error code, without the trailing line break.
std::string SystemErrorText(unsigned long code);

}  // namespace rariduze
