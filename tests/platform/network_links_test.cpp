#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/network_links.h"
#include "tests/support/test_dir.h"

namespace rariduze {
namespace {

using testing::TestDir;
using testing::WriteFile;

// A folder laid out like the system's list of network interfaces.
class FakeLinks {
 public:
  void Add(const std::string& name, const std::string& type, const std::string& flags,
           const std::string& operstate) {
    std::string link = dir_.File(name);
    std::filesystem::create_directory(link);
    WriteFile(link + "/type", type + "\n");
    WriteFile(link + "/flags", flags + "\n");
    WriteFile(link + "/operstate", operstate + "\n");
  }
  std::string path() const { return dir_.path(); }

 private:
  TestDir dir_{"net"};
};

TEST(PppLinks, NoneWithoutInterfaces) {
  FakeLinks links;
  EXPECT_EQ(CountPppLinksUp(links.path()), 0);
  EXPECT_EQ(CountPppLinksUp(links.path() + "/missing"), 0);
}

TEST(PppLinks, CountsOnlyPppInterfacesThatAreUp) {
  FakeLinks links;
  links.Add("lo", "772", "0x9", "unknown");
  links.Add("eth0", "1", "0x1003", "up");
  EXPECT_EQ(CountPppLinksUp(links.path()), 0) << "Ethernet and loopback are not dial-up";

  links.Add("ppp0", "512", "0x1090", "down");
  EXPECT_EQ(CountPppLinksUp(links.path()), 0) << "a PPP interface that is down";

  links.Add("ppp1", "512", "0x1091", "unknown");
  EXPECT_EQ(CountPppLinksUp(links.path()), 1) << "a PPP interface that is up";
}

TEST(PppLinks, APppInterfaceWithoutItsLowerLayerIsNotActive) {
  FakeLinks links;
  links.Add("ppp0", "512", "0x1091", "lowerlayerdown");
  EXPECT_EQ(CountPppLinksUp(links.path()), 0);
}

TEST(PppLinks, GarbledInterfaceFilesCountAsNotActive) {
  FakeLinks links;
  links.Add("ppp0", "512abc", "0x1091", "unknown");
  links.Add("ppp1", "512", "up", "unknown");
  links.Add("ppp2", "", "", "");
  EXPECT_EQ(CountPppLinksUp(links.path()), 0);
}

TEST(NetworkLinks, ReadsTheSystemsOwnList) {
  std::vector<NetworkLink> links = ListNetworkLinks(SystemNetworkLinksDir());
  auto loopback = std::find_if(links.begin(), links.end(),
                               [](const NetworkLink& link) { return link.name == "lo"; });
  if (loopback == links.end()) GTEST_SKIP() << "this machine shows no loopback interface";
  EXPECT_EQ(loopback->link_type, 772);  // loopback
  EXPECT_TRUE(loopback->up);
}

}  // namespace
}  // namespace rariduze
