#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rariduze {

// Texts handed to programs and libraries that take 8-bit text (the unzip library) are in the
// process's ANSI code page: on Windows the one GetACP names, which is UTF-8 (65001) where the
// program's manifest asks for it and Windows honours that; elsewhere always UTF-8. Inside, text
// is UTF-8 throughout.

// The number of that code page; 65001 for UTF-8.
unsigned SystemCodePage();

// utf8 in the system code page; on Windows nothing when it cannot hold every character exactly
// (no look-alike stands in for a character) or when utf8 is not well-formed. Elsewhere the text
// as it is: names there are bytes, whatever their encoding.
std::optional<std::string> ToSystemCodePage(std::string_view utf8);

// The same, with "?" for every character the code page cannot hold: for texts that are only
// shown, never for names or paths.
std::string ToSystemCodePageShown(std::string_view utf8);

// Text in the system code page as UTF-8; bytes that form no character there become U+FFFD
// (where the code page is UTF-8 itself, the text is taken as it is).
std::string FromSystemCodePage(std::string_view text);

}  // namespace rariduze
