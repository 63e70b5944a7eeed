#include "signing/crypto_library.h"

#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

namespace rariduze::testing {
namespace {

using Version = std::tuple<int, int, int>;

Version Parse(const char* text) {
  Version version{};
  auto& [major, minor, micro] = version;
  EXPECT_EQ(std::sscanf(text, "%d.%d.%d", &major, &minor, &micro), 3) << text;
  return version;
}

// The version of the library that the check plays, answering as the library's own check does.
std::string running_version;
const char* PlayedCheck(const char* required) {
  return Parse(running_version.c_str()) >= Parse(required) ? running_version.c_str() : nullptr;
}

// The build's headers may rely on anything their version brings, so a library older than
// them at run time is not used, though it may have all the algorithms a signature needs.
TEST(CryptoLibraryTest, AnOlderLibraryThanTheBuildWasCompiledWithIsNotUsed) {
  ASSERT_TRUE(PrepareCryptoLibrary());  // the real one, which starts the library
  const auto [major, minor, micro] = Parse(GCRYPT_VERSION);
  const std::string older =
      micro > 0
          ? std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro - 1)
          : std::to_string(major) + "." + std::to_string(minor - 1) + ".99";
  struct Case {
    std::string running;
    bool used;
  };
  for (const Case& played : {Case{GCRYPT_VERSION, true}, Case{older, false}, Case{"1.8.0", false},
                             Case{std::to_string(major + 1) + ".0.0", true}}) {
    running_version = played.running;
    EXPECT_EQ(StartCryptoLibrary(&PlayedCheck), played.used) << "running " << played.running;
  }
}

}  // namespace
}  // namespace rariduze::testing
