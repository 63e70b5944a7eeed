#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_data.h"

namespace rariduze::testing {

// Why a signature in the signing tool's legacy form is refused, whatever it signs.
inline constexpr const char* kLegacyRefused =
    "the signature is in the legacy form (\"Ed\"), which is refused; only prehashed (\"ED\") "
    "signatures are accepted";

// Base64 with padding, written here apart from the decoder under test so that tests can edit
// the bytes of a signature line and put them back.
inline std::string EncodeBase64(const std::vector<std::uint8_t>& bytes) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return text;
}

// A signature file made of its lines (LinesOf) again.
inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace rariduze::testing
