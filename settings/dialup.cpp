#include "settings/dialup.h"

#include "platform/network_links.h"

namespace rariduze {

bool RegAttiva() { return RegAttiva(SystemNetworkLinksDir()); }

bool RegAttiva(const std::string& links_dir) {
  for (const NetworkLink& link : ListNetworkLinks(links_dir)) {
    if (link.link_type == kLinkTypePpp && link.up) return true;
  }
  return false;
}

}  // namespace rariduze
