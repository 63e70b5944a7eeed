#include "settings/dialup.h"

namespace rariduze {

bool RegAttiva(SystemServices& system) { return system.CountActiveDialUpConnections() > 0; }

}  // namespace rariduze
