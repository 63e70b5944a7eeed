// Two arbitrary version strings: the comparison must end without fault, and a version is never
// newer than itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t split = input.find('\n');
  std::string installed = input.substr(0, split);
  std::string downloaded = split == std::string::npos ? std::string() : input.substr(split + 1);
  rariduze::ModuloUp::IsNewerVersion(installed, downloaded);
  rariduze::ModuloUp::IsNewerVersion(downloaded, installed);
  if (rariduze::ModuloUp::IsNewerVersion(installed, installed)) __builtin_trap();
  return 0;
}
