#pragma once

#include <string>
#include <vector>

namespace rariduze {

// The arguments the program was started with, without its own name, as UTF-8 whatever the
// system's code page: on Windows they are read from the wide command line, since argv holds
// them in the ANSI code page, where a character it cannot hold would already be lost.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace rariduze
