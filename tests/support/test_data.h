#pragma once

#include <cstddef>
#include <string>

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
