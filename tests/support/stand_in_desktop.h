#pragma once

namespace rariduze::testing {

// What the stand-in program does first, as real installers do on this system's desktop. On
// Windows, with RARIDUZE_STAND_IN_BROADCAST set, it tells every top-level window that settings
// changed (WM_SETTINGCHANGE, "Environment") and waits until each has answered, as an installer
// does after it changed PATH.
void ActOnDesktop();

}  // namespace rariduze::testing
