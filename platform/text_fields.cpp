#include "platform/text_fields.h"

#include "platform/failure.h"

namespace rariduze {
namespace {
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
}  // namespace

std::string TextFieldReader::ReadField() {
  while (position_ < text_.size() && IsBlank(text_[position_])) ++position_;
  if (position_ >= text_.size()) throw RuntimeFailure(kFailureInputPastEndOfFile);

  std::string field;
  if (text_[position_] == '"') {
    std::size_t close = text_.find('"', position_ + 1);
    std::size_t end = close == std::string::npos ? text_.size() : close;
    field = text_.substr(position_ + 1, end - position_ - 1);
    position_ = close == std::string::npos ? text_.size() : close + 1;
    // Whatever stands between the closing quote and the delimiter is not part of the field.
    while (position_ < text_.size() && text_[position_] != ',' && !IsLineEnd(text_[position_])) {
      ++position_;
    }
  } else {
    std::size_t end = position_;
    while (end < text_.size() && text_[end] != ',' && !IsLineEnd(text_[end])) ++end;
    field = text_.substr(position_, end - position_);
    position_ = end;
  }
  SkipDelimiter();
  return field;
}

void TextFieldReader::SkipDelimiter() {
  if (position_ >= text_.size()) return;
  if (text_[position_] == ',') {
    ++position_;
    return;
  }
  if (text_[position_] == '\r') {
    ++position_;
    if (position_ < text_.size() && text_[position_] == '\n') ++position_;
    return;
  }
  if (text_[position_] == '\n') ++position_;
}

std::optional<TextFieldReader> OpenTextFields(FileSystem& files, const std::string& path) {
  std::optional<std::string> contents = files.ReadPrefix(path, kMaxTextFileBytes);
  if (!contents) return std::nullopt;
  return TextFieldReader(std::move(*contents));
}

std::string CrlfLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace rariduze
