#include "platform/window_list.h"

// Placeholder until the window enumeration backend lands.
