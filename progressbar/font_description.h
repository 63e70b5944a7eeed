#pragma once

#include <string>

namespace rariduze {

// A font by value. Its stored form is "name,size[,bold][,italic][,underline][,strikethrough]",
// for instance "MS Sans Serif,8.25,bold".
struct FontDescription {
  std::string name = "MS Sans Serif";
  double size = 8.25;  // points
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;

  bool operator==(const FontDescription&) const = default;
};

std::string FontText(const FontDescription& font);
// Fails with 13 (type mismatch) on a text that is not a font.
FontDescription ParseFontText(const std::string& text);

}  // namespace rariduze
