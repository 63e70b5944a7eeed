#include "signing/base64.h"

#include <array>
#include <cstddef>

namespace rariduze {
namespace {

constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> MakeDecodeTable() {
  std::array<int, 256> table{};
  for (int& entry : table) entry = kNotInAlphabet;
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
  }
  return table;
}

constexpr std::array<int, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') ++padding;
  if (text.size() >= 2 && text[text.size() - 2] == '=') ++padding;

  // A "=" among the data characters is outside the alphabet below.
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  int bit_count = 0;
  std::size_t data_chars = text.size() - padding;
  for (std::size_t i = 0; i < data_chars; ++i) {
    int value = kDecodeTable[static_cast<unsigned char>(text[i])];
    if (value == kNotInAlphabet) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      bytes.push_back(static_cast<std::uint8_t>((bits >> bit_count) & 0xff));
    }
  }
  // What padding leaves over (2 or 4 bits) must be zero, or two texts would give one value.
  if ((bits & ((1u << bit_count) - 1)) != 0) return std::nullopt;
  return bytes;
}

}  // namespace rariduze
