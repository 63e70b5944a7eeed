#include "platform/dialup.h"
#include "platform/network_links.h"

namespace rariduze {

int CountPppLinksUp(const std::string& links_dir) {
  int count = 0;
  for (const NetworkLink& link : ListNetworkLinks(links_dir)) {
    if (link.link_type == kLinkTypePpp && link.up) ++count;
  }
  return count;
}

// A dial-up connection brings up a PPP interface.
int CountActiveDialUpConnections() { return CountPppLinksUp(SystemNetworkLinksDir()); }

}  // namespace rariduze
