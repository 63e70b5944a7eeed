#include "settings/dialup.h"

#include "platform/dial_up.h"

namespace rariduze {

bool RegAttiva() { return CountActiveDialUpConnections() > 0; }

}  // namespace rariduze
