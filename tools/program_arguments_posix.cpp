// The program's arguments as this system hands them over: bytes, UTF-8 by convention.
#include "tools/program_arguments.h"

namespace rariduze {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  if (argc < 1) return {};
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace rariduze
