#pragma once

// Addresses and header texts as the platform's internet API (WinInet) takes them.

#include "platform/windows_api.h"
// After the Win32 headers, which it needs.
#include <wininet.h>

#include <optional>
#include <string>

namespace rariduze {

// Where a request goes.
struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query

  std::wstring Url() const;
  bool SameOrigin(const Target& other) const;
};

// An http or https address without credentials in it; nothing for anything else. Blanks and
// control characters would break the request line, so an address with any is none.
std::optional<Target> CrackUrl(const std::wstring& url);

// A Location resolved against the address that answered with it.
std::optional<Target> Resolve(const Target& base, const std::wstring& location);

// Header text of the server as its bytes: the API made its characters from them in the
// system's code page, and the header block handed out is those bytes again.
std::string ServerBytes(const std::wstring& text);

// The other way, for header bytes that go back to the server (a validator it sent): the API
// sends request headers in the same code page, so the server gets its own bytes again.
std::wstring HeaderText(const std::string& bytes);

// The "Authorization: Basic ..." request line, CR LF ended, for user and password.
std::wstring BasicAuthorization(const std::string& user, const std::string& password);

}  // namespace rariduze
