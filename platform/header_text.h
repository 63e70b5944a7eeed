#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace rariduze {

// Small text rules of HTTP that both internet backends apply to what servers and callers give.

// True when text begins with prefix, ASCII letters compared without regard to case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// A host text must not smuggle credentials, a path or a query into an address: no blank,
// control character, "@", "/", "?", "#" or "\".
bool HostIsPlain(std::string_view host);

// "name:port" split into its parts when the text ends in ":digits" outside IPv6 brackets; the
// port is 0 when the text names none, nothing when it names one that does not exist (0, past
// 65535, not digits).
std::optional<std::pair<std::string, std::uint16_t>> SplitHostPort(std::string_view text);

// A path that can stand in a request line: no blank, line break or other control character.
bool PathIsPlain(std::string_view path);

// Hands text out through a caller's buffer of *length bytes, NUL included: *length becomes
// the text's length; when it does not fit, false and *length the size it needs.
bool CopyText(std::string_view text, char* buffer, std::uint32_t* length);

}  // namespace rariduze
