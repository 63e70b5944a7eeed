#include "progressbar/font_description.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/failure.h"
#include "platform/number_text.h"
#include "progressbar/progress_bar_values.h"

namespace rariduze {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string FontText(const FontDescription& font) {
  std::string text = font.name + "," + FormatShortestNumber(font.size);
  if (font.bold) text += ",bold";
  if (font.italic) text += ",italic";
  if (font.underline) text += ",underline";
  if (font.strikethrough) text += ",strikethrough";
  return text;
}

FontDescription ParseFontText(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  // Style words from the end, then the size; whatever is left is the name, commas and all.
  FontDescription font;
  std::size_t end = fields.size();
  for (; end > 0; --end) {
    const std::string word = Lower(Trimmed(fields[end - 1]));
    if (word == "bold")
      font.bold = true;
    else if (word == "italic")
      font.italic = true;
    else if (word == "underline")
      font.underline = true;
    else if (word == "strikethrough")
      font.strikethrough = true;
    else
      break;
  }
  if (end < 2 || !ParseWholeNumberText(fields[end - 1], &font.size) || !(font.size > 0) ||
      font.size > 2048) {
    progress_bar_values::Fail(kFailureTypeMismatch);
  }
  std::string name = fields[0];
  for (std::size_t i = 1; i + 1 < end; ++i) name += "," + fields[i];
  font.name = Trimmed(name);
  if (font.name.empty()) progress_bar_values::Fail(kFailureTypeMismatch);
  return font;
}

}  // namespace rariduze
