// Arbitrary addresses: the host and the path put back together give the address without its
// scheme.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  std::string host = url;
  std::string path;
  rariduze::ModuloUp::SplitUrl(host, path);
  std::string rest = url;
  if (rest.starts_with("http://"))
    rest.erase(0, 7);
  else if (rest.starts_with("https://"))
    rest.erase(0, 8);
  if (host + path != rest) __builtin_trap();
  if (host.find('/') != std::string::npos) __builtin_trap();
  rariduze::ModuloUp::TrimAtNul(url);
  return 0;
}
