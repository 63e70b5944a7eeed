#pragma once

#include "platform/system_services.h"

namespace rariduze {

// True exactly when at least one dial-up connection is active.
bool RegAttiva(SystemServices& system);

}  // namespace rariduze
