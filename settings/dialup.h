#pragma once

namespace rariduze {

// True exactly when at least one dial-up connection is active.
bool RegAttiva();

}  // namespace rariduze
