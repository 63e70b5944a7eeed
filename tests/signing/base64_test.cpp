#include "signing/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/signing/signing_test_text.h"

namespace rariduze::testing {
namespace {

std::optional<std::string> Decoded(std::string_view text) {
  std::optional<std::vector<std::uint8_t>> bytes = DecodeBase64(text);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

TEST(Base64Test, DecodesEveryPaddingLength) {
  EXPECT_EQ(Decoded(""), "");
  EXPECT_EQ(Decoded("QQ=="), "A");
  EXPECT_EQ(Decoded("QUI="), "AB");
  EXPECT_EQ(Decoded("QUJD"), "ABC");
  EXPECT_EQ(Decoded("+/+/"), "\xfb\xff\xbf");
}

TEST(Base64Test, GivesBackWhatWasEncodedForEveryLength) {
  for (std::size_t size = 0; size < 80; ++size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + size);
    EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << size;
  }
}

TEST(Base64Test, RefusesEverythingButOneTextPerValue) {
  for (const char* text : {
           "QQ",        // no padding
           "QQ=",       // short padding
           "Q===",      // too much padding
           "QR==",      // left-over bits set: "QQ==" is the one text for "A"
           "QUJ=",      // the same with one "="
           "QQ==QUJD",  // padding in the middle
           "QU=D",      // "=" among data
           " QUJD",     // blank
           "QUJD\n",    // line end
           "QUJ-",      // the URL alphabet
           "QU_D",
           "QUJ\x80",  // a byte above ASCII
       }) {
    EXPECT_EQ(DecodeBase64(text), std::nullopt) << text;
  }
  EXPECT_EQ(DecodeBase64(std::string_view("QU\0D", 4)), std::nullopt);
}

}  // namespace
}  // namespace rariduze::testing
