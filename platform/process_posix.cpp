#include "platform/process.h"

// Placeholder until the process backend lands.
