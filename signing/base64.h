#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace rariduze {

// Decodes base64 with the standard alphabet and "=" padding, strictly: nothing when the length
// is not a multiple of four, a character is outside the alphabet, "=" stands anywhere but at
// the end, or the bits that padding leaves over are not zero. Signature and key lines come
// from outside, so there is exactly one text for every value.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace rariduze
