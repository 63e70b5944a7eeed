#include "platform/internet.h"

// Placeholder until the libcurl backend lands.
