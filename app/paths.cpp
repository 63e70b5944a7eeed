#include "app/paths.h"

#include "platform/system_paths.h"

namespace rariduze::ModuloUp {

std::string AppDir() {
  std::string dir = ExecutableDirectory();
  if (dir.empty() || dir.back() != PathSeparator()) dir += PathSeparator();
  return dir;
}

}  // namespace rariduze::ModuloUp
