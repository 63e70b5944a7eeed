#pragma once

#include <string>

namespace rariduze {

// The kernel's link type of a PPP interface, the kind a dial-up connection brings up.
inline constexpr int kLinkTypePpp = 512;

// True exactly when at least one dial-up (PPP) connection is active: an interface of link type
// PPP that is up. The second form looks at the interfaces listed in links_dir instead of the
// system's own (see ListNetworkLinks).
bool RegAttiva();
bool RegAttiva(const std::string& links_dir);

}  // namespace rariduze
