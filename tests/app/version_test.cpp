#include "app/version.h"

#include <gtest/gtest.h>

#include "tests/support/test_dir.h"

namespace rariduze::ModuloUp {
namespace {

struct Comparison {
  const char* installed;
  const char* downloaded;
  bool newer;
};

TEST(IsNewerVersion, WeighsEveryPartAsFourDigits) {
  const Comparison cases[] = {
      {"1.0.22", "1.0.22", false},
      {"1.0.22", "1.0.23", true},
      {"1.0.23", "1.0.22", false},
      {"1.9", "1.10", true},  // 00010010 > 00010009
      {"1.9999", "2.0", true},
      {"2.0", "1.10000", true},  // a five-digit part shifts the later digits
      {"1.2", "1.2.5", false},   // extra downloaded parts are ignored
      {"", "9.9", false},        // no installed version: nothing is newer
      {"1.0.22", "", false},     // missing downloaded parts count as 0
      {"1.0.22", "2", true},
      {"1.0.22", "1", false},
      {"1..2", "1..3", true},    // an empty part stays empty on both sides
      {"1.2", " 1 . 3 ", true},  // blanks around a part
      {"1.3b", "1.4", true},     // a part that is no number stays as it is
  };
  for (const Comparison& c : cases) {
    EXPECT_EQ(IsNewerVersion(c.installed, c.downloaded), c.newer)
        << "installed " << c.installed << ", downloaded " << c.downloaded;
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
  EXPECT_EQ(ReadInstalledVersion(folder), "");
  EXPECT_EQ(ReadDownloadedVersion(folder), "");

  testing::WriteFile(folder + "versionZT.dat", "\"1.2\"\r\n");
  EXPECT_EQ(ReadInstalledVersion(folder), "1.2");
  testing::WriteFile(folder + "ZTVersion", "  1.2.3  \r\nrest");
  EXPECT_EQ(ReadDownloadedVersion(folder), "1.2.3");
  testing::WriteFile(folder + "ZTVersion", "1.2.3,more text\r\n");
  EXPECT_EQ(ReadDownloadedVersion(folder), "1.2.3");
  testing::WriteFile(folder + "ZTVersion", "");
  EXPECT_EQ(ReadDownloadedVersion(folder), "");
  testing::WriteFile(folder + "versionZT.dat", "1.0.22");  // no line end at all
  EXPECT_EQ(ReadInstalledVersion(folder), "1.0.22");
}

}  // namespace
}  // namespace rariduze::ModuloUp
