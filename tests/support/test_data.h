#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace rariduze::testing {

// size bytes that do not repeat within any short stretch, so a byte lost, doubled or moved
// shows; another seed gives another body.
inline std::string Pattern(std::size_t size, int seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>((i * 13 + i / 509 + static_cast<std::size_t>(seed)) & 0xff);
  }
  return bytes;
}

// The lines of a text, without their line ends ("\n").
inline std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A compressible text of size bytes: words over a small alphabet, another seed another text.
inline std::string Text(std::size_t size, unsigned seed) {
  std::string text;
  unsigned state = seed;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += (state >> 20) % 3 == 0 ? "setup " : "zentri ";
    text += static_cast<char>('a' + (state >> 24) % 26);
  }
  text.resize(size);
  return text;
}

// The number of the RuntimeFailure that call raises; 0 when it returns normally.
template <typename Call>
int FailureNumberOf(Call&& call) {
  try {
    call();
  } catch (const RuntimeFailure& failure) {
    return failure.number();
  }
  return 0;
}

}  // namespace rariduze::testing
