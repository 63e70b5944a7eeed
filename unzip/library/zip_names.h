#pragma once

#include <string>
#include <string_view>

namespace rariduze::unziplib {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsUtf8(std::string_view text);

// Each byte as the character that code page 437 shows for it, in UTF-8: glyphs, not control
// characters, for 0x01 to 0x1F and 0x7F, and a blank for 0x00.
std::string Cp437ToUtf8(std::string_view text);

// An entry's stored name as UTF-8. A name marked UTF-8 is taken as it stands; so is an unmarked
// one that is well-formed UTF-8, as the zip tool on Unix stores names without the mark. Any
// other name, and any that holds control characters other than tabs and line ends, is read as
// code page 437, marked or not: what reaches a file system is always well-formed and holds no
// NUL. unicode_path, the name of a matching Unicode path extra field, wins when it would be
// taken as it stands.
std::string EntryNameToUtf8(std::string_view stored, std::string_view unicode_path);

}  // namespace rariduze::unziplib
