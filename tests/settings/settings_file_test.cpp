#include "settings/settings_file.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/failure.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::FileIsThere;
using testing::ReadFile;
using testing::TestDir;
using testing::WriteFile;

class SettingsFileTest : public ::testing::Test {
 protected:
  ConnectionSettings Read(const std::string& contents) {
    WriteFile(path_, contents);
    return ReadSettings(files_, path_);
  }

  TestDir dir_{"settings"};
  std::string path_ = SettingsFilePath(dir_.path() + testing::PathSeparator());
  FileSystem& files_ = FileSystem::Default();
};

TEST_F(SettingsFileTest, ReadsAddressPortAndLanFlag) {
  ConnectionSettings settings = Read("10.0.0.1:8080\r\n1\r\n");
  EXPECT_EQ(settings.proxy, "10.0.0.1:8080");
  EXPECT_EQ(settings.lan_flag, "1");
  EXPECT_TRUE(settings.HasProxy());

  settings = Read("  \"proxy.example, inc:3128\"\r\n0\r\n");
  EXPECT_EQ(settings.proxy, "proxy.example, inc:3128");
  EXPECT_EQ(settings.lan_flag, "0");
}

TEST_F(SettingsFileTest, AFileThatEndsEarlyLeavesTheRestEmpty) {
  ConnectionSettings empty = Read("");
  EXPECT_EQ(empty.proxy, "");
  EXPECT_EQ(empty.lan_flag, "");
  EXPECT_FALSE(empty.HasProxy());

  ConnectionSettings one_line = Read("10.0.0.1:8080\r\n");
  EXPECT_EQ(one_line.proxy, "10.0.0.1:8080");
  EXPECT_EQ(one_line.lan_flag, "");
}

TEST_F(SettingsFileTest, TheFlagIsKeptAsWrittenWithoutLeadingBlanks) {
  EXPECT_EQ(Read(":\r\n00\r\n").lan_flag, "00");
  EXPECT_EQ(Read(":\r\n 1\r\n").lan_flag, "1");
}

TEST(SplitProxyEntry, AddressBeforeTheFirstColonPortUpToTheSecond) {
  ProxyEntry plain = SplitProxyEntry("10.0.0.1:8080");
  EXPECT_EQ(plain.address, "10.0.0.1");
  EXPECT_EQ(plain.port, "8080");

  ProxyEntry more = SplitProxyEntry("host:80:extra");
  EXPECT_EQ(more.address, "host");
  EXPECT_EQ(more.port, "80");

  ProxyEntry colon = SplitProxyEntry(":");
  EXPECT_EQ(colon.address, "");
  EXPECT_EQ(colon.port, "");

  ProxyEntry none = SplitProxyEntry("proxyhost");
  EXPECT_EQ(none.address, "proxyhost");
  EXPECT_FALSE(none.port.has_value());
}

TEST_F(SettingsFileTest, AColonAloneOrABlankEntrySetsNoProxy) {
  EXPECT_FALSE(Read(":\r\n1\r\n").HasProxy());
  EXPECT_FALSE(Read("\"   \"\r\n1\r\n").HasProxy());
  EXPECT_TRUE(Read("proxy\r\n1\r\n").HasProxy());
}

TEST_F(SettingsFileTest, AMissingFileIsReportedAndCreatedEmptyOnRequest) {
  try {
    ReadSettings(files_, path_);
    ADD_FAILURE() << "no failure raised";
  } catch (const RuntimeFailure& failure) {
    EXPECT_EQ(failure.number(), kFailureFileNotFound);
  }

  CreateSettingsFileIfMissing(files_, path_);
  ASSERT_TRUE(FileIsThere(path_));
  EXPECT_EQ(ReadFile(path_), "");

  WriteFile(path_, ":\r\n0\r\n");
  CreateSettingsFileIfMissing(files_, path_);
  EXPECT_EQ(ReadFile(path_), ":\r\n0\r\n");
}

TEST_F(SettingsFileTest, WritesTheTwoLinesByteForByte) {
  WriteFile(path_, "");
  EXPECT_TRUE(WriteSettingsIfPresent(files_, path_, "10.0.0.1", "8080", true));
  EXPECT_EQ(ReadFile(path_), "10.0.0.1:8080\r\n1\r\n");

  EXPECT_TRUE(WriteSettingsIfPresent(files_, path_, "", "", false));
  EXPECT_EQ(ReadFile(path_), ":\r\n0\r\n");
}

TEST_F(SettingsFileTest, DoesNotRecreateAMissingFile) {
  EXPECT_FALSE(WriteSettingsIfPresent(files_, path_, "10.0.0.1", "8080", true));
  EXPECT_FALSE(FileIsThere(path_));
}

TEST_F(SettingsFileTest, TypedTextCannotBreakTheFileApart) {
  WriteFile(path_, "");
  // A line break would forge a second line, a comma would end the entry early and shift the
  // rest into the LAN flag, a double quote would swallow the flag.
  ASSERT_TRUE(WriteSettingsIfPresent(files_, path_, "evil\r\n0", "80", true));
  EXPECT_EQ(ReadSettings(files_, path_).proxy, "evil0:80");
  EXPECT_EQ(ReadSettings(files_, path_).lan_flag, "1");

  ASSERT_TRUE(WriteSettingsIfPresent(files_, path_, "a,b", "80", true));
  EXPECT_EQ(ReadSettings(files_, path_).proxy, "a,b:80");
  EXPECT_EQ(ReadSettings(files_, path_).lan_flag, "1");

  ASSERT_TRUE(WriteSettingsIfPresent(files_, path_, "\"quoted", "80", false));
  EXPECT_EQ(ReadSettings(files_, path_).proxy, "quoted:80");
  EXPECT_EQ(ReadSettings(files_, path_).lan_flag, "0");
}

}  // namespace
}  // namespace rariduze
