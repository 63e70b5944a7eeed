#pragma once

// Resource identifiers shared by the resource script and the program.
#define RARIDUZE_ICON_ID 1
