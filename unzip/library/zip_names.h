#pragma once

#include <string>
#include <string_view>

namespace rariduze::unziplib {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsUtf8(std::string_view text);

// Each byte as the character that code page 437 gives it, in UTF-8.
std::string Cp437ToUtf8(std::string_view text);

// An entry's stored name as UTF-8. A name marked UTF-8 is taken as it stands; so is an unmarked
// one that is well-formed UTF-8, as the zip tool on Unix stores names without the mark. Any
// other name is read as code page 437, marked or not, so that what reaches a file system is
// always well-formed. unicode_path, the name of a matching Unicode path extra field, wins when
// it is well-formed.
std::string EntryNameToUtf8(std::string_view stored, std::string_view unicode_path);

}  // namespace rariduze::unziplib
