#pragma once

#include <string>
#include <vector>

namespace rariduze {

// One network interface of this machine.
struct NetworkLink {
  std::string name;
  int link_type = -1;  // the kernel's hardware type (1 Ethernet, 512 PPP, ...); -1 unknown
  bool up = false;     // switched on and able to carry traffic
};

// The kernel's link type of a PPP interface, the kind a dial-up connection brings up.
inline constexpr int kLinkTypePpp = 512;

// Where the system lists its network interfaces.
std::string SystemNetworkLinksDir();

// The interfaces listed in links_dir, laid out as the system lays out its own list: one folder
// per interface holding "type" (decimal), "flags" (hexadecimal) and "operstate". A missing or
// unreadable folder gives no interfaces.
std::vector<NetworkLink> ListNetworkLinks(const std::string& links_dir);

// The PPP interfaces listed in links_dir that are up.
int CountPppLinksUp(const std::string& links_dir);

}  // namespace rariduze
