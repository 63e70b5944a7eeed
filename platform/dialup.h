#pragma once

namespace rariduze {

// How many dial-up connections are active on this machine right now; 0 when none or when the
// system cannot tell.
int CountActiveDialUpConnections();

}  // namespace rariduze
