// A library file with the unzip library's name but none of its entry points.
extern "C" int rariduze_hollow_library(void) { return 0; }
