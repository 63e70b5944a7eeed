// The rules both internet backends apply to the host texts they are given.
#include "platform/header_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace rariduze {
namespace {

using HostPort = std::optional<std::pair<std::string, std::uint16_t>>;

TEST(SplitHostPortTest, APortIsTakenOnlyWhereItCanExist) {
  const struct {
    const char* text;
    HostPort expected;
  } rows[] = {
      {"example.org", std::pair{std::string("example.org"), std::uint16_t{0}}},
      {"example.org:8080", std::pair{std::string("example.org"), std::uint16_t{8080}}},
      {"[::1]:65535", std::pair{std::string("[::1]"), std::uint16_t{65535}}},
      {"[::1]", std::pair{std::string("[::1]"), std::uint16_t{0}}},  // colons inside brackets
      {":8080", std::pair{std::string(), std::uint16_t{8080}}},      // the caller refuses it
      {"example.org:0", std::nullopt},
      {"example.org:65536", std::nullopt},
      {"example.org:080800", std::nullopt},
      {"example.org:", std::nullopt},
      {"example.org:80x", std::nullopt},
      {"example.org:-1", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(SplitHostPort(row.text), row.expected) << row.text;
}

TEST(HostIsPlainTest, NothingThatCouldCarryCredentialsAPathOrAQuery) {
  EXPECT_TRUE(HostIsPlain("example.org:8080"));
  EXPECT_TRUE(HostIsPlain("[::1]"));
  for (const char* text : {"", "user@example.org", "example.org/x", "example.org?q",
                           "example.org#f", "example.org\\x", "exa mple.org", "example.org\r\n"}) {
    EXPECT_FALSE(HostIsPlain(text)) << text;
  }
}

}  // namespace
}  // namespace rariduze
