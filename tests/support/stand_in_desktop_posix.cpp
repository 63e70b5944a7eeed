#include "tests/support/stand_in_desktop.h"

namespace rariduze::testing {

// No desktop here delivers messages that a program must wait for.
void ActOnDesktop() {}

}  // namespace rariduze::testing
