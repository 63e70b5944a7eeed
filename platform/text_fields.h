#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace rariduze {

// A blank, as field and number reading skip it: a space or a tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads a text field by field: leading blanks are skipped; a field that begins with a double
// quote is the text up to the next double quote; any other field ends at the first comma or at
// the end of the line (CR, LF or both). Reading at the end of the text fails with 62.
class TextFieldReader {
 public:
  explicit TextFieldReader(std::string contents) : text_(std::move(contents)) {}

  // Raises RuntimeFailure 62 (input past end of file) when nothing is left.
  std::string ReadField();
  bool AtEnd() const { return position_ >= text_.size(); }

 private:
  void SkipDelimiter();

  std::string text_;
  std::size_t position_ = 0;
};

// Small text files (settings, version files) are read only this far; anything after is
// ignored, so a huge or endless file cannot exhaust memory.
inline constexpr std::size_t kMaxTextFileBytes = 64 * 1024;

// Opens a text file for reading: nothing when it is missing or unreadable.
std::optional<TextFieldReader> OpenTextFields(FileSystem& files, const std::string& path);

// Lines joined the way the program writes text files: each ended by CR LF.
std::string CrlfLines(const std::vector<std::string>& lines);

}  // namespace rariduze
