#include "app/version.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/test_dir.h"

namespace rariduze::ModuloUp {
namespace {

struct Comparison {
  const char* installed;
  const char* downloaded;
  bool newer;
};

TEST(IsNewerVersion, ComparesPartByPartAsNumbers) {
  const Comparison cases[] = {
      {"1.0.22", "1.0.22", false},
      {"1.0.22", "1.0.23", true},
      {"1.0.23", "1.0.22", false},
      {"1.9", "1.10", true},
      {"1.9999", "2.0", true},
      {"1.09", "1.9", false},  // leading zeros do not count
      {"1.9", "1.00010", true},
      // Parts of any length: no later part shifts, nothing overflows or rounds.
      {"2.0", "1.12345", false},
      {"2.0", "1.10000", false},
      {"1.12345", "2.0", true},
      {"1.99999", "1.100000", true},
      {"1.0.0.0.0.1", "1.0.0.0.0.2", true},
      {"1.99999999999999999999999", "1.100000000000000000000000", true},
      {"1.100000000000000000000000", "1.99999999999999999999999", false},
      {"1.2", "1.2.5", false},  // extra downloaded parts are ignored
      {"", "9.9", false},       // no installed version: nothing is newer
      {"1.0.22", "", false},    // missing downloaded parts count as 0
      {"1.0.22", "2", true},
      {"1.0.22", "1", false},
      {"1..2", "1..3", true},    // an empty part stays empty on both sides
      {"1.2", " 1 . 3 ", true},  // blanks around a part
      {"1.3b", "1.4", true},     // a part counts by its leading digits
      {"x", "1", true},          // an installed version without a number counts as 0
  };
  for (const Comparison& c : cases) {
    EXPECT_EQ(IsNewerVersion(c.installed, c.downloaded), c.newer)
        << "installed " << c.installed << ", downloaded " << c.downloaded;
  }
}

// Versions of up to four digits a part compare as they always did: as their parts written
// four digits wide, one after the other.
TEST(IsNewerVersion, ShortPartsCompareAsFixedWidthDigits) {
  std::mt19937 random(19);
  auto version = [&](std::string* four_wide) {
    std::string text;
    for (int part = 0; part < 3; ++part) {
      const unsigned number = random() % (random() % 2 == 0 ? 3 : 10000);
      text += (part > 0 ? "." : "") + std::to_string(number);
      const std::string digits = std::to_string(number);
      *four_wide += std::string(4 - digits.size(), '0') + digits;
    }
    return text;
  };
  for (int round = 0; round < 2000; ++round) {
    std::string installed_wide;
    std::string downloaded_wide;
    const std::string installed = version(&installed_wide);
    const std::string downloaded = version(&downloaded_wide);
    EXPECT_EQ(IsNewerVersion(installed, downloaded), installed_wide < downloaded_wide)
        << "installed " << installed << ", downloaded " << downloaded;
  }
}

TEST(IsVersionText, OnlyDigitsFullStopsAndBlanksWithADigit) {
  for (const char* text : {"1.0.22", "2.3.0.104", "7", "1. 2", " 1.0 "}) {
    EXPECT_TRUE(IsVersionText(text)) << text;
  }
  for (const char* text : {"", ".", " . ", "Error 503", "1.0.23-beta", "v1.0", "1,0",
                           "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">", "1e3"}) {
    EXPECT_FALSE(IsVersionText(text)) << text;
  }
}

TEST(VersionFiles, ReadTheFirstFieldByTheTextFieldRule) {
  testing::TestDir dir;
  const std::string folder = dir.path() + "/";
  EXPECT_EQ(ReadInstalledVersion(folder, FileSystem::Default()), "");
  EXPECT_EQ(ReadDownloadedVersion(folder, FileSystem::Default()), "");

  testing::WriteFile(folder + "versionZT.dat", "\"1.2\"\r\n");
  EXPECT_EQ(ReadInstalledVersion(folder, FileSystem::Default()), "1.2");
  testing::WriteFile(folder + "ZTVersion", "  1.2.3  \r\nrest");
  EXPECT_EQ(ReadDownloadedVersion(folder, FileSystem::Default()), "1.2.3");
  testing::WriteFile(folder + "ZTVersion", "1.2.3,more text\r\n");
  EXPECT_EQ(ReadDownloadedVersion(folder, FileSystem::Default()), "1.2.3");
  testing::WriteFile(folder + "ZTVersion", "");
  EXPECT_EQ(ReadDownloadedVersion(folder, FileSystem::Default()), "");
  testing::WriteFile(folder + "versionZT.dat", "1.0.22");  // no line end at all
  EXPECT_EQ(ReadInstalledVersion(folder, FileSystem::Default()), "1.0.22");
}

}  // namespace
}  // namespace rariduze::ModuloUp
